// Private folders of a test program. Before its first test, every test program points the
// per-user settings ($XDG_CONFIG_HOME), the logs ($XDG_STATE_HOME), the serial port links
// ($QUORVEL_PORT_DIR) and $HOME, with the folders derived from it, at fresh folders of its own,
// and removes them when it ends; on Windows, where the settings live in the registry, it points
// the hive at a fresh key of its own ($QUORVEL_REGISTRY_ROOT, TestProcess.h) likewise. Whatever
// the shell that starts a test program by hand has set, no test can reach the user's own
// settings, logs or ports.
#pragma once

#include <filesystem>

namespace QuorvelTest {

// The folder that holds all of them (a fresh folder below the temporary folder).
std::filesystem::path PrivateRoot();
std::filesystem::path ConfigHome();  // $XDG_CONFIG_HOME
std::filesystem::path StateHome();   // $XDG_STATE_HOME
std::filesystem::path PortFolder();  // $QUORVEL_PORT_DIR

// Where the settings hive of the test program lives, as the hive names it: the private
// registry key "HKEY_CURRENT_USER\Software\QuorvelTests\..." on Windows, ConfigHome()
// elsewhere.
std::wstring PrivateSettingsPlace();

// Empties the settings, log and port folders (and the private registry key), as on a
// computer where the program has never run. Only ever these private folders, whatever the
// environment says at the time.
void EmptyPrivateFolders();

}  // namespace QuorvelTest
