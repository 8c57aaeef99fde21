// The record of every line the simulated instrument received, with the time its carriage
// return was read from the pseudo-terminal (steady clock, which is CLOCK_MONOTONIC on
// Linux, in nanoseconds). Optionally mirrored to a file, one "<ns> <text>" line per entry,
// flushed per line so that a reader in another process sees it at once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel::sim {

struct SCommandLogEntry {
    std::int64_t monotonicNs = 0;
    std::string text;  // the line as received, without its carriage return
};

// Thread-safe: the simulator thread appends, tests read from any thread.
class CCommandLog {
public:
    explicit CCommandLog(std::size_t capacity = 100000);
    ~CCommandLog();
    CCommandLog(const CCommandLog&) = delete;
    CCommandLog& operator=(const CCommandLog&) = delete;

    // Opens (truncates) the mirror file; false with errno-based text on failure.
    bool OpenFile(const std::string& path, std::string& error);
    void CloseFile();

    void Append(std::int64_t monotonicNs, const std::string& text);
    std::vector<SCommandLogEntry> Entries() const;
    // Lines received since the last Clear, including those dropped by the capacity.
    std::size_t TotalCount() const;
    // Blocks until at least `count` lines have been received since Clear, or the timeout.
    bool WaitForCount(std::size_t count, int timeoutMs) const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::deque<SCommandLogEntry> m_entries;  // guarded by m_mutex
    std::size_t m_total = 0;                 // guarded by m_mutex
    std::size_t m_capacity;
    std::FILE* m_file = nullptr;  // guarded by m_mutex
};

}  // namespace quorvel::sim
