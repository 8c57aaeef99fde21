// POSIX serial device: termios for the line, poll() on the device and two self-pipes for the
// wake-ups. Port numbers map to devices with Platform::ComPortDevicePath.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "SerialDevice.h"
#include "platform/Paths.h"
#include "platform/TextConvert.h"

namespace QuorvelDriver {

namespace {

std::wstring SystemText(int code) {
    return Platform::Utf8ToWide(std::strerror(code));
}

void Fill(SerialFailure& failure, const wchar_t* operation, int code) {
    failure.operation = operation;
    failure.code = code;
    failure.systemText = SystemText(code);
}

bool BaudConstant(DWORD baud, speed_t& speed) {
    struct Entry {
        DWORD baud;
        speed_t speed;
    };
    static const Entry kTable[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000},
    };
    for (const Entry& e : kTable) {
        if (e.baud == baud) {
            speed = e.speed;
            return true;
        }
    }
    return false;
}

// A self-pipe: a wake-up that poll() can wait for together with the device.
class CWakePipe {
public:
    CWakePipe() {
        if (pipe2(m_fd, O_NONBLOCK | O_CLOEXEC) != 0) {
            m_fd[0] = m_fd[1] = -1;
        }
    }
    ~CWakePipe() {
        for (int fd : m_fd) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    CWakePipe(const CWakePipe&) = delete;
    CWakePipe& operator=(const CWakePipe&) = delete;

    int ReadEnd() const { return m_fd[0]; }
    // One byte is enough to wake poll(); a full pipe is already signalled.
    void Signal() {
        const char b = 1;
        [[maybe_unused]] ssize_t n = ::write(m_fd[1], &b, 1);
    }
    void Drain() {
        char buf[64];
        while (::read(m_fd[0], buf, sizeof buf) > 0) {
        }
    }

private:
    int m_fd[2];
};

void RefuseNotSerial(SerialFailure& failure, const std::filesystem::path& path, mode_t mode) {
    const char* what = S_ISREG(mode)    ? "a regular file"
                       : S_ISDIR(mode)  ? "a folder"
                       : S_ISFIFO(mode) ? "a pipe"
                       : S_ISSOCK(mode) ? "a socket"
                       : S_ISCHR(mode)  ? "a character device that is not a terminal"
                                        : "not a device";
    failure.operation = L"CreateFile()";
    failure.code = ENOTTY;
    failure.systemText = Platform::Utf8ToWide(Platform::PrintableBytes(path.string(), 256) +
                                              " is " + what + ", not a serial device");
}

// The reentrant look-ups: the detector builds these texts on several threads at once.
struct SUser {
    std::string name;
    gid_t gid = 0;
    bool known = false;
};

SUser CurrentUser() {
    SUser user;
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr) {
        user.name = entry.pw_name;
        user.gid = entry.pw_gid;
        user.known = true;
    } else {
        user.name = "uid " + std::to_string(::geteuid());
    }
    return user;
}

std::string GroupName(gid_t gid) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return entry.gr_name;
    return {};
}

// True when the system's record of the user's groups (not this process's) holds `gid`: the
// user was added to the group after this session began.
bool UserListedInGroup(const SUser& user, gid_t gid) {
    if (!user.known)
        return false;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(user.name.c_str(), user.gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(user.name.c_str(), user.gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// Plain words for an operator whose account may not open the device, with the fix: on Linux
// serial devices belong to a group ("dialout" on Debian, "uucp" elsewhere) that the user must
// join.
std::wstring NotPermittedText(unsigned int port, const std::filesystem::path& path) {
    const SUser user = CurrentUser();
    std::string text = "COM" + std::to_string(port) + " (" +
                       Platform::PrintableBytes(path.string(), 256) + ") cannot be opened: ";
    struct stat st {};
    const std::string group = ::stat(path.c_str(), &st) == 0 ? GroupName(st.st_gid) : "";
    if (group.empty() || st.st_gid == 0) {
        text += "this user (" + user.name +
                ") is not allowed to use this serial port. Ask the administrator for read and "
                "write access to it, then try again.";
    } else if (UserListedInGroup(user, st.st_gid)) {
        text += "this user (" + user.name + ") has joined the '" + group +
                "' group that serial ports belong to, but this session began before that. "
                "Log out and in again.";
    } else {
        text += "this user (" + user.name +
                ") is not allowed to use serial ports. Add the user to the '" + group +
                "' group (sudo usermod -aG " + group + " " + user.name + ") and log in again.";
    }
    return Platform::Utf8ToWide(text);
}

bool HungUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

struct CSerialDevice::Impl {
    int fd = -1;  // only the monitor thread uses it while the thread runs
    CWakePipe shutdown;
    CWakePipe writeRequest;
};

CSerialDevice::CSerialDevice() : m_impl(new Impl) {}

CSerialDevice::~CSerialDevice() {
    Close();
    delete m_impl;
}

OpenOutcome CSerialDevice::Open(unsigned int port, SerialFailure& failure) {
    Close();
    failure = SerialFailure{};
    const std::filesystem::path path = Platform::ComPortDevicePath(port);
    if (path.empty())
        return OpenOutcome::Absent;
    // Only a terminal is a serial line: a port entry that leads to a regular file would get
    // commands written into it, one that leads to /dev/zero would be read without end. The
    // check before the open keeps a FIFO or a file from being opened at all; the one after it
    // covers a name that changed in between.
    struct stat before {};
    if (::stat(path.c_str(), &before) == 0 && !S_ISCHR(before.st_mode)) {
        RefuseNotSerial(failure, path, before.st_mode);
        return OpenOutcome::NotSerial;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            failure.operation = L"CreateFile()";
            failure.code = error;
            failure.systemText = NotPermittedText(port, path);
            return OpenOutcome::NotPermitted;
        }
        return error == EBUSY ? OpenOutcome::InUse : OpenOutcome::Absent;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISCHR(opened.st_mode) || !::isatty(fd)) {
        ::close(fd);
        RefuseNotSerial(failure, path, opened.st_mode);
        return OpenOutcome::NotSerial;
    }
    // Exclusive use, as the COM port is on its home platform: a second open fails with EBUSY.
    // TIOCEXCL does not hold against a privileged opener (root passes it), so an advisory
    // lock on the device backs it up: every opener through this class takes it, as do other
    // tools that open serial lines exclusively (pyserial's exclusive mode).
    if (::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return OpenOutcome::InUse;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return OpenOutcome::InUse;
    }
    m_impl->fd = fd;
    return OpenOutcome::Opened;
}

bool CSerialDevice::Configure(DWORD baud, SerialFailure& failure) {
    // Reads return what is there without waiting (VMIN = VTIME = 0): the time-outs of the
    // home platform all zero. There is no separate event mask here; poll() watches input.
    termios tio{};
    if (::tcgetattr(m_impl->fd, &tio) != 0) {
        Fill(failure, L"SetCommState()", errno);
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    speed_t speed{};
    if (!BaudConstant(baud, speed)) {
        Fill(failure, L"SetCommState()", EINVAL);
        return false;
    }
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(m_impl->fd, TCSANOW, &tio) != 0) {
        Fill(failure, L"SetCommState()", errno);
        return false;
    }
    return true;
}

void CSerialDevice::Close() {
    if (m_impl->fd >= 0) {
        ::close(m_impl->fd);
        m_impl->fd = -1;
    }
}

bool CSerialDevice::IsOpen() const {
    return m_impl->fd >= 0;
}

bool CSerialDevice::Purge(SerialFailure& failure) {
    if (::tcflush(m_impl->fd, TCIOFLUSH) != 0 && errno != ENOTTY) {
        Fill(failure, L"PurgeComm()", errno);
        return false;
    }
    return true;
}

bool CSerialDevice::Write(const std::string& bytes, std::chrono::milliseconds limit,
                          SerialFailure& failure) {
    std::size_t done = 0;
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_impl->fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            Fill(failure, L"WriteFile()", errno);
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            giveUp - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return true;
        pollfd p[2] = {{m_impl->shutdown.ReadEnd(), POLLIN, 0}, {m_impl->fd, POLLOUT, 0}};
        if (::poll(p, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            Fill(failure, L"WriteFile()", errno);
            return false;
        }
        if (p[0].revents & POLLIN)
            return true;  // shutting down; the monitor sees it next
        if (p[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            Fill(failure, L"WriteFile()", EIO);
            return false;
        }
    }
    return true;
}

bool CSerialDevice::ReadAvailable(std::string& out, SerialFailure& failure) {
    char buf[512];
    for (std::size_t taken = 0; taken < kMaxReadBytes;) {
        const ssize_t n = ::read(m_impl->fd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<std::size_t>(n));
            taken += static_cast<std::size_t>(n);
            if (static_cast<std::size_t>(n) < sizeof buf)
                return true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        // With VMIN = VTIME = 0 a terminal answers "nothing there" with 0, not EAGAIN: after
        // a full buffer that only means the rest is still on its way. A hang-up says so in
        // poll() (the other end of a pseudo-terminal gone reads as EIO instead).
        if (n == 0 && !HungUp(m_impl->fd))
            return true;
        Fill(failure, L"ReadFile()", n == 0 ? EIO : errno);
        return false;
    }
    return true;  // more is waiting; the next wait reports it after a look at shutdown
}

WaitOutcome CSerialDevice::Wait(std::optional<std::chrono::milliseconds> limit,
                                bool includeWriteRequest, SerialFailure& failure) {
    pollfd p[3] = {
        {m_impl->shutdown.ReadEnd(), POLLIN, 0},
        {m_impl->fd, POLLIN, 0},
        {m_impl->writeRequest.ReadEnd(), POLLIN, 0},
    };
    int timeout = -1;
    if (limit) {
        timeout = static_cast<int>(std::max<long long>(0, limit->count()));
    }
    for (;;) {
        const int n = ::poll(p, includeWriteRequest ? 3 : 2, timeout);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            Fill(failure, L"WaitCommEvent()", errno);
            return WaitOutcome::Failed;
        }
        break;
    }
    if (p[0].revents & POLLIN)
        return WaitOutcome::Shutdown;
    // A hang-up or error is reported by the read that follows.
    if (p[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))
        return WaitOutcome::Input;
    if (includeWriteRequest && (p[2].revents & POLLIN)) {
        m_impl->writeRequest.Drain();
        return WaitOutcome::Woken;
    }
    return WaitOutcome::TimedOut;
}

void CSerialDevice::EndPendingIo() {}

void CSerialDevice::RequestShutdown() {
    m_impl->shutdown.Signal();
}

void CSerialDevice::ClearShutdown() {
    m_impl->shutdown.Drain();
}

void CSerialDevice::RequestWrite() {
    m_impl->writeRequest.Signal();
}

std::vector<unsigned int> EnumeratePresentPorts() {
    std::vector<unsigned int> present;
    for (unsigned int n = 1; n <= 255; ++n) {
        const std::filesystem::path path = Platform::ComPortDevicePath(n);
        if (path.empty())
            continue;
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            // A legacy ttyS node exists for every possible UART; only a terminal that answers
            // tcgetattr has a device behind it.
            termios tio{};
            const bool answers = ::tcgetattr(fd, &tio) == 0;
            ::close(fd);
            if (answers)
                present.push_back(n);
            continue;
        }
        // The device exists but is in use or not ours to open: still present.
        if (errno == EACCES || errno == EBUSY || errno == EPERM)
            present.push_back(n);
    }
    return present;
}

}  // namespace QuorvelDriver
