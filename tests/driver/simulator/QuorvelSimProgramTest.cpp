// quorvel-sim as a process: it prints its device, links COM<n>, answers on the line, and on
// SIGTERM exits cleanly after removing its link; SIGUSR1 makes the device vanish.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "RawClient.h"
#include "TestFolders.h"

extern char** environ;

namespace quorvel::sim {
namespace {

namespace fs = std::filesystem;

// A child process with its stdout and stderr captured.
class CChild {
public:
    ~CChild() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        for (int fd : {m_out, m_err}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    bool Spawn(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        std::vector<char*> argv;
        std::string program = QUORVEL_SIM_PROGRAM;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        int rc = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
        return rc == 0;
    }
    // The first stdout line (blocking read until a newline or end of file).
    std::string FirstLine() {
        std::string line;
        char c;
        while (::read(m_out, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }
    std::string AllStderr() {
        std::string text;
        char buffer[512];
        ssize_t n;
        while ((n = ::read(m_err, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }
    void Signal(int number) { ::kill(m_pid, number); }
    // Exit status, or -1 if it did not exit by a normal return.
    int Wait() {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

std::string PortDir() {
    return QuorvelTest::PortFolder().string();
}

TEST(QuorvelSimProgramTest, PrintsDeviceAnswersAndRemovesLinkOnSigterm) {
    const std::string dir = PortDir() + "/cli";
    CChild child;
    ASSERT_TRUE(child.Spawn({"--port-dir", dir, "--com", "11", "--time-scale", "10"}));
    std::string device = child.FirstLine();
    ASSERT_TRUE(device.starts_with("/dev/")) << device << child.AllStderr();
    const std::string link = dir + "/COM11";
    EXPECT_EQ(fs::read_symlink(link).string(), device);

    test::CRawClient client;
    ASSERT_TRUE(client.Open(link));
    EXPECT_EQ(client.Ask("I?"), "Pelvarin,QUORVEL4,SIM-1.0");
    client.Close();

    child.Signal(SIGTERM);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(QuorvelSimProgramTest, SigintAlsoEndsIt) {
    const std::string dir = PortDir() + "/cli-int";
    CChild child;
    ASSERT_TRUE(child.Spawn({"--port-dir", dir, "--com", "12"}));
    ASSERT_FALSE(child.FirstLine().empty());
    child.Signal(SIGINT);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir + "/COM12")));
}

TEST(QuorvelSimProgramTest, Sigusr1MakesTheDeviceVanishButKeepsRunning) {
    const std::string dir = PortDir() + "/cli-vanish";
    CChild child;
    ASSERT_TRUE(child.Spawn({"--port-dir", dir, "--com", "13"}));
    std::string device = child.FirstLine();
    ASSERT_FALSE(device.empty());
    test::CRawClient client;
    ASSERT_TRUE(client.Open(dir + "/COM13"));
    child.Signal(SIGUSR1);
    EXPECT_TRUE(client.PeerGone());
    for (int i = 0; i < 200 && fs::exists(fs::symlink_status(dir + "/COM13")); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir + "/COM13")));
    child.Signal(SIGTERM);
    EXPECT_EQ(child.Wait(), 0);
}

TEST(QuorvelSimProgramTest, BadArgumentsExitWithUsage) {
    CChild child;
    ASSERT_TRUE(child.Spawn({"--com", "12", "--fault", "sulk"}));
    EXPECT_EQ(child.FirstLine(), "");
    std::string text = child.AllStderr();
    EXPECT_EQ(child.Wait(), 2);
    EXPECT_NE(text.find("unknown fault \"sulk\""), std::string::npos) << text;
    EXPECT_NE(text.find("usage: quorvel-sim"), std::string::npos);
}

TEST(QuorvelSimProgramTest, OccupiedPortEntryIsAnErrorAndLeftAlone) {
    const std::string dir = PortDir() + "/cli-busy";
    fs::create_directories(dir);
    fs::remove(dir + "/COM14");
    fs::create_symlink("/dev/null", dir + "/COM14");
    CChild child;
    ASSERT_TRUE(child.Spawn({"--port-dir", dir, "--com", "14"}));
    EXPECT_EQ(child.FirstLine(), "");
    std::string text = child.AllStderr();
    EXPECT_EQ(child.Wait(), 1);
    EXPECT_NE(text.find("already exists"), std::string::npos) << text;
    EXPECT_EQ(fs::read_symlink(dir + "/COM14"), "/dev/null");
}

}  // namespace
}  // namespace quorvel::sim
