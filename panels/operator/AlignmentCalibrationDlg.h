// CAlignmentCalibrationDlg: the modal dialog (template 315) in which the operator records up
// to three data points for the alignment model while a sun-tracking trajectory runs: jog the
// instrument onto the sun, then "Save Data Point" pairs the instrument's reported position
// with the sun's computed position at the same whole second. It also shows the instrument's
// live position, each point's angles and whether the points give a usable fit.
//
// The capture, the enabling rules, the live poll, the list texts and the fit quality are
// Suntrack::CCalibrationWorkflow's; the dialog shows them and adapts the device object.
// The device's position answers go to a relay window that lives as long as the process, so
// an answer that arrives after the dialog has closed is dropped rather than delivered to a
// window that is gone. GUI thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "CustomDialog.h"
#include "OperatorContext.h"
#include "core/CalibrationWorkflow.h"
#include "platform/Wnd.h"
#include "settings/AlignmentSettings.h"

class CNumberEdit;
class QLabel;
class QListWidget;
class QSlider;

class CAlignmentCalibrationDlg : public CCustomDialog,
                                 public CWnd,
                                 private Suntrack::ICalibrationPanel,
                                 private Suntrack::ICalibrationDevice {
    Q_OBJECT
public:
    static constexpr int IDD = 315;
    static constexpr std::size_t kMaxPoints = Suntrack::CCalibrationWorkflow::kMaxPoints;
    static constexpr std::uint32_t kPositionWaitMs =
        Suntrack::CCalibrationWorkflow::kPositionWaitMs;
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
        IDC_FIT = 1103,            // the fit quality line under the list
        IDC_LIVE_POSITION = 1104,  // the instrument's position, refreshed while open
    };

    explicit CAlignmentCalibrationDlg(const COperatorContext& context, QWidget* parent = nullptr);
    ~CAlignmentCalibrationDlg() override;

    // Set before the dialog runs; read after OK.
    std::vector<Zezezezo::CAlignmentSettings> points;

    bool IsBusy() const { return m_workflow.IsBusy(); }
    void OnIdleUpdateCmdUI() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The list box lines, one per record: ISO local time stamp, sun and instrument angles.
    static QString LineOf(const Zezezezo::CAlignmentSettings& point);

    // Starts a capture (the "Save Data Point" button); false when refused.
    bool OnSaveDataPoint();

protected:
    void BuildControls() override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCommand(int id) override;
    std::optional<ControlColors> OnCtlColor(int id, QWidget* control) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void RefreshList();
    void NormaliseVelocity();
    void OnDeleteDataPoint();
    void OnDeleteAllDataPoints();
    void OnJogPress(int id);
    void OnJogRelease(int id);
    void ShowLivePosition();

    // ICalibrationPanel
    int ShowMessage(const std::wstring& text, UINT type) override;
    void PointsChanged() override { RefreshList(); }
    // ICalibrationDevice
    bool IsConnected() override;
    unsigned Status() override;
    bool RequestPosition() override;

    COperatorContext m_context;
    CNumberEdit* m_velocity = nullptr;
    QSlider* m_slider = nullptr;
    QListWidget* m_list = nullptr;
    QLabel* m_fit = nullptr;
    QLabel* m_livePosition = nullptr;
    bool m_settingSlider = false;
    int m_idleTimer = 0;
    Suntrack::AlignmentFitQuality m_fitQuality = Suntrack::AlignmentFitQuality::Unusable;
    // Declared last: its worker is stopped before the members above go.
    Suntrack::CCalibrationWorkflow m_workflow;
};
