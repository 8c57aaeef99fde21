#include "DetectCommand.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "Console.h"
#include "core/PortDetector.h"
#include "core/QuorvelSettings.h"
#include "platform/TextConvert.h"
#include "settings/SettingsStorageRegistry.h"

namespace quorvelctl {

namespace {

using namespace QuorvelDriver;

constexpr int kExitInterrupted = 130;
const wchar_t kDeviceSettingsKey[] =
    L"Software\\Pelvarin\\Quorvel Control Software\\Quorvel Settings";

std::string Utf8(const std::wstring& text) {
    return Platform::WideToUtf8(Platform::PrintableText(text, 200));
}

// The rate the program would connect at: the stored one (115200 when nothing is stored).
DWORD StoredBaud() {
    CQuorvelSettings stored;
    Zezezezo::CSettingsStorageRegistry storage(kDeviceSettingsKey);
    stored.Load(&storage);
    return stored.nBaud;
}

std::string ComName(const PortDescription& port) {
    return "COM" + std::to_string(port.port);
}

std::string DeviceOf(const PortDescription& port) {
    return port.device.empty() ? std::string("-") : Utf8(port.device);
}

}  // namespace

int RunDetect(const SOptions& options) {
    DetectOptions detect;
    detect.ports = options.ports;
    detect.preferredBaud = options.baudGiven ? options.baud : StoredBaud();
    if (options.timeoutS) {
        detect.replyDeadline =
            std::chrono::milliseconds(static_cast<long long>(*options.timeoutS * 1000));
    }
    CatchInterrupt();

    // Progress redraws one line, only where someone watches it.
    const bool showProgress = IsTerminal(stderr);
    CPortDetector detector(detect);
    DetectReport report;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        report = detector.Run([showProgress](const DetectProgress& p) {
            if (showProgress) {
                std::fprintf(stderr, "\rasking COM%-3u  %u of %u ports done ", p.current, p.done,
                             p.total);
                std::fflush(stderr);
            }
        });
        finished = true;
    });
    while (!finished.load()) {
        if (Interrupted())
            detector.Cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
    if (showProgress)
        std::fprintf(stderr, "\r%-40s\r", "");
    if (report.cancelled)
        return kExitInterrupted;

    for (const DetectedInstrument& found : report.found) {
        std::string line = ComName(found.port) + "  " + std::to_string(found.baud) + "  " +
                           DeviceOf(found.port) + "  " + Utf8(found.productId) + "  " +
                           Utf8(found.leading) + "," + Utf8(found.trailing);
        if (!found.port.description.empty())
            line += "  " + Utf8(found.port.description);
        std::printf("%s\n", line.c_str());
    }
    if (options.all) {
        for (const SkippedPort& skipped : report.skipped) {
            std::printf("%s  -  %s  skipped: %s\n", ComName(skipped.port).c_str(),
                        DeviceOf(skipped.port).c_str(), Utf8(skipped.reason).c_str());
        }
    }
    std::fflush(stdout);
    if (report.found.empty()) {
        const std::size_t asked = report.skipped.size();
        std::fprintf(stderr, "quorvelctl detect: no Quorvel found on %zu port%s%s\n", asked,
                     asked == 1 ? "" : "s",
                     options.all || asked == 0 ? "" : " (--all says why for each)");
        return 1;
    }
    return 0;
}

}  // namespace quorvelctl
