// POSIX serial device: termios for the line, poll() on the device and two self-pipes for the
// wake-ups. Port numbers map to devices with Platform::ComPortDevicePath.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

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

bool CSerialDevice::Open(unsigned int port, SerialFailure& failure) {
    Close();
    failure = SerialFailure{};
    const std::filesystem::path path = Platform::ComPortDevicePath(port);
    if (path.empty())
        return false;
    // Only a terminal is a serial line: a port entry that leads to a regular file would get
    // commands written into it, one that leads to /dev/zero would be read without end. The
    // check before the open keeps a FIFO or a file from being opened at all; the one after it
    // covers a name that changed in between.
    struct stat before {};
    if (::stat(path.c_str(), &before) == 0 && !S_ISCHR(before.st_mode)) {
        RefuseNotSerial(failure, path, before.st_mode);
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISCHR(opened.st_mode) || !::isatty(fd)) {
        ::close(fd);
        RefuseNotSerial(failure, path, opened.st_mode);
        return false;
    }
    // Exclusive use, as the COM port is on its home platform: a second open fails with EBUSY.
    if (::isatty(fd) && ::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return false;
    }
    m_impl->fd = fd;
    return true;
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
        // End of file (the other end of a terminal has gone) or a device error.
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
