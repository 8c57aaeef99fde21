// QuorvelDll against the simulated instrument on a real pseudo-terminal: what goes over the
// wire (the simulator's command log), motion with its event lines, the simulator's faults,
// and a heliostat-style upload and timed start on a manual clock.
#include <gtest/gtest.h>

#include <memory>

#include "DriverTestSupport.h"
#include "InstrumentSimulator.h"
#include "platform/Paths.h"

namespace {

using namespace drivertest;
using quorvel::sim::CInstrumentSimulator;
using quorvel::sim::EFaultKind;
using quorvel::sim::SFaultRule;
using quorvel::sim::SSimulatorOptions;

constexpr unsigned kPort = 9;

class DriverSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        mark = log.Mark();
        Platform::SetMessageBoxService(&boxes);
    }
    void TearDown() override {
        quorvel.reset();
        sim.reset();
        Platform::SetClock(nullptr);
        Platform::SetMessageBoxService(nullptr);
    }

    void StartSimulator(std::vector<SFaultRule> faults = {}, double timeScale = 20.0) {
        SSimulatorOptions options;
        options.portDir = Platform::PortDirectory().string();
        options.comPort = kPort;
        options.replaceLink = true;
        options.timeScale = timeScale;
        options.faults = std::move(faults);
        sim = std::make_unique<CInstrumentSimulator>();
        ASSERT_FALSE(sim->Start(options).empty()) << sim->LastError();
    }

    void CreateDevice() {
        quorvel = std::make_unique<CQuorvel>(&owner);
        CQuorvelSettings settings;
        settings.nPort = kPort;
        quorvel->SetSettings(settings);
    }

    void Connect() {
        CreateDevice();
        ASSERT_EQ(1, quorvel->Connect());
        ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS));
        ASSERT_EQ(1, quorvel->IsConnected());
    }

    std::vector<std::string> Received() const {
        std::vector<std::string> lines;
        for (const auto& entry : sim->CommandLog())
            lines.push_back(entry.text);
        return lines;
    }

    bool StatusBecomes(const std::bitset<7>& status, int timeoutMs = 10000) {
        return Pump([&] { return quorvel->GetStatus(1) == status; }, timeoutMs);
    }

    CDriverLog& log = CDriverLog::Instance();
    std::size_t mark = 0;
    CRecordingBoxes boxes;
    CRecordingOwner owner;
    std::unique_ptr<CInstrumentSimulator> sim;
    std::unique_ptr<CQuorvel> quorvel;
};

SFaultRule Fault(EFaultKind kind, const std::string& command = "") {
    SFaultRule rule;
    rule.kind = kind;
    rule.command = command;
    return rule;
}

std::bitset<7> Only(unsigned long bit) {
    return std::bitset<7>().set(bit);
}

TEST_F(DriverSimulator, MoveHomeAndQueries) {
    StartSimulator();
    Connect();
    ASSERT_EQ(1, quorvel->MoveAbs(10, 45.25));
    EXPECT_EQ(Only(MOVING), quorvel->GetStatus(1));
    ASSERT_TRUE(StatusBecomes(Only(IDLE)));  // "!P:1"
    ASSERT_EQ(1, quorvel->GetPosition(nullptr));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_GET_POSITION));
    EXPECT_NEAR(10.0, owner.Of(WM_QUORVEL_GET_POSITION)[0].values[0], 1e-3);
    EXPECT_NEAR(45.25, owner.Of(WM_QUORVEL_GET_POSITION)[0].values[1], 1e-3);

    ASSERT_EQ(1, quorvel->MoveRel(-1.5, 0, 2));
    ASSERT_TRUE(StatusBecomes(Only(IDLE)));
    owner.Clear();
    ASSERT_EQ(1, quorvel->Home());
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_HOME_FINISHED, 1, 20000));
    std::vector<UINT> tail = owner.Messages();
    ASSERT_GE(tail.size(), 3u);
    tail.erase(tail.begin(), tail.end() - 3);
    EXPECT_EQ((std::vector<UINT>{WM_QUORVEL_HOME, WM_QUORVEL_STATUS, WM_QUORVEL_HOME_FINISHED}),
              tail);
    EXPECT_EQ(Only(IDLE), quorvel->GetStatus(1));
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Homing routine finished."));

    const std::vector<std::string> expected = {
        "I?", "S?", "P(10.000,45.250)", "P?", "P(-1.500,0.000,2.000,1)", "H!"};
    EXPECT_EQ(expected, Received());
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
}

// The driver sends the offset in whole degrees; the instrument must read the same unit.
TEST_F(DriverSimulator, OffsetArrivesInWholeDegrees) {
    StartSimulator();
    Connect();
    ASSERT_EQ(1, quorvel->SetOffset(2.4, -3.0));
    ASSERT_TRUE(sim->WaitForReceived(3, 5000));
    EXPECT_EQ("O(0002,-0003)", Received().at(2));
    ASSERT_TRUE(Pump([&] { return sim->State().offsetAzimuthDeg != 0.0; }));
    EXPECT_DOUBLE_EQ(2.0, sim->State().offsetAzimuthDeg);
    EXPECT_DOUBLE_EQ(-3.0, sim->State().offsetZenithDeg);
    PumpFor(50);
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
}

TEST_F(DriverSimulator, JogThenStopMotion) {
    StartSimulator();
    Connect();
    ASSERT_EQ(1, quorvel->MoveVel(0.5, -0.25));
    EXPECT_EQ(Only(JOGGING), quorvel->GetStatus(1));
    PumpFor(100);
    ASSERT_EQ(1, quorvel->GetVelocity());
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_GET_VELOCITY));
    EXPECT_NEAR(0.5, owner.Of(WM_QUORVEL_GET_VELOCITY)[0].values[0], 1e-6);
    ASSERT_EQ(1, quorvel->Stop(StopMotion));
    ASSERT_TRUE(StatusBecomes(Only(IDLE)));
    ASSERT_EQ(1, quorvel->SetOffset(0, 0));
    ASSERT_EQ(1, quorvel->Stop(StopAll));
    ASSERT_TRUE(sim->WaitForReceived(7, 5000));
    const std::vector<std::string> lines = Received();
    EXPECT_EQ("V(0.500,-0.250)", lines[2]);
    EXPECT_EQ("O(0000,0000)", lines[5]);
    EXPECT_EQ("S!", lines[6]);
    Pump([&] { return false; }, 100);
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
}

TEST_F(DriverSimulator, WrongProductIsRejected) {
    StartSimulator({Fault(EFaultKind::WrongProduct)});
    CreateDevice();
    ASSERT_EQ(1, quorvel->Connect());
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    EXPECT_EQ(1u, owner.Of(WM_QUORVEL_ERROR)[0].wParam);
    EXPECT_EQ(L"Quorvel not found on COM port.", owner.Of(WM_QUORVEL_ERROR)[0].text);
    EXPECT_TRUE(log.Contains(
        mark, L"QuorvelDll: Wrong product ID (\"QUORVEL3\") in identification string."));
    EXPECT_EQ(0, quorvel->IsConnected());
}

TEST_F(DriverSimulator, SilentInstrumentTimesOut) {
    const SFaultRule silence = Fault(EFaultKind::NoReply, "I?");
    StartSimulator({silence});
    CreateDevice();
    ASSERT_EQ(1, quorvel->Connect());
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    EXPECT_EQ(0u, owner.Of(WM_QUORVEL_ERROR)[0].wParam);
    EXPECT_EQ(L"Timed out getting identification string.", owner.Of(WM_QUORVEL_ERROR)[0].text);
}

TEST_F(DriverSimulator, GarbledReplyIsAnInvalidResponse) {
    const SFaultRule garble = Fault(EFaultKind::GarbledReply, "H!");
    StartSimulator({garble});
    Connect();
    quorvel->Home();
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    EXPECT_EQ(2u, owner.Of(WM_QUORVEL_ERROR)[0].wParam);
    EXPECT_EQ(L"Homing command returned an invalid response.", owner.Of(WM_QUORVEL_ERROR)[0].text);
    EXPECT_TRUE(
        log.Contains(mark, L"QuorvelDll: Homing command returned an invalid response (\"#1#\")."));
}

TEST_F(DriverSimulator, BabblingDeviceCannotExhaustMemory) {
    const SFaultRule babble = Fault(EFaultKind::Babble, "P?");
    StartSimulator({babble});
    Connect();
    quorvel->GetPosition(nullptr);
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    EXPECT_EQ(L"Get position command timed out.", owner.Of(WM_QUORVEL_ERROR)[0].text);
    bool discarded = false;
    for (const std::wstring& m : log.MessagesSince(mark)) {
        if (m.rfind(L"QuorvelDll: Discarded 4097 bytes received without a carriage return", 0) == 0)
            discarded = true;
    }
    EXPECT_TRUE(discarded);
    EXPECT_EQ(1u, owner.Count(WM_QUORVEL_ERROR));
    // The babble goes on, yet the next command is still written and reported on its own.
    const std::size_t before = sim->ReceivedCount();
    quorvel->GetStatus(0);
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR, 2));
    EXPECT_EQ(L"Status command timed out.", owner.Of(WM_QUORVEL_ERROR)[1].text);
    EXPECT_EQ(before + 1, sim->ReceivedCount());
}

TEST_F(DriverSimulator, VanishedDeviceIsReportedOnceAndReconnects) {
    StartSimulator();
    Connect();
    sim->Vanish();
    ASSERT_TRUE(Pump([&] { return !boxes.Boxes().empty(); }));
    PumpFor(300);
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ(L"Application Error", boxes.Boxes()[0].caption);
    EXPECT_NE(std::wstring::npos, boxes.Boxes()[0].text.find(L"\nPort: 9\n"));
    EXPECT_EQ(0, quorvel->IsConnected());
    EXPECT_EQ(0, quorvel->MoveAbs(1, 1));

    StartSimulator();
    ASSERT_EQ(1, quorvel->Connect());
    ASSERT_TRUE(Pump([&] { return quorvel->IsConnected() == 1; }));
    ASSERT_EQ(1, quorvel->MoveAbs(1, 1));
    EXPECT_TRUE(StatusBecomes(Only(IDLE)));
}

TEST_F(DriverSimulator, UploadAndTimedStartRunATrajectory) {
    StartSimulator({}, 50.0);
    auto clock = std::make_unique<Platform::CManualClock>(Platform::CRealClock().NowUtc());
    Platform::SetClock(clock.get());
    Connect();
    ASSERT_EQ(1, SetTestTrajectory(*quorvel, 5));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_EQ(5, sim->State().trajectoryPairsReceived);
    ASSERT_EQ(1, quorvel->StartTrajectory(0));  // exactly ten seconds ahead: "T!" at once
    ASSERT_TRUE(Pump([&] { return sim->ReceivedCount() >= 9; }));
    ASSERT_TRUE(Pump([&] {
        return log.Contains(
            mark, L"QuorvelDll: Waiting for 10000 milliseconds before starting trajectory.");
    }));
    PumpFor(50);
    clock->Advance(std::chrono::seconds(10));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_FINISHED, 1, 20000));
    EXPECT_TRUE(owner.SawStatus(Only(TRAJECTORY)));
    EXPECT_EQ(Only(IDLE), quorvel->GetStatus(1));
    const std::vector<std::string> lines = Received();
    EXPECT_EQ((std::vector<std::string>{"T(5,1)", "100.0000,40.0000", "101.0000,39.5000",
                                        "102.0000,39.0000", "103.0000,38.5000", "104.0000,38.0000",
                                        "T!", "G!"}),
              std::vector<std::string>(lines.begin() + 2, lines.end()));
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
}

}  // namespace
