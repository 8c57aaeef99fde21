// A hive file with a damaged page: found before anything is written, never saved over,
// set aside on request; an import into it fails; and a record's save that fails part-way
// through its array keeps what was stored before, points included.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include "HiveFixture.h"
#include "TestRecords.h"
#include "settings/RegistryHive.h"
#include "settings/RegistryText.h"
#include "settings/SettingsStorageRegistry.h"

using namespace Zezezezo;
using QuorvelTest::CEveryKind;

namespace {

const std::wstring kKey = L"Software\\Pelvarin\\Quorvel Control Software\\Test Record";
constexpr std::size_t kPageSize = 4096;  // SQLite's default page size, in bytes

class DamagedHive : public QuorvelTest::HiveTest {
protected:
    static bool Save(CSettings& record) {
        CSettingsStorageRegistry storage(kKey);
        return record.Save(&storage);
    }
    static bool Load(CSettings& record) {
        CSettingsStorageRegistry storage(kKey);
        return record.Load(&storage);
    }

    // A real hive with a record of three points, the connection's port and many values of
    // another key, then its last page (a b-tree page of those values) half overwritten with
    // garbage, as a bad sector would leave it.
    static std::string MakeDamagedHive() {
        CEveryKind stored = QuorvelTest::Filled();
        stored.points = {QuorvelTest::Point(10, 2026), QuorvelTest::Point(20, 2026),
                         QuorvelTest::Point(30, 2026)};
        EXPECT_TRUE(Save(stored));
        PutValue(L"Software\\Pelvarin\\Quorvel Control Software\\Quorvel Settings", L"port",
                 kHiveDword, {1, 0, 0, 0});
        // Values of a later key fill the pages after the record's, so the damage below hits
        // none of the pages a save of the record or an import of "port" touches.
        HiveKey filler = nullptr;
        EXPECT_EQ(HiveCreateKey(HiveCurrentUser(), L"Software\\Filler", &filler),
                  HiveResult::Success);
        const std::vector<std::uint8_t> data(100, 0x42);
        for (int i = 0; i < 200; ++i) {
            HiveSetValue(filler, (L"v" + std::to_wstring(i)).c_str(), kHiveBinary, data.data(),
                         data.size());
        }
        EXPECT_EQ(HiveCloseKey(filler), HiveResult::Success);
        std::string bytes = QuorvelTest::ReadBytes(QuorvelTest::HiveFile());
        EXPECT_EQ(bytes.size() % kPageSize, 0u);
        EXPECT_GE(bytes.size(), 3 * kPageSize);
        std::fill(bytes.end() - kPageSize, bytes.end() - kPageSize / 2, '\xA5');
        QuorvelTest::WriteBytes(QuorvelTest::HiveFile(), bytes);
        return bytes;
    }
};

TEST_F(DamagedHive, ADamagedPageIsFoundAndTheFileIsNeverWrittenOver) {
    const std::string damaged = MakeDamagedHive();
    std::wstring file;
    EXPECT_EQ(HiveCheck(&file), HiveResult::Corrupt);
    EXPECT_EQ(file, QuorvelTest::HiveFile().wstring());

    // Defaults saved over it, as a program at exit would, or any single value.
    CEveryKind defaults;
    EXPECT_FALSE(Save(defaults));
    HiveKey key = nullptr;
    EXPECT_EQ(HiveCreateKey(HiveCurrentUser(), L"Software\\Other", &key), HiveResult::Corrupt);
    EXPECT_EQ(QuorvelTest::ReadBytes(QuorvelTest::HiveFile()), damaged);
    EXPECT_TRUE(Reported(L"is damaged"));
    EXPECT_TRUE(Reported(L"nothing was saved"));
}

TEST_F(DamagedHive, ImportIntoADamagedFileFailsAndLeavesItAsItWas) {
    const std::string damaged = MakeDamagedHive();
    const auto reg = QuorvelTest::ConfigHome() / "in.reg";
    QuorvelTest::WriteBytes(reg,
                            "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_CURRENT_USER\\Software\\Pelvarin\\Quorvel Control "
                            "Software\\Quorvel Settings]\r\n\"port\"=dword:00000003\r\n");
    std::wstring error;
    EXPECT_FALSE(ImportRegistryText(reg, &error));
    EXPECT_NE(error.find(L"damaged"), std::wstring::npos);
    EXPECT_EQ(QuorvelTest::ReadBytes(QuorvelTest::HiveFile()), damaged);
}

TEST_F(DamagedHive, KeepingACopyMovesTheDamagedBytesAsideAndTheNextSaveStartsAfresh) {
    const std::string damaged = MakeDamagedHive();
    std::wstring copy;
    ASSERT_EQ(HiveKeepDamagedCopy(&copy), HiveResult::Success);
    EXPECT_EQ(std::filesystem::path(copy).parent_path(), QuorvelTest::HiveFolder());
    EXPECT_TRUE(copy.starts_with(QuorvelTest::HiveFile().wstring() + L".damaged-"));
    EXPECT_EQ(QuorvelTest::ReadBytes(copy), damaged);
    EXPECT_EQ(HiveCheck(nullptr), HiveResult::Success);

    CEveryKind fresh = QuorvelTest::Filled();
    ASSERT_TRUE(Save(fresh));
    CEveryKind loaded;
    ASSERT_TRUE(Load(loaded));
    QuorvelTest::ExpectSameRecord(loaded, fresh);
    EXPECT_EQ(QuorvelTest::ReadBytes(copy), damaged);
}

TEST_F(DamagedHive, ASaveThatFailsInTheMiddleOfItsArrayKeepsThePreviousRecordAndItsPoints) {
    CEveryKind first = QuorvelTest::Filled();
    first.points = {QuorvelTest::Point(10, 2026), QuorvelTest::Point(20, 2026),
                    QuorvelTest::Point(30, 2026)};
    ASSERT_TRUE(Save(first));

    // The engine refuses the key of the third point: the save is cut after the record's
    // own values, its array's count and two points have been written.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QuorvelTest::HiveFile().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER cut BEFORE UPDATE ON hive_values"
                           " WHEN NEW.name = 'dSunAzimuth' AND NEW.data = "
                           "(SELECT data FROM hive_values WHERE name = 'dDouble')"
                           " BEGIN SELECT RAISE(ABORT, 'injected'); END;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    CEveryKind second = first;
    second.u32 = 77;
    second.d = 99.0;
    second.points = {QuorvelTest::Point(40, 2027), QuorvelTest::Point(50, 2027),
                     QuorvelTest::Point(99, 2027)};
    EXPECT_FALSE(Save(second));
    EXPECT_TRUE(Reported(L"what was stored before is kept"));

    CEveryKind loaded;
    ASSERT_TRUE(Load(loaded));
    QuorvelTest::ExpectSameRecord(loaded, first);
}

}  // namespace
