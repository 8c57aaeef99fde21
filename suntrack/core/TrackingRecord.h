// The daily tracking record: one CSV file per tracking day beside the log files, one line per
// position poll while a trajectory runs, and a one-line summary of the day in the log when
// the trajectory ends. The program and `quorvelctl run-trajectory --record` write it alike.
//
// Lines: "utc,commanded_azimuth_deg,commanded_zenith_deg,reported_azimuth_deg,
// reported_zenith_deg,tracking_error_deg" with the time as ISO 8601 UTC and "." decimals
// whatever the locale; angles in the instrument's frame. A file that cannot be written is
// reported once as a Warning and the run goes on without it. Not thread-safe: one thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "TrackingError.h"
#include "logging/Logger.h"

namespace Suntrack {

struct TrackingDaySummary {
    int trajectoryPoints = 0;
    int positions = 0;    // lines written (position polls within the trajectory)
    double firstUtc = 0;  // first and last poll, seconds since 1970 UTC
    double lastUtc = 0;
    double meanErrorDeg = 0;  // mean and largest tracking error, degrees
    double maxErrorDeg = 0;
};

// "Tracking record 2026-12-08: 411 trajectory points, 1715 positions over 7 h 9 min,
// tracking error mean 0.012°, max 0.087°".
std::wstring DaySummaryLine(const std::wstring& day, const TrackingDaySummary& summary);

// "<folder>/2026-12-08_TrackingRecord.csv" for the local date of `local`.
std::filesystem::path TrackingRecordFile(const std::filesystem::path& folder,
                                         const SYSTEMTIME& local);

class CTrackingRecord {
public:
    explicit CTrackingRecord(Logging::CLogger& log);
    CTrackingRecord(const CTrackingRecord&) = delete;
    CTrackingRecord& operator=(const CTrackingRecord&) = delete;

    // Starts recording `track` into `file` (appended; the header line only into a new file).
    void Begin(const std::filesystem::path& file, const CTrajectoryTrack& track);
    bool Active() const { return m_active; }
    // "2026-12-08": the local date of the trajectory's first point.
    const std::wstring& Day() const { return m_day; }
    // One position poll (instrument frame, degrees) at `utcSeconds`: the tracking error, and
    // a line when the instant lies within the trajectory. Empty outside it or when inactive.
    std::optional<double> AddPosition(double utcSeconds, double azimuthDeg, double zenithDeg);
    // The trajectory has ended: the summary line at Informational, the file closed.
    TrackingDaySummary End();

private:
    Logging::CLogger& m_log;
    CTrajectoryTrack m_track;
    std::filesystem::path m_path;
    std::ofstream m_file;
    bool m_active = false;
    bool m_writeFailed = false;
    std::wstring m_day;  // "2026-12-08", local date of the first point
    TrackingDaySummary m_summary;
    double m_errorSum = 0;
};

}  // namespace Suntrack
