// CHeliostatControlsDlg: the "Heliostat" tab page (template 314). The operator enters the
// site, chooses the tracking window (by hand, from sunrise and sunset, or ten minutes from
// now) and the run options, generates and uploads the trajectory, and runs or stops it. The
// decisions live in Suntrack::CHeliostatWorkflow; this class holds the controls, implements
// the panel side of trajectory generation and forwards the device calls. GUI thread only.
#pragma once

#include <memory>

#include "CustomDialog.h"
#include "DecimalNotation.h"
#include "OperatorContext.h"
#include "QuorvelAppSettings.h"
#include "core/HeliostatWorkflow.h"

class QDateTimeEdit;
class QLineEdit;

class CHeliostatControlsDlg : public CCustomDialog, public Suntrack::IHeliostatPanel {
    Q_OBJECT
public:
    static constexpr int IDD = 314;

    enum : int {
        IDC_LATITUDE = 1055,
        IDC_LONGITUDE = 1056,
        IDC_ELEVATION = 1057,
        IDC_PRESSURE = 1058,
        IDC_TEMPERATURE = 1059,
        IDC_START_DATE = 1071,
        IDC_START_TIME = 1072,
        IDC_STOP_DATE = 1073,
        IDC_STOP_TIME = 1074,
        IDC_SUNRISE = 1077,
        IDC_SUNSET = 1078,
        IDC_NOW_PLUS_10 = 1079,
        IDC_LIMIT_ZENITH = 1082,
        IDC_MAX_ZENITH = 1083,
        IDC_RUN = 1085,
        IDC_GENERATE = 1087,
        IDC_RUN_UNTIL_STOPPED = 1089,
        IDC_PROGRESS = 1090,
        IDC_USE_ALIGNMENT = 1103,
        IDC_AUTO_RUN = 1104,
        IDC_SECRET = 1106,
        IDC_STOP = 1027,
    };

    CHeliostatControlsDlg(const COperatorContext& context, QWidget* parent);
    ~CHeliostatControlsDlg() override;

    // Settings <-> controls (bSave false: into the controls).
    void ExchangeSettings(bool bSave);

    // The device's notifications as the view passes them on.
    void OnUploadProgress(int percent, bool uploading);
    void OnUploadComplete();
    // The instrument reported the end of a trajectory (the view homes it).
    void OnTrajectoryFinished();
    // After a homing: continue an unattended run with the next day's trajectory.
    virtual void UploadNextDayTrajectory();

    void OnIdleUpdateCmdUI() override;

    Suntrack::CHeliostatWorkflow& Workflow() { return *m_workflow; }

    // IHeliostatPanel.
    bool IsLimitMaxZenithChecked() const override;
    bool IsUseAlignmentChecked() const override;
    void SetStartTime(const SYSTEMTIME& local) override;
    int ShowMessage(const std::wstring& text, UINT type) override;
    CArray<SYSTEMTIME>& TrajectoryTimes() override { return m_times; }
    CArray<double>& TrajectoryAzimuths() override { return m_azimuths; }
    CArray<double>& TrajectoryZeniths() override { return m_zeniths; }
    void SetMultiDay(bool multiDay) override { m_workflow->SetMultiDay(multiDay); }
    SYSTEMTIME StartDate() const override;
    SYSTEMTIME StopDate() const override;
    SYSTEMTIME StartTime() const override;
    SYSTEMTIME StopTime() const override;
    void SetStopTime(const SYSTEMTIME& local) override;
    bool IsRunUntilStoppedChecked() const override;
    bool IsAutoRunChecked() const override;

protected:
    void BuildControls() override;
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void OnOK() override {}
    void OnCancel() override {}
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class CDeviceAdapter;
    // Focus left a site edit: bring it into range, rewrite it, store every panel value.
    void OnEditKillFocus(int id);
    void OnDateChanged(int dateId, int timeId);
    CQuorvelAppSettings& Settings();
    QDateTimeEdit* DateTime(int id) const;

    COperatorContext m_context;
    CDecimalNotation m_notation;                 // of the site and zenith edits
    CQuorvelAppSettings m_ownSettings;           // used only without an application record
    Suntrack::CAlignmentModel m_ownAlignment;    // identity, the same
    std::unique_ptr<Logging::CLogger> m_ownLog;  // silent, the same
    std::unique_ptr<CDeviceAdapter> m_device;
    std::unique_ptr<Suntrack::CTrajectoryGenerator> m_generator;
    std::unique_ptr<Suntrack::CHeliostatWorkflow> m_workflow;
    CArray<SYSTEMTIME> m_times;  // local civil time of each point
    CArray<double> m_azimuths;   // degrees from north towards east
    CArray<double> m_zeniths;    // degrees from the vertical
};
