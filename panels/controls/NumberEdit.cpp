#include "NumberEdit.h"

#include <QKeyEvent>
#include <charconv>
#include <cmath>
#include <string>

CNumberEdit::CNumberEdit(bool digitsOnly, QWidget* parent, const QLocale& locale)
    : QLineEdit(parent),
      m_digitsOnly(digitsOnly),
      m_decimalSeparator(locale.decimalPoint().left(4)),
      m_negativeSign(locale.negativeSign().left(5)) {
    if (m_decimalSeparator.isEmpty())
        m_decimalSeparator = QStringLiteral(".");
    if (m_negativeSign.isEmpty())
        m_negativeSign = QStringLiteral("-");
}

bool CNumberEdit::OnDecimalChar(QChar c) {
    bool handled = false;
    const QString current = text().left(kMaxExamined);
    // Selection as [start, end) in characters; the caret alone is an empty selection.
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int end = hasSelectedText() ? selectionEnd() : start;

    if (c == m_decimalSeparator.at(0)) {
        bool present = false;
        for (int i = 0; i < current.size(); ++i) {
            if (i >= start && i < end)
                continue;  // the part the typed character replaces
            if (current.at(i) == c) {
                present = true;
                break;
            }
        }
        if (!present) {
            insert(m_decimalSeparator);  // replaces the selection, undoable
            handled = true;
        }
    }
    if (c == m_negativeSign.at(0)) {
        if (start != 0)
            return handled;
        if (start == end && current.startsWith(c))
            return handled;
        insert(m_negativeSign);
        handled = true;
    }
    return handled;
}

void CNumberEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    if (typed.size() == 1 && typed.at(0).isPrint() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        const QChar c = typed.at(0);
        if (OnDecimalChar(c)) {
            event->accept();
            return;
        }
        if (m_digitsOnly && !(c >= QLatin1Char('0') && c <= QLatin1Char('9'))) {
            // The digits-only style refuses the character (the platform beeps).
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void CNumberEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    emit killFocus();
}

std::optional<double> CNumberEdit::ReadNumber() const {
    QString t = text().trimmed();
    if (m_negativeSign != QStringLiteral("-") && t.startsWith(m_negativeSign))
        t = QStringLiteral("-") + t.mid(m_negativeSign.size());
    if (m_decimalSeparator != QStringLiteral("."))
        t.replace(m_decimalSeparator, QStringLiteral("."));
    const std::string s = t.toStdString();
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (first != last && *first == '+')
        ++first;
    double value = 0.0;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString CNumberEdit::FormatNumber(double value, int decimals) const {
    // Values that round to zero are written without a sign ("0.000", not "-0.000").
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0.0;
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    QString t = QString::fromLatin1(buffer, static_cast<int>(result.ptr - buffer));
    if (m_decimalSeparator != QStringLiteral("."))
        t.replace(QLatin1Char('.'), m_decimalSeparator);
    if (m_negativeSign != QStringLiteral("-") && t.startsWith(QLatin1Char('-')))
        t = m_negativeSign + t.mid(1);
    return t;
}

void CNumberEdit::SetNumber(double value, int decimals) {
    setText(FormatNumber(value, decimals));
}
