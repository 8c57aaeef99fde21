// The quorvel-sim command line.
#include <gtest/gtest.h>

#include <cstdlib>

#include "SimulatorOptions.h"
#include "TestProcess.h"

namespace quorvel::sim {
namespace {

EParseOutcome Parse(std::vector<std::string> args, SSimulatorOptions& options, std::string& error) {
    return ParseSimulatorArguments(args, options, error);
}

TEST(SimulatorOptionsTest, ReadsEveryOption) {
    SSimulatorOptions options;
    std::string error;
    ASSERT_EQ(Parse({"--port-dir",  "/tmp/p",   "--com=7",      "--latency", "15.5",
                     "--baud",      "9600",     "--speed",      "4",         "--home-speed=30",
                     "--home",      "180,5",    "--start",      "90,45",     "--time-scale",
                     "60",          "--id",     "X,QUORVEL4,Y", "--fault",   "late:S?",
                     "--ack-fault", "H!",       "--late-ms",    "1500",      "--log",
                     "/tmp/l",      "--replace"},
                    options, error),
              EParseOutcome::Run)
        << error;
    EXPECT_EQ(options.portDir, "/tmp/p");
    EXPECT_EQ(options.comPort, 7);
    EXPECT_EQ(options.replyLatencyMs, 15.5);
    EXPECT_EQ(options.baud, 9600u);
    EXPECT_EQ(options.model.defaultSpeedDegPerS, 4.0);
    EXPECT_EQ(options.model.homeSpeedDegPerS, 30.0);
    EXPECT_EQ(options.model.homeAzimuthDeg, 180.0);
    EXPECT_EQ(options.model.homeZenithDeg, 5.0);
    EXPECT_EQ(options.model.initialAzimuthDeg, 90.0);
    EXPECT_EQ(options.model.initialZenithDeg, 45.0);
    EXPECT_EQ(options.timeScale, 60.0);
    EXPECT_EQ(options.model.identification, "X,QUORVEL4,Y");
    ASSERT_EQ(options.faults.size(), 2u);
    EXPECT_EQ(options.faults[0].kind, EFaultKind::LateReply);
    EXPECT_EQ(options.faults[1].kind, EFaultKind::Refuse);
    EXPECT_EQ(options.faults[1].command, "H!");
    EXPECT_EQ(options.lateReplyMs, 1500.0);
    EXPECT_EQ(options.logPath, "/tmp/l");
    EXPECT_TRUE(options.replaceLink);
    EXPECT_EQ(LinkPathFor(options), "/tmp/p/COM7");
}

TEST(SimulatorOptionsTest, BadInputNamesTheArgument) {
    struct SCase {
        std::vector<std::string> args;
        const char* mention;
    };
    const SCase cases[] = {
        {{"--com", "0"}, "--com"},
        {{"--com", "256"}, "--com"},
        {{"--com", "3x"}, "--com"},
        {{"--com"}, "value missing"},
        {{"--com", "1", "--latency", "-1"}, "--latency"},
        {{"--com", "1", "--baud", "9600.5"}, "--baud"},
        {{"--com", "1", "--time-scale", "0"}, "--time-scale"},
        {{"--com", "1", "--speed", "nan"}, "--speed"},
        {{"--com", "1", "--home", "10"}, "--home"},
        {{"--com", "1", "--fault", "sulk"}, "--fault"},
        {{"--com", "1", "--ack-fault="}, "--ack-fault"},
        {{"--com", "1", "--bogus"}, "--bogus"},
        {{"--latency", "5"}, "--com"},
    };
    for (const SCase& c : cases) {
        SSimulatorOptions options;
        std::string error;
        EXPECT_EQ(Parse(c.args, options, error), EParseOutcome::Error) << c.args[0];
        EXPECT_NE(error.find(c.mention), std::string::npos) << error;
    }
}

TEST(SimulatorOptionsTest, HelpWins) {
    SSimulatorOptions options;
    std::string error;
    EXPECT_EQ(Parse({"--com", "2", "--help"}, options, error), EParseOutcome::Help);
    EXPECT_NE(SimulatorUsage().find("--fault"), std::string::npos);
    // The --fault entry lists every kind that ParseFaultRule takes.
    const std::string usage = SimulatorUsage();
    const std::size_t fault = usage.find("--fault");
    const std::string entry = usage.substr(fault, usage.find("--ack-fault") - fault);
    for (const char* kind :
         {"no-reply", "late", "garbled", "wrong-id", "babble", "vanish", "refuse"}) {
        EXPECT_NE(entry.find(kind), std::string::npos) << kind;
    }
}

TEST(SimulatorOptionsTest, DefaultPortFolderFollowsTheDriversRule) {
    // The test runs with QUORVEL_PORT_DIR set to a private folder.
    const char* portDir = std::getenv("QUORVEL_PORT_DIR");
    ASSERT_NE(portDir, nullptr);
    EXPECT_EQ(DefaultPortDirectory(), portDir);
    std::string saved = portDir;
    QuorvelTest::UnsetVariable("QUORVEL_PORT_DIR");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(DefaultPortDirectory(),
              std::string(config) + "/Pelvarin/Quorvel Control Software/ports");
    QuorvelTest::SetVariable("QUORVEL_PORT_DIR", saved.c_str());

    SSimulatorOptions options;
    options.comPort = 4;
    EXPECT_EQ(LinkPathFor(options), saved + "/COM4");
    options.comPort = 0;
    EXPECT_TRUE(LinkPathFor(options).empty());
}

}  // namespace
}  // namespace quorvel::sim
