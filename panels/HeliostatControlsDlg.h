// CHeliostatControlsDlg: the "Heliostat" tab page (template 314). The sun-tracking work fills
// it (site, time window, generate and upload with the progress bar 1090, "Auto run after
// upload" 1104, the day-to-day cycle); until then it is an empty white page.
#pragma once

#include "CustomDialog.h"
#include "PanelContext.h"

class CHeliostatControlsDlg : public CCustomDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 314;
    CHeliostatControlsDlg(const CPanelContext& context, QWidget* parent);

    // After homing at the end of a day's trajectory: continue the multi-day cycle.
    virtual void UploadNextDayTrajectory() {}

protected:
    void BuildControls() override;
    void OnOK() override {}
    void OnCancel() override {}

    CPanelContext m_context;
};
