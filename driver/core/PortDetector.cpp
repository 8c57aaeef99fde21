// CPortDetector: each port is opened with the serial device of the driver, asked "I?" at one
// rate after the other within its time budget, and closed again. Nothing is written to the
// settings or the port folder.
#include "PortDetector.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "ProtocolText.h"
#include "SerialDevice.h"
#include "platform/TextConvert.h"

namespace QuorvelDriver {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr DWORD kLikelyBaud = 115200;  // the instrument's factory rate
// Bits on the wire for "I?\r" and an answer of up to 40 bytes, 10 bits a byte (8N1).
constexpr long long kExchangeBits = (3 + 40) * 10;
// The least time an instrument is given to start answering at a rate.
constexpr long long kMinAnswerMs = 20;

std::vector<DWORD> RateOrder(const DetectOptions& options) {
    std::vector<DWORD> order;
    const auto add = [&order](DWORD baud) {
        if (baud != 0 && std::find(order.begin(), order.end(), baud) == order.end())
            order.push_back(baud);
    };
    add(options.preferredBaud);
    add(kLikelyBaud);
    std::vector<DWORD> rest = options.bauds;
    std::sort(rest.begin(), rest.end(), [](DWORD a, DWORD b) { return a > b; });
    for (DWORD baud : rest)
        add(baud);
    return order;
}

long long WireMs(DWORD baud) {
    return (kExchangeBits * 1000 + baud - 1) / baud;
}

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + Platform::PrintableText(text, 40) + L"\"";
}

// What one port's probe came to.
struct SPortResult {
    enum class Kind { Found, Skipped, Cancelled } kind = Kind::Skipped;
    DWORD baud = 0;
    IdStruct id;
    std::wstring reason;
};

}  // namespace

std::vector<ProbeStep> PlanProbe(const DetectOptions& options) {
    const std::vector<DWORD> order = RateOrder(options);
    std::vector<ProbeStep> plan;
    long long budget = std::max<long long>(0, options.replyDeadline.count());
    long long needed = 0;
    for (DWORD baud : order)
        needed += WireMs(baud) + kMinAnswerMs;
    if (budget < needed) {
        // Not enough for every rate: the likely ones first, each with what it needs.
        for (DWORD baud : order) {
            const long long slice = std::min(budget, WireMs(baud) + kMinAnswerMs);
            if (slice <= 0)
                break;
            plan.push_back({baud, milliseconds(slice)});
            budget -= slice;
        }
        return plan;
    }
    // The time beyond what every rate needs goes to the instrument's answer: three shares to
    // the stored rate, two to the next, one to each of the others.
    std::vector<long long> weights(order.size(), 1);
    if (!weights.empty())
        weights[0] = 3;
    if (weights.size() > 1)
        weights[1] = 2;
    long long weightSum = 0;
    for (long long w : weights)
        weightSum += w;
    const long long extra = budget - needed;
    long long given = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const long long slice = WireMs(order[i]) + kMinAnswerMs + extra * weights[i] / weightSum;
        plan.push_back({order[i], milliseconds(slice)});
        given += slice;
    }
    if (!plan.empty())
        plan.front().slice += milliseconds(budget - given);  // what the division left over
    return plan;
}

struct CPortDetector::Impl {
    DetectOptions options;
    std::vector<ProbeStep> plan;

    std::atomic<bool> cancelled{false};
    std::mutex lock;                     // guards `active`
    std::vector<CSerialDevice*> active;  // devices of the probes running now

    std::mutex progressLock;  // one progress call at a time, `done` in order
    unsigned int done = 0;    // guarded by progressLock

    // Makes `device` wake at Cancel; false when Cancel came first.
    bool Register(CSerialDevice& device) {
        std::lock_guard<std::mutex> guard(lock);
        active.push_back(&device);
        if (cancelled.load()) {
            device.RequestShutdown();
            return false;
        }
        return true;
    }
    void Unregister(CSerialDevice& device) {
        std::lock_guard<std::mutex> guard(lock);
        active.erase(std::remove(active.begin(), active.end(), &device), active.end());
    }

    SPortResult Probe(unsigned int port);
    SPortResult AskAtRates(CSerialDevice& device);
};

SPortResult CPortDetector::Impl::Probe(unsigned int port) {
    SPortResult result;
    if (cancelled.load()) {
        result.kind = SPortResult::Kind::Cancelled;
        return result;
    }
    CSerialDevice device;
    SerialFailure failure;
    switch (device.OpenPort(port, failure)) {
        case OpenOutcome::Opened:
            break;
        case OpenOutcome::InUse:
            result.reason = L"in use by another program";
            return result;
        case OpenOutcome::Absent:
            result.reason = L"not present";
            return result;
        case OpenOutcome::NotPermitted:
        case OpenOutcome::NotSerial:
            result.reason = failure.systemText;
            return result;
    }
    if (!Register(device)) {
        Unregister(device);
        result.kind = SPortResult::Kind::Cancelled;
        return result;
    }
    result = AskAtRates(device);
    Unregister(device);
    device.Close();
    return result;
}

SPortResult CPortDetector::Impl::AskAtRates(CSerialDevice& device) {
    SPortResult result;
    bool heardSomething = false;
    std::wstring setupProblem;
    Clock::time_point stepEnd = Clock::now();
    for (const ProbeStep& step : plan) {
        // The ends add up, so time a rate did not use (a quick wrong answer) goes to the next.
        stepEnd += step.slice;
        SerialFailure failure;
        if (!device.Configure(step.baud, failure)) {
            setupProblem = failure.operation + L" failed: " + failure.systemText;
            continue;
        }
        device.Purge(failure);
        const auto left = [&stepEnd] {
            return std::chrono::duration_cast<milliseconds>(stepEnd - Clock::now());
        };
        if (!device.Write("I?\r", std::max(left(), milliseconds(1)), failure)) {
            result.reason = failure.operation + L" failed: " + failure.systemText;
            return result;
        }
        std::string received;
        for (;;) {
            const WaitOutcome waited =
                device.Wait(std::max(left(), milliseconds(0)), false, failure);
            if (waited == WaitOutcome::Shutdown || cancelled.load()) {
                result.kind = SPortResult::Kind::Cancelled;
                return result;
            }
            if (waited == WaitOutcome::Failed) {
                result.reason = failure.operation + L" failed: " + failure.systemText;
                return result;
            }
            if (waited == WaitOutcome::TimedOut)
                break;
            if (!device.ReadAvailable(received, failure)) {
                result.reason = failure.operation + L" failed: " + failure.systemText;
                return result;
            }
            // Every complete line: an event line ("!P:1") is not an answer; anything else
            // is, and at a wrong rate it is garbage without two commas.
            for (std::size_t end; (end = received.find('\r')) != std::string::npos;) {
                std::string line = received.substr(0, end);
                received.erase(0, end + 1);
                line.erase(std::remove(line.begin(), line.end(), '\n'), line.end());
                if (line.empty() || line.front() == '!')
                    continue;
                heardSomething = true;
                const IdStruct id = ParseIdentification(Platform::WidenBytes(line));
                if (id.strProductId == kProductId) {
                    result.kind = SPortResult::Kind::Found;
                    result.baud = step.baud;
                    result.id = id;
                    return result;
                }
                if (!id.strProductId.empty()) {
                    result.reason = L"answers as " + Quoted(id.strProductId);
                    return result;
                }
            }
            if (!received.empty())
                heardSomething = true;
            if (left().count() <= 0)
                break;
        }
    }
    if (heardSomething)
        result.reason = L"answers, but not with an identification";
    else if (!setupProblem.empty())
        result.reason = setupProblem;
    else
        result.reason = L"no answer";
    return result;
}

CPortDetector::CPortDetector(DetectOptions options) : m_impl(new Impl) {
    m_impl->options = std::move(options);
    m_impl->plan = PlanProbe(m_impl->options);
}

CPortDetector::~CPortDetector() {
    delete m_impl;
}

void CPortDetector::Cancel() {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    m_impl->cancelled = true;
    for (CSerialDevice* device : m_impl->active)
        device->RequestShutdown();
}

DetectReport CPortDetector::Run(const std::function<void(const DetectProgress&)>& progress) {
    Impl& impl = *m_impl;
    std::vector<PortDescription> ports;
    if (impl.options.ports.empty()) {
        ports = DescribePresentPorts();
    } else {
        std::vector<unsigned int> numbers = impl.options.ports;
        std::sort(numbers.begin(), numbers.end());
        numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
        for (unsigned int port : numbers)
            ports.push_back(DescribePort(port));
    }
    const unsigned int total = static_cast<unsigned int>(ports.size());
    {
        std::lock_guard<std::mutex> guard(impl.progressLock);
        impl.done = 0;
    }
    const auto report = [&](unsigned int port, bool finished) {
        if (!progress)
            return;
        std::lock_guard<std::mutex> guard(impl.progressLock);
        if (finished)
            ++impl.done;
        progress(DetectProgress{impl.done, total, port});
    };

    std::vector<SPortResult> results(ports.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < ports.size();) {
            if (impl.cancelled.load()) {
                results[i].kind = SPortResult::Kind::Cancelled;
                continue;
            }
            report(ports[i].port, false);
            results[i] = impl.Probe(ports[i].port);
            if (results[i].kind != SPortResult::Kind::Cancelled)
                report(ports[i].port, true);
        }
    };
    // The calling thread is one of the probing threads.
    const std::size_t atOnce =
        std::min<std::size_t>(std::max(1u, impl.options.parallel), ports.size());
    const std::size_t helpers = atOnce > 0 ? atOnce - 1 : 0;
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < helpers; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer ports at once; the calling thread probes the rest
        }
    }
    work();
    for (std::thread& thread : threads)
        thread.join();

    DetectReport detected;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const SPortResult& r = results[i];
        switch (r.kind) {
            case SPortResult::Kind::Found:
                detected.found.push_back(DetectedInstrument{ports[i], r.baud, r.id.strLeading,
                                                            r.id.strProductId, r.id.strTrailing});
                break;
            case SPortResult::Kind::Skipped:
                detected.skipped.push_back(SkippedPort{ports[i], r.reason});
                break;
            case SPortResult::Kind::Cancelled:
                break;
        }
    }
    detected.cancelled = impl.cancelled.load();
    return detected;
}

}  // namespace QuorvelDriver
