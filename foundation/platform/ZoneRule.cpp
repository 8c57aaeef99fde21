#include "platform/ZoneRule.h"

#include <algorithm>
#include <cctype>

#include "platform/CivilDays.h"

namespace Platform {

namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;

// A cursor over the rule text; each Read* consumes what it accepts and fails without
// consuming otherwise.
class CReader {
public:
    explicit CReader(std::string_view text) : m_text(text) {}

    bool AtEnd() const { return m_pos == m_text.size(); }
    bool Take(char c) {
        if (!AtEnd() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    // A zone abbreviation: three or more letters, or "<...>" holding three or more letters,
    // digits, '+' or '-'.
    bool ReadName(std::string& name) {
        const std::size_t start = m_pos;
        if (Take('<')) {
            while (!AtEnd() &&
                   (IsAlnum(m_text[m_pos]) || m_text[m_pos] == '+' || m_text[m_pos] == '-')) {
                ++m_pos;
            }
            name.assign(m_text.substr(start + 1, m_pos - start - 1));
            if (name.size() >= 3 && Take('>')) {
                return true;
            }
        } else {
            while (!AtEnd() && IsAlpha(m_text[m_pos])) {
                ++m_pos;
            }
            name.assign(m_text.substr(start, m_pos - start));
            if (name.size() >= 3) {
                return true;
            }
        }
        m_pos = start;
        return false;
    }

    // [+-]h[h][:mm[:ss]] with h up to `maxHours`, as signed seconds.
    bool ReadTime(int maxHours, int& seconds) {
        const std::size_t start = m_pos;
        int sign = 1;
        if (Take('-')) {
            sign = -1;
        } else {
            Take('+');
        }
        int hours = 0;
        int minutes = 0;
        int secs = 0;
        if (!ReadNumber(3, hours) || hours > maxHours ||
            (Take(':') && (!ReadNumber(2, minutes) || minutes > 59 ||
                           (Take(':') && (!ReadNumber(2, secs) || secs > 59))))) {
            m_pos = start;
            return false;
        }
        seconds = sign * (hours * 3600 + minutes * 60 + secs);
        return true;
    }

    // One to `maxDigits` decimal digits.
    bool ReadNumber(int maxDigits, int& value) {
        const std::size_t start = m_pos;
        value = 0;
        while (!AtEnd() && IsDigit(m_text[m_pos]) && m_pos - start < std::size_t(maxDigits)) {
            value = value * 10 + (m_text[m_pos] - '0');
            ++m_pos;
        }
        return m_pos > start;
    }

    // A date with an optional time of day.
    bool ReadChange(CZoneRule::Change& change) {
        using Form = CZoneRule::Change::Form;
        const std::size_t start = m_pos;
        bool valid = false;
        if (Take('M')) {
            change.form = Form::MonthWeekDay;
            valid = ReadNumber(2, change.month) && change.month >= 1 && change.month <= 12 &&
                    Take('.') && ReadNumber(1, change.week) && change.week >= 1 &&
                    change.week <= 5 && Take('.') && ReadNumber(1, change.weekday) &&
                    change.weekday <= 6;
        } else if (Take('J')) {
            change.form = Form::JulianNoLeap;
            valid = ReadNumber(3, change.day) && change.day >= 1 && change.day <= 365;
        } else {
            change.form = Form::DayOfYear;
            valid = ReadNumber(3, change.day) && change.day <= 365;
        }
        change.seconds = 2 * 3600;
        if (valid && Take('/')) {
            valid = ReadTime(167, change.seconds);
        }
        if (!valid) {
            m_pos = start;
        }
        return valid;
    }

private:
    static bool IsAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsAlnum(char c) { return IsAlpha(c) || IsDigit(c); }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

// Day of the year (0 = 1 January) on which `change` falls in `year`.
int DayOfYear(const CZoneRule::Change& change, std::int64_t year) {
    using Form = CZoneRule::Change::Form;
    switch (change.form) {
        case Form::JulianNoLeap:
            return change.day - 1 + (detail::IsLeapYear(year) && change.day >= 60 ? 1 : 0);
        case Form::DayOfYear:
            return change.day;
        case Form::MonthWeekDay:
            break;
    }
    const std::int64_t yearStart = detail::DaysFromCivil(year, 1, 1);
    const std::int64_t monthStart =
        detail::DaysFromCivil(year, static_cast<unsigned>(change.month), 1);
    // 1970-01-01 was a Thursday (4).
    const auto firstWeekday = static_cast<int>(((monthStart % 7) + 7 + 4) % 7);
    int day = (change.weekday - firstWeekday + 7) % 7 + (change.week - 1) * 7;
    const auto length =
        static_cast<int>(detail::DaysInMonth(year, static_cast<unsigned>(change.month)));
    while (day >= length) {
        day -= 7;  // "week 5": the last such weekday
    }
    return static_cast<int>(monthStart - yearStart) + day;
}

}  // namespace

std::optional<CZoneRule> CZoneRule::Parse(std::string_view text) {
    CZoneRule rule;
    CReader in(text);
    int westSeconds = 0;
    if (!in.ReadName(rule.m_standardName) || !in.ReadTime(24, westSeconds)) {
        return std::nullopt;
    }
    rule.m_standardOffset = -westSeconds;
    if (in.AtEnd()) {
        return rule;
    }
    if (!in.ReadName(rule.m_daylightName)) {
        return std::nullopt;
    }
    rule.m_daylightOffset = rule.m_standardOffset + 3600;
    if (in.ReadTime(24, westSeconds)) {
        rule.m_daylightOffset = -westSeconds;
    }
    if (in.AtEnd()) {
        // No dates: the C library's default, the United States' rules since 2007.
        rule.m_start = {Change::Form::MonthWeekDay, 3, 2, 0, 0, 2 * 3600};
        rule.m_end = {Change::Form::MonthWeekDay, 11, 1, 0, 0, 2 * 3600};
        return rule;
    }
    if (!in.Take(',') || !in.ReadChange(rule.m_start) || !in.Take(',') ||
        !in.ReadChange(rule.m_end) || !in.AtEnd()) {
        return std::nullopt;
    }
    return rule;
}

std::int64_t CZoneRule::InstantOf(const Change& change, std::int64_t year, int offsetBefore) {
    const std::int64_t day = detail::DaysFromCivil(year, 1, 1) + DayOfYear(change, year);
    return day * kSecondsPerDay + change.seconds - offsetBefore;
}

bool CZoneRule::IsDaylightAt(std::int64_t utcSeconds) const {
    if (m_daylightName.empty()) {
        return false;
    }
    // The changes of the years around the instant, in order: the last one at or before it
    // says which time is in force. Three years cover a change whose local date lies in the
    // neighbouring year as seen from UTC, and a daylight time that spans the new year.
    const std::int64_t days = detail::FloorDiv(utcSeconds, kSecondsPerDay);
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    detail::CivilFromDays(days, year, month, day);
    struct Transition {
        std::int64_t instant;
        bool daylightAfter;
    };
    Transition transitions[6];
    int n = 0;
    for (std::int64_t y = year - 1; y <= year + 1; ++y) {
        transitions[n++] = {InstantOf(m_start, y, m_standardOffset), true};
        transitions[n++] = {InstantOf(m_end, y, m_daylightOffset), false};
    }
    std::stable_sort(
        std::begin(transitions), std::end(transitions),
        [](const Transition& a, const Transition& b) { return a.instant < b.instant; });
    bool daylight = false;
    for (const Transition& t : transitions) {
        if (t.instant <= utcSeconds) {
            daylight = t.daylightAfter;
        }
    }
    return daylight;
}

int CZoneRule::OffsetSecondsAt(std::int64_t utcSeconds) const {
    return IsDaylightAt(utcSeconds) ? m_daylightOffset : m_standardOffset;
}

const std::string& CZoneRule::NameAt(std::int64_t utcSeconds) const {
    return IsDaylightAt(utcSeconds) ? m_daylightName : m_standardName;
}

}  // namespace Platform
