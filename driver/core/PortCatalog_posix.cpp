// The port catalog on Linux: a COM number names a device through the port folder or the
// default mapping (Platform::ComPortDevicePath); udev gives USB adapters a stable name in
// /dev/serial/by-id, and sysfs says what the adapter is.
#include <unistd.h>
#include <algorithm>
#include <fstream>
#include <system_error>

#include "PortCatalog.h"
#include "SerialDevice.h"
#include "platform/Paths.h"
#include "platform/TextConvert.h"

namespace QuorvelDriver {

namespace fs = std::filesystem;

namespace {

fs::path DevRoot(const PortCatalogRoots& roots) {
    return roots.dev.empty() ? fs::path("/dev") : roots.dev;
}

fs::path SysRoot(const PortCatalogRoots& roots) {
    return roots.sysfs.empty() ? fs::path("/sys") : roots.sysfs;
}

std::wstring Wide(const fs::path& path) {
    return Platform::Utf8ToWide(path.string());
}

std::string ComName(unsigned int port) {
    return "COM" + std::to_string(port);
}

// The name port `port` maps to; under a fake device tree a default name ("/dev/ttyUSB0") is
// looked for in that tree instead.
fs::path MappedPath(unsigned int port, const PortCatalogRoots& roots) {
    const fs::path path = Platform::ComPortDevicePath(port);
    if (path.empty() || roots.dev.empty())
        return path;
    const fs::path below = path.lexically_relative("/dev");
    if (below.empty() || *below.begin() == "..")
        return path;
    return roots.dev / below;
}

// Links resolved; the name itself when it leads nowhere.
fs::path Resolved(const fs::path& path) {
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    return error ? path : resolved;
}

bool HasPortFolderEntry(unsigned int port) {
    std::error_code error;
    const fs::file_status status =
        fs::symlink_status(Platform::PortDirectory() / ComName(port), error);
    return !error && fs::exists(status);
}

// The /dev/serial/by-id links that lead to `device`, sorted so the choice is the same each
// time (a device with several interfaces may have more than one).
std::vector<fs::path> StableNamesOf(const fs::path& device, const PortCatalogRoots& roots) {
    std::vector<fs::path> names;
    std::error_code error;
    for (fs::directory_iterator it(DevRoot(roots) / "serial" / "by-id", error), end;
         !error && it != end; it.increment(error)) {
        std::error_code resolveError;
        const fs::path target = fs::canonical(it->path(), resolveError);
        if (!resolveError && target == device)
            names.push_back(it->path());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// First line of a sysfs attribute, trimmed; empty when it is missing.
std::string Attribute(const fs::path& folder, const char* name) {
    std::ifstream in(folder / name);
    std::string line;
    std::getline(in, line);
    const auto notSpace = [](unsigned char c) { return c > ' '; };
    line.erase(line.begin(), std::find_if(line.begin(), line.end(), notSpace));
    line.erase(std::find_if(line.rbegin(), line.rend(), notSpace).base(), line.end());
    return line;
}

// "FT232R USB UART (0403:6001, serial A10K3XYZ)" for a USB adapter, "built-in serial port"
// for a UART of the machine, "pseudo-terminal" for /dev/pts/N (a simulator or another
// program), empty when sysfs knows nothing.
std::wstring DescribeDevice(const fs::path& device, const PortCatalogRoots& roots) {
    if (device.parent_path().filename() == "pts")
        return L"pseudo-terminal";
    const fs::path sys = SysRoot(roots);
    std::error_code error;
    fs::path node = fs::canonical(sys / "class" / "tty" / device.filename() / "device", error);
    if (error)
        return {};
    // Up from the tty's device (a USB interface) to the USB device that carries the ids.
    const fs::path top = Resolved(sys);
    for (fs::path at = node; !at.empty() && at != top && at != at.parent_path();
         at = at.parent_path()) {
        if (!fs::exists(at / "idVendor", error))
            continue;
        std::string name = Attribute(at, "product");
        if (name.empty())
            name = Attribute(at, "manufacturer");
        if (name.empty())
            name = "USB serial adapter";
        std::string text =
            name + " (" + Attribute(at, "idVendor") + ":" + Attribute(at, "idProduct");
        const std::string serial = Attribute(at, "serial");
        if (!serial.empty())
            text += ", serial " + serial;
        text += ")";
        return Platform::PrintableText(Platform::Utf8ToWide(text), 200);
    }
    return L"built-in serial port";
}

StableNameResult Outcome(StableNameOutcome outcome, const fs::path& stableName,
                         const std::string& message) {
    StableNameResult result;
    result.outcome = outcome;
    result.stableName = stableName.empty() ? std::wstring() : Wide(stableName);
    result.message = Platform::Utf8ToWide(message);
    return result;
}

}  // namespace

PortDescription DescribePort(unsigned int port, const PortCatalogRoots& roots) {
    PortDescription description;
    description.port = port;
    const fs::path mapped = MappedPath(port, roots);
    if (mapped.empty())
        return description;
    const fs::path device = Resolved(mapped);
    description.device = Wide(device);
    description.fromPortFolder = HasPortFolderEntry(port);
    const std::vector<fs::path> stable = StableNamesOf(device, roots);
    if (!stable.empty())
        description.stableName = Wide(stable.front());
    description.description = DescribeDevice(device, roots);
    return description;
}

std::vector<PortDescription> DescribePresentPorts(const PortCatalogRoots& roots) {
    std::vector<unsigned int> ports;
    if (roots.dev.empty()) {
        ports = EnumeratePresentPorts();
    } else {
        // A fake tree holds plain files, not terminals: a name that exists counts.
        for (unsigned int n = 1; n <= 255; ++n) {
            const fs::path mapped = MappedPath(n, roots);
            std::error_code error;
            if (!mapped.empty() && fs::exists(mapped, error))
                ports.push_back(n);
        }
    }
    std::vector<PortDescription> described;
    described.reserve(ports.size());
    for (unsigned int port : ports)
        described.push_back(DescribePort(port, roots));
    return described;
}

StableNameResult RecordStableName(unsigned int port, const PortCatalogRoots& roots) {
    const PortDescription description = DescribePort(port, roots);
    const std::string name = ComName(port);
    const std::string device =
        description.device.empty() ? "no device" : Platform::WideToUtf8(description.device);
    if (description.stableName.empty()) {
        return Outcome(StableNameOutcome::NoStableName, {},
                       name + " (" + device +
                           ") has no stable name: the system gives one only to USB adapters "
                           "(/dev/serial/by-id). The port folder is unchanged.");
    }
    const fs::path stable = Platform::WideToUtf8(description.stableName);
    const fs::path folder = Platform::PortDirectory();
    const fs::path entry = folder / name;

    std::error_code error;
    const fs::file_status status = fs::symlink_status(entry, error);
    std::string before;
    if (!error && fs::is_symlink(status)) {
        const fs::path target = fs::read_symlink(entry, error);
        const fs::path absolute = target.is_absolute() ? target : folder / target;
        // Any stable name of the same device will do: the entry already survives a re-plug.
        const std::vector<fs::path> names = StableNamesOf(Resolved(absolute), roots);
        if (!error &&
            std::find(names.begin(), names.end(), absolute.lexically_normal()) != names.end()) {
            return Outcome(StableNameOutcome::AlreadyStable, absolute,
                           name + " already leads to " + absolute.string() +
                               "; it keeps its number after a re-plug.");
        }
        before = " (it led to " + target.string() + " before)";
    } else if (!error && fs::exists(status)) {
        return Outcome(StableNameOutcome::Failed, stable,
                       name + " in the port folder (" + entry.string() +
                           ") is not a link, so it was left as it is.");
    }

    if (!Platform::CreateFolders(folder)) {
        return Outcome(StableNameOutcome::Failed, stable,
                       "The port folder " + folder.string() + " could not be created.");
    }
    // A new link under a temporary name, then renamed over the entry: a program that opens
    // COM<n> meanwhile finds either the old link or the new one, never none.
    const fs::path temporary = folder / ("." + name + ".new-" + std::to_string(::getpid()));
    fs::remove(temporary, error);
    fs::create_symlink(stable, temporary, error);
    if (!error)
        fs::rename(temporary, entry, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return Outcome(StableNameOutcome::Failed, stable,
                       name + " could not be recorded in the port folder (" + folder.string() +
                           "): " + error.message() + ".");
    }
    return Outcome(StableNameOutcome::Recorded, stable,
                   name + " now leads to " + stable.string() + before +
                       ", so the instrument keeps this number after a re-plug.");
}

}  // namespace QuorvelDriver
