// The GUI's own state in the settings store ("ApplicationLook" and the like), below
// "Software\Pelvarin\Quorvel Control Software\Workspace" as the toolkit keeps it.
#pragma once

#include <cstdint>

namespace ToolkitProfile {
constexpr const wchar_t* kPath = L"Software\\Pelvarin\\Quorvel Control Software\\Workspace";
std::uint32_t ReadInt(const wchar_t* entry, std::uint32_t defaultValue);
bool WriteInt(const wchar_t* entry, std::uint32_t value);
}  // namespace ToolkitProfile
