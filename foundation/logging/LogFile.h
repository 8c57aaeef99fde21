// The log file as the operating system holds it: opened for appending, shared with other
// writers (the program's and the library's loggers write one file), one write per call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Logging {

class CLogFile {
public:
    CLogFile() = default;
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Opens or creates `path`, keeping its content. False with the system's reason in `error`.
    bool Open(const std::wstring& path, std::string& error);
    // Writes the bytes at the current end of the file in one system call (the kernel keeps
    // such appends whole against other writers; on Windows a byte-range lock held for the
    // append keeps them whole under Wine too). False when the write failed.
    bool Append(const void* data, std::size_t size);
    void Close();
    bool IsOpen() const { return m_handle != kClosed; }

private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t m_handle = kClosed;  // file descriptor, or HANDLE on Windows
};

}  // namespace Logging
