#include "QuorvelView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <bitset>

#include "CommandIds.h"
#include "DialogTabCtrl.h"
#include "HeliostatControlsDlg.h"
#include "ManualControlsDlg.h"
#include "StatusDlg.h"
#include "TrackingView.h"
#include "core/Quorvel.h"

CQuorvelView::CQuorvelView(const CPanelContext& context, const COperatorContext& operatorContext,
                           QWidget* parent)
    : QWidget(parent), m_context(context), m_operatorContext(operatorContext), m_units(font()) {
    setObjectName(QStringLiteral("view"));
    // The form template holds one control: the tab control 1013 at 7,181 sized 380 x 204.
    m_tabCtrl = new CDialogTabCtrl(this);
    m_tabCtrl->setGeometry(m_units.Rect(7, 181, 380, 204));
    setMinimumSize(TemplateSize());
}

CQuorvelView::~CQuorvelView() {
    DestroyWindow();
}

QSize CQuorvelView::TemplateSize() const {
    return m_units.Size(394, 392);
}

void CQuorvelView::OnInitialUpdate() {
    if (m_statusPanel)
        return;

    m_statusPanel = new CStatusDlg(m_context, this);
    m_statusPanel->Create();
    m_statusPanel->move(0, 15);
    m_statusPanel->show();
    m_statusPanel->setProperty("dlgCtrlId", WndId::StatusPanel);

    m_manualPanel = new CManualControlsDlg(m_operatorContext, this);
    m_manualPanel->Create();
    m_tabCtrl->AddTab(m_manualPanel, QStringLiteral("Manual"));

    m_heliostatPanel = new CHeliostatControlsDlg(m_operatorContext, this);
    m_heliostatPanel->Create();
    m_tabCtrl->AddTab(m_heliostatPanel, QStringLiteral("Heliostat"));

    // The tracking page reads the trajectory the heliostat panel uploads (instrument frame).
    CTrackingView::UploadSource source;
    source.track = [this] {
        Suntrack::CTrajectoryTrack track;
        const CArray<SYSTEMTIME>& times = m_heliostatPanel->TrajectoryTimes();
        for (long long i = 0; i < times.GetSize(); ++i) {
            track.AddLocal(times[i], m_heliostatPanel->TrajectoryAzimuths()[i],
                           m_heliostatPanel->TrajectoryZeniths()[i]);
        }
        return track;
    };
    source.unattended = [this] { return m_heliostatPanel->Workflow().MultiDay(); };
    m_trackingView = new CTrackingView(m_context, m_operatorContext, source, this);
    m_trackingView->Create();
    connect(m_trackingView, &CTrackingView::clockWarning, this, &CQuorvelView::clockWarning);
    m_tabCtrl->AddTab(m_trackingView, QStringLiteral("Tracking"));

    m_tabCtrl->move(0, m_statusPanel->height() + 30);
    m_tabCtrl->Init();
    // Never smaller than what the panels need: the frame scrolls the view instead.
    const QRect used = m_statusPanel->geometry().united(m_tabCtrl->geometry());
    setMinimumSize(std::max(used.width(), TemplateSize().width()),
                   std::max(used.bottom() + 1 + m_units.Y(7), TemplateSize().height()));
    ApplyAnchors();
}

void CQuorvelView::ApplyAnchors() {
    for (QWidget* anchored :
         {static_cast<QWidget*>(m_statusPanel), static_cast<QWidget*>(m_tabCtrl)}) {
        if (!anchored)
            continue;
        anchored->move(std::max(0, (width() - anchored->width()) / 2), anchored->y());
    }
}

void CQuorvelView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ApplyAnchors();
}

void CQuorvelView::contextMenuEvent(QContextMenuEvent* event) {
    // The application's "Edit" menu; none of its commands has a handler.
    QMenu menu(this);
    menu.setTitle(QStringLiteral("Edit"));
    for (const char* text : {"Cu&t\tCtrl+X", "&Copy\tCtrl+C", "&Paste\tCtrl+V"})
        menu.addAction(QString::fromLatin1(text))->setEnabled(false);
    menu.exec(event->globalPos());
}

LRESULT CQuorvelView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_VIEW_POSITION: {
            const auto* values = reinterpret_cast<const double*>(wParam);
            if (values && m_statusPanel)
                m_statusPanel->UpdatePosition(values[0], values[1]);
            if (values && m_trackingView)
                m_trackingView->OnPosition(values[0], values[1]);
            return 0;
        }
        case WM_VIEW_STATUS: {
            const auto* status = reinterpret_cast<const std::bitset<7>*>(wParam);
            if (status && m_statusPanel)
                m_statusPanel->UpdateStatusText(status->to_ulong());
            if (status && m_trackingView)
                m_trackingView->OnStatus(static_cast<unsigned>(status->to_ulong()));
            return 0;
        }
        case WM_VIEW_VELOCITY: {
            const auto* values = reinterpret_cast<const double*>(wParam);
            if (values && m_statusPanel)
                m_statusPanel->UpdateVelocity(values[0], values[1]);
            return 0;
        }
        case WM_VIEW_UPLOAD_PROGRESS:
            OnUploadProgress(static_cast<int>(wParam), lParam == 1);
            return 0;
        case WM_VIEW_UPLOAD_COMPLETE:
            OnUploadComplete();
            return 0;
        case WM_VIEW_TRAJ_FINISHED:
            OnTrajectoryFinished();
            return 0;
        case WM_VIEW_HOME_FINISHED:
            OnHomingFinished();
            return 0;
        default:
            return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CQuorvelView::OnUploadProgress(int percent, bool uploading) {
    if (m_heliostatPanel)
        m_heliostatPanel->OnUploadProgress(percent, uploading);
    if (m_trackingView)
        m_trackingView->OnUploadProgress(percent, uploading);
}

void CQuorvelView::OnUploadComplete() {
    if (m_trackingView)
        m_trackingView->OnUploadComplete();
    // The panel starts the trajectory when "Auto run after upload" is ticked.
    if (m_heliostatPanel)
        m_heliostatPanel->OnUploadComplete();
}

void CQuorvelView::OnTrajectoryFinished() {
    if (m_heliostatPanel)
        m_heliostatPanel->OnTrajectoryFinished();
    if (m_trackingView)
        m_trackingView->OnTrajectoryFinished();
    if (CQuorvel* device = m_context.Device())
        device->Home();
}

void CQuorvelView::OnHomingFinished() {
    if (m_trackingView && m_heliostatPanel && m_heliostatPanel->Workflow().MultiDay())
        m_trackingView->ExpectContinuation();
    if (m_heliostatPanel)
        m_heliostatPanel->UploadNextDayTrajectory();
}
