// The port catalog on Windows: the device manager knows each COM port's friendly name
// ("USB Serial Port (COM7)"). A device's "PortName" registry value ties it to its COM number.
// Windows keeps a device's COM number itself, so there is no stable name to record.
#include <map>

#include "PortCatalog.h"
#include "SerialDevice.h"
#include "platform/WindowsApi.h"

#include <setupapi.h>

namespace QuorvelDriver {

namespace {

// The Ports device class and the COM port device interface. Written out here so that no
// GUID definition has to come from a library.
const GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

std::wstring ComName(unsigned int port) {
    return L"COM" + std::to_wstring(port);
}

// "PortName" of the device's hardware key ("COM7"); empty when it has none.
std::wstring PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t value[64] = {};
    DWORD size = sizeof value - sizeof(wchar_t);  // room for a terminator the value may lack
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return {};
    return value;
}

std::wstring FriendlyNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    wchar_t value[256] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, &type,
                                           reinterpret_cast<BYTE*>(value),
                                           sizeof value - sizeof(wchar_t), nullptr) ||
        type != REG_SZ) {
        return {};
    }
    return value;
}

void CollectFriendlyNames(const GUID& guid, DWORD flags,
                          std::map<std::wstring, std::wstring>& names) {
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const std::wstring port = PortNameOf(set, device);
        if (port.empty() || names.count(port) != 0)
            continue;
        const std::wstring friendly = FriendlyNameOf(set, device);
        if (!friendly.empty())
            names[port] = friendly;
    }
    SetupDiDestroyDeviceInfoList(set);
}

// COM name -> friendly name of every present port device: the Ports class holds most;
// some (modems, a few USB CDC drivers) only offer the COM port interface.
std::map<std::wstring, std::wstring> FriendlyNames() {
    std::map<std::wstring, std::wstring> names;
    CollectFriendlyNames(kPortsClass, DIGCF_PRESENT, names);
    CollectFriendlyNames(kComPortInterface, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, names);
    return names;
}

PortDescription Describe(unsigned int port, const std::map<std::wstring, std::wstring>& names) {
    PortDescription description;
    description.port = port;
    description.device = ComName(port);
    const auto found = names.find(description.device);
    if (found != names.end())
        description.description = found->second;
    return description;
}

}  // namespace

PortDescription DescribePort(unsigned int port, const PortCatalogRoots&) {
    return Describe(port, FriendlyNames());
}

std::vector<PortDescription> DescribePresentPorts(const PortCatalogRoots&) {
    const std::map<std::wstring, std::wstring> names = FriendlyNames();
    std::vector<PortDescription> described;
    for (unsigned int port : EnumeratePresentPorts())
        described.push_back(Describe(port, names));
    return described;
}

StableNameResult RecordStableName(unsigned int port, const PortCatalogRoots&) {
    StableNameResult result;
    result.outcome = StableNameOutcome::NoStableName;
    result.message = ComName(port) +
                     L" needs no recording: Windows keeps a device's COM number itself, also "
                     L"after a re-plug.";
    return result;
}

}  // namespace QuorvelDriver
