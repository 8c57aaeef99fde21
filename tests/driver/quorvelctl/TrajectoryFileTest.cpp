// The trajectory file reader and the run-trajectory command line of quorvelctl.
#include <gtest/gtest.h>

#include <sstream>

#include "CtlOptions.h"
#include "TrajectoryFile.h"

namespace {

using namespace quorvelctl;

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
