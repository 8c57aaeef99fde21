#include "RawClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace quorvel::sim::test {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

long long MonotonicNowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

CRawClient::~CRawClient() {
    Close();
}

bool CRawClient::Open(const std::string& path) {
    Close();
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        return false;
    }
    termios tio{};
    if (::tcgetattr(m_fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
    m_buffer.clear();
    return true;
}

void CRawClient::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void CRawClient::SendRaw(const std::string& bytes) {
    std::size_t done = 0;
    while (m_fd >= 0 && done < bytes.size()) {
        ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

void CRawClient::Send(const std::string& line) {
    SendRaw(line + "\r");
}

std::optional<std::string> CRawClient::ReadLine(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::size_t cr = m_buffer.find('\r');
        if (cr != std::string::npos) {
            std::string line = m_buffer.substr(0, cr);
            m_buffer.erase(0, cr + 1);
            return line;
        }
        pollfd p{m_fd, POLLIN, 0};
        if (m_fd < 0 || ::poll(&p, 1, RemainingMs(deadline)) <= 0) {
            return std::nullopt;
        }
        char chunk[512];
        ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n > 0) {
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            return std::nullopt;
        }
    }
}

std::optional<std::string> CRawClient::Ask(const std::string& line, int timeoutMs) {
    Send(line);
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto reply = ReadLine(RemainingMs(deadline));
        if (!reply || reply->empty() || reply->front() != '!') {
            return reply;
        }
    }
}

bool CRawClient::WaitForLine(const std::string& expected, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto line = ReadLine(RemainingMs(deadline));
        if (!line) {
            return false;
        }
        if (*line == expected) {
            return true;
        }
    }
}

std::string CRawClient::ReadFor(int periodMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(periodMs);
    std::string out = std::move(m_buffer);
    m_buffer.clear();
    while (m_fd >= 0) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, RemainingMs(deadline)) <= 0) {
            break;
        }
        char chunk[4096];
        ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        out.append(chunk, static_cast<std::size_t>(n));
    }
    return out;
}

bool CRawClient::PeerGone(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_fd >= 0) {
        pollfd p{m_fd, POLLIN, 0};
        int ready = ::poll(&p, 1, RemainingMs(deadline));
        if (ready <= 0) {
            return false;
        }
        if (p.revents & (POLLHUP | POLLERR)) {
            return true;
        }
        char chunk[512];
        ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            return true;
        }
    }
    return true;
}

}  // namespace quorvel::sim::test
