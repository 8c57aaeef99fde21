#include "TrackingMonitor.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "HeliostatWorkflow.h"
#include "platform/Clock.h"

namespace Suntrack {

std::wstring AgeWords(double seconds) {
    const long long s = static_cast<long long>(std::floor(std::max(seconds, 0.0)));
    if (s < 60)
        return std::to_wstring(s) + L" s old";
    if (s < 3600)
        return std::to_wstring(s / 60) + L" min old";
    return std::to_wstring(s / 3600) + L" h " + std::to_wstring(s / 60 % 60) + L" min old";
}

CTrackingMonitor::CTrackingMonitor(Logging::CLogger& log, std::filesystem::path recordFolder,
                                   std::function<double()> siteLongitudeEastDeg)
    : m_log(log),
      m_recordFolder(std::move(recordFolder)),
      m_siteLongitude(std::move(siteLongitudeEastDeg)),
      m_record(log) {}

void CTrackingMonitor::OnUploadStarted(CTrajectoryTrack track, bool unattended, bool continuation) {
    m_record.End();
    m_track = std::move(track);
    m_uploading = true;
    m_uploaded = false;
    m_uploadPercent = 0;
    m_nextDay = unattended && continuation;
    if (!unattended)
        m_unattendedDay = 0;
    else if (continuation && m_unattendedDay > 0)
        ++m_unattendedDay;
    else
        m_unattendedDay = 1;
    m_day.clear();
    ++m_plotVersion;
}

void CTrackingMonitor::OnUploadProgress(int percent, bool uploading) {
    m_uploadPercent = percent;
    m_uploading = uploading;
}

bool CTrackingMonitor::OnStatus(unsigned status, double nowUtc) {
    const unsigned before = m_status;
    m_status = status;
    const auto rose = [&](unsigned bit) { return (status & bit) && !(before & bit); };
    const auto fell = [&](unsigned bit) { return !(status & bit) && (before & bit); };
    if (fell(HeliostatStatus::kUploading))
        m_uploading = false;
    bool warned = false;
    if (rose(HeliostatStatus::kWaiting)) {
        CheckClock(nowUtc);
        warned = m_clockProblem.has_value();
    }
    if (rose(HeliostatStatus::kTrajectory) && !m_track.Empty()) {
        m_nextDay = false;
        const SYSTEMTIME firstLocal =
            Platform::SecondsToLocalTime(static_cast<std::int64_t>(std::floor(m_track.FirstUtc())));
        m_record.Begin(TrackingRecordFile(m_recordFolder, firstLocal), m_track);
    }
    if (fell(HeliostatStatus::kTrajectory))
        m_record.End();
    return warned;
}

void CTrackingMonitor::CheckClock(double nowUtc) {
    m_clockProblem.reset();
    std::wstring problems;
    if (auto warning = ClockWarning(Platform::ReadClockSync()))
        problems = *warning;
    const int offset = Platform::UtcOffsetMinutesAt(static_cast<std::int64_t>(nowUtc));
    if (auto warning = ZoneWarning(m_siteLongitude ? m_siteLongitude() : 0.0, offset))
        problems += (problems.empty() ? L"" : L"; ") + *warning;
    if (problems.empty())
        return;
    m_clockProblem = problems;
    m_log.Log(Logging::Warning, L"Timed start: " + problems);
}

void CTrackingMonitor::OnPosition(double nowUtc, double azimuthDeg, double zenithDeg) {
    PositionSample sample{nowUtc, {azimuthDeg, zenithDeg}, std::nullopt};
    if (m_status & HeliostatStatus::kTrajectory)
        sample.trackingErrorDeg = m_record.AddPosition(nowUtc, azimuthDeg, zenithDeg);
    m_last = sample;
    // The plots keep a thinned copy: an hour of polls at 4 Hz would be 14 400 points to draw
    // for a line that looks the same.
    if (m_trail.empty() || nowUtc - m_trail.back().utcSeconds >= kTrailSpacingSeconds) {
        m_trail.push_back(sample);
        ++m_plotVersion;
    }
    while (!m_trail.empty() && m_trail.front().utcSeconds < nowUtc - kTrailSeconds)
        m_trail.pop_front();
    if (m_day.empty() || nowUtc - m_day.back().utcSeconds >= kDayPlotSpacingSeconds) {
        m_day.push_back(sample);
        ++m_plotVersion;
    }
}

void CTrackingMonitor::OnTrajectoryFinished() {
    m_record.End();
}

bool CTrackingMonitor::PositionStale(double nowUtc) const {
    if (!m_connected || !m_last)
        return true;
    if (m_status & (HeliostatStatus::kWaiting | HeliostatStatus::kUploading))
        return true;
    return nowUtc - m_last->utcSeconds > kPositionFreshSeconds;
}

ScheduleFacts CTrackingMonitor::Facts(double nowUtc) const {
    ScheduleFacts f;
    f.nowUtc = nowUtc;
    f.uploading = m_uploading;
    f.uploadPercent = m_uploadPercent;
    f.uploaded = m_uploaded;
    f.waiting = (m_status & HeliostatStatus::kWaiting) != 0;
    f.running = (m_status & HeliostatStatus::kTrajectory) != 0;
    if (!m_track.Empty()) {
        f.firstUtc = m_track.FirstUtc();
        f.lastUtc = m_track.LastUtc();
        f.points = static_cast<int>(m_track.Size());
        f.spacingSeconds = m_track.SpacingSeconds();
    }
    f.unattendedDay = m_unattendedDay;
    f.nextDay = m_nextDay;
    return f;
}

}  // namespace Suntrack
