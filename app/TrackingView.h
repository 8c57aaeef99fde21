// CTrackingView: the "Tracking" tab page. It shows where the heliostat is and how well it
// tracks: a sky plot (the uploaded trajectory mapped back to the sky with M^-1, the sun now,
// the mirror now and its trail over the last hour), a time plot of the day (commanded and
// reported azimuth and zenith, the tracking error), and the schedule line. Values that are
// not being refreshed are greyed with their age. The decisions live in
// Suntrack::CTrackingMonitor; this page only draws what it answers, at most twice a second,
// so a 700-pair upload keeps the event loop responsive. GUI thread only.
#pragma once

#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

#include "CustomDialog.h"
#include "OperatorContext.h"
#include "PanelContext.h"
#include "core/TrackingMonitor.h"

class QLabel;
class QChart;
class QChartView;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
class QDateTimeAxis;

class CTrackingView : public CCustomDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 315;
    // Redraws of the plots are at least this far apart, milliseconds.
    static constexpr int kRedrawGapMs = 500;

    // What the page needs of the heliostat panel when an upload begins: the trajectory as
    // uploaded (instrument frame) and whether the run is unattended.
    struct UploadSource {
        std::function<Suntrack::CTrajectoryTrack()> track;
        std::function<bool()> unattended;
    };

    CTrackingView(const CPanelContext& context, const COperatorContext& operatorContext,
                  UploadSource source, QWidget* parent);
    ~CTrackingView() override;

    // The device's notifications as the view passes them on (the ones it already receives).
    void OnPosition(double azimuthDeg, double zenithDeg);
    void OnStatus(unsigned status);
    void OnUploadProgress(int percent, bool uploading);
    void OnUploadComplete();
    void OnTrajectoryFinished();
    // The next upload continues an unattended run (the view calls this before asking the
    // heliostat panel for the next day).
    void ExpectContinuation() { m_continuationPending = true; }

    void OnIdleUpdateCmdUI() override;

    // Draws now (tests, screenshots and the benchmark; the page otherwise redraws on its
    // own timer).
    void Redraw();
    const Suntrack::CTrackingMonitor& Monitor() const { return *m_monitor; }
    QString ScheduleText() const;
    QString MirrorText() const;
    // True when the mirror's position is shown as stale (greyed with its age).
    bool MirrorStale() const { return m_mirrorStale; }
    QLineSeries* SkyTrajectorySeries() const { return m_skyTrajectory; }
    QScatterSeries* SunSeries() const { return m_sun; }
    QScatterSeries* MirrorSeries() const { return m_mirror; }
    QLineSeries* TrailSeries() const { return m_trail; }
    QLineSeries* CommandedAzimuthSeries() const { return m_commandedAz; }
    QLineSeries* ErrorSeries() const { return m_error; }
    int RedrawCount() const { return m_redraws; }

signals:
    // The clock check before a timed start found the clock or the zone untrustworthy (it
    // has been logged as a Warning): the frame raises its caption bar.
    void clockWarning();

protected:
    void BuildControls() override;
    void showEvent(QShowEvent* event) override;
    void OnOK() override {}
    void OnCancel() override {}

private:
    double NowUtc() const;
    void ScheduleRedraw();
    void RedrawTrajectory();
    void RedrawLive();
    void RedrawHistory(double now);
    void RefreshTexts();
    QChart* BuildSkyChart();
    QChart* BuildTimeChart();

    CPanelContext m_context;
    COperatorContext m_operatorContext;
    UploadSource m_source;
    std::unique_ptr<Logging::CLogger> m_ownLog;  // silent, without a program log
    std::unique_ptr<Suntrack::CTrackingMonitor> m_monitor;
    bool m_continuationPending = false;
    bool m_trajectoryDirty = true;
    bool m_liveDirty = true;
    bool m_mirrorStale = true;
    std::uint64_t m_plottedVersion = ~std::uint64_t{0};  // the monitor's PlotVersion drawn
    int m_redraws = 0;
    QTimer m_redrawTimer;  // single shot: the throttled redraw
    QTimer m_textTimer;    // once a second: countdowns and ages
    Platform::ClockSyncState m_clockState;
    double m_clockStateReadAt = -1e18;

    QLabel* m_schedule = nullptr;
    QLabel* m_mirrorLabel = nullptr;
    QChartView* m_skyView = nullptr;
    QChartView* m_timeView = nullptr;
    QLineSeries* m_skyTrajectory = nullptr;
    QScatterSeries* m_sun = nullptr;
    QScatterSeries* m_mirror = nullptr;
    QLineSeries* m_trail = nullptr;
    QLineSeries* m_commandedAz = nullptr;
    QLineSeries* m_commandedZe = nullptr;
    QLineSeries* m_reportedAz = nullptr;
    QLineSeries* m_reportedZe = nullptr;
    QLineSeries* m_error = nullptr;
    QDateTimeAxis* m_timeAxis = nullptr;
    QValueAxis* m_errorAxis = nullptr;
};
