// The operating-system calls of the test programs' private folders: the process id, a fresh
// folder and the environment (TestProcess_posix.cpp, TestProcess_win32.cpp).
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace QuorvelTest {

long CurrentProcessId();

// Makes a new, empty folder below `parent` whose name starts with `prefix`; false when none
// could be made.
bool MakeFreshFolder(const std::filesystem::path& parent, const char* prefix,
                     std::filesystem::path& made);

// The settings hive of a test program. On Windows it is the registry: a fresh key
// HKEY_CURRENT_USER\Software\QuorvelTests\<pid>-<n> is made, QUORVEL_REGISTRY_ROOT names it
// (the hive then places "Software\Pelvarin\..." below it) and `made` receives its path;
// false when none could be made. Elsewhere the hive is a file below $XDG_CONFIG_HOME and
// there is nothing to make (`made` stays empty).
bool MakePrivateSettingsRoot(std::string& made);
// Deletes that key with everything below it (only the key, the contents).
void RemovePrivateSettingsRoot(const std::string& made);
void EmptyPrivateSettingsRoot(const std::string& made);
// Empty when the hive will use the private root, else what is wrong.
std::string PrivateSettingsRootProblem(const std::string& made);

// What `action` writes to this process's debugger output, as a debugger would see it: the
// debugger sink writes standard error on POSIX; on Windows it calls OutputDebugStringW, whose
// text is read here from the system's debug-output buffer (DBWIN_BUFFER, as a debug viewer
// reads it), one call after the other.
std::string CaptureDebuggerOutput(const std::function<void()>& action);

// Sets or removes an environment variable of this process, for the C library and the
// platform alike.
void SetVariable(const char* name, const char* value);
void UnsetVariable(const char* name);

}  // namespace QuorvelTest
