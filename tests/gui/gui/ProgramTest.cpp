// Start-up and shutdown of the program: first run, the log file of the run, the simulator
// run that keeps the operator's connection, and closing — by the window, by the session's
// request with a dialog open, and by SIGTERM — disconnecting before anything is saved.
#include <unistd.h>
#include <QTimer>
#include <csignal>
#include <fstream>
#include <regex>

#include "AppFixture.h"
#include "CommandIds.h"
#include "DesktopSession.h"
#include "EmbeddedSimulator.h"
#include "ToolkitProfile.h"

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
    EXPECT_EQ(boxes.boxes[0].text, L"ERROR_BAD_PATHNAME: \"" + folder + L"\"");
    EXPECT_TRUE(KeyExistsIn(CQuorvelApp::kAppSettingsKey));
}

}  // namespace
