// The folders and device names of the system on this host, with their environment
// overrides for tests and operators.
#pragma once

#include <filesystem>
#include <string>

namespace Platform {

// Per-user configuration folder ($XDG_CONFIG_HOME, default ~/.config).
std::filesystem::path ConfigHome();
// All-users application data folder for logs ($XDG_STATE_HOME, default ~/.local/state).
std::filesystem::path AppDataHome();
// The log folder: AppDataHome()/Pelvarin/Quorvel Control Software/logs.
std::filesystem::path LogFolder();
// The per-user settings hive file: ConfigHome()/Pelvarin/Quorvel Control Software/settings.sqlite.
std::filesystem::path SettingsHiveFile();
// The port directory ($QUORVEL_PORT_DIR, default ConfigHome()/Pelvarin/Quorvel Control Software/ports).
std::filesystem::path PortDirectory();

// Device path of COM port `n`: the target of the entry "COM<n>" in PortDirectory() when
// there is one; otherwise COM1-32 -> /dev/ttyS0-31, COM33-64 -> /dev/ttyUSB0-31,
// COM65-96 -> /dev/ttyACM0-31; empty for other numbers.
std::filesystem::path ComPortDevicePath(unsigned int n);

// Creates a folder and its parents; true when it exists afterwards.
bool CreateFolders(const std::filesystem::path& folder);

// Opens a file or folder with the desktop's default handler (xdg-open); false on failure.
bool OpenWithDesktop(const std::filesystem::path& target);

}  // namespace Platform
