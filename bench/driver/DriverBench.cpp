// Transactions per second through QuorvelDll against the simulator at zero reply latency, and
// the driver's own overhead per transaction: the median round trip of a status query through
// the device object (call on the GUI thread to its notification) minus the median round trip
// of the same query written and read directly on the pseudo-terminal. Prints ratios against
// the stated limit; never fails on absolute times.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "InstrumentSimulator.h"
#include "Percentiles.h"
#include "core/Quorvel.h"
#include "platform/Paths.h"
#include "platform/Wnd.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned kPort = 21;
constexpr double kOverheadLimitUs = 300.0;  // driver overhead per transaction, median

using benchstats::Median;
using benchstats::Percentile;

double Us(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// The same transaction without the driver: write "S?\r", read up to the carriage return.
std::vector<double> RawRoundTrips(const std::string& device, int count) {
    std::vector<double> samples;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return samples;
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (::write(fd, "S?\r", 3) != 3)
            break;
        char c = 0;
        bool done = false;
        while (!done) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0)
                break;
            while (::read(fd, &c, 1) == 1) {
                if (c == '\r') {
                    done = true;
                    break;
                }
            }
        }
        if (!done)
            break;
        samples.push_back(Us(Clock::now() - start));
    }
    ::close(fd);
    return samples;
}

class CCountingOwner : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM, LPARAM) override {
        if (message == WM_QUORVEL_STATUS)
            ++statuses;
        if (message == WM_QUORVEL_ERROR)
            ++errors;
        return 0;
    }
    int statuses = 0;
    int errors = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int count = quick ? 300 : 5000;

    quorvel::sim::SSimulatorOptions options;
    options.portDir = Platform::PortDirectory().string();
    options.comPort = static_cast<int>(kPort);
    options.replaceLink = true;
    quorvel::sim::CInstrumentSimulator sim;
    const std::string device = sim.Start(options);
    if (device.empty()) {
        std::fprintf(stderr, "driver_bench: simulator did not start: %s\n",
                     sim.LastError().c_str());
        return 1;
    }

    const std::vector<double> raw = RawRoundTrips(device, count);

    CCountingOwner owner;
    std::vector<double> driver;
    double tps = 0;
    {
        CQuorvel quorvel(&owner);
        CQuorvelSettings settings;
        settings.nPort = kPort;
        quorvel.SetSettings(settings);
        if (!quorvel.Connect() ||
            !Platform::CMessageLoop::RunUntil([&] { return owner.statuses > 0; },
                                              std::chrono::seconds(5))) {
            std::fprintf(stderr, "driver_bench: the driver did not connect\n");
            return 1;
        }
        const auto begin = Clock::now();
        for (int i = 0; i < count; ++i) {
            const int before = owner.statuses;
            const auto start = Clock::now();
            quorvel.GetStatus(0);
            if (!Platform::CMessageLoop::RunUntil(
                    [&] { return owner.statuses > before || owner.errors > 0; },
                    std::chrono::seconds(5)) ||
                owner.errors > 0) {
                std::fprintf(stderr, "driver_bench: a status query failed\n");
                return 1;
            }
            driver.push_back(Us(Clock::now() - start));
        }
        tps = count / std::chrono::duration<double>(Clock::now() - begin).count();
        quorvel.Disconnect();
        owner.DestroyWindow();
    }

    const double rawMedian = Median(raw);
    const double driverMedian = Median(driver);
    const double overhead = std::max(0.0, driverMedian - rawMedian);
    std::printf("driver_bench: %d status queries at zero reply latency%s\n", count,
                quick ? " (quick run)" : "");
    std::printf("  transactions per second through the driver: %.0f\n", tps);
    std::printf("  median round trip: direct on the terminal %.1f us, through the driver %.1f us\n",
                rawMedian, driverMedian);
    std::printf(
        "  99th percentile: direct %.1f us, through the driver %.1f us (host load shows here)\n",
        Percentile(raw, 0.99), Percentile(driver, 0.99));
    std::printf("  driver overhead per transaction (median): %.1f us; limit %.0f us; ratio %.3f\n",
                overhead, kOverheadLimitUs, overhead / kOverheadLimitUs);
    return 0;
}
