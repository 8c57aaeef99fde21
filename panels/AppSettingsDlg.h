// CAppSettingsDlg: the window style and the logging level of the program, and a button that
// opens the folder of the log files. It edits a copy of the application settings; the main
// frame writes the copy back and applies it on OK.
#pragma once

#include "CustomDialog.h"
#include "QuorvelAppSettings.h"

namespace Logging {
class CLogger;
}

class CAppSettingsDlg : public CCustomDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 310;

    CAppSettingsDlg(const CQuorvelAppSettings& settings, Logging::CLogger& log, QWidget* parent);

    // The edited record: after OK its nAppStyle and nLogCeiling hold the choices.
    const CQuorvelAppSettings& Settings() const { return m_settings; }

protected:
    void BuildControls() override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCommand(int id) override;
    std::optional<ControlColors> OnCtlColor(int id, QWidget* control) override;

private:
    void OnOpenLogFolder();

    CQuorvelAppSettings m_settings;
    Logging::CLogger& m_log;
    QBrush m_brWhite;
};
