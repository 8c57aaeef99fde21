// A started program per test: private folders, the application object with its real main
// frame, and a recording box service in place of Qt's boxes.
#pragma once

#include <gtest/gtest.h>
#include <memory>

#include "GuiTestSupport.h"
#include "MainFrame.h"
#include "QuorvelApp.h"
#include "core/Quorvel.h"
#include "settings/SettingsStorageRegistry.h"

struct AppFixture : ::testing::Test {
    GuiTest::CPrivateFolders folders;
    GuiTest::CRecordingBoxes boxes;
    std::unique_ptr<CQuorvelApp> app;

    void Start(bool simulator = false, Platform::IClock* countdownClock = nullptr) {
        CQuorvelAppOptions options;
        options.simulator = simulator;
        options.messageBoxes = &boxes;
        options.countdownClock = countdownClock;
        app = std::make_unique<CQuorvelApp>(options);
        ASSERT_TRUE(app->InitInstance());
        Frame()->activateWindow();
        GuiTest::RunLoopFor(20);
    }
    void Exit() {
        if (app)
            app->ExitInstance();
    }
    void TearDown() override {
        Exit();
        app.reset();
    }
    CMainFrame* Frame() const { return app->MainFrame(); }
    CQuorvel* Device() const { return app->Device(); }
    std::vector<std::wstring> Log() const { return GuiTest::ReadLogLines(folders.LogFolder()); }
    void ConnectToSimulator() {
        Frame()->OnCommand(32773);
        ASSERT_TRUE(GuiTest::RunLoopUntil([&] { return Device()->IsConnected() != 0; }, 5000));
    }

    static bool KeyExists(const wchar_t* path) {
        Zezezezo::CSettingsStorageRegistry storage(path);
        const bool opened = storage.BeginLoad();
        storage.EndLoad();
        return opened;
    }
};
