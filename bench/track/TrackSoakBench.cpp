// quorvelctl track for many simulated days against quorvel-sim with a fault every few days:
// the device vanishing (and a new one coming back 2 s later), the device falling silent for
// 2 s (process stopped while it keeps its pty), and garbage (the returning device garbles its
// first identification). Reports days completed, faults survived, the track process's
// resident memory after day 1 and after the last day against the 1 MiB growth limit, and the
// log bytes written per day.
//
//   track_soak_bench [--days N] [--fault-every K] [--scale X]
//
// Needs XDG_CONFIG_HOME, XDG_STATE_HOME and QUORVEL_PORT_DIR pointing at scratch folders
// (ctest sets them). Exit status 1 when the run does not reach its last day.
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
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Paths.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kPort = "19";
constexpr double kGrowthLimitKiB = 1024.0;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

pid_t Spawn(std::vector<std::string> args, const fs::path& out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void Reap(pid_t& pid, int sig) {
    if (pid <= 0)
        return;
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
}

long ResidentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

fs::path Scratch() {
    const fs::path dir = Platform::AppDataHome() / "track-soak";
    fs::create_directories(dir);
    return dir;
}

pid_t StartSimulator(double scale, bool garbled, int n) {
    const fs::path out = Scratch() / ("sim" + std::to_string(n) + ".out");
    std::vector<std::string> args = {QUORVEL_SIM_PROGRAM, "--com",        kPort,
                                     "--replace",         "--time-scale", std::to_string(scale)};
    if (garbled) {
        args.push_back("--fault");
        args.push_back("garbled:I?/1");
    }
    const pid_t pid = Spawn(args, out);
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (Slurp(out).find('\n') == std::string::npos && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(10ms);
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    int days = 30;
    int faultEvery = 3;
    double scale = 20000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--days")
            days = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--fault-every")
            faultEvery = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--scale")
            scale = std::atof(argv[i + 1]);
    }
    if (!std::getenv("XDG_STATE_HOME") || !std::getenv("QUORVEL_PORT_DIR")) {
        std::fprintf(stderr,
                     "track_soak_bench: set XDG_CONFIG_HOME, XDG_STATE_HOME and "
                     "QUORVEL_PORT_DIR to scratch folders\n");
        return 2;
    }
    setenv("TZ", "UTC", 1);
    fs::remove_all(Platform::LogFolder());
    const fs::path trackOut = Scratch() / "track.out";

    int simCount = 0;
    pid_t sim = StartSimulator(scale, false, simCount++);
    pid_t track = Spawn({QUORVELCTL_PROGRAM, "track", "--port", kPort, "--lon-east", "0", "--lat",
                         "62", "--days", std::to_string(days), "--time-scale",
                         std::to_string(scale), "--clock-start", "2026-06-21 00:30:00"},
                        trackOut);
    const auto began = std::chrono::steady_clock::now();
    const auto giveUp = began + std::chrono::seconds(20 + days * 15);

    long rssDay1 = -1;
    long rssLast = -1;
    int faults = 0;
    int lastFaultDay = 0;
    int lastDaySeen = 0;
    int status = -1;
    while (std::chrono::steady_clock::now() < giveUp) {
        if (waitpid(track, &status, WNOHANG) == track) {
            track = -1;
            break;
        }
        const std::string out = Slurp(trackOut);
        const int day = Count(out, "finished (day");
        if (day > lastDaySeen) {
            lastDaySeen = day;
            const long rss = ResidentKiB(track);
            if (day == 1)
                rssDay1 = rss;
            rssLast = rss;
            // A fault in the middle of every K-th day after the first, once it has started.
            if (day < days && day % faultEvery == 0) {
                const int kind = faults % 3;
                const int startedBefore = Count(out, "  started");
                while (Count(Slurp(trackOut), "  started") == startedBefore &&
                       std::chrono::steady_clock::now() < giveUp)
                    std::this_thread::sleep_for(20ms);
                if (kind == 1) {
                    kill(sim, SIGSTOP);
                    std::this_thread::sleep_for(2s);
                    kill(sim, SIGCONT);
                } else {
                    kill(sim, SIGUSR1);
                    std::this_thread::sleep_for(2s);
                    Reap(sim, SIGTERM);
                    sim = StartSimulator(scale, kind == 2, simCount++);
                }
                ++faults;
                lastFaultDay = day + 1;
                std::printf("day %d: fault %d (%s)\n", day + 1, faults,
                            kind == 0   ? "vanish"
                            : kind == 1 ? "silence"
                                        : "garbage");
                std::fflush(stdout);
            }
        }
        std::this_thread::sleep_for(50ms);
    }
    Reap(track, SIGKILL);
    Reap(sim, SIGTERM);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    std::uintmax_t logBytes = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(Platform::LogFolder(), ec))
        logBytes += entry.file_size();
    const std::string out = Slurp(trackOut);
    const int reconnects = Count(out, "reconnecting");
    std::printf("days completed: %d of %d in %.1f s real (time scale %.0f)\n", lastDaySeen, days,
                seconds, scale);
    // A fault is survived when the day it struck was still tracked to its end.
    const int survived = lastDaySeen >= lastFaultDay ? faults : faults - 1;
    std::printf("faults: %d injected, %d survived, %d \"reconnecting\" lines\n", faults,
                survived < 0 ? 0 : survived, reconnects);
    std::printf("resident memory: day 1 %ld KiB, day %d %ld KiB\n", rssDay1, lastDaySeen, rssLast);
    std::printf("resident memory growth / limit (1 MiB): %.3f\n",
                static_cast<double>(rssLast - rssDay1) / kGrowthLimitKiB);
    std::printf("log bytes per day: %.0f\n",
                lastDaySeen > 0 ? static_cast<double>(logBytes) / lastDaySeen : 0.0);
    const bool ok = lastDaySeen >= days && status == 0;
    if (!ok)
        std::printf("the run did not complete its days:\n%s", out.c_str());
    return ok ? 0 : 1;
}
