// quorvelctl track against quorvel-sim, both as programs with a time-scaled clock: the
// unattended cycle over a day boundary, the stop by SIGTERM, the restart after SIGKILL, a
// device that vanishes and comes back, and one that falls silent while a start is armed.
// The site is 62 degrees north on the Greenwich meridian in June, under TZ=UTC, so a day's
// window runs from about 02:10 to 22:00 and the night is short.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/Paths.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kPort = "17";

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

fs::path Work() {
    const fs::path dir = Platform::AppDataHome() / "track-test";
    fs::create_directories(dir);
    return dir;
}

// A child program with its standard output and error in files.
class CChild {
public:
    CChild(std::vector<std::string> args, const std::string& name) {
        m_out = Work() / (name + ".out");
        m_err = Work() / (name + ".err");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CChild() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Wait();
        }
    }
    CChild(const CChild&) = delete;
    CChild& operator=(const CChild&) = delete;

    std::string Out() const { return Slurp(m_out); }
    std::string Err() const { return Slurp(m_err); }
    // Waits (real time) until standard output holds `text` `count` times.
    bool AwaitOutput(const std::string& text, int count = 1,
                     std::chrono::seconds limit = 50s) const {
        const auto giveUp = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < giveUp) {
            if (Count(Out(), text) >= count)
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    void Signal(int sig) const { kill(m_pid, sig); }
    // Exit status, or 128 + signal.
    int Wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    static int Count(const std::string& text, const std::string& part) {
        int n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos;
             at = text.find(part, at + 1))
            ++n;
        return n;
    }

private:
    pid_t m_pid = -1;
    fs::path m_out;
    fs::path m_err;
};

class QuorvelctlTrack : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setenv("TZ", "UTC", 1); }

    std::unique_ptr<CChild> Simulator(double scale, const std::string& name = "sim") {
        m_simLog = Work() / (name + ".log");
        fs::remove(m_simLog);
        auto sim = std::make_unique<CChild>(
            std::vector<std::string>{QUORVEL_SIM_PROGRAM, "--com", kPort, "--replace",
                                     "--time-scale", std::to_string(scale), "--log",
                                     m_simLog.string()},
            name);
        EXPECT_TRUE(sim->AwaitOutput("\n", 1, 5s)) << sim->Err();
        return sim;
    }
    // What the simulator received, one command a line, without the time stamps.
    std::string Received() const {
        std::string lines;
        std::ifstream in(m_simLog);
        std::string line;
        while (std::getline(in, line))
            lines += line.substr(line.find(' ') + 1) + "\n";
        return lines;
    }
    static std::unique_ptr<CChild> Track(double scale, const std::string& clockStart,
                                         const std::string& name,
                                         std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {QUORVELCTL_PROGRAM,
                                         "track",
                                         "--port",
                                         kPort,
                                         "--lon-east",
                                         "0",
                                         "--lat",
                                         "62",
                                         "--pressure",
                                         "1010",
                                         "--temp",
                                         "15",
                                         "--time-scale",
                                         std::to_string(scale),
                                         "--clock-start",
                                         clockStart};
        args.insert(args.end(), extra.begin(), extra.end());
        return std::make_unique<CChild>(args, name);
    }

    fs::path m_simLog;
};

TEST_F(QuorvelctlTrack, AFullDayIsTrackedHomedAndTheNextDayStartsThenSigtermStopsIt) {
    // 5000 times faster: a 20-hour day in 15 s, while an upload may still take a few real
    // seconds on a busy machine before the next day's start.
    const auto sim = Simulator(5000);
    auto track = Track(5000, "2026-06-21 00:30:00", "fullday");
    ASSERT_TRUE(track->AwaitOutput("next day: 2026-06-22")) << track->Out() << track->Err();
    ASSERT_TRUE(track->AwaitOutput("started", 2)) << track->Out() << track->Err();
    const std::string out = track->Out();
    // The first day from its sunrise, not from the moment of the start.
    EXPECT_NE(std::string::npos, out.find("starts at 2026-06-21 02:")) << out;
    EXPECT_NE(std::string::npos, out.find("finished (day 1)")) << out;
    EXPECT_LT(out.find("finished (day 1)"), out.find("homed")) << out;
    // From its sunrise, or from the first time still reachable when the upload was slow.
    EXPECT_NE(std::string::npos, out.find("starts at 2026-06-22 0")) << out;
    EXPECT_EQ(1, CChild::Count(out, "connected to COM17")) << out;

    track->Signal(SIGTERM);
    EXPECT_EQ(0, track->Wait()) << track->Err();
    EXPECT_TRUE(track->AwaitOutput("stopped", 1, 1s)) << track->Out();
    const std::string wire = Received();
    // Homed after day one, and the second day's trajectory stopped on the way out.
    EXPECT_NE(std::string::npos, wire.find("\nH!\n")) << wire;
    EXPECT_EQ("S!\n", wire.substr(wire.size() - 3)) << wire;
    // Every log line of the run went to one log file below the state folder.
    std::size_t logs = 0;
    for (const auto& entry : fs::directory_iterator(Platform::LogFolder()))
        logs += entry.path().string().find("_SystemLog.log") != std::string::npos ? 1 : 0;
    EXPECT_GE(logs, 1u);
}

TEST_F(QuorvelctlTrack, AfterSigkillInTheMiddleOfADayARestartResumesThatDay) {
    const auto sim = Simulator(1000);
    {
        auto first = Track(1000, "2026-06-21 10:00:00", "killed");
        ASSERT_TRUE(first->AwaitOutput("started")) << first->Out() << first->Err();
        first->Signal(SIGKILL);
        EXPECT_EQ(128 + SIGKILL, first->Wait());
    }
    auto again = Track(1000, "2026-06-21 11:00:00", "restarted");
    ASSERT_TRUE(again->AwaitOutput("starts at")) << again->Out() << again->Err();
    ASSERT_TRUE(again->AwaitOutput("started")) << again->Out() << again->Err();
    const std::string out = again->Out();
    EXPECT_NE(std::string::npos, out.find("still running a trajectory")) << out;
    EXPECT_NE(std::string::npos, out.find("starts at 2026-06-21 11:")) << out;
    again->Signal(SIGTERM);
    EXPECT_EQ(0, again->Wait()) << again->Err();
    const std::string wire = Received();
    const std::size_t restart = wire.rfind("I?\nS?\n");  // the restarted run connects
    ASSERT_NE(std::string::npos, restart) << wire;
    // The trajectory the killed run left going was stopped before the day was planned anew.
    const std::size_t stop = wire.find("S2!\n", restart);
    EXPECT_NE(std::string::npos, stop) << wire;
    EXPECT_LT(stop, wire.find("T(", restart)) << wire;
}

TEST_F(QuorvelctlTrack, ARestartWhileTheInstrumentRunsTodaysTrajectoryLeavesItUndisturbed) {
    constexpr int kScale = 200;
    const auto sim = Simulator(kScale);
    auto first = Track(kScale, "2026-06-21 10:00:00", "running");
    ASSERT_TRUE(first->AwaitOutput("  started")) << first->Out() << first->Err();
    const auto seen = std::chrono::steady_clock::now();
    first->Signal(SIGKILL);
    first->Wait();
    // The restarted run's clock goes on from where the killed one was.
    const std::string out = first->Out();
    const std::size_t line = out.rfind('\n', out.find("  started")) + 1;
    const int startedS = std::stoi(out.substr(line + 11, 2)) * 3600 +
                         std::stoi(out.substr(line + 14, 2)) * 60 +
                         std::stoi(out.substr(line + 17, 2));
    const int nowS =
        startedS +
        static_cast<int>(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - seen).count() *
            kScale);
    char clock[32];
    std::snprintf(clock, sizeof clock, "2026-06-21 %02d:%02d:%02d", nowS / 3600, nowS / 60 % 60,
                  nowS % 60);
    const std::size_t before = Received().size();
    auto again = Track(kScale, clock, "resumed");
    ASSERT_TRUE(again->AwaitOutput("connected to COM17")) << again->Out() << again->Err();
    ASSERT_TRUE(again->AwaitOutput("left undisturbed", 1, 5s)) << again->Out() << again->Err();
    again->Signal(SIGTERM);
    EXPECT_EQ(0, again->Wait());
    const std::string wire = Received().substr(before);
    EXPECT_EQ(std::string::npos, wire.find("T(")) << wire;
    EXPECT_EQ(std::string::npos, wire.find("S2!")) << wire;
    EXPECT_NE(std::string::npos, wire.find("P?")) << wire;
}

TEST_F(QuorvelctlTrack, AVanishedInstrumentIsReconnectedTheDayReplannedAndTheNextDayFollows) {
    auto sim = Simulator(5000, "vanishing");
    auto track = Track(5000, "2026-06-21 10:00:00", "vanish");
    ASSERT_TRUE(track->AwaitOutput("started")) << track->Out() << track->Err();
    sim->Signal(SIGUSR1);  // the device goes: pty closed, link removed
    ASSERT_TRUE(track->AwaitOutput("reconnecting", 1, 5s)) << track->Out();
    std::this_thread::sleep_for(5s);
    sim.reset();
    sim = Simulator(5000, "back");
    ASSERT_TRUE(track->AwaitOutput("connected to COM17", 2)) << track->Out() << track->Err();
    ASSERT_TRUE(track->AwaitOutput("started", 2)) << track->Out() << track->Err();
    ASSERT_TRUE(track->AwaitOutput("next day: 2026-06-22")) << track->Out() << track->Err();
    const std::string out = track->Out();
    const std::size_t back = out.find("connected to COM17", out.find("reconnecting"));
    // The rest of the same day was uploaded and started after the return.
    EXPECT_NE(std::string::npos, out.find("starts at 2026-06-21 1", back)) << out;
    EXPECT_NE(std::string::npos, out.find("finished (day 1)", back)) << out;
    // The new instrument got the re-planned day, then the homing and the next day.
    const std::string wire = Received();
    EXPECT_EQ(0u, wire.find("I?\nS?\nT(")) << wire;
    EXPECT_NE(std::string::npos, wire.find("\nH!\n")) << wire;
    track->Signal(SIGTERM);
    EXPECT_EQ(0, track->Wait());
}

TEST_F(QuorvelctlTrack, ASilentInstrumentIsFoundWithinAMinuteWhileTheStartIsArmed) {
    constexpr double kScale = 5;
    auto sim = Simulator(kScale, "silent");
    // Before sunrise: the start is armed for about 02:10.
    auto track = Track(kScale, "2026-06-21 00:30:00", "armed");
    ASSERT_TRUE(track->AwaitOutput("starts at")) << track->Out() << track->Err();
    sim->Signal(SIGSTOP);  // the process keeps its pty but answers nothing
    const auto silentFrom = std::chrono::steady_clock::now();
    const bool found = track->AwaitOutput("reconnecting: the instrument does not answer", 1, 30s);
    const double simulatedS =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - silentFrom).count() *
        kScale;
    sim->Signal(SIGCONT);
    ASSERT_TRUE(found) << track->Out() << track->Err();
    EXPECT_LE(simulatedS, 60.0 + 0.5 * kScale);  // polling slack of the test, in real seconds
    track->Signal(SIGTERM);
    EXPECT_EQ(0, track->Wait());
}

}  // namespace
