// CMouseUpDownButton: a push button that tells its parent window the moment the left mouse
// button goes down on it and the moment it comes up again, which turns a button into a
// hold-to-jog control. The notices are sent synchronously before the button's own handling,
// so the parent's handler runs before the button paints itself pressed or released. The
// button holds the mouse while pressed, so the release notice also comes when the mouse is
// let go outside it.
#pragma once

#include <QPushButton>

#include "platform/WinTypes.h"

// The press notice and the release notice; wParam = the button's control id, lParam = 0.
constexpr UINT WM_MOUSEUPDOWN_PRESS = WM_APP + 0x200;    // 0x8200
constexpr UINT WM_MOUSEUPDOWN_RELEASE = WM_APP + 0x201;  // 0x8201

class CMouseUpDownButton : public QPushButton {
    Q_OBJECT
public:
    CMouseUpDownButton(int id, const QString& text, QWidget* parent);
    int ControlId() const { return m_id; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // A button disabled while held gets no release from the toolkit: the release notice is
    // sent then, so a jog never outlives the hold.
    void changeEvent(QEvent* event) override;

private:
    // To the parent at the time of the message, when it is a message target.
    void Notify(UINT message);
    int m_id;
    bool m_held = false;
};
