#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "TestFolders.h"
#include "TestProcess.h"
#include "platform/DebugOutput.h"
#include "platform/Paths.h"

using namespace Platform;
namespace fs = std::filesystem;

namespace {

// Sets an environment variable for one scope and restores it.
class EnvScope {
public:
    EnvScope(const char* name, const char* value) : m_name(name) {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (m_had) {
            m_old = old;
        }
        if (value != nullptr) {
            QuorvelTest::SetVariable(name, value);
        } else {
            QuorvelTest::UnsetVariable(name);
        }
    }
    ~EnvScope() {
        if (m_had) {
            QuorvelTest::SetVariable(m_name, m_old.c_str());
        } else {
            QuorvelTest::UnsetVariable(m_name);
        }
    }

private:
    const char* m_name;
    bool m_had = false;
    std::string m_old;
};

fs::path Scratch(const std::string& name) {
    const fs::path folder = QuorvelTest::StateHome() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

}  // namespace

TEST(Folders, FollowTheEnvironmentOverrides) {
    EnvScope config("XDG_CONFIG_HOME", "/srv/cfg");
    EnvScope state("XDG_STATE_HOME", "/srv/state");
    EnvScope ports("QUORVEL_PORT_DIR", nullptr);
    EXPECT_EQ(ConfigHome(), fs::path("/srv/cfg"));
    EXPECT_EQ(LogFolder(), fs::path("/srv/state/Pelvarin/Quorvel Control Software/logs"));
    EXPECT_EQ(SettingsHiveFile(),
              fs::path("/srv/cfg/Pelvarin/Quorvel Control Software/settings.sqlite"));
    EXPECT_EQ(PortDirectory(), fs::path("/srv/cfg/Pelvarin/Quorvel Control Software/ports"));
    EnvScope portsSet("QUORVEL_PORT_DIR", "/srv/ports");
    EXPECT_EQ(PortDirectory(), fs::path("/srv/ports"));
}

TEST(Folders, DefaultsBelowHomeWhenUnsetOrRelative) {
    EnvScope home("HOME", "/home/op");
    EnvScope config("XDG_CONFIG_HOME", "relative/cfg");
    EnvScope state("XDG_STATE_HOME", nullptr);
    EXPECT_EQ(ConfigHome(), fs::path("/home/op/.config"));
    EXPECT_EQ(AppDataHome(), fs::path("/home/op/.local/state"));
}

TEST(ComPorts, FallbackMappingCoversThreeDeviceFamilies) {
    EnvScope ports("QUORVEL_PORT_DIR", Scratch("no-ports").c_str());
    EXPECT_EQ(ComPortDevicePath(1), fs::path("/dev/ttyS0"));
    EXPECT_EQ(ComPortDevicePath(32), fs::path("/dev/ttyS31"));
    EXPECT_EQ(ComPortDevicePath(33), fs::path("/dev/ttyUSB0"));
    EXPECT_EQ(ComPortDevicePath(64), fs::path("/dev/ttyUSB31"));
    EXPECT_EQ(ComPortDevicePath(65), fs::path("/dev/ttyACM0"));
    EXPECT_EQ(ComPortDevicePath(96), fs::path("/dev/ttyACM31"));
    EXPECT_TRUE(ComPortDevicePath(0).empty());
    EXPECT_TRUE(ComPortDevicePath(97).empty());
    EXPECT_TRUE(ComPortDevicePath(255).empty());
}

TEST(ComPorts, PortDirectoryEntryWins) {
    const fs::path dir = Scratch("ports");
    EnvScope ports("QUORVEL_PORT_DIR", dir.c_str());
    fs::create_symlink("/dev/pts/7", dir / "COM3");
    fs::create_symlink("../devices/sim0", dir / "COM120");    // relative to the port folder
    EXPECT_EQ(ComPortDevicePath(3), fs::path("/dev/pts/7"));  // dangling is fine: reported on open
    EXPECT_EQ(ComPortDevicePath(120), dir / "../devices/sim0");
    EXPECT_EQ(ComPortDevicePath(4), fs::path("/dev/ttyS3"));
}

TEST(Folders, CreateFoldersMakesParentsAndReportsFailure) {
    const fs::path base = Scratch("create");
    EXPECT_TRUE(CreateFolders(base / "a" / "b" / "c"));
    EXPECT_TRUE(fs::is_directory(base / "a" / "b" / "c"));
    EXPECT_TRUE(CreateFolders(base / "a"));
    std::ofstream(base / "file") << "x";
    EXPECT_FALSE(CreateFolders(base / "file" / "sub"));
}

TEST(Desktop, OpenHandsTheTargetToXdgOpen) {
    const fs::path bin = Scratch("bin");
    const fs::path seen = bin / "seen.txt";
    {
        std::ofstream script(bin / "xdg-open");
        script << "#!/bin/sh\nprintf '%s' \"$1\" > '" << seen.string() << ".tmp'\nmv '"
               << seen.string() << ".tmp' '" << seen.string() << "'\n";
    }
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    const fs::path target = bin / "a log.log";
    std::ofstream(target) << "x";
    EnvScope path("PATH", (bin.string() + ":/usr/bin:/bin").c_str());
    EXPECT_FALSE(OpenWithDesktop(bin / "missing.log"));
    ASSERT_TRUE(OpenWithDesktop(target));
    for (int i = 0; i < 1000 && !fs::exists(seen); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(seen);
    std::string argument;
    std::getline(in, argument);
    EXPECT_EQ(argument, target.string());
}

TEST(Desktop, OpenFailsWithoutXdgOpen) {
    const fs::path empty = Scratch("empty-bin");
    EnvScope path("PATH", empty.c_str());
    EXPECT_FALSE(OpenWithDesktop(empty));
}

TEST(DebugOutput, SwitchFollowsTheEnvironment) {
    {
        EnvScope on("QUORVEL_DEBUG_OUTPUT", "1");
        EXPECT_TRUE(DebugOutputEnabled());
    }
    std::ifstream status("/proc/self/status");
    std::string line;
    bool traced = false;
    while (std::getline(status, line)) {
        traced |= line.rfind("TracerPid:", 0) == 0 && std::stol(line.substr(10)) != 0;
    }
    if (traced) {
        GTEST_SKIP() << "running under a debugger: the sink is on regardless";
    }
    EnvScope off("QUORVEL_DEBUG_OUTPUT", "0");
    EXPECT_FALSE(DebugOutputEnabled());
    ::testing::internal::CaptureStderr();
    OutputDebugLine(L"not shown");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}
