// Costs of the hand-offs the driver makes on every command and notification:
// - a posted reply, queued by the monitor thread and handled on the GUI thread (limit 20 µs);
// - a synchronous notification from a worker thread to a window of another thread (limit
//   500 µs: the upload thread sends one per trajectory pair, 700 per upload);
// - an event hand-off between two threads and back (limit 500 µs, once per uploaded pair);
// - one log line into the shared UTF-16 file (limit 50 µs: every command is logged at Debug).
// Times are wall-clock per iteration, printed with their ratio to the limit.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "LimitReporter.h"
#include "logging/Logger.h"
#include "platform/Event.h"
#include "platform/Wnd.h"

namespace {

using namespace std::chrono_literals;

class CountingWnd : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_APP) {
            ++handled;
        }
        return static_cast<LRESULT>(wParam);
    }
    std::atomic<long> handled{0};
};

void PostAndDispatch(benchmark::State& state) {
    CountingWnd target;
    for (auto _ : state) {
        target.PostMessage(WM_APP, 1, 0);
        Platform::CMessageLoop::PumpPending();
    }
    state.counters["limit_us"] = 20;
}
BENCHMARK(PostAndDispatch);

void CrossThreadSend(benchmark::State& state) {
    std::atomic<CountingWnd*> target{nullptr};
    std::atomic<bool> stop{false};
    std::thread owner([&] {
        CountingWnd wnd;
        target = &wnd;
        Platform::CMessageLoop::RunUntil([&] { return stop.load(); }, 600s);
        target = nullptr;
    });
    while (target.load() == nullptr) {
        std::this_thread::yield();
    }
    CountingWnd* wnd = target.load();
    for (auto _ : state) {
        benchmark::DoNotOptimize(wnd->SendMessage(WM_APP, 7, 0));
    }
    stop = true;
    owner.join();
    state.counters["limit_us"] = 500;
}
BENCHMARK(CrossThreadSend)->UseRealTime();

void EventRoundTrip(benchmark::State& state) {
    Platform::CEvent request(false, false), reply(false, false), quit(true, false);
    std::thread peer([&] {
        while (Platform::WaitForEvents({&quit, &request}, Platform::kInfinite) == 1) {
            reply.Set();
        }
    });
    for (auto _ : state) {
        request.Set();
        Platform::WaitForEvent(reply, Platform::kInfinite);
    }
    quit.Set();
    peer.join();
    state.counters["limit_us"] = 500;
}
BENCHMARK(EventRoundTrip)->UseRealTime();

void LogLineToFile(benchmark::State& state) {
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    const std::filesystem::path folder =
        std::filesystem::path(stateHome != nullptr ? stateHome : "/tmp") / "bench-logs";
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / "bench.log";
    std::filesystem::remove(file);
    Logging::CLogger logger("Quorvel", [](int severity) { return severity <= 7; });
    logger.SetFilePath(file.wstring());
    long i = 0;
    for (auto _ : state) {
        logger.LogParts(Logging::Debug, "QuorvelDll: Sent command \"P(", 123.456, ",", 45.5, ",",
                        2.0, ")\" ", ++i);
    }
    std::filesystem::remove(file);
    state.counters["limit_us"] = 50;
}
BENCHMARK(LogLineToFile);

// Per benchmark that states its limit, the wall time per iteration against it.
std::string LimitLine(const QuorvelBench::Run& run) {
    const auto limit = run.counters.find("limit_us");
    if (limit == run.counters.end() || run.iterations == 0) {
        return {};
    }
    const double perIteration =
        QuorvelBench::MicrosecondsPerIteration(run.real_accumulated_time, run);
    return run.benchmark_name() + ": " + QuorvelBench::Fixed3(perIteration) +
           " us per iteration, limit " + QuorvelBench::Fixed3(limit->second.value) + " us, ratio " +
           QuorvelBench::Fixed3(perIteration / limit->second.value);
}

}  // namespace

int main(int argc, char** argv) {
    return QuorvelBench::RunWithLimits(argc, argv, LimitLine);
}
