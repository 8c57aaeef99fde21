// The GUI tests also run under German, Swedish and Finnish locales: numbers the panels show
// are expected in the process locale's notation.
#pragma once

#include <QLatin1Char>
#include <QLocale>
#include <QString>

namespace GuiTestText {

// `text`, written with "." and "-", as the panels show it in the process's locale.
inline QString Shown(const char* text) {
    const QLocale locale;
    return QString::fromLatin1(text)
        .replace(QLatin1Char('.'), locale.decimalPoint())
        .replace(QLatin1Char('-'), locale.negativeSign());
}

}  // namespace GuiTestText
