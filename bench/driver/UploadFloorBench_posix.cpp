// The floor under trajectory_bench's upload figure on this machine.
//
// The same simulator and the same emulated 115200-baud wire, but the driver replaced by three
// bare threads that make only the hand-offs an acknowledged upload is built from: the monitor
// thread writes a command (after purging the line) and reads its reply; it hands the reply to
// the window thread, which signals the upload thread, which formats the next pair and hands it
// back to the monitor through a wake-up pipe. No logging, no notifications, no status, no
// window messages: what this costs per pair beyond the wire time is what the platform charges
// for the chain itself (thread wake-ups, the pseudo-terminal's hops, system calls), and the
// difference to trajectory_bench is what the driver adds on top.
//
// Prints total time / wire time for 700 pairs (median of five uploads, one with --quick) and
// each pair's round trip beyond its wire time, next to trajectory_bench's limit of 1.10.
// idle-polling.sh (next to this file) runs either benchmark with the CPUs kept from halting
// when idle, which separates the host's wake-up latency from everything else.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "InstrumentSimulator.h"
#include "UploadFigures.h"
#include "platform/Paths.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr unsigned kPort = 23;
using uploadbench::kBaud;
using uploadbench::kPairs;

// A queue with a condition variable, the shape of both hand-offs that do not go through the
// monitor's poll: replies to the window thread, the acknowledgement to the upload thread.
class CHandOff {
public:
    void Put(std::string text) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_items.push_back(std::move(text));
        }
        m_changed.notify_one();
    }
    std::string Take() {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [&] { return !m_items.empty(); });
        std::string text = std::move(m_items.front());
        m_items.pop_front();
        return text;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::string> m_items;
};

// The monitor thread: poll on the line and a wake-up pipe, purge before each write, collect
// the reply up to its carriage return. An empty command stops it.
class CBareMonitor {
public:
    CBareMonitor(int fd, CHandOff& replies) : m_fd(fd), m_replies(replies) {
        if (::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0) {
            std::perror("upload_floor_bench: pipe2");
            std::exit(1);  // without its wake-up the monitor would never write
        }
        m_thread = std::thread([this] { Run(); });
    }
    ~CBareMonitor() {
        Queue({});
        m_thread.join();
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }
    void Queue(std::string command) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_queue.push_back(std::move(command));
        }
        const char one = 1;
        (void)!::write(m_wake[1], &one, 1);
    }

private:
    void Run() {
        std::string line;
        for (;;) {
            pollfd p[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            if (::poll(p, 2, -1) < 0)
                continue;
            if (p[0].revents & POLLIN) {
                char buf[64];
                const ssize_t n = ::read(m_fd, buf, sizeof buf);
                for (ssize_t i = 0; i < n; ++i) {
                    if (buf[i] != '\r') {
                        line += buf[i];
                        continue;
                    }
                    m_replies.Put(line);
                    line.clear();
                }
            }
            if (p[1].revents & POLLIN) {
                char drain[64];
                while (::read(m_wake[0], drain, sizeof drain) > 0) {
                }
                std::deque<std::string> commands;
                {
                    std::lock_guard<std::mutex> guard(m_lock);
                    commands.swap(m_queue);
                }
                for (const std::string& command : commands) {
                    if (command.empty())
                        return;
                    ::tcflush(m_fd, TCIOFLUSH);
                    const std::string bytes = command + '\r';
                    (void)!::write(m_fd, bytes.data(), bytes.size());
                }
            }
        }
    }

    int m_fd;
    CHandOff& m_replies;
    int m_wake[2] = {-1, -1};
    std::mutex m_lock;
    std::deque<std::string> m_queue;
    std::thread m_thread;
};

int OpenLine() {
    const std::string path = Platform::ComPortDevicePath(kPort).string();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    quorvel::sim::SSimulatorOptions options;
    options.portDir = Platform::PortDirectory().string();
    options.comPort = static_cast<int>(kPort);
    options.replaceLink = true;
    options.baud = kBaud;
    quorvel::sim::CInstrumentSimulator sim;
    if (sim.Start(options).empty()) {
        std::fprintf(stderr, "upload_floor_bench: simulator did not start: %s\n",
                     sim.LastError().c_str());
        return 1;
    }
    const int fd = OpenLine();
    if (fd < 0) {
        std::fprintf(stderr, "upload_floor_bench: the simulator's line did not open\n");
        return 1;
    }
    uploadbench::CUploadFigures figures;
    int refused = 0;
    {
        CHandOff replies;
        CHandOff acks;
        CBareMonitor monitor(fd, replies);
        // The window thread: every reply becomes the upload thread's acknowledgement. The
        // instrument never answers "stop", so the bench can use it to end the thread.
        std::thread window([&] {
            for (;;) {
                std::string reply = replies.Take();
                if (reply == "stop")
                    return;
                acks.Put(std::move(reply));
            }
        });
        for (int run = 0; run < (quick ? 1 : 5); ++run) {
            const std::size_t logBefore = sim.ReceivedCount();
            const auto begin = SteadyClock::now();
            std::thread upload([&] {
                char text[64];
                std::snprintf(text, sizeof text, "T(%d,%d)", kPairs, 60);
                monitor.Queue(text);
                refused += acks.Take() != "1";
                for (int i = 0; i < kPairs; ++i) {
                    std::snprintf(text, sizeof text, "%.4f,%.4f", 123.4567 + i * 0.001,
                                  45.0 - i * 0.001);
                    monitor.Queue(text);
                    refused += acks.Take() != "1";
                }
            });
            upload.join();
            const double totalS = std::chrono::duration<double>(SteadyClock::now() - begin).count();
            figures.AddRun(sim.CommandLog(), logBefore, totalS);
        }
        replies.Put("stop");
        window.join();
    }
    ::close(fd);
    if (refused != 0) {
        std::fprintf(stderr, "upload_floor_bench: %d commands were not acknowledged\n", refused);
        return 1;
    }
    std::printf("upload_floor_bench: %d pairs at %u baud through bare threads, no driver\n", kPairs,
                kBaud);
    figures.Print("trajectory_bench's limit");
    return 0;
}
