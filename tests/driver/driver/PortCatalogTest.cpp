// The port catalog against a fake /dev and sysfs made in the test's private folder: a USB
// adapter with its /dev/serial/by-id name and sysfs ids, a built-in UART, ports named by the
// port folder and by the default mapping; and recording a port under its stable name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "TestFolders.h"
#include "core/PortCatalog.h"
#include "platform/Paths.h"
#include "platform/TextConvert.h"

namespace {

namespace fs = std::filesystem;
using namespace QuorvelDriver;

constexpr char kByIdName[] = "usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0";

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
}

std::wstring W(const fs::path& path) {
    return Platform::Utf8ToWide(path.string());
}

class PortCatalog : public ::testing::Test {
protected:
    // /dev/ttyUSB0: an FT232R adapter (by-id link, USB ids and serial in sysfs);
    // /dev/ttyS0: a UART of the machine; /dev/ttyACM0: a USB device without product or
    // serial strings.
    void SetUp() override {
        QuorvelTest::EmptyPrivateFolders();
        root = fs::canonical(QuorvelTest::PrivateRoot()) / "fake";
        fs::remove_all(root);
        roots.dev = root / "dev";
        roots.sysfs = root / "sys";
        WriteFile(roots.dev / "ttyUSB0", "");
        WriteFile(roots.dev / "ttyS0", "");
        WriteFile(roots.dev / "ttyACM0", "");
        Link(roots.dev / "serial" / "by-id" / kByIdName, "../../ttyUSB0");

        const fs::path usb = roots.sysfs / "devices/pci0000:00/0000:00:14.0/usb1/1-2";
        WriteFile(usb / "idVendor", "0403\n");
        WriteFile(usb / "idProduct", "6001\n");
        WriteFile(usb / "product", "FT232R USB UART\n");
        WriteFile(usb / "manufacturer", "FTDI\n");
        WriteFile(usb / "serial", "A10K3XYZ\n");
        fs::create_directories(usb / "1-2:1.0/ttyUSB0/tty/ttyUSB0");
        Link(usb / "1-2:1.0/ttyUSB0/tty/ttyUSB0/device", "../../../ttyUSB0");
        Link(roots.sysfs / "class/tty/ttyUSB0",
             "../../devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0");

        const fs::path acm = roots.sysfs / "devices/pci0000:00/0000:00:14.0/usb1/1-3";
        WriteFile(acm / "idVendor", "2341\n");
        WriteFile(acm / "idProduct", "0043\n");
        fs::create_directories(acm / "1-3:1.0/tty/ttyACM0");
        Link(acm / "1-3:1.0/tty/ttyACM0/device", "../..");
        Link(roots.sysfs / "class/tty/ttyACM0",
             "../../devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/tty/ttyACM0");

        fs::create_directories(roots.sysfs / "devices/platform/serial8250/tty/ttyS0");
        Link(roots.sysfs / "devices/platform/serial8250/tty/ttyS0/device", "../..");
        Link(roots.sysfs / "class/tty/ttyS0", "../../devices/platform/serial8250/tty/ttyS0");
    }
    void TearDown() override { QuorvelTest::EmptyPrivateFolders(); }

    fs::path Entry(unsigned port) const {
        return Platform::PortDirectory() / ("COM" + std::to_string(port));
    }
    fs::path ByIdPath() const { return roots.dev / "serial" / "by-id" / kByIdName; }

    fs::path root;
    PortCatalogRoots roots;
};

TEST_F(PortCatalog, DescribesEachKindOfPortByTheDefaultMapping) {
    const PortDescription usb = DescribePort(33, roots);  // /dev/ttyUSB0
    EXPECT_EQ(33u, usb.port);
    EXPECT_EQ(W(roots.dev / "ttyUSB0"), usb.device);
    EXPECT_EQ(W(ByIdPath()), usb.stableName);
    EXPECT_EQ(L"FT232R USB UART (0403:6001, serial A10K3XYZ)", usb.description);
    EXPECT_FALSE(usb.fromPortFolder);

    const PortDescription acm = DescribePort(65, roots);  // /dev/ttyACM0
    EXPECT_EQ(W(roots.dev / "ttyACM0"), acm.device);
    EXPECT_EQ(L"", acm.stableName);
    EXPECT_EQ(L"USB serial adapter (2341:0043)", acm.description);

    const PortDescription uart = DescribePort(1, roots);  // /dev/ttyS0
    EXPECT_EQ(W(roots.dev / "ttyS0"), uart.device);
    EXPECT_EQ(L"", uart.stableName);
    EXPECT_EQ(L"built-in serial port", uart.description);

    EXPECT_EQ(L"COM33 \u2014 " + W(roots.dev / "ttyUSB0") +
                  L", FT232R USB UART (0403:6001, serial A10K3XYZ)",
              PortLabel(usb));
}

TEST_F(PortCatalog, PortFolderEntryIsFollowedToTheDeviceAndItsStableName) {
    Link(Entry(5), ByIdPath());
    const PortDescription port = DescribePort(5, roots);
    EXPECT_TRUE(port.fromPortFolder);
    EXPECT_EQ(W(roots.dev / "ttyUSB0"), port.device);
    EXPECT_EQ(W(ByIdPath()), port.stableName);
    EXPECT_EQ(L"FT232R USB UART (0403:6001, serial A10K3XYZ)", port.description);

    // Present: the three default names that exist in the tree, and the entry.
    std::vector<unsigned> present;
    for (const PortDescription& d : DescribePresentPorts(roots))
        present.push_back(d.port);
    EXPECT_EQ((std::vector<unsigned>{1, 5, 33, 65}), present);
}

TEST_F(PortCatalog, PortWithoutSystemDescriptionIsLabelledByItsDeviceAlone) {
    PortDescription bare;
    bare.port = 34;
    bare.device = L"/dev/pts/7";
    EXPECT_EQ(L"COM34 \u2014 /dev/pts/7", PortLabel(bare));
    bare.device = L"COM34";  // Windows: the device is the name itself
    EXPECT_EQ(L"COM34", PortLabel(bare));
    bare.description = L"USB Serial Port (COM34)";
    EXPECT_EQ(L"COM34 \u2014 USB Serial Port (COM34)", PortLabel(bare));
}

TEST_F(PortCatalog, RecordingLinksThePortToItsStableNameOnceAndReplacesAnotherEntry) {
    const StableNameResult recorded = RecordStableName(33, roots);
    EXPECT_EQ(StableNameOutcome::Recorded, recorded.outcome) << recorded.message;
    EXPECT_EQ(W(ByIdPath()), recorded.stableName);
    ASSERT_TRUE(fs::is_symlink(Entry(33)));
    EXPECT_EQ(ByIdPath(), fs::read_symlink(Entry(33)));
    EXPECT_TRUE(DescribePort(33, roots).fromPortFolder);
    // Nothing else is left in the port folder (no temporary link).
    EXPECT_EQ(1, std::distance(fs::directory_iterator(Platform::PortDirectory()),
                               fs::directory_iterator()));

    const StableNameResult again = RecordStableName(33, roots);
    EXPECT_EQ(StableNameOutcome::AlreadyStable, again.outcome) << again.message;
    EXPECT_EQ(ByIdPath(), fs::read_symlink(Entry(33)));

    // An entry that leads to the same adapter by its kernel name, which a re-plug changes.
    Link(Entry(40), roots.dev / "ttyUSB0");
    const StableNameResult replaced = RecordStableName(40, roots);
    EXPECT_EQ(StableNameOutcome::Recorded, replaced.outcome) << replaced.message;
    EXPECT_EQ(ByIdPath(), fs::read_symlink(Entry(40)));
    EXPECT_NE(std::wstring::npos, replaced.message.find(W(roots.dev / "ttyUSB0")))
        << "says what the entry led to before";
}

TEST_F(PortCatalog, PortWithoutStableNameLeavesThePortFolderAlone) {
    const StableNameResult uart = RecordStableName(1, roots);
    EXPECT_EQ(StableNameOutcome::NoStableName, uart.outcome);
    EXPECT_FALSE(uart.message.empty());
    EXPECT_FALSE(fs::exists(fs::symlink_status(Entry(1))));

    // An entry that leads to such a device stays as it was.
    Link(Entry(2), roots.dev / "ttyS0");
    EXPECT_EQ(StableNameOutcome::NoStableName, RecordStableName(2, roots).outcome);
    EXPECT_EQ(roots.dev / "ttyS0", fs::read_symlink(Entry(2)));
}

TEST_F(PortCatalog, PortFolderThatCannotBeMadeIsReportedAsFailed) {
    const std::string saved = std::getenv("QUORVEL_PORT_DIR");
    WriteFile(root / "a-file", "");
    ::setenv("QUORVEL_PORT_DIR", (root / "a-file" / "ports").c_str(), 1);
    const StableNameResult failed = RecordStableName(33, roots);
    ::setenv("QUORVEL_PORT_DIR", saved.c_str(), 1);
    EXPECT_EQ(StableNameOutcome::Failed, failed.outcome);
    EXPECT_NE(std::wstring::npos, failed.message.find(W(root / "a-file" / "ports")))
        << Platform::WideToUtf8(failed.message);
}

}  // namespace
