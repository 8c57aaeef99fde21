#include "CommandLog.h"

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstring>

#include "ProtocolText.h"

namespace quorvel::sim {

CCommandLog::CCommandLog(std::size_t capacity) : m_capacity(capacity == 0 ? 1 : capacity) {}

CCommandLog::~CCommandLog() {
    CloseFile();
}

bool CCommandLog::OpenFile(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = "cannot open command log \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
    m_file = file;
    return true;
}

void CCommandLog::CloseFile() {
    std::lock_guard lock(m_mutex);
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

void CCommandLog::Append(std::int64_t monotonicNs, const std::string& text) {
    {
        std::lock_guard lock(m_mutex);
        if (m_entries.size() >= m_capacity) {
            m_entries.pop_front();
        }
        m_entries.push_back(SCommandLogEntry{monotonicNs, text});
        ++m_total;
        if (m_file != nullptr) {
            std::fprintf(m_file, "%" PRId64 " %s\n", monotonicNs, EscapeForLog(text).c_str());
            std::fflush(m_file);
        }
    }
    m_changed.notify_all();
}

std::vector<SCommandLogEntry> CCommandLog::Entries() const {
    std::lock_guard lock(m_mutex);
    return {m_entries.begin(), m_entries.end()};
}

std::size_t CCommandLog::TotalCount() const {
    std::lock_guard lock(m_mutex);
    return m_total;
}

bool CCommandLog::WaitForCount(std::size_t count, int timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_total >= count; });
}

void CCommandLog::Clear() {
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_total = 0;
}

}  // namespace quorvel::sim
