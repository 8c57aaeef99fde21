// Text helpers of the instrument's line protocol, independent of the C locale: the GUI
// program switches the process locale, and the wire always uses "." as decimal mark.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::sim {

// "%.4f" without locale influence.
std::string FormatFixed4(double value);

// "%.4f,%.4f": the form of position, velocity and trajectory-pair lines.
std::string FormatPair(double first, double second);

// A whole field as a decimal number ("12.5", "-3", "1e2"); nullopt for anything else,
// including surrounding spaces.
std::optional<double> ParseNumber(std::string_view text);

// A whole field as a decimal integer with an optional sign.
std::optional<long long> ParseInteger(std::string_view text);

// Splits "NAME(a,b,...)" into its argument fields; nullopt when the line is not of that
// form for the given name (e.g. "P(" without the closing bracket).
std::optional<std::vector<std::string_view>> SplitCall(std::string_view line,
                                                       std::string_view name);

// Printable rendering of a received line for the command log: control bytes, DEL, bytes
// above 0x7e and the backslash are written as \xHH so one entry stays on one line.
std::string EscapeForLog(std::string_view text);

}  // namespace quorvel::sim
