#include "InstrumentSimulator.h"

#include <algorithm>
#include <limits>

namespace quorvel::sim {

namespace {

constexpr std::size_t kMaxLineBytes = 4096;         // a longer line is answered "0"
constexpr std::size_t kMaxPendingOutBytes = 65536;  // the instrument's transmit buffer
constexpr std::size_t kMaxBytesPerWrite = 4096;
constexpr std::size_t kMaxPendingLines = 1024;  // received, still crossing the slow wire
constexpr unsigned kBabbleBaud = 115200;        // pace of babbling when no wire time is emulated
constexpr char kBabbleText[] = "#BABBLE~0123456789~";
constexpr auto kBabbleSlice = std::chrono::milliseconds(1);
// A device that vanishes after its last reply gives the peer this long to read it: closing
// the master of a pseudo-terminal discards what the slave has not read.
// The kernel moves written bytes to the slave's queue a little later, so the queue is only
// trusted to be empty after a short settling time.
constexpr auto kVanishGrace = std::chrono::seconds(1);
constexpr auto kVanishSettle = std::chrono::milliseconds(50);
constexpr auto kVanishPoll = std::chrono::milliseconds(1);
// Timed wake-ups still come some tens of microseconds late on a loaded or virtual machine.
// While a wire is emulated, the thread wakes this much early and watches the port without
// sleeping until the instant, so bytes leave on their wire time.
constexpr std::int64_t kSpinMarginNs = 80000;

std::chrono::nanoseconds MillisecondsToDuration(double ms) {
    return std::chrono::nanoseconds(static_cast<std::int64_t>(ms * 1e6));
}

}  // namespace

CInstrumentSimulator::CInstrumentSimulator() = default;

CInstrumentSimulator::~CInstrumentSimulator() {
    Stop();
}

std::int64_t CInstrumentSimulator::MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

std::string CInstrumentSimulator::Start(const SSimulatorOptions& options) {
    Stop();
    std::string error;
    if (!options.logPath.empty() && !m_log.OpenFile(options.logPath, error)) {
        std::lock_guard lock(m_mutex);
        m_lastError = error;
        return {};
    }
    if (!m_port.Open(LinkPathFor(options), options.replaceLink, error)) {
        m_log.CloseFile();
        std::lock_guard lock(m_mutex);
        m_lastError = error;
        return {};
    }
    {
        std::lock_guard lock(m_mutex);
        m_options = options;
        if (!(m_options.timeScale > 0.0)) {
            m_options.timeScale = 1.0;
        }
        m_model = CInstrumentModel(m_options.model);
        m_start = Clock::now();
        m_incoming.clear();
        m_partial.clear();
        m_partialOverflow = false;
        m_outgoing.clear();
        m_outgoingBytes = 0;
        m_txFree = m_rxFree = m_start;
        m_babbling = false;
        m_babbleIndex = 0;
        m_vanishRequested = m_vanishWhenFlushed = m_vanished = false;
        m_answered = 0;
        m_devicePath = m_port.DevicePath();
        m_linkPath = m_port.LinkPath();
        m_lastError.clear();
        m_running = true;
    }
    m_log.Clear();
    m_stopRequested = false;
    std::string devicePath = m_port.DevicePath();
    m_thread = std::thread(&CInstrumentSimulator::Run, this);
    return devicePath;
}

void CInstrumentSimulator::Stop() {
    if (m_thread.joinable()) {
        m_stopRequested = true;
        m_port.Wake();
        m_thread.join();
    }
    m_port.Close();
    m_log.CloseFile();
    std::lock_guard lock(m_mutex);
    m_running = false;
}

bool CInstrumentSimulator::IsRunning() const {
    std::lock_guard lock(m_mutex);
    return m_running;
}

std::string CInstrumentSimulator::DevicePath() const {
    std::lock_guard lock(m_mutex);
    return m_devicePath;
}

std::string CInstrumentSimulator::LinkPath() const {
    std::lock_guard lock(m_mutex);
    return m_linkPath;
}

std::string CInstrumentSimulator::LastError() const {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

std::vector<SCommandLogEntry> CInstrumentSimulator::CommandLog() const {
    return m_log.Entries();
}

std::size_t CInstrumentSimulator::ReceivedCount() const {
    return m_log.TotalCount();
}

bool CInstrumentSimulator::WaitForReceived(std::size_t count, int timeoutMs) const {
    return m_log.WaitForCount(count, timeoutMs);
}

void CInstrumentSimulator::InjectLine(const std::string& line) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_running || m_vanished) {
            return;
        }
        QueueLine(line, Clock::now());
    }
    m_port.Wake();
}

SInstrumentState CInstrumentSimulator::State() const {
    SInstrumentState state;
    {
        std::lock_guard lock(m_mutex);
        if (m_running) {
            AdvanceModel(Clock::now());
        }
        state = m_model.State();
    }
    // Events that fell due are queued now; let the thread send them.
    m_port.Wake();
    return state;
}

void CInstrumentSimulator::SetFaults(const std::vector<SFaultRule>& faults) {
    std::lock_guard lock(m_mutex);
    m_options.faults = faults;
    m_vanishWhenFlushed = false;
}

void CInstrumentSimulator::Vanish() {
    {
        std::lock_guard lock(m_mutex);
        m_vanishRequested = true;
    }
    m_port.Wake();
}

bool CInstrumentSimulator::HasVanished() const {
    std::lock_guard lock(m_mutex);
    return m_vanished;
}

CInstrumentSimulator::Clock::duration CInstrumentSimulator::ByteTime() const {
    unsigned baud = m_options.baud;
    if (baud == 0) {
        return Clock::duration::zero();
    }
    // One start bit, eight data bits, one stop bit.
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(10000000000LL / baud));
}

double CInstrumentSimulator::ModelTimeAt(Clock::time_point t) const {
    return std::chrono::duration<double>(t - m_start).count() * m_options.timeScale;
}

void CInstrumentSimulator::AdvanceModel(Clock::time_point now) const {
    std::vector<std::string> events;
    m_model.AdvanceTo(ModelTimeAt(now), events);
    for (const std::string& event : events) {
        QueueLine(event, now);
    }
}

void CInstrumentSimulator::QueueLine(const std::string& text, Clock::time_point ready) const {
    if (m_vanished || m_babbling) {
        return;
    }
    if (m_outgoingBytes + text.size() + 1 > kMaxPendingOutBytes) {
        return;  // transmit buffer overrun: the line is lost, as on the real line
    }
    // Lines leave in the order they were queued, so an event never overtakes the reply
    // of the command that caused it.
    if (!m_outgoing.empty()) {
        ready = std::max(ready, m_outgoing.back().ready);
    }
    m_outgoing.push_back(SOutgoingLine{text + '\r', 0, ready});
    m_outgoingBytes += text.size() + 1;
}

bool CInstrumentSimulator::TakeFault(EFaultKind kind, const std::string& line) {
    for (SFaultRule& rule : m_options.faults) {
        if (rule.kind == kind && rule.afterCommands == 0 && FaultMatches(rule, line)) {
            if (rule.remaining > 0) {
                --rule.remaining;
            }
            return true;
        }
    }
    return false;
}

void CInstrumentSimulator::ProcessDueIncoming(Clock::time_point now) {
    while (!m_incoming.empty() && m_incoming.front().ready <= now) {
        SIncomingLine line = std::move(m_incoming.front());
        m_incoming.pop_front();
        ProcessLine(line, now);
    }
}

void CInstrumentSimulator::ProcessLine(const SIncomingLine& line, Clock::time_point now) {
    if (m_vanished || m_babbling) {
        return;
    }
    if (m_vanishWhenFlushed) {
        // Cut after the N-th answered command: the device is gone for everything that came
        // after it, however fast it came; only the replies already sent are still read.
        return;
    }
    const std::string& text = line.text;
    if (TakeFault(EFaultKind::Vanish, text)) {
        CloseDevice({});
        return;
    }
    if (TakeFault(EFaultKind::Babble, text)) {
        m_outgoing.clear();
        m_outgoingBytes = 0;
        m_babbling = true;
        m_babbleNext = now;
        return;
    }
    const auto latency = MillisecondsToDuration(m_options.replyLatencyMs);
    if (TakeFault(EFaultKind::Refuse, text)) {
        QueueLine("0", now + latency);
        ++m_answered;
    } else if (TakeFault(EFaultKind::NoReply, text)) {
        return;  // the line is lost on its way: nothing is done, nothing answered
    } else {
        std::string reply = line.overflow ? std::string("0") : m_model.Execute(text);
        if (text == "I?" && TakeFault(EFaultKind::WrongProduct, text)) {
            reply = WrongProductReply(reply);
        }
        if (TakeFault(EFaultKind::GarbledReply, text)) {
            reply = GarbleReply(reply);
        }
        bool late = TakeFault(EFaultKind::LateReply, text);
        QueueLine(reply, now + (late ? MillisecondsToDuration(m_options.lateReplyMs) : latency));
        ++m_answered;
        // Effects without duration (a move of zero length) report right after the reply.
        AdvanceModel(now);
    }
    for (const SFaultRule& rule : m_options.faults) {
        if (rule.kind == EFaultKind::Vanish && rule.afterCommands > 0 &&
            m_answered >= static_cast<std::size_t>(rule.afterCommands)) {
            if (!m_vanishWhenFlushed) {
                m_vanishWhenFlushed = true;
                m_vanishDeadline = Clock::time_point::max();
            }
        }
    }
}

void CInstrumentSimulator::AcceptBytes(const char* data, std::size_t size,
                                       Clock::time_point readTime) {
    const auto byteTime = ByteTime();
    for (std::size_t i = 0; i < size; ++i) {
        char c = data[i];
        if (c == '\n') {
            continue;  // a terminal program may end lines with CR LF
        }
        if (m_partial.empty() && !m_partialOverflow) {
            m_partialStart = readTime;
        }
        if (c != '\r') {
            if (m_partial.size() < kMaxLineBytes) {
                m_partial += c;
            } else {
                m_partialOverflow = true;
            }
            continue;
        }
        m_log.Append(
            std::chrono::duration_cast<std::chrono::nanoseconds>(readTime.time_since_epoch())
                .count(),
            m_partial);
        SIncomingLine line;
        line.text = std::move(m_partial);
        line.overflow = m_partialOverflow;
        // The pseudo-terminal delivers at once; the emulated wire needs 10 bits per byte.
        Clock::time_point begin = std::max(m_rxFree, m_partialStart);
        line.ready = begin + byteTime * static_cast<long>(line.text.size() + 1);
        if (line.ready < readTime) {
            line.ready = readTime;
        }
        m_rxFree = line.ready;
        if (m_incoming.size() < kMaxPendingLines) {
            m_incoming.push_back(std::move(line));  // beyond: a receive overrun loses it
        }
        m_partial.clear();
        m_partialOverflow = false;
    }
}

bool CInstrumentSimulator::WriteDueOutgoing(Clock::time_point now) {
    if (m_babbling) {
        WriteBabble(now);
        return false;
    }
    const auto byteTime = ByteTime();
    std::string chunk;
    std::vector<Clock::time_point> byteDone;  // wire time of each chunk byte
    Clock::time_point wire = m_txFree;
    for (const SOutgoingLine& line : m_outgoing) {
        if (line.ready > now || chunk.size() >= kMaxBytesPerWrite) {
            break;
        }
        std::size_t i = line.sent;
        for (; i < line.bytes.size() && chunk.size() < kMaxBytesPerWrite; ++i) {
            Clock::time_point done = std::max(wire, line.ready) + byteTime;
            if (done > now) {
                break;
            }
            chunk += line.bytes[i];
            byteDone.push_back(done);
            wire = done;
        }
        if (i < line.bytes.size()) {
            break;
        }
    }
    if (chunk.empty()) {
        return false;
    }
    std::string error;
    long written = m_port.Write(chunk.data(), chunk.size(), error);
    if (written < 0) {
        CloseDevice(error);
        return false;
    }
    std::size_t remaining = static_cast<std::size_t>(written);
    if (remaining > 0) {
        m_txFree = byteDone[remaining - 1];
    }
    m_outgoingBytes -= remaining;
    while (remaining > 0 && !m_outgoing.empty()) {
        SOutgoingLine& line = m_outgoing.front();
        std::size_t take = std::min(remaining, line.bytes.size() - line.sent);
        line.sent += take;
        remaining -= take;
        if (line.sent == line.bytes.size()) {
            m_outgoing.pop_front();
        }
    }
    // Fewer bytes taken than offered: the pseudo-terminal is full, wait until writable.
    return static_cast<std::size_t>(written) < chunk.size();
}

void CInstrumentSimulator::WriteBabble(Clock::time_point now) {
    unsigned baud = m_options.baud != 0 ? m_options.baud : kBabbleBaud;
    const auto byteTime = std::chrono::nanoseconds(10000000000LL / baud);
    if (m_babbleNext > now) {
        return;
    }
    auto due = static_cast<std::size_t>((now - m_babbleNext) / byteTime) + 1;
    due = std::min(due, kMaxBytesPerWrite);
    std::string chunk;
    for (std::size_t i = 0; i < due; ++i) {
        chunk += kBabbleText[(m_babbleIndex + i) % (sizeof kBabbleText - 1)];
    }
    std::string error;
    long written = m_port.Write(chunk.data(), chunk.size(), error);
    if (written < 0) {
        CloseDevice(error);
        return;
    }
    m_babbleIndex += static_cast<std::size_t>(written);
    // Noise that does not fit is simply lost; the pace continues from now.
    m_babbleNext = std::max(m_babbleNext + byteTime * static_cast<long>(due), now - byteTime);
}

std::int64_t CInstrumentSimulator::NanosecondsToNextWork(Clock::time_point now) const {
    if (m_vanished) {
        return -1;
    }
    Clock::time_point next = Clock::time_point::max();
    if (!m_incoming.empty()) {
        next = std::min(next, m_incoming.front().ready);
    }
    if (m_babbling) {
        next = std::min(next, std::max(m_babbleNext, now + kBabbleSlice));
    } else if (!m_outgoing.empty()) {
        const SOutgoingLine& line = m_outgoing.front();
        next = std::min(next, std::max(m_txFree, line.ready) + ByteTime());
    }
    if (m_vanishWhenFlushed && m_outgoing.empty()) {
        next = std::min(next, now + kVanishPoll);
    }
    double event = m_model.NextEventTime();
    if (event < std::numeric_limits<double>::infinity()) {
        // Far-off events (a crawl over a long way) are looked at again within an hour, which
        // keeps the conversion to clock ticks in range.
        double sinceStart = std::chrono::duration<double>(now - m_start).count();
        double realSeconds = std::min(event / m_options.timeScale, sinceStart + 3600.0);
        auto offset =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(realSeconds));
        // Round up, so the wake-up never comes before the event is due.
        next = std::min(next, m_start + offset + std::chrono::microseconds(1));
    }
    if (next == Clock::time_point::max()) {
        return -1;
    }
    if (next <= now) {
        return 0;
    }
    return std::chrono::duration_cast<std::chrono::nanoseconds>(next - now).count();
}

void CInstrumentSimulator::CloseDevice(const std::string& reason) {
    if (m_vanished) {
        return;
    }
    m_port.Close();
    m_vanished = true;
    m_babbling = false;
    m_outgoing.clear();
    m_outgoingBytes = 0;
    m_incoming.clear();
    if (!reason.empty()) {
        m_lastError = reason;
    }
}

bool CInstrumentSimulator::VanishNowAfterFlush(Clock::time_point now) {
    if (!m_vanishWhenFlushed || m_vanished || !m_outgoing.empty()) {
        return false;
    }
    if (m_vanishDeadline == Clock::time_point::max()) {
        m_vanishDeadline = now + kVanishGrace;
    }
    bool settled = now >= m_vanishDeadline - kVanishGrace + kVanishSettle;
    return (settled && m_port.UnreadByPeer() == 0) || now >= m_vanishDeadline;
}

SPortWaitResult CInstrumentSimulator::WaitForWork(bool wantWrite, std::int64_t timeoutNs,
                                                  bool precise) {
    if (timeoutNs <= 0 || !precise) {
        return m_port.Wait(wantWrite, timeoutNs);
    }
    if (timeoutNs > kSpinMarginNs) {
        return m_port.Wait(wantWrite, timeoutNs - kSpinMarginNs);
    }
    const Clock::time_point due = Clock::now() + std::chrono::nanoseconds(timeoutNs);
    SPortWaitResult ready;
    do {
        ready = m_port.Wait(wantWrite, 0);
        if (ready.readable || ready.writable || ready.hangup) {
            break;
        }
    } while (Clock::now() < due && !m_stopRequested);
    return ready;
}

void CInstrumentSimulator::Run() {
    bool precise = false;  // a wire is emulated; fixed while the thread runs
    {
        std::lock_guard lock(m_mutex);
        precise = ByteTime() != Clock::duration::zero();
    }
    if (precise) {
        CPseudoTerminal::PreferPreciseWakeups();
    }
    bool wantWrite = false;
    while (!m_stopRequested) {
        std::int64_t timeoutNs = -1;
        {
            std::lock_guard lock(m_mutex);
            Clock::time_point now = Clock::now();
            if (m_vanishRequested) {
                CloseDevice({});
            }
            AdvanceModel(now);
            ProcessDueIncoming(now);
            wantWrite = WriteDueOutgoing(now);
            if (VanishNowAfterFlush(now)) {
                CloseDevice({});
            }
            timeoutNs = wantWrite ? std::max<std::int64_t>(NanosecondsToNextWork(now), 1000000)
                                  : NanosecondsToNextWork(now);
        }
        SPortWaitResult ready = WaitForWork(wantWrite, timeoutNs, precise);
        if (ready.hangup) {
            std::lock_guard lock(m_mutex);
            CloseDevice("the pseudo-terminal hung up");
            continue;
        }
        if (!ready.readable) {
            continue;
        }
        char buffer[4096];
        std::string error;
        long n = m_port.Read(buffer, sizeof buffer, error);
        Clock::time_point readTime = Clock::now();
        std::lock_guard lock(m_mutex);
        if (n < 0) {
            CloseDevice(error);
        } else if (n > 0) {
            AcceptBytes(buffer, static_cast<std::size_t>(n), readTime);
        }
    }
}

}  // namespace quorvel::sim
