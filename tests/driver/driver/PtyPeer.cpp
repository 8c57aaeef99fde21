#include "PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/Paths.h"

namespace drivertest {

CPtyPeer::CPtyPeer(unsigned comPort) : m_comPort(comPort) {
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&m_master, &m_slaveKeep, nullptr, &raw, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    if (::pipe(m_stopPipe) != 0)
        throw std::runtime_error("pipe failed");
    const std::filesystem::path dir = Platform::PortDirectory();
    std::filesystem::create_directories(dir);
    m_link = (dir / ("COM" + std::to_string(comPort))).string();
    std::filesystem::remove(m_link);
    std::filesystem::create_symlink(::ttyname(m_slaveKeep), m_link);
    m_script = &CPtyPeer::DefaultReply;
    m_thread = std::thread(&CPtyPeer::Run, this);
}

CPtyPeer::~CPtyPeer() {
    const char b = 1;
    [[maybe_unused]] ssize_t n = ::write(m_stopPipe[1], &b, 1);
    m_thread.join();
    ::close(m_stopPipe[0]);
    ::close(m_stopPipe[1]);
    if (!m_vanished) {
        ::close(m_master);
        ::close(m_slaveKeep);
        std::error_code ec;
        std::filesystem::remove(m_link, ec);
    }
}

std::string CPtyPeer::DefaultReply(const std::string& line) {
    if (line == "I?")
        return "Pelvarin,QUORVEL4,1.0\r";
    if (line == "S?")
        return "1\r";
    if (line == "P?")
        return "10.000,45.250\r";
    if (line == "V?")
        return "0.500,0.000\r";
    return "1\r";
}

void CPtyPeer::Reply(const std::string& line, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_replies[line] = bytes;
}

void CPtyPeer::SetScript(Script script) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_script = std::move(script);
}

void CPtyPeer::Send(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(m_writeLock);
    if (m_vanished)
        return;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
}

void CPtyPeer::Vanish() {
    std::lock_guard<std::mutex> lock(m_writeLock);
    if (m_vanished.exchange(true))
        return;
    std::error_code ec;
    std::filesystem::remove(m_link, ec);
    // Closing both ends of ours leaves the driver's descriptor hung up.
    ::close(m_slaveKeep);
    ::close(m_master);
}

std::vector<std::string> CPtyPeer::Lines() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lines;
}

std::string CPtyPeer::RawBytes() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_raw;
}

bool CPtyPeer::WaitForLines(std::size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_lines.size() >= count; });
}

void CPtyPeer::Run() {
    std::string pending;
    for (;;) {
        pollfd p[2] = {{m_stopPipe[0], POLLIN, 0}, {m_vanished ? -1 : m_master, POLLIN, 0}};
        if (::poll(p, 2, 20) < 0)
            continue;
        if (p[0].revents & POLLIN)
            return;
        if (m_vanished || !(p[1].revents & POLLIN))
            continue;
        char buf[256];
        ssize_t n = 0;
        {
            std::lock_guard<std::mutex> lock(m_writeLock);
            if (m_vanished)
                continue;
            n = ::read(m_master, buf, sizeof buf);
        }
        if (n <= 0)
            continue;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buf[i];
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_raw.push_back(c);
            }
            if (c != '\r') {
                pending.push_back(c);
                continue;
            }
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_lines.push_back(pending);
            }
            m_changed.notify_all();
            std::string reply;
            Script script;
            bool scripted = false;
            {
                std::lock_guard<std::mutex> lock(m_lock);
                auto it = m_replies.find(pending);
                scripted = it != m_replies.end();
                if (scripted)
                    reply = it->second;
                script = m_script;
            }
            if (!scripted)
                reply = script(pending);
            if (!reply.empty())
                Send(reply);
            pending.clear();
        }
    }
}

}  // namespace drivertest
