#include "HeliostatWorkflow.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cwctype>
#include <limits>
#include <utility>

#include "SunPosition.h"
#include "platform/Clock.h"

namespace Suntrack {

namespace {
constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr std::int64_t kNowLeadSeconds = 600;
// The timed start sends its initialisation this long before the first point.
constexpr std::int64_t kTimedStartLeadSeconds = 10;
// Allowance per pair before an upload has been measured: a pair that takes longer than the
// reply time-out (1 s) fails the upload, so a successful one is never slower.
constexpr double kUnmeasuredSecondsPerPair = 1.0;
// A measured upload may run slower next time (a busy machine or line): twice as long, and a
// few seconds for the window step and the start of the upload thread.
constexpr double kUploadSlack = 2.0;
constexpr std::int64_t kUploadMarginSeconds = 5;
// The stop year that marks a run until manually stopped.
constexpr WORD kOpenEndedYear = 3000;
}  // namespace

HeliostatEnabling ComputeHeliostatEnabling(bool connected, unsigned status, bool uploaded,
                                           bool runUntilStopped, bool limitMaxZenith) {
    const bool busy = (status & HeliostatStatus::kBusy) != 0;
    const bool idle = (status & HeliostatStatus::kIdle) != 0;
    HeliostatEnabling e{};
    e.locationEdits = !busy;
    e.generate = connected && idle;
    e.run = connected && uploaded && idle;
    e.stop = connected && busy;
    e.startControls = !busy;
    e.stopControls = !busy && !runUntilStopped;
    e.runOptions = !busy;
    e.maxZenithEdit = limitMaxZenith && !busy;
    e.windowOptions = !busy;
    return e;
}

namespace {

// The lowest temperature the panel keeps: the solar computation refuses -273 °C itself (its
// refraction term divides by 273 + T), and one decimal is what the field shows.
constexpr double kLowestTemperatureC = -272.9;

// `value` as the field's text shows it, and as storing the settings reads it back.
double AsShown(double value, int decimals) {
    return ParseLeadingNumber(FormatFixed(value, decimals)).value_or(value);
}

}  // namespace

double BringIntoRange(SiteField field, double value) {
    value = AsShown(value, DecimalsOf(field));
    switch (field) {
        case SiteField::Longitude:
            // fmod first: subtracting 360 from 1e308 changes nothing, and the loop would not end.
            value = std::fmod(value, 360.0);
            if (value > 180.0)
                value -= 360.0;
            if (value < -180.0)
                value += 360.0;
            return value;
        case SiteField::Latitude:
            return std::clamp(value, -90.0, 90.0);
        case SiteField::Elevation:
            return std::clamp(value, -6378140.0, std::numeric_limits<double>::max());
        case SiteField::Pressure:
            return std::clamp(value, 0.0, 5000.0);
        case SiteField::Temperature:
            return std::clamp(value, kLowestTemperatureC, 6000.0);
        case SiteField::MaxZenith:
            return std::clamp(value, 0.0, 180.0);
    }
    return value;
}

int DecimalsOf(SiteField field) {
    switch (field) {
        case SiteField::Longitude:
        case SiteField::Latitude:
            return 4;
        case SiteField::MaxZenith:
            return 3;
        default:
            return 1;
    }
}

std::optional<double> ParseLeadingNumber(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i])))
        ++i;
    // The number's characters are ASCII; anything else ends it.
    std::string ascii;
    for (; i < text.size() && text[i] > 0 && text[i] < 0x80; ++i)
        ascii += static_cast<char>(text[i]);
    const char* first = ascii.data();
    const char* last = ascii.data() + ascii.size();
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    // from_chars takes no sign of its own here, so "+-5" and "--5" are not numbers.
    if (first == last || *first == '-' || *first == '+')
        return std::nullopt;
    double value = 0.0;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

double ReadLeadingNumber(const std::wstring& text) {
    return ParseLeadingNumber(text).value_or(0.0);
}

std::wstring FormatFixed(double value, int decimals) {
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0.0;   // "0.000", not "-0.000"
    char buffer[400];  // "%.<decimals>f" of the largest double is 309 digits and the fraction
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc())
        return L"0";
    return std::wstring(buffer, result.ptr);
}

std::wstring SunRefusedNotice(int code, const wchar_t* consequence) {
    const std::string input = SunPositionCodeText(code);
    return L"The sun's position cannot be computed with the site setup: " +
           std::wstring(input.begin(), input.end()) + L".\n" + consequence;
}

int RefusedSiteInput(const SiteParameters& site) {
    // Any instant the computation takes (2000-01-01 12:00 UTC): only the site is in question.
    constexpr std::int64_t kAnyValidUtcSeconds = 946'728'000;
    return SunAtUtcSeconds(site, kAnyValidUtcSeconds).errorCode;
}

namespace {

// Tells the operator which site input the sun computation refuses, if any; true when it did.
bool ReportRefusedSite(IHeliostatPanel& panel, const SiteParameters& site,
                       const wchar_t* consequence) {
    const int refused = RefusedSiteInput(site);
    if (refused != 0)
        panel.ShowMessage(SunRefusedNotice(refused, consequence), MB_OK | MB_ICONERROR);
    return refused != 0;
}

}  // namespace

SYSTEMTIME StartOfNextLocalDay(const SYSTEMTIME& day) {
    // From noon, which a daylight-saving change never moves onto another date.
    SYSTEMTIME noon = day;
    noon.wHour = 12;
    noon.wMinute = 0;
    noon.wSecond = 0;
    noon.wMilliseconds = 0;
    SYSTEMTIME next =
        Platform::SecondsToLocalTime(Platform::LocalTimeToSeconds(noon) + kSecondsPerDay);
    next.wHour = 0;
    next.wMinute = 0;
    next.wSecond = 0;
    next.wMilliseconds = 0;
    return next;
}

CHeliostatWorkflow::CHeliostatWorkflow(IHeliostatPanel& panel, IHeliostatDevice& device,
                                       const CTrajectoryGenerator& generator,
                                       std::function<TrajectorySettings()> settings)
    : m_panel(panel), m_device(device), m_generator(generator), m_settings(std::move(settings)) {}

SYSTEMTIME CHeliostatWorkflow::OpenEndedOr(const SYSTEMTIME& start) const {
    if (!m_panel.IsRunUntilStoppedChecked())
        return m_panel.StopTime();
    SYSTEMTIME stop = start;
    stop.wYear = kOpenEndedYear;
    return stop;
}

bool CHeliostatWorkflow::GenerateAndUpload() {
    const SYSTEMTIME start = m_panel.StartTime();
    return UploadWindow(start, OpenEndedOr(start));
}

bool CHeliostatWorkflow::UploadWindow(SYSTEMTIME start, SYSTEMTIME stop,
                                      std::optional<UnattendedStart> unattended) {
    const TrajectorySettings settings = m_settings();
    // The generator brings a stored zenith limit into range itself; the site it cannot.
    if (ReportRefusedSite(m_panel, settings.site, kNothingUploaded))
        return false;
    if (!m_generator.AdjustTrajectoryWindow(start, m_panel, stop, settings, unattended))
        return false;
    int spacing = 0;
    if (!m_generator.GenerateTrajectory(m_panel, spacing, start, stop, settings))
        return false;
    if (!m_device.SetTrajectory(spacing, m_panel.TrajectoryTimes(), m_panel.TrajectoryAzimuths(),
                                m_panel.TrajectoryZeniths())) {
        m_panel.ShowMessage(kUploadRefusedError, MB_OK);
        return false;
    }
    const CArray<SYSTEMTIME>& times = m_panel.TrajectoryTimes();
    if (!times.IsEmpty()) {
        m_lastTrajectoryDay = times[0];
        m_lastTrajectoryEnd = times[times.GetSize() - 1];
    }
    m_uploadStartTicks = Platform::Clock().NowUtc();
    m_uploadPairs = static_cast<std::size_t>(m_panel.TrajectoryAzimuths().GetSize());
    m_trajectoryFinished = false;
    return true;
}

std::int64_t CHeliostatWorkflow::NextDayLeadSeconds() const {
    const double perPair =
        m_secondsPerPair >= 0.0 ? m_secondsPerPair * kUploadSlack : kUnmeasuredSecondsPerPair;
    // The next day's point count is not known before its window; at most the cap.
    const auto upload =
        static_cast<std::int64_t>(std::ceil(perPair * static_cast<double>(kMaxTrajectoryPoints)));
    return upload + kUploadMarginSeconds + kTimedStartLeadSeconds;
}

void CHeliostatWorkflow::Run() {
    m_device.StartTrajectory();
}

void CHeliostatWorkflow::Stop() {
    // The operator ends the unattended run as well: a later homing must not re-arm it.
    m_multiDay = false;
    m_trajectoryFinished = false;
    const unsigned status = m_device.Status();
    if (status & HeliostatStatus::kUploading)
        m_device.CancelTrajectoryUpload();
    else if (status & HeliostatStatus::kWaiting)
        m_device.CancelTrajectory();
    else if (status & HeliostatStatus::kTrajectory)
        m_device.StopAll();
}

void CHeliostatWorkflow::OnUploadComplete() {
    if (m_uploadPairs > 0) {
        const double seconds =
            static_cast<double>(Platform::Clock().NowUtc() - m_uploadStartTicks) /
            static_cast<double>(Platform::kTicksPerSecond);
        m_secondsPerPair = std::max(seconds, 0.0) / static_cast<double>(m_uploadPairs);
        m_uploadPairs = 0;
    }
    if (m_panel.IsAutoRunChecked())
        m_device.StartTrajectory();
}

void CHeliostatWorkflow::OnTrajectoryFinished() {
    m_trajectoryFinished = true;
}

bool CHeliostatWorkflow::UploadNextDayTrajectory() {
    const bool continues = m_multiDay && m_trajectoryFinished;
    m_trajectoryFinished = false;
    if (!continues)
        return false;
    // From just after the last point that ran, the window step finds the next sun's day: the
    // next date's at a site in the computer's zone, the one after the computer's midnight
    // where the daylight crosses it, and the rest of the next date at a polar-day site.
    const SYSTEMTIME start =
        m_lastTrajectoryEnd
            ? Platform::SecondsToLocalTime(Platform::LocalTimeToSeconds(*m_lastTrajectoryEnd) + 1)
            : StartOfNextLocalDay(m_panel.StartTime());
    return UploadWindow(start, OpenEndedOr(start), UnattendedStart{NextDayLeadSeconds()});
}

bool CHeliostatWorkflow::ResumeUnattendedRun(std::int64_t leadSeconds) {
    return PlanUnattendedFrom(Platform::SecondsToLocalTime(NowUtcSeconds() + leadSeconds),
                              leadSeconds);
}

bool CHeliostatWorkflow::PlanUnattendedFrom(SYSTEMTIME start, std::int64_t leadSeconds) {
    start.wMilliseconds = 0;
    m_panel.SetStartTime(start);
    SYSTEMTIME stop = start;
    stop.wYear = kOpenEndedYear;
    return UploadWindow(start, stop, UnattendedStart{leadSeconds});
}

bool CHeliostatWorkflow::SetStartToSunrise() {
    const SYSTEMTIME date = m_panel.StartDate();
    const SiteParameters site = m_settings().site;
    if (ReportRefusedSite(m_panel, site, kStartUnchanged))
        return false;
    const LocalRiseSet events =
        SunRiseSetForLocalDate(site, date.wYear, date.wMonth, date.wDay, kStandardZenithLimitDeg);
    if (!events.sunrise.valid) {
        m_panel.ShowMessage(kNoSunriseNotice, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    m_panel.SetStartTime(events.sunrise.local);
    return true;
}

bool CHeliostatWorkflow::SetStopToSunset() {
    const SYSTEMTIME date = m_panel.StopDate();
    const SiteParameters site = m_settings().site;
    if (ReportRefusedSite(m_panel, site, kStopUnchanged))
        return false;
    // The sunset that follows the date's sunrise, also where it falls on the next date.
    const LocalRiseSet events =
        SunDayOfLocalDate(site, date.wYear, date.wMonth, date.wDay, kStandardZenithLimitDeg);
    if (!events.sunset.valid) {
        m_panel.ShowMessage(kNoSunsetNotice, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    m_panel.SetStopTime(events.sunset.local);
    return true;
}

SYSTEMTIME CHeliostatWorkflow::NowPlusTenMinutes() const {
    SYSTEMTIME t = Platform::SecondsToLocalTime(NowUtcSeconds() + kNowLeadSeconds);
    t.wMilliseconds = 0;
    return t;
}

}  // namespace Suntrack
