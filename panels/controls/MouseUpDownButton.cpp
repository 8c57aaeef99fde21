#include "MouseUpDownButton.h"

#include <QMouseEvent>

#include "platform/Wnd.h"

CMouseUpDownButton::CMouseUpDownButton(int id, const QString& text, QWidget* parent)
    : QPushButton(text, parent), m_id(id) {
    setAutoDefault(false);
}

void CMouseUpDownButton::Notify(UINT message) {
    if (auto* target = dynamic_cast<CWnd*>(parentWidget()))
        target->SendMessage(message, static_cast<WPARAM>(m_id), 0);
}

void CMouseUpDownButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled()) {
        m_held = true;
        Notify(WM_MOUSEUPDOWN_PRESS);
    }
    QPushButton::mousePressEvent(event);
}

void CMouseUpDownButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_held) {
        m_held = false;
        Notify(WM_MOUSEUPDOWN_RELEASE);
    }
    QPushButton::mouseReleaseEvent(event);
}

void CMouseUpDownButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled() && m_held) {
        m_held = false;
        Notify(WM_MOUSEUPDOWN_RELEASE);
    }
}
