// The instrument detector against simulated instruments and scripted peers on real
// pseudo-terminals linked as COM<n> in the test's port folder: what it finds and skips and
// why, the order and budget of the rates it asks at, Cancel during a probe, a port held by
// another opener, and a port this user may not open.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <memory>

#include "DriverTestSupport.h"
#include "InstrumentSimulator.h"
#include "PtyPeer.h"
#include "core/PortDetector.h"
#include "platform/Paths.h"
#include "platform/TextConvert.h"

namespace {

namespace fs = std::filesystem;
using namespace drivertest;
using namespace QuorvelDriver;
using quorvel::sim::CInstrumentSimulator;
using quorvel::sim::EFaultKind;
using quorvel::sim::SFaultRule;
using quorvel::sim::SSimulatorOptions;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

std::unique_ptr<CInstrumentSimulator> StartSimulator(unsigned port,
                                                     std::vector<SFaultRule> faults = {}) {
    SSimulatorOptions options;
    options.portDir = Platform::PortDirectory().string();
    options.comPort = static_cast<int>(port);
    options.replaceLink = true;
    options.faults = std::move(faults);
    auto sim = std::make_unique<CInstrumentSimulator>();
    EXPECT_FALSE(sim->Start(options).empty()) << sim->LastError();
    return sim;
}

std::unique_ptr<CPtyPeer> SilentPeer(unsigned port) {
    auto peer = std::make_unique<CPtyPeer>(port);
    peer->SetScript([](const std::string&) { return std::string(); });
    return peer;
}

std::vector<unsigned> PortsOf(const std::vector<DetectedInstrument>& found) {
    std::vector<unsigned> ports;
    for (const DetectedInstrument& d : found)
        ports.push_back(d.port.port);
    return ports;
}

std::wstring ReasonFor(const DetectReport& report, unsigned port) {
    for (const SkippedPort& s : report.skipped) {
        if (s.port.port == port)
            return s.reason;
    }
    return L"(not skipped)";
}

TEST(ProbePlan, AsksAtTheStoredRateThenTheFactoryRateThenFastestFirstWithinTheDeadline) {
    DetectOptions options;
    options.preferredBaud = 9600;
    const std::vector<ProbeStep> plan = PlanProbe(options);
    std::vector<DWORD> order;
    milliseconds total{0};
    for (const ProbeStep& step : plan) {
        order.push_back(step.baud);
        total += step.slice;
    }
    EXPECT_EQ((std::vector<DWORD>{9600, 115200, 57600, 38400, 19200, 4800, 2400}), order);
    EXPECT_EQ(options.replyDeadline, total);
    // At 2400 baud "I?" and a 40-byte answer take 180 ms on the wire alone.
    EXPECT_GE(plan.back().slice, milliseconds(180));
    // The likely rates get most of the time for the instrument to answer.
    EXPECT_GT(plan[0].slice, plan[2].slice);
    EXPECT_GT(plan[1].slice, plan[2].slice);

    // The factory rate stored: asked once, not twice.
    options.preferredBaud = 115200;
    EXPECT_EQ(7u, PlanProbe(options).size());
    EXPECT_EQ(115200u, PlanProbe(options).front().baud);

    // A budget too small for every rate keeps to it and drops the least likely ones.
    options.replyDeadline = milliseconds(100);
    const std::vector<ProbeStep> tight = PlanProbe(options);
    milliseconds tightTotal{0};
    for (const ProbeStep& step : tight)
        tightTotal += step.slice;
    EXPECT_LE(tightTotal, milliseconds(100));
    ASSERT_FALSE(tight.empty());
    EXPECT_EQ(115200u, tight.front().baud);
    EXPECT_LT(tight.size(), 7u);
}

class PortDetector : public ::testing::Test {
protected:
    void TearDown() override {
        sims.clear();
        peers.clear();
    }
    std::vector<std::unique_ptr<CInstrumentSimulator>> sims;
    std::vector<std::unique_ptr<CPtyPeer>> peers;
};

TEST_F(PortDetector, FindsExactlyTheInstrumentsAndSaysWhyTheOtherPortsWereSkipped) {
    sims.push_back(StartSimulator(21));
    sims.push_back(StartSimulator(22));
    peers.push_back(SilentPeer(23));
    sims.push_back(StartSimulator(24, {SFaultRule{EFaultKind::WrongProduct, "I?"}}));

    DetectOptions options;
    options.ports = {24, 23, 22, 21, 25};  // COM25 has no device
    options.replyDeadline = milliseconds(600);
    std::vector<DetectProgress> progress;
    CHangWatch watch("detector run");
    const auto start = steady_clock::now();
    const DetectReport report =
        CPortDetector(options).Run([&](const DetectProgress& p) { progress.push_back(p); });
    const auto took = steady_clock::now() - start;

    EXPECT_FALSE(report.cancelled);
    ASSERT_EQ((std::vector<unsigned>{21, 22}), PortsOf(report.found));
    for (std::size_t i = 0; i < 2; ++i) {
        const DetectedInstrument& found = report.found[i];
        EXPECT_EQ(115200u, found.baud);
        EXPECT_EQ(L"Pelvarin", found.leading);
        EXPECT_EQ(L"QUORVEL4", found.productId);
        EXPECT_EQ(L"SIM-1.0", found.trailing);
        EXPECT_EQ(Platform::Utf8ToWide(sims[i]->DevicePath()), found.port.device);
        EXPECT_TRUE(found.port.fromPortFolder);
        EXPECT_EQ(L"pseudo-terminal", found.port.description);
        // Asked once, at the first rate, and answered.
        EXPECT_EQ(1u, sims[i]->ReceivedCount());
    }
    ASSERT_EQ(3u, report.skipped.size());
    EXPECT_EQ(L"no answer", ReasonFor(report, 23));
    EXPECT_EQ(L"answers as \"QUORVEL3\"", ReasonFor(report, 24));
    EXPECT_EQ(L"not present", ReasonFor(report, 25));

    // The silent port was asked at every rate, and given up within its deadline (the bound
    // here only catches a probe that waits far longer).
    EXPECT_EQ(PlanProbe(options).size(), peers[0]->Lines().size());
    for (const std::string& line : peers[0]->Lines())
        EXPECT_EQ("I?", line);
    EXPECT_LT(took, milliseconds(5000));

    // A start and an end for each port; the last says all are done.
    EXPECT_EQ(10u, progress.size());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(5u, progress.back().done);
    EXPECT_EQ(5u, progress.back().total);
}

TEST_F(PortDetector, StoredRateIsAskedFirst) {
    sims.push_back(StartSimulator(26));
    DetectOptions options;
    options.ports = {26};
    options.preferredBaud = 9600;
    const DetectReport report = CPortDetector(options).Run();
    ASSERT_EQ(1u, report.found.size());
    EXPECT_EQ(9600u, report.found[0].baud);
}

TEST_F(PortDetector, CancelEndsAProbeThatWouldWaitLong) {
    for (unsigned port : {27u, 28u, 29u})
        peers.push_back(SilentPeer(port));
    DetectOptions options;
    options.ports = {27, 28, 29};
    options.parallel = 2;
    options.replyDeadline = milliseconds(60000);
    CPortDetector detector(options);
    CHangWatch watch("detector cancel", std::chrono::seconds(20));
    auto run = std::async(std::launch::async, [&] { return detector.Run(); });
    // Both probing threads have asked their port.
    ASSERT_TRUE(peers[0]->WaitForLines(1, 10000));
    ASSERT_TRUE(peers[1]->WaitForLines(1, 10000));
    const auto cancelledAt = steady_clock::now();
    detector.Cancel();
    ASSERT_EQ(std::future_status::ready, run.wait_for(std::chrono::seconds(5)));
    EXPECT_LT(steady_clock::now() - cancelledAt, milliseconds(5000));
    const DetectReport report = run.get();
    EXPECT_TRUE(report.cancelled);
    EXPECT_TRUE(report.found.empty());
    EXPECT_TRUE(report.skipped.empty());
    EXPECT_TRUE(peers[2]->Lines().empty()) << "no port is started after Cancel";
}

TEST_F(PortDetector, PortHeldByAnotherOpenerIsSkippedAsInUse) {
    sims.push_back(StartSimulator(30));
    CRecordingOwner owner;
    CRecordingBoxes boxes;
    Platform::SetMessageBoxService(&boxes);
    {
        CQuorvel holder(&owner);
        CQuorvelSettings settings;
        settings.nPort = 30;
        holder.SetSettings(settings);
        ASSERT_EQ(1, holder.Connect());
        DetectOptions options;
        options.ports = {30};
        const DetectReport report = CPortDetector(options).Run();
        EXPECT_TRUE(report.found.empty());
        EXPECT_EQ(L"in use by another program", ReasonFor(report, 30));
        holder.Disconnect();
    }
    Platform::SetMessageBoxService(nullptr);
    // Closed again, the port is found.
    DetectOptions options;
    options.ports = {30};
    EXPECT_EQ(1u, CPortDetector(options).Run().found.size());
}

// Runs `probe` in a child process as a user who may not open the pseudo-terminals of this
// one (root's are mode 0620, group tty): as "nobody" when the test runs as root, else as this
// user with the device's permissions taken away. Returns what the child wrote.
std::string AsUserWithoutAccess(const fs::path& device, const std::function<std::string()>& probe) {
    // The child must reach the port folder: a world-readable one of its own.
    const fs::path folder =
        fs::temp_directory_path() / ("quorvel-test-ports-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    const bool root = ::geteuid() == 0;
    struct stat before {};
    ::stat(device.c_str(), &before);
    if (!root)
        ::chmod(device.c_str(), 0);
    int channel[2];
    EXPECT_EQ(0, ::pipe(channel));
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        ::setenv("QUORVEL_PORT_DIR", folder.c_str(), 1);
        std::error_code ignored;
        fs::create_symlink(device, folder / "COM31", ignored);
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        const std::string text = probe();
        [[maybe_unused]] ssize_t n = ::write(channel[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!root)
        ::chmod(device.c_str(), before.st_mode & 07777);
    fs::remove_all(folder);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return text;
}

TEST_F(PortDetector, PortThisUserMayNotOpenIsExplainedWithTheFix) {
    sims.push_back(StartSimulator(31));
    const fs::path device = sims[0]->DevicePath();
    // As on a Debian desktop: the line belongs to group "dialout", which the user is not in.
    // (Only root can hand the device to that group; otherwise it keeps its own, "tty".)
    if (::geteuid() == 0) {
        const group* dialout = ::getgrnam("dialout");
        ASSERT_NE(nullptr, dialout);
        ASSERT_EQ(0, ::chown(device.c_str(), static_cast<uid_t>(-1), dialout->gr_gid));
        ASSERT_EQ(0, ::chmod(device.c_str(), 0660));
    }
    struct stat st {};
    ASSERT_EQ(0, ::stat(device.c_str(), &st));
    const group* owner = ::getgrgid(st.st_gid);
    ASSERT_NE(nullptr, owner);
    const std::string group = owner->gr_name;
    ASSERT_NE(0u, st.st_gid) << "a device of group root has no group to join";

    const std::string reason = AsUserWithoutAccess(device, [] {
        DetectOptions options;
        options.ports = {31};
        const DetectReport report = CPortDetector(options).Run();
        return report.skipped.size() == 1 ? Platform::WideToUtf8(report.skipped[0].reason)
                                          : std::string("not skipped");
    });
    EXPECT_NE(std::string::npos, reason.find("COM31 (" + device.string() + ") cannot be opened"))
        << reason;
    EXPECT_NE(std::string::npos, reason.find("sudo usermod -aG " + group + " ")) << reason;
    EXPECT_NE(std::string::npos, reason.find("log in again")) << reason;

    // Connecting says the same in its box, instead of failing without a word.
    const std::string box = AsUserWithoutAccess(device, [] {
        CRecordingOwner owner;
        CRecordingBoxes boxes;
        Platform::SetMessageBoxService(&boxes);
        std::string text;
        {
            CQuorvel quorvel(&owner);
            CQuorvelSettings settings;
            settings.nPort = 31;
            quorvel.SetSettings(settings);
            text = quorvel.Connect() == 0 ? "refused\n" : "connected\n";
        }
        Platform::SetMessageBoxService(nullptr);
        for (const SBox& b : boxes.Boxes())
            text += Platform::WideToUtf8(b.text) + "\n";
        return text;
    });
    EXPECT_EQ(0u, box.rfind("refused\n", 0)) << box;
    EXPECT_NE(std::string::npos, box.find(reason)) << box;
    EXPECT_EQ(0u, sims[0]->ReceivedCount()) << "nothing reached the instrument";
}

}  // namespace
