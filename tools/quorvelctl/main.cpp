// quorvelctl: drives the Quorvel from the command line through QuorvelDll (see --help).
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Console.h"
#include "CtlOptions.h"
#include "CtlOwner.h"
#include "DetectCommand.h"
#include "RunRecord.h"
#include "TrackRun.h"
#include "TrajectoryFile.h"
#include "core/Quorvel.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/TextConvert.h"
#include "platform/Wnd.h"
#include "settings/RegistryText.h"

namespace {

using namespace quorvelctl;
using std::chrono::milliseconds;

const wchar_t kSettingsKey[] = L"Software\\Pelvarin\\Quorvel Control Software";

// Without a GUI the port's error boxes and the late-start box go to standard error.
// The late-start box comes from the driver's start thread, hence the atomic count.
class CStderrBoxes : public Platform::IMessageBoxService {
public:
    int Show(const std::wstring& text, const std::wstring& caption, UINT /*type*/) override {
        std::fprintf(stderr, "%s%s%s\n", Platform::WideToUtf8(caption).c_str(),
                     caption.empty() ? "" : ": ", Platform::WideToUtf8(text).c_str());
        ++shown;
        return IDOK;
    }
    std::atomic<int> shown{0};
};

// "No time limit" that still leaves room to add it to a steady_clock reading.
constexpr milliseconds kNoLimit = std::chrono::hours(24 * 365 * 50);

constexpr int kExitInterrupted = 130;  // the shell's figure for a program ended by Ctrl+C

milliseconds Limit(const SOptions& options, double defaultS) {
    return milliseconds(
        static_cast<long long>((options.timeoutS ? *options.timeoutS : defaultS) * 1000));
}

// The device object once the instrument has answered: from then on a lost link (the port
// failed, the device vanished) ends every wait. Set and read on the GUI thread only.
CQuorvel* g_connected = nullptr;

bool LinkLost() {
    return g_connected != nullptr && !g_connected->IsConnected();
}

// How often a move's wait asks for the instrument's status (seconds): a move that it refused
// or never received shows as an idle instrument within this time.
constexpr auto kStatusPollInterval = std::chrono::seconds(2);

int Fail(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return 1;
}

int FailWithOperatorText(const CCtlOwner& owner) {
    return Fail(Platform::WideToUtf8(owner.lastErrorText));
}

int FailLinkLost(const std::string& during) {
    return Fail("quorvelctl: the connection to the instrument was lost " + during);
}

// Pumps until `done` or an error notification; 0 on done, 1 otherwise.
int WaitFor(CCtlOwner& owner, const std::function<bool()>& done, milliseconds limit,
            const std::string& what) {
    const int errorsBefore = owner.errorCount;
    const bool finished = Platform::CMessageLoop::RunUntil(
        [&] { return owner.errorCount != errorsBefore || LinkLost() || done(); }, limit);
    if (owner.errorCount != errorsBefore)
        return FailWithOperatorText(owner);
    if (LinkLost())
        return FailLinkLost("while waiting for the " + what);
    if (!finished) {
        return Fail("quorvelctl: no " + what + " within " +
                    std::to_string(limit.count() / 1000.0).substr(0, 6) + " s");
    }
    return 0;
}

std::int64_t NowUnixSeconds() {
    static const Platform::Ticks kEpoch =
        Platform::SystemTimeToTicks(Platform::MakeSystemTime(1970, 1, 1));
    return static_cast<std::int64_t>((Platform::Clock().NowUtc() - kEpoch) /
                                     Platform::kTicksPerSecond);
}

int Refused(const std::string& command) {
    return Fail("quorvelctl: the driver refused " + command +
                " (not connected, busy, or a value that is not a number)");
}

int RunSettings(const SOptions& options) {
    std::wstring error;
    const bool ok = options.word == "export"
                        ? Zezezezo::ExportRegistryText(kSettingsKey, options.file, &error)
                        : Zezezezo::ImportRegistryText(options.file, &error);
    if (!ok)
        return Fail("quorvelctl: settings " + options.word +
                    " failed: " + Platform::WideToUtf8(error));
    std::printf("settings %sed: %s\n", options.word.c_str(), options.file.c_str());
    return 0;
}

// Sends the status query and waits for its answer: the queue is first in, first out, so
// every reply queued before it has been handled by then.
int StatusBarrier(CQuorvel& quorvel, CCtlOwner& owner, const SOptions& options) {
    const int before = owner.statusCount;
    quorvel.GetStatus(0);
    return WaitFor(
        owner, [&] { return owner.statusCount > before; }, Limit(options, 5), "status");
}

// Asks for the position and waits for it; the answer is in owner.lastAzimuthDeg and lastZenithDeg.
int QueryPosition(CQuorvel& quorvel, CCtlOwner& owner, const SOptions& options) {
    const int before = owner.positionCount;
    if (!quorvel.GetPosition(nullptr))
        return Refused("position");
    return WaitFor(
        owner, [&] { return owner.positionCount > before; }, Limit(options, 5), "position");
}

// Degrees between two azimuths, whole turns apart counting as none.
double AzimuthGap(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

// Waits for the end of a move ("!P:1" clears MOVING), asking for the status every few seconds:
// an instrument that refused the move or never received it answers that it is not moving.
// Such an answer looks just like the end of the move, so an end seen after a poll is checked
// against the position the move was to reach (azimuth, zenith in degrees).
int WaitForMove(CQuorvel& quorvel, CCtlOwner& owner, const SOptions& options,
                const double target[2]) {
    const int before = owner.statusCount;
    const int errorsBefore = owner.errorCount;
    const auto giveUp = std::chrono::steady_clock::now() + Limit(options, 300);
    bool polled = false;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        const auto left = std::chrono::duration_cast<milliseconds>(giveUp - now);
        const bool ended = Platform::CMessageLoop::RunUntil(
            [&] {
                return owner.errorCount != errorsBefore || LinkLost() ||
                       (owner.statusCount > before && !owner.lastStatus.test(MOVING));
            },
            std::min<milliseconds>(left, kStatusPollInterval));
        if (owner.errorCount != errorsBefore)
            return FailWithOperatorText(owner);
        if (LinkLost())
            return FailLinkLost("during the move");
        if (ended)
            break;
        if (std::chrono::steady_clock::now() >= giveUp) {
            return Fail("quorvelctl: no end of the move within " +
                        std::to_string(Limit(options, 300).count() / 1000.0).substr(0, 6) + " s");
        }
        quorvel.GetStatus(0);
        polled = true;
    }
    if (!polled)
        return 0;
    if (int r = QueryPosition(quorvel, owner, options))
        return r;
    constexpr double kToleranceDeg = 0.01;  // the position reply has four decimals
    if (AzimuthGap(owner.lastAzimuthDeg, target[0]) > kToleranceDeg ||
        std::fabs(owner.lastZenithDeg - target[1]) > kToleranceDeg) {
        return Fail(
            "quorvelctl: the instrument stopped moving away from the target; it refused "
            "or lost the move");
    }
    return 0;
}

// Reads and checks the trajectory file before anything is connected, so a bad file never
// reaches the instrument.
int LoadTrajectoryFile(const SOptions& options, STrajectoryFile& file) {
    std::ifstream in(options.file);
    if (!in)
        return Fail("quorvelctl: cannot open the trajectory file \"" +
                    Platform::PrintableBytes(options.file, 256) + "\"");
    std::string error;
    if (!ParseTrajectoryFile(in, file, error))
        return Fail("quorvelctl: " + Platform::PrintableBytes(options.file, 256) + ": " + error +
                    "; nothing was uploaded");
    if (!options.noStart && static_cast<std::size_t>(options.startIndex) >= file.times.size()) {
        return Fail("quorvelctl: --index " + std::to_string(options.startIndex) +
                    " lies beyond the last point (" + std::to_string(file.times.size() - 1) + ")");
    }
    if (!options.periodS && file.stampSpacing && *file.stampSpacing > 86400) {
        return Fail("quorvelctl: the first two stamps are more than a day apart; give --period");
    }
    return 0;
}

// Stops the running trajectory and waits for the acknowledgement.
int StopRunningTrajectory(CQuorvel& quorvel, CCtlOwner& owner, const SOptions& options) {
    const int before = owner.statusCount;
    if (!quorvel.Stop(StopTrajectory))
        return Refused("stop trajectory");
    if (int r = WaitFor(
            owner, [&] { return owner.statusCount > before && !owner.lastStatus.test(TRAJECTORY); },
            Limit(options, 5), "stop acknowledgement")) {
        return r;
    }
    std::fprintf(stderr, "quorvelctl: interrupted; the trajectory was stopped\n");
    return kExitInterrupted;
}

int RunTrajectory(CQuorvel& quorvel, CCtlOwner& owner, const SOptions& options,
                  const STrajectoryFile& file, const CStderrBoxes& boxes) {
    const int period = options.periodS ? *options.periodS : file.stampSpacing.value_or(60);
    if (!options.noStart) {
        const std::int64_t lead =
            file.instants[static_cast<std::size_t>(options.startIndex)] - NowUnixSeconds();
        if (lead < 10) {
            return Fail("quorvelctl: the start time of point " +
                        std::to_string(options.startIndex) +
                        " is less than 10 s ahead; nothing was uploaded");
        }
    }
    CArray<SYSTEMTIME> times;
    CArray<double> azimuths;
    CArray<double> zeniths;
    for (std::size_t i = 0; i < file.times.size(); ++i) {
        times.Add(file.times[i]);
        azimuths.Add(file.azimuths[i]);
        zeniths.Add(file.zeniths[i]);
    }
    owner.progressBar = IsTerminal(stdout);
    std::printf("uploading %zu points, period %d s\n", file.times.size(), period);
    std::fflush(stdout);

    // Upload. Ctrl+C cancels it; the cancel is repeated until the upload ends because one
    // given before the header is acknowledged is forgotten when the pair loop begins.
    const int endedBefore = owner.progressEndedCount;
    const int uploadedBefore = owner.uploadedCount;
    const int errorsBefore = owner.errorCount;
    if (!quorvel.SetTrajectory(period, times, azimuths, zeniths))
        return Refused("the trajectory");
    Platform::CMessageLoop::RunUntil(
        [&] {
            if (Interrupted())
                quorvel.CancelTrajectoryUpload();
            return owner.progressEndedCount != endedBefore || owner.errorCount != errorsBefore ||
                   LinkLost();
        },
        options.timeoutS ? Limit(options, 0) : kNoLimit);
    if (LinkLost()) {
        return FailLinkLost("during the upload; the instrument may keep a partial trajectory");
    }
    if (owner.errorCount != errorsBefore) {
        // A refused pair still ends with (100, 0); let it through before leaving.
        Platform::CMessageLoop::RunUntil([&] { return owner.progressEndedCount != endedBefore; },
                                         milliseconds(200));
        return FailWithOperatorText(owner);
    }
    if (owner.progressEndedCount == endedBefore) {
        quorvel.CancelTrajectoryUpload();
        return Fail("quorvelctl: the upload did not finish in time");
    }
    // The driver marks the trajectory uploaded before the final progress; the uploaded notice
    // follows it once the upload thread has cleared its busy flag.
    const bool complete = quorvel.IsTrajectoryUploaded() != 0;
    if (complete) {
        Platform::CMessageLoop::RunUntil([&] { return owner.uploadedCount != uploadedBefore; },
                                         milliseconds(5000));
    }
    if (!complete || owner.uploadedCount == uploadedBefore) {
        if (Interrupted()) {
            std::fprintf(stderr,
                         "quorvelctl: interrupted; the upload was cancelled (the "
                         "instrument keeps a partial trajectory)\n");
            return kExitInterrupted;
        }
        return Fail("quorvelctl: the upload ended incomplete");
    }
    if (options.noStart || Interrupted())
        return Interrupted() ? kExitInterrupted : 0;

    // Timed start: "T!" 10 s ahead, "G!" at the start time. Ctrl+C cancels the wait; a
    // cancel while "T!" is answered is forgotten, and once "G!" is on its way the trajectory
    // has to be stopped instead.
    const int boxesBefore = boxes.shown.load();
    if (!quorvel.StartTrajectory(options.startIndex))
        return Refused("the timed start");
    std::printf("waiting for the start at point %d\n", options.startIndex);
    std::fflush(stdout);
    int statusSeen = owner.statusCount;
    bool waitingSeen = false;
    bool cancelled = false;
    bool started = false;
    Platform::CMessageLoop::RunUntil(
        [&] {
            if (owner.statusCount != statusSeen) {
                statusSeen = owner.statusCount;
                waitingSeen = waitingSeen || owner.lastStatus.test(WAITING);
                started = owner.lastStatus.test(TRAJECTORY);
                cancelled = waitingSeen && !owner.lastStatus.test(WAITING) && !started;
            }
            if (Interrupted() && !started)
                quorvel.CancelTrajectory();
            return started || cancelled || owner.errorCount != errorsBefore || LinkLost() ||
                   boxes.shown.load() != boxesBefore;
        },
        kNoLimit);
    if (owner.errorCount != errorsBefore)
        return FailWithOperatorText(owner);
    if (LinkLost())
        return FailLinkLost("while waiting for the start; not started");
    if (boxes.shown.load() != boxesBefore)
        return Fail("quorvelctl: the start time came too close during the upload; not started");
    if (!started) {
        std::fprintf(stderr, "quorvelctl: interrupted; the waiting start was cancelled\n");
        return kExitInterrupted;
    }
    if (Interrupted())
        return StopRunningTrajectory(quorvel, owner, options);

    // Running until "T:1" (or a stop from elsewhere clears TRAJECTORY).
    std::optional<CRunRecord> record;
    if (!options.recordFile.empty()) {
        owner.quietPositions = true;
        record.emplace(options.recordFile, options.logFile, options.logCeiling);
        record->Begin(file, options.startIndex, period);
    }
    const int finishedBefore = owner.trajFinishedCount;
    const bool ended = Platform::CMessageLoop::RunUntil(
        [&] {
            if (record)
                record->Tick(quorvel, owner);
            return owner.trajFinishedCount != finishedBefore || owner.errorCount != errorsBefore ||
                   !owner.lastStatus.test(TRAJECTORY) || Interrupted() || LinkLost();
        },
        options.timeoutS ? Limit(options, 0) : kNoLimit);
    if (owner.errorCount != errorsBefore)
        return FailWithOperatorText(owner);
    if (LinkLost())
        return FailLinkLost("while the trajectory ran");
    if (Interrupted() && owner.lastStatus.test(TRAJECTORY))
        return StopRunningTrajectory(quorvel, owner, options);
    if (!ended)
        return Fail("quorvelctl: the trajectory did not finish within the time limit");
    if (owner.trajFinishedCount == finishedBefore)
        return Fail("quorvelctl: the trajectory was stopped before its end");
    if (record)
        record->End();
    std::printf("trajectory: finished\n");
    std::fflush(stdout);
    if (!options.homeAfter)
        return 0;
    const int homedBefore = owner.homeFinishedCount;
    if (!quorvel.Home())
        return Refused("home");
    return WaitFor(
        owner, [&] { return owner.homeFinishedCount > homedBefore; }, Limit(options, 300),
        "end of homing");
}

int RunCommand(CQuorvel& quorvel, CCtlOwner& owner, const SOptions& options) {
    const std::string& c = options.command;
    const auto& n = options.numbers;
    if (c == "id") {
        const int before = owner.idCount;
        if (!quorvel.GetIdentification())
            return Refused(c);
        if (int r = WaitFor(
                owner, [&] { return owner.idCount > before; }, Limit(options, 5),
                "identification")) {
            return r;
        }
        return owner.idTimedOut ? Fail("Timed out getting identification string.") : 0;
    }
    if (c == "status")
        return StatusBarrier(quorvel, owner, options);
    if (c == "position") {
        const int before = owner.positionCount;
        if (!quorvel.GetPosition(nullptr))
            return Refused(c);
        return WaitFor(
            owner, [&] { return owner.positionCount > before; }, Limit(options, 5), "position");
    }
    if (c == "velocity") {
        const int before = owner.velocityCount;
        if (!quorvel.GetVelocity())
            return Refused(c);
        return WaitFor(
            owner, [&] { return owner.velocityCount > before; }, Limit(options, 5), "velocity");
    }
    if (c == "home") {
        const int before = owner.homeFinishedCount;
        if (!quorvel.Home())
            return Refused(c);
        return WaitFor(
            owner, [&] { return owner.homeFinishedCount > before; }, Limit(options, 300),
            "end of homing");
    }
    if (c == "move-abs" || c == "move-rel") {
        int accepted = 0;
        double target[2] = {n[0], n[1]};
        if (c == "move-rel") {
            // Where it starts from, so that the end of the move can be checked.
            if (int r = QueryPosition(quorvel, owner, options))
                return r;
            target[0] += owner.lastAzimuthDeg;
            target[1] += owner.lastZenithDeg;
            accepted = quorvel.MoveRel(n[0], n[1], n[2]);
        } else if (n.size() == 3) {
            accepted = quorvel.MoveAbs(n[0], n[1], n[2]);
        } else {
            accepted = quorvel.MoveAbs(n[0], n[1]);
        }
        if (!accepted)
            return Refused(c);
        return WaitForMove(quorvel, owner, options, target);
    }
    if (c == "jog") {
        if (!quorvel.MoveVel(n[0], n[1]))
            return Refused(c);
        const int errorsBefore = owner.errorCount;
        Platform::CMessageLoop::RunUntil(
            [&] { return owner.errorCount != errorsBefore || LinkLost(); },
            milliseconds(static_cast<long long>(options.forS * 1000)));
        if (owner.errorCount != errorsBefore)
            return FailWithOperatorText(owner);
        if (LinkLost())
            return FailLinkLost("during the jog");
        const int before = owner.statusCount;
        if (!quorvel.Stop(StopMotion))
            return Refused("stop motion");
        return WaitFor(
            owner, [&] { return owner.statusCount > before && !owner.lastStatus.test(JOGGING); },
            Limit(options, 5), "end of the jog");
    }
    if (c == "stop") {
        const QuorvelStopMode mode = options.word == "all"      ? StopAll
                                     : options.word == "motion" ? StopMotion
                                                                : StopTrajectory;
        const int before = owner.statusCount;
        if (!quorvel.Stop(mode))
            return Refused(c);
        if (int r = WaitFor(
                owner, [&] { return owner.statusCount > before; }, Limit(options, 5),
                "stop acknowledgement")) {
            return r;
        }
        Platform::CMessageLoop::PumpPending();
        return 0;
    }
    if (c == "offset") {
        if (!quorvel.SetOffset(n[0], n[1]))
            return Refused(c);
        return StatusBarrier(quorvel, owner, options);
    }
    if (c == "monitor") {
        const auto end =
            std::chrono::steady_clock::now() + milliseconds(static_cast<long long>(n[0] * 1000));
        while (std::chrono::steady_clock::now() < end) {
            quorvel.GetPosition(nullptr);
            const auto left =
                std::chrono::duration_cast<milliseconds>(end - std::chrono::steady_clock::now());
            Platform::CMessageLoop::RunUntil(LinkLost, std::min(left, milliseconds(1000)));
            if (LinkLost())
                return FailLinkLost("while monitoring");
        }
        return 0;
    }
    return Fail("quorvelctl: unknown command " + c);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "track")
        return RunTrackCommand(std::vector<std::string>(argv + 2, argv + argc));
    SOptions options;
    std::string error;
    switch (ParseArguments(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        case EParse::Help:
            std::fputs(Usage().c_str(), stdout);
            return 0;
        case EParse::Error:
            std::fprintf(stderr, "quorvelctl: %s\n\n%s", error.c_str(), Usage().c_str());
            return 2;
        case EParse::Run:
            break;
    }
    if (options.command == "settings")
        return RunSettings(options);
    if (options.command == "detect")
        return RunDetect(options);
    STrajectoryFile trajectory;
    if (options.command == "run-trajectory") {
        if (LoadTrajectoryFile(options, trajectory) != 0)
            return 1;
        CatchInterrupt();
    }

    CStderrBoxes boxes;
    Platform::SetMessageBoxService(&boxes);
    CQuorvel::SetLogCeiling(options.logCeiling);
    int result = 0;
    {
        CCtlOwner owner;
        CQuorvel quorvel(&owner);
        if (!options.logFile.empty()) {
            quorvel.SetLogfilePath(Platform::Utf8ToWide(options.logFile).c_str());
        }
        CQuorvelSettings settings;
        settings.nPort = options.port;
        settings.nBaud = options.baud;
        quorvel.SetSettings(settings);
        if (!quorvel.Connect()) {
            const std::string device = Platform::ComPortDevicePath(options.port).string();
            result = Fail("quorvelctl: cannot open COM" + std::to_string(options.port) +
                          (device.empty() ? std::string(" (no device for this number)")
                                          : " (" + device + ")"));
        } else {
            // The first status notification means the identification was accepted.
            result = WaitFor(
                owner, [&] { return owner.statusCount > 0; }, milliseconds(5000),
                "answer from the instrument");
            if (result == 0) {
                g_connected = &quorvel;
                result = options.command == "run-trajectory"
                             ? RunTrajectory(quorvel, owner, options, trajectory, boxes)
                             : RunCommand(quorvel, owner, options);
                g_connected = nullptr;
                // Whatever the command waited for, a failure reported on the way (a time-out
                // while monitoring, a port error box) is a failed command.
                if (result == 0 && (owner.errorCount != 0 || boxes.shown.load() != 0)) {
                    std::fprintf(stderr, "quorvelctl: %s\n",
                                 owner.errorCount != 0
                                     ? "the instrument reported a failure during the command"
                                     : "the serial port reported a failure during the command");
                    result = 1;
                }
            }
            quorvel.Disconnect();
        }
        owner.DestroyWindow();
    }
    Platform::SetMessageBoxService(nullptr);
    return result;
}
