// A scripted instrument at the far end of a real pseudo-terminal, linked as COM<n> in the
// test's port folder. The driver opens the slave side through its normal serial path; the
// peer reads command lines from the master side, records them with their raw bytes, and
// answers through a script. Used where a test needs replies the simulator never gives
// ("1 ", "12.5,abc", a line without end, a reply after a chosen event).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace drivertest {

class CPtyPeer {
public:
    // Answer to one received line (without its carriage return): bytes to send back, exactly
    // as given (add "\r" yourself); empty: stay silent.
    using Script = std::function<std::string(const std::string& line)>;

    explicit CPtyPeer(unsigned comPort);
    ~CPtyPeer();
    CPtyPeer(const CPtyPeer&) = delete;
    CPtyPeer& operator=(const CPtyPeer&) = delete;

    // Default script: a well-behaved QUORVEL4 that answers "1" to everything, "1" (idle) to
    // "S?", "10.000,45.250" to "P?" and "0.500,0.000" to "V?".
    static std::string DefaultReply(const std::string& line);

    // Replaces the answer to one exact line (e.g. Reply("H!", "1 \r")).
    void Reply(const std::string& line, const std::string& bytes);
    // Replaces the whole script (the per-line answers still win).
    void SetScript(Script script);
    // Sends bytes as the instrument would, at once.
    void Send(const std::string& bytes);
    // The device disappears: the master side is closed and the link removed.
    void Vanish();

    std::vector<std::string> Lines() const;
    std::string RawBytes() const;
    bool WaitForLines(std::size_t count, int timeoutMs) const;
    unsigned ComPort() const { return m_comPort; }

private:
    void Run();

    unsigned m_comPort;
    std::string m_link;
    int m_master = -1;
    int m_slaveKeep = -1;  // keeps the terminal alive while the driver has it closed
    int m_stopPipe[2] = {-1, -1};
    std::thread m_thread;
    std::atomic<bool> m_vanished{false};

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_lines;  // guarded by m_lock
    std::string m_raw;                 // guarded by m_lock
    std::map<std::string, std::string> m_replies;
    Script m_script;
    std::mutex m_writeLock;  // one writer at a time on the master side
};

}  // namespace drivertest
