// The auto-detect dialog: asks every present port for the instrument's identification on a
// worker thread, shows which port is being asked, and lists the ports where the instrument
// answered (with its identification and what the port is) above the ports it skipped and
// why. The operator picks one (double-click or OK); Cancel or closing the box stops the
// probe at once. The GUI thread never waits for a port.
#pragma once

#include <QBrush>
#include <memory>
#include <optional>
#include <thread>

#include "CustomDialog.h"
#include "PortServices.h"

class CQuorvelAutoDetectDlg : public CCustomDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 2008;
    static constexpr int IDC_STATUS = 2008;    // what is being done, or what came of it
    static constexpr int IDC_PROGRESS = 2009;  // ports finished out of ports to ask
    static constexpr int IDC_RESULTS = 2010;   // found instruments, then skipped ports (greyed)

    // `options` name the rates to try and the preferred one; the probe starts when the
    // dialog is created.
    explicit CQuorvelAutoDetectDlg(QWidget* parent = nullptr,
                                   QuorvelDriver::DetectOptions options = {},
                                   CPortServices services = {});
    ~CQuorvelAutoDetectDlg() override;  // cancels a running probe and waits for its thread

    bool IsProbing() const { return m_worker.joinable(); }
    // What the finished probe found and skipped (empty while it runs).
    const QuorvelDriver::DetectReport& Report() const { return m_report; }
    // The instrument the operator picked with OK or a double-click.
    const std::optional<QuorvelDriver::DetectedInstrument>& Chosen() const { return m_chosen; }

protected:
    void BuildControls() override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    std::optional<ControlColors> OnCtlColor(int id, QWidget* control) override;

private:
    void StartProbe();
    void StopProbe();  // GUI thread: cancel and join; returns within the detector's promise
    void OnProgress(const QuorvelDriver::DetectProgress& progress);
    void OnFinished(const QuorvelDriver::DetectReport& report);
    void UpdateOkButton();
    int SelectedInstrument() const;  // index into m_report.found, or -1

    QuorvelDriver::DetectOptions m_options;
    CPortServices m_services;
    std::unique_ptr<IPortDetection> m_detection;
    std::thread m_worker;  // runs m_detection; joined before m_detection goes
    QuorvelDriver::DetectReport m_report;
    std::optional<QuorvelDriver::DetectedInstrument> m_chosen;
    QBrush m_brWhite;
};
