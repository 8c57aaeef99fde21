// Start-up and shutdown of the program: first run, the log file of the run, the simulator
// run that keeps the operator's connection, and closing — by the window, by the session's
// request with a dialog open, and by SIGTERM — disconnecting before anything is saved.
#include <unistd.h>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>
#include <regex>
#include <system_error>

#include "AppFixture.h"
#include "CommandIds.h"
#include "DesktopSession.h"
#include "EmbeddedSimulator.h"
#include "ToolkitProfile.h"
#include "platform/Paths.h"
#include "platform/TextConvert.h"
#include "settings/RegistryHive.h"

namespace {

using Program = AppFixture;

bool KeyExistsIn(const wchar_t* path) {
    return AppFixture::KeyExists(path);
}

TEST_F(Program, FirstRunStartsWithDefaultsAndCreatesBothKeysAtExit) {
    ASSERT_FALSE(KeyExists(CQuorvelApp::kAppSettingsKey));
    Start();
    EXPECT_EQ(app->Settings().nLogCeiling, 6);
    EXPECT_EQ(app->Settings().nAppStyle, 0);
    EXPECT_EQ(app->Settings().dMaxZenith, 90.0);
    EXPECT_TRUE(app->Settings().AlignmentArray.empty());
    EXPECT_EQ(Device()->GetSettings().nPort, 0u);
    EXPECT_EQ(Device()->GetSettings().nBaud, 115200u);
    EXPECT_EQ(app->Look(), 219u);
    EXPECT_EQ(Frame()->windowTitle(), "Pelvarin Quorvel Control Software");
    EXPECT_TRUE(boxes.boxes.empty());
    Exit();
    EXPECT_TRUE(KeyExists(CQuorvelApp::kAppSettingsKey));
    EXPECT_TRUE(KeyExists(CQuorvelApp::kDeviceSettingsKey));
    EXPECT_EQ(ToolkitProfile::ReadInt(L"ApplicationLook", 0), 219u);
}

TEST_F(Program, LogFileOfTheRunHoldsTheStartupLinesInTheLineFormat) {
    CQuorvelAppSettings stored;
    stored.nLogCeiling = 7;
    ASSERT_TRUE(stored.SaveToRegistry());
    Start();
    const std::wstring path = app->LogPath();
    Exit();

    const std::wregex name(LR"(.*/\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_SystemLog\.log)");
    EXPECT_TRUE(std::regex_match(path, name));
    const auto lines = Log();
    ASSERT_FALSE(lines.empty());
    const std::wregex format(
        LR"(\[(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d \d\d:\d\d:\d\d\.\d{3}; )"
        LR"((Emergency|Alert|Critical|Error|Warning|Notice|Informational|Debug)\]: .+)");
    for (const auto& line : lines)
        EXPECT_TRUE(std::regex_match(line, format));
    // (The library's ceiling line precedes its path and lands in the file of the process's
    // first run; here that may be an earlier test's file.)
    EXPECT_TRUE(GuiTest::LogHas(lines, L"QuorvelDll: Logfile path set to \"" + path + L"\""));
    // The program's own path line comes before its settings are loaded, at ceiling 6.
    EXPECT_FALSE(GuiTest::LogHas(lines, L"Application logfile path set to \"" + path + L"\""));
}

TEST_F(Program, SimulatorRunKeepsTheOperatorsSavedConnection) {
    CQuorvelSettings saved;
    saved.nPort = 3;
    saved.nBaud = 9600;
    {
        Zezezezo::CSettingsStorageRegistry storage(CQuorvelApp::kDeviceSettingsKey);
        ASSERT_TRUE(saved.Save(&storage));
    }
    Start(true);
    EXPECT_EQ(Device()->GetSettings().nPort, CEmbeddedSimulator::kPort);
    ConnectToSimulator();
    Exit();
    CQuorvelSettings after;
    Zezezezo::CSettingsStorageRegistry storage(CQuorvelApp::kDeviceSettingsKey);
    ASSERT_TRUE(after.Load(&storage));
    EXPECT_EQ(after.nPort, 3u);
    EXPECT_EQ(after.nBaud, 9600u);
}

TEST_F(Program, ClosingWhileConnectedDisconnectsBeforeTheSettingsAreSaved) {
    Start(true);
    ConnectToSimulator();
    Frame()->close();
    EXPECT_FALSE(Device()->IsConnected());
    EXPECT_FALSE(KeyExists(CQuorvelApp::kAppSettingsKey));  // not saved yet
    Exit();
    EXPECT_TRUE(KeyExists(CQuorvelApp::kAppSettingsKey));
    EXPECT_TRUE(KeyExists(CQuorvelApp::kDeviceSettingsKey));
}

TEST_F(Program, SessionEndWithADialogOpenCancelsItAndClosesAsTheWindowWould) {
    Start(true);
    ConnectToSimulator();
    QTimer::singleShot(50, [&] { app->CloseFromSession(); });
    Frame()->OnCommand(Cmd::ApplicationSettings);  // modal until the session ends
    ASSERT_TRUE(GuiTest::RunLoopUntil([&] { return !Frame()->isVisible(); }, 3000));
    EXPECT_FALSE(Device()->IsConnected());
    EXPECT_FALSE(GuiTest::LogHas(Log(), L"The logging ceiling has been changed to 6"));
    Exit();
    EXPECT_TRUE(KeyExists(CQuorvelApp::kDeviceSettingsKey));
}

TEST_F(Program, SigtermClosesTheMainWindow) {
    Start(true);
    ConnectToSimulator();
    CShutdownRequests requests([&] { app->CloseFromSession(); });
    ::kill(::getpid(), SIGTERM);
    ASSERT_TRUE(GuiTest::RunLoopUntil([&] { return !Frame()->isVisible(); }, 3000));
    EXPECT_FALSE(Device()->IsConnected());
}

}  // namespace

namespace {

TEST(ProgramLogFolder, AFolderThatCannotBeMadeIsReportedAndStartUpGoesOn) {
    GuiTest::CPrivateFolders folders;
    // The state folder is a plain file, so no log folder can be made below it.
    const auto blocker = folders.Root() / "state-is-a-file";
    std::ofstream(blocker) << "x";
    ::setenv("XDG_STATE_HOME", blocker.c_str(), 1);
    GuiTest::CRecordingBoxes boxes;
    CQuorvelAppOptions options;
    options.messageBoxes = &boxes;
    CQuorvelApp app(options);
    ASSERT_TRUE(app.InitInstance());
    const std::wstring folder = app.LogPath();
    EXPECT_NE(app.Device(), nullptr);
    app.ExitInstance();
    EXPECT_TRUE(folder.ends_with(L"/logs/"));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    // Not a bad path name: the system's own reason, with the folder named.
    EXPECT_EQ(boxes.boxes[0].text,
              L"The log folder \"" + folder + L"\" could not be created: " +
                  Platform::Utf8ToWide(std::make_error_code(std::errc::not_a_directory).message()) +
                  L". This run writes no log file.");
    EXPECT_TRUE(KeyExistsIn(CQuorvelApp::kAppSettingsKey));
}

// The operator's three alignment points and connection in a settings file whose values page
// (the last page: the values of so small a file fit in one) is then half overwritten with
// garbage, as a bad sector would leave it.
class DamagedSettingsFile : public AppFixture {
protected:
    void SetUp() override {
        CQuorvelAppSettings stored;
        stored.dLatitude = 48.1374;
        for (int i = 0; i < 3; ++i) {
            Zezezezo::CAlignmentSettings point;
            point.dSunAzimuth = 100.0 + i;
            point.dQuorvelAzimuth = 101.0 + i;
            stored.AlignmentArray.push_back(point);
        }
        ASSERT_TRUE(stored.SaveToRegistry());
        CQuorvelSettings connection;
        connection.nPort = 7;
        Zezezezo::CSettingsStorageRegistry storage(CQuorvelApp::kDeviceSettingsKey);
        ASSERT_TRUE(connection.Save(&storage));
        std::fstream file(HiveFile(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(0, std::ios::end);
        const std::streamoff size = file.tellg();
        ASSERT_GE(size, 3 * 4096);
        file.seekp(size - 4096);
        file << std::string(2048, '\xA5');
        file.close();
        damaged = ReadBytes(HiveFile());
    }
    static std::filesystem::path HiveFile() { return Platform::SettingsHiveFile(); }
    static std::string ReadBytes(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string damaged;
};

TEST_F(DamagedSettingsFile, TheOperatorIsAskedAndNoLeavesItUntouchedAndSavesNothing) {
    boxes.answer = IDNO;
    Start();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const std::wstring& question = boxes.boxes[0].text;
    EXPECT_NE(question.find(L"is damaged"), std::wstring::npos);
    EXPECT_NE(question.find(L"\"" + HiveFile().wstring() + L"\""), std::wstring::npos);
    EXPECT_NE(question.find(L"keep a copy"), std::wstring::npos);
    EXPECT_EQ(boxes.boxes[0].type & 0x0F, MB_YESNO);
    EXPECT_TRUE(app->KeepsDamagedStore());
    app->SaveAllSettings();
    Exit();
    EXPECT_EQ(ReadBytes(HiveFile()), damaged);
    const auto lines = Log();
    EXPECT_TRUE(GuiTest::LogHas(lines, L"The operator chose to leave the damaged settings file \"" +
                                           HiveFile().wstring() +
                                           L"\" untouched: no settings are saved in this run"));
    // The settings layer's own complaints reach the log, the library's in its own lines.
    const auto has = [&](const std::wstring& fragment) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& line) {
            return line.find(fragment) != std::wstring::npos;
        });
    };
    EXPECT_TRUE(has(L"; Warning]: Settings: the settings file \"" + HiveFile().wstring()));
    EXPECT_TRUE(has(L"; Warning]: QuorvelDll: Settings: the settings file \""));
}

TEST_F(DamagedSettingsFile, YesKeepsACopyBesideItBeforeAnythingIsWrittenAndStartsAfresh) {
    boxes.answer = IDYES;
    Start();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    std::vector<std::filesystem::path> copies;
    for (const auto& entry : std::filesystem::directory_iterator(HiveFile().parent_path())) {
        if (entry.path().filename().string().find(".damaged-") != std::string::npos)
            copies.push_back(entry.path());
    }
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(ReadBytes(copies[0]), damaged);
    EXPECT_TRUE(app->Settings().AlignmentArray.empty());
    EXPECT_FALSE(app->KeepsDamagedStore());
    Exit();
    EXPECT_EQ(ReadBytes(copies[0]), damaged);
    EXPECT_EQ(Zezezezo::HiveCheck(nullptr), Zezezezo::HiveResult::Success);
    EXPECT_TRUE(KeyExists(CQuorvelApp::kAppSettingsKey));
    EXPECT_TRUE(GuiTest::LogHas(Log(),
                                L"The operator chose to start afresh: the damaged settings "
                                L"file \"" +
                                    HiveFile().wstring() + L"\" is kept as \"" +
                                    copies[0].wstring() + L"\" and default settings are used"));
}

}  // namespace
