// The Windows time service's state and the zone names of the time-zone information.
#include <cwchar>
#include <memory>

#include "Clock.h"
#include "ClockSync.h"
#include "TextConvert.h"
#include "ZoneRule.h"
#include "platform/WindowsApi.h"

#include <winsvc.h>

namespace Platform {

namespace detail {
// Clock_win32.cpp: the installed zone rule, null while the system's zone is in force.
std::shared_ptr<const CZoneRule> InstalledZone();
}  // namespace detail

namespace {

// The time service's configured source type ("NTP", "NT5DS", "AllSync" or "NoSync").
std::wstring TimeServiceType() {
    wchar_t value[64] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE,
                     L"SYSTEM\\CurrentControlSet\\Services\\W32Time\\Parameters", L"Type",
                     RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return L"";
    return value;
}

}  // namespace

ClockSyncState ReadSystemClockSync() {
    ClockSyncState state;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) {
        state.detail = L"the service manager cannot be opened";
        return state;
    }
    SC_HANDLE service = OpenServiceW(manager, L"W32Time", SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    const bool queried = service && QueryServiceStatus(service, &status);
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    if (!queried) {
        state.detail = L"the Windows Time service cannot be queried";
        return state;
    }
    const std::wstring type = TimeServiceType();
    state.detail = type;
    // A stopped service, or one told not to synchronise, leaves the clock free-running. The
    // service publishes no error estimate through a documented interface.
    if (status.dwCurrentState != SERVICE_RUNNING || _wcsicmp(type.c_str(), L"NoSync") == 0)
        state.kind = ClockSyncState::Kind::Unsynchronised;
    else
        state.kind = ClockSyncState::Kind::Synchronised;
    return state;
}

std::wstring ZoneNameAt(std::int64_t utcSeconds) {
    const long offsetMinutes = UtcOffsetMinutesAt(utcSeconds);
    std::wstring name;
    if (const auto rule = detail::InstalledZone()) {
        // The rule's abbreviation, as the C library gives it; a numeric one ("+0530") is
        // written as the offset below.
        name = Utf8ToWide(rule->NameAt(utcSeconds));
        if (!name.empty() && (name[0] == L'+' || name[0] == L'-'))
            name.clear();
    } else {
        // The long names ("W. Europe Standard Time"): the daylight name when the instant's
        // offset differs from the standard one.
        TIME_ZONE_INFORMATION zone{};
        GetTimeZoneInformation(&zone);
        const bool daylight = offsetMinutes != -static_cast<long>(zone.Bias);
        name = daylight ? zone.DaylightName : zone.StandardName;
    }
    if (!name.empty())
        return name;
    const long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    wchar_t text[32];
    std::swprintf(text, 32, L"UTC%lc%02ld:%02ld", offsetMinutes < 0 ? L'-' : L'+', magnitude / 60,
                  magnitude % 60);
    return text;
}

}  // namespace Platform
