// CNumberEdit: a single-line edit for a signed decimal number in the notation of the user's
// locale. It inserts the locale's decimal separator and negative sign itself, once each and
// only where they may stand, whether the operator types them or the keyboard's "." and "-"
// (on a comma desktop, or where the locale's sign is U+2212, the keyboard offers no other);
// every other character goes to the edit's own processing, which in the digits-only style
// refuses anything but a digit. Pasted text is not filtered: the panels read the text
// leniently (ReadNumber) and rewrite it when the focus leaves.
#pragma once

#include <QLineEdit>
#include <QLocale>
#include <QString>
#include <optional>

#include "DecimalNotation.h"

class CNumberEdit : public QLineEdit {
    Q_OBJECT
public:
    // The separator (at most 4 characters) and the sign (at most 5) are read once, here.
    CNumberEdit(bool digitsOnly, QWidget* parent, const QLocale& locale = QLocale());

    bool IsDigitsOnly() const { return m_digitsOnly; }
    const QString& DecimalSeparator() const { return m_notation.DecimalSeparator(); }
    const QString& NegativeSign() const { return m_notation.NegativeSign(); }

    // The typed-character rule; answers whether the character was handled here (otherwise
    // it goes to the default processing).
    bool OnDecimalChar(QChar c);

    // The number at the start of the text (CDecimalNotation::Read); nothing when the text
    // holds no number (empty, a lone sign, letters).
    std::optional<double> ReadNumber() const;
    // Writes the value with `decimals` digits after the mark, in the locale's notation.
    void SetNumber(double value, int decimals);
    // The same text without touching a control.
    QString FormatNumber(double value, int decimals) const;

    // Most characters of the text examined by the character rule (the mix-in's 349 less
    // the terminator).
    static constexpr int kMaxExamined = 348;

signals:
    // Focus left the edit (the kill-focus notification).
    void killFocus();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_digitsOnly;
    CDecimalNotation m_notation;
};
