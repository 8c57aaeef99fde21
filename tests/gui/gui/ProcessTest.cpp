// The program as a process: SIGTERM ends it like closing the window (exit code 0, both
// settings records saved), and without a display it says how to run it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "GuiTestSupport.h"
#include "QuorvelApp.h"
#include "settings/SettingsStorageRegistry.h"

namespace {

bool KeyExists(const wchar_t* path) {
    Zezezezo::CSettingsStorageRegistry storage(path);
    const bool opened = storage.BeginLoad();
    storage.EndLoad();
    return opened;
}

TEST(ProgramProcess, SigtermClosesTheProgramAndSavesBothRecords) {
    GuiTest::CPrivateFolders folders;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);  // before fork: the child only execs
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl(QUORVEL_BINARY, QUORVEL_BINARY, "--simulator", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Started once its log file is there and its simulated port is linked.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool started = false;
    while (!started && std::chrono::steady_clock::now() < deadline) {
        std::error_code ec;
        started = std::filesystem::exists(folders.LogFolder(), ec) &&
                  !std::filesystem::is_empty(folders.LogFolder(), ec);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(started);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(KeyExists(CQuorvelApp::kAppSettingsKey));
    EXPECT_TRUE(KeyExists(CQuorvelApp::kDeviceSettingsKey));
}

TEST(ProgramProcess, WithoutADisplayItSaysHowToRunIt) {
    const std::string command =
        std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") + QUORVEL_BINARY +
        " --simulator 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe))
        output += buffer.data();
    const int status = ::pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(output.find("no display"), std::string::npos) << output;
    EXPECT_NE(output.find("xvfb-run"), std::string::npos) << output;
}

}  // namespace
