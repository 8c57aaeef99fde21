// The hive as every platform has it (the SQLite file, or the registry with or without kernel
// transactions): a test program's settings live in its private place, and a save with a failed
// write fails and says so.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "TestFolders.h"
#include "TestRecords.h"
#include "settings/MemberExchange.h"
#include "settings/RegistryHive.h"
#include "settings/SettingsStorageRegistry.h"
#include "settings/StorageDiagnostics.h"

using namespace Zezezezo;
using QuorvelTest::CThreeValues;

namespace {

const std::wstring kKey = L"Software\\Pelvarin\\Quorvel Control Software\\Hive Test";

class HiveSave : public ::testing::Test {
protected:
    void SetUp() override {
        QuorvelTest::EmptyPrivateFolders();
        SetStorageDiagnostics([this](const std::wstring& line) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_reports.push_back(line);
        });
    }
    void TearDown() override { SetStorageDiagnostics({}); }

    bool Reported(const std::wstring& fragment) {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const auto& line : m_reports) {
            if (line.find(fragment) != std::wstring::npos) {
                return true;
            }
        }
        return false;
    }

private:
    std::mutex m_lock;
    std::vector<std::wstring> m_reports;
};

}  // namespace

TEST_F(HiveSave, SettingsLiveInTheTestProgramsPrivatePlace) {
    CThreeValues record;
    CSettingsStorageRegistry storage(kKey);
    ASSERT_TRUE(record.Save(&storage));
    std::wstring where;
    ASSERT_EQ(HiveCheck(&where), HiveResult::Success);
    EXPECT_EQ(where.rfind(QuorvelTest::PrivateSettingsPlace(), 0), 0u)
        << std::string(where.begin(), where.end());
}

TEST_F(HiveSave, AFailedWriteFailsTheSaveAndIsReported) {
    CThreeValues first;
    CSettingsStorageRegistry storage(kKey);
    ASSERT_TRUE(first.Save(&storage));

    CThreeValues second;
    second.a = 10;
    second.c2 = 30;
    second.middle = std::wstring(20000, L'n');
    EXPECT_FALSE(second.Save(&storage));
    EXPECT_TRUE(Reported(L"could not be stored"));

    // The value that was written is either the new one (written value by value) or the old one
    // (the transaction was rolled back); the refused value was not written anywhere.
    CThreeValues loaded;
    loaded.a = loaded.b = loaded.c2 = 0;
    ASSERT_TRUE(loaded.Load(&storage));
    EXPECT_TRUE(loaded.a == 1u || loaded.a == 10u) << loaded.a;
    EXPECT_EQ(loaded.b, 2u);
}
