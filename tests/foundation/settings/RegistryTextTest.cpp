// Export of a key tree to the registry editor's text and import of that text.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "HiveFixture.h"
#include "TestRecords.h"
#include "platform/TextConvert.h"
#include "settings/RegistryText.h"
#include "settings/SettingsStorageRegistry.h"

using namespace Zezezezo;
using QuorvelTest::CEveryKind;

namespace {

const std::wstring kRoot = L"Software\\Pelvarin\\Quorvel Control Software";

class RegistryText : public QuorvelTest::HiveTest {
protected:
    std::filesystem::path File(const char* name) { return QuorvelTest::ConfigHome() / name; }

    static std::wstring DecodeUtf16(const std::string& bytes) {
        std::u16string units;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
        return Platform::Utf16ToWide(units);
    }

    std::wstring Export(const std::wstring& key = kRoot) {
        std::wstring error;
        EXPECT_TRUE(ExportRegistryText(key, File("out.reg"), &error)) << error.size();
        const std::string bytes = QuorvelTest::ReadBytes(File("out.reg"));
        EXPECT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE"));
        return DecodeUtf16(bytes);
    }

    void WriteUtf8(const char* name, const std::string& text) {
        QuorvelTest::WriteBytes(File(name), text);
    }
};

TEST_F(RegistryText, ExportAndReimportGiveTheSameTree) {
    CEveryKind saved = QuorvelTest::Filled();
    saved.text = L"line\r\nbreak and \"quotes\" \\ and \U0001F600";
    CSettingsStorageRegistry storage(kRoot + L"\\Application Settings");
    ASSERT_TRUE(saved.Save(&storage));
    PutValue(kRoot + L"\\Quorvel Settings", L"port", kHiveDword, {3, 0, 0, 0});
    PutValue(kRoot + L"\\Quorvel Settings", L"", kHiveSz, {'d', 0});
    PutValue(kRoot + L"\\Quorvel Settings", L"odd", kHiveSz, {'x', 0, 'y'});
    PutValue(kRoot + L"\\Quorvel Settings", L"q", kHiveQword, std::vector<std::uint8_t>(8, 0xAB));
    PutValue(kRoot + L"\\Quorvel Settings", L"big", kHiveBinary, std::vector<std::uint8_t>(100, 7));

    const std::wstring first = Export();
    HiveKey key = nullptr;
    ASSERT_EQ(HiveCreateKey(HiveCurrentUser(), L"Software", &key), HiveResult::Success);
    ASSERT_EQ(HiveDeleteTree(key, L"Pelvarin"), HiveResult::Success);
    HiveCloseKey(key);
    ASSERT_FALSE(KeyExists(kRoot));

    std::wstring error;
    ASSERT_TRUE(ImportRegistryText(File("out.reg"), &error));
    EXPECT_EQ(Export(), first);

    CEveryKind loaded;
    ASSERT_TRUE(loaded.Load(&storage));
    EXPECT_EQ(loaded.text, saved.text);
    EXPECT_TRUE(QuorvelTest::SameBits(loaded.d, saved.d));
    EXPECT_EQ(loaded.points.size(), 3u);
    EXPECT_TRUE(QuorvelTest::SamePoint(loaded.points[2], saved.points[2]));
}

TEST_F(RegistryText, ExportUsesTheRegistryEditorForms) {
    PutValue(kRoot + L"\\Quorvel Settings", L"port", kHiveDword, {10, 0, 0, 0});
    PutValue(kRoot + L"\\Quorvel Settings", L"path \"x\"", kHiveSz,
             {'C', 0, ':', 0, '\\', 0, '"', 0});
    PutValue(kRoot + L"\\Quorvel Settings", L"", kHiveSz, {'a', 0});
    PutValue(kRoot + L"\\Quorvel Settings", L"dMaxZenith", kHiveBinary,
             {0, 0, 0, 0, 0, 0x80, 0x56, 0x40});
    PutValue(kRoot + L"\\Quorvel Settings", L"long", kHiveBinary, std::vector<std::uint8_t>(40, 1));

    const std::wstring text = Export(kRoot + L"\\Quorvel Settings");
    const std::wstring expected =
        L"Windows Registry Editor Version 5.00\r\n"
        L"\r\n"
        L"[HKEY_CURRENT_USER\\Software\\Pelvarin\\Quorvel Control Software\\Quorvel Settings]\r\n"
        L"@=\"a\"\r\n"
        L"\"dMaxZenith\"=hex:00,00,00,00,00,80,56,40\r\n"
        L"\"long\"=hex:01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,\\\r\n"
        L"  01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01\r\n"
        L"\"path \\\"x\\\"\"=\"C:\\\\\\\"\"\r\n"
        L"\"port\"=dword:0000000a\r\n"
        L"\r\n";
    EXPECT_EQ(text, expected);
}

TEST_F(RegistryText, ImportReadsUtf8WithDeletionsAndComments) {
    PutValue(kRoot + L"\\Old", L"x", kHiveDword, {1, 0, 0, 0});
    PutValue(kRoot + L"\\Keep", L"gone", kHiveDword, {1, 0, 0, 0});
    WriteUtf8("in.reg",
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
              "\n"
              "; a comment\n"
              "[-HKEY_CURRENT_USER\\Software\\Pelvarin\\Quorvel Control Software\\Old]\n"
              "[HKEY_CURRENT_USER\\Software\\Pelvarin\\Quorvel Control Software\\Keep]\n"
              "\"gone\"=-\n"
              "\"baud\" = dword:0001C200\n"
              "\"name\"=\"caf\xC3\xA9\"\n"
              "\"dir\"=\"C:\\\\\"\n"  // ends in an escaped backslash, not a continuation
              "\"after\"=dword:00000001\n"
              "\"bytes\"=hex(b):01,02,\\\n"
              "   03,04,05,06,07,08\n");
    std::wstring error;
    ASSERT_TRUE(ImportRegistryText(File("in.reg"), &error));
    EXPECT_FALSE(KeyExists(kRoot + L"\\Old"));
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    EXPECT_FALSE(GetValue(kRoot + L"\\Keep", L"gone", &type, &data));
    ASSERT_TRUE(GetValue(kRoot + L"\\Keep", L"baud", &type, &data));
    EXPECT_EQ(type, kHiveDword);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x00, 0xC2, 0x01, 0x00}));
    ASSERT_TRUE(GetValue(kRoot + L"\\Keep", L"name", &type, &data));
    EXPECT_EQ(type, kHiveSz);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{'c', 0, 'a', 0, 'f', 0, 0xE9, 0}));
    ASSERT_TRUE(GetValue(kRoot + L"\\Keep", L"dir", &type, &data));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{'C', 0, ':', 0, '\\', 0}));
    EXPECT_TRUE(GetValue(kRoot + L"\\Keep", L"after", &type, &data));
    ASSERT_TRUE(GetValue(kRoot + L"\\Keep", L"bytes", &type, &data));
    EXPECT_EQ(type, kHiveQword);
    EXPECT_EQ(data.size(), 8u);
}

TEST_F(RegistryText, SyntaxErrorNamesTheLineAndChangesNothing) {
    PutValue(kRoot + L"\\Keep", L"baud", kHiveDword, {1, 0, 0, 0});
    const std::string exported = "Windows Registry Editor Version 5.00\r\n\r\n";
    const struct {
        const char* body;
        const char* line;
    } cases[] = {
        {"[HKEY_CURRENT_USER\\Software\\X]\r\n\"a\"=dword:1\r\n\"b\"=dword:xyz\r\n", "line 5:"},
        {"[HKEY_CURRENT_USER\\Software\\X]\r\n\"a\"=\"open\r\n", "line 4:"},
        {"[HKEY_LOCAL_MACHINE\\Software\\X]\r\n", "line 3:"},
        {"\"a\"=dword:1\r\n", "line 3:"},
        {"[HKEY_CURRENT_USER\\Software\\X\r\n", "line 3:"},
        {"[HKEY_CURRENT_USER\\Software\\X]\r\n\"a\"=hex:01,2g\r\n", "line 4:"},
        {"[HKEY_CURRENT_USER\\Software\\X]\r\njunk\r\n", "line 4:"},
        {"[-HKEY_CURRENT_USER]\r\n", "line 3:"},
        {"[HKEY_CURRENT_USER\\Software\\Pelvarin\\Quorvel Control Software\\Keep]\r\n"
         "\"baud\"=dword:000000ff\r\n\"x\"=dword:123456789\r\n",
         "line 5:"},
    };
    for (const auto& c : cases) {
        WriteUtf8("bad.reg", exported + c.body);
        std::wstring error;
        EXPECT_FALSE(ImportRegistryText(File("bad.reg"), &error)) << c.body;
        EXPECT_NE(error.find(Platform::Utf8ToWide(c.line)), std::wstring::npos)
            << c.body << " -> " << Platform::WideToUtf8(error);
        EXPECT_TRUE(Reported(Platform::Utf8ToWide(c.line)));
    }
    EXPECT_FALSE(KeyExists(L"Software\\X"));
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(GetValue(kRoot + L"\\Keep", L"baud", &type, &data));
    EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 0, 0, 0}));

    WriteUtf8("bad.reg", "REGEDIT4\r\n");
    std::wstring error;
    EXPECT_FALSE(ImportRegistryText(File("bad.reg"), &error));
    EXPECT_NE(error.find(L"line 1: the file does not begin with"), std::wstring::npos);
}

TEST_F(RegistryText, ExportOfAMissingKeyOrToAnUnwritablePlaceFails) {
    std::wstring error;
    EXPECT_FALSE(ExportRegistryText(L"Software\\Nothing", File("none.reg"), &error));
    EXPECT_NE(error.find(L"not found"), std::wstring::npos);
    EXPECT_FALSE(std::filesystem::exists(File("none.reg")));

    PutValue(kRoot, L"v", kHiveDword, {1, 0, 0, 0});
    EXPECT_FALSE(ExportRegistryText(kRoot, File("no/such/folder/x.reg"), &error));
    EXPECT_NE(error.find(L"cannot write"), std::wstring::npos);
    EXPECT_FALSE(ImportRegistryText(File("missing.reg"), &error));
    EXPECT_NE(error.find(L"cannot open"), std::wstring::npos);
}

// An export to a symbolic link writes the file the link leads to and keeps the link; a name
// that is neither a regular file nor new (a pipe, a device) is refused and left alone.
TEST_F(RegistryText, ExportWritesThroughALinkAndRefusesWhatIsNotARegularFile) {
    PutValue(kRoot, L"v", kHiveDword, {1, 0, 0, 0});
    QuorvelTest::WriteBytes(File("real.reg"), "old");
    std::filesystem::remove(File("link.reg"));
    std::filesystem::create_symlink(File("real.reg"), File("link.reg"));
    std::wstring error;
    ASSERT_TRUE(ExportRegistryText(kRoot, File("link.reg"), &error)) << error.size();
    EXPECT_TRUE(std::filesystem::is_symlink(File("link.reg")));
    EXPECT_NE(DecodeUtf16(QuorvelTest::ReadBytes(File("real.reg"))).find(L"\"v\"=dword:00000001"),
              std::wstring::npos);
    EXPECT_FALSE(std::filesystem::exists(File("real.reg.tmp")));

    std::filesystem::remove(File("pipe.reg"));
    ASSERT_EQ(0, ::mkfifo(File("pipe.reg").c_str(), 0600));
    std::filesystem::remove(File("null.reg"));
    std::filesystem::create_symlink("/dev/null", File("null.reg"));
    std::filesystem::remove(File("dangling.reg"));
    std::filesystem::create_symlink(File("nowhere.reg"), File("dangling.reg"));
    for (const char* name : {"pipe.reg", "null.reg", "dangling.reg"}) {
        error.clear();
        EXPECT_FALSE(ExportRegistryText(kRoot, File(name), &error)) << name;
        EXPECT_NE(error.find(L"give a regular file or a new name"), std::wstring::npos)
            << name << ": " << Platform::WideToUtf8(error);
    }
    EXPECT_EQ(std::filesystem::file_type::fifo,
              std::filesystem::symlink_status(File("pipe.reg")).type());
    EXPECT_TRUE(std::filesystem::is_symlink(File("null.reg")));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    EXPECT_FALSE(std::filesystem::exists(File("nowhere.reg")));
}

// An import reads a bounded amount: a file without end, an over-long line and a value the
// store cannot hold are refused with what is wrong, and control bytes are never echoed.
TEST_F(RegistryText, ImportIsBoundedAndSaysWhatIsWrong) {
    std::wstring error;
    EXPECT_FALSE(ImportRegistryText("/dev/zero", &error));
    EXPECT_NE(error.find(L"is larger than 64 MB"), std::wstring::npos)
        << Platform::WideToUtf8(error);

    const std::string head =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n";
    WriteUtf8("long.reg", head + "\"a\"=\"" + std::string(2u << 20, 'x') + "\"\r\n");
    EXPECT_FALSE(ImportRegistryText(File("long.reg"), &error));
    EXPECT_NE(error.find(L"line 4: the line is longer than"), std::wstring::npos)
        << Platform::WideToUtf8(error);

    // 16 MB and one byte of hex data, written as the registry editor wraps it.
    std::string big = head + "\"big\"=hex:";
    const std::size_t count = (16u << 20) + 1;
    big.reserve(big.size() + count * 3 + count / 8 * 4);
    for (std::size_t i = 0; i < count; ++i) {
        big += i + 1 < count ? "0," : "0\r\n";
        if (i % 32 == 31 && i + 1 < count)
            big += "\\\r\n";
    }
    WriteUtf8("big.reg", big);
    EXPECT_FALSE(ImportRegistryText(File("big.reg"), &error));
    EXPECT_NE(error.find(L"line 4: the value holds 16777217 bytes; a setting holds at most 16 MB"),
              std::wstring::npos)
        << Platform::WideToUtf8(error.substr(0, 200));

    WriteUtf8("ctl.reg", head + "\"a\"=hex:01,\x1b[2J\r\n");
    EXPECT_FALSE(ImportRegistryText(File("ctl.reg"), &error));
    EXPECT_NE(error.find(L"\"\\x1B[2J\" is not a hexadecimal byte"), std::wstring::npos)
        << Platform::WideToUtf8(error);
    EXPECT_FALSE(KeyExists(L"Software\\X"));
}

}  // namespace
