// QuorvelDll's Windows serial code against quorvel-sim processes reached through COM port
// numbers only: under Wine, a dosdevices/comN link to each simulator's pseudo-terminal on the
// Linux side (scripts/test-windows.sh starts them and sets the variables read here). The
// Linux build tests the same behaviour against the in-process simulator.
//   QUORVEL_TEST_SIM_COM            a simulator running trajectories 50 times faster
//   QUORVEL_TEST_VANISHING_SIM_COM  one that vanishes right after its third answer
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "DriverTestSupport.h"

namespace {

using namespace drivertest;

// The COM number in the variable, or 0 when it is not set to one.
unsigned ComFrom(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr)
        return 0;
    char* end = nullptr;
    const unsigned long n = std::strtoul(value, &end, 10);
    return (end != value && *end == '\0' && n >= 1 && n <= 255) ? static_cast<unsigned>(n) : 0;
}

constexpr char kSimCom[] = "QUORVEL_TEST_SIM_COM";
constexpr char kVanishingSimCom[] = "QUORVEL_TEST_VANISHING_SIM_COM";

std::string NoPeer(const char* variable) {
    return std::string(variable) +
           " is not set: no simulator behind a COM port (the Wine run of "
           "scripts/test-windows.sh starts one)";
}

std::bitset<7> Only(unsigned long bit) {
    return std::bitset<7>().set(bit);
}

class ComPeer : public ::testing::Test {
protected:
    void SetUp() override { Platform::SetMessageBoxService(&boxes); }
    void TearDown() override {
        quorvel.reset();
        Platform::SetClock(nullptr);
        Platform::SetMessageBoxService(nullptr);
    }

    void Connect(unsigned port) {
        quorvel = std::make_unique<CQuorvel>(&owner);
        CQuorvelSettings settings;
        settings.nPort = port;
        quorvel->SetSettings(settings);
        ASSERT_EQ(1, quorvel->Connect());
        ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS));
        ASSERT_EQ(1, quorvel->IsConnected());
    }

    bool StatusBecomes(const std::bitset<7>& status, int timeoutMs = 10000) {
        return Pump([&] { return quorvel->GetStatus(1) == status; }, timeoutMs);
    }

    CRecordingBoxes boxes;
    CRecordingOwner owner;
    std::unique_ptr<CQuorvel> quorvel;
};

TEST_F(ComPeer, ConnectsAndIdentifiesTheInstrument) {
    const unsigned port = ComFrom(kSimCom);
    if (port == 0)
        GTEST_SKIP() << NoPeer(kSimCom);
    Connect(port);
    ASSERT_EQ(1, quorvel->GetIdentification());
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ID));
    const IdStruct id = owner.Of(WM_QUORVEL_ID)[0].id;
    EXPECT_EQ(L"Pelvarin", std::wstring(id.strLeading));
    EXPECT_EQ(L"QUORVEL4", std::wstring(id.strProductId));
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
}

TEST_F(ComPeer, StatusAndAMoveToItsEnd) {
    const unsigned port = ComFrom(kSimCom);
    if (port == 0)
        GTEST_SKIP() << NoPeer(kSimCom);
    Connect(port);
    const std::size_t before = owner.Count(WM_QUORVEL_STATUS);
    quorvel->GetStatus(0);
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS, before + 1));
    EXPECT_EQ(Only(IDLE), owner.Of(WM_QUORVEL_STATUS).back().status);

    ASSERT_EQ(1, quorvel->MoveAbs(10, 45.25));
    ASSERT_TRUE(StatusBecomes(Only(IDLE)));  // "!P:1"
    ASSERT_EQ(1, quorvel->GetPosition(nullptr));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_GET_POSITION));
    EXPECT_NEAR(10.0, owner.Of(WM_QUORVEL_GET_POSITION)[0].values[0], 1e-3);
    EXPECT_NEAR(45.25, owner.Of(WM_QUORVEL_GET_POSITION)[0].values[1], 1e-3);
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
    EXPECT_TRUE(boxes.Boxes().empty());
}

// Upload and timed start on a clock the test drives: "T!" ten seconds ahead at once, "G!"
// once the clock has reached the first stamp, then the run to its end.
TEST_F(ComPeer, UploadAndTimedStartRunATrajectory) {
    const unsigned port = ComFrom(kSimCom);
    if (port == 0)
        GTEST_SKIP() << NoPeer(kSimCom);
    auto clock = std::make_unique<Platform::CManualClock>(Platform::CRealClock().NowUtc());
    Platform::SetClock(clock.get());
    Connect(port);
    ASSERT_EQ(1, SetTestTrajectory(*quorvel, 20));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_UPLOADED, 1, 20000));
    EXPECT_EQ(1, quorvel->IsTrajectoryUploaded());
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(StatusBecomes(Only(WAITING)));
    PumpFor(100);
    EXPECT_EQ(Only(WAITING), quorvel->GetStatus(1));  // not before the clock says so
    clock->Advance(std::chrono::seconds(10));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_FINISHED, 1, 20000));
    EXPECT_TRUE(owner.SawStatus(Only(TRAJECTORY)));
    EXPECT_TRUE(StatusBecomes(Only(IDLE)));
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
    EXPECT_TRUE(boxes.Boxes().empty());
}

// Closing a port ends the comm-event wait of its monitor thread before the device is freed.
// Under Wine that wait used to outlive the closed port and later wrote its status into freed
// memory: after a few device objects the program crashed in unrelated code.
TEST_F(ComPeer, DeviceObjectsOneAfterAnotherLeaveMemoryWhole) {
    const unsigned port = ComFrom(kSimCom);
    if (port == 0)
        GTEST_SKIP() << NoPeer(kSimCom);
    for (int round = 0; round < 8; ++round) {
        owner.Clear();
        Connect(port);
        const std::size_t before = owner.Count(WM_QUORVEL_STATUS);
        quorvel->GetStatus(0);
        ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS, before + 1));
        quorvel.reset();
        // What the freed devices' memory is used for next.
        std::vector<std::unique_ptr<std::string>> reuse;
        for (int i = 0; i < 200; ++i)
            reuse.push_back(std::make_unique<std::string>(static_cast<std::size_t>(i % 64), 'x'));
        PumpFor(20);
    }
    owner.Clear();
    Connect(port);
    ASSERT_EQ(1, quorvel->MoveAbs(3, 4));
    EXPECT_TRUE(StatusBecomes(Only(IDLE)));
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ComPeer, VanishedDeviceIsReportedOnceAndTheProgramKeepsRunning) {
    const unsigned port = ComFrom(kVanishingSimCom);
    if (port == 0)
        GTEST_SKIP() << NoPeer(kVanishingSimCom);
    Connect(port);          // "I?" and "S?" answered
    quorvel->GetStatus(0);  // answered, then the device is gone
    ASSERT_TRUE(Pump([&] { return !boxes.Boxes().empty(); }, 10000));
    PumpFor(300);
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ(L"Application Error", boxes.Boxes()[0].caption);
    EXPECT_NE(std::wstring::npos,
              boxes.Boxes()[0].text.find(L"\nPort: " + std::to_wstring(port) + L"\n"));
    EXPECT_EQ(0, quorvel->IsConnected());
    EXPECT_EQ(0, quorvel->MoveAbs(1, 1));
    PumpFor(200);
    EXPECT_EQ(1u, boxes.Boxes().size());
}

// The port probe lists the COM port Wine maps to the simulator, and not a number that Wine
// maps to nothing.
TEST(PortProbe, ListsTheComPortThatIsMappedToADevice) {
    const unsigned port = ComFrom(kSimCom);
    if (port == 0)
        GTEST_SKIP() << NoPeer(kSimCom);
    const std::vector<unsigned> ports = CQuorvel::EnumerateSerialPorts();
    EXPECT_TRUE(std::find(ports.begin(), ports.end(), port) != ports.end());
    EXPECT_TRUE(std::find(ports.begin(), ports.end(), 255u) == ports.end());
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end()));
}

}  // namespace
