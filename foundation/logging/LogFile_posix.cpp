#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "logging/LogFile.h"
#include "platform/TextConvert.h"

namespace Logging {

CLogFile::~CLogFile() {
    Close();
}

bool CLogFile::Open(const std::wstring& path, std::string& error) {
    Close();
    const std::string native = Platform::WideToUtf8(path);
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    m_handle = fd;
    return true;
}

bool CLogFile::Append(const void* data, std::size_t size) {
    if (!IsOpen()) {
        return false;
    }
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(static_cast<int>(m_handle), bytes + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void CLogFile::Close() {
    if (IsOpen()) {
        ::close(static_cast<int>(m_handle));
        m_handle = kClosed;
    }
}

}  // namespace Logging
