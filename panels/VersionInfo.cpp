#include "VersionInfo.h"

#include <cwctype>

#ifndef QUORVEL_FILE_VERSION
#define QUORVEL_FILE_VERSION ""
#endif

namespace {
// The version block of the program, filled from the build's project version.
struct VersionEntry {
    const wchar_t* key;
    const char* value;
};
constexpr VersionEntry kVersionBlock[] = {
    {L"CompanyName", "Pelvarin"},
    {L"FileDescription", "Quorvel Control Software"},
    {L"FileVersion", QUORVEL_FILE_VERSION},
    {L"ProductName", "Quorvel Control Software"},
    {L"ProductVersion", QUORVEL_FILE_VERSION},
};
}  // namespace

std::wstring ReadVersionString(const std::wstring& key) {
    for (const VersionEntry& entry : kVersionBlock) {
        if (key == entry.key) {
            std::wstring value;
            for (const char* p = entry.value; *p; ++p)
                value.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
            return value;
        }
    }
    return {};
}

std::wstring VersionTextFrom(std::wstring fileVersion) {
    while (!fileVersion.empty() && std::iswspace(fileVersion.back()))
        fileVersion.pop_back();
    const auto dot = fileVersion.rfind(L'.');
    return L"v" + (dot == std::wstring::npos ? std::wstring() : fileVersion.substr(0, dot));
}

const std::wstring& ProgramVersionText() {
    static const std::wstring text = VersionTextFrom(ReadVersionString(L"FileVersion"));
    return text;
}
