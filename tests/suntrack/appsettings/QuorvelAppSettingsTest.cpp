// The application settings record: defaults on a first run, the stored form of every member,
// the data point array, the reset form and copies.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "QuorvelAppSettings.h"
#include "settings/RegistryHive.h"
#include "settings/SettingsStorageRegistry.h"

namespace {

using namespace Zezezezo;

const std::wstring kPath = CQuorvelAppSettings::kRegistryPath;

class AppSettings : public ::testing::Test {
protected:
    void SetUp() override { ClearStore(); }
    void TearDown() override { ClearStore(); }

    // Every case starts from a store without the program's keys (a first run).
    static void ClearStore() {
        HiveKey software = nullptr;
        ASSERT_EQ(HiveCreateKey(HiveCurrentUser(), L"Software", &software), HiveResult::Success);
        const HiveResult deleted = HiveDeleteTree(software, L"Pelvarin");
        EXPECT_TRUE(deleted == HiveResult::Success || deleted == HiveResult::NotFound);
        ASSERT_EQ(HiveCloseKey(software), HiveResult::Success);
    }

    // Writes a value below the application settings key (path relative to it).
    static void Put(const std::wstring& subPath, const wchar_t* name, std::uint32_t type,
                    const void* data, std::size_t size) {
        HiveKey key = nullptr;
        const std::wstring path = subPath.empty() ? kPath : kPath + L"\\" + subPath;
        ASSERT_EQ(HiveCreateKey(HiveCurrentUser(), path, &key), HiveResult::Success);
        ASSERT_EQ(HiveSetValue(key, name, type, data, size), HiveResult::Success);
        ASSERT_EQ(HiveCloseKey(key), HiveResult::Success);
    }
    static void PutDword(const std::wstring& subPath, const wchar_t* name, std::uint32_t v) {
        Put(subPath, name, kHiveDword, &v, sizeof v);
    }
    static void PutDouble(const std::wstring& subPath, const wchar_t* name, double v) {
        Put(subPath, name, kHiveBinary, &v, sizeof v);
    }
    static std::uint32_t TypeOf(const std::wstring& subPath, const wchar_t* name,
                                std::size_t* size) {
        HiveKey key = nullptr;
        const std::wstring path = subPath.empty() ? kPath : kPath + L"\\" + subPath;
        if (HiveOpenKey(HiveCurrentUser(), path, false, &key) != HiveResult::Success) {
            return kHiveNone;
        }
        std::uint32_t type = kHiveNone;
        *size = 0;
        HiveQueryValue(key, name, &type, nullptr, size);
        HiveCloseKey(key);
        return type;
    }
};

void ExpectDefaults(const CQuorvelAppSettings& s) {
    EXPECT_EQ(s.nLogCeiling, 6);
    EXPECT_EQ(s.nAppStyle, 0);
    EXPECT_EQ(s.dLongitude, 0.0);
    EXPECT_EQ(s.dLatitude, 0.0);
    EXPECT_EQ(s.dElevation, 0.0);
    EXPECT_EQ(s.dPressure, 0.0);
    EXPECT_EQ(s.dTemperature, 0.0);
    EXPECT_EQ(s.bLimitMaxZenith, 0);
    EXPECT_EQ(s.dMaxZenith, 90.0);
    EXPECT_EQ(s.bRunUntilStopped, 0);
}

CQuorvelAppSettings Edited() {
    CQuorvelAppSettings s;
    s.nLogCeiling = 7;
    s.nAppStyle = 4;
    s.dLongitude = 8.5417;
    s.dLatitude = 47.3769;
    s.dElevation = 408.5;
    s.dPressure = 965.25;
    s.dTemperature = -3.75;
    s.bLimitMaxZenith = 1;
    s.dMaxZenith = 0.1 + 0.2;  // not exactly representable: must survive bit for bit
    s.bRunUntilStopped = 1;
    for (int i = 0; i < 3; ++i) {
        CAlignmentSettings p;
        p.dSunAzimuth = 100.0 + i;
        p.dSunZenith = 40.0 + i;
        p.dQuorvelAzimuth = 110.0 + i;
        p.dQuorvelZenith = 41.0 + i;
        p.timestamp.time.wYear = 2026;
        p.timestamp.time.wMonth = 6;
        p.timestamp.time.wDay = static_cast<WORD>(20 + i);
        p.timestamp.time.wHour = 12;
        s.AlignmentArray.push_back(p);
    }
    return s;
}

TEST_F(AppSettings, FirstRunKeepsTheDefaults) {
    CQuorvelAppSettings s;
    ExpectDefaults(s);
    EXPECT_FALSE(s.LoadFromRegistry());  // no key yet
    ExpectDefaults(s);
    EXPECT_TRUE(s.AlignmentArray.empty());
}

TEST_F(AppSettings, SaveAndLoadRoundTrip) {
    const CQuorvelAppSettings saved = Edited();
    CQuorvelAppSettings copy = saved;
    ASSERT_TRUE(copy.SaveToRegistry());

    CQuorvelAppSettings loaded;
    ASSERT_TRUE(loaded.LoadFromRegistry());
    EXPECT_EQ(loaded.nLogCeiling, 7);
    EXPECT_EQ(loaded.nAppStyle, 4);
    EXPECT_EQ(loaded.dElevation, 408.5);
    EXPECT_EQ(loaded.dTemperature, -3.75);
    EXPECT_EQ(std::memcmp(&loaded.dMaxZenith, &saved.dMaxZenith, sizeof(double)), 0);
    EXPECT_EQ(loaded.bLimitMaxZenith, 1);
    EXPECT_EQ(loaded.bRunUntilStopped, 1);
    ASSERT_EQ(loaded.AlignmentArray.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(loaded.AlignmentArray[i].dSunAzimuth, 100.0 + static_cast<double>(i));
        EXPECT_EQ(loaded.AlignmentArray[i].dQuorvelZenith, 41.0 + static_cast<double>(i));
        EXPECT_EQ(loaded.AlignmentArray[i].timestamp.time, saved.AlignmentArray[i].timestamp.time);
    }

    // The stored form: DWORDs for integers and flags, 8-byte binaries for doubles, a sub-key
    // with "Count" for the data points.
    std::size_t size = 0;
    EXPECT_EQ(TypeOf(L"", L"nLogCeiling", &size), kHiveDword);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(TypeOf(L"", L"bLimitMaxZenith", &size), kHiveDword);
    EXPECT_EQ(TypeOf(L"", L"dMaxZenith", &size), kHiveBinary);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(TypeOf(L"AlignmentArray", L"Count", &size), kHiveDword);
    EXPECT_EQ(TypeOf(L"AlignmentArray\\2", L"dSunAzimuth", &size), kHiveBinary);
    EXPECT_EQ(TypeOf(L"AlignmentArray\\2\\timestamp", L"wDay", &size), kHiveDword);
}

// The armed unattended run: a DWORD beside the others; a record written before it existed
// reads as no run armed, so an old record never resumes anything.
TEST_F(AppSettings, ArmedRunFlagRoundTripsAndAnOldRecordIsNotArmed) {
    CQuorvelAppSettings old = Edited();
    ASSERT_TRUE(old.SaveToRegistry());
    HiveKey key = nullptr;
    ASSERT_EQ(HiveOpenKey(HiveCurrentUser(), kPath, true, &key), HiveResult::Success);
    ASSERT_EQ(HiveDeleteValue(key, L"bUnattendedRunArmed"), HiveResult::Success);
    HiveCloseKey(key);
    CQuorvelAppSettings loaded;
    loaded.bUnattendedRunArmed = 1;
    ASSERT_TRUE(loaded.LoadFromRegistry());
    EXPECT_EQ(loaded.bUnattendedRunArmed, 0);

    loaded.bUnattendedRunArmed = 1;
    ASSERT_TRUE(loaded.SaveToRegistry());
    CQuorvelAppSettings again;
    ASSERT_TRUE(again.LoadFromRegistry());
    EXPECT_EQ(again.bUnattendedRunArmed, 1);
    EXPECT_EQ(again.AlignmentArray.size(), 3u);
    std::size_t size = 0;
    EXPECT_EQ(TypeOf(L"", L"bUnattendedRunArmed", &size), kHiveDword);
}

TEST_F(AppSettings, StoredCountOfTwoLoadsTwoPointsInIndexOrder) {
    PutDword(L"AlignmentArray", L"Count", 2);
    // Written in reverse order on purpose: the index decides, not the order of creation.
    PutDouble(L"AlignmentArray\\1", L"dSunAzimuth", 222.0);
    PutDouble(L"AlignmentArray\\0", L"dSunAzimuth", 111.0);
    PutDouble(L"AlignmentArray\\0", L"dQuorvelZenith", 33.0);

    CQuorvelAppSettings s;
    EXPECT_TRUE(s.LoadFromRegistry());
    ASSERT_EQ(s.AlignmentArray.size(), 2u);
    EXPECT_EQ(s.AlignmentArray[0].dSunAzimuth, 111.0);
    EXPECT_EQ(s.AlignmentArray[0].dQuorvelZenith, 33.0);
    EXPECT_EQ(s.AlignmentArray[1].dSunAzimuth, 222.0);
    EXPECT_EQ(s.AlignmentArray[1].dQuorvelZenith, 0.0);
    ExpectDefaults(s);  // every other value is missing and takes its default
}

TEST_F(AppSettings, CountOfZeroLoadsNoneAndReplacesTheList) {
    PutDword(L"AlignmentArray", L"Count", 0);
    CQuorvelAppSettings s = Edited();
    EXPECT_TRUE(s.LoadFromRegistry());
    EXPECT_TRUE(s.AlignmentArray.empty());
}

TEST_F(AppSettings, MissingElementIsSkippedAndTheOthersKept) {
    PutDword(L"AlignmentArray", L"Count", 3);
    PutDouble(L"AlignmentArray\\0", L"dSunAzimuth", 10.0);
    PutDouble(L"AlignmentArray\\2", L"dSunAzimuth", 30.0);
    PutDword(L"", L"nAppStyle", 3);
    CQuorvelAppSettings s;
    s.LoadFromRegistry();
    ASSERT_EQ(s.AlignmentArray.size(), 2u);
    EXPECT_EQ(s.AlignmentArray[0].dSunAzimuth, 10.0);
    EXPECT_EQ(s.AlignmentArray[1].dSunAzimuth, 30.0);
    EXPECT_EQ(s.nAppStyle, 3);  // the members after a failure still load
}

TEST_F(AppSettings, ValuesAreLoadedUncheckedAndBadOnesTakeDefaults) {
    PutDouble(L"", L"dMaxZenith", -45.5);
    PutDword(L"", L"nLogCeiling", 3);
    const std::uint8_t tooLong[12] = {};
    Put(L"", L"dLatitude", kHiveBinary, tooLong, sizeof tooLong);  // larger than a double
    CQuorvelAppSettings s;
    s.dLatitude = 12.0;
    EXPECT_TRUE(s.LoadFromRegistry());
    EXPECT_EQ(s.dMaxZenith, -45.5);
    EXPECT_EQ(s.nLogCeiling, 3);
    EXPECT_EQ(s.dLatitude, 0.0);
}

TEST_F(AppSettings, ResetFormRestoresPlainMembersAndKeepsDataPoints) {
    CQuorvelAppSettings s = Edited();
    EXPECT_TRUE(s.InternalSaveLoad(true, nullptr, false, true));
    ExpectDefaults(s);
    EXPECT_EQ(s.AlignmentArray.size(), 3u);
}

TEST_F(AppSettings, CopiesAreIndependent) {
    CQuorvelAppSettings original = Edited();
    CQuorvelAppSettings copy = original;
    copy.AlignmentArray.pop_back();
    copy.dLatitude = -10.0;
    EXPECT_EQ(original.AlignmentArray.size(), 3u);
    EXPECT_EQ(original.dLatitude, 47.3769);
    CQuorvelAppSettings assigned;
    assigned = original;
    EXPECT_EQ(assigned.AlignmentArray.size(), 3u);
    EXPECT_EQ(assigned.dMaxZenith, original.dMaxZenith);

    const Suntrack::TrajectorySettings t = TrajectorySettingsOf(original);
    EXPECT_EQ(t.site.longitudeEastDeg, 8.5417);
    EXPECT_EQ(t.site.temperatureC, -3.75);
    EXPECT_EQ(t.maxZenithDeg, original.dMaxZenith);
}

}  // namespace
