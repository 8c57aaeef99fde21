// Trajectory upload and the timed start against a scripted instrument on a real
// pseudo-terminal. The timed start runs on a manual process clock, so the waits before "T!"
// and "G!" end exactly when the test moves the clock.
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <memory>

#include "DriverFixture.h"
#include "platform/Event.h"

namespace drivertest {
namespace {

using Trajectory = DriverTest;

struct Progress {
    WPARAM percent;
    LPARAM uploading;
    bool operator==(const Progress&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Progress& p) {
    return os << "(" << p.percent << ", " << p.uploading << ")";
}

std::vector<Progress> ProgressOf(const CRecordingOwner& owner) {
    std::vector<Progress> result;
    for (const SNotification& n : owner.Of(WM_QUORVEL_TRAJ_PROGRESS))
        result.push_back({n.wParam, n.lParam});
    return result;
}

CArray<double> Values(std::initializer_list<double> v) {
    return CArray<double>(std::vector<double>(v));
}

CArray<SYSTEMTIME> Times(std::size_t n) {
    CArray<SYSTEMTIME> times;
    for (std::size_t i = 0; i < n; ++i)
        times.Add(LocalTimeIn(std::chrono::minutes(10 + i)));
    return times;
}

bool UploadEnded(const CRecordingOwner& owner) {
    for (const SNotification& n : owner.Of(WM_QUORVEL_STATUS)) {
        if (!n.status.test(UPLOADING) && n.status.any()) {
            return owner.Count(WM_QUORVEL_TRAJ_PROGRESS) > 0;
        }
    }
    return false;
}

// Blocks the peer's answer to one line until released.
class CGate {
public:
    void Release() {
        std::lock_guard<std::mutex> lock(m_lock);
        m_open = true;
        m_changed.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_open; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_open = false;
};

TEST_F(Trajectory, UploadOfFourPairs) {
    ConnectAndSettle();
    ASSERT_EQ(1, quorvel->SetTrajectory(60, Times(4), Values({10, 20.5, 123.45674, 359.99994}),
                                        Values({20, 30, 45, -0.5})));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_EQ((std::vector<std::string>{"T(4,60)", "10.0000,20.0000", "20.5000,30.0000",
                                        "123.4567,45.0000", "359.9999,-0.5000"}),
              NewLines());
    EXPECT_EQ((std::vector<Progress>{{0, 1}, {0, 1}, {25, 1}, {50, 1}, {75, 1}, {100, 0}}),
              ProgressOf(owner));
    const auto statuses = owner.Of(WM_QUORVEL_STATUS);
    ASSERT_EQ(2u, statuses.size());
    EXPECT_EQ(Bits({UPLOADING}), statuses[0].status);
    EXPECT_EQ(Bits({IDLE}), statuses[1].status);
    // The status change, then the completion.
    EXPECT_EQ(WM_QUORVEL_TRAJ_UPLOADED, owner.Messages().back());
    EXPECT_EQ(1, quorvel->IsTrajectoryUploaded());
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Starting loading a trajectory."));
    EXPECT_TRUE(log.Contains(
        mark, L"QuorvelDll: Uploading a trajectory with 4 elements and a period of 60 seconds."));
    EXPECT_TRUE(log.Contains(
        mark, L"QuorvelDll: Uploading trajectory pair 3 of 4. Value (123.4567,45.0000)"));
    EXPECT_EQ(L"Informational", log.SeverityOf(mark, L"QuorvelDll: Trajectory upload complete."));
    // Not busy any more: motion is accepted again.
    EXPECT_EQ(1, quorvel->MoveAbs(1, 1));
}

TEST_F(Trajectory, UploadOfOnePairAndShortTimesAreAccepted) {
    ConnectAndSettle();
    ASSERT_EQ(1, quorvel->SetTrajectory(30, CArray<SYSTEMTIME>(), Values({1}), Values({2})));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_EQ((std::vector<Progress>{{0, 1}, {0, 1}, {100, 0}}), ProgressOf(owner));
    EXPECT_EQ(0, quorvel->StartTrajectory(0));  // no time stamps to start from
    EXPECT_TRUE(log.Contains(
        mark, L"QuorvelDll: Trajectory start refused: index 0 is outside the 0 time stamps."));
}

TEST_F(Trajectory, RefusedTrajectories) {
    EXPECT_EQ(0, quorvel->SetTrajectory(60, Times(1), Values({1}), Values({2})));  // not connected
    ConnectAndSettle();
    EXPECT_EQ(0, quorvel->SetTrajectory(60, Times(1), Values({}), Values({})));
    EXPECT_EQ(0, quorvel->SetTrajectory(60, Times(2), Values({1, 2}), Values({1})));
    EXPECT_EQ(0, quorvel->SetTrajectory(60, Times(1), Values({std::nan("")}), Values({1})));
    PumpFor(50);
    EXPECT_TRUE(NewLines().empty());
    EXPECT_EQ(0, quorvel->IsTrajectoryUploaded());
}

TEST_F(Trajectory, HeaderRefusedEndsWithoutFurtherProgress) {
    ConnectAndSettle();
    peer->Reply("T(2,60)", "0\r");
    ASSERT_EQ(1, quorvel->SetTrajectory(60, Times(2), Values({1, 2}), Values({3, 4})));
    ASSERT_TRUE(Pump([&] { return UploadEnded(owner); }));
    ASSERT_EQ(1u, owner.Count(WM_QUORVEL_ERROR));
    EXPECT_EQ(2u, owner.Of(WM_QUORVEL_ERROR)[0].wParam);
    EXPECT_EQ(L"Trajectory load command returned an invalid response.",
              owner.Of(WM_QUORVEL_ERROR)[0].text);
    EXPECT_TRUE(log.Contains(
        mark, L"QuorvelDll: Trajectory load command returned an invalid response (\"0\")."));
    EXPECT_EQ((std::vector<Progress>{{0, 1}}), ProgressOf(owner));
    EXPECT_EQ(0u, owner.Count(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_EQ(0, quorvel->IsTrajectoryUploaded());
    EXPECT_EQ((std::vector<std::string>{"T(2,60)"}), NewLines());
    EXPECT_TRUE(Pump([&] { return quorvel->MoveAbs(1, 1) == 1; }));  // busy ends after the status
}

TEST_F(Trajectory, HeaderTimeOut) {
    ConnectAndSettle();
    peer->Reply("T(1,5)", "");
    ASSERT_EQ(1, quorvel->SetTrajectory(5, Times(1), Values({1}), Values({3})));
    ASSERT_TRUE(Pump([&] { return UploadEnded(owner); }));
    EXPECT_EQ(L"Trajectory load command timed out.", owner.Of(WM_QUORVEL_ERROR)[0].text);
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Timed out starting a trajectory load."));
}

TEST_F(Trajectory, PairRefusedEndsWithFinalProgress) {
    ConnectAndSettle();
    peer->Reply("2.0000,4.0000", "E\r");
    ASSERT_EQ(1, quorvel->SetTrajectory(60, Times(3), Values({1, 2, 3}), Values({3, 4, 5})));
    ASSERT_TRUE(Pump([&] { return UploadEnded(owner); }));
    EXPECT_EQ(3u, owner.Of(WM_QUORVEL_ERROR)[0].wParam);
    EXPECT_EQ(L"Trajectory load pair command returned an invalid response.",
              owner.Of(WM_QUORVEL_ERROR)[0].text);
    EXPECT_TRUE(log.Contains(
        mark, L"QuorvelDll: Trajectory load pair command returned an invalid response (\"E\")."));
    EXPECT_EQ(L"Warning",
              log.SeverityOf(mark, L"QuorvelDll: Trajectory upload encountered an error."));
    EXPECT_EQ((std::vector<Progress>{{0, 1}, {0, 1}, {100, 0}}), ProgressOf(owner));
    EXPECT_EQ(0u, owner.Count(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_EQ(3u, NewLines().size());  // the third pair is never sent
}

TEST_F(Trajectory, PairTimeOut) {
    ConnectAndSettle();
    peer->Reply("1.0000,3.0000", "");
    ASSERT_EQ(1, quorvel->SetTrajectory(60, Times(1), Values({1}), Values({3})));
    ASSERT_TRUE(Pump([&] { return UploadEnded(owner); }));
    EXPECT_EQ(L"Trajectory pair loading command timed out.", owner.Of(WM_QUORVEL_ERROR)[0].text);
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Timed out loading a trajectory pair."));
    EXPECT_EQ(0, quorvel->IsTrajectoryUploaded());
}

TEST_F(Trajectory, CancelDuringThePairLoop) {
    ConnectAndSettle();
    auto gate = std::make_shared<CGate>();
    peer->SetScript([gate](const std::string& line) {
        if (line == "2.0000,0.0000")
            gate->Wait();
        return CPtyPeer::DefaultReply(line);
    });
    ASSERT_EQ(1, quorvel->SetTrajectory(60, Times(4), Values({1, 2, 3, 4}), Values({0, 0, 0, 0})));
    ASSERT_TRUE(WaitForNewLines(3));
    // While an upload runs a new one is refused, and so are motion commands.
    EXPECT_EQ(0, quorvel->SetTrajectory(60, Times(1), Values({1}), Values({1})));
    EXPECT_EQ(0, quorvel->MoveAbs(1, 1));
    EXPECT_EQ(1, quorvel->CancelTrajectoryUpload());
    ASSERT_TRUE(Pump([&] { return UploadEnded(owner); }));
    gate->Release();
    EXPECT_EQ(L"Informational",
              log.SeverityOf(mark, L"QuorvelDll: Trajectory upload cancelled by user."));
    EXPECT_EQ((std::vector<Progress>{{0, 1}, {0, 1}, {100, 0}}), ProgressOf(owner));
    EXPECT_EQ(0u, owner.Count(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_EQ(0, quorvel->IsTrajectoryUploaded());
}

TEST_F(Trajectory, CancelBeforeTheHeaderIsAcknowledgedHasNoEffect) {
    ConnectAndSettle();
    auto gate = std::make_shared<CGate>();
    peer->SetScript([gate](const std::string& line) {
        if (line == "T(2,60)")
            gate->Wait();
        return CPtyPeer::DefaultReply(line);
    });
    ASSERT_EQ(1, quorvel->SetTrajectory(60, Times(2), Values({1, 2}), Values({0, 0})));
    ASSERT_TRUE(WaitForNewLines(1));
    quorvel->CancelTrajectoryUpload();
    gate->Release();
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_UPLOADED));
    EXPECT_EQ(1, quorvel->IsTrajectoryUploaded());
}

TEST_F(Trajectory, DeletingTheObjectDuringAnUploadEndsIt) {
    ConnectAndSettle();
    peer->Reply("1.0000,0.0000", "");  // never answered in time
    ASSERT_EQ(1, quorvel->SetTrajectory(60, Times(2), Values({1, 2}), Values({0, 0})));
    ASSERT_TRUE(WaitForNewLines(2));
    quorvel.reset();  // joins the upload thread, which is blocked on the pair
    SUCCEED();
}

// ---- timed start on a manual clock -------------------------------------------------------

class TimedStart : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        clock = std::make_unique<Platform::CManualClock>(Platform::CRealClock().NowUtc());
        Platform::SetClock(clock.get());
    }
    void TearDown() override {
        quorvel.reset();
        Platform::SetClock(nullptr);
        DriverTest::TearDown();
    }
    // Uploads a one-pair trajectory whose time stamp is `lead` from now.
    void Prepare(std::chrono::milliseconds lead) {
        ConnectAndSettle();
        CArray<SYSTEMTIME> times;
        times.Add(LocalTimeIn(lead));
        ASSERT_EQ(1, quorvel->SetTrajectory(60, times, Values({1}), Values({2})));
        ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_UPLOADED));
        owner.Clear();
        linesAtStart = peer->Lines().size();
        mark = log.Mark();
    }
    bool Logged(const std::wstring& message) {
        return Pump([&] { return log.Contains(mark, message); });
    }
    // The start thread logs a wait just before it begins: give it the moment to get there,
    // so that moving the clock counts against that wait.
    bool LoggedWait(const std::wstring& message) {
        const bool logged = Logged(message);
        PumpFor(50);
        return logged;
    }

    std::unique_ptr<Platform::CManualClock> clock;
};

TEST_F(TimedStart, InitialisesTenSecondsAheadAndStartsOnTime) {
    Prepare(std::chrono::seconds(30));
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(
        LoggedWait(L"QuorvelDll: Waiting for 20000 milliseconds before initializing trajectory."));
    EXPECT_EQ(Bits({WAITING}), owner.Of(WM_QUORVEL_STATUS).at(0).status);
    EXPECT_EQ(0, quorvel->StartTrajectory(0));  // busy
    EXPECT_EQ(0, quorvel->MoveAbs(1, 1));
    PumpFor(50);
    EXPECT_TRUE(NewLines().empty());

    clock->Advance(std::chrono::milliseconds(19999));
    PumpFor(50);
    EXPECT_TRUE(NewLines().empty());
    clock->Advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(WaitForNewLines(1));
    EXPECT_EQ("T!", NewLines()[0]);
    ASSERT_TRUE(
        LoggedWait(L"QuorvelDll: Waiting for 10000 milliseconds before starting trajectory."));
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Sending command - \"T!\""));

    clock->Advance(std::chrono::seconds(10));
    ASSERT_TRUE(WaitForNewLines(2));
    EXPECT_EQ("G!", NewLines()[1]);
    EXPECT_TRUE(Logged(L"QuorvelDll: Sending command - \"G!\""));
    ASSERT_TRUE(Pump([&] { return quorvel->GetStatus(1) == Bits({TRAJECTORY}); }));
    EXPECT_EQ(Bits({TRAJECTORY}), owner.Of(WM_QUORVEL_STATUS).back().status);
    EXPECT_EQ(1, quorvel->MoveAbs(1, 1));  // not busy once "G!" is queued

    peer->Send("!T:1\r");
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_FINISHED));
}

TEST_F(TimedStart, ExactlyTenSecondsAwayInitialisesAtOnce) {
    Prepare(std::chrono::seconds(10));
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(WaitForNewLines(1));
    EXPECT_EQ("T!", NewLines()[0]);
    EXPECT_TRUE(log.Contains(
        mark, L"QuorvelDll: Waiting for 0 milliseconds before initializing trajectory."));
    ASSERT_TRUE(
        LoggedWait(L"QuorvelDll: Waiting for 10000 milliseconds before starting trajectory."));
    quorvel->CancelTrajectory();  // ends the second wait
    EXPECT_TRUE(Logged(L"QuorvelDll: User cancelled waiting for a trajectory to start."));
    EXPECT_EQ(1u, NewLines().size());  // no "G!"
}

TEST_F(TimedStart, LessThanTenSecondsAwayIsAbortedWithABox) {
    Prepare(std::chrono::milliseconds(9999));
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(Pump([&] { return owner.Count(WM_QUORVEL_STATUS) >= 2; }));
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ(
        L"Trajectory has been aborted due to not enough time to start (less than 10 seconds).",
        boxes.Boxes()[0].text);
    EXPECT_EQ(MB_OK, boxes.Boxes()[0].type & 0x0F);
    EXPECT_EQ(
        L"Error",
        log.SeverityOf(
            mark, L"QuorvelDll: T10 start time is before the current time! Aborting trajectory."));
    EXPECT_EQ(Bits({WAITING}), owner.Of(WM_QUORVEL_STATUS)[0].status);
    EXPECT_EQ(Bits({IDLE}), owner.Of(WM_QUORVEL_STATUS)[1].status);
    PumpFor(50);
    EXPECT_TRUE(NewLines().empty());
    EXPECT_TRUE(Pump([&] { return quorvel->MoveAbs(1, 1) == 1; }));  // no longer busy
}

TEST_F(TimedStart, CancelBeforeInitialisation) {
    Prepare(std::chrono::minutes(5));
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(
        Logged(L"QuorvelDll: Waiting for 290000 milliseconds before initializing trajectory."));
    EXPECT_EQ(1, quorvel->CancelTrajectory());
    ASSERT_TRUE(Logged(L"QuorvelDll: User cancelled waiting for a trajectory to be initialized."));
    ASSERT_TRUE(Pump([&] { return owner.Count(WM_QUORVEL_STATUS) >= 2; }));
    EXPECT_EQ(Bits({IDLE}), owner.Of(WM_QUORVEL_STATUS)[1].status);
    EXPECT_TRUE(NewLines().empty());
}

TEST_F(TimedStart, CancelWhileInitialisationIsAnsweredHasNoEffect) {
    Prepare(std::chrono::seconds(12));
    auto gate = std::make_shared<CGate>();
    peer->SetScript([gate](const std::string& line) {
        if (line == "T!")
            gate->Wait();
        return CPtyPeer::DefaultReply(line);
    });
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(
        LoggedWait(L"QuorvelDll: Waiting for 2000 milliseconds before initializing trajectory."));
    clock->Advance(std::chrono::seconds(2));
    ASSERT_TRUE(WaitForNewLines(1));
    quorvel->CancelTrajectory();  // the event is reset before the second wait
    gate->Release();
    ASSERT_TRUE(
        LoggedWait(L"QuorvelDll: Waiting for 10000 milliseconds before starting trajectory."));
    clock->Advance(std::chrono::seconds(10));
    ASSERT_TRUE(WaitForNewLines(2));
    EXPECT_EQ("G!", NewLines()[1]);
}

TEST_F(TimedStart, RefusedInitialisationLeavesWaitingAndSendsNoGo) {
    Prepare(std::chrono::seconds(10));
    peer->Reply("T!", "0\r");
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    EXPECT_EQ(4u, owner.Of(WM_QUORVEL_ERROR)[0].wParam);
    EXPECT_EQ(L"Trajectory initialization command returned an invalid response.",
              owner.Of(WM_QUORVEL_ERROR)[0].text);
    EXPECT_TRUE(log.Contains(
        mark,
        L"QuorvelDll: Trajectory initialization command returned an invalid response (\"0\")."));
    ASSERT_TRUE(Pump([&] { return quorvel->MoveAbs(1, 1) == 1; }));  // not busy
    EXPECT_TRUE(quorvel->GetStatus(1).test(WAITING));
    clock->Advance(std::chrono::seconds(20));
    PumpFor(50);
    for (const std::string& line : NewLines())
        EXPECT_NE("G!", line);
}

TEST_F(TimedStart, GoTimeOutAndInvalidReply) {
    Prepare(std::chrono::seconds(10));
    peer->Reply("G!", "");
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(
        LoggedWait(L"QuorvelDll: Waiting for 10000 milliseconds before starting trajectory."));
    clock->Advance(std::chrono::seconds(10));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    EXPECT_EQ(L"Trajectory start command timed out.", owner.Of(WM_QUORVEL_ERROR)[0].text);
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Timed out starting a trajectory."));
    EXPECT_TRUE(quorvel->GetStatus(1).test(WAITING));
}

TEST_F(TimedStart, DeletingTheObjectWhileAStartIsPendingEndsIt) {
    Prepare(std::chrono::minutes(5));
    ASSERT_EQ(1, quorvel->StartTrajectory(0));
    ASSERT_TRUE(
        Logged(L"QuorvelDll: Waiting for 290000 milliseconds before initializing trajectory."));
    quorvel.reset();
    SUCCEED();
}

}  // namespace
}  // namespace drivertest
