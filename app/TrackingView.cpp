#include "TrackingView.h"

#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPolarChart>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "QuorvelAppSettings.h"
#include "core/HeliostatWorkflow.h"
#include "core/Quorvel.h"
#include "core/SiteSun.h"
#include "platform/Clock.h"
#include "platform/Paths.h"

namespace {

constexpr double kUnixEpochInTicks = 11'644'473'600.0;
// How often the computer's clock state is read again, seconds (a system call on Linux, the
// service manager on Windows).
constexpr double kClockStateSeconds = 60.0;
const QColor kStaleColor(150, 150, 150);

qint64 Msecs(double utcSeconds) {
    return static_cast<qint64>(std::llround(utcSeconds * 1000.0));
}

QPointF SkyPoint(const Suntrack::AzZe& direction) {
    return {direction.azimuthDeg, direction.zenithDeg};
}

}  // namespace

CTrackingView::CTrackingView(const CPanelContext& context, const COperatorContext& operatorContext,
                             UploadSource source, QWidget* parent)
    : CCustomDialog(IDD, parent),
      m_context(context),
      m_operatorContext(operatorContext),
      m_source(std::move(source)) {
    setObjectName(QStringLiteral("trackingView"));
    // A child page of the tab control, as the template-built pages are.
    setWindowFlags(Qt::Widget);
    SetBackgroundColor(QColor(255, 255, 255));
    SetControlBackgroundColor(QColor(255, 255, 255));
    Logging::CLogger* log = nullptr;
    if (m_operatorContext.log) {
        log = &m_operatorContext.log().logger;
    } else {
        m_ownLog = std::make_unique<Logging::CLogger>("Quorvel", [](int) { return false; });
        log = m_ownLog.get();
    }
    m_monitor = std::make_unique<Suntrack::CTrackingMonitor>(*log, Platform::LogFolder(), [this] {
        const CQuorvelAppSettings* settings = m_operatorContext.Settings();
        return settings ? settings->dLongitude : 0.0;
    });
    m_redrawTimer.setSingleShot(true);
    m_redrawTimer.setInterval(kRedrawGapMs);
    connect(&m_redrawTimer, &QTimer::timeout, this, &CTrackingView::Redraw);
    m_textTimer.setInterval(1000);
    connect(&m_textTimer, &QTimer::timeout, this, [this] {
        RefreshTexts();
        m_liveDirty = true;  // the sun moves and ages grow
        ScheduleRedraw();
    });
}

CTrackingView::~CTrackingView() = default;

double CTrackingView::NowUtc() const {
    return static_cast<double>(Platform::Clock().NowUtc()) /
               static_cast<double>(Platform::kTicksPerSecond) -
           kUnixEpochInTicks;
}

QChart* CTrackingView::BuildSkyChart() {
    auto* chart = new QPolarChart;
    chart->setTitle(QStringLiteral("Sky (azimuth around, zenith from the centre)"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto* azimuth = new QValueAxis;
    azimuth->setRange(0, 360);
    azimuth->setTickCount(9);  // every 45 degrees: N, NE, E, ...
    azimuth->setLabelFormat(QStringLiteral("%.0f"));
    auto* zenith = new QValueAxis;
    zenith->setRange(0, 90);
    zenith->setTickCount(4);
    zenith->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(azimuth, QPolarChart::PolarOrientationAngular);
    chart->addAxis(zenith, QPolarChart::PolarOrientationRadial);

    m_skyTrajectory = new QLineSeries;
    m_skyTrajectory->setName(QStringLiteral("Trajectory"));
    m_trail = new QLineSeries;
    m_trail->setName(QStringLiteral("Last hour"));
    m_sun = new QScatterSeries;
    m_sun->setName(QStringLiteral("Sun"));
    m_sun->setColor(QColor(240, 170, 0));
    m_sun->setMarkerSize(20);  // shows as a ring around the mirror when it tracks well
    m_mirror = new QScatterSeries;
    m_mirror->setName(QStringLiteral("Mirror"));
    m_mirror->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_mirror->setMarkerSize(10);
    for (QAbstractSeries* series :
         std::initializer_list<QAbstractSeries*>{m_skyTrajectory, m_trail, m_sun, m_mirror}) {
        chart->addSeries(series);
        series->attachAxis(azimuth);
        series->attachAxis(zenith);
    }
    return chart;
}

QChart* CTrackingView::BuildTimeChart() {
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Today"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setFormat(QStringLiteral("HH:mm"));
    m_timeAxis->setTickCount(5);
    auto* angle = new QValueAxis;
    angle->setRange(0, 360);
    angle->setTitleText(QStringLiteral("degrees"));
    angle->setLabelFormat(QStringLiteral("%.0f"));
    m_errorAxis = new QValueAxis;
    m_errorAxis->setRange(0, 1);
    m_errorAxis->setTitleText(QStringLiteral("tracking error (degrees)"));
    chart->addAxis(m_timeAxis, Qt::AlignBottom);
    chart->addAxis(angle, Qt::AlignLeft);
    chart->addAxis(m_errorAxis, Qt::AlignRight);

    m_commandedAz = new QLineSeries;
    m_commandedAz->setName(QStringLiteral("Azimuth"));
    m_commandedZe = new QLineSeries;
    m_commandedZe->setName(QStringLiteral("Zenith"));
    // Lines, not scatter markers: Qt Charts makes a graphics item of every marker, which
    // costs hundreds of milliseconds for a day of positions.
    m_reportedAz = new QLineSeries;
    m_reportedAz->setName(QStringLiteral("Reported az"));
    m_reportedZe = new QLineSeries;
    m_reportedZe->setName(QStringLiteral("Reported ze"));
    // Wide and solid (a dashed pen costs more to stroke than the rest of the plot), the
    // commanded line shows through the reported one.
    m_reportedAz->setPen(QPen(QColor(240, 150, 30, 170), 4.0));
    m_reportedZe->setPen(QPen(QColor(120, 80, 200, 170), 4.0));
    m_error = new QLineSeries;
    m_error->setName(QStringLiteral("Error"));
    m_error->setColor(QColor(200, 30, 30));
    for (QAbstractSeries* series : std::initializer_list<QAbstractSeries*>{
             m_commandedAz, m_commandedZe, m_reportedAz, m_reportedZe}) {
        chart->addSeries(series);
        series->attachAxis(m_timeAxis);
        series->attachAxis(angle);
    }
    chart->addSeries(m_error);
    m_error->attachAxis(m_timeAxis);
    m_error->attachAxis(m_errorAxis);
    return chart;
}

void CTrackingView::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    m_schedule = new QLabel(this);
    m_schedule->setObjectName(QStringLiteral("schedule"));
    m_schedule->setWordWrap(true);
    m_mirrorLabel = new QLabel(this);
    m_mirrorLabel->setObjectName(QStringLiteral("mirror"));
    layout->addWidget(m_schedule);
    layout->addWidget(m_mirrorLabel);

    auto* plots = new QHBoxLayout;
    m_skyView = new QChartView(BuildSkyChart(), this);
    m_skyView->setObjectName(QStringLiteral("skyPlot"));
    m_timeView = new QChartView(BuildTimeChart(), this);
    m_timeView->setObjectName(QStringLiteral("timePlot"));
    for (QChartView* view : {m_skyView, m_timeView}) {
        view->chart()->setMargins(QMargins(2, 2, 2, 2));
        view->chart()->setAnimationOptions(QChart::NoAnimation);
        QFont small = view->chart()->legend()->font();
        small.setPointSizeF(small.pointSizeF() * 0.8);
        view->chart()->legend()->setFont(small);
        plots->addWidget(view, 1);
    }
    layout->addLayout(plots, 1);
    // Only the sky plot is smoothed: its few curves read better so, while smoothing the day's
    // thousands of line segments would multiply the time plot's paint time.
    m_skyView->setRenderHint(QPainter::Antialiasing);
    RefreshTexts();
    m_textTimer.start();
}

void CTrackingView::showEvent(QShowEvent* event) {
    CCustomDialog::showEvent(event);
    ScheduleRedraw();
}

void CTrackingView::OnPosition(double azimuthDeg, double zenithDeg) {
    m_monitor->OnPosition(NowUtc(), azimuthDeg, zenithDeg);
    m_liveDirty = true;
    ScheduleRedraw();
}

void CTrackingView::OnStatus(unsigned status) {
    const bool uploadBegins = (status & Suntrack::HeliostatStatus::kUploading) &&
                              !(m_monitor->Status() & Suntrack::HeliostatStatus::kUploading);
    if (uploadBegins && m_source.track) {
        m_monitor->OnUploadStarted(m_source.track(), m_source.unattended && m_source.unattended(),
                                   m_continuationPending);
        m_continuationPending = false;
        m_trajectoryDirty = true;
    }
    if (m_monitor->OnStatus(status, NowUtc()))
        emit clockWarning();
    m_liveDirty = true;
    RefreshTexts();
    ScheduleRedraw();
}

void CTrackingView::OnUploadProgress(int percent, bool uploading) {
    // Only the schedule line changes: the plots are not redrawn for each pair.
    m_monitor->OnUploadProgress(percent, uploading);
    RefreshTexts();
}

void CTrackingView::OnUploadComplete() {
    m_monitor->OnUploadComplete();
    RefreshTexts();
}

void CTrackingView::OnTrajectoryFinished() {
    m_monitor->OnTrajectoryFinished();
    RefreshTexts();
}

void CTrackingView::OnIdleUpdateCmdUI() {
    CQuorvel* device = m_context.Device();
    m_monitor->OnConnection(device && device->IsConnected());
    if (m_monitor->PositionStale(NowUtc()) != m_mirrorStale) {
        RefreshTexts();
        m_liveDirty = true;
        ScheduleRedraw();
    }
}

void CTrackingView::ScheduleRedraw() {
    if (!m_redrawTimer.isActive())
        m_redrawTimer.start();
}

void CTrackingView::Redraw() {
    if (!m_skyView)
        return;
    if (!isVisible() && m_redraws > 0)
        return;  // drawn when the tab is shown again
    RefreshTexts();
    if (m_trajectoryDirty)
        RedrawTrajectory();
    if (m_liveDirty)
        RedrawLive();
    ++m_redraws;
}

void CTrackingView::RedrawTrajectory() {
    m_trajectoryDirty = false;
    const Suntrack::CTrajectoryTrack& track = m_monitor->Track();
    const arma::mat33 inverse = m_context.AlignmentInverse();
    QList<QPointF> sky, az, ze;
    sky.reserve(static_cast<qsizetype>(track.Size()));
    az.reserve(sky.capacity());
    ze.reserve(sky.capacity());
    for (std::size_t i = 0; i < track.Size(); ++i) {
        const Suntrack::AzZe p = track.PointAt(i);
        sky.append(SkyPoint(Suntrack::InstrumentToCelestial(inverse, p.azimuthDeg, p.zenithDeg)));
        const double t = static_cast<double>(Msecs(track.UtcAt(i)));
        az.append({t, p.azimuthDeg});
        ze.append({t, p.zenithDeg});
    }
    // One replace per series: a single repaint instead of one per point.
    m_skyTrajectory->replace(sky);
    m_commandedAz->replace(az);
    m_commandedZe->replace(ze);
    if (!track.Empty()) {
        m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(Msecs(track.FirstUtc())),
                             QDateTime::fromMSecsSinceEpoch(Msecs(track.LastUtc())));
    }
}

void CTrackingView::RedrawLive() {
    m_liveDirty = false;
    const double now = NowUtc();
    const arma::mat33 inverse = m_context.AlignmentInverse();
    QList<QPointF> sun;
    if (const CQuorvelAppSettings* settings = m_operatorContext.Settings()) {
        const Suntrack::SunSample s = Suntrack::SunAtUtcSeconds(
            SiteOf(*settings), static_cast<std::int64_t>(std::floor(now)));
        if (s.Valid() && s.zenithDeg <= 90.0)
            sun.append({s.azimuthDeg, s.zenithDeg});
    }
    m_sun->replace(sun);

    QList<QPointF> mirror;
    if (const auto last = m_monitor->LastPosition()) {
        mirror.append(SkyPoint(Suntrack::InstrumentToCelestial(inverse, last->reported.azimuthDeg,
                                                               last->reported.zenithDeg)));
    }
    m_mirror->replace(mirror);
    const QColor mirrorColor = m_mirrorStale ? kStaleColor : QColor(30, 90, 200);
    if (m_mirror->color() != mirrorColor)
        m_mirror->setColor(mirrorColor);
    if (m_monitor->PlotVersion() != m_plottedVersion)
        RedrawHistory(now);
}

void CTrackingView::RedrawHistory(double now) {
    // Only when a thinned position was added: most polls move the mirror alone.
    m_plottedVersion = m_monitor->PlotVersion();
    const arma::mat33 inverse = m_context.AlignmentInverse();
    QList<QPointF> trail;
    for (const Suntrack::PositionSample& p : m_monitor->Trail()) {
        trail.append(SkyPoint(
            Suntrack::InstrumentToCelestial(inverse, p.reported.azimuthDeg, p.reported.zenithDeg)));
    }
    m_trail->replace(trail);

    QList<QPointF> az, ze, error;
    double largest = 0.0;
    for (const Suntrack::PositionSample& p : m_monitor->DayPositions()) {
        const double t = static_cast<double>(Msecs(p.utcSeconds));
        az.append({t, p.reported.azimuthDeg});
        ze.append({t, p.reported.zenithDeg});
        if (p.trackingErrorDeg) {
            error.append({t, *p.trackingErrorDeg});
            largest = std::max(largest, *p.trackingErrorDeg);
        }
    }
    m_reportedAz->replace(az);
    m_reportedZe->replace(ze);
    m_error->replace(error);
    // The error axis grows in steps so that it does not jump at every poll.
    const double top = largest <= 0.1 ? 0.1 : std::pow(10.0, std::ceil(std::log10(largest)));
    if (m_errorAxis->max() != top)
        m_errorAxis->setRange(0, top);
    if (m_monitor->Track().Empty() && !az.isEmpty()) {
        m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(az.first().x())),
                             QDateTime::fromMSecsSinceEpoch(Msecs(now)));
    }
}

void CTrackingView::RefreshTexts() {
    if (!m_schedule)
        return;
    const double now = NowUtc();
    if (now - m_clockStateReadAt > kClockStateSeconds || now < m_clockStateReadAt) {
        m_clockState = Platform::ReadClockSync();
        m_clockStateReadAt = now;
    }
    const CQuorvelAppSettings* settings = m_operatorContext.Settings();
    const std::wstring line = Suntrack::ScheduleLine(m_monitor->Facts(now), m_clockState,
                                                     settings ? settings->dLongitude : 0.0);
    m_schedule->setText(QString::fromStdWString(line));
    const bool clockSuspect =
        Suntrack::ClockWarning(m_clockState).has_value() || m_monitor->ClockProblem().has_value();
    m_schedule->setStyleSheet(clockSuspect ? QStringLiteral("color: rgb(170, 60, 0);") : QString());

    m_mirrorStale = m_monitor->PositionStale(now);
    const auto last = m_monitor->LastPosition();
    QString text;
    if (!last) {
        text = QStringLiteral("Mirror: no position yet");
    } else {
        const Suntrack::AzZe sky = Suntrack::InstrumentToCelestial(
            m_context.AlignmentInverse(), last->reported.azimuthDeg, last->reported.zenithDeg);
        text = QStringLiteral("Mirror: azimuth %1\u00b0, zenith %2\u00b0")
                   .arg(sky.azimuthDeg, 0, 'f', 3)
                   .arg(sky.zenithDeg, 0, 'f', 3);
        if (last->trackingErrorDeg)
            text +=
                QStringLiteral(", tracking error %1\u00b0").arg(*last->trackingErrorDeg, 0, 'f', 3);
        if (m_mirrorStale) {
            text += QStringLiteral(" (%1, not being refreshed)")
                        .arg(QString::fromStdWString(Suntrack::AgeWords(now - last->utcSeconds)));
        }
    }
    m_mirrorLabel->setText(text);
    m_mirrorLabel->setStyleSheet(m_mirrorStale ? QStringLiteral("color: rgb(150, 150, 150);")
                                               : QString());
}

QString CTrackingView::ScheduleText() const {
    return m_schedule ? m_schedule->text() : QString();
}

QString CTrackingView::MirrorText() const {
    return m_mirrorLabel ? m_mirrorLabel->text() : QString();
}
