// CUnattendedRun: keeps an unattended heliostat run going in the program. It stores in the
// application settings that a run is armed (cleared when the operator ends it), offers at
// start-up to resume a run the program did not end by the operator's hand (a box that
// resumes by itself after 60 s), and when the instrument vanishes or stops answering while a
// run is armed, reconnects with the capped back-off and plans the rest of the day again
// through the heliostat panel's workflow - unless the instrument already runs today's
// trajectory. The caption bar says what is happening. Owned by the main frame; GUI thread.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <bitset>
#include <cstdint>

#include "core/UnattendedRecovery.h"

class CMainFrame;
class CQuorvelApp;
class QTimer;
namespace Platform {
class IClock;
}

// Texts of the resume box; %1 is the number of seconds left.
inline constexpr const char* kResumeBoxText =
    "An unattended heliostat run was armed when the program ended without the operator "
    "stopping it.\nIt resumes in %1 s: the program connects to the instrument and plans the "
    "rest of the day.\nResume it?";
inline constexpr int kResumeCountdownS = 60;

class CUnattendedRun : public QObject {
    Q_OBJECT
public:
    // `countdownClock`: the clock of the resume box's countdown (not owned; null: the
    // program's clock).
    CUnattendedRun(CQuorvelApp& app, CMainFrame& frame, Platform::IClock* countdownClock);
    ~CUnattendedRun() override;

    // The device's notifications as the frame receives them, before it passes them on.
    void OnStatus(const std::bitset<7>& status);
    void OnPosition(double azimuthDeg, double zenithDeg);
    // A time-out report. True when it belongs to an armed run (the run reconnects; the
    // report is logged without a box).
    bool OnTimeout();
    // One idle pass: stores that a run is armed, or clears it when the run has ended.
    void OnIdle();
    // The operator ended the run (Disconnect, Close): nothing is resumed.
    void EndByOperator();
    // At start-up: a stored armed run is offered for resumption.
    void OfferResume();

    // A run is armed: a run over several days (an attended single trajectory is not), or a
    // reconnection under way.
    bool Armed() const;
    bool Recovering() const { return m_phase != EPhase::Idle; }
    QMessageBox* ResumeBox() const { return m_box.data(); }

private:
    enum class EPhase { Idle, Countdown, Waiting, Connecting, Settling, Stopping };

    void BeginRecovery(const char* why);
    void OnTick();
    void Attempt();
    void AttemptFailed();
    void OnConnected();
    void Decide();
    void Plan();
    void Finish();
    void SetArmedFlag(bool armed);
    void OnResumeAnswer(bool resume);
    void ShowState(const QString& text);
    std::int64_t NowMs() const;

    CQuorvelApp& m_app;
    CMainFrame& m_frame;
    Platform::IClock* m_countdownClock;
    QTimer* m_timer;
    QPointer<QMessageBox> m_box;
    EPhase m_phase = EPhase::Idle;
    Suntrack::CReconnectBackoff m_backoff;
    std::int64_t m_deadlineMs = 0;      // program clock, ms: next attempt or end of a wait
    std::int64_t m_countdownEndMs = 0;  // countdown clock, ms
    std::bitset<7> m_lastStatus;        // last non-empty status reported
    bool m_statusSeen = false;          // a status arrived since the last attempt
    bool m_positionSeen = false;        // a position arrived since the connection
    double m_position[2] = {0.0, 0.0};  // azimuth, zenith (degrees, instrument frame)
};
