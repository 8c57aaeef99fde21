#include "TrajectoryGenerator.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cwchar>
#include <limits>
#include <utility>
#include <vector>

#include "Directions.h"
#include "SunPosition.h"
#include "platform/Clock.h"
#include "platform/TextConvert.h"

namespace Suntrack {

namespace {

// Seconds from 1601-01-01 (the tick epoch) to 1970-01-01.
constexpr std::int64_t kEpochDifferenceSeconds = 11'644'473'600;
constexpr std::int64_t kSecondsPerDay = 86'400;
// A start in the past is moved this far into the future.
constexpr std::int64_t kPastStartLeadSeconds = 300;

// Local midnight that ends the local date of `utcSeconds`, minus one second. Found from noon
// of that date, which a daylight-saving change never moves onto another date.
std::int64_t EndOfLocalDay(std::int64_t utcSeconds) {
    SYSTEMTIME noon = Platform::SecondsToLocalTime(utcSeconds);
    noon.wHour = 12;
    noon.wMinute = 0;
    noon.wSecond = 0;
    SYSTEMTIME next =
        Platform::SecondsToLocalTime(Platform::LocalTimeToSeconds(noon) + kSecondsPerDay);
    next.wHour = 0;
    next.wMinute = 0;
    next.wSecond = 0;
    next.wMilliseconds = 0;
    return Platform::LocalTimeToSeconds(next) - 1;
}

// The spacing (seconds) the spacing search settles on for a span, without its log lines:
// the smallest 60 + 15·k with span <= 699 spacings.
std::int64_t GridSpacing(std::int64_t spanSeconds) {
    constexpr std::int64_t kIntervals = kMaxTrajectoryPoints - 1;
    const std::int64_t excess = spanSeconds - kMinSpacingSeconds * kIntervals;
    if (excess <= 0) {
        return kMinSpacingSeconds;
    }
    const std::int64_t step = kSpacingStepSeconds * kIntervals;
    return kMinSpacingSeconds + (excess + step - 1) / step * kSpacingStepSeconds;
}

void ClearTrajectory(ITrajectoryPanel& panel) {
    panel.TrajectoryTimes().RemoveAll();
    panel.TrajectoryAzimuths().RemoveAll();
    panel.TrajectoryZeniths().RemoveAll();
}

}  // namespace

std::int64_t NowUtcSeconds() {
    return static_cast<std::int64_t>(Platform::Clock().NowUtc() / Platform::kTicksPerSecond) -
           kEpochDifferenceSeconds;
}

std::wstring LocaleDateTimeText(std::int64_t utcSeconds) {
    const SYSTEMTIME local = Platform::SecondsToLocalTime(utcSeconds);
    std::tm tm{};
    tm.tm_year = local.wYear - 1900;
    tm.tm_mon = local.wMonth - 1;
    tm.tm_mday = local.wDay;
    tm.tm_hour = local.wHour;
    tm.tm_min = local.wMinute;
    tm.tm_sec = local.wSecond;
    tm.tm_wday = local.wDayOfWeek;
    tm.tm_isdst = -1;
    wchar_t text[128];
    const std::size_t n = std::wcsftime(text, sizeof text / sizeof text[0], L"%c", &tm);
    return std::wstring(text, n);
}

TrajectorySpacing ChooseSpacing(std::int64_t spanSeconds, const LogTarget& log) {
    const std::int64_t span = std::max<std::int64_t>(spanSeconds, 0);
    // Windows come clipped to one day, where the search takes a handful of steps. Only an
    // unclipped window of months would take thousands; start that one close to where the cap
    // is met (every smaller spacing would exceed it) instead of logging each step.
    std::int64_t spacing = kMinSpacingSeconds;
    constexpr std::int64_t kMaxLoggedSteps = 1000;
    const std::int64_t atCap = span / (kMaxTrajectoryPoints - 1);
    if ((atCap - spacing) / kSpacingStepSeconds > kMaxLoggedSteps) {
        spacing += ((atCap - spacing) / kSpacingStepSeconds - 1) * kSpacingStepSeconds;
    }
    long long points = 0;
    for (;;) {
        points = static_cast<long long>(
                     std::ceil(static_cast<double>(span) / static_cast<double>(spacing))) +
                 1;
        log.logger.LogParts(Logging::Debug, L"Using a time between data points of ",
                            static_cast<long long>(spacing), L" seconds,", L" we calculate that ",
                            points, L" data points are needed.");
        if (points <= kMaxTrajectoryPoints) {
            break;
        }
        spacing += kSpacingStepSeconds;
    }
    return {spacing, points};
}

CTrajectoryGenerator::CTrajectoryGenerator(LogTarget log, const CAlignmentModel& alignment)
    : m_log(std::move(log)), m_alignment(alignment) {}

bool CTrajectoryGenerator::AdjustTrajectoryWindow(SYSTEMTIME& start, ITrajectoryPanel& panel,
                                                  SYSTEMTIME& stop,
                                                  const TrajectorySettings& settings,
                                                  std::optional<UnattendedStart> unattended) const {
    Logging::CLogger& log = m_log.logger;
    std::int64_t tStart = Platform::LocalTimeToSeconds(start);
    std::int64_t tStop = Platform::LocalTimeToSeconds(stop);
    // Notices that leave the run going: a box for the operator, the log when nobody is there.
    const auto notify = [&](const std::wstring& text) {
        if (unattended) {
            log.Log(Logging::Informational, text);
        } else {
            panel.ShowMessage(text, MB_OK | MB_ICONINFORMATION);
        }
    };

    // A stored limit outside what the solar module accepts would make it refuse the date.
    const double zenithLimit =
        panel.IsLimitMaxZenithChecked()
            ? std::clamp(std::isfinite(settings.maxZenithDeg) ? settings.maxZenithDeg : 90.0, 0.0,
                         180.0)
            : kStandardZenithLimitDeg;
    log.LogParts(Logging::Debug, L"Calculating sunrise and sunset with a maximuth zenith value of ",
                 zenithLimit);

    // The sun's day at the site, not the computer's date: where the daylight crosses the
    // computer's midnight its sunset lies on the next date.
    const SunDay events = SunDayFrom(settings.site, tStart, zenithLimit);
    if (events.errorCode != 0) {
        std::wstring text = L"The sun's position cannot be computed for this site (";
        text += Platform::Utf8ToWide(SunPositionCodeText(events.errorCode));
        text += L").\nNo trajectory has been generated.";
        log.Log(Logging::Warning, text);
        panel.ShowMessage(text, MB_OK | MB_ICONERROR);
        return false;
    }
    if (!events.daylight) {
        std::wstring text = L"The sun stays below the zenith limit of ";
        text += Logging::ToLogText(zenithLimit);
        text +=
            L" degrees at this site from the start time on, so there is no daylight to track.\n"
            L"No trajectory has been generated.";
        log.Log(Logging::Warning, text);
        panel.ShowMessage(text, MB_OK | MB_ICONWARNING);
        return false;
    }

    if (events.sunrise.valid) {
        const std::int64_t tRise = events.sunrise.utcSeconds;
        log.LogParts(Logging::Debug, L"Sunrise time calculated as: ", LocaleDateTimeText(tRise));
        if (tRise > tStart) {
            log.Log(Logging::Debug,
                    L"Sunrise time is later than start time so we are using it as the start "
                    L"time.");
            tStart = tRise;
        }
    } else {
        log.Log(Logging::Debug,
                L"Sunrise time calculated as: none (the sun does not cross the zenith limit on "
                L"the start date), so the start time is kept.");
    }

    if (events.sunset.valid) {
        log.LogParts(Logging::Debug, L"Sunset time calculated as: ",
                     LocaleDateTimeText(events.sunset.utcSeconds));
    } else {
        log.Log(Logging::Debug,
                L"Sunset time calculated as: none (the sun does not cross the zenith limit on "
                L"the start date), so the stop time is kept.");
    }

    bool multiDay = false;
    if (tStop >= tStart + kSecondsPerDay) {
        multiDay = true;
        if (events.sunset.valid) {
            log.Log(Logging::Debug,
                    L"The stop time is on a later day than the current day so we will use the "
                    L"sunset today as the stop time.");
            tStop = events.sunset.utcSeconds;
        } else {
            // Without a sunset the day's trajectory runs to the end of the start date; the
            // next day's continuation carries on from there.
            tStop = EndOfLocalDay(tStart);
            log.LogParts(Logging::Debug,
                         L"The stop time is on a later day than the current day and there is no "
                         L"sunset today, so we will use the end of today as the stop time: ",
                         LocaleDateTimeText(tStop));
        }
    } else if (events.sunset.valid && events.sunset.utcSeconds < tStop) {
        log.Log(Logging::Debug,
                L"Sunset time is earlier than stop time so we are using it as the stop time.");
        tStop = events.sunset.utcSeconds;
    }
    panel.SetMultiDay(multiDay);

    if (!events.sunrise.valid || !events.sunset.valid) {
        std::wstring text = L"The sun does not cross the zenith limit of ";
        text += Logging::ToLogText(zenithLimit);
        text +=
            L" degrees on the start date, so there is no sunrise or sunset to clip the "
            L"tracking window to.\n";
        text += multiDay ? L"Today's trajectory ends at midnight and the run continues the next "
                           L"day."
                         : L"The start and stop times are used as they are.";
        notify(text);
    }

    const std::int64_t now = NowUtcSeconds();
    if (unattended) {
        // Nobody to ask: start at the first point of the day's grid that the upload and the
        // timed start can still reach.
        const std::int64_t reachable = now + unattended->leadSeconds;
        if (reachable > tStart) {
            const std::int64_t spacing = GridSpacing(std::max<std::int64_t>(tStop - tStart, 0));
            tStart += (reachable - tStart + spacing - 1) / spacing * spacing;
            log.LogParts(Logging::Informational,
                         L"The next day's tracking window has already begun, so the trajectory "
                         L"starts at the first point that can still be reached: ",
                         LocaleDateTimeText(tStart));
        }
    } else if (now > tStart) {
        if (panel.ShowMessage(kPastStartQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES) {
            return false;
        }
        tStart = now + kPastStartLeadSeconds;
        panel.SetStartTime(Platform::SecondsToLocalTime(tStart));
    }

    if (tStop >= tStart) {
        start = Platform::SecondsToLocalTime(tStart);
        stop = Platform::SecondsToLocalTime(tStop);
        return true;
    }
    panel.ShowMessage(kStopBeforeStartError, MB_OK | MB_ICONERROR);
    return false;
}

bool CTrajectoryGenerator::GenerateTrajectory(ITrajectoryPanel& panel, int& spacingOut,
                                              const SYSTEMTIME& start, const SYSTEMTIME& stop,
                                              const TrajectorySettings& settings) const {
    Logging::CLogger& log = m_log.logger;
    const std::int64_t tStart = Platform::LocalTimeToSeconds(start);
    const std::int64_t tStop = Platform::LocalTimeToSeconds(stop);
    ClearTrajectory(panel);

    const std::int64_t span = tStop - tStart;
    log.LogParts(Logging::Debug, L"The trajectory has a timespan of ", static_cast<long long>(span),
                 L" seconds.");
    if (span < 0) {
        log.Log(Logging::Debug,
                L"The stop time is before the start time, so no trajectory is generated.");
        return false;
    }

    const TrajectorySpacing spacing = ChooseSpacing(span, m_log);
    log.LogParts(Logging::Debug, L"We will be using ", spacing.points,
                 L" data points spaced apart by ", static_cast<long long>(spacing.spacingSeconds),
                 L" seconds.");
    if (spacing.spacingSeconds > std::numeric_limits<int>::max()) {
        // Only a window of tens of thousands of years gets here; the device takes an int.
        log.Log(Logging::Debug,
                L"The spacing is too large for the instrument, so no trajectory "
                L"is generated.");
        return false;
    }
    spacingOut = static_cast<int>(spacing.spacingSeconds);

    const auto count = static_cast<std::size_t>(spacing.points);
    std::vector<SYSTEMTIME> times;
    std::vector<double> azimuths;
    std::vector<double> zeniths;
    times.reserve(count);
    azimuths.reserve(count);
    zeniths.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        // Each stamp is a true instant: its local civil time follows the host's rules for
        // that instant, and the sun is computed for the same instant in UTC.
        const std::int64_t t =
            tStart + static_cast<std::int64_t>(k) * static_cast<std::int64_t>(spacingOut);
        const SunSample sun = SunAtUtcSeconds(settings.site, t);
        if (!sun.Valid()) {
            log.LogParts(Logging::Debug, L"The sun position for ", LocaleDateTimeText(t),
                         L" could not be calculated (error code ", sun.errorCode,
                         L"), so no trajectory is generated.");
            return false;
        }
        if (!sun.refracted && k == 0) {
            log.LogParts(Logging::Warning, L"The air pressure of ", settings.site.pressureMb,
                         L" mb or the temperature of ", settings.site.temperatureC,
                         L" degrees Celsius lies outside the range of the refraction formula, so "
                         L"the sun positions are not corrected for refraction.");
        }
        times.push_back(Platform::SecondsToLocalTime(t));
        azimuths.push_back(sun.azimuthDeg);
        zeniths.push_back(sun.zenithDeg);
    }

    CArray<SYSTEMTIME>& outTimes = panel.TrajectoryTimes();
    CArray<double>& outAzimuths = panel.TrajectoryAzimuths();
    CArray<double>& outZeniths = panel.TrajectoryZeniths();
    for (const SYSTEMTIME& t : times) {
        outTimes.Add(t);
    }

    if (panel.IsUseAlignmentChecked()) {
        log.Log(Logging::Debug, L"Transforming points into output coordinate system.");
        const bool dump = m_log.DebugEnabled();
        arma::mat X(count, 3);
        for (std::size_t k = 0; k < count; ++k) {
            X.row(k) = SphericalToCartesian(1.0, azimuths[k], zeniths[k]);
        }
        if (dump) {
            arma::mat P(count, 2);
            for (std::size_t k = 0; k < count; ++k) {
                P(k, 0) = azimuths[k];
                P(k, 1) = zeniths[k];
            }
            DumpMatrix(m_log, L"Calculated points in (az,ze):", P);
            DumpMatrix(m_log, L"Calculated points in (x,y,z):", X);
        }
        // Rows are points: each point is the row vector x * M.
        const arma::mat Y = X * arma::mat(m_alignment.Matrix());
        DumpMatrix(m_log, L"Transformed points in (x,y,z):", Y);
        arma::mat result(dump ? count : 0, 2);
        for (std::size_t k = 0; k < count; ++k) {
            const AzZe mapped = CartesianToSpherical(arma::rowvec3(Y.row(k)));
            outAzimuths.Add(mapped.azimuthDeg);
            outZeniths.Add(mapped.zenithDeg);
            if (dump) {
                result(k, 0) = mapped.azimuthDeg;
                result(k, 1) = mapped.zenithDeg;
            }
        }
        DumpMatrix(m_log, L"Transformed points in (az,ze):", result);
    } else {
        log.Log(Logging::Debug, L"No coordinate system transformations are being done.");
        for (std::size_t k = 0; k < count; ++k) {
            outAzimuths.Add(azimuths[k]);
            outZeniths.Add(zeniths[k]);
        }
    }
    return true;
}

}  // namespace Suntrack
