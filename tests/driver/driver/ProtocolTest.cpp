// The device object against a scripted instrument on a real pseudo-terminal: bytes on the
// wire, every reply case of the acknowledged commands with its log line and operator text,
// identification, queries, unsolicited lines and the status rules.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>

#include "DriverFixture.h"

namespace drivertest {
namespace {

using Protocol = DriverTest;

TEST_F(Protocol, ConnectIdentifiesThenQueriesStatus) {
    ASSERT_EQ(1, quorvel->Connect());
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS));
    EXPECT_EQ(1, quorvel->IsConnected());
    EXPECT_EQ(Bits({IDLE}), owner.Of(WM_QUORVEL_STATUS)[0].status);
    EXPECT_EQ("I?\rS?\r", peer->RawBytes());  // carriage return only, no line feed
    EXPECT_TRUE(log.Contains(
        mark, L"QuorvelDll: Identification string received: \"Pelvarin,QUORVEL4,1.0\""));
    EXPECT_EQ(L"Informational",
              log.SeverityOf(mark, L"QuorvelDll: A Quorvel has been successfully detected."));
    // No send lines for the connect query and the status query.
    for (const std::wstring& m : log.MessagesSince(mark)) {
        EXPECT_EQ(std::wstring::npos, m.find(L"Sending command")) << m;
    }
}

TEST_F(Protocol, HomeQueuedWhileDisconnectedGoesOutFirst) {
    EXPECT_EQ(1, quorvel->Home());
    ASSERT_EQ(1, quorvel->Connect());
    ASSERT_TRUE(Pump([&] { return peer->Lines().size() >= 3; }));
    EXPECT_EQ((std::vector<std::string>{"H!", "I?", "S?"}), peer->Lines());
}

TEST_F(Protocol, ConnectToAbsentPortFailsSilently) {
    CQuorvelSettings settings;
    settings.nPort = 200;  // no link and no device for it
    quorvel->SetSettings(settings);
    EXPECT_EQ(0, quorvel->Connect());
    PumpFor(50);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(owner.All().empty());
}

struct WrongId {
    const char* reply;
    const wchar_t* product;
};

class WrongProduct : public DriverTest, public ::testing::WithParamInterface<WrongId> {};

TEST_P(WrongProduct, IsRejectedAndClosesThePort) {
    peer->Reply("I?", std::string(GetParam().reply) + "\r");
    ASSERT_EQ(1, quorvel->Connect());
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    const SNotification error = owner.Of(WM_QUORVEL_ERROR)[0];
    EXPECT_EQ(1u, error.wParam);
    EXPECT_EQ(L"Quorvel not found on COM port.", error.text);
    EXPECT_EQ(0, quorvel->IsConnected());
    EXPECT_TRUE(log.Contains(mark, std::wstring(L"QuorvelDll: Wrong product ID (\"") +
                                       GetParam().product + L"\") in identification string."));
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Serial port uninitialized."));
    // The port is closed: nothing more is written.
    quorvel->Home();
    PumpFor(100);
    EXPECT_EQ((std::vector<std::string>{"I?"}), peer->Lines());
    // And it can connect again once a Quorvel answers.
    peer->Reply("I?", "Pelvarin,QUORVEL4,1.0\r");
    ASSERT_EQ(1, quorvel->Connect());
    EXPECT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS));
}

INSTANTIATE_TEST_SUITE_P(Replies, WrongProduct,
                         ::testing::Values(WrongId{"Pelvarin,QUORVEL3,1.0", L"QUORVEL3"},
                                           WrongId{"Pelvarin,quorvel4,1.0", L"quorvel4"},
                                           WrongId{"QUORVEL4", L""}, WrongId{"a,QUORVEL4", L""}));

TEST_F(Protocol, SilentInstrumentTimesOutIdentificationAndStaysOpen) {
    peer->Reply("I?", "");
    ASSERT_EQ(1, quorvel->Connect());
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    const SNotification error = owner.Of(WM_QUORVEL_ERROR)[0];
    EXPECT_EQ(0u, error.wParam);
    EXPECT_EQ(L"Timed out getting identification string.", error.text);
    EXPECT_EQ(L"Warning",
              log.SeverityOf(
                  mark, L"QuorvelDll: Timed out getting identification string after connecting."));
    EXPECT_EQ(0, quorvel->IsConnected());
    // The port stays open: a queued command is still written.
    quorvel->Home();
    EXPECT_TRUE(peer->WaitForLines(2, 3000));
}

TEST_F(Protocol, IdentificationOnRequestHandsOverTheFields) {
    ConnectAndSettle();
    peer->Reply("I?", "Caf\xE9,QUORVEL4,b,c\r");
    EXPECT_EQ(1, quorvel->GetIdentification());
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ID));
    const SNotification id = owner.Of(WM_QUORVEL_ID)[0];
    EXPECT_EQ(0, id.lParam);
    EXPECT_EQ(L"Caf\u00e9", id.id.strLeading);  // reply bytes are Latin-1
    EXPECT_EQ(L"QUORVEL4", id.id.strProductId);
    EXPECT_EQ(L"b,c", id.id.strTrailing);
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Sending command - \"I?\""));

    peer->Reply("I?", "");
    EXPECT_EQ(1, quorvel->GetIdentification());
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ID, 2));
    const SNotification timedOut = owner.Of(WM_QUORVEL_ID)[1];
    EXPECT_EQ(1, timedOut.lParam);
    EXPECT_TRUE(timedOut.id.strProductId.empty());
    EXPECT_EQ(0u, owner.Count(WM_QUORVEL_ERROR));
}

TEST_F(Protocol, CommandsOnTheWire) {
    ConnectAndSettle();
    EXPECT_EQ(1, quorvel->MoveAbs(10.0, 45.25));
    EXPECT_EQ(1, quorvel->MoveAbs(12.3456, -0.0004, 5));
    EXPECT_EQ(1, quorvel->MoveRel(-1.5, 0, 2));
    EXPECT_EQ(1, quorvel->MoveVel(0.5, 0));
    EXPECT_EQ(1, quorvel->SetOffset(0.0, 0.0));
    EXPECT_EQ(1, quorvel->SetOffset(-12.4, 7.6));
    EXPECT_EQ(1, quorvel->Stop(StopAll));
    EXPECT_EQ(1, quorvel->Stop(StopMotion));
    EXPECT_EQ(1, quorvel->Stop(StopTrajectory));
    EXPECT_EQ(1, quorvel->GetPosition(nullptr));
    EXPECT_EQ(1, quorvel->GetVelocity());
    ASSERT_TRUE(WaitForNewLines(11));
    const std::vector<std::string> expected = {"P(10.000,45.250)",
                                               "P(12.346,-0.000,5.000)",
                                               "P(-1.500,0.000,2.000,1)",
                                               "V(0.500,0.000)",
                                               "O(0000,0000)",
                                               "O(-0012,0008)",
                                               "S!",
                                               "S1!",
                                               "S2!",
                                               "P?",
                                               "V?"};
    EXPECT_EQ(expected, NewLines());
    std::string raw;
    for (const std::string& line : expected)
        raw += line + "\r";
    EXPECT_EQ("I?\rS?\r" + raw, peer->RawBytes());
    for (const char* sent : {"P(10.000,45.250)", "P(-1.500,0.000,2.000,1)", "V(0.500,0.000)",
                             "O(0000,0000)", "S!", "S1!", "S2!"}) {
        EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Sending command - \"" +
                                           std::wstring(sent, sent + std::strlen(sent)) + L"\""))
            << sent;
    }
    EXPECT_FALSE(log.Contains(mark, L"QuorvelDll: Sending command - \"P?\""));
    EXPECT_FALSE(log.Contains(mark, L"QuorvelDll: Sending command - \"V?\""));
}

TEST_F(Protocol, NumbersIgnoreTheProcessLocale) {
    const char* german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (german == nullptr)
        german = std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
    if (german == nullptr)
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    ConnectAndSettle();
    peer->Reply("P?", "12.5,3.25\r");
    quorvel->MoveAbs(10.0, 45.25);
    quorvel->GetPosition(nullptr);
    const bool answered = owner.WaitFor(WM_QUORVEL_GET_POSITION);
    std::setlocale(LC_NUMERIC, "C");
    ASSERT_TRUE(answered);
    EXPECT_EQ("P(10.000,45.250)", NewLines()[0]);
    EXPECT_EQ(12.5, owner.Of(WM_QUORVEL_GET_POSITION)[0].values[0]);
}

TEST_F(Protocol, RefusedCallsSendNothing) {
    EXPECT_EQ(0, quorvel->MoveAbs(1, 2));  // not connected
    EXPECT_EQ(0, quorvel->MoveVel(1, 2));
    EXPECT_EQ(0, quorvel->Stop(StopAll));
    EXPECT_EQ(0, quorvel->GetPosition(nullptr));
    EXPECT_EQ(0, quorvel->GetIdentification());
    ConnectAndSettle();
    EXPECT_EQ(0, quorvel->Stop(static_cast<QuorvelStopMode>(3)));
    EXPECT_EQ(L"Debug", log.SeverityOf(mark, L"QuorvelDll: Invalid stop mode requested (3)"));
    EXPECT_EQ(0, quorvel->MoveAbs(std::nan(""), 2));  // never "nan" on the wire
    Barrier();
    EXPECT_EQ((std::vector<std::string>{"S?", "I?"}), NewLines());
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
}

// One acknowledged command: what to call, what goes out, and the texts of its failures.
struct AckCase {
    const char* name;
    std::function<int(CQuorvel&)> call;
    const char* wire;
    const wchar_t* timeoutLog;
    const wchar_t* timeoutText;
    const wchar_t* invalidPrefix;
    unsigned invalidCode;
    const wchar_t* invalidText;
    std::bitset<7> before;      // status set up before the call (through the peer's "S?" reply)
    std::bitset<7> after;       // status after a "1" reply
    std::size_t notifications;  // status notifications that the "1" reply causes
};

std::ostream& operator<<(std::ostream& os, const AckCase& c) {
    return os << c.name;
}

const AckCase kAckCases[] = {
    {"Home", [](CQuorvel& q) { return q.Home(); }, "H!",
     L"QuorvelDll: Timed out starting homing command.", L"Homing command timed out.",
     L"QuorvelDll: Homing command returned an invalid response (\"", 2,
     L"Homing command returned an invalid response.", Bits({IDLE}), Bits({HOMING}), 1},
    {"StopAll", [](CQuorvel& q) { return q.Stop(StopAll); }, "S!",
     L"QuorvelDll: Timed out stopping the Quorvel.", L"Stop command timed out.",
     L"QuorvelDll: Stop command returned an invalid response (\"", 2,
     L"Stop command returned an invalid response.", Bits({MOVING, TRAJECTORY}), Bits({IDLE}), 1},
    {"StopMotion", [](CQuorvel& q) { return q.Stop(StopMotion); }, "S1!",
     L"QuorvelDll: Timed out stopping the Quorvel.", L"Stop command timed out.",
     L"QuorvelDll: Stop command returned an invalid response (\"", 2,
     L"Stop command returned an invalid response.", Bits({MOVING, JOGGING, TRAJECTORY}),
     Bits({TRAJECTORY}), 2},
    {"StopTrajectory", [](CQuorvel& q) { return q.Stop(StopTrajectory); }, "S2!",
     L"QuorvelDll: Timed out stopping the Quorvel.", L"Stop command timed out.",
     L"QuorvelDll: Stop command returned an invalid response (\"", 2,
     L"Stop command returned an invalid response.", Bits({TRAJECTORY}), Bits({IDLE}), 1},
    {"SetOffset", [](CQuorvel& q) { return q.SetOffset(0, 0); }, "O(0000,0000)",
     L"QuorvelDll: Timed out setting the offset.", L"Set offset command timed out.",
     L"QuorvelDll: Set offset command returned an invalid response (\"", 5,
     L"Set offset command returned an invalid response.", Bits({JOGGING}), Bits({JOGGING}), 0},
};

class Acknowledged : public DriverTest, public ::testing::WithParamInterface<AckCase> {
protected:
    void PrepareStatus() {
        ConnectAndSettle();
        peer->Reply("S?", std::to_string(GetParam().before.to_ulong()) + "\r");
        Barrier();
        owner.Clear();
        mark = log.Mark();
    }
};

TEST_P(Acknowledged, OneAppliesTheEffect) {
    PrepareStatus();
    ASSERT_EQ(1, GetParam().call(*quorvel));
    Sync();
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
    const auto statuses = owner.Of(WM_QUORVEL_STATUS);
    ASSERT_EQ(GetParam().notifications, statuses.size());
    if (!statuses.empty()) {
        EXPECT_EQ(GetParam().after, statuses.back().status);
    }
    const std::vector<std::string> lines = NewLines();
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), GetParam().wire));
}

TEST_P(Acknowledged, OtherReplyIsInvalid) {
    PrepareStatus();
    peer->Reply(GetParam().wire, "1 \r");
    ASSERT_EQ(1, GetParam().call(*quorvel));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    const SNotification error = owner.Of(WM_QUORVEL_ERROR)[0];
    EXPECT_EQ(GetParam().invalidCode, error.wParam);
    EXPECT_EQ(GetParam().invalidText, error.text);
    EXPECT_EQ(L"Warning", log.SeverityOf(mark, std::wstring(GetParam().invalidPrefix) + L"1 \")."));
    EXPECT_TRUE(owner.Of(WM_QUORVEL_STATUS).empty());
    EXPECT_EQ(GetParam().before, quorvel->GetStatus(1));

    peer->Reply(GetParam().wire, "01\r");
    ASSERT_EQ(1, GetParam().call(*quorvel));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR, 2));
    EXPECT_TRUE(log.Contains(mark, std::wstring(GetParam().invalidPrefix) + L"01\")."));

    peer->Reply(GetParam().wire, "\r");  // an empty line is a complete, empty reply
    ASSERT_EQ(1, GetParam().call(*quorvel));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR, 3));
    EXPECT_TRUE(log.Contains(mark, std::wstring(GetParam().invalidPrefix) + L"\")."));
}

TEST_P(Acknowledged, NoReplyTimesOut) {
    PrepareStatus();
    peer->Reply(GetParam().wire, "");
    ASSERT_EQ(1, GetParam().call(*quorvel));
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    const SNotification error = owner.Of(WM_QUORVEL_ERROR)[0];
    EXPECT_EQ(0u, error.wParam);
    EXPECT_EQ(GetParam().timeoutText, error.text);
    EXPECT_EQ(L"Warning", log.SeverityOf(mark, GetParam().timeoutLog));
    EXPECT_EQ(GetParam().before, quorvel->GetStatus(1));
    // Reported once; the next command goes out and is answered normally.
    Barrier();
    EXPECT_EQ(1u, owner.Count(WM_QUORVEL_ERROR));
}

INSTANTIATE_TEST_SUITE_P(Commands, Acknowledged, ::testing::ValuesIn(kAckCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Protocol, StatusReplyReplacesTheSet) {
    ConnectAndSettle();
    EXPECT_TRUE(quorvel->GetStatus(0).none());  // emptied before the query goes out
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS));
    for (const auto& [reply, expected] :
         std::vector<std::pair<std::string, std::bitset<7>>>{{"5", Bits({IDLE, MOVING})},
                                                             {"200", Bits({JOGGING, UPLOADING})},
                                                             {"abc", Bits({})},
                                                             {" +33x", Bits({IDLE, TRAJECTORY})},
                                                             {"0", Bits({})}}) {
        peer->Reply("S?", reply + "\r");
        const std::size_t before = owner.Count(WM_QUORVEL_STATUS);
        quorvel->GetStatus(0);
        ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS, before + 1));
        EXPECT_EQ(expected, owner.Of(WM_QUORVEL_STATUS).back().status) << reply;
        EXPECT_EQ(expected, quorvel->GetStatus(1)) << reply;
    }
    peer->Reply("S?", "");
    quorvel->GetStatus(0);
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR));
    EXPECT_EQ(L"Status command timed out.", owner.Of(WM_QUORVEL_ERROR)[0].text);
    EXPECT_EQ(L"Warning", log.SeverityOf(mark, L"QuorvelDll: Status command timed out."));
    EXPECT_TRUE(quorvel->GetStatus(1).none());
}

TEST_F(Protocol, PositionAndVelocityReplies) {
    ConnectAndSettle();
    peer->Reply("P?", "12.5, 3.25\r");
    quorvel->GetPosition(nullptr);
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_GET_POSITION));
    EXPECT_EQ(12.5, owner.Of(WM_QUORVEL_GET_POSITION)[0].values[0]);
    EXPECT_EQ(3.25, owner.Of(WM_QUORVEL_GET_POSITION)[0].values[1]);

    for (const char* bad : {"12.5 ,3.25", "12.5,abc", "12.5", ""}) {
        peer->Reply("P?", std::string(bad) + "\r");
        quorvel->GetPosition(nullptr);
        Barrier();
        EXPECT_TRUE(log.Contains(
            mark, L"QuorvelDll: Problem parsing the response into two position values (\"" +
                      std::wstring(bad, bad + std::strlen(bad)) + L"\")"))
            << bad;
    }
    EXPECT_EQ(1u, owner.Count(WM_QUORVEL_GET_POSITION));
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());

    peer->Reply("V?", "-0.25,1e-1\r");
    quorvel->GetVelocity();
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_GET_VELOCITY));
    EXPECT_EQ(-0.25, owner.Of(WM_QUORVEL_GET_VELOCITY)[0].values[0]);
    EXPECT_EQ(0.1, owner.Of(WM_QUORVEL_GET_VELOCITY)[0].values[1]);
    peer->Reply("V?", "x\r");
    quorvel->GetVelocity();
    Barrier();
    EXPECT_TRUE(log.Contains(
        mark, L"QuorvelDll: Problem parsing the response into two velocity values (\"x\")"));

    peer->Reply("P?", "");
    peer->Reply("V?", "");
    quorvel->GetPosition(nullptr);
    quorvel->GetVelocity();
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_ERROR, 2, 5000));
    EXPECT_EQ(L"Get position command timed out.", owner.Of(WM_QUORVEL_ERROR)[0].text);
    EXPECT_EQ(L"Get velocity command timed out.", owner.Of(WM_QUORVEL_ERROR)[1].text);
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Get position command timed out."));
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Get velocity command timed out."));
}

TEST_F(Protocol, TargetedPositionGoesToTheTarget) {
    ConnectAndSettle();
    CRecordingOwner target;
    quorvel->GetPosition(&target);
    ASSERT_TRUE(target.WaitFor(WM_QUORVEL_GET_POSITION));  // the owner's id, at the target
    EXPECT_EQ(45.25, target.Of(WM_QUORVEL_GET_POSITION)[0].values[1]);
    EXPECT_EQ(0u, owner.Count(WM_QUORVEL_GET_POSITION));
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Sending command - \"P?\""));

    peer->Reply("P?", "");
    quorvel->GetPosition(&target);
    ASSERT_TRUE(target.WaitFor(WM_QUORVEL_ERROR));
    EXPECT_EQ(L"Get position command timed out.", target.Of(WM_QUORVEL_ERROR)[0].text);
    EXPECT_EQ(0u, owner.Count(WM_QUORVEL_ERROR));
}

TEST_F(Protocol, UnsolicitedLines) {
    ConnectAndSettle();
    quorvel->MoveAbs(1, 2);
    Barrier();  // the peer reports idle; make it MOVING again below
    peer->Reply("S?", "4\r");
    Barrier();
    owner.Clear();

    peer->Send("!P:1\r");
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS));
    EXPECT_EQ(Bits({IDLE}), owner.Of(WM_QUORVEL_STATUS)[0].status);
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: \"P:1\" response received."));

    owner.Clear();
    peer->Send("!H:1\r");
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_HOME_FINISHED));
    EXPECT_EQ((std::vector<UINT>{WM_QUORVEL_HOME, WM_QUORVEL_STATUS, WM_QUORVEL_HOME_FINISHED}),
              owner.Messages());
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: Homing routine finished."));

    owner.Clear();
    peer->Reply("S?", "32\r");
    Barrier();
    peer->Send("!T:1\r");
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_TRAJ_FINISHED));
    EXPECT_EQ(Bits({IDLE}), owner.Of(WM_QUORVEL_STATUS).back().status);
    EXPECT_TRUE(log.Contains(mark, L"QuorvelDll: \"T:1\" response received."));

    peer->Send("!X:9\r");
    EXPECT_TRUE(Pump(
        [&] { return log.Contains(mark, L"QuorvelDll: Unexpected response received (\"X:9\")"); }));
    EXPECT_EQ(L"Informational",
              log.SeverityOf(mark, L"QuorvelDll: Unexpected response received (\"X:9\")"));
}

TEST_F(Protocol, EventLineDuringAQueryDoesNotDisturbIt) {
    ConnectAndSettle();
    quorvel->MoveAbs(1, 2);
    // The peer answers "S?" with the event line first, then the status.
    peer->Reply("S?", "!P:1\r5\r");
    owner.Clear();
    quorvel->GetStatus(0);
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS, 2));
    const auto statuses = owner.Of(WM_QUORVEL_STATUS);
    EXPECT_EQ(Bits({IDLE}), statuses[0].status);  // MOVING cleared from the emptied set
    EXPECT_EQ(Bits({IDLE, MOVING}), statuses[1].status);
    EXPECT_TRUE(owner.Of(WM_QUORVEL_ERROR).empty());
}

TEST_F(Protocol, StatusRulesOfSetAndClear) {
    ConnectAndSettle();
    quorvel->MoveAbs(1, 2);
    EXPECT_EQ(Bits({MOVING}), quorvel->GetStatus(1));  // IDLE dropped
    quorvel->MoveVel(1, 0);
    EXPECT_EQ(Bits({MOVING, JOGGING}), quorvel->GetStatus(1));  // both kept
    peer->Reply("S1!", "1\r");
    quorvel->Stop(StopMotion);
    ASSERT_TRUE(owner.WaitFor(WM_QUORVEL_STATUS, 4));
    const auto statuses = owner.Of(WM_QUORVEL_STATUS);
    EXPECT_EQ(Bits({JOGGING}), statuses[2].status);
    EXPECT_EQ(Bits({IDLE}), statuses[3].status);  // clearing the last bit gives IDLE
}

TEST_F(Protocol, GuardsOfQueriesAndDisconnect) {
    ConnectAndSettle();
    EXPECT_EQ(1, quorvel->GetPosition(nullptr));
    EXPECT_EQ(1, quorvel->Disconnect());
    EXPECT_EQ(0, quorvel->IsConnected());
    EXPECT_TRUE(quorvel->GetStatus(1).none());
    PumpFor(50);
    EXPECT_TRUE(owner.Of(WM_QUORVEL_STATUS).empty());  // emptied without a notification
    EXPECT_EQ(0, quorvel->GetPosition(nullptr));
    EXPECT_EQ(0, quorvel->GetVelocity());
    EXPECT_EQ(1, quorvel->Home());  // never refused
}

TEST_F(Protocol, OwnerDestroyedFirstThenObject) {
    ConnectAndSettle();
    ASSERT_EQ(1, quorvel->MoveAbs(5, 5));
    ASSERT_TRUE(WaitForNewLines(1));
    owner.DestroyWindow();  // destroys the device window, which closes the port
    EXPECT_EQ(0, quorvel->IsConnected());
    EXPECT_EQ(0, quorvel->MoveAbs(6, 6));
    EXPECT_EQ(1, quorvel->Home());  // never refused, but there is no port left to carry it
    const std::size_t notices = owner.All().size();
    quorvel.reset();
    PumpFor(50);
    EXPECT_EQ((std::vector<std::string>{"P(5.000,5.000)"}), NewLines());
    EXPECT_EQ(notices, owner.All().size());
}

}  // namespace
}  // namespace drivertest
