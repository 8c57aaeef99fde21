// quorvelctl: drives the Quorvel from the command line through QuorvelDll (see --help).
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "CtlOptions.h"
#include "CtlOwner.h"
#include "core/Quorvel.h"
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
class CStderrBoxes : public Platform::IMessageBoxService {
public:
    int Show(const std::wstring& text, const std::wstring& caption, UINT /*type*/) override {
        std::fprintf(stderr, "%s: %s\n", Platform::WideToUtf8(caption).c_str(),
                     Platform::WideToUtf8(text).c_str());
        return IDOK;
    }
};

milliseconds Limit(const SOptions& options, double defaultS) {
    return milliseconds(
        static_cast<long long>((options.timeoutS ? *options.timeoutS : defaultS) * 1000));
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    return 1;
}

int FailWithOperatorText(const CCtlOwner& owner) {
    return Fail(Platform::WideToUtf8(owner.lastErrorText));
}

// Pumps until `done` or an error notification; 0 on done, 1 otherwise.
int WaitFor(CCtlOwner& owner, const std::function<bool()>& done, milliseconds limit,
            const std::string& what) {
    const int errorsBefore = owner.errorCount;
    const bool finished = Platform::CMessageLoop::RunUntil(
        [&] { return owner.errorCount != errorsBefore || done(); }, limit);
    if (owner.errorCount != errorsBefore)
        return FailWithOperatorText(owner);
    if (!finished) {
        return Fail("quorvelctl: no " + what + " within " +
                    std::to_string(limit.count() / 1000.0).substr(0, 6) + " s");
    }
    return 0;
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
        quorvel.Home();
        return WaitFor(
            owner, [&] { return owner.homeFinishedCount > before; }, Limit(options, 300),
            "end of homing");
    }
    if (c == "move-abs" || c == "move-rel") {
        int accepted = 0;
        if (c == "move-rel") {
            accepted = quorvel.MoveRel(n[0], n[1], n[2]);
        } else if (n.size() == 3) {
            accepted = quorvel.MoveAbs(n[0], n[1], n[2]);
        } else {
            accepted = quorvel.MoveAbs(n[0], n[1]);
        }
        if (!accepted)
            return Refused(c);
        // "!P:1" clears MOVING with a status notification.
        const int before = owner.statusCount;
        return WaitFor(
            owner, [&] { return owner.statusCount > before && !owner.lastStatus.test(MOVING); },
            Limit(options, 300), "end of the move");
    }
    if (c == "jog") {
        if (!quorvel.MoveVel(n[0], n[1]))
            return Refused(c);
        const int errorsBefore = owner.errorCount;
        Platform::CMessageLoop::RunUntil([&] { return owner.errorCount != errorsBefore; },
                                         milliseconds(static_cast<long long>(options.forS * 1000)));
        if (owner.errorCount != errorsBefore)
            return FailWithOperatorText(owner);
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
            Platform::CMessageLoop::RunFor(std::min(left, milliseconds(1000)));
        }
        return 0;
    }
    return Fail("quorvelctl: unknown command " + c);
}

}  // namespace

int main(int argc, char** argv) {
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
            if (result == 0)
                result = RunCommand(quorvel, owner, options);
            quorvel.Disconnect();
        }
        owner.DestroyWindow();
    }
    Platform::SetMessageBoxService(nullptr);
    return result;
}
