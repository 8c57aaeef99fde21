#include "TrajectoryFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <sstream>

#include "platform/Clock.h"

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

}  // namespace

std::optional<SYSTEMTIME> ParseLocalStamp(const std::string& date, const std::string& time) {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (date.size() != 10 || date[4] != '-' || date[7] != '-' || !Digits(date, 0, 4, year) ||
        !Digits(date, 5, 2, month) || !Digits(date, 8, 2, day)) {
        return std::nullopt;
    }
    if (time.size() != 8 || time[2] != ':' || time[5] != ':' || !Digits(time, 0, 2, hour) ||
        !Digits(time, 3, 2, minute) || !Digits(time, 6, 2, second)) {
        return std::nullopt;
    }
    // Years before 1900 do not convert to seconds (and no trajectory starts then).
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    return Platform::MakeSystemTime(year, month, day, hour, minute, second);
}

bool ParseTrajectoryFile(std::istream& in, STrajectoryFile& file, std::string& error) {
    file = STrajectoryFile{};
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
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
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (words.size() != 4) {
            error = where + "expected \"YYYY-MM-DD HH:MM:SS, azimuth, zenith\", found " +
                    std::to_string(words.size()) + " fields";
            return false;
        }
        const std::optional<SYSTEMTIME> stamp = ParseLocalStamp(words[0], words[1]);
        if (!stamp) {
            error = where + "\"" + words[0] + " " + words[1] +
                    "\" is not a time stamp \"YYYY-MM-DD HH:MM:SS\"";
            return false;
        }
        double azimuth = 0, zenith = 0;
        if (!ParseDegrees(words[2], azimuth)) {
            error = where + "azimuth \"" + words[2] + "\" is not a number";
            return false;
        }
        if (!ParseDegrees(words[3], zenith)) {
            error = where + "zenith \"" + words[3] + "\" is not a number";
            return false;
        }
        if (!file.times.empty()) {
            const std::int64_t previous = Platform::LocalTimeToSeconds(file.times.back());
            const std::int64_t current = Platform::LocalTimeToSeconds(*stamp);
            if (current <= previous) {
                error = where + "the time stamp does not follow the one before it";
                return false;
            }
            if (file.times.size() == 1)
                file.stampSpacing =
                    static_cast<int>(std::min<std::int64_t>(current - previous, INT32_MAX));
        }
        file.times.push_back(*stamp);
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
