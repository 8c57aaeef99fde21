// quorvel-sun's position command: batch CSV in and out, option errors and the single-request
// report, driven through string streams.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "SunCommand.h"

using namespace QuorvelSun;

namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun RunWith(std::vector<std::string> args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunSunCommand(args, in, out, err);
    return ToolRun{status, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Columns(const std::string& line) {
    std::vector<std::string> columns;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = line.find(',', start);
        columns.push_back(line.substr(start, at - start));
        if (at == std::string::npos) {
            return columns;
        }
        start = at + 1;
    }
}

const std::string kGolden = "2003,10,17,12,30,30,-7,105.1786,39.742476,1830.14,820,11,90.8333,";

const std::vector<std::string> kGoldenOptions = {
    "--date", "2003-10-17", "--time", "12:30:30", "--tz",       "-7",  "--lon-west", "105.1786",
    "--lat",  "39.742476",  "--elev", "1830.14",  "--pressure", "820", "--temp",     "11"};

}  // namespace

TEST(SunToolBatch, OneLinePerRequestWithExactValues) {
    const ToolRun run = RunWith({"--batch"}, kGolden + "7\n" + kGolden + "2\r\n");
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 2u);

    std::string error;
    const SunPositionRequest request = *ParseRequestCsv(kGolden + "7", error);
    SunPositionResult expected{};
    ASSERT_EQ(CalculateSunPosition(request, expected), 0);

    const std::vector<std::string> all = Columns(lines[0]);
    ASSERT_EQ(all.size(), 26u);
    EXPECT_EQ(all[0], "0");
    // 17 significant digits read back to the very same doubles.
    EXPECT_EQ(std::strtod(all[1].c_str(), nullptr), expected.altitude);
    EXPECT_EQ(std::strtod(all[2].c_str(), nullptr), expected.azimuthFromSouth);
    EXPECT_EQ(std::strtod(all[3].c_str(), nullptr), expected.zenith);
    EXPECT_EQ(std::strtod(all[4].c_str(), nullptr), expected.azimuth);
    // sunrise, sunset, transit in that order.
    const SunEvent* events[] = {&expected.sunrise, &expected.sunset, &expected.transit};
    for (int i = 0; i < 3; ++i) {
        const std::size_t base = 5 + 7 * i;
        EXPECT_EQ(all[base], "1");
        EXPECT_EQ(all[base + 1], std::to_string(events[i]->year));
        EXPECT_EQ(all[base + 4], std::to_string(events[i]->hour));
        EXPECT_EQ(std::strtod(all[base + 6].c_str(), nullptr), events[i]->second);
    }

    // Request 2: only zenith and azimuth are written; the rest stays empty.
    const std::vector<std::string> zenAz = Columns(lines[1]);
    ASSERT_EQ(zenAz.size(), 26u);
    for (std::size_t i = 0; i < zenAz.size(); ++i) {
        EXPECT_EQ(zenAz[i].empty(), !(i == 0 || i == 3 || i == 4)) << "column " << i + 1;
    }
    EXPECT_EQ(zenAz[3], all[3]);
}

TEST(SunToolBatch, RefusedRequestsAndMissingEventsLeaveColumnsEmpty) {
    // Longitude out of range: code 8 and nothing else.
    const ToolRun refused =
        RunWith({"--batch"}, "2003,10,17,12,30,30,-7,190,39.7,0,1010,10,90.8333,7\n");
    EXPECT_EQ(refused.status, kExitOk);  // a refusal is a result, not a read error
    EXPECT_EQ(refused.out, "8" + std::string(25, ',') + "\n");

    // Polar day: sunrise and sunset have valid 0 and no date; the transit is complete.
    const ToolRun polar =
        RunWith({"--batch"}, "2024,6,21,12,0,0,1,-15.6,78.22,0,1010,10,90.8333,4\n");
    const std::vector<std::string> c = Columns(Lines(polar.out).at(0));
    ASSERT_EQ(c.size(), 26u);
    EXPECT_EQ(c[5], "0");
    EXPECT_EQ(c[6], "");
    EXPECT_EQ(c[12], "0");
    EXPECT_EQ(c[19], "1");
    EXPECT_EQ(c[22], "21");
}

TEST(SunToolBatch, UnreadableLinesAreReportedAndLoseNothing) {
    const std::string input =
        "# site Golden\n" + kGolden + "7\n" + "\n" +
        "2003,10,17,12,30,30,-7,abc,39.7,0,1010,10,90.8333,7\n" + "1,2,3\n" + kGolden + "1.5\n" +
        "2003,10,17,12,30,30,-7,nan,39.7,0,1010,10,90.8333,7\n" + kGolden + "2\n";
    const ToolRun run = RunWith({"--batch"}, input);
    EXPECT_EQ(run.status, kExitFailed);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 6u);  // comment and blank line skipped, bad lines kept in place
    EXPECT_EQ(Columns(lines[0])[0], "0");
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(lines[i], std::string(25, ',')) << i;
    }
    EXPECT_EQ(Columns(lines[5])[0], "0");
    EXPECT_NE(run.err.find("line 4: field 8 (longitude): 'abc' is not a number"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("line 5: expected 14 comma-separated fields, found 3"),
              std::string::npos);
    EXPECT_NE(run.err.find("line 6: field 14 (request): '1.5' is not a whole number"),
              std::string::npos);
    EXPECT_NE(run.err.find("line 7: field 8"), std::string::npos);
}

TEST(SunToolSingle, ReportsPositionEventsAndTheCodeMeaning) {
    const ToolRun ok = RunWith(kGoldenOptions);
    EXPECT_EQ(ok.status, kExitOk);
    EXPECT_NE(ok.out.find("result: 0 (success)"), std::string::npos);
    EXPECT_NE(ok.out.find("zenith: 50.1115"), std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find("azimuth: 194.340"), std::string::npos);
    EXPECT_NE(ok.out.find("sunrise: 2003-10-17 06:12:"), std::string::npos);
    EXPECT_NE(ok.out.find("(local, UT-7)"), std::string::npos);

    std::vector<std::string> args = kGoldenOptions;
    args.push_back("--zenith-limit=181");
    const ToolRun refused = RunWith(args);
    EXPECT_EQ(refused.status, kExitFailed);
    EXPECT_EQ(refused.out, "result: 13 (zenith limit outside 0..180 degrees)\n");

    // Rise and set only: no time needed; a negative year is accepted by the date option.
    const ToolRun events = RunWith({"--date", "-0500-03-01", "--tz", "2", "--lon-west", "-23.7",
                                    "--lat", "38", "--request", "4"});
    EXPECT_EQ(events.status, kExitOk) << events.err;
    EXPECT_NE(events.out.find("sunrise: -500-03-01"), std::string::npos) << events.out;
}

TEST(SunToolSingle, BadOptionsExitWithUsage) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no request given"},
        {{"--date", "2003-10-17", "--tz", "-7", "--lat", "39"}, "missing --lon-west"},
        {{"--date", "2003-10-17", "--tz", "-7", "--lat", "39", "--lon-west", "105"},
         "missing --time"},
        {{"--date", "17.10.2003"}, "bad value '17.10.2003' for --date"},
        {{"--time", "12:3x"}, "bad value '12:3x' for --time"},
        {{"--lat", "inf"}, "bad value 'inf' for --lat"},
        {{"--lat"}, "option --lat needs a value"},
        {{"--latitude", "3"}, "unknown option --latitude"},
        {{"extra"}, "unexpected argument 'extra'"},
        {{"--batch", "--lat", "3"}, "--batch takes no other options"},
    };
    for (const auto& [args, message] : cases) {
        const ToolRun run = RunWith(args);
        EXPECT_EQ(run.status, kExitUsage) << message;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("usage: quorvel-sun"), std::string::npos);
        EXPECT_EQ(run.out, "");
    }
}

TEST(SunToolSingle, HelpDocumentsColumnsAndSigns) {
    const ToolRun run = RunWith({"--help"});
    EXPECT_EQ(run.status, kExitOk);
    for (const char* text : {"POSITIVE WEST", "hours EAST of UT", "from south towards WEST",
                             "from north\ntowards EAST", "6-12  sunrise", "20-26 transit"}) {
        EXPECT_NE(run.out.find(text), std::string::npos) << text;
    }
}
