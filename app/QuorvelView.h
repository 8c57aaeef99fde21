// CQuorvelView: the main view. It holds the status panel at the top and, below it, the tab
// control with the "Manual", "Heliostat" and "Tracking" pages, and hands the driver's notifications
// that the main frame forwards (WM_APP+0 .. WM_APP+6) to the panel concerned.
#pragma once

#include <QWidget>

#include "CustomDialog.h"
#include "OperatorContext.h"
#include "PanelContext.h"
#include "platform/Wnd.h"

class CDialogTabCtrl;
class CStatusDlg;
class CManualControlsDlg;
class CHeliostatControlsDlg;
class CTrackingView;

class CQuorvelView : public QWidget, public CWnd {
    Q_OBJECT
public:
    static constexpr int IDD = 101;

    CQuorvelView(const CPanelContext& context, const COperatorContext& operatorContext,
                 QWidget* parent);
    ~CQuorvelView() override;

    // The view's initial update: creates the panels the first time; a repeated update (a
    // new or opened document) keeps them.
    void OnInitialUpdate();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    CStatusDlg* StatusPanel() const { return m_statusPanel; }
    CDialogTabCtrl* TabCtrl() const { return m_tabCtrl; }
    CManualControlsDlg* ManualPanel() const { return m_manualPanel; }
    CHeliostatControlsDlg* HeliostatPanel() const { return m_heliostatPanel; }
    CTrackingView* TrackingPage() const { return m_trackingView; }
    // The size of the form template (394 x 392 dialog units) in pixels.
    QSize TemplateSize() const;

signals:
    // The clock check before a timed start warned (see CTrackingView::clockWarning).
    void clockWarning();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnUploadProgress(int percent, bool uploading);
    void OnUploadComplete();
    void OnTrajectoryFinished();
    void OnHomingFinished();
    // Keeps the status panel and the tab control horizontally centred at their distance
    // from the top (the layout resizer's two anchors).
    void ApplyAnchors();

    CPanelContext m_context;
    COperatorContext m_operatorContext;
    CDialogUnits m_units;
    CDialogTabCtrl* m_tabCtrl = nullptr;
    CStatusDlg* m_statusPanel = nullptr;
    CManualControlsDlg* m_manualPanel = nullptr;
    CHeliostatControlsDlg* m_heliostatPanel = nullptr;
    CTrackingView* m_trackingView = nullptr;
};
