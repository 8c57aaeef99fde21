#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

#include "PseudoTerminal.h"

namespace quorvel::sim {

struct CPseudoTerminal::SHandles {
    int master = -1;
    int slave = -1;  // held open so the line does not hang up between driver sessions
    int wakeRead = -1;
    int wakeWrite = -1;
};

namespace {

std::string SystemText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::string ReadLinkTarget(const std::string& path) {
    std::error_code ec;
    std::filesystem::path target = std::filesystem::read_symlink(path, ec);
    return ec ? std::string() : target.string();
}

bool CreateLink(const std::string& device, const std::string& link, bool replace,
                std::string& error) {
    std::error_code ec;
    std::filesystem::path linkPath(link);
    if (linkPath.has_parent_path()) {
        std::filesystem::create_directories(linkPath.parent_path(), ec);
        if (ec) {
            error = "cannot create port folder \"" + linkPath.parent_path().string() +
                    "\": " + ec.message();
            return false;
        }
    }
    if (::symlink(device.c_str(), link.c_str()) == 0) {
        return true;
    }
    if (errno != EEXIST) {
        error = SystemText("cannot create link \"" + link + "\"");
        return false;
    }
    struct stat entry {};
    struct stat target {};
    bool isLink = ::lstat(link.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode);
    bool dangling = isLink && ::stat(link.c_str(), &target) != 0;
    if (!isLink || !(replace || dangling)) {
        error = "\"" + link + "\" already exists" +
                (isLink ? " (it points at \"" + ReadLinkTarget(link) + "\")" : std::string()) +
                "; remove it" + (isLink ? " or use --replace" : std::string());
        return false;
    }
    // Replace atomically so that no reader ever sees the entry missing.
    std::string temporary = link + ".sim" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(device.c_str(), temporary.c_str()) != 0) {
        error = SystemText("cannot create link \"" + temporary + "\"");
        return false;
    }
    if (::rename(temporary.c_str(), link.c_str()) != 0) {
        error = SystemText("cannot replace \"" + link + "\"");
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

CPseudoTerminal::CPseudoTerminal() : m_handles(new SHandles) {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        m_handles->wakeRead = fds[0];
        m_handles->wakeWrite = fds[1];
    }
}

CPseudoTerminal::~CPseudoTerminal() {
    Close();
    CloseFd(m_handles->wakeRead);
    CloseFd(m_handles->wakeWrite);
    delete m_handles;
}

bool CPseudoTerminal::IsOpen() const {
    return m_handles->master >= 0;
}

bool CPseudoTerminal::Open(const std::string& linkPath, bool replaceLink, std::string& error) {
    Close();
    if (m_handles->wakeRead < 0) {
        error = "cannot create the wake-up pipe";
        return false;
    }
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = SystemText("posix_openpt");
        return false;
    }
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        error = SystemText("cannot prepare the pseudo-terminal");
        ::close(master);
        return false;
    }
    int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = SystemText(std::string("cannot open ") + name);
        ::close(master);
        return false;
    }
    // Raw on the slave side: no echo, no CR/NL translation, no line editing, 8 bits clean.
    struct termios tio {};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    int flags = ::fcntl(master, F_GETFL);
    ::fcntl(master, F_SETFL, flags | O_NONBLOCK);

    if (!linkPath.empty() && !CreateLink(name, linkPath, replaceLink, error)) {
        ::close(slave);
        ::close(master);
        return false;
    }
    m_handles->master = master;
    m_handles->slave = slave;
    m_devicePath = name;
    m_linkPath = linkPath;
    return true;
}

void CPseudoTerminal::Close() {
    if (!m_linkPath.empty()) {
        // Only our own link: someone may have pointed the name elsewhere meanwhile.
        if (ReadLinkTarget(m_linkPath) == m_devicePath) {
            ::unlink(m_linkPath.c_str());
        }
        m_linkPath.clear();
    }
    CloseFd(m_handles->master);
    CloseFd(m_handles->slave);
}

long CPseudoTerminal::Read(char* buffer, std::size_t size, std::string& error) {
    if (m_handles->master < 0) {
        return 0;
    }
    ssize_t n = ::read(m_handles->master, buffer, size);
    if (n >= 0) {
        return static_cast<long>(n);
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return 0;
    }
    error = SystemText("read from " + m_devicePath);
    return -1;
}

long CPseudoTerminal::Write(const char* data, std::size_t size, std::string& error) {
    if (m_handles->master < 0) {
        return 0;
    }
    ssize_t n = ::write(m_handles->master, data, size);
    if (n >= 0) {
        return static_cast<long>(n);
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return 0;
    }
    error = SystemText("write to " + m_devicePath);
    return -1;
}

std::size_t CPseudoTerminal::UnreadByPeer() const {
    // Our own slave descriptor shares the input queue of every slave opener.
    int pending = 0;
    if (m_handles->slave < 0 || ::ioctl(m_handles->slave, FIONREAD, &pending) != 0 || pending < 0) {
        return 0;
    }
    return static_cast<std::size_t>(pending);
}

SPortWaitResult CPseudoTerminal::Wait(bool wantWrite, std::int64_t timeoutNs) {
    pollfd fds[2] = {};
    fds[0].fd = m_handles->wakeRead;
    fds[0].events = POLLIN;
    nfds_t count = 1;
    if (m_handles->master >= 0) {
        fds[1].fd = m_handles->master;
        fds[1].events = static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0));
        count = 2;
    }
    timespec timeout{};
    timespec* timeoutPtr = nullptr;
    if (timeoutNs >= 0) {
        timeout.tv_sec = static_cast<time_t>(timeoutNs / 1000000000);
        timeout.tv_nsec = static_cast<long>(timeoutNs % 1000000000);
        timeoutPtr = &timeout;
    }
    SPortWaitResult result;
    if (::ppoll(fds, count, timeoutPtr, nullptr) <= 0) {
        return result;
    }
    if (fds[0].revents & POLLIN) {
        char drain[64];
        while (::read(m_handles->wakeRead, drain, sizeof drain) > 0) {
        }
    }
    if (count == 2) {
        result.readable = (fds[1].revents & POLLIN) != 0;
        result.writable = (fds[1].revents & POLLOUT) != 0;
        result.hangup = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && !result.readable;
    }
    return result;
}

void CPseudoTerminal::Wake() const {
    if (m_handles->wakeWrite >= 0) {
        char byte = 1;
        // A full pipe already holds a pending wake-up, so a failed write loses nothing.
        [[maybe_unused]] ssize_t ignored = ::write(m_handles->wakeWrite, &byte, 1);
    }
}

void CPseudoTerminal::PreferPreciseWakeups() {
    // The default slack of 50 us is more than half a byte at 115200 baud. Failure only costs
    // precision.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

}  // namespace quorvel::sim
