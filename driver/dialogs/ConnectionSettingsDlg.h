// The library's two dialogs: the connection settings (port among those present, baud rate
// from a fixed list) and the auto-detect dialog, which only says that it is not
// implemented. QuorvelDll itself is toolkit-free: the program links these and runs them for
// the device object's connection settings command.
#pragma once

#include <QBrush>
#include <vector>

#include "CustomDialog.h"
#include "core/QuorvelSettings.h"

class CQuorvelConnectionSettingsDlg : public CCustomDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 2001;

    // `probe` lists the present COM port numbers in ascending order (the device object's
    // port probe unless a test supplies its own).
    explicit CQuorvelConnectionSettingsDlg(QWidget* parent = nullptr,
                                           std::vector<unsigned> (*probe)() = nullptr);

    CQuorvelSettings m_settings;  // the working copy

protected:
    void BuildControls() override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCommand(int id) override;
    std::optional<ControlColors> OnCtlColor(int id, QWidget* control) override;

private:
    std::vector<unsigned> (*m_probe)();
    QBrush m_brWhite;
};

class CQuorvelAutoDetectDlg : public CCustomDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 2008;
    explicit CQuorvelAutoDetectDlg(QWidget* parent = nullptr);

protected:
    void BuildControls() override;
    bool OnInitDialog() override;
    std::optional<ControlColors> OnCtlColor(int id, QWidget* control) override;

private:
    QBrush m_brWhite;
};

// Runs the connection settings dialog on `settings` and answers IDOK or IDCANCEL. The
// working copy goes back into `settings` whatever the result; only OK changes it.
int RunConnectionSettingsDlg(CQuorvelSettings& settings);
