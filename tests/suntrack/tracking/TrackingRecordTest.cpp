#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <sstream>

#include "TestSupport.h"
#include "core/HeliostatWorkflow.h"
#include "core/TrackingMonitor.h"
#include "core/TrackingRecord.h"

using namespace Suntrack;
using namespace SuntrackTest;

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class TrackingRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::filesystem::temp_directory_path() /
                   ("quorvel-record-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_folder);
        // A decimal comma in the environment must not reach the file.
        m_oldLocale = std::setlocale(LC_ALL, nullptr);
        std::setlocale(LC_ALL, "de_DE.UTF-8");
    }
    void TearDown() override {
        std::setlocale(LC_ALL, m_oldLocale.c_str());
        std::filesystem::remove_all(m_folder);
    }
    std::filesystem::path m_folder;
    std::string m_oldLocale;
};

// 2026-12-08 08:00:00 UTC.
constexpr double kStart = 1'796'716'800.0;

}  // namespace

TEST_F(TrackingRecordTest, OneLinePerPollWithinTheTrajectoryAndADaySummary) {
    CTimeZoneScope zone(kUtcTz);
    CLogCapture log;
    CTrajectoryTrack track;
    track.AddUtc(kStart, 120.0, 60.0);
    track.AddUtc(kStart + 60, 121.0, 59.0);
    track.AddUtc(kStart + 120, 122.0, 58.0);
    const auto file = TrackingRecordFile(m_folder, Platform::SecondsToLocalTime(kStart));
    EXPECT_EQ(file.filename(), "2026-12-08_TrackingRecord.csv");

    CTrackingRecord record(log.Logger());
    record.Begin(file, track);
    EXPECT_FALSE(record.AddPosition(kStart - 0.25, 120.0, 60.0));  // before the first point
    ASSERT_TRUE(record.AddPosition(kStart, 120.0, 61.0));
    EXPECT_NEAR(*record.AddPosition(kStart + 60, 121.0, 59.25), 0.25, 1e-9);
    EXPECT_NEAR(*record.AddPosition(kStart + 120, 122.0, 58.5), 0.5, 1e-9);
    EXPECT_FALSE(record.AddPosition(kStart + 121, 122.0, 58.0));  // after the last point
    const TrackingDaySummary summary = record.End();
    EXPECT_EQ(summary.positions, 3);

    const std::string text = ReadFile(file);
    std::istringstream lines(text);
    std::string header, first, second, third, extra;
    std::getline(lines, header);
    std::getline(lines, first);
    std::getline(lines, second);
    std::getline(lines, third);
    EXPECT_FALSE(std::getline(lines, extra));
    EXPECT_EQ(header,
              "utc,commanded_azimuth_deg,commanded_zenith_deg,reported_azimuth_deg,"
              "reported_zenith_deg,tracking_error_deg\r");
    EXPECT_EQ(first, "2026-12-08T08:00:00.000Z,120.0000,60.0000,120.0000,61.0000,1.00000\r");
    EXPECT_EQ(second, "2026-12-08T08:01:00.000Z,121.0000,59.0000,121.0000,59.2500,0.25000\r");
    EXPECT_EQ(third, "2026-12-08T08:02:00.000Z,122.0000,58.0000,122.0000,58.5000,0.50000\r");

    EXPECT_TRUE(log.Contains(
        L"Tracking record 2026-12-08: 3 trajectory points, 3 positions over 2 min, tracking "
        L"error mean 0.583\u00b0, max 1.000\u00b0"))
        << log.Messages().back();

    // The next trajectory of the day appends to the same file without a second header.
    record.Begin(file, track);
    record.AddPosition(kStart + 30.25, 120.5, 59.5);
    record.End();
    const std::string appended = ReadFile(file);
    EXPECT_EQ(appended.find("utc,", 1), std::string::npos);
    EXPECT_EQ(appended.substr(0, text.size()), text);
    EXPECT_EQ(appended.substr(text.size(), 25), "2026-12-08T08:00:30.250Z,");
}

TEST_F(TrackingRecordTest, AnUnwritableFileIsReportedOnceAndTheErrorsStillCount) {
    CLogCapture log;
    CTrajectoryTrack track;
    track.AddUtc(kStart, 120.0, 60.0);
    track.AddUtc(kStart + 60, 121.0, 59.0);
    std::filesystem::create_directories(m_folder / "taken.csv");  // a folder in the way
    CTrackingRecord record(log.Logger());
    record.Begin(m_folder / "taken.csv", track);
    EXPECT_NEAR(*record.AddPosition(kStart, 120.0, 61.0), 1.0, 1e-9);
    EXPECT_EQ(record.End().positions, 1);
    EXPECT_EQ(log.CountStartingWith(L"Tracking record: cannot open "), 1);
}

TEST_F(TrackingRecordTest, MonitorRecordsWhileTheTrajectoryRunsAndSummarisesAtItsEnd) {
    CTimeZoneScope zone(kUtcTz);
    CLogCapture log;
    CTrackingMonitor monitor(log.Logger(), m_folder, [] { return 0.0; });
    CTrajectoryTrack track;
    track.AddUtc(kStart, 120.0, 60.0);
    track.AddUtc(kStart + 60, 121.0, 59.0);
    monitor.OnUploadStarted(track, false, false);
    monitor.OnStatus(HeliostatStatus::kUploading, kStart - 100);
    monitor.OnPosition(kStart - 99, 0.0, 0.0);
    EXPECT_TRUE(monitor.PositionStale(kStart - 99));  // uploading: not refreshed
    monitor.OnUploadProgress(100, false);
    monitor.OnUploadComplete();
    monitor.OnStatus(HeliostatStatus::kTrajectory, kStart);
    monitor.OnPosition(kStart + 30, 120.5, 59.5);
    EXPECT_FALSE(monitor.PositionStale(kStart + 30.5));
    EXPECT_TRUE(monitor.PositionStale(kStart + 32));  // polls stopped arriving
    ASSERT_TRUE(monitor.LastPosition()->trackingErrorDeg);
    monitor.OnTrajectoryFinished();
    monitor.OnStatus(HeliostatStatus::kIdle, kStart + 61);
    EXPECT_EQ(log.CountStartingWith(L"Tracking record 2026-12-08: 2 trajectory points, 1 "
                                    L"positions"),
              1);
    EXPECT_TRUE(std::filesystem::exists(m_folder / "2026-12-08_TrackingRecord.csv"));
    EXPECT_EQ(monitor.Trail().size(), 2u);
    EXPECT_EQ(AgeWords(125), L"2 min old");
}
