// Records used by the settings tests: one member of every kind the framework exchanges.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/AlignmentSettings.h"
#include "settings/MemberExchange.h"
#include "settings/SystemTimeSettings.h"

namespace QuorvelTest {

// Three numbers whose middle member can be given a name the hive refuses (longer than any
// value name may be): a save that fails halfway.
class CThreeValues : public Zezezezo::CSettings {
public:
    bool InternalSaveLoad(bool c, Zezezezo::CSettingsStorage* s, bool save, bool reset) override {
        Zezezezo::CMemberExchange m(c, s, save, reset);
        m.Plain(L"a", a, 0u).Plain(middle.c_str(), b, 0u).Plain(L"c", c2, 0u);
        return m.Result();
    }
    std::wstring middle = L"b";
    std::uint32_t a = 1, b = 2, c2 = 3;
};

class CEveryKind : public Zezezezo::CSettings {
public:
    bool InternalSaveLoad(bool continueOnFailure, Zezezezo::CSettingsStorage* storage, bool save,
                          bool reset) override {
        Zezezezo::CMemberExchange m(continueOnFailure, storage, save, reset);
        m.Plain(L"sText", text, std::wstring(L"default"))
            .Nested(L"time", time)
            .Plain(L"fFloat", f, 1.5f)
            .Plain(L"nInt64", i64, std::int64_t{-64})
            .Plain(L"nUint64", u64, std::uint64_t{64})
            .Plain(L"nUint8", u8, std::uint8_t{8})
            .Plain(L"nInt8", i8, std::int8_t{-8})
            .Plain(L"nUint16", u16, std::uint16_t{16})
            .Plain(L"nInt16", i16, std::int16_t{-16})
            .Plain(L"nUint32", u32, std::uint32_t{32})
            .Plain(L"nInt32", i32, std::int32_t{-32})
            .Plain(L"dDouble", d, 2.5)
            .Plain(L"bFlag", flag, true)
            .Records(L"Points", points);
        return m.Result();
    }

    std::wstring text = L"default";
    Zezezezo::CSystemTimeSettings time;
    float f = 1.5f;
    std::int64_t i64 = -64;
    std::uint64_t u64 = 64;
    std::uint8_t u8 = 8;
    std::int8_t i8 = -8;
    std::uint16_t u16 = 16;
    std::int16_t i16 = -16;
    std::uint32_t u32 = 32;
    std::int32_t i32 = -32;
    double d = 2.5;
    bool flag = true;
    std::vector<Zezezezo::CAlignmentSettings> points;
};

inline Zezezezo::CAlignmentSettings Point(double sunAzimuth, WORD year) {
    Zezezezo::CAlignmentSettings p;
    p.dSunAzimuth = sunAzimuth;
    p.dSunZenith = sunAzimuth / 2;
    p.dQuorvelAzimuth = sunAzimuth + 1;
    p.dQuorvelZenith = sunAzimuth + 2;
    p.timestamp.time = SYSTEMTIME{year, 6, 2, 21, 12, 30, 45, 500};
    return p;
}

// A record filled with values unlike the defaults, including the awkward doubles.
inline CEveryKind Filled() {
    CEveryKind r;
    r.text = L"Pelvarin \"Quorvel\" \\ caf\u00e9 \U0001F600";
    r.time.time = SYSTEMTIME{2026, 12, 1, 7, 4, 51, 19, 999};
    r.f = std::bit_cast<float>(0x7FC00123u);  // quiet NaN with a payload
    r.i64 = INT64_MIN;
    r.u64 = UINT64_MAX;
    r.u8 = 255;
    r.i8 = -128;
    r.u16 = 65535;
    r.i16 = -32768;
    r.u32 = 4000000000u;
    r.i32 = INT32_MIN;
    r.d = std::bit_cast<double>(0x7FF8000000000ABCull);  // quiet NaN with a payload
    r.flag = false;
    r.points = {Point(10.0, 2020), Point(-0.0, 2021), Point(4.9e-324, 2022)};
    return r;
}

inline bool SameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}
inline bool SameBits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

inline bool SamePoint(const Zezezezo::CAlignmentSettings& a,
                      const Zezezezo::CAlignmentSettings& b) {
    return SameBits(a.dSunAzimuth, b.dSunAzimuth) && SameBits(a.dSunZenith, b.dSunZenith) &&
           SameBits(a.dQuorvelAzimuth, b.dQuorvelAzimuth) &&
           SameBits(a.dQuorvelZenith, b.dQuorvelZenith) && a.timestamp.time == b.timestamp.time;
}

// Every member equal, the floating-point ones to the bit.
inline void ExpectSameRecord(const CEveryKind& a, const CEveryKind& b) {
    EXPECT_EQ(a.text, b.text);
    EXPECT_EQ(a.time.time, b.time.time);
    EXPECT_TRUE(SameBits(a.f, b.f));
    EXPECT_EQ(a.i64, b.i64);
    EXPECT_EQ(a.u64, b.u64);
    EXPECT_EQ(a.u8, b.u8);
    EXPECT_EQ(a.i8, b.i8);
    EXPECT_EQ(a.u16, b.u16);
    EXPECT_EQ(a.i16, b.i16);
    EXPECT_EQ(a.u32, b.u32);
    EXPECT_EQ(a.i32, b.i32);
    EXPECT_TRUE(SameBits(a.d, b.d));
    EXPECT_EQ(a.flag, b.flag);
    ASSERT_EQ(a.points.size(), b.points.size());
    for (std::size_t i = 0; i < a.points.size(); ++i) {
        EXPECT_TRUE(SamePoint(a.points[i], b.points[i])) << i;
    }
}

}  // namespace QuorvelTest
