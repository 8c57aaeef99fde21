// Folders and devices on Windows: the per-user and all-users application data folders,
// the COM device namespace and the shell's "open" verb.
// <windows.h> before the headers that build on it.
// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

#include <cstdlib>
#include <string>

#include "platform/Paths.h"

namespace Platform {

namespace {

std::filesystem::path FromEnvironment(const wchar_t* variable) {
    wchar_t value[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(variable, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::filesystem::path(value) : std::filesystem::path();
}

std::filesystem::path KnownFolder(int csidl) {
    wchar_t folder[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return folder;
    }
    return std::filesystem::temp_directory_path();
}

}  // namespace

std::filesystem::path ConfigHome() {
    const auto overridden = FromEnvironment(L"XDG_CONFIG_HOME");
    return overridden.empty() ? KnownFolder(CSIDL_APPDATA) : overridden;
}

std::filesystem::path AppDataHome() {
    const auto overridden = FromEnvironment(L"XDG_STATE_HOME");
    return overridden.empty() ? KnownFolder(CSIDL_COMMON_APPDATA) : overridden;
}

std::filesystem::path ComPortDevicePath(unsigned int n) {
    if (n == 0 || n > 255) {
        return {};
    }
    return L"\\\\.\\COM" + std::to_wstring(n);
}

bool OpenWithDesktop(const std::filesystem::path& target) {
    const wchar_t* verb = std::filesystem::is_directory(target) ? L"explore" : L"open";
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, verb, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace Platform
