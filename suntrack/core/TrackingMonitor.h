// What the tracking view shows, decided without widgets: the trajectory in the instrument,
// the reported positions with their tracking errors, the mirror's trail, the schedule facts,
// the clock check before every timed start, and the daily tracking record. The view feeds it
// the device's notifications it already receives (no polling of its own) and draws what it
// answers. GUI thread only (or one tool thread).
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ScheduleText.h"
#include "TrackingError.h"
#include "TrackingRecord.h"
#include "logging/Logger.h"

namespace Suntrack {

struct PositionSample {
    double utcSeconds;                       // seconds since 1970 UTC
    AzZe reported;                           // instrument frame, degrees
    std::optional<double> trackingErrorDeg;  // set while the trajectory runs
};

// How long the mirror's trail reaches back, seconds.
inline constexpr double kTrailSeconds = 3600.0;
// A position older than this is no longer current: the status panel polls every 250 ms.
inline constexpr double kPositionFreshSeconds = 1.0;

// "12 s old", "3 min old", "2 h 5 min old".
std::wstring AgeWords(double seconds);

class CTrackingMonitor {
public:
    // `recordFolder`: where the daily CSV files go (the log folder); `siteLongitudeEastDeg`
    // is asked at every clock check.
    CTrackingMonitor(Logging::CLogger& log, std::filesystem::path recordFolder,
                     std::function<double()> siteLongitudeEastDeg);

    // An upload of `track` has begun. `unattended`: the run goes on day after day;
    // `continuation`: the upload is the next day of such a run.
    void OnUploadStarted(CTrajectoryTrack track, bool unattended, bool continuation);
    void OnUploadProgress(int percent, bool uploading);
    // The whole trajectory is in the instrument.
    void OnUploadComplete() { m_uploaded = true; }
    // The device's status set (HeliostatStatus bits). Arming the timed start runs the clock
    // check: true when it found the clock or zone not to be trusted (it has logged a
    // Warning; the program raises its caption bar).
    bool OnStatus(unsigned status, double nowUtc);
    void OnConnection(bool connected) { m_connected = connected; }
    // A reported position (instrument frame, degrees) at `nowUtc`.
    void OnPosition(double nowUtc, double azimuthDeg, double zenithDeg);
    // The instrument reported the end of the trajectory.
    void OnTrajectoryFinished();

    ScheduleFacts Facts(double nowUtc) const;
    const CTrajectoryTrack& Track() const { return m_track; }
    // Positions since the trajectory's upload, thinned to one per kDayPlotSpacingSeconds.
    const std::vector<PositionSample>& DayPositions() const { return m_day; }
    // The last hour of reported positions, oldest first, one per kTrailSpacingSeconds.
    const std::deque<PositionSample>& Trail() const { return m_trail; }
    std::optional<PositionSample> LastPosition() const { return m_last; }
    // Changes whenever DayPositions() or Trail() do (a drawing need not copy them otherwise).
    std::uint64_t PlotVersion() const { return m_plotVersion; }
    // True when the last position is not being refreshed: disconnected, uploading, waiting
    // for the start, or older than kPositionFreshSeconds.
    bool PositionStale(double nowUtc) const;
    unsigned Status() const { return m_status; }
    // The clock check's warning at the last timed start, if any.
    const std::optional<std::wstring>& ClockProblem() const { return m_clockProblem; }

    // Seconds between the positions kept for the plots: the day's time plot is a few
    // hundred pixels wide (a day at 30 s is at most 2880 points), the trail an hour at 5 s.
    static constexpr double kDayPlotSpacingSeconds = 30.0;
    static constexpr double kTrailSpacingSeconds = 5.0;

private:
    void CheckClock(double nowUtc);

    Logging::CLogger& m_log;
    std::filesystem::path m_recordFolder;
    std::function<double()> m_siteLongitude;
    CTrackingRecord m_record;
    CTrajectoryTrack m_track;
    unsigned m_status = 0;
    bool m_connected = true;
    bool m_uploading = false;
    int m_uploadPercent = 0;
    bool m_uploaded = false;
    bool m_nextDay = false;
    int m_unattendedDay = 0;
    std::vector<PositionSample> m_day;
    std::deque<PositionSample> m_trail;
    std::optional<PositionSample> m_last;
    std::uint64_t m_plotVersion = 0;
    std::optional<std::wstring> m_clockProblem;
};

}  // namespace Suntrack
