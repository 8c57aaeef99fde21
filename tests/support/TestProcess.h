// The operating-system calls of the test programs' private folders: the process id, a fresh
// folder and the environment (TestProcess_posix.cpp, TestProcess_win32.cpp).
#pragma once

#include <filesystem>

namespace QuorvelTest {

long CurrentProcessId();

// Makes a new, empty folder below `parent` whose name starts with `prefix`; false when none
// could be made.
bool MakeFreshFolder(const std::filesystem::path& parent, const char* prefix,
                     std::filesystem::path& made);

// Sets or removes an environment variable of this process, for the C library and the
// platform alike.
void SetVariable(const char* name, const char* value);
void UnsetVariable(const char* name);

}  // namespace QuorvelTest
