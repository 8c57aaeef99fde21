// Trajectory upload and timed start against the simulated instrument on a real
// pseudo-terminal: the exact progress sequences, cancellation, refusals through the
// simulator's acknowledgement faults, the ten-second rule on a manual clock, and a GUI thread
// that keeps dispatching while 700 pairs go over an emulated 115200-baud wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "DriverTestSupport.h"
#include "InstrumentSimulator.h"
#include "platform/Paths.h"
#include "platform/Wnd.h"

namespace {

using namespace drivertest;
using quorvel::sim::CInstrumentSimulator;
using quorvel::sim::EFaultKind;
using quorvel::sim::SFaultRule;
using quorvel::sim::SSimulatorOptions;

constexpr unsigned kPort = 13;

std::bitset<7> Only(unsigned long bit) {
    return std::bitset<7>().set(bit);
}

SFaultRule Refuse(const std::string& command) {
    SFaultRule rule;
    rule.kind = EFaultKind::Refuse;
    rule.command = command;
    return rule;
}

using P = std::vector<std::pair<int, int>>;

class SimulatedTrajectory : public ::testing::Test {
protected:
    void SetUp() override {
        mark = log.Mark();
        Platform::SetMessageBoxService(&boxes);
    }
    void TearDown() override {
        owner.onNotification = nullptr;  // it may refer to a finished test's locals
        quorvel.reset();
        sim.reset();
        Platform::SetClock(nullptr);
        Platform::SetMessageBoxService(nullptr);
    }

    void Start(SSimulatorOptions options = {}) {
        options.portDir = Platform::PortDirectory().string();
        options.comPort = kPort;
        options.replaceLink = true;
        options.timeScale = 50.0;
        sim = std::make_unique<CInstrumentSimulator>();
        ASSERT_FALSE(sim->Start(options).empty()) << sim->LastError();
        quorvel = std::make_unique<CQuorvel>(&owner);
        CQuorvelSettings settings;
        settings.nPort = kPort;
        quorvel->SetSettings(settings);
        ASSERT_EQ(1, quorvel->Connect());
        ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS));
        owner.Clear();
    }

    // The lines the instrument received after the connection ("I?", "S?").
    std::vector<std::string> Received() const {
        std::vector<std::string> lines;
        for (const auto& entry : sim->CommandLog())
            lines.push_back(entry.text);
        return std::vector<std::string>(lines.begin() + std::min<std::size_t>(2, lines.size()),
                                        lines.end());
    }

    P Progress() const {
        std::vector<std::pair<int, int>> p;
        for (const SNotification& n : owner.Of(WM_QUORVEL_TRAJ_PROGRESS))
            p.emplace_back(static_cast<int>(n.wParam), static_cast<int>(n.lParam));
        return p;
    }

    // `n` pairs (100 + i, 40 - i / 10) stamped one second apart from `lead` on.
    int Upload(int n, std::chrono::milliseconds lead = std::chrono::seconds(3600)) {
        CArray<SYSTEMTIME> times;
        CArray<double> az;
        CArray<double> ze;
        for (int i = 0; i < n; ++i) {
            times.Add(LocalTimeIn(lead + std::chrono::seconds(i)));
            az.Add(100.0 + i * 0.01);
            ze.Add(40.0 - i * 0.01);
        }
        return quorvel->SetTrajectory(1, times, az, ze);
    }

    // Waits until the upload thread has ended (final progress, or the header's error).
    bool UploadEnded() {
        return Pump([&] {
            const P progress = Progress();
            return std::any_of(progress.begin(), progress.end(),
                               [](const std::pair<int, int>& p) { return p.second == 0; });
        });
    }

    CDriverLog& log = CDriverLog::Instance();
    std::size_t mark = 0;
    CRecordingBoxes boxes;
    CRecordingOwner owner;
    std::unique_ptr<CInstrumentSimulator> sim;
    std::unique_ptr<CQuorvel> quorvel;
};

TEST_F(SimulatedTrajectory, ProgressOfFourPairsAndOfOne) {
    Start();
    ASSERT_EQ(1, Upload(4));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_EQ((P{{0, 1}, {0, 1}, {25, 1}, {50, 1}, {75, 1}, {100, 0}}), Progress());
    EXPECT_EQ(1, quorvel->IsTrajectoryUploaded());
    EXPECT_EQ(4, sim->State().trajectoryPairsReceived);
    EXPECT_EQ("T(4,1)", Received().at(0));
    // The uploaded notice comes last, after the status has left UPLOADING.
    const std::vector<UINT> messages = owner.Messages();
    EXPECT_EQ(static_cast<UINT>(WM_QUORVEL_TRAJ_UPLOADED), messages.back());
    EXPECT_EQ(Only(IDLE), owner.Of(WM_QUORVEL_STATUS).back().status);

    owner.Clear();
    ASSERT_EQ(1, Upload(1));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_EQ((P{{0, 1}, {0, 1}, {100, 0}}), Progress());
    EXPECT_EQ(1u, owner.Count(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
}

// A new trajectory right after the uploaded notice waits, pumping, until the upload thread has
// ended; the thread's end must wake the waiting GUI thread instead of leaving it asleep.
TEST_F(SimulatedTrajectory, TheUploadThreadsEndWakesTheGuiThread) {
    Start();
    ASSERT_EQ(1, Upload(1));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_TRUE(
        Platform::CThreadMessageQueue::ForCurrentThread().WaitForMessage(std::chrono::seconds(5)));
    ASSERT_EQ(1, Upload(1));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_UPLOADED, 2));
}

TEST_F(SimulatedTrajectory, CancelledUploadLeavesAPartialTrajectory) {
    SSimulatorOptions options;
    options.replyLatencyMs = 5;  // 200 pairs take a second: time to cancel in the middle
    Start(options);
    ASSERT_EQ(1, Upload(200));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_PROGRESS, 5));
    ASSERT_NE(0, quorvel->CancelTrajectoryUpload());
    ASSERT_TRUE(UploadEnded());
    PumpFor(100);
    const P progress = Progress();
    EXPECT_EQ((std::pair<int, int>{100, 0}), progress.back());
    EXPECT_LT(progress.size(), 200u);
    EXPECT_EQ(0, quorvel->IsTrajectoryUploaded());
    EXPECT_EQ(0u, owner.Count(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Trajectory upload cancelled by user."));
    const int received = sim->State().trajectoryPairsReceived;
    EXPECT_GT(received, 0);
    EXPECT_LT(received, 200);
    EXPECT_EQ(Only(IDLE), quorvel->GetStatus(1));
    // Nothing is sent to discard what the instrument got: the next line is the next command.
    const std::size_t before = sim->ReceivedCount();
    PumpFor(50);
    EXPECT_EQ(before, sim->ReceivedCount());
}

// The next pair is queued before the progress notice of the pair just acknowledged, so it
// reaches the instrument while the owner is still inside that notice; a cancel from inside
// the notice still stops the upload right after that next pair.
TEST_F(SimulatedTrajectory, NextPairGoesOutDuringTheProgressNotice) {
    Start();
    bool nextPairArrived = false;
    int notices = 0;
    owner.onNotification = [&](const SNotification& n) {
        if (n.message != WM_QUORVEL_TRAJ_PROGRESS || n.lParam != 1)
            return;
        ++notices;
        if (notices == 2) {  // pair 1 acknowledged (the first notice follows the header)
            nextPairArrived = Pump([&] { return sim->State().trajectoryPairsReceived >= 2; });
        } else if (notices == 4) {  // pair 3 acknowledged
            quorvel->CancelTrajectoryUpload();
        }
    };
    ASSERT_EQ(1, Upload(10));
    ASSERT_TRUE(UploadEnded());
    PumpFor(50);
    EXPECT_TRUE(nextPairArrived);
    EXPECT_EQ(4, sim->State().trajectoryPairsReceived);
    EXPECT_EQ((P{{0, 1}, {0, 1}, {10, 1}, {20, 1}, {100, 0}}), Progress());
    EXPECT_EQ(0, quorvel->IsTrajectoryUploaded());
    EXPECT_EQ(0u, owner.Count(WM_QUORVEL_TRAJ_UPLOADED));
}

TEST_F(SimulatedTrajectory, RefusedHeaderEndsWithoutFurtherProgress) {
    SSimulatorOptions options;
    options.faults = {Refuse("T(")};
    Start(options);
    ASSERT_EQ(1, Upload(3));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    ASSERT_TRUE(Pump([&] { return quorvel->GetStatus(1) == Only(IDLE); }));
    PumpFor(100);
    EXPECT_EQ((P{{0, 1}}), Progress());
    EXPECT_EQ(2, static_cast<int>(owner.Of(WM_QUORVEL_ERROR).at(0).wParam));
    EXPECT_EQ(L"Trajectory load command returned an invalid response.",
              owner.Of(WM_QUORVEL_ERROR).at(0).text);
    EXPECT_EQ(0u, owner.Count(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_EQ(std::vector<std::string>{"T(3,1)"}, Received());
    EXPECT_EQ(1, Upload(1));  // not left busy
}

TEST_F(SimulatedTrajectory, RefusedPairEndsWithTheFinalProgress) {
    SSimulatorOptions options;
    options.faults = {Refuse("100.0100,39.9900")};  // the second pair
    Start(options);
    ASSERT_EQ(1, Upload(4));
    ASSERT_TRUE(UploadEnded());
    PumpFor(100);
    EXPECT_EQ((P{{0, 1}, {0, 1}, {100, 0}}), Progress());
    ASSERT_EQ(1u, owner.Count(WM_QUORVEL_ERROR));
    EXPECT_EQ(3, static_cast<int>(owner.Of(WM_QUORVEL_ERROR).at(0).wParam));
    EXPECT_EQ(0u, owner.Count(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_EQ(0, quorvel->IsTrajectoryUploaded());
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Trajectory upload encountered an error."));
    EXPECT_EQ((std::vector<std::string>{"T(4,1)", "100.0000,40.0000", "100.0100,39.9900"}),
              Received());
}

// Timed starts on a manual clock: the simulator runs in real time, the driver's waits only
// when the test moves the clock.
class SimulatedTimedStart : public SimulatedTrajectory {
protected:
    void Prepare(std::chrono::milliseconds lead, SSimulatorOptions options = {}) {
        clock = std::make_unique<Platform::CManualClock>(Platform::CRealClock().NowUtc());
        Platform::SetClock(clock.get());
        Start(options);
        ASSERT_EQ(1, Upload(2, lead));
        ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_UPLOADED));
        owner.Clear();
        mark = log.Mark();
        uploadLines = sim->ReceivedCount();
    }
    std::vector<std::string> SinceUpload() const {
        std::vector<std::string> lines;
        const auto entries = sim->CommandLog();
        for (std::size_t i = uploadLines; i < entries.size(); ++i)
            lines.push_back(entries[i].text);
        return lines;
    }
    // Waits for the log line of a wait and gives the thread the moment to begin it.
    bool InWait(const std::wstring& message) {
        const bool logged = Pump([&] { return log.Contains(mark, message); });
        PumpFor(50);
        return logged;
    }

    std::unique_ptr<Platform::CManualClock> clock;
    std::size_t uploadLines = 0;
};

TEST_F(SimulatedTimedStart, ExactlyTenSecondsAwayInitialisesAtOnceAndRuns) {
    Prepare(std::chrono::seconds(10));
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(Pump([&] { return sim->ReceivedCount() > uploadLines; }));
    EXPECT_EQ(std::vector<std::string>{"T!"}, SinceUpload());
    EXPECT_TRUE(log.Contains(
        mark, L"QuorvelDll: Waiting for 0 milliseconds before initializing trajectory."));
    ASSERT_TRUE(InWait(L"QuorvelDll: Waiting for 10000 milliseconds before starting trajectory."));
    EXPECT_EQ(Only(WAITING), quorvel->GetStatus(1));
    clock->Advance(std::chrono::seconds(10));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_FINISHED, 1, 10000));
    EXPECT_EQ((std::vector<std::string>{"T!", "G!"}), SinceUpload());
    EXPECT_EQ(Only(IDLE), quorvel->GetStatus(1));
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
}

TEST_F(SimulatedTimedStart, LessThanTenSecondsAwayIsAbortedWithTheBox) {
    Prepare(std::chrono::milliseconds(9999));
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(Pump([&] { return !boxes.Boxes().empty(); }));
    ASSERT_TRUE(Pump([&] { return quorvel->GetStatus(1) == Only(IDLE); }));
    EXPECT_EQ(
        L"Trajectory has been aborted due to not enough time to start (less than 10 "
        L"seconds).",
        boxes.Boxes().at(0).text);
    EXPECT_EQ(Only(IDLE), owner.Of(WM_QUORVEL_STATUS).back().status);
    PumpFor(50);
    EXPECT_TRUE(SinceUpload().empty());
    EXPECT_EQ(1, quorvel->StartTrajectory(1));  // not left busy; 10.999 s away is enough
    ASSERT_TRUE(
        InWait(L"QuorvelDll: Waiting for 999 milliseconds before initializing trajectory."));
    clock->Advance(std::chrono::milliseconds(999));
    ASSERT_TRUE(Pump([&] { return sim->ReceivedCount() > uploadLines; }));
    EXPECT_EQ(std::vector<std::string>{"T!"}, SinceUpload());
}

TEST_F(SimulatedTimedStart, CancelDuringTheFirstWaitSendsNothing) {
    Prepare(std::chrono::seconds(60));
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(
        InWait(L"QuorvelDll: Waiting for 50000 milliseconds before initializing trajectory."));
    ASSERT_NE(0, quorvel->CancelTrajectory());
    ASSERT_TRUE(Pump([&] { return quorvel->GetStatus(1) == Only(IDLE); }));
    EXPECT_TRUE(log.Contains(
        mark, L"QuorvelDll: User cancelled waiting for a trajectory to be initialized."));
    clock->Advance(std::chrono::seconds(60));
    PumpFor(100);
    EXPECT_TRUE(SinceUpload().empty());
    EXPECT_EQ(1, quorvel->MoveAbs(1, 1));  // no longer busy
}

TEST_F(SimulatedTimedStart, CancelDuringTheSecondWaitLeavesTheInstrumentInitialised) {
    Prepare(std::chrono::seconds(30));
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(
        InWait(L"QuorvelDll: Waiting for 20000 milliseconds before initializing trajectory."));
    clock->Advance(std::chrono::seconds(20));
    ASSERT_TRUE(InWait(L"QuorvelDll: Waiting for 10000 milliseconds before starting trajectory."));
    EXPECT_EQ(std::vector<std::string>{"T!"}, SinceUpload());
    ASSERT_NE(0, quorvel->CancelTrajectory());
    ASSERT_TRUE(Pump([&] {
        return log.Contains(mark, L"QuorvelDll: User cancelled waiting for a trajectory to start.");
    }));
    ASSERT_TRUE(Pump([&] { return quorvel->GetStatus(1) == Only(IDLE); }));
    clock->Advance(std::chrono::seconds(20));
    PumpFor(100);
    EXPECT_EQ(std::vector<std::string>{"T!"}, SinceUpload());  // no "G!"
    EXPECT_TRUE(sim->State().statusWord & 16u);                // the instrument itself still waits
}

TEST_F(SimulatedTimedStart, RefusedGoIsReportedAndLeavesWaiting) {
    SSimulatorOptions options;
    options.faults = {Refuse("G!")};
    Prepare(std::chrono::seconds(10), options);
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(InWait(L"QuorvelDll: Waiting for 10000 milliseconds before starting trajectory."));
    clock->Advance(std::chrono::seconds(10));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    const SNotification error = owner.Of(WM_QUORVEL_ERROR).at(0);
    EXPECT_EQ(2, static_cast<int>(error.wParam));
    EXPECT_EQ(L"Trajectory start command returned an invalid response.", error.text);
    EXPECT_EQ(Only(WAITING), quorvel->GetStatus(1));
    EXPECT_EQ((std::vector<std::string>{"T!", "G!"}), SinceUpload());
    EXPECT_EQ(0u, owner.Count(WM_QUORVEL_TRAJ_FINISHED));
}

// A homing that ends while a timed start waits for its instant must neither hide that start
// nor let a second start block the GUI thread on it. Path 1: Home, then Run before the home
// reply ("1" to "H!" replaces the set with {HOMING}), then Run again after "!H:1".
TEST_F(SimulatedTimedStart, HomingDuringAWaitingStartKeepsItShownAndRefusesASecond) {
    Prepare(std::chrono::minutes(5));
    ASSERT_EQ(1, quorvel->Home());
    ASSERT_EQ(1, quorvel->StartTrajectory(0));  // the reply to "H!" is not handled yet
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_HOME_FINISHED, 1, 10000));
    ASSERT_TRUE(
        InWait(L"QuorvelDll: Waiting for 290000 milliseconds before initializing trajectory."));
    EXPECT_EQ(Only(WAITING), quorvel->GetStatus(1));  // still on show, so Stop can reach it
    EXPECT_EQ(L"Warning",
              log.SeverityOf(mark,
                             L"QuorvelDll: A timed trajectory start is still waiting; it "
                             L"stays in the status until it is sent or cancelled."));
    {
        CHangWatch watch("StartTrajectory after a homing during a waiting start");
        EXPECT_EQ(0, quorvel->StartTrajectory(0));
    }
    EXPECT_EQ(L"Warning", log.SeverityOf(mark,
                                         L"QuorvelDll: Trajectory start refused: a timed "
                                         L"start is already waiting; cancel it first."));
    ASSERT_NE(0, quorvel->CancelTrajectory());
    ASSERT_TRUE(Pump([&] { return quorvel->GetStatus(1) == Only(IDLE); }));
    EXPECT_EQ((std::vector<std::string>{"H!"}), SinceUpload());
    // Free again once the cancelled thread has ended.
    EXPECT_TRUE(Pump([&] { return quorvel->StartTrajectory(0) == 1; }));
    ASSERT_NE(0, quorvel->CancelTrajectory());
}

// Path 2: a stray "!H:1" while the start waits; the second start is refused at once and the
// first one still goes out on time.
TEST_F(SimulatedTimedStart, StrayHomingEventDuringAWaitingStartRefusesASecond) {
    Prepare(std::chrono::seconds(30));
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(
        InWait(L"QuorvelDll: Waiting for 20000 milliseconds before initializing trajectory."));
    sim->InjectLine("!H:1");
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_HOME_FINISHED));
    EXPECT_EQ(Only(WAITING), quorvel->GetStatus(1));
    {
        CHangWatch watch("StartTrajectory after a stray homing event");
        EXPECT_EQ(0, quorvel->StartTrajectory(0));
    }
    EXPECT_EQ(0, quorvel->MoveAbs(1, 1));  // still busy with the start
    clock->Advance(std::chrono::seconds(20));
    ASSERT_TRUE(InWait(L"QuorvelDll: Waiting for 10000 milliseconds before starting trajectory."));
    clock->Advance(std::chrono::seconds(10));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_FINISHED, 1, 10000));
    EXPECT_EQ((std::vector<std::string>{"T!", "G!"}), SinceUpload());
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
}

// The GUI thread never waits for the upload: while 700 pairs go over an emulated 115200-baud
// wire, the loop that dispatches its messages keeps turning. The bound only catches a thread
// that blocks for the whole upload (about 2 s of wire time); the figure itself is printed and
// measured precisely by driver_bench.
TEST_F(SimulatedTrajectory, GuiThreadKeepsDispatchingDuringA700PairUpload) {
    SSimulatorOptions options;
    options.baud = 115200;
    Start(options);
    using Clock = std::chrono::steady_clock;
    Clock::duration longest{};
    Clock::time_point last = Clock::now();
    ASSERT_EQ(1, Upload(700));
    const bool done = Pump(
        [&] {
            const Clock::time_point now = Clock::now();
            longest = std::max(longest, now - last);
            last = now;
            return owner.Count(WM_QUORVEL_TRAJ_UPLOADED) > 0;
        },
        30000);
    ASSERT_TRUE(done);
    const double longestMs = std::chrono::duration<double, std::milli>(longest).count();
    std::printf(
        "longest gap between two loop iterations during the upload: %.2f ms "
        "(target at most 20 ms)\n",
        longestMs);
    EXPECT_LT(longestMs, 500.0);
    EXPECT_EQ(700, sim->State().trajectoryPairsReceived);
    EXPECT_EQ(702u, owner.Count(WM_QUORVEL_TRAJ_PROGRESS));  // header, pairs, end
}

}  // namespace
