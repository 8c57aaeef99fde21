// A minimal serial-line client for tests: opens a tty raw, writes command lines ended by a
// carriage return and reads lines back. Deliberately not the driver.
#pragma once

#include <optional>
#include <string>

namespace quorvel::sim::test {

class CRawClient {
public:
    CRawClient() = default;
    ~CRawClient();
    CRawClient(const CRawClient&) = delete;
    CRawClient& operator=(const CRawClient&) = delete;

    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    void Send(const std::string& line);      // adds the carriage return
    void SendRaw(const std::string& bytes);  // as given
    // The next line without its carriage return, or nullopt if none completes in time.
    std::optional<std::string> ReadLine(int timeoutMs = 3000);
    // Sends a command and returns the next line that is not an event ("!...").
    std::optional<std::string> Ask(const std::string& line, int timeoutMs = 3000);
    // Waits for a specific line, skipping others; false on timeout.
    bool WaitForLine(const std::string& expected, int timeoutMs = 5000);
    // Everything that arrives within the period.
    std::string ReadFor(int periodMs);
    // True once the other side has gone (read error or end of file).
    bool PeerGone(int timeoutMs = 3000);

private:
    int m_fd = -1;
    std::string m_buffer;  // bytes received, not yet returned
};

// CLOCK_MONOTONIC in nanoseconds, the time base of the simulator's command log.
long long MonotonicNowNs();

}  // namespace quorvel::sim::test
