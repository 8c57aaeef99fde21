// The trajectory file reader and the run-trajectory command line of quorvelctl.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <sstream>

#include "CtlOptions.h"
#include "TestZone.h"
#include "TrajectoryFile.h"

namespace {

using namespace quorvelctl;

// The zone of local time for the scope, as a POSIX rule.
using CZone = QuorvelTest::CZoneScope;

constexpr const char* kZurich = "CET-1CEST,M3.5.0,M10.5.0/3";

bool Parse(const std::string& text, STrajectoryFile& file, std::string& error) {
    std::istringstream in(text);
    return ParseTrajectoryFile(in, file, error);
}

TEST(TrajectoryFile, ReadsCommasWhiteSpaceCommentsAndCrLf) {
    STrajectoryFile file;
    std::string error;
    ASSERT_TRUE(
        Parse("# start 2030-06-21 10:00:00\r\n"
              "\r\n"
              "2030-06-21 10:00:00,48.123456,90.456789\r\n"
              "   # indented comment\n"
              "2030-06-21 10:01:30 \t -1.5 , +2\n"
              "2030-06-21 10:05:00, 3e1, 4\n",
              file, error))
        << error;
    ASSERT_EQ(3u, file.times.size());
    EXPECT_EQ(2030, file.times[0].wYear);
    EXPECT_EQ(6, file.times[0].wMonth);
    EXPECT_EQ(21, file.times[0].wDay);
    EXPECT_EQ(1, file.times[1].wMinute);
    EXPECT_EQ(30, file.times[1].wSecond);
    EXPECT_DOUBLE_EQ(48.123456, file.azimuths[0]);
    EXPECT_DOUBLE_EQ(90.456789, file.zeniths[0]);
    EXPECT_DOUBLE_EQ(-1.5, file.azimuths[1]);
    EXPECT_DOUBLE_EQ(2.0, file.zeniths[1]);
    EXPECT_DOUBLE_EQ(30.0, file.azimuths[2]);
    ASSERT_TRUE(file.stampSpacing.has_value());
    EXPECT_EQ(90, *file.stampSpacing);  // the first two stamps only
}

TEST(TrajectoryFile, SinglePointHasNoSpacing) {
    STrajectoryFile file;
    std::string error;
    ASSERT_TRUE(Parse("2028-02-29 23:59:59 1 2\n", file, error)) << error;  // a leap day
    EXPECT_EQ(1u, file.times.size());
    EXPECT_FALSE(file.stampSpacing.has_value());
}

TEST(TrajectoryFile, BadLinesNameTheirNumber) {
    const char* const kHead = "# header\n2030-06-21 10:00:00,1,2\n";
    const struct {
        std::string line;
        std::string expected;
    } cases[] = {
        {"2030-06-21 10:00:01,1", "line 3: expected"},
        {"2030-06-21 10:00:01,1,2,3", "line 3: expected"},
        {"2030-06-21,1,2,3", "line 3: \"2030-06-21 1\" is not a time stamp"},
        {"2029-02-29 10:00:00,1,2", "line 3:"},
        {"2030-06-21 24:00:00,1,2", "line 3:"},
        {"2030-6-21 10:00:01,1,2", "line 3:"},
        {"1899-12-31 10:00:01,1,2", "line 3:"},
        {"2030-06-21 10:00:01,1x,2", "line 3: azimuth \"1x\""},
        {"2030-06-21 10:00:01,1,inf", "line 3: zenith \"inf\""},
        {"2030-06-21 10:00:00,1,2", "line 3: the time stamp does not follow"},
    };
    for (const auto& c : cases) {
        STrajectoryFile file;
        std::string error;
        EXPECT_FALSE(Parse(kHead + c.line + "\n", file, error)) << c.line;
        EXPECT_EQ(0u, error.find(c.expected)) << c.line << " -> " << error;
    }
    STrajectoryFile file;
    std::string error;
    EXPECT_FALSE(Parse("# only a header\n\n", file, error));
    EXPECT_EQ("no trajectory points in the file", error);
}

// Daylight saving ends at 03:00 CEST on 2030-10-27 in Zurich: 02:00-02:59 comes twice. The
// stamps that quorvel-sun writes across it, with or without offsets, are instants in order.
TEST(TrajectoryFile, RepeatedHourOfTheFallBackIsReadAsInstantsInOrder) {
    CZone zone(kZurich);
    STrajectoryFile file;
    std::string error;
    ASSERT_TRUE(
        Parse("2030-10-27 01:45:00,1,2\n2030-10-27 02:15:00,1,2\n"
              "2030-10-27 02:45:00,1,2\n2030-10-27 02:15:00,1,2\n"
              "2030-10-27 02:45:00,1,2\n2030-10-27 03:15:00,1,2\n",
              file, error))
        << error;
    ASSERT_EQ(6u, file.instants.size());
    // 2030-10-26 23:45:00 UTC is 01:45 CEST.
    EXPECT_EQ(1919288700, file.instants[0]);
    for (std::size_t i = 1; i < file.instants.size(); ++i)
        EXPECT_EQ(1800, file.instants[i] - file.instants[i - 1]) << i;
    EXPECT_EQ(1800, file.stampSpacing.value_or(0));

    ASSERT_TRUE(
        Parse("2030-10-27 02:30:00+02:00,1,2\n2030-10-27 02:30:00+01:00,1,2\n"
              "2030-10-27 01:45:00Z,1,2\n",
              file, error))
        << error;
    EXPECT_EQ(3600, file.instants[1] - file.instants[0]);
    EXPECT_EQ(2u, file.times[2].wHour);  // 01:45 UTC is 02:45 CET on this computer
    EXPECT_EQ(45u, file.times[2].wMinute);

    // An offset turns the repeated stamp into the earlier instant: not in order.
    EXPECT_FALSE(
        Parse("2030-10-27 02:30:00+01:00,1,2\n2030-10-27 02:45:00+02:00,1,2\n", file, error));
    EXPECT_EQ(0u, error.find("line 2: the time stamp does not follow")) << error;
    // The hour skipped in spring has no instant without an offset.
    EXPECT_FALSE(Parse("2030-03-31 02:30:00,1,2\n", file, error));
    EXPECT_EQ(0u, error.find("line 1: \"2030-03-31 02:30:00\" does not exist")) << error;
    for (const char* bad : {"+1:00", "+01:60", "+15:00", "01:00", "+01:00x"}) {
        EXPECT_FALSE(Parse(std::string("2030-10-27 02:30:00") + bad + ",1,2\n", file, error))
            << bad;
    }
}

// Hostile files: the 701st point and an over-long line are refused as soon as they are read,
// and the bytes of a bad field are quoted in printable form.
TEST(TrajectoryFile, BoundedReadingAndPrintableMessages) {
    std::string text;
    for (int i = 0; i < 5000; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "2030-06-21 %02d:%02d:%02d,1,2\n", i / 3600 % 24,
                      i / 60 % 60, i % 60);
        text += line;
    }
    std::istringstream in(text);
    STrajectoryFile file;
    std::string error;
    EXPECT_FALSE(ParseTrajectoryFile(in, file, error));
    EXPECT_EQ("line 701: more than 700 points, the most the instrument takes", error);
    EXPECT_LT(static_cast<std::size_t>(in.tellg()), 702 * 30u) << "read no further";

    std::istringstream endless(std::string(100000, '7'));
    EXPECT_FALSE(ParseTrajectoryFile(endless, file, error));
    EXPECT_EQ("line 1: longer than 1024 bytes; not a trajectory file", error);
    EXPECT_LT(static_cast<std::size_t>(endless.tellg()), 2048u);

    EXPECT_FALSE(Parse("2030-06-21 10:00:00,\x1b[2J\x07,2\n", file, error));
    EXPECT_EQ("line 1: azimuth \"\\x1B[2J\\x07\" is not a number", error);
    EXPECT_FALSE(Parse("2030-06-21 10:00:00,1," + std::string(200, 'z') + "\n", file, error));
    EXPECT_EQ(std::string::npos, error.find(std::string(41, 'z'))) << error;
}

TEST(CtlOptions, RefusesDurationsAndSpeedsThatCannotBeMet) {
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--port", "3", "monitor", "inf"},
                                               {"--port", "3", "monitor", "nan"},
                                               {"--port", "3", "monitor", "1e300"},
                                               {"--port", "3", "jog", "1", "0", "--for", "nan"},
                                               {"--port", "3", "jog", "1", "0", "--for", "inf"},
                                               {"--port", "3", "jog", "121", "0", "--for", "1"},
                                               {"--port", "3", "--timeout", "inf", "status"},
                                               {"--port", "3", "--timeout", "1e300", "status"},
                                               {"--port", "3", "move-abs", "1", "2", "0"},
                                               {"--port", "3", "move-abs", "1", "2", "-5"},
                                               {"--port", "3", "move-abs", "1", "2", "1e308"},
                                               {"--port", "3", "move-rel", "1", "2", "nan"},
                                               {"--port", "3", "move-abs", "inf", "2"},
                                               {"--port", "3", "offset", "nan", "2"}}) {
        SOptions options;
        std::string error;
        EXPECT_EQ(EParse::Error, ParseArguments(bad, options, error)) << bad[2] << " " << bad[3];
    }
    SOptions options;
    std::string error;
    EXPECT_EQ(EParse::Run,
              ParseArguments({"--port", "3", "--timeout", "2.5", "move-abs", "1", "2", "120"},
                             options, error))
        << error;
    EXPECT_EQ(EParse::Error, ParseArguments({"--port", "3", "\x1b]0;x\x07"}, options, error));
    EXPECT_EQ("unknown command \"\\x1B]0;x\\x07\"", error);
}

TEST(RunTrajectoryOptions, ParsesAndRefuses) {
    SOptions options;
    std::string error;
    ASSERT_EQ(EParse::Run, ParseArguments({"--port", "3", "run-trajectory", "t.txt", "--period",
                                           "45", "--index", "2", "--home"},
                                          options, error))
        << error;
    EXPECT_EQ("t.txt", options.file);
    EXPECT_EQ(45, options.periodS.value_or(0));
    EXPECT_EQ(2, options.startIndex);
    EXPECT_TRUE(options.homeAfter);
    EXPECT_FALSE(options.noStart);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--port", "3", "run-trajectory"},
             {"--port", "3", "run-trajectory", "a", "b"},
             {"--port", "3", "run-trajectory", "a", "--period", "0"},
             {"--port", "3", "run-trajectory", "a", "--period", "1.5"},
             {"--port", "3", "run-trajectory", "a", "--index", "-1"},
             {"--port", "3", "run-trajectory", "a", "--no-start", "--home"},
             {"run-trajectory", "a"}}) {
        SOptions o;
        EXPECT_EQ(EParse::Error, ParseArguments(bad, o, error)) << bad.back();
    }
}

}  // namespace
