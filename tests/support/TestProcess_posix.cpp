#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "TestProcess.h"

namespace QuorvelTest {

long CurrentProcessId() {
    return static_cast<long>(::getpid());
}

bool MakeFreshFolder(const std::filesystem::path& parent, const char* prefix,
                     std::filesystem::path& made) {
    std::string pattern = (parent / (std::string(prefix) + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return false;
    }
    made = pattern;
    return true;
}

bool MakePrivateSettingsRoot(std::string& made) {
    made.clear();
    return true;
}

void RemovePrivateSettingsRoot(const std::string&) {}

void EmptyPrivateSettingsRoot(const std::string&) {}

std::string PrivateSettingsRootProblem(const std::string&) {
    return {};
}

std::string CaptureDebuggerOutput(const std::function<void()>& action) {
    ::testing::internal::CaptureStderr();
    action();
    return ::testing::internal::GetCapturedStderr();
}

void SetVariable(const char* name, const char* value) {
    ::setenv(name, value, 1);
}

void UnsetVariable(const char* name) {
    ::unsetenv(name);
}

}  // namespace QuorvelTest
