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

void SetVariable(const char* name, const char* value) {
    ::setenv(name, value, 1);
}

void UnsetVariable(const char* name) {
    ::unsetenv(name);
}

}  // namespace QuorvelTest
