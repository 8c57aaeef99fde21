// Text of the line protocol: numbers written into commands and read from replies. All of it
// is independent of the process locale (a GUI toolkit may set LC_NUMERIC to one that writes
// decimal commas); the instrument always speaks "." decimals.
#pragma once

#include <string>

#include "QuorvelMessages.h"

namespace QuorvelDriver {

// The product field of the instrument's identification.
inline constexpr wchar_t kProductId[] = L"QUORVEL4";

// printf("%.<decimals>f") in the C locale.
std::string FormatFixed(double value, int decimals);
// printf("%.4d"): at least four digits, a minus sign in front when negative.
std::string FormatInt4(long long value);
// The identification and parse helpers of the device object.
// swscanf(text, L"%lf,%lf"): leading white space allowed before each number, none before the
// comma. True when both numbers were read.
bool ParseDoublePair(const std::wstring& text, double& first, double& second);
// A decimal integer as _wtoi reads it: leading white space and a sign, up to the first
// non-digit, 0 without digits, clamped to the int range.
int ParseDecimalInt(const std::wstring& text);
// Splits an identification reply "<leading>,<product>,<trailing...>" at its first two commas:
// no comma gives three empty fields, one comma the leading field only; the trailing field
// keeps any further commas.
IdStruct ParseIdentification(const std::wstring& reply);
// Command text (plain ASCII) as a wide string for logs.
std::wstring WidenAscii(const std::string& text);

}  // namespace QuorvelDriver
