#include "ScheduleText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cwchar>

#include "platform/Clock.h"

namespace Suntrack {

namespace {

constexpr const wchar_t* kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                      L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
constexpr const wchar_t* kSeparator = L" \u00b7 ";

std::int64_t WholeSeconds(double utc) {
    return static_cast<std::int64_t>(std::floor(utc));
}

SYSTEMTIME LocalOf(double utc) {
    return Platform::SecondsToLocalTime(WholeSeconds(utc));
}

bool SameLocalDate(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

std::wstring HourMinute(const SYSTEMTIME& local) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%02u:%02u", static_cast<unsigned>(local.wHour),
                  static_cast<unsigned>(local.wMinute));
    return text;
}

std::wstring DayMonth(const SYSTEMTIME& local) {
    const unsigned month = local.wMonth >= 1 && local.wMonth <= 12 ? local.wMonth - 1u : 0u;
    return std::to_wstring(local.wDay) + L" " + kMonths[month];
}

std::wstring OffsetText(int minutes) {
    const int magnitude = std::abs(minutes);
    wchar_t text[24];
    std::swprintf(text, 24, L"UTC%lc%02d:%02d", minutes < 0 ? L'-' : L'+', magnitude / 60,
                  magnitude % 60);
    return text;
}

// "08:42–15:51 CET"; the end carries its date when it falls on another local day, and each
// end its own zone name when daylight saving changes in between.
std::wstring WindowText(const ScheduleFacts& f) {
    const SYSTEMTIME first = LocalOf(f.firstUtc);
    const SYSTEMTIME last = LocalOf(f.lastUtc);
    const std::wstring firstZone = Platform::ZoneNameAt(WholeSeconds(f.firstUtc));
    const std::wstring lastZone = Platform::ZoneNameAt(WholeSeconds(f.lastUtc));
    std::wstring text = HourMinute(first);
    if (firstZone != lastZone)
        text += L" " + firstZone;
    text += L"\u2013";
    if (!SameLocalDate(first, last))
        text += DayMonth(last) + L" ";
    return text + HourMinute(last) + L" " + lastZone;
}

std::wstring PointsText(const ScheduleFacts& f) {
    std::wstring text = L"(" + std::to_wstring(f.points) + (f.points == 1 ? L" point" : L" points");
    if (f.points > 1)
        text += L", " + std::to_wstring(f.spacingSeconds) + L" s apart";
    return text + L")";
}

std::wstring MainSentence(const ScheduleFacts& f) {
    if (f.uploading)
        return L"Uploading trajectory: " + std::to_wstring(f.uploadPercent) + L" %";
    if (f.points == 0 || !f.uploaded)
        return L"No trajectory uploaded";
    if (f.running) {
        const double span = f.lastUtc - f.firstUtc;
        const double done = span > 0 ? (f.nowUtc - f.firstUtc) / span : 1.0;
        const int percent = static_cast<int>(std::floor(std::clamp(done, 0.0, 1.0) * 100.0));
        return L"Running: " + std::to_wstring(percent) + L" % of today's trajectory, ends in " +
               DurationWords(f.lastUtc - f.nowUtc);
    }
    if (f.nowUtc > f.lastUtc)
        return L"Trajectory " + WindowText(f) + L" " + PointsText(f) + L", ended";
    if (f.nextDay) {
        const SYSTEMTIME first = LocalOf(f.firstUtc);
        return L"Next day's trajectory uploaded for " + DayMonth(first) + L", starts " +
               HourMinute(first);
    }
    std::wstring text = L"Tracking " + WindowText(f) + L" " + PointsText(f);
    if (f.waiting)
        return text + L", starts in " + DurationWords(f.firstUtc - f.nowUtc);
    return text + L", not started";
}

}  // namespace

std::wstring DecimalText(double value, int decimals) {
    char text[64];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::wstring(text, end.ptr);
}

std::wstring DurationWords(double seconds) {
    const long long minutes = static_cast<long long>(std::floor(std::max(seconds, 0.0) / 60.0));
    if (minutes < 1)
        return L"less than a minute";
    if (minutes < 60)
        return std::to_wstring(minutes) + L" min";
    return std::to_wstring(minutes / 60) + L" h " + std::to_wstring(minutes % 60) + L" min";
}

std::wstring ScheduleSentence(const ScheduleFacts& facts) {
    std::wstring text = MainSentence(facts);
    if (facts.unattendedDay > 0)
        text += kSeparator + (L"Unattended run: day " + std::to_wstring(facts.unattendedDay));
    return text;
}

std::optional<std::wstring> ClockWarning(const Platform::ClockSyncState& state) {
    using Kind = Platform::ClockSyncState::Kind;
    if (state.kind == Kind::Unsynchronised)
        return std::wstring(L"the computer's clock is not synchronised");
    if (state.kind == Kind::Synchronised && state.estimatedErrorSeconds > kClockErrorLimitSeconds) {
        return L"the computer's clock may be off by " +
               DecimalText(state.estimatedErrorSeconds, 1) + L" s";
    }
    return std::nullopt;
}

std::optional<std::wstring> ZoneWarning(double siteLongitudeEastDeg, int utcOffsetMinutes) {
    const double solarHours = siteLongitudeEastDeg / 15.0;
    // Hours apart on the 24-hour circle (a site near the date line may sit on either side).
    double difference = std::fmod(std::fabs(solarHours - utcOffsetMinutes / 60.0), 24.0);
    if (difference > 12.0)
        difference = 24.0 - difference;
    if (difference <= kZoneSolarLimitHours)
        return std::nullopt;
    return L"the site's longitude " + DecimalText(siteLongitudeEastDeg, 4) + L"\u00b0 is " +
           DecimalText(difference, 1) + L" h of solar time from the computer's zone (" +
           OffsetText(utcOffsetMinutes) + L"): check the longitude's sign and the zone";
}

std::wstring ClockSentence(const Platform::ClockSyncState& state, double nowUtc,
                           double siteLongitudeEastDeg) {
    const std::int64_t now = WholeSeconds(nowUtc);
    const int offset = Platform::UtcOffsetMinutesAt(now);
    std::wstring text =
        L"Computer clock: " + Platform::ZoneNameAt(now) + L" (" + OffsetText(offset) + L")";
    if (auto warning = ClockWarning(state))
        text += L"; " + *warning;
    if (auto warning = ZoneWarning(siteLongitudeEastDeg, offset))
        text += L"; " + *warning;
    return text;
}

std::wstring ScheduleLine(const ScheduleFacts& facts, const Platform::ClockSyncState& state,
                          double siteLongitudeEastDeg) {
    return ScheduleSentence(facts) + kSeparator +
           ClockSentence(state, facts.nowUtc, siteLongitudeEastDeg);
}

}  // namespace Suntrack
