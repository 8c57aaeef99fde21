#include <windows.h>

#include "logging/LogFile.h"
#include "platform/TextConvert.h"

namespace Logging {

namespace {
HANDLE AsHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}
}  // namespace

CLogFile::~CLogFile() {
    Close();
}

bool CLogFile::Open(const std::wstring& path, std::string& error) {
    Close();
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the current end.
    HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        char text[512] = {};
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       GetLastError(), 0, text, sizeof text, nullptr);
        error = text;
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool CLogFile::Append(const void* data, std::size_t size) {
    if (!IsOpen()) {
        return false;
    }
    DWORD written = 0;
    return WriteFile(AsHandle(m_handle), data, static_cast<DWORD>(size), &written, nullptr) &&
           written == size;
}

void CLogFile::Close() {
    if (IsOpen()) {
        CloseHandle(AsHandle(m_handle));
        m_handle = kClosed;
    }
}

}  // namespace Logging
