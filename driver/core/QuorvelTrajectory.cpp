// CQuorvel: trajectory upload (one pair per acknowledged command, on the upload thread) and
// the timed start ("T!" ten seconds before the start time, "G!" at it, on the start thread).
// Both threads hand off with the GUI thread's reply handlers through events: a handler writes
// its success flag, then signals; the thread reads the flag after its wait returns.
#include <cmath>
#include <limits>

#include "AckTexts.h"
#include "DllLog.h"
#include "ProtocolText.h"
#include "Quorvel.h"
#include "ReplyMailbox.h"
#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/MessageBox.h"

using QuorvelDriver::DllLog;

namespace {

// Local civil time as ticks on a common scale, good for differences between local times.
Platform::Ticks LocalTicks(const SYSTEMTIME& local) {
    return Platform::SystemTimeToTicks(local);
}

std::uint32_t WaitMilliseconds(long long ms) {
    if (ms <= 0)
        return 0;
    const long long limit = static_cast<long long>(Platform::kInfinite) - 1;
    return static_cast<std::uint32_t>(ms > limit ? limit : ms);
}

enum class EWaitEnd { Reached, Cancelled, LinkDown };

// Waits until the local time `target` (ticks), until `cancel` is signalled, or until the link
// goes down (disconnection, or the object being destroyed: its destructor cannot rely on
// `cancel` alone, because the start thread resets that event between its two waits). The
// clock is read again before every wait, so time that passed since the caller computed its
// figure (logging, scheduling) does not push the end past the target.
EWaitEnd WaitUntilLocal(Platform::CEvent& cancel, Platform::CEvent& linkDown,
                        Platform::Ticks target) {
    for (;;) {
        const Platform::Ticks now = LocalTicks(Platform::GetLocalTime());
        const long long ms =
            target > now
                ? static_cast<long long>((target - now + Platform::kTicksPerMillisecond - 1) /
                                         Platform::kTicksPerMillisecond)
                : 0;
        const int woke = Platform::WaitForEvents({&cancel, &linkDown}, WaitMilliseconds(ms));
        if (woke == 0)
            return EWaitEnd::Cancelled;
        if (woke == 1)
            return EWaitEnd::LinkDown;
        if (ms == 0 || LocalTicks(Platform::GetLocalTime()) >= target)
            return EWaitEnd::Reached;
    }
}

}  // namespace

int CQuorvel::SetTrajectory(int nPeriod, const CArray<SYSTEMTIME>& times,
                            const CArray<double>& azimuths, const CArray<double>& zeniths) {
    if (azimuths.IsEmpty() || zeniths.IsEmpty() || azimuths.GetSize() != zeniths.GetSize() ||
        !m_bConnected) {
        return 0;
    }
    // A worker that has cleared the busy flag has at most its uploaded notice left to send:
    // let it through, so a new trajectory right after the notice is not refused. Only when
    // asked from inside that very notice can it not finish; that request is refused.
    if (m_bBusy ||
        !Platform::CMessageLoop::RunUntil([this] { return !m_bUploadRunning && !m_bStartRunning; },
                                          std::chrono::milliseconds(1000))) {
        DllLog(Logging::Warning,
               L"New trajectory refused: an upload or a timed start is in progress.");
        return 0;
    }
    ReapFinishedWorkers();
    for (long long i = 0; i < azimuths.GetSize(); ++i) {
        if (!std::isfinite(azimuths[i]) || !std::isfinite(zeniths[i])) {
            DllLog(Logging::Warning, L"New trajectory refused: pair ", i + 1, L" is not a number.");
            return 0;
        }
    }
    m_bBusy = 1;
    DllLog(Logging::Debug, L"Starting loading a trajectory.");
    m_hLoadAck->Reset();
    m_hPairAck->Reset();
    m_azimuths.Copy(azimuths);
    m_zeniths.Copy(zeniths);
    m_times.Copy(times);
    m_nPeriod = nPeriod;
    m_bUploadRunning = true;
    try {
        m_uploadThread = std::thread(&CQuorvel::LoadTrajectoryThread, this);
    } catch (const std::system_error&) {
        m_bUploadRunning = false;
        m_bBusy = 0;
        return 0;
    }
    return 1;
}

int CQuorvel::StartTrajectory(int nIndex) {
    if (!m_bConnected)
        return 0;
    if (m_bBusy) {
        if (m_bStartPending) {
            DllLog(Logging::Warning,
                   L"Trajectory start refused: a timed start is already waiting; cancel it first.");
        }
        return 0;
    }
    if (nIndex < 0 || nIndex >= m_times.GetSize()) {
        DllLog(Logging::Warning, L"Trajectory start refused: index ", nIndex, L" is outside the ",
               m_times.GetSize(), L" time stamps.");
        return 0;
    }
    // Only the worker that set the busy flag clears it, as its last act before returning; the
    // start thread needs nothing from this thread after that. Still, this thread never blocks
    // on it: it pumps while the thread returns and refuses if it somehow does not.
    if (m_startThread.joinable()) {
        if (m_bStartRunning &&
            !Platform::CMessageLoop::RunUntil([this] { return !m_bStartRunning; },
                                              std::chrono::milliseconds(1000))) {
            DllLog(Logging::Warning,
                   L"Trajectory start refused: the previous start has not ended yet.");
            return 0;
        }
        m_startThread.join();
    }
    ReapFinishedWorkers();
    m_nStartIndex = nIndex;
    m_hInitAck->Reset();
    m_bBusy = 1;
    m_bStartPending = true;
    m_bStartRunning = true;
    try {
        m_startThread = std::thread(&CQuorvel::StartTrajectoryThread, this);
    } catch (const std::system_error&) {
        m_bStartRunning = false;
        m_bStartPending = false;
        m_bBusy = 0;
        return 0;
    }
    return 1;
}

int CQuorvel::CancelTrajectoryUpload() {
    m_hUploadCancel->Set();
    return 1;
}

int CQuorvel::IsTrajectoryUploaded() {
    return m_bUploaded.load();
}

int CQuorvel::CancelTrajectory() {
    m_hStartCancel->Set();
    return 1;
}

// The GUI thread may be pumping until a worker has ended (SetTrajectory right after the
// uploaded notice, the destructor): the worker's last act wakes it with an empty message, so
// it does not sleep until its next periodic look (10 ms, on every new trajectory).
UINT CQuorvel::LoadTrajectoryThread(void* pParam) {
    auto* self = static_cast<CQuorvel*>(pParam);
    self->RunUpload();
    self->m_bUploadRunning = false;
    self->PostMessage(WM_NULL, 0, 0);
    return 0;
}

UINT CQuorvel::StartTrajectoryThread(void* pParam) {
    auto* self = static_cast<CQuorvel*>(pParam);
    self->RunTimedStart();
    self->m_bStartPending = false;  // already so on every path; the guarantee lives here
    self->m_bStartRunning = false;
    self->PostMessage(WM_NULL, 0, 0);
    return 0;
}

void CQuorvel::RunUpload() {
    const long long n = m_azimuths.GetSize();
    SetStatus(UPLOADING, 0);
    m_bUploaded = 0;
    DllLog(Logging::Debug, L"Uploading a trajectory with ", n, L" elements and a period of ",
           m_nPeriod, L" seconds.");
    const std::string header = "T(" + std::to_string(n) + "," + std::to_string(m_nPeriod) + ")";
    QueueCommand(header.c_str(), WM_QUORVEL_TRAJ_LOAD);
    Notify(WM_QUORVEL_TRAJ_PROGRESS, 0, 1);

    const int header_wait =
        Platform::WaitForEvents({m_hLoadAck.get(), m_hLinkDown.get()}, Platform::kInfinite);
    m_hLoadAck->Reset();
    bool complete = false;
    if (header_wait == 0 && m_bLoadOk) {
        m_hUploadCancel->Reset();
        // The next pair is queued before the progress notice of the pair just acknowledged,
        // so the owner handles the notice while that pair is on the line, instead of the
        // line standing idle for the notice's two thread hand-offs (two wake-ups, often on
        // another processor). The commands, the progress sequence and the cancel points are
        // those of sending the notice first; only a command that the owner queues from
        // inside the notice now follows the next pair instead of preceding it.
        const auto queuePair = [this, n](long long k) {
            const std::string pair = QuorvelDriver::FormatFixed(m_azimuths[k], 4) + "," +
                                     QuorvelDriver::FormatFixed(m_zeniths[k], 4);
            QueueCommand(pair.c_str(), WM_QUORVEL_TRAJ_PAIR);
            DllLog(Logging::Debug, L"Uploading trajectory pair ", k + 1, L" of ", n, L". Value (",
                   QuorvelDriver::WidenAscii(pair), L")");
        };
        long long i = 0;
        queuePair(0);
        for (; i < n; ++i) {
            // Cancel wins over an acknowledgement that arrived at the same time.
            const int woke = Platform::WaitForEvents(
                {m_hUploadCancel.get(), m_hPairAck.get(), m_hLinkDown.get()}, Platform::kInfinite);
            if (woke == 0) {
                DllLog(Logging::Informational, L"Trajectory upload cancelled by user.");
                break;
            }
            m_hPairAck->Reset();
            if (woke != 1 || !m_bPairOk) {
                DllLog(Logging::Warning, L"Trajectory upload encountered an error.");
                break;
            }
            if (i + 1 < n)
                queuePair(i + 1);
            const int percent = static_cast<int>(
                std::floor(static_cast<double>(i) * 100.0 / static_cast<double>(n) + 0.5));
            Notify(WM_QUORVEL_TRAJ_PROGRESS, static_cast<WPARAM>(percent), 1);
        }
        if (i == n) {
            DllLog(Logging::Informational, L"Trajectory upload complete.");
            m_bUploaded = 1;
            complete = true;
        }
        Notify(WM_QUORVEL_TRAJ_PROGRESS, 100, 0);
    } else if (header_wait != 0) {
        DllLog(Logging::Warning, L"Trajectory upload encountered an error.");
    }
    ClearStatus(UPLOADING);
    m_bBusy = 0;
    if (complete)
        Notify(WM_QUORVEL_TRAJ_UPLOADED, 0, 0);
}

void CQuorvel::RunTimedStart() {
    SetStatus(WAITING, 0);
    const Platform::Ticks start = LocalTicks(m_times[m_nStartIndex.load()]);
    Platform::Ticks now = LocalTicks(Platform::GetLocalTime());
    const Platform::Ticks lead = 10 * Platform::kTicksPerSecond;
    if (start < lead || start - lead < now) {
        DllLog(Logging::Error, L"T10 start time is before the current time! Aborting trajectory.");
        // The operator acknowledges the box before the status returns to idle.
        Platform::ShowMessageBox(
            L"Trajectory has been aborted due to not enough time to start (less than 10 seconds).",
            L"Quorvel Control Software", MB_OK);
        EndTimedStart(true);
        return;
    }
    const Platform::Ticks t10 = start - lead;
    const long long w1 = static_cast<long long>((t10 - now) / Platform::kTicksPerMillisecond);
    m_hStartCancel->Reset();
    DllLog(Logging::Debug, L"Waiting for ", w1, L" milliseconds before initializing trajectory.");
    const EWaitEnd first = WaitUntilLocal(*m_hStartCancel, *m_hLinkDown, t10);
    if (first == EWaitEnd::Cancelled) {
        DllLog(Logging::Informational,
               L"User cancelled waiting for a trajectory to be initialized.");
        EndTimedStart(true);
        return;
    }
    if (first == EWaitEnd::LinkDown || !m_bConnected) {
        // "T!" could never be answered; the start ends here instead of waiting forever.
        DllLog(Logging::Warning,
               L"Not connected at the initialization time; trajectory not started.");
        EndTimedStart(true);
        return;
    }
    DllLog(Logging::Debug, L"Sending command - \"T!\"");
    QueueCommand("T!", WM_QUORVEL_TRAJECTORY);
    const int init =
        Platform::WaitForEvents({m_hInitAck.get(), m_hLinkDown.get()}, Platform::kInfinite);
    if (init != 0 || !m_bInitOk) {
        // WAITING stays; the owner has had the error.
        EndTimedStart(false);
        return;
    }
    now = LocalTicks(Platform::GetLocalTime());
    const long long w2 =
        start > now ? static_cast<long long>((start - now) / Platform::kTicksPerMillisecond) : 0;
    m_hStartCancel->Reset();
    DllLog(Logging::Debug, L"Waiting for ", w2, L" milliseconds before starting trajectory.");
    const EWaitEnd second = WaitUntilLocal(*m_hStartCancel, *m_hLinkDown, start);
    if (second == EWaitEnd::Cancelled) {
        DllLog(Logging::Informational, L"User cancelled waiting for a trajectory to start.");
        EndTimedStart(true);
        return;
    }
    if (second == EWaitEnd::LinkDown) {
        // "G!" could not be sent; the instrument, if it comes back, is still initialised.
        DllLog(Logging::Warning, L"Not connected at the start time; trajectory not started.");
        EndTimedStart(true);
        return;
    }
    // No longer pending before "G!" goes out: its reply makes the set exactly {TRAJECTORY}.
    m_bStartPending = false;
    DllLog(Logging::Debug, L"Sending command - \"G!\"");
    QueueCommand("G!", WM_QUORVEL_TRAJECTORY_GO);
    m_bBusy = 0;
}

void CQuorvel::EndTimedStart(bool bClearWaiting) {
    m_bStartPending = false;
    if (bClearWaiting)
        ClearStatus(WAITING);
    m_bBusy = 0;
}

LRESULT CQuorvel::OnQuorvelTrajLoad(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    m_bLoadOk = 0;
    if (CheckAcknowledged(*reply, lParam, QuorvelDriver::kTrajectoryLoadAck)) {
        m_bLoadOk = 1;
    }
    m_hLoadAck->Set();
    return 0;
}

LRESULT CQuorvel::OnQuorvelTrajPair(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    m_bPairOk = 0;
    if (CheckAcknowledged(*reply, lParam, QuorvelDriver::kTrajectoryPairAck)) {
        m_bPairOk = 1;
    }
    m_hPairAck->Set();
    return 0;
}

LRESULT CQuorvel::OnQuorvelTrajectory(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    m_bInitOk = 0;
    if (CheckAcknowledged(*reply, lParam, QuorvelDriver::kTrajectoryInitAck)) {
        SetStatus(WAITING, 0);
        m_bInitOk = 1;
    }
    m_hInitAck->Set();
    return 0;
}

LRESULT CQuorvel::OnQuorvelTrajectoryGo(WPARAM wParam, LPARAM lParam) {
    const std::unique_ptr<CStringW> reply = m_pMailbox->Adopt(wParam);
    if (CheckAcknowledged(*reply, lParam, QuorvelDriver::kTrajectoryGoAck)) {
        SetStatus(TRAJECTORY, 1);
    }
    return 0;
}

void CQuorvel::ReapFinishedWorkers() {
    if (m_uploadThread.joinable() && !m_bUploadRunning)
        m_uploadThread.join();
    if (m_startThread.joinable() && !m_bStartRunning)
        m_startThread.join();
}

void CQuorvel::JoinWorkers() {
    // The workers may be blocked sending a notification or raising a box on this thread:
    // keep pumping until they have finished.
    while (m_bUploadRunning || m_bStartRunning) {
        Platform::CMessageLoop::RunUntil([this] { return !m_bUploadRunning && !m_bStartRunning; },
                                         std::chrono::milliseconds(100));
    }
    if (m_uploadThread.joinable())
        m_uploadThread.join();
    if (m_startThread.joinable())
        m_startThread.join();
}
