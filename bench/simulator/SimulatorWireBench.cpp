// How faithfully the simulator keeps time on the wire: its own overhead per transaction,
// and the emulated baud rate, reply latency and time scale measured from the client side of
// the pseudo-terminal. Each figure is printed with its limit and the ratio to it.
//
//   simulator_wire_bench [--quick]
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "InstrumentSimulator.h"
#include "Percentiles.h"

namespace {

using quorvel::sim::CInstrumentSimulator;
using quorvel::sim::SSimulatorOptions;

long long NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// The driver's side of the line, reduced to what a timing run needs.
class CLineClient {
public:
    explicit CLineClient(const std::string& device) {
        m_fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~CLineClient() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    bool Ok() const { return m_fd >= 0; }
    // Writes the command and returns the time of the write, CLOCK_MONOTONIC ns.
    long long Send(const std::string& line) {
        std::string bytes = line + "\r";
        long long at = NowNs();
        if (::write(m_fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            return -1;
        }
        return at;
    }
    // The next whole line, or false after the timeout.
    bool ReadLine(std::string& line, int timeoutMs = 3000) {
        long long deadline = NowNs() + timeoutMs * 1000000LL;
        for (;;) {
            std::size_t cr = m_buffer.find('\r');
            if (cr != std::string::npos) {
                line = m_buffer.substr(0, cr);
                m_buffer.erase(0, cr + 1);
                return true;
            }
            long long left = (deadline - NowNs()) / 1000000;
            pollfd p{m_fd, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
                return false;
            }
            char chunk[256];
            ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n <= 0) {
                return false;
            }
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

private:
    int m_fd = -1;
    std::string m_buffer;
};

using benchstats::Median;

double Percentile99(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * 99 / 100)];
}

// Round-trip times of `command` in milliseconds; empty if a reply is missing.
std::vector<double> RoundTrips(CLineClient& client, const std::string& command, int count) {
    std::vector<double> ms;
    std::string line;
    for (int i = 0; i < count; ++i) {
        long long sent = client.Send(command);
        if (sent < 0 || !client.ReadLine(line)) {
            return {};
        }
        ms.push_back(static_cast<double>(NowNs() - sent) / 1e6);
    }
    return ms;
}

void Report(const char* what, double measured, double limit, const char* unit,
            const char* meaning) {
    std::printf("%-44s %10.3f %s  limit %8.3f %s  ratio %6.3f  (%s)\n", what, measured, unit, limit,
                unit, measured / limit, meaning);
}

bool Start(CInstrumentSimulator& simulator, const SSimulatorOptions& options, std::string& device) {
    device = simulator.Start(options);
    if (device.empty()) {
        std::fprintf(stderr, "simulator did not start: %s\n", simulator.LastError().c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int transactions = quick ? 200 : 5000;
    const int timedRuns = quick ? 5 : 50;
    std::string device;

    std::printf("simulator wire timings (%s run)\n", quick ? "quick" : "full");
    {
        CInstrumentSimulator simulator;
        if (!Start(simulator, {}, device)) {
            return 1;
        }
        CLineClient client(device);
        std::vector<double> trips = RoundTrips(client, "S?", transactions);
        if (!client.Ok() || trips.empty()) {
            std::fprintf(stderr, "no reply to S?\n");
            return 1;
        }
        Report("S? round trip, no emulation, median", Median(trips), 1.0, "ms",
               "simulator overhead must stay well under 1 ms");
        Report("S? round trip, no emulation, 99th percentile", Percentile99(trips), 1.0, "ms",
               "same limit");

        // When the simulator stamps a line, against when the client wrote it.
        std::vector<double> stampLag;
        std::string line;
        for (int i = 0; i < transactions; ++i) {
            long long sent = client.Send("P?");
            client.ReadLine(line);
            auto log = simulator.CommandLog();
            stampLag.push_back(static_cast<double>(log.back().monotonicNs - sent) / 1e3);
        }
        Report("command log stamp after client write, median", Median(stampLag), 1000.0, "us",
               "log times stand for wire times within 1 ms");
    }
    {
        SSimulatorOptions options;
        options.baud = 9600;
        CInstrumentSimulator simulator;
        if (!Start(simulator, options, device)) {
            return 1;
        }
        CLineClient client(device);
        std::vector<double> trips = RoundTrips(client, "P?", timedRuns);
        if (trips.empty()) {
            std::fprintf(stderr, "no reply to P? at 9600 baud\n");
            return 1;
        }
        // "P?\r" in, "0.0000,0.0000\r" out: 17 bytes of 10 bits.
        double expected = 17 * 10.0 / 9600.0 * 1000.0;
        Report("P? round trip at 9600 baud / wire time", Median(trips) / expected, 1.0, "x",
               "1.0 is exact; the emulated wire must not be faster");
    }
    {
        SSimulatorOptions options;
        options.replyLatencyMs = 20.0;
        CInstrumentSimulator simulator;
        if (!Start(simulator, options, device)) {
            return 1;
        }
        CLineClient client(device);
        std::vector<double> trips = RoundTrips(client, "S?", timedRuns);
        if (trips.empty()) {
            std::fprintf(stderr, "no reply with 20 ms latency\n");
            return 1;
        }
        Report("S? round trip with 20 ms latency / 20 ms", Median(trips) / 20.0, 1.0, "x",
               "1.0 is exact");
    }
    {
        SSimulatorOptions options;
        options.timeScale = 20.0;  // a 10 degree move at 10 deg/s takes 50 ms
        CInstrumentSimulator simulator;
        if (!Start(simulator, options, device)) {
            return 1;
        }
        CLineClient client(device);
        std::vector<double> moves;
        std::string line;
        for (int i = 0; i < timedRuns; ++i) {
            const char* target = i % 2 == 0 ? "P(10.000,0.000)" : "P(0.000,0.000)";
            long long sent = client.Send(target);
            if (!client.ReadLine(line) || line != "1" || !client.ReadLine(line) || line != "!P:1") {
                std::fprintf(stderr, "move without its arrival event\n");
                return 1;
            }
            moves.push_back(static_cast<double>(NowNs() - sent) / 1e6);
        }
        Report("move under time scale 20 / 50 ms", Median(moves) / 50.0, 1.0, "x", "1.0 is exact");
    }
    return 0;
}
