#include "TrackingRecord.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "ScheduleText.h"
#include "platform/Clock.h"
#include "platform/TextConvert.h"

namespace Suntrack {

namespace {

constexpr const char* kHeader =
    "utc,commanded_azimuth_deg,commanded_zenith_deg,reported_azimuth_deg,reported_zenith_deg,"
    "tracking_error_deg\r\n";

void AppendFixed(std::string& line, double value, int decimals) {
    char text[64];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    line.append(text, end.ptr);
}

// "2026-12-08T08:42:00.250Z"
std::string IsoUtc(double utcSeconds) {
    const double whole = std::floor(utcSeconds);
    int millis = static_cast<int>(std::lround((utcSeconds - whole) * 1000.0));
    std::int64_t seconds = static_cast<std::int64_t>(whole);
    if (millis == 1000) {
        millis = 0;
        ++seconds;
    }
    const SYSTEMTIME t = Platform::TicksToSystemTime(
        static_cast<Platform::Ticks>(seconds + 11'644'473'600LL) * Platform::kTicksPerSecond);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03dZ",
                  static_cast<unsigned>(t.wYear), static_cast<unsigned>(t.wMonth),
                  static_cast<unsigned>(t.wDay), static_cast<unsigned>(t.wHour),
                  static_cast<unsigned>(t.wMinute), static_cast<unsigned>(t.wSecond), millis);
    return text;
}

std::wstring LocalDate(const SYSTEMTIME& local) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%04u-%02u-%02u", static_cast<unsigned>(local.wYear),
                  static_cast<unsigned>(local.wMonth), static_cast<unsigned>(local.wDay));
    return text;
}

}  // namespace

std::wstring DaySummaryLine(const std::wstring& day, const TrackingDaySummary& s) {
    return L"Tracking record " + day + L": " + std::to_wstring(s.trajectoryPoints) +
           L" trajectory points, " + std::to_wstring(s.positions) + L" positions over " +
           DurationWords(s.lastUtc - s.firstUtc) + L", tracking error mean " +
           DecimalText(s.meanErrorDeg, 3) + L"\u00b0, max " + DecimalText(s.maxErrorDeg, 3) +
           L"\u00b0";
}

std::filesystem::path TrackingRecordFile(const std::filesystem::path& folder,
                                         const SYSTEMTIME& local) {
    return folder / (LocalDate(local) + L"_TrackingRecord.csv");
}

CTrackingRecord::CTrackingRecord(Logging::CLogger& log) : m_log(log) {}

void CTrackingRecord::Begin(const std::filesystem::path& file, const CTrajectoryTrack& track) {
    if (m_active)
        End();
    m_track = track;
    m_path = file;
    m_active = true;
    m_writeFailed = false;
    m_summary = TrackingDaySummary{};
    m_summary.trajectoryPoints = static_cast<int>(track.Size());
    m_errorSum = 0;
    m_day = track.Empty() ? std::wstring()
                          : LocalDate(Platform::SecondsToLocalTime(
                                static_cast<std::int64_t>(std::floor(track.FirstUtc()))));
    std::error_code ignored;
    const bool fresh =
        !std::filesystem::exists(file, ignored) || std::filesystem::file_size(file, ignored) == 0;
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), ignored);
    m_file.open(file, std::ios::out | std::ios::app | std::ios::binary);
    if (!m_file) {
        m_writeFailed = true;
        m_log.LogParts(Logging::Warning, L"Tracking record: cannot open ",
                       Platform::Utf8ToWide(file.string()), L"; the run goes on without it");
        return;
    }
    if (fresh)
        m_file << kHeader;
}

std::optional<double> CTrackingRecord::AddPosition(double utcSeconds, double azimuthDeg,
                                                   double zenithDeg) {
    if (!m_active)
        return std::nullopt;
    const std::optional<AzZe> commanded = m_track.CommandedAt(utcSeconds);
    if (!commanded)
        return std::nullopt;
    const double error = AngleBetweenDeg(*commanded, {azimuthDeg, zenithDeg});
    if (m_summary.positions == 0)
        m_summary.firstUtc = utcSeconds;
    m_summary.lastUtc = utcSeconds;
    ++m_summary.positions;
    m_errorSum += error;
    m_summary.maxErrorDeg = std::max(m_summary.maxErrorDeg, error);
    if (!m_writeFailed) {
        std::string line = IsoUtc(utcSeconds);
        for (double v : {commanded->azimuthDeg, commanded->zenithDeg, azimuthDeg, zenithDeg}) {
            line += ',';
            AppendFixed(line, v, 4);
        }
        line += ',';
        AppendFixed(line, error, 5);
        line += "\r\n";
        m_file << line;
        m_file.flush();  // a crash keeps every line polled so far
        if (!m_file) {
            m_writeFailed = true;
            m_log.Log(Logging::Warning,
                      L"Tracking record: writing failed; the run goes on "
                      L"without it");
        }
    }
    return error;
}

TrackingDaySummary CTrackingRecord::End() {
    if (!m_active)
        return m_summary;
    m_active = false;
    if (m_file.is_open())
        m_file.close();
    if (m_summary.positions > 0)
        m_summary.meanErrorDeg = m_errorSum / m_summary.positions;
    m_log.Log(Logging::Informational, DaySummaryLine(m_day, m_summary));
    return m_summary;
}

}  // namespace Suntrack
