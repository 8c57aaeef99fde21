// CStatusDlg: the strip at the top of the main view showing the connection, the
// instrument's state words, its position (mapped back through the alignment) and velocity.
// It polls position and velocity every 250 ms while connected and repaints the connection
// indicator on every idle pass; the answers arrive through the view.
#pragma once

#include <QFont>
#include <QPixmap>
#include <QTimer>

#include "CustomDialog.h"
#include "PanelContext.h"

class CStatusDlg : public CCustomDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 313;

    CStatusDlg(const CPanelContext& context, QWidget* parent);

    // flags: the value of the device's seven-flag status set.
    void UpdateStatusText(unsigned long flags);
    // Instrument azimuth and zenith, degrees.
    void UpdatePosition(double azimuthDeg, double zenithDeg);
    // Rates in degrees per second, as the instrument reports them.
    void UpdateVelocity(double azimuthRate, double zenithRate);
    void UpdateConnectionIndicator();

    void OnIdleUpdateCmdUI() override { UpdateConnectionIndicator(); }
    // Timer 0 polls the position, timer 1 the velocity.
    void OnTimer(int id);

    // The texts the operator sees, by control id (tests and screenshots).
    QString Text(int id) const;
    bool LampShowsConnected() const { return m_lampConnected; }
    bool Polling() const { return m_positionTimer.isActive() && m_velocityTimer.isActive(); }

    // "UNKNOWN", "IDLE", "MOVING,\nTRAJECTORY", "FUNKY" ...
    static QString StatusText(unsigned long flags);
    // "10.000 °" for an angle in degrees; "1.500 °/sec" for a rate.
    static QString FormatAngle(double degrees);
    static QString FormatRate(double degreesPerSecond);

protected:
    void BuildControls() override;
    bool OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

private:
    void SetValueText(int id, const QString& text);

    CPanelContext m_context;
    QFont m_headingFont;
    QFont m_labelFont;
    QFont m_valueFont;
    QPixmap m_bmpConnected;     // resource 310, green lamp
    QPixmap m_bmpDisconnected;  // resource 312, red lamp
    QTimer m_positionTimer;     // id 0
    QTimer m_velocityTimer;     // id 1
    // The state painted last; true at start so that the first idle pass paints
    // "DISCONNECTED" when no instrument is connected.
    bool m_wasConnected = true;
    bool m_lampConnected = false;
};
