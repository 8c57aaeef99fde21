#include "NumberEdit.h"

#include <QKeyEvent>

CNumberEdit::CNumberEdit(bool digitsOnly, QWidget* parent, const QLocale& locale)
    : QLineEdit(parent), m_digitsOnly(digitsOnly), m_notation(locale) {}

bool CNumberEdit::OnDecimalChar(QChar c) {
    bool handled = false;
    const QString current = text().left(kMaxExamined);
    // Selection as [start, end) in characters; the caret alone is an empty selection.
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int end = hasSelectedText() ? selectionEnd() : start;

    if (m_notation.IsDecimalMark(c)) {
        bool present = false;
        for (int i = 0; i < current.size(); ++i) {
            if (i >= start && i < end)
                continue;  // the part the typed character replaces
            if (m_notation.IsDecimalMark(current.at(i))) {
                present = true;
                break;
            }
        }
        if (!present) {
            insert(DecimalSeparator());  // replaces the selection, undoable
            handled = true;
        }
    }
    if (m_notation.IsMinus(c)) {
        if (start != 0)
            return handled;
        if (start == end && !current.isEmpty() && m_notation.IsMinus(current.at(0)))
            return handled;
        insert(NegativeSign());
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
    return m_notation.Read(text());
}

QString CNumberEdit::FormatNumber(double value, int decimals) const {
    return m_notation.Format(value, decimals);
}

void CNumberEdit::SetNumber(double value, int decimals) {
    setText(FormatNumber(value, decimals));
}
