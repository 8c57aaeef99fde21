// The POSIX zone-rule arithmetic: the forms a rule may take and the instants of its changes,
// checked against the changes published for zones whose rules use those forms.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "platform/ZoneRule.h"

using Platform::CZoneRule;

namespace {

CZoneRule Rule(const char* text) {
    const std::optional<CZoneRule> rule = CZoneRule::Parse(text);
    EXPECT_TRUE(rule.has_value()) << text;
    return rule.value_or(*CZoneRule::Parse("UTC0"));
}

// Offset in minutes east of UTC just before and at `change` (seconds since 1970 UTC).
struct Around {
    int before;
    int at;
};
Around OffsetsAround(const CZoneRule& rule, std::int64_t change) {
    return {rule.OffsetSecondsAt(change - 1) / 60, rule.OffsetSecondsAt(change) / 60};
}

bool operator==(const Around& a, const Around& b) {
    return a.before == b.before && a.at == b.at;
}
std::ostream& operator<<(std::ostream& out, const Around& a) {
    return out << a.before << " -> " << a.at;
}

}  // namespace

TEST(ZoneRule, ReadsEveryFormAndRefusesMalformedRules) {
    for (const char* valid :
         {"UTC0", "IST-5:30", "<+0530>-5:30", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT",
          "<-02>2<-01>,M3.5.0/-1,M10.5.0/0", "XXX0YYY,J60/0,300/1:30:15", "EST5EDT4,0/0,J365/25",
          "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", "NST+3:30NDT"}) {
        EXPECT_TRUE(CZoneRule::Parse(valid).has_value()) << valid;
    }
    for (const char* malformed :
         {"", "Europe/Zurich", ":Europe/Zurich", "UTC", "CE-1", "CET-1CE", "CET-25", "CET-1 ",
          "<+05>-5:30:60", "CET-1CEST,M3.5.0", "CET-1CEST,M3.5.0,", "CET-1CEST,M13.1.0,M10.5.0",
          "CET-1CEST,M3.6.0,M10.5.0", "CET-1CEST,M3.5.7,M10.5.0", "CET-1CEST,J0,J365",
          "CET-1CEST,366,M10.5.0", "CET-1CEST,M3.5.0/168,M10.5.0", "CET-1CEST;M3.5.0,M10.5.0"}) {
        EXPECT_FALSE(CZoneRule::Parse(malformed).has_value()) << malformed;
    }
}

TEST(ZoneRule, NamesAndOffsetsOfStandardAndDaylightTime) {
    const CZoneRule zurich = Rule("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(zurich.StandardOffsetSeconds(), 3600);
    EXPECT_EQ(zurich.NameAt(1767225600), "CET");   // 2026-01-01
    EXPECT_EQ(zurich.NameAt(1782864000), "CEST");  // 2026-07-01
    EXPECT_FALSE(zurich.IsDaylightAt(1767225600));
    EXPECT_EQ(Rule("<+0530>-5:30").NameAt(0), "+0530");
    const CZoneRule newfoundland = Rule("NST+3:30NDT");  // summer time an hour ahead
    EXPECT_EQ(newfoundland.StandardOffsetSeconds(), -12600);
    EXPECT_EQ(newfoundland.OffsetSecondsAt(1782864000), -9000);
}

TEST(ZoneRule, ChangesFallOnThePublishedInstants) {
    // Europe (the last Sundays of March and October, 01:00 UTC), 2026: 29 March, 25 October
    // (a month with four Sundays: "week 5" is the fourth).
    const CZoneRule zurich = Rule("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(OffsetsAround(zurich, 1774746000), (Around{60, 120}));
    EXPECT_EQ(OffsetsAround(zurich, 1792890000), (Around{120, 60}));
    // Greenland since 2023 has the same instants, written as local times -1:00 and 0:00.
    const CZoneRule nuuk = Rule("<-02>2<-01>,M3.5.0/-1,M10.5.0/0");
    EXPECT_EQ(OffsetsAround(nuuk, 1774746000), (Around{-120, -60}));
    EXPECT_EQ(OffsetsAround(nuuk, 1792890000), (Around{-60, -120}));
    // The United States, also the rule of a daylight name without dates: 8 March 2026 at
    // 02:00 EST, 1 November at 02:00 EDT.
    for (const char* newYork : {"EST5EDT,M3.2.0,M11.1.0", "EST5EDT"}) {
        const CZoneRule rule = Rule(newYork);
        EXPECT_EQ(OffsetsAround(rule, 1772953200), (Around{-300, -240})) << newYork;
        EXPECT_EQ(OffsetsAround(rule, 1793512800), (Around{-240, -300})) << newYork;
    }
    // Lord Howe Island: half an hour of summer time, across the new year. 2026: ends 5 April
    // 02:00 (+11), starts 4 October 02:00 (+10:30).
    const CZoneRule lordHowe = Rule("<+1030>-10:30<+11>-11,M10.1.0,M4.1.0");
    EXPECT_EQ(OffsetsAround(lordHowe, 1775314800), (Around{660, 630}));
    EXPECT_EQ(OffsetsAround(lordHowe, 1791041400), (Around{630, 660}));
    EXPECT_TRUE(lordHowe.IsDaylightAt(1767225600));  // 1 January
}

TEST(ZoneRule, JulianDaysSkipTheLeapDayAndZeroBasedDaysCountIt) {
    // J60 is 1 March in every year; day 59 (from 0) is 29 February in a leap year.
    const CZoneRule julian = Rule("XXX0YYY,J60/0,J300/0");
    EXPECT_EQ(OffsetsAround(julian, 1709251200), (Around{0, 60}));  // 2024-03-01
    const CZoneRule zeroBased = Rule("XXX0YYY,59/0,J300/0");
    EXPECT_EQ(OffsetsAround(zeroBased, 1709164800), (Around{0, 60}));  // 2024-02-29
    EXPECT_EQ(OffsetsAround(zeroBased, 1740787200), (Around{0, 60}));  // 2025-03-01
}

TEST(ZoneRule, SummerTimeAllYearRound) {
    // Starts on 1 January at 00:00 and ends at 25:00 on 31 December, an hour after it starts
    // again: daylight time throughout.
    const CZoneRule rule = Rule("EST5EDT4,0/0,J365/25");
    for (const std::int64_t t : {std::int64_t{1767225600}, std::int64_t{1782864000},
                                 std::int64_t{1798761599}, std::int64_t{1798761600}}) {
        EXPECT_EQ(rule.OffsetSecondsAt(t), -4 * 3600) << t;
    }
}

TEST(ZoneRule, TheRuleHoldsBefore1970AndFarAhead) {
    // (The C library applies a rule's summer time from 1970 on only.)
    const CZoneRule zurich = Rule("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(OffsetsAround(zurich, -23929200), (Around{60, 120}));   // 1969-03-30 01:00 UTC
    EXPECT_EQ(OffsetsAround(zurich, -5785200), (Around{120, 60}));    // 1969-10-26 01:00 UTC
    EXPECT_EQ(OffsetsAround(zurich, 4109878800), (Around{60, 120}));  // 2100-03-28 01:00 UTC
}
