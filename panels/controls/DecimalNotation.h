// CDecimalNotation: how every operator field reads and shows a decimal number. The fields take
// both "." and the locale's decimal separator as the decimal mark, and both "-" (the keyboard's
// minus) and the locale's negative sign (U+2212 in Swedish, Finnish, Norwegian and others);
// they take no digit grouping. They show the locale's separator and sign. The program's other
// text (log lines, commands, files) never goes through here: it always uses ".".
#pragma once

#include <QChar>
#include <QLocale>
#include <QString>
#include <optional>

class CDecimalNotation {
public:
    // The separator (at most 4 characters) and the sign (at most 5) are read once, here.
    explicit CDecimalNotation(const QLocale& locale = QLocale());

    const QString& DecimalSeparator() const { return m_decimalSeparator; }
    const QString& NegativeSign() const { return m_negativeSign; }

    // A typed character that stands for the decimal mark: "." or the separator's first one.
    bool IsDecimalMark(QChar c) const;
    // A typed character that stands for the minus: "-" or the sign's first one.
    bool IsMinus(QChar c) const;

    // The number at the start of the text (leading white space allowed); nothing when the
    // text holds no number (empty, a lone sign, letters).
    std::optional<double> Read(const QString& text) const;
    // `value` with `decimals` digits after the mark, in the locale's notation; a value that
    // rounds to zero is written without a sign.
    QString Format(double value, int decimals) const;

private:
    QString m_decimalSeparator;
    QString m_negativeSign;
};
