// CAlignmentCalibrationDlg: the modal dialog (template 315) in which the operator records up
// to three data points for the alignment model while a sun-tracking trajectory runs: jog the
// instrument onto the sun, then "Save Data Point" pairs the instrument's reported position
// with the sun's computed position at the same whole second.
//
// Threads: the capture runs on one short worker thread at a time. The worker touches only
// the atomics and events below and talks to the dialog by synchronous messages: the position
// request and the device call are made on the GUI thread, and the finished record is
// appended there, so `points` is GUI-thread only. Every wait of the worker is bounded and
// wakes on the dialog's cancel event; the destructor cancels, stops the window receiving (a
// blocked message returns 0) and joins the worker, so the worker never outlives the dialog.
// The device's position answer goes to a relay window that lives as long as the process, so
// an answer that arrives after the dialog has closed is dropped rather than delivered to a
// window that is gone.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "CustomDialog.h"
#include "OperatorContext.h"
#include "platform/Event.h"
#include "platform/Wnd.h"
#include "settings/AlignmentSettings.h"

class CNumberEdit;
class QListWidget;
class QSlider;

class CAlignmentCalibrationDlg : public CCustomDialog, public CWnd {
    Q_OBJECT
public:
    static constexpr int IDD = 315;
    static constexpr std::size_t kMaxPoints = 3;
    // How long a capture waits for the position answer (the device reports its own time-out
    // after 1000 ms; this also covers an answer that cannot be parsed and never comes).
    static constexpr std::uint32_t kPositionWaitMs = 5000;
    // The list refresh message of the original design (kept for senders outside the dialog).
    static constexpr UINT WM_REFRESH_LIST = WM_APP + 0x300;  // 0x8300

    enum : int {
        IDC_VELOCITY = 1022,
        IDC_ZENITH_PLUS = 1028,
        IDC_ZENITH_MINUS = 1029,
        IDC_AZIMUTH_PLUS = 1030,
        IDC_AZIMUTH_MINUS = 1032,
        IDC_SLIDER = 1093,
        IDC_RESET_OFFSET = 1095,
        IDC_LIST = 1097,
        IDC_SAVE = 1099,
        IDC_DELETE = 1100,
        IDC_DELETE_ALL = 1101,
    };

    explicit CAlignmentCalibrationDlg(const COperatorContext& context, QWidget* parent = nullptr);
    ~CAlignmentCalibrationDlg() override;

    // Set before the dialog runs; read after OK.
    std::vector<Zezezezo::CAlignmentSettings> points;

    bool IsBusy() const { return m_busy.load(); }
    void OnIdleUpdateCmdUI() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The list box lines, one per record ("%c" of its local time stamp).
    static QString LineOf(const Zezezezo::CAlignmentSettings& point);

    // Starts a capture (the "Save Data Point" button); false when refused.
    bool OnSaveDataPoint();

protected:
    void BuildControls() override;
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void RefreshList();
    void NormaliseVelocity();
    void OnDeleteDataPoint();
    void OnDeleteAllDataPoints();
    void OnJogPress(int id);
    void OnJogRelease(int id);
    void RunCapture(Suntrack::SiteParameters site);
    void JoinWorker();

    COperatorContext m_context;
    CNumberEdit* m_velocity = nullptr;
    QSlider* m_slider = nullptr;
    QListWidget* m_list = nullptr;
    bool m_settingSlider = false;
    int m_idleTimer = 0;

    // Hand-over between the GUI thread's answer handlers and the worker.
    Platform::CEvent m_positionEvent{true, false};
    Platform::CEvent m_cancel{true, false};
    std::atomic<bool> m_positionValid{false};
    std::atomic<double> m_azimuth{0.0};  // degrees, last answer
    std::atomic<double> m_zenith{0.0};   // degrees, last answer
    std::atomic<bool> m_busy{false};
    std::thread m_worker;
};
