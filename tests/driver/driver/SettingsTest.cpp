// The connection settings record in the per-user settings store, directly and through the
// device object.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/Quorvel.h"
#include "platform/Paths.h"
#include "settings/RegistryHive.h"
#include "settings/SettingsStorageRegistry.h"

namespace {

const wchar_t kKey[] = L"Software\\Pelvarin\\Quorvel Control Software\\Quorvel Settings";

std::uint32_t StoredDword(const wchar_t* name, std::uint32_t* type) {
    Zezezezo::HiveKey key = nullptr;
    EXPECT_EQ(Zezezezo::HiveResult::Success,
              Zezezezo::HiveOpenKey(Zezezezo::HiveCurrentUser(), kKey, false, &key));
    std::uint32_t value = 0;
    std::size_t size = sizeof value;
    EXPECT_EQ(Zezezezo::HiveResult::Success,
              Zezezezo::HiveQueryValue(key, name, type, &value, &size));
    Zezezezo::HiveCloseKey(key);
    return value;
}

TEST(QuorvelSettings, DefaultsCopiesAndReset) {
    CQuorvelSettings s;
    EXPECT_EQ(0u, s.nPort);
    EXPECT_EQ(115200u, s.nBaud);
    s.nPort = 4;
    s.nBaud = 9600;
    CQuorvelSettings copy(s);
    CQuorvelSettings assigned;
    assigned = s;
    EXPECT_EQ(4u, copy.nPort);
    EXPECT_EQ(9600u, assigned.nBaud);
    EXPECT_TRUE(s.InternalSaveLoad(true, nullptr, false, true));  // reset touches no storage
    EXPECT_EQ(0u, s.nPort);
    EXPECT_EQ(115200u, s.nBaud);
}

TEST(QuorvelSettings, StoredAsTwoDwordsAndReadBack) {
    CQuorvelSettings s;
    s.nPort = 3;
    s.nBaud = 57600;
    Zezezezo::CSettingsStorageRegistry storage(kKey);
    ASSERT_TRUE(s.Save(&storage));
    std::uint32_t type = 0;
    EXPECT_EQ(3u, StoredDword(L"port", &type));
    EXPECT_EQ(Zezezezo::kHiveDword, type);
    EXPECT_EQ(57600u, StoredDword(L"baud", &type));

    CQuorvel quorvel(nullptr);
    quorvel.LoadSettings(storage);
    EXPECT_EQ(3u, quorvel.GetSettings().nPort);
    EXPECT_EQ(57600u, quorvel.GetSettings().nBaud);
    CQuorvelSettings changed;
    changed.nPort = 9;
    quorvel.SetSettings(changed);
    quorvel.SaveSettings(storage);
    EXPECT_EQ(9u, StoredDword(L"port", &type));
    EXPECT_EQ(115200u, StoredDword(L"baud", &type));
}

TEST(QuorvelSettings, MissingValueTakesItsDefault) {
    Zezezezo::CSettingsStorageRegistry storage(kKey);
    CQuorvelSettings s;
    s.nPort = 5;
    s.nBaud = 2400;
    ASSERT_TRUE(s.Save(&storage));
    Zezezezo::HiveKey key = nullptr;
    ASSERT_EQ(Zezezezo::HiveResult::Success,
              Zezezezo::HiveOpenKey(Zezezezo::HiveCurrentUser(), kKey, true, &key));
    Zezezezo::HiveDeleteValue(key, L"baud");
    Zezezezo::HiveCloseKey(key);
    CQuorvelSettings loaded;
    loaded.nBaud = 1;
    EXPECT_TRUE(loaded.Load(&storage));
    EXPECT_EQ(5u, loaded.nPort);
    EXPECT_EQ(115200u, loaded.nBaud);
}

// Stand-ins for the GUI's dialog: one the operator confirms after choosing COM7 at 9600, one
// cancelled after changing the working copy (the real dialog changes it only on OK, but the
// device object must still hand back whatever the dialog left).
int ChooseCom7(CQuorvelSettings& settings) {
    settings.nPort = 7;
    settings.nBaud = 9600;
    return IDOK;
}
int CancelAfterEditing(CQuorvelSettings& settings) {
    settings.nPort = 99;
    return IDCANCEL;
}

TEST(ConnectionSettingsDlgHook, RunsTheRegisteredDialogWithoutTouchingTheDevicesRecord) {
    CQuorvel quorvel(nullptr);
    CQuorvelSettings own;
    own.nPort = 3;
    quorvel.SetSettings(own);

    CQuorvelSettings settings;
    settings.nPort = 5;
    CQuorvel::SetConnectionSettingsDlgHook(nullptr);
    EXPECT_EQ(IDCANCEL, quorvel.LaunchConnectionSettingsDlg(settings));
    EXPECT_EQ(5u, settings.nPort);  // no dialog: the record is left as it was

    CQuorvel::SetConnectionSettingsDlgHook(&ChooseCom7);
    EXPECT_EQ(IDOK, quorvel.LaunchConnectionSettingsDlg(settings));
    EXPECT_EQ(7u, settings.nPort);
    EXPECT_EQ(9600u, settings.nBaud);
    EXPECT_EQ(3u, quorvel.GetSettings().nPort);

    CQuorvel::SetConnectionSettingsDlgHook(&CancelAfterEditing);
    EXPECT_EQ(IDCANCEL, quorvel.LaunchConnectionSettingsDlg(settings));
    EXPECT_EQ(99u, settings.nPort);
    EXPECT_EQ(3u, quorvel.GetSettings().nPort);
    CQuorvel::SetConnectionSettingsDlgHook(nullptr);
}

}  // namespace
