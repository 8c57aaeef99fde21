#include <windows.h>

#include <cstdlib>
#include <string>
#include <system_error>

#include "TestProcess.h"

namespace QuorvelTest {

long CurrentProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

// No mkdtemp here: the process id and the tick count name a candidate, and creating it fails
// when the name is taken, so the first one made is ours alone.
bool MakeFreshFolder(const std::filesystem::path& parent, const char* prefix,
                     std::filesystem::path& made) {
    const std::string stem = prefix + std::to_string(GetCurrentProcessId()) + "-";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = parent / (stem + std::to_string(GetTickCount64() + attempt));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            made = candidate;
            return true;
        }
    }
    return false;
}

// _putenv_s changes the C runtime's copy and the process environment both; an empty value
// removes the variable.
void SetVariable(const char* name, const char* value) {
    _putenv_s(name, value);
}

void UnsetVariable(const char* name) {
    _putenv_s(name, "");
}

}  // namespace QuorvelTest
