// CManualControlsDlg: the "Manual" tab page (template 311). The operator moves the
// instrument to an absolute (celestial, through the alignment matrix M) or relative
// azimuth/zenith, stops a move, homes it, and jogs an axis for as long as a jog button is
// held. The panel keeps no copy of the instrument's state: the enabling is recomputed from
// the device on every idle pass. GUI thread only.
#pragma once

#include "CustomDialog.h"
#include "OperatorContext.h"
#include "platform/Wnd.h"

class CNumberEdit;
class QSlider;

class CManualControlsDlg : public CCustomDialog, public CWnd {
    Q_OBJECT
public:
    static constexpr int IDD = 311;

    // Control ids of the template.
    enum : int {
        IDC_AZIMUTH = 1018,
        IDC_ZENITH = 1020,
        IDC_VELOCITY = 1022,
        IDC_ABS = 1023,
        IDC_REL = 1024,
        IDC_MOVE = 1026,
        IDC_STOP = 1027,
        IDC_ZENITH_PLUS = 1028,
        IDC_ZENITH_MINUS = 1029,
        IDC_AZIMUTH_PLUS = 1030,
        IDC_JOG_SLIDER = 1031,
        IDC_AZIMUTH_MINUS = 1032,
        IDC_JOG_VELOCITY = 1033,
        IDC_HOME = 1035,
    };

    CManualControlsDlg(const COperatorContext& context, QWidget* parent);
    ~CManualControlsDlg() override;

    // The enabling rules, on every idle pass.
    void OnIdleUpdateCmdUI() override;
    // The press and release notices of the jog buttons.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Focus left a field: normalise its text.
    void NormaliseField(int id);

protected:
    void BuildControls() override;
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    // A tab page: Enter and Escape do not close it.
    void OnOK() override {}
    void OnCancel() override {}

private:
    void OnMove();
    void OnStop();
    void OnHome();
    void OnSliderMoved(int position);
    void OnJogPress(int id);
    void OnJogRelease(int id);
    bool IsAbsMode() const;

    COperatorContext m_context;
    CNumberEdit* m_azimuth = nullptr;
    CNumberEdit* m_zenith = nullptr;
    CNumberEdit* m_velocity = nullptr;
    CNumberEdit* m_jogVelocity = nullptr;
    QSlider* m_slider = nullptr;
    bool m_settingSlider = false;  // the slider is moved by the panel, not the operator
};
