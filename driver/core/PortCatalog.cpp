// The platform-independent part of the port catalog: the label shown in port lists.
#include "PortCatalog.h"

namespace QuorvelDriver {

std::wstring PortLabel(const PortDescription& description) {
    const std::wstring name = L"COM" + std::to_wstring(description.port);
    std::wstring details;
    // On Windows the device is the COM name itself; saying it twice tells nothing.
    if (!description.device.empty() && description.device != name)
        details = description.device;
    if (!description.description.empty()) {
        if (!details.empty())
            details += L", ";
        details += description.description;
    }
    return details.empty() ? name : name + L" \u2014 " + details;
}

}  // namespace QuorvelDriver
