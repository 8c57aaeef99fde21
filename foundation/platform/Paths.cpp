#include <cstdlib>
#include <system_error>

#include "platform/Paths.h"

namespace Platform {

namespace {

std::filesystem::path ProductFolder(const std::filesystem::path& base) {
    return base / "Pelvarin" / "Quorvel Control Software";
}

}  // namespace

std::filesystem::path LogFolder() {
    return ProductFolder(AppDataHome()) / "logs";
}

std::filesystem::path SettingsHiveFile() {
    return ProductFolder(ConfigHome()) / "settings.sqlite";
}

std::filesystem::path PortDirectory() {
    const char* overridden = std::getenv("QUORVEL_PORT_DIR");
    if (overridden != nullptr && *overridden != '\0') {
        return overridden;
    }
    return ProductFolder(ConfigHome()) / "ports";
}

bool CreateFolders(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

}  // namespace Platform
