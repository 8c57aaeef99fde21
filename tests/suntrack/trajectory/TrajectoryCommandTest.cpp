// quorvel-sun trajectory: options, the output that quorvelctl run-trajectory reads, the
// alignment file and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "SunCommand.h"
#include "TestSupport.h"
#include "TrajectoryCommand.h"

namespace {

using namespace SuntrackTest;

struct CommandRun {
    int status;
    std::string out;
    std::string err;
};

CommandRun Command(std::vector<std::string> args) {
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    const int status = QuorvelSun::RunTrajectoryCommand(args, in, out, err);
    return {status, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// "YYYY-MM-DD HH:MM:SS+HH:MM,<az>,<ze>" with six decimals in both numbers.
bool IsPointLine(const std::string& line) {
    if (!QuorvelSun::ParseLocalDateTime(line.substr(0, 19)) || line.size() < 26 ||
        (line[19] != '+' && line[19] != '-') || line[22] != ':' || line[25] != ',') {
        return false;
    }
    const std::string numbers = line.substr(26);
    const std::size_t comma = numbers.find(',');
    if (comma == std::string::npos) {
        return false;
    }
    for (const std::string& n : {numbers.substr(0, comma), numbers.substr(comma + 1)}) {
        const std::size_t dot = n.find('.');
        if (dot == std::string::npos || n.size() - dot - 1 != 6 ||
            n.find_first_not_of("-0123456789.") != std::string::npos) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> ZurichWindow(const char* start, const char* stop) {
    return {"--start", start, "--stop", stop, "--lon-west", "-8.5417", "--lat", "47.3769"};
}

class TrajectoryCommand : public ::testing::Test {
protected:
    TrajectoryCommand()
        : tz(kZurichTz), clock(Platform::LocalTimeToSeconds(Local(2026, 12, 7, 12))) {}

    std::filesystem::path WriteFile(const std::string& text) {
        const auto path = std::filesystem::temp_directory_path() /
                          ("quorvel-alignment-" + std::to_string(::getpid()) + "-" +
                           std::to_string(m_files.size()) + ".txt");
        std::ofstream(path) << text;
        m_files.push_back(path);
        return path;
    }
    ~TrajectoryCommand() override {
        for (const auto& f : m_files) {
            std::error_code ignored;
            std::filesystem::remove(f, ignored);
        }
    }

    CTimeZoneScope tz;
    CClockScope clock;
    std::vector<std::filesystem::path> m_files;
};

TEST_F(TrajectoryCommand, PrintsTheClippedWindowSpacingAndPoints) {
    const CommandRun r = Command(ZurichWindow("2026-12-21 02:00:00", "2026-12-21 23:00:00"));
    ASSERT_EQ(r.status, QuorvelSun::kExitOk) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_GT(lines.size(), 5u);
    // Sunrise 08:10 and sunset 16:37 CET at Zurich on the shortest day.
    EXPECT_EQ(lines[0].substr(0, 21), "# start 2026-12-21 08");
    EXPECT_EQ(lines[1].substr(0, 23), "# stop 2026-12-21 16:37");
    EXPECT_EQ(lines[2], "# spacing 60");
    const int points = std::stoi(lines[3].substr(9));
    EXPECT_EQ(lines[4], "# multi-day 0");
    ASSERT_EQ(lines.size(), 5u + static_cast<std::size_t>(points));
    for (std::size_t i = 5; i < lines.size(); ++i) {
        EXPECT_TRUE(IsPointLine(lines[i])) << lines[i];
    }
    EXPECT_EQ(lines[5].substr(0, 19), lines[0].substr(8));  // the first point is the start
}

TEST_F(TrajectoryCommand, UntilStoppedBecomesTodaysSunsetWithMultiDay) {
    const CommandRun r = Command(ZurichWindow("2026-12-21 09:00:00", "3000-12-21 09:00:00"));
    ASSERT_EQ(r.status, QuorvelSun::kExitOk) << r.err;
    const auto lines = Lines(r.out);
    EXPECT_EQ(lines[0], "# start 2026-12-21 09:00:00");
    EXPECT_EQ(lines[1].substr(0, 23), "# stop 2026-12-21 16:37");
    EXPECT_EQ(lines[4], "# multi-day 1");
}

TEST_F(TrajectoryCommand, CaliforniaFromAUtcComputerRunsFromSunriseToTheNextSunset) {
    // It ended in "Stop time is before start time": the date's sunset (03:00) preceded its
    // sunrise (12:45).
    CTimeZoneScope utc(kUtcTz);
    const CommandRun r = Command({"--start", "2030-06-21 12:00:00", "--stop", "2030-06-22 05:00:00",
                                  "--lon-west", "118.2437", "--lat", "34.0522"});
    ASSERT_EQ(r.status, QuorvelSun::kExitOk) << r.err;
    std::vector<std::string> points;
    for (const std::string& line : Lines(r.out)) {
        if (!line.empty() && line[0] != '#') {
            points.push_back(line);
        }
    }
    ASSERT_GT(points.size(), 600u);
    EXPECT_EQ(points.front().substr(0, 15), "2030-06-21 12:4");
    EXPECT_EQ(points.back().substr(0, 14), "2030-06-22 03:");
}

TEST_F(TrajectoryCommand, PolarNightGeneratesNothingAndFails) {
    // It printed 641 points at zenith 112.7 degrees and exited 0.
    const CommandRun night = Command({"--start", "2030-06-21 00:00:00", "--stop",
                                      "2030-06-22 00:00:00", "--lon-west", "0", "--lat", "-90"});
    EXPECT_EQ(night.status, QuorvelSun::kExitFailed);
    EXPECT_TRUE(night.out.empty()) << night.out;
    EXPECT_NE(night.err.find("no daylight to track"), std::string::npos) << night.err;

    const CommandRun day = Command({"--start", "2030-06-21 00:00:00", "--stop",
                                    "2030-06-22 00:00:00", "--lon-west", "0", "--lat", "90"});
    EXPECT_EQ(day.status, QuorvelSun::kExitOk) << day.err;
}

TEST_F(TrajectoryCommand, PastStartNeedsYes) {
    const auto args = ZurichWindow("2026-12-07 10:00:00", "2026-12-07 15:00:00");
    const CommandRun declined = Command(args);
    EXPECT_EQ(declined.status, QuorvelSun::kExitFailed);
    EXPECT_TRUE(declined.out.empty());
    EXPECT_NE(declined.err.find("Error: Start time is set earlier than the current time."),
              std::string::npos);

    auto withYes = args;
    withYes.push_back("--yes");
    const CommandRun accepted = Command(withYes);
    ASSERT_EQ(accepted.status, QuorvelSun::kExitOk) << accepted.err;
    EXPECT_EQ(Lines(accepted.out)[0], "# start 2026-12-07 12:05:00");
}

TEST_F(TrajectoryCommand, StopBeforeStartIsRefused) {
    const CommandRun r = Command(ZurichWindow("2026-12-21 12:00:00", "2026-12-21 11:00:00"));
    EXPECT_EQ(r.status, QuorvelSun::kExitFailed);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("Error: Stop time is before start time."), std::string::npos);
}

TEST_F(TrajectoryCommand, AlignmentFileTurnsTheAzimuths) {
    const auto file = WriteFile(
        "# sunAz sunZe quorvelAz quorvelZe\n30 20 40 20\n\n135 50 145 50\n250\t70 260 70\n");
    auto args = ZurichWindow("2026-12-21 10:00:00", "2026-12-21 11:00:00");
    const CommandRun plain = Command(args);
    args.push_back("--alignment");
    args.push_back(file.string());
    const CommandRun aligned = Command(args);
    ASSERT_EQ(aligned.status, QuorvelSun::kExitOk) << aligned.err;
    const auto a = Lines(plain.out);
    const auto b = Lines(aligned.out);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 5; i < a.size(); ++i) {
        const double azPlain = std::stod(a[i].substr(26));
        const double azAligned = std::stod(b[i].substr(26));
        EXPECT_NEAR(azAligned, azPlain + 10.0, 2e-6) << a[i] << " / " << b[i];
    }
}

TEST_F(TrajectoryCommand, UnusableAlignmentFilesAreRefused) {
    for (const std::string& text :
         {std::string("30 20 40 20\n135 50 145 50\n"), std::string("30 20 40 x\n"),
          std::string("150 45 150 45\n150 45 150 45\n150 45 150 45\n")}) {
        const auto file = WriteFile(text);
        auto args = ZurichWindow("2026-12-21 10:00:00", "2026-12-21 11:00:00");
        args.push_back("--alignment=" + file.string());
        const CommandRun r = Command(args);
        EXPECT_EQ(r.status, QuorvelSun::kExitFailed) << text;
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("alignment file"), std::string::npos);
    }
    auto args = ZurichWindow("2026-12-21 10:00:00", "2026-12-21 11:00:00");
    args.push_back("--alignment=/nonexistent/alignment.txt");
    EXPECT_EQ(Command(args).status, QuorvelSun::kExitFailed);
}

TEST_F(TrajectoryCommand, BadOptionsGiveUsage) {
    EXPECT_EQ(Command({"--start", "2026-12-21 10:00:00", "--stop", "2026-12-21 11:00:00",
                       "--lon-west", "0"})
                  .status,
              QuorvelSun::kExitUsage);  // no --lat
    EXPECT_EQ(Command(ZurichWindow("2026-02-30 10:00:00", "2026-12-21 11:00:00")).status,
              QuorvelSun::kExitUsage);
    EXPECT_EQ(Command(ZurichWindow("2026-12-21 10:00", "2026-12-21 11:00:00")).status,
              QuorvelSun::kExitUsage);
    auto args = ZurichWindow("2026-12-21 10:00:00", "2026-12-21 11:00:00");
    args[7] = "95";  // latitude
    const CommandRun badSite = Command(args);
    EXPECT_EQ(badSite.status, QuorvelSun::kExitUsage);
    EXPECT_NE(badSite.err.find("bad site"), std::string::npos);
    args = ZurichWindow("2026-12-21 10:00:00", "2026-12-21 11:00:00");
    args.push_back("--limit-zenith");
    args.push_back("200");
    EXPECT_EQ(Command(args).status, QuorvelSun::kExitUsage);
}

// A zone that falls back at 13:00 summer time, so that the repeated hour (12:00-12:59) is in
// daylight: its stamps come twice, first with +02:00, then with +01:00, and every point's
// offset matches its instant (the points stay 60 s apart).
TEST_F(TrajectoryCommand, PointsCarryTheirUtcOffsetAcrossTheFallBack) {
    CTimeZoneScope midday("CET-1CEST,M3.5.0,M10.5.0/13");
    const CommandRun r = Command(ZurichWindow("2030-10-27 11:30:00", "2030-10-27 13:30:00"));
    ASSERT_EQ(r.status, QuorvelSun::kExitOk) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines[3], "# points 181");
    ASSERT_EQ(lines.size(), 5u + 181u);
    int summer = 0;
    for (std::size_t i = 5; i < lines.size(); ++i) {
        ASSERT_TRUE(IsPointLine(lines[i])) << lines[i];
        const std::string offset = lines[i].substr(19, 6);
        summer += offset == "+02:00" ? 1 : 0;
        EXPECT_EQ(offset, i - 5 < 90 ? "+02:00" : "+01:00") << lines[i];
    }
    EXPECT_EQ(90, summer);
    EXPECT_EQ(lines[5 + 30].substr(11, 8), "12:00:00");
    EXPECT_EQ(lines[5 + 90].substr(11, 8), "12:00:00");  // the same stamp, an hour later
}

TEST(TrajectoryCommandParsing, LocalDateTime) {
    const auto t = QuorvelSun::ParseLocalDateTime("2028-02-29T23:59:59");
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(QuorvelSun::FormatLocalDateTime(*t), "2028-02-29 23:59:59");
    EXPECT_FALSE(QuorvelSun::ParseLocalDateTime("2027-02-29 10:00:00"));
    EXPECT_FALSE(QuorvelSun::ParseLocalDateTime("2026-12-21 24:00:00"));
    EXPECT_FALSE(QuorvelSun::ParseLocalDateTime("2026-12-21 10:00:0x"));
    EXPECT_FALSE(QuorvelSun::ParseLocalDateTime("3001-01-01 00:00:00"));
    EXPECT_TRUE(QuorvelSun::ParseLocalDateTime("3000-01-01 00:00:00"));
}

}  // namespace
