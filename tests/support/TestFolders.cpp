// The private folders of a test program, made while the program starts (static
// initialisation, before main and before anything reads these variables) and removed at its
// exit by the process that made them.
#include "TestFolders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include "TestProcess.h"

namespace QuorvelTest {

namespace {

namespace fs = std::filesystem;

class CPrivateFolders : public ::testing::Environment {
public:
    CPrivateFolders() : m_creator(CurrentProcessId()) {
        if (!MakeFreshFolder(fs::temp_directory_path(), "quorvel-test-", m_root)) {
            std::perror("test program: cannot make its private folders");
            std::_Exit(2);  // running on would reach the user's own folders
        }
        Point("XDG_CONFIG_HOME", m_root / "config");
        Point("XDG_STATE_HOME", m_root / "state");
        Point("QUORVEL_PORT_DIR", m_root / "ports");
        Point("HOME", m_root / "home");
        Point("XDG_DATA_HOME", m_root / "home" / ".local" / "share");
        Point("XDG_CACHE_HOME", m_root / "home" / ".cache");
        if (!MakePrivateSettingsRoot(m_settingsRoot)) {
            std::fprintf(stderr, "test program: cannot make its private registry key\n");
            std::_Exit(2);  // running on would reach the user's own settings
        }
    }

    // Every variable is checked again before the first test: a test program must not start
    // on folders that are not its own.
    void SetUp() override {
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "QUORVEL_PORT_DIR", "HOME"}) {
            const char* value = std::getenv(name);
            ASSERT_TRUE(value != nullptr && fs::path(value).string().rfind(m_root.string(), 0) == 0)
                << name << " is not below the private folder " << m_root;
        }
        const std::string problem = PrivateSettingsRootProblem(m_settingsRoot);
        ASSERT_TRUE(problem.empty()) << problem;
    }

    // A child made by fork() that leaves through exit() must not remove its parent's folders.
    void Remove() const {
        if (CurrentProcessId() != m_creator)
            return;
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
        RemovePrivateSettingsRoot(m_settingsRoot);
    }

    const fs::path& Root() const { return m_root; }
    const std::string& SettingsRoot() const { return m_settingsRoot; }

private:
    static void Point(const char* name, const fs::path& folder) {
        fs::create_directories(folder);
        SetVariable(name, folder.string().c_str());
    }

    long m_creator;
    fs::path m_root;
    std::string m_settingsRoot;  // the private registry key on Windows; empty elsewhere
};

CPrivateFolders& Folders() {
    static CPrivateFolders* folders = [] {
        auto* made = new CPrivateFolders;  // owned by gtest from here on
        ::testing::AddGlobalTestEnvironment(made);
        std::atexit([] { Folders().Remove(); });
        return made;
    }();
    return *folders;
}

// Made during static initialisation of the test program, before main.
[[maybe_unused]] const bool g_made = (Folders(), true);

}  // namespace

fs::path PrivateRoot() {
    return Folders().Root();
}

fs::path ConfigHome() {
    return PrivateRoot() / "config";
}

fs::path StateHome() {
    return PrivateRoot() / "state";
}

fs::path PortFolder() {
    return PrivateRoot() / "ports";
}

std::wstring PrivateSettingsPlace() {
    const std::string& key = Folders().SettingsRoot();
    return key.empty() ? ConfigHome().wstring()
                       : L"HKEY_CURRENT_USER\\" + std::wstring(key.begin(), key.end());
}

void EmptyPrivateFolders() {
    for (const fs::path& folder : {ConfigHome(), StateHome(), PortFolder()}) {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder, ignored))
            fs::remove_all(entry.path(), ignored);
    }
    EmptyPrivateSettingsRoot(Folders().SettingsRoot());
}

}  // namespace QuorvelTest
