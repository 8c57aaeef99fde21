#include "DecimalNotation.h"

#include "core/HeliostatWorkflow.h"

namespace {
const QString kPoint = QStringLiteral(".");
const QString kHyphenMinus = QStringLiteral("-");
}  // namespace

CDecimalNotation::CDecimalNotation(const QLocale& locale)
    : m_decimalSeparator(locale.decimalPoint().left(4)),
      m_negativeSign(locale.negativeSign().left(5)) {
    if (m_decimalSeparator.isEmpty())
        m_decimalSeparator = kPoint;
    if (m_negativeSign.isEmpty())
        m_negativeSign = kHyphenMinus;
}

bool CDecimalNotation::IsDecimalMark(QChar c) const {
    return c == QLatin1Char('.') || c == m_decimalSeparator.at(0);
}

bool CDecimalNotation::IsMinus(QChar c) const {
    return c == QLatin1Char('-') || c == m_negativeSign.at(0);
}

std::optional<double> CDecimalNotation::Read(const QString& text) const {
    // Into the form the locale-free reader takes: "-" and ".".
    QString t = text.trimmed();
    if (m_negativeSign != kHyphenMinus && t.startsWith(m_negativeSign))
        t = kHyphenMinus + t.mid(m_negativeSign.size());
    if (m_decimalSeparator != kPoint)
        t.replace(m_decimalSeparator, kPoint);
    return Suntrack::ParseLeadingNumber(t.toStdWString());
}

QString CDecimalNotation::Format(double value, int decimals) const {
    QString t = QString::fromStdWString(Suntrack::FormatFixed(value, decimals));
    if (m_decimalSeparator != kPoint)
        t.replace(QLatin1Char('.'), m_decimalSeparator);
    if (m_negativeSign != kHyphenMinus && t.startsWith(QLatin1Char('-')))
        t = m_negativeSign + t.mid(1);
    return t;
}
