#include <windows.h>

#include "logging/LogFile.h"
#include "platform/SystemError.h"
#include "platform/TextConvert.h"

namespace Logging {

namespace {
HANDLE AsHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

// Every writer of the log takes this byte-range lock for the time of one append. Windows keeps
// appends through FILE_APPEND_DATA whole by itself, but Wine finds the end of the file and then
// writes there in two steps, so two handles appending at once overwrite each other's lines.
// The range lies far beyond any log's end, so the lock never hinders a reader or a write.
constexpr DWORD kAppendLockOffsetHigh = 0x40000000;  // byte 2^62
}  // namespace

CLogFile::~CLogFile() {
    Close();
}

bool CLogFile::Open(const std::wstring& path, std::string& error) {
    Close();
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the current end.
    // FILE_READ_DATA: byte-range locks need read or write-data access.
    HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = Platform::WideToUtf8(Platform::SystemErrorText(GetLastError()));
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool CLogFile::Append(const void* data, std::size_t size) {
    if (!IsOpen()) {
        return false;
    }
    HANDLE file = AsHandle(m_handle);
    OVERLAPPED range{};
    range.OffsetHigh = kAppendLockOffsetHigh;
    // Without the lock (a file system that has none) the line is still written.
    const bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range) != FALSE;
    DWORD written = 0;
    const bool whole =
        WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    if (locked) {
        UnlockFileEx(file, 0, 1, 0, &range);
    }
    return whole;
}

void CLogFile::Close() {
    if (IsOpen()) {
        CloseHandle(AsHandle(m_handle));
        m_handle = kClosed;
    }
}

}  // namespace Logging
