// The parts of the hive interface that are the same on every platform.
#include "settings/RegistryHive.h"

namespace Zezezezo {
namespace {

// The registry compares names by upper-casing them. This covers the scripts the system's
// names can plausibly use (Latin, Greek, Cyrillic); other characters compare exactly.
wchar_t FoldChar(wchar_t c) {
    const auto u = static_cast<std::uint32_t>(c);
    if (u >= 'a' && u <= 'z') {
        return static_cast<wchar_t>(u - 0x20);
    }
    if (u < 0xB5) {
        return c;
    }
    if (u == 0xB5) {
        return static_cast<wchar_t>(0x39C);
    }
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) {
        return static_cast<wchar_t>(u - 0x20);
    }
    if (u == 0xFF) {
        return static_cast<wchar_t>(0x178);
    }
    // Latin Extended-A: upper/lower pairs, odd or even member lower-case by block.
    if ((u >= 0x100 && u <= 0x137) || (u >= 0x14A && u <= 0x177)) {
        return static_cast<wchar_t>((u & 1) != 0 ? u - 1 : u);
    }
    if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) {
        return static_cast<wchar_t>((u & 1) == 0 ? u - 1 : u);
    }
    if ((u >= 0x3B1 && u <= 0x3C1) || (u >= 0x3C3 && u <= 0x3CB)) {
        return static_cast<wchar_t>(u - 0x20);
    }
    if (u == 0x3C2) {
        return static_cast<wchar_t>(0x3A3);
    }
    if (u >= 0x430 && u <= 0x44F) {
        return static_cast<wchar_t>(u - 0x20);
    }
    if (u >= 0x450 && u <= 0x45F) {
        return static_cast<wchar_t>(u - 0x50);
    }
    return c;
}

}  // namespace

std::wstring HiveFoldName(const std::wstring& name) {
    std::wstring folded(name);
    for (wchar_t& c : folded) {
        c = FoldChar(c);
    }
    return folded;
}

bool HiveNamesEqual(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldChar(a[i]) != FoldChar(b[i])) {
            return false;
        }
    }
    return true;
}

const wchar_t* HiveResultText(HiveResult result) {
    switch (result) {
        case HiveResult::Success:
            return L"success";
        case HiveResult::NotFound:
            return L"not found";
        case HiveResult::MoreData:
            return L"the value is larger than the buffer";
        case HiveResult::AccessDenied:
            return L"access denied";
        case HiveResult::Busy:
            return L"the settings file is locked by another process";
        case HiveResult::Corrupt:
            return L"the settings file is damaged or not a settings file";
        case HiveResult::InvalidName:
            return L"invalid key or value name";
        case HiveResult::Failed:
            break;
    }
    return L"failed";
}

}  // namespace Zezezezo
