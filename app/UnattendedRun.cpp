#include "UnattendedRun.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "CaptionBar.h"
#include "HeliostatControlsDlg.h"
#include "MainFrame.h"
#include "ProgramLog.h"
#include "QuorvelApp.h"
#include "QuorvelView.h"
#include "core/HeliostatWorkflow.h"
#include "core/Quorvel.h"
#include "platform/Clock.h"

namespace {
// How often the run looks at its clocks (real milliseconds).
constexpr int kTickMs = 200;
// How long a connection attempt and the replies after it may take (program clock, ms).
constexpr std::int64_t kAnswerMs = 5000;
const QString kDefaultCaption = QStringLiteral("Errors encountered! See log file for details.");

std::int64_t MillisecondsOf(const Platform::IClock& clock) {
    return static_cast<std::int64_t>(clock.NowUtc() / Platform::kTicksPerMillisecond);
}
}  // namespace

CUnattendedRun::CUnattendedRun(CQuorvelApp& app, CMainFrame& frame,
                               Platform::IClock* countdownClock)
    : QObject(&frame),
      m_app(app),
      m_frame(frame),
      m_countdownClock(countdownClock),
      m_timer(new QTimer(this)) {
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, &CUnattendedRun::OnTick);
}

CUnattendedRun::~CUnattendedRun() = default;

std::int64_t CUnattendedRun::NowMs() const {
    return MillisecondsOf(Platform::Clock());
}

bool CUnattendedRun::Armed() const {
    if (m_phase != EPhase::Idle && m_phase != EPhase::Countdown)
        return true;
    CHeliostatControlsDlg* heliostat = m_frame.View() ? m_frame.View()->HeliostatPanel() : nullptr;
    if (!heliostat)
        return false;
    return heliostat->Workflow().MultiDay();
}

void CUnattendedRun::OnStatus(const std::bitset<7>& status) {
    m_statusSeen = true;
    CQuorvel* device = m_app.Device();
    if (status.none() && device && !device->IsConnected()) {
        // The driver empties the status when the port fails under it.
        if (m_phase == EPhase::Idle && Armed()) {
            BeginRecovery("the instrument's port has gone");
        } else if (m_phase == EPhase::Idle &&
                   (m_lastStatus.to_ulong() & Suntrack::HeliostatStatus::kBusy) != 0) {
            // An attended trajectory is not planned again, but its end is not silent.
            ProgramLog().Log(Logging::Warning,
                             L"The instrument's port has gone while a trajectory was under way; "
                             L"the trajectory has ended.");
            ShowState(kDefaultCaption);
        }
        m_lastStatus.reset();
        return;
    }
    m_lastStatus = status;
}

void CUnattendedRun::OnPosition(double azimuthDeg, double zenithDeg) {
    m_position[0] = azimuthDeg;
    m_position[1] = zenithDeg;
    m_positionSeen = true;
}

bool CUnattendedRun::OnTimeout() {
    if (m_phase != EPhase::Idle && m_phase != EPhase::Countdown)
        return true;  // an attempt's own silence: the reconnection reports it
    CQuorvel* device = m_app.Device();
    if (!device || !device->IsConnected() || !Armed())
        return false;
    device->Disconnect();
    BeginRecovery("the instrument does not answer");
    return true;
}

void CUnattendedRun::OnIdle() {
    if (m_phase != EPhase::Idle)
        return;
    CQuorvel* device = m_app.Device();
    CHeliostatControlsDlg* heliostat = m_frame.View() ? m_frame.View()->HeliostatPanel() : nullptr;
    if (!device || !device->IsConnected() || !heliostat)
        return;
    // Only a run over several days outlives the program: a single trajectory is attended.
    SetArmedFlag(heliostat->Workflow().MultiDay());
}

void CUnattendedRun::SetArmedFlag(bool armed) {
    std::int32_t& stored = m_app.Settings().bUnattendedRunArmed;
    if ((stored != 0) == armed)
        return;
    stored = armed ? 1 : 0;
    m_app.SaveAllSettings();
    ProgramLog().Log(Logging::Informational,
                     armed ? L"An unattended heliostat run is armed; it is resumed if the "
                             L"program ends without the operator stopping it."
                           : L"The unattended heliostat run has ended.");
}

void CUnattendedRun::EndByOperator() {
    const bool wasRecovering = m_phase != EPhase::Idle;
    m_phase = EPhase::Idle;  // before the box closes: its answer then counts for nothing
    if (m_box)
        m_box->close();
    m_timer->stop();
    m_backoff.Reset();
    if (CHeliostatControlsDlg* heliostat =
            m_frame.View() ? m_frame.View()->HeliostatPanel() : nullptr)
        heliostat->Workflow().SetMultiDay(false);
    m_lastStatus.reset();
    if (wasRecovering)
        ShowState(kDefaultCaption);
    SetArmedFlag(false);
}

void CUnattendedRun::OfferResume() {
    if (m_app.Settings().bUnattendedRunArmed == 0 || m_phase != EPhase::Idle)
        return;
    ProgramLog().Log(Logging::Warning,
                     L"An unattended heliostat run was armed when the program ended without the "
                     L"operator stopping it.");
    m_phase = EPhase::Countdown;
    const Platform::IClock& clock = m_countdownClock ? *m_countdownClock : Platform::Clock();
    m_countdownEndMs = MillisecondsOf(clock) + kResumeCountdownS * 1000;
    m_box = new QMessageBox(QMessageBox::Question, QStringLiteral("Quorvel"),
                            QString::fromLatin1(kResumeBoxText).arg(kResumeCountdownS),
                            QMessageBox::Yes | QMessageBox::No, &m_frame);
    m_box->setObjectName(QStringLiteral("resumeBox"));
    m_box->setAttribute(Qt::WA_DeleteOnClose);
    m_box->setDefaultButton(QMessageBox::Yes);
    connect(m_box, &QMessageBox::finished, this, [this](int result) {
        m_box.clear();  // it deletes itself once its closing has been handled
        OnResumeAnswer(result != QMessageBox::No);
    });
    m_box->open();
    m_timer->start();
}

void CUnattendedRun::OnResumeAnswer(bool resume) {
    if (m_phase != EPhase::Countdown)
        return;
    m_phase = EPhase::Idle;
    m_timer->stop();
    if (!resume) {
        ProgramLog().Log(Logging::Informational,
                         L"The operator chose not to resume the unattended heliostat run.");
        SetArmedFlag(false);
        return;
    }
    ProgramLog().Log(Logging::Informational, L"Resuming the unattended heliostat run.");
    BeginRecovery("resuming after the program ended");
}

void CUnattendedRun::BeginRecovery(const char* why) {
    ProgramLog().LogParts(Logging::Warning, "Unattended heliostat run: ", why,
                          "; reconnecting to the instrument.");
    m_backoff.Reset();
    m_phase = EPhase::Waiting;
    m_deadlineMs = NowMs();
    ShowState(QStringLiteral("Unattended run: %1; reconnecting...").arg(QString::fromUtf8(why)));
    m_timer->start();
}

void CUnattendedRun::OnTick() {
    CQuorvel* device = m_app.Device();
    const std::int64_t now = NowMs();
    switch (m_phase) {
        case EPhase::Idle:
            m_timer->stop();
            return;
        case EPhase::Countdown: {
            const Platform::IClock& clock =
                m_countdownClock ? *m_countdownClock : Platform::Clock();
            const std::int64_t leftMs = m_countdownEndMs - MillisecondsOf(clock);
            if (leftMs <= 0) {
                if (m_box)
                    m_box->done(QMessageBox::Yes);
                else
                    OnResumeAnswer(true);
                return;
            }
            if (m_box)
                m_box->setText(QString::fromLatin1(kResumeBoxText).arg((leftMs + 999) / 1000));
            return;
        }
        case EPhase::Waiting:
            if (now >= m_deadlineMs)
                Attempt();
            return;
        case EPhase::Connecting:
            if (device && device->IsConnected() && m_statusSeen)
                OnConnected();
            else if (now >= m_deadlineMs)
                AttemptFailed();
            return;
        case EPhase::Settling:
            if (m_positionSeen || now >= m_deadlineMs)
                Decide();
            return;
        case EPhase::Stopping:
            if (!device ||
                (device->GetStatus(1).to_ulong() & (Suntrack::HeliostatStatus::kTrajectory |
                                                    Suntrack::HeliostatStatus::kWaiting)) == 0 ||
                now >= m_deadlineMs)
                Plan();
            return;
    }
}

void CUnattendedRun::Attempt() {
    CQuorvel* device = m_app.Device();
    if (!device) {
        Finish();
        return;
    }
    const int attempt = m_backoff.BeginAttempt();
    const int port = device->GetSettings().nPort;
    Suntrack::CReconnectBackoff::LogAttempt(ProgramLog(), port, attempt);
    ShowState(
        QStringLiteral("Unattended run: connecting to the instrument on COM%1 (attempt %2)...")
            .arg(port)
            .arg(attempt));
    m_statusSeen = false;
    if (device->IsConnected() || device->Connect()) {
        m_phase = EPhase::Connecting;
        m_deadlineMs = NowMs() + kAnswerMs;
        return;
    }
    AttemptFailed();
}

void CUnattendedRun::AttemptFailed() {
    CQuorvel* device = m_app.Device();
    if (device)
        device->Disconnect();
    const int port = device ? device->GetSettings().nPort : 0;
    const std::int64_t delay = m_backoff.NextDelaySeconds();
    Suntrack::CReconnectBackoff::LogFailure(ProgramLog(), port, delay);
    ShowState(QStringLiteral("Unattended run: the instrument on COM%1 did not answer (attempt "
                             "%2); next attempt in %3 s.")
                  .arg(port)
                  .arg(m_backoff.Attempts())
                  .arg(delay));
    m_phase = EPhase::Waiting;
    m_deadlineMs = NowMs() + delay * 1000;
}

void CUnattendedRun::OnConnected() {
    Suntrack::CReconnectBackoff::LogReconnected(ProgramLog(), m_backoff.Attempts());
    m_phase = EPhase::Settling;
    m_positionSeen = false;
    m_deadlineMs = NowMs() + kAnswerMs;
    if (CQuorvel* device = m_app.Device())
        device->GetPosition(nullptr);
}

void CUnattendedRun::Decide() {
    CQuorvel* device = m_app.Device();
    CHeliostatControlsDlg* heliostat = m_frame.View() ? m_frame.View()->HeliostatPanel() : nullptr;
    if (!device || !heliostat || !device->IsConnected()) {
        AttemptFailed();
        return;
    }
    const auto status = static_cast<unsigned>(device->GetStatus(1).to_ulong());
    const bool running = (status & Suntrack::HeliostatStatus::kTrajectory) != 0;
    const bool pointsAtToday =
        running && m_positionSeen &&
        Suntrack::PointsAtTodaysTrajectory(
            SiteOf(m_app.Settings()),
            heliostat->IsUseAlignmentChecked() ? &m_app.Alignment().Matrix() : nullptr,
            Suntrack::NowUtcSeconds(), m_position[0], m_position[1], ProgramLog());
    switch (Suntrack::DecideAfterReconnect(status, pointsAtToday)) {
        case Suntrack::EResumeAction::LeaveRunning:
            ProgramLog().Log(Logging::Warning,
                             L"The instrument is running today's trajectory; left undisturbed.");
            heliostat->SetStartTime(Platform::GetLocalTime());
            heliostat->Workflow().SetMultiDay(true);
            Finish();
            return;
        case Suntrack::EResumeAction::StopThenPlan:
            ProgramLog().Log(Logging::Warning,
                             L"The instrument is still running another trajectory; stopping it "
                             L"to plan the rest of the day again.");
            device->Stop(StopTrajectory);
            m_phase = EPhase::Stopping;
            m_deadlineMs = NowMs() + kAnswerMs;
            return;
        case Suntrack::EResumeAction::Plan:
            Plan();
            return;
    }
}

void CUnattendedRun::Plan() {
    CHeliostatControlsDlg* heliostat = m_frame.View() ? m_frame.View()->HeliostatPanel() : nullptr;
    if (!heliostat) {
        Finish();
        return;
    }
    // The resumed run starts by itself and goes on from day to day, whatever the panel's
    // boxes were left at.
    for (int id :
         {CHeliostatControlsDlg::IDC_AUTO_RUN, CHeliostatControlsDlg::IDC_RUN_UNTIL_STOPPED})
        heliostat->Item<QCheckBox>(id)->setChecked(true);
    heliostat->ExchangeSettings(true);
    const bool planned = heliostat->Workflow().ResumeUnattendedRun(Suntrack::kResumeLeadSeconds);
    ProgramLog().Log(Logging::Warning,
                     planned ? L"The rest of the day has been planned again; the unattended run "
                               L"goes on."
                             : L"The rest of the day could not be planned again; see the log.");
    Finish();
}

void CUnattendedRun::Finish() {
    m_phase = EPhase::Idle;
    m_timer->stop();
    m_backoff.Reset();
    ShowState(kDefaultCaption);
}

void CUnattendedRun::ShowState(const QString& text) {
    if (CCaptionBar* bar = m_frame.CaptionBar()) {
        bar->SetText(text);
        bar->show();
    }
}
