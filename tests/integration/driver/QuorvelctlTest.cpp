// quorvelctl against quorvel-sim, both as programs: exit status, what goes to standard output
// and standard error, and what the simulator received (its command log file).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Paths.h"

extern char** environ;

namespace {

struct SRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::filesystem::path Scratch() {
    const std::filesystem::path dir = Platform::AppDataHome() / "quorvelctl-test";
    std::filesystem::create_directories(dir);
    return dir;
}

pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& out,
            const std::filesystem::path& err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

SRun Ctl(const std::vector<std::string>& args) {
    std::vector<std::string> all = {QUORVELCTL_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    const std::filesystem::path out = Scratch() / "ctl.out";
    const std::filesystem::path err = Scratch() / "ctl.err";
    SRun run;
    const pid_t pid = Spawn(all, out, err);
    if (pid < 0)
        return run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

// quorvel-sim on COM<port> for the life of the object.
class CSimProcess {
public:
    explicit CSimProcess(std::vector<std::string> extra, unsigned port = 11) {
        m_log = Scratch() / ("sim" + std::to_string(port) + ".log");
        m_out = Scratch() / ("sim" + std::to_string(port) + ".out");
        std::filesystem::remove(m_log);
        std::vector<std::string> args = {QUORVEL_SIM_PROGRAM,
                                         "--com",
                                         std::to_string(port),
                                         "--replace",
                                         "--time-scale",
                                         "20",
                                         "--log",
                                         m_log.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        m_pid = Spawn(args, m_out, Scratch() / ("sim" + std::to_string(port) + ".err"));
        // Ready once it has printed its device path.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (ReadFile(m_out).find('\n') == std::string::npos &&
               std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~CSimProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;

    // The received lines, without their time stamps.
    std::vector<std::string> Received() const {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile(m_log));
        std::string line;
        while (std::getline(in, line)) {
            const std::size_t space = line.find(' ');
            lines.push_back(space == std::string::npos ? line : line.substr(space + 1));
        }
        return lines;
    }

private:
    pid_t m_pid = -1;
    std::filesystem::path m_log;
    std::filesystem::path m_out;
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Quorvelctl, MoveAbsPutsTheCommandOnTheWireAndWaitsForTheEvent) {
    CSimProcess sim({});
    const SRun run = Ctl({"--port", "11", "move-abs", "10", "45.25"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ((std::vector<std::string>{"I?", "S?", "P(10.000,45.250)"}), sim.Received());
    EXPECT_TRUE(Contains(run.out, "status: MOVING\nstatus: IDLE\n")) << run.out;

    const SRun where = Ctl({"--port", "11", "position"});
    EXPECT_EQ(0, where.status) << where.err;
    EXPECT_TRUE(Contains(where.out, "position: azimuth 10.000 deg, zenith 45.250 deg"))
        << where.out;
}

TEST(Quorvelctl, QueriesMotionAndStops) {
    CSimProcess sim({});
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"id"},
                                               {"status"},
                                               {"velocity"},
                                               {"home"},
                                               {"move-rel", "1", "2", "5"},
                                               {"jog", "0.5", "0", "--for", "0.2"},
                                               {"stop", "all"},
                                               {"stop", "motion"},
                                               {"stop", "trajectory"},
                                               {"offset", "0", "0"},
                                               {"monitor", "0.3"}}) {
        std::vector<std::string> full = {"--port", "11"};
        full.insert(full.end(), args.begin(), args.end());
        const SRun run = Ctl(full);
        EXPECT_EQ(0, run.status) << args[0] << ": " << run.err;
    }
    const std::vector<std::string> lines = sim.Received();
    for (const char* sent : {"I?", "V?", "H!", "P(1.000,2.000,5.000,1)", "V(0.500,0.000)", "S1!",
                             "S!", "S2!", "O(0000,0000)", "P?"}) {
        EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), sent)) << sent;
    }
}

TEST(Quorvelctl, WrongProductExitsWithTheOperatorText) {
    CSimProcess sim({"--fault", "wrong-id"});
    const SRun run = Ctl({"--port", "11", "move-abs", "10", "45.25"});
    EXPECT_NE(0, run.status);
    EXPECT_TRUE(Contains(run.err, "Quorvel not found on COM port.")) << run.err;
    EXPECT_EQ((std::vector<std::string>{"I?"}), sim.Received());
}

TEST(Quorvelctl, SilentInstrumentExitsWithTheTimeOutText) {
    CSimProcess sim({"--fault", "no-reply"});
    const SRun run = Ctl({"--port", "11", "move-abs", "10", "45.25"});
    EXPECT_NE(0, run.status);
    EXPECT_TRUE(Contains(run.err, "Timed out getting identification string.")) << run.err;
}

TEST(Quorvelctl, RefusedCommandAndInvalidReplyFail) {
    CSimProcess sim({"--ack-fault", "H!"});
    const SRun home = Ctl({"--port", "11", "home"});
    EXPECT_NE(0, home.status);
    EXPECT_TRUE(Contains(home.err, "Homing command returned an invalid response.")) << home.err;
}

// A device that vanishes: every wait ends at once with what happened and exit status 1 (home
// used to wait 300 s, a lost move or monitor exited 0).
TEST(Quorvelctl, LostDeviceEndsTheWaitAndFails) {
    CSimProcess sim({"--fault", "vanish:H!"});
    const auto begin = std::chrono::steady_clock::now();
    const SRun home = Ctl({"--port", "11", "home"});
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
    EXPECT_EQ(1, home.status);
    EXPECT_TRUE(Contains(home.err, "ReadFile() Failed")) << home.err;
    EXPECT_TRUE(Contains(home.err,
                         "the connection to the instrument was lost while waiting for "
                         "the end of homing"))
        << home.err;
    EXPECT_FALSE(Contains(home.err, "timed out")) << home.err;
}

// A move whose command is lost (or refused) leaves the instrument idle: the status poll finds
// it within seconds and the position shows the target was not reached.
TEST(Quorvelctl, LostMoveIsFoundByThePollAndFails) {
    CSimProcess sim({"--fault", "no-reply:P("});
    const auto begin = std::chrono::steady_clock::now();
    const SRun run = Ctl({"--port", "11", "move-abs", "10", "45"});
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
    EXPECT_EQ(1, run.status);
    EXPECT_TRUE(Contains(run.err, "stopped moving away from the target")) << run.err;

    const SRun refused = Ctl({"--port", "11", "move-abs", "10", "45", "0"});
    EXPECT_EQ(2, refused.status);
    EXPECT_TRUE(Contains(refused.err, "the velocity must be above 0")) << refused.err;
}

// Time-outs while monitoring are failures of the command.
TEST(Quorvelctl, TimeOutsDuringMonitorFail) {
    CSimProcess sim({"--fault", "no-reply:P?"});
    const SRun run = Ctl({"--port", "11", "monitor", "1.5"});
    EXPECT_EQ(1, run.status) << run.out;
    EXPECT_TRUE(Contains(run.out, "Get position command timed out.")) << run.out;
}

// A COM entry that leads to a regular file: refused naming the path, nothing written into it.
TEST(Quorvelctl, PortEntryThatIsAFileIsRefused) {
    const std::filesystem::path file = Scratch() / "not-a-port";
    std::ofstream(file) << "";
    const std::filesystem::path entry = Platform::PortDirectory() / "COM12";
    std::filesystem::create_directories(entry.parent_path());
    std::filesystem::remove(entry);
    std::filesystem::create_symlink(file, entry);
    const SRun run = Ctl({"--port", "12", "status"});
    EXPECT_EQ(1, run.status);
    EXPECT_TRUE(Contains(run.err, file.string() + " is a regular file, not a serial device"))
        << run.err;
    EXPECT_EQ(0u, std::filesystem::file_size(file));
    std::filesystem::remove(entry);
}

TEST(Quorvelctl, UsageHelpAndAbsentPort) {
    const SRun help = Ctl({"--help"});
    EXPECT_EQ(0, help.status);
    for (const char* part :
         {"move-abs AZ ZE [VEL]", "jog AZRATE ZERATE --for SECONDS", "settings export FILE",
          "COM1-COM32 are /dev/ttyS0-31", "$QUORVEL_PORT_DIR"}) {
        EXPECT_TRUE(Contains(help.out, part)) << part;
    }
    EXPECT_EQ(2, Ctl({"--port", "11", "move-abs", "10"}).status);
    EXPECT_EQ(2, Ctl({"--port", "11", "move-abs", "ten", "20"}).status);
    EXPECT_EQ(2, Ctl({"move-abs", "1", "2"}).status);
    EXPECT_EQ(2, Ctl({"--port", "11", "jog", "1", "0"}).status);
    const SRun absent = Ctl({"--port", "250", "status"});
    EXPECT_EQ(1, absent.status);
    EXPECT_TRUE(Contains(absent.err, "cannot open COM250")) << absent.err;
}

TEST(Quorvelctl, DetectPrintsEachInstrumentFoundAndFailsWhenThereIsNone) {
    CSimProcess sim({}, 12);
    CSimProcess other({"--fault", "wrong-id"}, 13);
    // Only the test's own ports: without --port it would ask the computer's serial ports.
    const SRun run = Ctl({"detect", "--port", "13", "--port", "12", "--baud", "9600"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_TRUE(std::regex_match(
        run.out, std::regex("COM12  9600  /dev/pts/[0-9]+  QUORVEL4  Pelvarin,SIM-1\\.0  "
                            "pseudo-terminal\n")))
        << run.out;
    EXPECT_EQ("", run.err) << "no progress where no one watches it";

    const SRun none = Ctl({"detect", "--port", "13", "--all", "--timeout", "0.3"});
    EXPECT_EQ(1, none.status);
    EXPECT_TRUE(std::regex_match(
        none.out,
        std::regex("COM13  -  /dev/pts/[0-9]+  skipped: answers as \"QUORVEL3\"\n")))
        << none.out;
    EXPECT_TRUE(Contains(none.err, "no Quorvel found on 1 port")) << none.err;
    EXPECT_EQ(2, Ctl({"detect", "now"}).status);
}

TEST(Quorvelctl, SettingsExportAndImport) {
    const std::filesystem::path file = Scratch() / "settings.reg";
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Pelvarin\\Quorvel Control Software\\Quorvel Settings]\r\n"
        "\"port\"=dword:00000007\r\n\"baud\"=dword:00009600\r\n";
    std::ofstream(file, std::ios::binary) << text;
    const SRun import = Ctl({"settings", "import", file.string()});
    ASSERT_EQ(0, import.status) << import.err;
    const std::filesystem::path exported = Scratch() / "exported.reg";
    const SRun run = Ctl({"settings", "export", exported.string()});
    ASSERT_EQ(0, run.status) << run.err;
    const std::string bytes = ReadFile(exported);
    std::string ascii;  // UTF-16 LE: keep the low bytes
    for (std::size_t i = 2; i < bytes.size(); i += 2)
        ascii.push_back(bytes[i]);
    EXPECT_TRUE(Contains(ascii, "\"port\"=dword:00000007")) << ascii;
    EXPECT_NE(0, Ctl({"settings", "import", (Scratch() / "missing.reg").string()}).status);
}

// ---- run-trajectory ----------------------------------------------------------------------

// "YYYY-MM-DD HH:MM:SS" of the local time `seconds` from now (whole seconds).
std::string StampIn(long long seconds) {
    const SYSTEMTIME t = Platform::SecondsToLocalTime(
        Platform::LocalTimeToSeconds(Platform::GetLocalTime()) + seconds);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.wYear},
                  unsigned{t.wMonth}, unsigned{t.wDay}, unsigned{t.wHour}, unsigned{t.wMinute},
                  unsigned{t.wSecond});
    return text;
}

// A trajectory file of `points` points `spacing` seconds apart from `startIn` seconds from now,
// in the form quorvel-sun trajectory writes.
std::filesystem::path TrajectoryFile(const std::string& name, long long startIn, int points,
                                     int spacing = 1) {
    const std::filesystem::path file = Scratch() / name;
    std::ofstream out(file);
    out << "# start " << StampIn(startIn) << "\n# spacing " << spacing << "\n# points " << points
        << "\n";
    for (int i = 0; i < points; ++i) {
        out << StampIn(startIn + static_cast<long long>(i) * spacing) << "," << 100 + i
            << ".000000," << 40 << ".500000\n";
    }
    return file;
}

int WaitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Polls `file` until it contains `part` (5 s at most).
bool FileShows(const std::filesystem::path& file, const std::string& part) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < giveUp) {
        if (Contains(ReadFile(file), part))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(QuorvelctlRunTrajectory, UploadsStartsOnTimeWaitsForTheEndAndHomes) {
    CSimProcess sim({});
    const auto file = TrajectoryFile("run.txt", 12, 3);
    const SRun run = Ctl({"--port", "11", "run-trajectory", file.string(), "--home"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ((std::vector<std::string>{"I?", "S?", "T(3,1)", "100.0000,40.5000",
                                        "101.0000,40.5000", "102.0000,40.5000", "T!", "G!", "H!"}),
              sim.Received());
    for (const char* part : {"uploading 3 points, period 1 s", "upload: 100% (ended)",
                             "upload: complete", "status: TRAJECTORY", "event: trajectory finished",
                             "trajectory: finished", "event: homing finished"}) {
        EXPECT_TRUE(Contains(run.out, part)) << part << "\n" << run.out;
    }
}

TEST(QuorvelctlRunTrajectory, NoStartOnlyUploadsWithTheGivenPeriod) {
    CSimProcess sim({});
    const auto file = TrajectoryFile("upload.txt", 3600, 2, 30);
    const SRun run =
        Ctl({"--port", "11", "run-trajectory", file.string(), "--no-start", "--period", "45"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(
        (std::vector<std::string>{"I?", "S?", "T(2,45)", "100.0000,40.5000", "101.0000,40.5000"}),
        sim.Received());
}

TEST(QuorvelctlRunTrajectory, CtrlCDuringTheWaitingStartCancelsIt) {
    CSimProcess sim({});
    const auto file = TrajectoryFile("cancel.txt", 120, 2);
    const std::filesystem::path out = Scratch() / "cancel.out";
    const std::filesystem::path err = Scratch() / "cancel.err";
    const pid_t pid =
        Spawn({QUORVELCTL_PROGRAM, "--port", "11", "run-trajectory", file.string()}, out, err);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(FileShows(out, "status: WAITING")) << ReadFile(out);
    kill(pid, SIGINT);
    EXPECT_EQ(130, WaitExit(pid));
    EXPECT_TRUE(Contains(ReadFile(err), "the waiting start was cancelled")) << ReadFile(err);
    const std::string printed = ReadFile(out);
    EXPECT_TRUE(Contains(printed.substr(printed.find("status: WAITING")), "status: IDLE"))
        << printed;
    // Nothing after the pairs: the instrument never saw "T!".
    EXPECT_EQ(
        (std::vector<std::string>{"I?", "S?", "T(2,1)", "100.0000,40.5000", "101.0000,40.5000"}),
        sim.Received());
}

TEST(QuorvelctlRunTrajectory, CtrlCDuringTheUploadCancelsIt) {
    // 20 ms per reply: 300 pairs take six seconds, plenty of time to interrupt.
    CSimProcess sim({"--latency", "20"});
    const auto file = TrajectoryFile("long.txt", 3600, 300);
    const std::filesystem::path out = Scratch() / "long.out";
    const std::filesystem::path err = Scratch() / "long.err";
    const pid_t pid =
        Spawn({QUORVELCTL_PROGRAM, "--port", "11", "run-trajectory", file.string()}, out, err);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(FileShows(out, "upload: 1%")) << ReadFile(out);
    kill(pid, SIGINT);
    EXPECT_EQ(130, WaitExit(pid));
    EXPECT_TRUE(Contains(ReadFile(err), "the upload was cancelled")) << ReadFile(err);
    const std::string printed = ReadFile(out);
    EXPECT_TRUE(Contains(printed, "(ended)")) << printed;
    EXPECT_FALSE(Contains(printed, "upload: complete")) << printed;
    const std::vector<std::string> lines = sim.Received();
    EXPECT_LT(lines.size(), 300u);
    EXPECT_EQ(lines.end(), std::find(lines.begin(), lines.end(), "T!"));
}

TEST(QuorvelctlRunTrajectory, BadFilesAreRefusedBeforeAnythingIsSent) {
    CSimProcess sim({});
    struct SCase {
        const char* text;
        const char* message;
    };
    const std::string later = StampIn(3600);
    const std::string after = StampIn(3660);
    const SCase cases[] = {
        {"# header\n", "no trajectory points"},
        {"2026-13-01 10:00:00,1,2\n", "line 1: \"2026-13-01 10:00:00\" is not a time stamp"},
        {"2026-02-30 10:00:00,1,2\n", "line 1:"},
        {"10:00:00 2026-01-01,1,2\n", "line 1:"},
        {nullptr, "line 3: azimuth \"north\" is not a number"},
        {nullptr, "line 3: zenith \"nan\" is not a number"},
        {nullptr, "line 3: expected"},
        {nullptr, "line 3: the time stamp does not follow"},
    };
    const std::string tails[] = {"",
                                 "",
                                 "",
                                 "",
                                 after + ",north,40\n",
                                 after + ",1,nan\n",
                                 after + ",1\n",
                                 later + ",1,2\n"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::filesystem::path file = Scratch() / "bad.txt";
        {
            std::ofstream out(file);
            if (cases[i].text)
                out << cases[i].text;
            else
                out << "# start\n" << later << " 1.5 2.5\n" << tails[i];
        }
        const SRun run = Ctl({"--port", "11", "run-trajectory", file.string()});
        EXPECT_EQ(1, run.status) << i;
        EXPECT_TRUE(Contains(run.err, cases[i].message)) << i << ": " << run.err;
        EXPECT_TRUE(Contains(run.err, "nothing was uploaded")) << i << ": " << run.err;
    }
    EXPECT_TRUE(sim.Received().empty());  // never even connected

    const auto near = TrajectoryFile("near.txt", 5, 2);
    const SRun tooSoon = Ctl({"--port", "11", "run-trajectory", near.string()});
    EXPECT_EQ(1, tooSoon.status);
    EXPECT_TRUE(Contains(tooSoon.err, "less than 10 s ahead")) << tooSoon.err;
    EXPECT_EQ(1, Ctl({"--port", "11", "run-trajectory", near.string(), "--index", "2"}).status);
    EXPECT_EQ(1, Ctl({"--port", "11", "run-trajectory", (Scratch() / "none.txt").string()}).status);
    EXPECT_EQ(
        2, Ctl({"--port", "11", "run-trajectory", near.string(), "--no-start", "--home"}).status);
    EXPECT_EQ(2, Ctl({"--port", "11", "run-trajectory", near.string(), "--period", "0"}).status);
    EXPECT_EQ(2, Ctl({"--port", "11", "run-trajectory"}).status);
    const std::vector<std::string> lines = sim.Received();
    EXPECT_EQ(lines.end(), std::find(lines.begin(), lines.end(), "T(2,1)"));
}

TEST(QuorvelctlRunTrajectory, RefusedPairFailsWithTheOperatorText) {
    CSimProcess sim({"--ack-fault", "101.0000,40.5000"});
    const auto file = TrajectoryFile("refused.txt", 3600, 3);
    const SRun run = Ctl({"--port", "11", "run-trajectory", file.string()});
    EXPECT_EQ(1, run.status);
    EXPECT_TRUE(Contains(run.err, "Trajectory load pair command returned an invalid response."))
        << run.err;
    const std::vector<std::string> lines = sim.Received();
    EXPECT_EQ(lines.end(), std::find(lines.begin(), lines.end(), "102.0000,40.5000"));
}

// The device vanishes after the third pair of twenty: the upload is cut in the middle and the
// message says the link was lost; with two pairs it vanishes during the start wait, which is
// not "the start time came too close".
TEST(QuorvelctlRunTrajectory, LostDeviceDuringTheUploadOrTheStartWaitIsNamed) {
    {
        CSimProcess sim({"--fault", "vanish:6"});  // I?, S?, T(20,1) and three pairs
        const auto file = TrajectoryFile("cut.txt", 3600, 20);
        const SRun run = Ctl({"--port", "11", "run-trajectory", file.string()});
        EXPECT_EQ(1, run.status);
        EXPECT_TRUE(
            Contains(run.err, "the connection to the instrument was lost during the upload"))
            << run.err;
        EXPECT_EQ(7u, sim.Received().size());  // the fourth pair went out, unanswered
    }
    CSimProcess sim({"--fault", "vanish:5"});
    const auto file = TrajectoryFile("lost-start.txt", 30, 2);
    const SRun run = Ctl({"--port", "11", "run-trajectory", file.string()});
    EXPECT_EQ(1, run.status);
    EXPECT_TRUE(Contains(run.err, "lost while waiting for the start; not started")) << run.err;
    EXPECT_FALSE(Contains(run.err, "came too close")) << run.err;
}

#ifdef QUORVEL_SUN_PROGRAM
TEST(QuorvelctlRunTrajectory, ReadsWhatQuorvelSunWrites) {
    const std::filesystem::path file = Scratch() / "sun.txt";
    const std::filesystem::path err = Scratch() / "sun.err";
    // Half an hour of a summer morning in Zurich, 60 s apart: 31 points.
    const pid_t pid =
        Spawn({QUORVEL_SUN_PROGRAM, "trajectory", "--start", "2030-06-21 10:00:00", "--stop",
               "2030-06-21 10:30:00", "--lon-west", "-8.54", "--lat", "47.37"},
              file, err);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(0, WaitExit(pid)) << ReadFile(err);
    CSimProcess sim({});
    const SRun run = Ctl({"--port", "11", "run-trajectory", file.string(), "--no-start"});
    EXPECT_EQ(0, run.status) << run.err;
    const std::vector<std::string> lines = sim.Received();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ("T(31,60)", lines[2]);
    EXPECT_EQ(2u + 1u + 31u, lines.size());
}
#endif

}  // namespace

TEST(QuorvelctlRunTrajectory, RecordWritesOneLinePerPositionPollAndTheDaySummary) {
    CSimProcess sim({});
    // 40 s of trajectory, which the simulator (20 times real time) runs in two seconds.
    const auto file = TrajectoryFile("record.txt", 12, 3, 20);
    const auto record = Scratch() / "record.csv";
    std::filesystem::remove(record);
    const SRun run =
        Ctl({"--port", "11", "run-trajectory", file.string(), "--record", record.string()});
    EXPECT_EQ(0, run.status) << run.err;
    std::istringstream lines(ReadFile(record));
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line,
              "utc,commanded_azimuth_deg,commanded_zenith_deg,reported_azimuth_deg,"
              "reported_zenith_deg,tracking_error_deg\r");
    int polls = 0;
    while (std::getline(lines, line)) {
        ++polls;
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 5) << line;
        EXPECT_EQ(line.find("Z,"), 23u) << line;  // ISO UTC time first
    }
    // Two seconds polled four times a second.
    EXPECT_GE(polls, 4);
    EXPECT_TRUE(Contains(run.out, "Tracking record ")) << run.out;
    EXPECT_TRUE(Contains(run.out, "3 trajectory points")) << run.out;
    // The polls do not print a line each.
    EXPECT_FALSE(Contains(run.out, "position: azimuth")) << run.out;
    EXPECT_EQ(2, Ctl({"--port", "11", "run-trajectory", file.string(), "--no-start", "--record",
                      record.string()})
                     .status);
}
