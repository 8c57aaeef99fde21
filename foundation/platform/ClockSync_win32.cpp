// The Windows time service's state and the zone names of the time-zone information.
#include <cwchar>

#include "Clock.h"
#include "ClockSync.h"
#include "platform/WindowsApi.h"

#include <winsvc.h>

namespace Platform {

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
    // The long names ("W. Europe Standard Time"): the daylight name when the instant's offset
    // differs from the standard one.
    TIME_ZONE_INFORMATION zone{};
    GetTimeZoneInformation(&zone);
    const long offsetMinutes = UtcOffsetMinutesAt(utcSeconds);
    const bool daylight = offsetMinutes != -static_cast<long>(zone.Bias);
    const wchar_t* name = daylight ? zone.DaylightName : zone.StandardName;
    if (name[0] != L'\0')
        return name;
    const long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    wchar_t text[32];
    std::swprintf(text, 32, L"UTC%lc%02ld:%02ld", offsetMinutes < 0 ? L'-' : L'+', magnitude / 60,
                  magnitude % 60);
    return text;
}

}  // namespace Platform
