#include "DialogTemplate.h"

#include <QFontMetrics>

namespace {
// MulDiv as the platform rounds it: (a * b + c / 2) / c for positive values.
int MulDiv(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    return static_cast<int>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}
}  // namespace

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int width = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (width / 26 + 1) / 2;
    m_baseY = fm.height();
    if (m_baseX <= 0)
        m_baseX = 6;
    if (m_baseY <= 0)
        m_baseY = 13;
}

int CDialogUnits::X(int dlu) const {
    return MulDiv(dlu, m_baseX, 4);
}
int CDialogUnits::Y(int dlu) const {
    return MulDiv(dlu, m_baseY, 8);
}

QRect CDialogUnits::Rect(int x, int y, int cx, int cy) const {
    // Converting the corners rather than the size keeps neighbouring controls flush.
    const int left = X(x), top = Y(y);
    return QRect(left, top, X(x + cx) - left, Y(y + cy) - top);
}

QSize CDialogUnits::Size(int cx, int cy) const {
    return QSize(X(cx), Y(cy));
}
