// The port probe by the POSIX rule: port n is present when the COM<n> link in the port folder
// leads to a terminal device. (Windows names its COM ports itself; the Windows build checks
// the probe against a port that Wine maps to the simulator, DriverComPeerTest.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "core/Quorvel.h"
#include "platform/Paths.h"

namespace {

TEST(PortProbe, ListsLinkedPortsThatArePresent) {
    const std::filesystem::path dir = Platform::PortDirectory();
    std::filesystem::create_directories(dir);
    for (const char* name : {"COM201", "COM202", "COM203"})
        std::filesystem::remove(dir / name);
    std::filesystem::create_symlink("/dev/null", dir / "COM201");         // opens, but no terminal
    std::filesystem::create_symlink("/nonexistent/tty", dir / "COM202");  // absent
    std::filesystem::create_symlink("/dev/ptmx", dir / "COM203");         // a terminal device
    const std::vector<unsigned> ports = CQuorvel::EnumerateSerialPorts();
    EXPECT_TRUE(std::find(ports.begin(), ports.end(), 201u) == ports.end());
    EXPECT_TRUE(std::find(ports.begin(), ports.end(), 202u) == ports.end());
    EXPECT_TRUE(std::find(ports.begin(), ports.end(), 203u) != ports.end());
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end()));
}

}  // namespace
