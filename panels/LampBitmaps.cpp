#include "LampBitmaps.h"

#include <QPainter>
#include <QRadialGradient>

QPixmap MakeLampBitmap(const QColor& lamp) {
    QPixmap pixmap(43, 43);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(QPointF(17, 15), 22);
    glow.setColorAt(0.0, lamp.lighter(170));
    glow.setColorAt(0.6, lamp);
    glow.setColorAt(1.0, lamp.darker(160));
    painter.setBrush(glow);
    painter.setPen(QPen(lamp.darker(220), 1.5));
    painter.drawEllipse(QRectF(4.5, 4.5, 34, 34));
    return pixmap;
}
