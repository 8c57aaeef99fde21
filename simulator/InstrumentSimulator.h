// The simulated instrument on a pseudo-terminal, run by its own thread: it reads command
// lines, answers them through the model with the configured latency, wire time and faults,
// sends the model's event lines, and records what it received. Used by quorvel-sim, by
// tests and by the program's built-in simulator.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CommandLog.h"
#include "InstrumentModel.h"
#include "PseudoTerminal.h"
#include "SimulatorOptions.h"

namespace quorvel::sim {

class CInstrumentSimulator {
public:
    CInstrumentSimulator();
    ~CInstrumentSimulator();  // stops the thread and removes the link
    CInstrumentSimulator(const CInstrumentSimulator&) = delete;
    CInstrumentSimulator& operator=(const CInstrumentSimulator&) = delete;

    // Opens the pseudo-terminal, creates the link and starts the thread. Returns the device
    // path, or an empty string with the reason in LastError(). Start, Stop and a new Start
    // belong to the owning thread; everything else may be called from any thread.
    std::string Start(const SSimulatorOptions& options);
    void Stop();
    bool IsRunning() const;

    std::string DevicePath() const;
    std::string LinkPath() const;
    std::string LastError() const;

    // Every received line with its steady-clock (CLOCK_MONOTONIC) time in nanoseconds.
    std::vector<SCommandLogEntry> CommandLog() const;
    std::size_t ReceivedCount() const;
    // Blocks until `count` lines have been received since Start, or the timeout passes.
    bool WaitForReceived(std::size_t count, int timeoutMs) const;

    // Sends a line (a carriage return is added) as the instrument would, e.g. "!P:1".
    void InjectLine(const std::string& line);

    // The model brought up to now.
    SInstrumentState State() const;

    // Replaces the fault rules of the running instrument.
    void SetFaults(const std::vector<SFaultRule>& faults);

    // The device disappears: the pseudo-terminal is closed and the link removed. The thread
    // keeps running until Stop.
    void Vanish();
    bool HasVanished() const;

    // Steady-clock time in nanoseconds, the time base of the command log.
    static std::int64_t MonotonicNs();

private:
    using Clock = std::chrono::steady_clock;

    struct SIncomingLine {
        std::string text;
        Clock::time_point ready;  // when the last byte has crossed the emulated wire
        bool overflow = false;
    };
    struct SOutgoingLine {
        std::string bytes;  // text and carriage return
        std::size_t sent = 0;
        Clock::time_point ready;  // earliest time of the first byte
    };

    void Run();
    SPortWaitResult WaitForWork(bool wantWrite, std::int64_t timeoutNs, bool precise);
    // All of the following run with m_mutex held.
    double ModelTimeAt(Clock::time_point t) const;
    void AdvanceModel(Clock::time_point now) const;
    void ProcessDueIncoming(Clock::time_point now);
    void ProcessLine(const SIncomingLine& line, Clock::time_point now);
    bool TakeFault(EFaultKind kind, const std::string& line);
    void QueueLine(const std::string& text, Clock::time_point ready) const;
    bool WriteDueOutgoing(Clock::time_point now);
    void WriteBabble(Clock::time_point now);
    void AcceptBytes(const char* data, std::size_t size, Clock::time_point readTime);
    std::int64_t NanosecondsToNextWork(Clock::time_point now) const;
    void CloseDevice(const std::string& reason);
    bool VanishNowAfterFlush(Clock::time_point now);
    Clock::duration ByteTime() const;

    CPseudoTerminal m_port;  // used by the simulator thread while it runs
    CCommandLog m_log;
    std::thread m_thread;
    std::atomic<bool> m_stopRequested{false};

    mutable std::mutex m_mutex;  // guards every field below
    SSimulatorOptions m_options;
    mutable CInstrumentModel m_model;
    Clock::time_point m_start;
    std::deque<SIncomingLine> m_incoming;
    std::string m_partial;  // bytes of the line being received
    Clock::time_point m_partialStart;
    bool m_partialOverflow = false;
    mutable std::deque<SOutgoingLine> m_outgoing;
    mutable std::size_t m_outgoingBytes = 0;
    Clock::time_point m_txFree;  // the emulated wire is free for the next outgoing byte
    Clock::time_point m_rxFree;  // ... for the next incoming byte
    bool m_babbling = false;
    Clock::time_point m_babbleNext;
    std::size_t m_babbleIndex = 0;
    bool m_vanishRequested = false;
    bool m_vanishWhenFlushed = false;
    Clock::time_point m_vanishDeadline;  // last chance for the peer to read the final reply
    bool m_vanished = false;
    bool m_running = false;
    std::size_t m_answered = 0;
    std::string m_devicePath;
    std::string m_linkPath;
    std::string m_lastError;
};

}  // namespace quorvel::sim
