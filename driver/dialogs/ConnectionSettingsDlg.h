// The connection settings dialog: the port among those present, each shown with what it is
// (device and description), and the baud rate from a fixed list; "Auto Detect" finds the
// instrument by asking the ports. QuorvelDll itself is toolkit-free: the program links these
// dialogs and runs them for the device object's connection settings command.
#pragma once

#include <QBrush>
#include <map>

#include "AutoDetectDlg.h"
#include "CustomDialog.h"
#include "PortServices.h"
#include "core/QuorvelSettings.h"

class CQuorvelConnectionSettingsDlg : public CCustomDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 2001;
    static constexpr int IDC_PORT = 2001;
    static constexpr int IDC_BAUD = 2002;
    static constexpr int IDC_AUTO_DETECT = 2003;

    // `services` describe the ports, run the detection and record stable names; empty
    // members are the driver's own.
    explicit CQuorvelConnectionSettingsDlg(QWidget* parent = nullptr, CPortServices services = {});

    CQuorvelSettings m_settings;  // the working copy

    // Takes an instrument found by the auto-detect dialog: its port (added to the list if
    // the probe had not seen it) and its baud rate.
    void TakeDetected(const QuorvelDriver::DetectedInstrument& found);

protected:
    void BuildControls() override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCommand(int id) override;
    std::optional<ControlColors> OnCtlColor(int id, QWidget* control) override;

private:
    // The COM number of the selected port entry, or 0 when nothing is selected.
    unsigned SelectedPort() const;
    int AddPort(const QuorvelDriver::PortDescription& port);  // the entry's index
    void FitPortPopup();
    // On the operator's choice, records the confirmed port under its stable name and says
    // what came of it.
    void OfferStableName(unsigned port);

    CPortServices m_services;
    std::map<unsigned, QuorvelDriver::PortDescription> m_ports;  // by COM number
    QBrush m_brWhite;
};

// Runs the connection settings dialog on `settings` and answers IDOK or IDCANCEL. The
// working copy goes back into `settings` whatever the result; only OK changes it.
int RunConnectionSettingsDlg(CQuorvelSettings& settings);
