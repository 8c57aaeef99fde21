// The command line of quorvelctl track: overrides are kept only when given, bad values are
// refused with the option's name, and the rehearsal clock takes a real local time.
#include <gtest/gtest.h>

#include "TrackOptions.h"

namespace {

using namespace quorvelctl;

TEST(TrackOptions, OnlyTheGivenOverridesAreSet) {
    STrackOptions o;
    std::string error;
    ASSERT_EQ(ETrackParse::Run,
              ParseTrackArguments({"--lat", "47.5", "--limit-zenith", "85", "--days", "3",
                                   "--home-on-exit", "--clock-start", "2026-06-21 04:30:00"},
                                  o, error))
        << error;
    EXPECT_EQ(47.5, o.latitudeDeg.value_or(0));
    EXPECT_EQ(85.0, o.limitZenithDeg.value_or(0));
    EXPECT_FALSE(o.longitudeEastDeg.has_value());
    EXPECT_FALSE(o.port.has_value());
    EXPECT_EQ(3, o.days);
    EXPECT_TRUE(o.homeOnExit);
    ASSERT_TRUE(o.clockStart.has_value());
    EXPECT_EQ(4, o.clockStart->wHour);
    EXPECT_EQ(30, o.clockStart->wMinute);

    STrackOptions defaults;
    EXPECT_EQ(ETrackParse::Run, ParseTrackArguments({}, defaults, error));
    EXPECT_EQ(0, defaults.days);  // until stopped
}

TEST(TrackOptions, BadValuesAreRefusedNamingTheOption) {
    const std::vector<std::vector<std::string>> bad = {
        {"--lat", "91"},         {"--lon-east", "east"},
        {"--days", "0"},         {"--port", "256"},
        {"--temp", "nan"},       {"--clock-start", "2026-02-30 10:00:00"},
        {"--time-scale", "0.5"}, {"--lat"},
        {"--frobnicate", "1"},   {"stray"},
    };
    for (const auto& args : bad) {
        STrackOptions o;
        std::string error;
        EXPECT_EQ(ETrackParse::Error, ParseTrackArguments(args, o, error)) << args[0];
        EXPECT_NE(std::string::npos, error.find(args[0])) << error;
    }
}

}  // namespace
