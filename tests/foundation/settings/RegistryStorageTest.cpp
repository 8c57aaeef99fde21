// CSettingsStorageRegistry over the SQLite hive: the stored layout, round trips, the
// failure cases that must lose nothing, and transactions.
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "HiveFixture.h"
#include "TestRecords.h"
#include "settings/SettingsStorageRegistry.h"

using namespace Zezezezo;
using QuorvelTest::CEveryKind;

namespace {

const std::wstring kKey = L"Software\\Pelvarin\\Quorvel Control Software\\Test Settings";

class RegistryStorage : public QuorvelTest::HiveTest {
protected:
    static bool Save(CSettings& r, const std::wstring& path = kKey) {
        CSettingsStorageRegistry storage(path);
        return r.Save(&storage);
    }
    static bool Load(CSettings& r, const std::wstring& path = kKey) {
        CSettingsStorageRegistry storage(path);
        return r.Load(&storage);
    }
    static std::uint32_t TypeOf(const std::wstring& path, const std::wstring& name,
                                std::size_t* size) {
        std::uint32_t type = kHiveNone;
        std::vector<std::uint8_t> data;
        EXPECT_TRUE(GetValue(path, name, &type, &data)) << std::string(name.begin(), name.end());
        *size = data.size();
        return type;
    }
};

TEST_F(RegistryStorage, EveryKindRoundTripsBitForBit) {
    CEveryKind saved = QuorvelTest::Filled();
    ASSERT_TRUE(Save(saved));
    CEveryKind loaded;
    ASSERT_TRUE(Load(loaded));
    QuorvelTest::ExpectSameRecord(loaded, saved);

    // The awkward floating-point values, each on its own.
    const double doubles[] = {-0.0,
                              4.9e-324,
                              -2.2250738585072009e-308,
                              std::bit_cast<double>(0x7FF0000000000001ull),  // signalling NaN
                              std::bit_cast<double>(0xFFF8DEADBEEF0000ull),
                              1e308};
    const float floats[] = {
        -0.0f,   1.4e-45f, std::bit_cast<float>(0x7F800001u), std::bit_cast<float>(0xFFC0BEEFu),
        3.4e38f, -1.0f};
    for (std::size_t i = 0; i < 6; ++i) {
        saved.d = doubles[i];
        saved.f = floats[i];
        saved.points[0].dQuorvelZenith = doubles[i];
        ASSERT_TRUE(Save(saved));
        ASSERT_TRUE(Load(loaded));
        EXPECT_TRUE(QuorvelTest::SameBits(loaded.d, doubles[i])) << i;
        EXPECT_TRUE(QuorvelTest::SameBits(loaded.f, floats[i])) << i;
        EXPECT_TRUE(QuorvelTest::SameBits(loaded.points[0].dQuorvelZenith, doubles[i])) << i;
    }
    EXPECT_TRUE(Reports().empty());
}

TEST_F(RegistryStorage, ValuesAreStoredWithTheRegistryTypes) {
    CEveryKind saved = QuorvelTest::Filled();
    ASSERT_TRUE(Save(saved));
    std::size_t size = 0;
    for (const wchar_t* name :
         {L"nUint8", L"nInt8", L"nUint16", L"nInt16", L"nUint32", L"nInt32", L"bFlag"}) {
        EXPECT_EQ(TypeOf(kKey, name, &size), kHiveDword);
        EXPECT_EQ(size, 4u);
    }
    EXPECT_EQ(TypeOf(kKey, L"fFloat", &size), kHiveBinary);
    EXPECT_EQ(size, 4u);
    for (const wchar_t* name : {L"dDouble", L"nInt64", L"nUint64"}) {
        EXPECT_EQ(TypeOf(kKey, name, &size), kHiveBinary);
        EXPECT_EQ(size, 8u);
    }
    // Text: UTF-16 without a terminator; the emoji takes a surrogate pair.
    EXPECT_EQ(TypeOf(kKey, L"sText", &size), kHiveSz);
    EXPECT_EQ(size, (saved.text.size() + 1) * 2);

    // The array: "Count" and one sub-key per element, each an alignment data point with its
    // four 8-byte doubles and a "timestamp" sub-key of eight DWORDs.
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(GetValue(kKey + L"\\Points", L"Count", &type, &data));
    EXPECT_EQ(type, kHiveDword);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{3, 0, 0, 0}));
    const std::wstring point = kKey + L"\\Points\\2";
    for (const wchar_t* name :
         {L"dSunAzimuth", L"dSunZenith", L"dQuorvelAzimuth", L"dQuorvelZenith"}) {
        EXPECT_EQ(TypeOf(point, name, &size), kHiveBinary);
        EXPECT_EQ(size, 8u);
    }
    ASSERT_TRUE(GetValue(point, L"dSunAzimuth", &type, &data));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));  // 4.9e-324, LE
    for (const wchar_t* name : {L"wYear", L"wMonth", L"wDayOfWeek", L"wDay", L"wHour", L"wMinute",
                                L"wSecond", L"wMilliseconds"}) {
        EXPECT_EQ(TypeOf(point + L"\\timestamp", name, &size), kHiveDword);
    }
    ASSERT_TRUE(GetValue(point + L"\\timestamp", L"wYear", &type, &data));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0xE6, 0x07, 0, 0}));  // 2022
}

TEST_F(RegistryStorage, FirstRunLeavesConstructorValuesAndCreatesNothing) {
    CEveryKind r;
    r.u32 = 12345;
    EXPECT_FALSE(Load(r));
    EXPECT_EQ(r.u32, 12345u);
    EXPECT_FALSE(std::filesystem::exists(QuorvelTest::HiveFile()));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(RegistryStorage, MissingValueTakesItsDefault) {
    PutValue(kKey, L"nUint32", kHiveDword, {7, 0, 0, 0});
    CEveryKind r = QuorvelTest::Filled();
    EXPECT_TRUE(Load(r));
    EXPECT_EQ(r.u32, 7u);
    EXPECT_EQ(r.i32, -32);
    EXPECT_EQ(r.text, L"default");
    EXPECT_TRUE(r.points.empty());  // no array key: emptied, nothing read
}

TEST_F(RegistryStorage, NamesCompareCaseInsensitively) {
    PutValue(L"SOFTWARE\\pelvarin\\QUORVEL Control Software\\test settings", L"NUINT32", kHiveDword,
             {9, 0, 0, 0});
    CEveryKind r;
    EXPECT_TRUE(Load(r));
    EXPECT_EQ(r.u32, 9u);
    ASSERT_TRUE(Save(r));
    // Saving again under the other spelling reuses the same key and value.
    HiveKey key = nullptr;
    ASSERT_EQ(HiveOpenKey(HiveCurrentUser(), kKey, false, &key), HiveResult::Success);
    std::vector<HiveValue> values;
    ASSERT_EQ(HiveEnumValues(key, &values), HiveResult::Success);
    HiveCloseKey(key);
    EXPECT_EQ(std::count_if(values.begin(), values.end(),
                            [](const HiveValue& v) { return HiveNamesEqual(v.name, L"nUint32"); }),
              1);
    EXPECT_TRUE(HiveNamesEqual(L"Caf\u00e9 \u0416", L"CAF\u00c9 \u0436"));
}

TEST_F(RegistryStorage, ValueOfTheWrongSizeReadsAsMissing) {
    PutValue(kKey, L"nUint32", kHiveDword, {1, 2, 3, 4, 5, 6, 7, 8});  // longer
    PutValue(kKey, L"dDouble", kHiveBinary, {1, 2, 3, 4});             // shorter
    PutValue(kKey, L"nInt32", kHiveBinary, {5, 0, 0, 0});              // other type, same size
    CEveryKind r = QuorvelTest::Filled();
    EXPECT_TRUE(Load(r));
    EXPECT_EQ(r.u32, 32u);
    EXPECT_EQ(r.d, 2.5);
    EXPECT_EQ(r.i32, 5);  // the bytes are used as they are
    EXPECT_TRUE(Reported(L"nUint32\" holds 8 bytes where 4 are expected"));
    EXPECT_TRUE(Reported(L"dDouble\" holds 4 bytes where 8 are expected"));
    EXPECT_TRUE(Reported(L"nInt32\" is stored as BINARY where DWORD is expected"));
}

TEST_F(RegistryStorage, LongTextIsReadThroughTheSecondAttempt) {
    CEveryKind r;
    r.text = std::wstring(500, L'\u00e9') + L"\U0001F600";
    ASSERT_TRUE(Save(r));
    CEveryKind loaded;
    ASSERT_TRUE(Load(loaded));
    EXPECT_EQ(loaded.text, r.text);
}

class RegistryArrays : public RegistryStorage {
protected:
    void SetUp() override {
        RegistryStorage::SetUp();
        CEveryKind r;
        for (int i = 0; i < 3; ++i) {
            r.points.push_back(QuorvelTest::Point(i, 2000));
        }
        ASSERT_TRUE(Save(r));
    }
    std::vector<double> LoadedAzimuths() {
        CEveryKind r;
        r.points = {QuorvelTest::Point(99, 1999)};
        EXPECT_TRUE(Load(r));
        std::vector<double> azimuths;
        for (const auto& p : r.points) {
            azimuths.push_back(p.dSunAzimuth);
        }
        return azimuths;
    }
    static void SetCount(std::uint32_t count) {
        PutValue(kKey + L"\\Points", L"Count", kHiveDword,
                 {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
                  static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 24)});
    }
};

TEST_F(RegistryArrays, MissingElementIsSkipped) {
    HiveKey key = nullptr;
    ASSERT_EQ(HiveCreateKey(HiveCurrentUser(), kKey + L"\\Points", &key), HiveResult::Success);
    ASSERT_EQ(HiveDeleteTree(key, L"1"), HiveResult::Success);
    HiveCloseKey(key);
    EXPECT_EQ(LoadedAzimuths(), (std::vector<double>{0.0, 2.0}));
}

TEST_F(RegistryArrays, EmptyAndCountless) {
    SetCount(0);
    EXPECT_TRUE(LoadedAzimuths().empty());
    HiveKey key = nullptr;
    ASSERT_EQ(HiveCreateKey(HiveCurrentUser(), kKey + L"\\Points", &key), HiveResult::Success);
    ASSERT_EQ(HiveDeleteValue(key, L"Count"), HiveResult::Success);
    HiveCloseKey(key);
    EXPECT_TRUE(LoadedAzimuths().empty());

    CEveryKind none;
    ASSERT_TRUE(Save(none));
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(GetValue(kKey + L"\\Points", L"Count", &type, &data));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

TEST_F(RegistryArrays, CountOfFourBillionReadsOnlyTheElementsThatExist) {
    // Without the element listing this would try four billion indices and never finish
    // within the test's time-out.
    SetCount(4000000000u);
    PutValue(kKey + L"\\Points\\01", L"dSunAzimuth", kHiveBinary, {0, 0, 0, 0, 0, 0, 0, 0});
    PutValue(kKey + L"\\Points\\x", L"dSunAzimuth", kHiveBinary, {0, 0, 0, 0, 0, 0, 0, 0});
    PutValue(kKey + L"\\Points\\12", L"dSunAzimuth", kHiveBinary,
             {0, 0, 0, 0, 0, 0, 0x28, 0x40});  // 12.0
    EXPECT_EQ(LoadedAzimuths(), (std::vector<double>{0.0, 1.0, 2.0, 12.0}));
}

TEST_F(RegistryArrays, ElementsAtOrAboveTheCountAreIgnored) {
    SetCount(2);
    EXPECT_EQ(LoadedAzimuths(), (std::vector<double>{0.0, 1.0}));
}

TEST_F(RegistryStorage, CorruptFileIsReportedAndLeftAlone) {
    const std::string garbage(4096, '\x5a');
    QuorvelTest::WriteBytes(QuorvelTest::HiveFile(), garbage);
    CEveryKind r = QuorvelTest::Filled();
    EXPECT_FALSE(Load(r));
    EXPECT_EQ(r.u32, 4000000000u);  // untouched
    EXPECT_FALSE(Save(r));
    EXPECT_EQ(QuorvelTest::ReadBytes(QuorvelTest::HiveFile()), garbage);
    EXPECT_TRUE(Reported(L"is damaged or is not a settings file"));
    EXPECT_TRUE(Reported(QuorvelTest::HiveFile().wstring()));
}

TEST_F(RegistryStorage, ForeignSqliteDatabaseIsNotTouched) {
    std::filesystem::create_directories(QuorvelTest::HiveFolder());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QuorvelTest::HiveFile().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE photos(x); INSERT INTO photos VALUES(1);", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const std::string before = QuorvelTest::ReadBytes(QuorvelTest::HiveFile());
    CEveryKind r;
    EXPECT_FALSE(Save(r));
    EXPECT_FALSE(Load(r));
    EXPECT_EQ(QuorvelTest::ReadBytes(QuorvelTest::HiveFile()), before);
    EXPECT_TRUE(Reported(L"is an SQLite database but not a settings file"));
}

TEST_F(RegistryStorage, LockedFileFailsAfterTheBusyTimeoutAndKeepsTheRecord) {
    CEveryKind first = QuorvelTest::Filled();
    ASSERT_TRUE(Save(first));
    HiveSetBusyTimeout(std::chrono::milliseconds(50));

    // Another writer holds the file exclusively (SQLite locks between connections in one
    // process as it does between processes).
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QuorvelTest::HiveFile().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    CEveryKind second;
    EXPECT_FALSE(Save(second));
    EXPECT_TRUE(Reported(L"is locked by another process"));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    CEveryKind loaded;
    ASSERT_TRUE(Load(loaded));
    QuorvelTest::ExpectSameRecord(loaded, first);
}

TEST_F(RegistryStorage, SaveThatFailsHalfwayKeepsThePreviousRecord) {
    QuorvelTest::CThreeValues first;
    ASSERT_TRUE(Save(first));

    QuorvelTest::CThreeValues second;
    second.a = 10;
    second.c2 = 30;
    second.middle = std::wstring(20000, L'n');
    EXPECT_FALSE(Save(second));
    EXPECT_TRUE(Reported(L"what was stored before is kept"));

    QuorvelTest::CThreeValues loaded;
    loaded.a = loaded.b = loaded.c2 = 0;
    ASSERT_TRUE(Load(loaded));
    EXPECT_EQ(loaded.a, 1u);
    EXPECT_EQ(loaded.b, 2u);
    EXPECT_EQ(loaded.c2, 3u);
}

TEST_F(RegistryStorage, ProcessKilledDuringSaveLeavesThePreviousRecordWhole) {
    CEveryKind first = QuorvelTest::Filled();
    ASSERT_TRUE(Save(first));

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Writes enough to spill pages into the file itself, then dies without closing.
        CSettingsStorageRegistry storage(kKey);
        if (!storage.BeginSave()) {
            _exit(2);
        }
        std::uint32_t value = 999;
        storage.Exchange(L"nUint32", value, true);
        std::wstring filler(4000, L'f');
        for (int i = 0; i < 3000; ++i) {
            storage.Exchange((L"filler" + std::to_wstring(i)).c_str(), filler, true);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    // The dead writer's journal is what the next reader plays back.
    auto journal = QuorvelTest::HiveFile();
    journal += "-journal";
    EXPECT_TRUE(std::filesystem::exists(journal));

    CEveryKind loaded;
    ASSERT_TRUE(Load(loaded));
    QuorvelTest::ExpectSameRecord(loaded, first);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    EXPECT_FALSE(GetValue(kKey, L"filler0", &type, &data));
    CEveryKind again;
    EXPECT_TRUE(Save(again));  // the hive is usable again
}

// Runs `body` as an unprivileged user when the tests run as root, so that folder
// permissions apply. Returns false (and skips) when that user cannot reach the sandbox.
int RunUnprivileged(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(90);
        }
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

TEST_F(RegistryStorage, ReadOnlyFolderMakesSaveFailAndLosesNothing) {
    CEveryKind first = QuorvelTest::Filled();
    ASSERT_TRUE(Save(first));
    const auto folder = QuorvelTest::HiveFolder();
    // Every folder on the way must be reachable by the unprivileged user.
    for (auto p = folder; p != p.root_path(); p = p.parent_path()) {
        if (geteuid() == 0 && p.string().rfind(QuorvelTest::ConfigHome().string(), 0) == 0) {
            chmod(p.c_str(), 0755);
        }
    }
    chmod(QuorvelTest::HiveFile().c_str(), 0644);
    chmod(folder.c_str(), 0555);
    const int result = RunUnprivileged([] {
        if (access(QuorvelTest::HiveFile().c_str(), R_OK) != 0) {
            return 77;
        }
        CEveryKind second;
        if (Save(second)) {
            return 1;
        }
        CEveryKind loaded;
        if (!Load(loaded) || loaded.u32 != 4000000000u || loaded.points.size() != 3) {
            return 2;
        }
        return 0;
    });
    chmod(folder.c_str(), 0755);
    if (result == 77 || result == 90) {
        GTEST_SKIP() << "the unprivileged user cannot reach " << folder
                     << "; run the tests as a normal user or from a world-readable folder";
    }
    EXPECT_EQ(result, 0);
    CEveryKind loaded;
    ASSERT_TRUE(Load(loaded));
    QuorvelTest::ExpectSameRecord(loaded, first);
}

TEST_F(RegistryStorage, OverlongPathIsRefused) {
    CEveryKind r;
    EXPECT_FALSE(Save(r, std::wstring(CSettingsStorageRegistry::kMaxPath + 1, L'k')));
    EXPECT_TRUE(Reported(L"is longer than 259 characters"));
    EXPECT_TRUE(
        Save(r, std::wstring(CSettingsStorageRegistry::kMaxPath - 4, L'k').insert(100, L"\\")));
}

TEST_F(RegistryStorage, StorageIsReassignedOnlyWhileClosed) {
    CSettingsStorageRegistry storage(kKey);
    ASSERT_TRUE(storage.BeginSave());
    EXPECT_FALSE(storage.Assign(HiveCurrentUser(), L"Elsewhere"));
    std::uint32_t v = 5;
    EXPECT_TRUE(storage.Exchange(L"nUint32", v, true));
    EXPECT_TRUE(storage.EndSave());
    EXPECT_TRUE(storage.Assign(HiveCurrentUser(), L"Elsewhere"));
    CEveryKind r;
    EXPECT_TRUE(r.Save(&storage));
    EXPECT_TRUE(KeyExists(L"elsewhere"));
    // Closed storages refuse exchanges instead of writing somewhere unexpected.
    EXPECT_FALSE(storage.Exchange(L"nUint32", v, true));
}

}  // namespace
