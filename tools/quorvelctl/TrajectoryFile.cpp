#include "TrajectoryFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <sstream>

#include "platform/Clock.h"
#include "platform/TextConvert.h"

namespace quorvelctl {

namespace {

// Reads exactly `digits` decimal digits at `pos`.
bool Digits(const std::string& text, std::size_t pos, std::size_t digits, unsigned& value) {
    if (pos + digits > text.size())
        return false;
    value = 0;
    for (std::size_t i = pos; i < pos + digits; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

bool IsLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool ParseDegrees(const std::string& text, double& value) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    const auto r = std::from_chars(first, last, value);
    return first != last && r.ec == std::errc() && r.ptr == last && std::isfinite(value);
}

std::string Quoted(const std::string& text) {
    return "\"" + Platform::PrintableBytes(text, 40) + "\"";
}

enum class ELine { Read, End, TooLong };

// One line without its '\n', at most kMaxTrajectoryLineBytes long, so that a file without
// line ends is refused after that many bytes instead of being read whole.
ELine ReadLine(std::istream& in, std::string& line) {
    line.clear();
    bool any = false;
    char c = 0;
    while (in.get(c)) {
        any = true;
        if (c == '\n')
            return ELine::Read;
        if (line.size() >= kMaxTrajectoryLineBytes)
            return ELine::TooLong;
        line += c;
    }
    return any ? ELine::Read : ELine::End;
}

// "+HH:MM", "-HH:MM" or "Z" -> minutes east of UTC (at most 14 hours).
std::optional<int> ParseOffset(const std::string& text) {
    if (text == "Z")
        return 0;
    unsigned hours = 0, minutes = 0;
    if (text.size() != 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':' ||
        !Digits(text, 1, 2, hours) || !Digits(text, 4, 2, minutes) || minutes > 59 ||
        hours * 60 + minutes > 14 * 60) {
        return std::nullopt;
    }
    const int offset = static_cast<int>(hours * 60 + minutes);
    return text[0] == '-' ? -offset : offset;
}

// The civil time read as if it were UTC, in seconds since 1970.
std::int64_t CivilSeconds(const SYSTEMTIME& civil) {
    static const Platform::Ticks kEpoch =
        Platform::SystemTimeToTicks(Platform::MakeSystemTime(1970, 1, 1));
    return (static_cast<std::int64_t>(Platform::SystemTimeToTicks(civil)) -
            static_cast<std::int64_t>(kEpoch)) /
           static_cast<std::int64_t>(Platform::kTicksPerSecond);
}

}  // namespace

std::optional<SFileStamp> ParseFileStamp(const std::string& date, const std::string& time) {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (date.size() != 10 || date[4] != '-' || date[7] != '-' || !Digits(date, 0, 4, year) ||
        !Digits(date, 5, 2, month) || !Digits(date, 8, 2, day)) {
        return std::nullopt;
    }
    if (time.size() < 8 || time[2] != ':' || time[5] != ':' || !Digits(time, 0, 2, hour) ||
        !Digits(time, 3, 2, minute) || !Digits(time, 6, 2, second)) {
        return std::nullopt;
    }
    SFileStamp stamp;
    if (time.size() > 8) {
        stamp.utcOffsetMinutes = ParseOffset(time.substr(8));
        if (!stamp.utcOffsetMinutes)
            return std::nullopt;
    }
    // Years before 1900 do not convert to seconds (and no trajectory starts then).
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    stamp.civil = Platform::MakeSystemTime(year, month, day, hour, minute, second);
    return stamp;
}

bool ParseTrajectoryFile(std::istream& in, STrajectoryFile& file, std::string& error) {
    file = STrajectoryFile{};
    std::string line;
    int lineNumber = 0;
    for (;;) {
        const ELine read = ReadLine(in, line);
        if (read == ELine::End)
            break;
        ++lineNumber;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (read == ELine::TooLong) {
            error = where + "longer than " + std::to_string(kMaxTrajectoryLineBytes) +
                    " bytes; not a trajectory file";
            return false;
        }
        for (char& c : line) {
            if (c == ',')
                c = ' ';
        }
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;)
            words.push_back(word);
        if (words.empty() || words.front().front() == '#')
            continue;
        if (file.times.size() == kMaxTrajectoryPoints) {
            error = where + "more than " + std::to_string(kMaxTrajectoryPoints) +
                    " points, the most the instrument takes";
            return false;
        }
        if (words.size() != 4) {
            error = where + "expected \"YYYY-MM-DD HH:MM:SS, azimuth, zenith\", found " +
                    std::to_string(words.size()) + " fields";
            return false;
        }
        const std::optional<SFileStamp> stamp = ParseFileStamp(words[0], words[1]);
        if (!stamp) {
            error = where + Quoted(words[0] + " " + words[1]) +
                    " is not a time stamp \"YYYY-MM-DD HH:MM:SS\" (with an optional UTC offset "
                    "such as +01:00)";
            return false;
        }
        double azimuth = 0, zenith = 0;
        if (!ParseDegrees(words[2], azimuth)) {
            error = where + "azimuth " + Quoted(words[2]) + " is not a number";
            return false;
        }
        if (!ParseDegrees(words[3], zenith)) {
            error = where + "zenith " + Quoted(words[3]) + " is not a number";
            return false;
        }
        // Stamps are compared as instants: in the hour repeated when daylight saving ends, a
        // stamp without an offset is the first of its instants after the one before it.
        std::int64_t instant = 0;
        SYSTEMTIME local = stamp->civil;
        if (stamp->utcOffsetMinutes) {
            instant = CivilSeconds(stamp->civil) - std::int64_t{*stamp->utcOffsetMinutes} * 60;
            local = Platform::SecondsToLocalTime(instant);
        } else {
            const std::vector<std::int64_t> candidates = Platform::LocalTimeInstants(stamp->civil);
            if (candidates.empty()) {
                error = where + Quoted(words[0] + " " + words[1]) +
                        " does not exist in this computer's time zone (skipped when daylight "
                        "saving begins); give its UTC offset";
                return false;
            }
            instant = candidates.front();
            if (!file.instants.empty()) {
                for (const std::int64_t candidate : candidates) {
                    instant = candidate;
                    if (candidate > file.instants.back())
                        break;
                }
            }
        }
        if (!file.instants.empty()) {
            const std::int64_t previous = file.instants.back();
            if (instant <= previous) {
                error = where + "the time stamp does not follow the one before it";
                return false;
            }
            if (file.instants.size() == 1)
                file.stampSpacing =
                    static_cast<int>(std::min<std::int64_t>(instant - previous, INT32_MAX));
        }
        file.times.push_back(local);
        file.instants.push_back(instant);
        file.azimuths.push_back(azimuth);
        file.zeniths.push_back(zenith);
    }
    if (in.bad()) {
        error = "cannot read the file";
        return false;
    }
    if (file.times.empty()) {
        error = "no trajectory points in the file";
        return false;
    }
    return true;
}

}  // namespace quorvelctl
