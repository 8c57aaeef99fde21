// Finds the instrument on the ports that are present: each port is opened in turn (or a few at
// once) and asked for its identification ("I?") at the baud rates of the connection dialog's
// list, most likely first. A port counts when the product field is "QUORVEL4". Toolkit-free:
// the connection dialog runs it on a worker thread, `quorvelctl detect` on its own.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "PortCatalog.h"
#include "QuorvelExport.h"
#include "platform/WinTypes.h"

namespace QuorvelDriver {

struct DetectOptions {
    std::vector<unsigned int> ports;  // empty: every present port
    // The connection dialog's rates; the stored one is tried first, then 115200, then the rest
    // from the fastest down.
    std::vector<DWORD> bauds{2400, 4800, 9600, 19200, 38400, 57600, 115200};
    DWORD preferredBaud = 115200;
    // A silent port costs at most this in all, whatever the number of rates tried.
    std::chrono::milliseconds replyDeadline{1000};
    unsigned int parallel = 4;  // ports probed at once
};

struct DetectedInstrument {
    PortDescription port;
    DWORD baud = 0;
    std::wstring leading, productId, trailing;  // the identification fields
};

struct SkippedPort {
    PortDescription port;
    std::wstring reason;  // "in use by another program", "no answer", "answers as \"X\"", …
};

struct DetectProgress {
    unsigned int done = 0;     // ports finished
    unsigned int total = 0;    // ports to probe
    unsigned int current = 0;  // the COM number just started or finished
};

struct DetectReport {
    std::vector<DetectedInstrument> found;  // ascending COM number
    std::vector<SkippedPort> skipped;
    bool cancelled = false;
};

// One rate of a port's probe and the time it may take, from the write of "I?" to the end of
// the reply. The shares of all rates add up to at most the reply deadline.
struct ProbeStep {
    DWORD baud = 0;
    std::chrono::milliseconds slice{0};
};

// The rates a port is asked at, in order, with their shares of `options.replyDeadline`: each
// gets the wire time of the question and a 40-byte answer at its rate (180 ms at 2400 baud)
// plus time for the instrument to answer, most of that to the likely rates.
QUORVELDLL_API std::vector<ProbeStep> PlanProbe(const DetectOptions& options);

class QUORVELDLL_API CPortDetector {
public:
    explicit CPortDetector(DetectOptions options);
    ~CPortDetector();
    CPortDetector(const CPortDetector&) = delete;
    CPortDetector& operator=(const CPortDetector&) = delete;

    // Probes on the calling thread until done or cancelled. `progress` is called on a probing
    // thread, never while a lock of the caller's could be held by the detector.
    DetectReport Run(const std::function<void(const DetectProgress&)>& progress = {});
    // Any thread: Run returns within a few milliseconds with `cancelled` set.
    void Cancel();

private:
    struct Impl;
    Impl* m_impl;
};

}  // namespace QuorvelDriver
