// The zone-rule arithmetic agrees with the C library's own reading of the same TZ rules,
// hour by hour over four years (Linux only: the C runtime on Windows reads TZ otherwise).
#include <gtest/gtest.h>
#include <time.h>

#include <cstdint>
#include <optional>
#include <string>

#include "TestZone.h"
#include "platform/ZoneRule.h"

TEST(ZoneRuleAgainstCLibrary, SameOffsetsAndNamesEveryHalfHour) {
    for (const char* text :
         {"CET-1CEST,M3.5.0,M10.5.0/3", "GMT0BST,M3.5.0/1,M10.5.0", "PST8PDT,M3.2.0,M11.1.0",
          "EST5EDT", "AEST-10AEDT,M10.1.0,M4.1.0/3", "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0",
          "<-02>2<-01>,M3.5.0/-1,M10.5.0/0", "XXX-2YYY,J60/0,300/25", "IST-5:30",
          "CET-1CEST,M3.5.0,M10.5.0/13"}) {
        const std::optional<Platform::CZoneRule> rule = Platform::CZoneRule::Parse(text);
        ASSERT_TRUE(rule.has_value()) << text;
        QuorvelTest::CZoneScope zone(text);
        int differences = 0;
        // 2024-01-01 to 2028-01-01 UTC, on the half hour and a second before it.
        for (std::int64_t t = 1704067200; t < 1830297600 && differences < 5; t += 1800) {
            for (const std::int64_t instant : {t - 1, t}) {
                const time_t value = static_cast<time_t>(instant);
                tm local{};
                ASSERT_NE(localtime_r(&value, &local), nullptr);
                if (rule->OffsetSecondsAt(instant) != local.tm_gmtoff ||
                    rule->NameAt(instant) != std::string(local.tm_zone)) {
                    ADD_FAILURE() << text << " at " << instant << ": "
                                  << rule->OffsetSecondsAt(instant) << " " << rule->NameAt(instant)
                                  << ", C library " << local.tm_gmtoff << " " << local.tm_zone;
                    ++differences;
                }
            }
        }
    }
}
