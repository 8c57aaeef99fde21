// The simulator on a real pseudo-terminal, talked to by a raw termios client: the bytes on
// the line, events, faults, wire time, the command log and the COM<n> link.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "InstrumentSimulator.h"
#include "RawClient.h"
#include "TestFolders.h"

namespace quorvel::sim {
namespace {

namespace fs = std::filesystem;
using test::CRawClient;
using test::MonotonicNowNs;
using Clock = std::chrono::steady_clock;

std::string PortDir() {
    return QuorvelTest::PortFolder().string();
}

long long ElapsedMs(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

class SimulatorPtyTest : public ::testing::Test {
protected:
    void StartWith(SSimulatorOptions options) {
        options.portDir = PortDir();
        options.comPort = 5;
        device = simulator.Start(options);
        ASSERT_FALSE(device.empty()) << simulator.LastError();
        ASSERT_TRUE(client.Open(simulator.LinkPath())) << simulator.LinkPath();
    }
    void StartWithFault(const std::string& fault) {
        SSimulatorOptions options;
        SFaultRule rule;
        std::string error;
        ASSERT_TRUE(ParseFaultRule(fault, rule, error)) << error;
        options.faults.push_back(rule);
        StartWith(options);
    }
    void TearDown() override {
        client.Close();
        simulator.Stop();
    }

    CInstrumentSimulator simulator;
    CRawClient client;
    std::string device;
};

TEST_F(SimulatorPtyTest, IdentificationBytesAreExact) {
    StartWith({});
    client.SendRaw("I?\r");
    EXPECT_EQ(client.ReadFor(300), "Pelvarin,QUORVEL4,SIM-1.0\r");
}

TEST_F(SimulatorPtyTest, MoveIsAcknowledgedThenReportsArrival) {
    SSimulatorOptions options;
    options.model.defaultSpeedDegPerS = 100.0;
    StartWith(options);
    EXPECT_EQ(client.Ask("P(10.000,45.250)"), "1");
    EXPECT_EQ(client.ReadLine(), "!P:1");
    EXPECT_EQ(client.Ask("P?"), "10.0000,45.2500");
    EXPECT_EQ(client.Ask("S?"), "1");
}

TEST_F(SimulatorPtyTest, StatusWordDuringMoveAndAfterStop) {
    StartWith({});
    // 15 s of motion: still moving whatever the machine's load.
    EXPECT_EQ(client.Ask("P(-1.500,0.000,0.100,1)"), "1");
    EXPECT_EQ(client.Ask("S?"), "4");
    EXPECT_EQ(client.Ask("V?"), "-0.1000,0.0000");
    EXPECT_EQ(client.Ask("V(0.500,0.000)"), "1");
    EXPECT_EQ(client.Ask("S?"), "12");
    EXPECT_EQ(client.Ask("S1!"), "1");
    EXPECT_EQ(client.Ask("S?"), "1");
    EXPECT_EQ(client.Ask("S2!"), "1");
    EXPECT_EQ(client.Ask("S!"), "1");
    EXPECT_EQ(client.Ask("O(0000,0000)"), "1");
}

TEST_F(SimulatorPtyTest, HomingReportsHomingThenFinishes) {
    StartWith({});  // at home already: the reference search alone takes 0.5 s
    EXPECT_EQ(client.Ask("H!"), "1");
    EXPECT_EQ(client.Ask("S?"), "2");
    EXPECT_TRUE(client.WaitForLine("!H:1"));
    EXPECT_EQ(client.Ask("S?"), "1");
    EXPECT_EQ(simulator.State().statusWord, kStatusIdle);
}

TEST_F(SimulatorPtyTest, TrajectoryUploadInitialiseStartAndFinishUnderTimeScale) {
    SSimulatorOptions options;
    options.timeScale = 60.0;  // a 60 s period lasts one second
    StartWith(options);
    EXPECT_EQ(client.Ask("T(3,60)"), "1");
    EXPECT_EQ(client.Ask("S?"), "64");
    EXPECT_EQ(client.Ask("0.0000,0.0000"), "1");
    EXPECT_EQ(client.Ask("0.5000,0.2500"), "1");
    EXPECT_EQ(client.Ask("1.0000,0.5000"), "1");
    EXPECT_EQ(client.Ask("T!"), "1");
    EXPECT_EQ(client.Ask("S?"), "16");
    EXPECT_EQ(client.Ask("G!"), "1");
    EXPECT_EQ(client.Ask("S?"), "32");
    EXPECT_EQ(simulator.State().statusWord, kStatusTrajectory);
    auto started = Clock::now();
    EXPECT_TRUE(client.WaitForLine("!T:1", 10000));
    // Two periods of 60 model seconds at 60 times real speed: never before 2 s.
    EXPECT_GE(ElapsedMs(started), 1900);
    EXPECT_EQ(client.Ask("S?"), "1");
    EXPECT_EQ(client.Ask("P?"), "1.0000,0.5000");
}

TEST_F(SimulatorPtyTest, FarOffArrivalKeepsTheSimulatorResponsive) {
    StartWith({});
    EXPECT_EQ(client.Ask("P(1000000.000,0.000,0.000001)"), "1");  // arrives in 31 700 years
    EXPECT_EQ(client.Ask("S?"), "4");
    EXPECT_EQ(simulator.State().statusWord, kStatusMoving);
    EXPECT_EQ(client.Ask("S!"), "1");
}

TEST_F(SimulatorPtyTest, InjectedLinesReachTheClient) {
    StartWith({});
    simulator.InjectLine("!P:1");
    EXPECT_EQ(client.ReadLine(), "!P:1");
    simulator.InjectLine("!X:9");
    EXPECT_EQ(client.ReadLine(), "!X:9");
}

TEST_F(SimulatorPtyTest, EventsNeverOvertakeTheReplyThatCausedThem) {
    SSimulatorOptions options;
    options.replyLatencyMs = 100.0;
    StartWith(options);
    client.Send("P(0.000,0.000)");  // zero way: arrival is immediate
    EXPECT_EQ(client.ReadLine(), "1");
    EXPECT_EQ(client.ReadLine(), "!P:1");
}

TEST_F(SimulatorPtyTest, UnknownAndOverlongCommandsAreRefused) {
    StartWith({});
    EXPECT_EQ(client.Ask("HELLO"), "0");
    EXPECT_EQ(client.Ask(""), "0");
    EXPECT_EQ(client.Ask(std::string(10000, 'x')), "0");
    client.SendRaw("I?\r\n");  // a terminal's CR LF is tolerated
    EXPECT_EQ(client.ReadLine(), "Pelvarin,QUORVEL4,SIM-1.0");
    EXPECT_EQ(client.Ask("S?"), "1");
}

TEST_F(SimulatorPtyTest, DeviceSurvivesTheClientClosingAndReopening) {
    StartWith({});
    EXPECT_EQ(client.Ask("I?"), "Pelvarin,QUORVEL4,SIM-1.0");
    client.Close();
    ASSERT_TRUE(client.Open(simulator.LinkPath()));
    EXPECT_EQ(client.Ask("S?"), "1");
    EXPECT_FALSE(simulator.HasVanished());
}

TEST_F(SimulatorPtyTest, ReplyLatencyAndWireTimeDelayTheReply) {
    SSimulatorOptions options;
    options.replyLatencyMs = 150.0;
    options.baud = 1200;  // 8.33 ms per byte
    StartWith(options);
    auto sent = Clock::now();
    EXPECT_EQ(client.Ask("I?"), "Pelvarin,QUORVEL4,SIM-1.0");
    // 3 bytes in, 150 ms, 26 bytes out: at least 391 ms; the lower bound is exact.
    EXPECT_GE(ElapsedMs(sent), 390);
}

TEST_F(SimulatorPtyTest, FastWireRepliesNeverArriveBeforeTheirWireTime) {
    // At 115200 baud the simulator wakes early and spins to each byte's instant; a spin that
    // ended too soon would hand the reply over before it could have crossed the wire.
    SSimulatorOptions options;
    options.baud = 115200;
    StartWith(options);
    const auto wire = std::chrono::nanoseconds(5 * 10 * 1000000000LL / 115200);  // "S?\r", "1\r"
    for (int i = 0; i < 200; ++i) {
        const auto sent = Clock::now();
        ASSERT_EQ(client.Ask("S?"), "1");
        ASSERT_GE(Clock::now() - sent, wire) << "round trip " << i;
    }
}

TEST_F(SimulatorPtyTest, CommandLogHoldsEveryLineWithMonotonicTimes) {
    const fs::path logDir = fs::path(PortDir()).parent_path() / "logs";
    fs::create_directories(logDir);
    const std::string logPath = (logDir / "command.log").string();
    SSimulatorOptions options;
    options.logPath = logPath;
    StartWith(options);
    long long before = MonotonicNowNs();
    EXPECT_EQ(client.Ask("I?"), "Pelvarin,QUORVEL4,SIM-1.0");
    EXPECT_EQ(client.Ask("S?"), "1");
    client.Send("bad\x01line");
    EXPECT_EQ(client.ReadLine(), "0");
    long long after = MonotonicNowNs();

    auto log = simulator.CommandLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].text, "I?");
    EXPECT_EQ(log[1].text, "S?");
    EXPECT_EQ(log[2].text, "bad\x01line");
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_GE(log[i].monotonicNs, before);
        EXPECT_LE(log[i].monotonicNs, after);
        if (i > 0) {
            EXPECT_GE(log[i].monotonicNs, log[i - 1].monotonicNs);
        }
    }
    EXPECT_EQ(simulator.ReceivedCount(), 3u);

    std::ifstream file(logPath);
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(file, line)) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::to_string(log[0].monotonicNs) + " I?");
    EXPECT_EQ(lines[2], std::to_string(log[2].monotonicNs) + " bad\\x01line");
}

TEST_F(SimulatorPtyTest, NoReplyFaultLosesTheLineOnce) {
    StartWithFault("no-reply:H!/1");
    EXPECT_EQ(client.Ask("H!", 1200), std::nullopt);
    EXPECT_EQ(client.Ask("S?"), "1") << "the lost H! did nothing";
    EXPECT_EQ(client.Ask("H!"), "1") << "the fault has worn off";
    EXPECT_EQ(simulator.CommandLog().size(), 3u) << "the lost line was still received";
}

TEST_F(SimulatorPtyTest, LateReplyComesAfter1200Ms) {
    StartWithFault("late:S?");
    auto sent = Clock::now();
    EXPECT_EQ(client.Ask("S?", 5000), "1");
    EXPECT_GE(ElapsedMs(sent), 1200);
    EXPECT_EQ(client.Ask("I?"), "Pelvarin,QUORVEL4,SIM-1.0");
}

TEST_F(SimulatorPtyTest, GarbledReplyIsInvalidButTheCommandActs) {
    StartWithFault("garbled:H!");
    EXPECT_EQ(client.Ask("H!"), "#1#");
    EXPECT_EQ(client.Ask("S?"), "2");
}

TEST_F(SimulatorPtyTest, WrongProductIdentification) {
    StartWithFault("wrong-id");
    EXPECT_EQ(client.Ask("S?"), "1") << "only the identification is affected";
    EXPECT_EQ(client.Ask("I?"), "Pelvarin,QUORVEL3,SIM-1.0");
}

TEST_F(SimulatorPtyTest, BabblingLineNeverEnds) {
    StartWithFault("babble:H!");
    EXPECT_EQ(client.Ask("S?"), "1");
    client.Send("H!");
    std::string noise = client.ReadFor(300);
    EXPECT_GT(noise.size(), 100u);
    EXPECT_EQ(noise.find('\r'), std::string::npos);
    client.Send("S?");
    EXPECT_EQ(client.ReadFor(200).find('\r'), std::string::npos) << "no more replies";
}

TEST_F(SimulatorPtyTest, RefusedCommandIsAnsweredZeroAndNotActedUpon) {
    SSimulatorOptions options;
    SFaultRule refuse;
    refuse.kind = EFaultKind::Refuse;
    refuse.command = "H!";
    options.faults.push_back(refuse);
    StartWith(options);
    EXPECT_EQ(client.Ask("H!"), "0");
    EXPECT_EQ(client.Ask("S?"), "1");
    EXPECT_EQ(client.Ask("P(0,0)"), "1");
}

TEST_F(SimulatorPtyTest, FaultsCanChangeWhileRunning) {
    StartWith({});
    EXPECT_EQ(client.Ask("I?"), "Pelvarin,QUORVEL4,SIM-1.0");
    SFaultRule garble;
    garble.kind = EFaultKind::GarbledReply;
    simulator.SetFaults({garble});
    EXPECT_EQ(client.Ask("S?"), "#1#");
    simulator.SetFaults({});
    EXPECT_EQ(client.Ask("S?"), "1");
}

TEST_F(SimulatorPtyTest, VanishesAfterNAnsweredCommands) {
    StartWithFault("vanish:2");
    const std::string link = simulator.LinkPath();
    EXPECT_EQ(client.Ask("I?"), "Pelvarin,QUORVEL4,SIM-1.0");
    EXPECT_EQ(client.Ask("S?"), "1") << "the second reply still goes out";
    EXPECT_TRUE(client.PeerGone());
    for (int i = 0; i < 100 && !simulator.HasVanished(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(simulator.HasVanished());
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

// Three commands in one burst: the cut falls right after the second answer, so a fast
// exchange (an upload's pairs) can be cut in the middle.
TEST_F(SimulatorPtyTest, VanishCutsAFastExchangeExactlyAfterTheNthAnswer) {
    StartWithFault("vanish:2");
    client.SendRaw("I?\rS?\rP?\r");
    EXPECT_EQ(client.ReadLine(), "Pelvarin,QUORVEL4,SIM-1.0");
    EXPECT_EQ(client.ReadLine(), "1");
    EXPECT_EQ(client.ReadLine(500), std::nullopt) << "the third command is never answered";
    EXPECT_TRUE(client.PeerGone());
    EXPECT_EQ(3u, simulator.ReceivedCount());
}

TEST_F(SimulatorPtyTest, VanishesOnANamedCommandOrOnRequest) {
    StartWithFault("vanish:H!");
    EXPECT_EQ(client.Ask("S?"), "1");
    client.Send("H!");
    EXPECT_TRUE(client.PeerGone());

    simulator.Stop();
    client.Close();
    StartWith({});
    simulator.Vanish();
    EXPECT_TRUE(client.PeerGone());
    EXPECT_TRUE(simulator.IsRunning());
    simulator.InjectLine("!P:1");  // harmless once gone
}

TEST_F(SimulatorPtyTest, LinkIsCreatedAndRemoved) {
    StartWith({});
    const std::string link = simulator.LinkPath();
    EXPECT_EQ(link, PortDir() + "/COM5");
    EXPECT_EQ(fs::read_symlink(link).string(), device);
    client.Close();
    simulator.Stop();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(SimulatorPtyTest, ExistingEntriesAreKeptUnlessDanglingOrReplaced) {
    const std::string dir = PortDir() + "/conflict";
    fs::create_directories(dir);
    const std::string link = dir + "/COM9";
    SSimulatorOptions options;
    options.portDir = dir;
    options.comPort = 9;

    fs::remove(link);
    fs::create_symlink("/dev/null", link);  // an operator's real port
    EXPECT_TRUE(simulator.Start(options).empty());
    EXPECT_NE(simulator.LastError().find("already exists"), std::string::npos);
    EXPECT_EQ(fs::read_symlink(link), "/dev/null");

    options.replaceLink = true;
    std::string path = simulator.Start(options);
    ASSERT_FALSE(path.empty()) << simulator.LastError();
    EXPECT_EQ(fs::read_symlink(link).string(), path);
    simulator.Stop();

    fs::create_symlink("/nonexistent/device", link);  // left behind by a crash
    options.replaceLink = false;
    path = simulator.Start(options);
    ASSERT_FALSE(path.empty()) << simulator.LastError();
    EXPECT_EQ(fs::read_symlink(link).string(), path);
    simulator.Stop();

    { std::ofstream(link) << "not a link"; }
    options.replaceLink = true;
    EXPECT_TRUE(simulator.Start(options).empty());
    EXPECT_TRUE(fs::is_regular_file(link)) << "a plain file is never replaced";
    fs::remove(link);
}

TEST_F(SimulatorPtyTest, PortZeroGivesADeviceWithoutALink) {
    SSimulatorOptions options;
    device = simulator.Start(options);
    ASSERT_FALSE(device.empty()) << simulator.LastError();
    EXPECT_TRUE(simulator.LinkPath().empty());
    ASSERT_TRUE(client.Open(device));
    EXPECT_EQ(client.Ask("S?"), "1");
}

TEST_F(SimulatorPtyTest, UnwritableLogIsAnErrorBeforeAnythingOpens) {
    SSimulatorOptions options;
    options.portDir = PortDir();
    options.comPort = 6;
    options.logPath = "/nonexistent-folder/log.txt";
    EXPECT_TRUE(simulator.Start(options).empty());
    EXPECT_NE(simulator.LastError().find("command log"), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::symlink_status(PortDir() + "/COM6")));
}

}  // namespace
}  // namespace quorvel::sim
