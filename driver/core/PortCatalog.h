// What each present COM port is: the device its name maps to and the system's description of
// it, so the operator can tell adapters apart; and, on Linux, the stable name that keeps a
// port's number across a re-plug. PortCatalog_posix.cpp reads /dev/serial/by-id and sysfs;
// PortCatalog_win32.cpp asks the device manager for the port's friendly name.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "QuorvelExport.h"

namespace QuorvelDriver {

struct PortDescription {
    unsigned int port = 0;        // COM number, 1..255
    std::wstring device;          // what the name maps to, links resolved ("/dev/ttyUSB0", "COM7")
    std::wstring stableName;      // "/dev/serial/by-id/usb-…" when the system has one, else empty
    std::wstring description;     // "FT232R USB UART (0403:6001, serial A10K3XYZ)", the Windows
                                  // friendly name, or empty when the system says nothing
    bool fromPortFolder = false;  // named by a COM<n> entry of the port folder (Linux)
};

// Where the Linux reader looks; tests point it at a fake tree. Empty members mean the real
// folders (/sys, /dev).
struct PortCatalogRoots {
    std::filesystem::path sysfs;
    std::filesystem::path dev;
};

// One entry per present port (the same ports as EnumeratePresentPorts), ascending.
QUORVELDLL_API std::vector<PortDescription> DescribePresentPorts(
    const PortCatalogRoots& roots = {});
QUORVELDLL_API PortDescription DescribePort(unsigned int port, const PortCatalogRoots& roots = {});

// The one-line text shown beside a COM name in lists: "COM33 — /dev/ttyUSB0, FT232R USB UART
// (0403:6001, serial A10K3XYZ)".
QUORVELDLL_API std::wstring PortLabel(const PortDescription& description);

enum class StableNameOutcome {
    Recorded,       // COM<n> in the port folder now leads to the stable name
    AlreadyStable,  // the port was already named by its stable name
    NoStableName,   // the device has none (a built-in UART, a pseudo-terminal), or Windows
    Failed,         // the port folder could not be written; `message` says why
};

struct StableNameResult {
    StableNameOutcome outcome = StableNameOutcome::NoStableName;
    std::wstring stableName;
    std::wstring message;  // one sentence for the operator: what was done, or why not
};

// Records port `port` as a COM<n> entry of the port folder that leads to the device's stable
// name, replacing an entry that led elsewhere. Called only on the operator's choice.
QUORVELDLL_API StableNameResult RecordStableName(unsigned int port,
                                                 const PortCatalogRoots& roots = {});

}  // namespace QuorvelDriver
