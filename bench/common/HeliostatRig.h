// The set-up the GUI-thread benchmarks around the heliostat panel share (header-only; the
// program links quorvel_heliostat_panel and quorvel_simulator): a manual clock at 04:00 UTC
// on midsummer day, the simulated instrument at 115200 baud on a pseudo-terminal, the device
// object, a site on the Greenwich meridian at 45 degrees north, and the heliostat panel with
// the window 05:00 to 16:39 (41 940 s: exactly 700 points 60 s apart). GUI thread only.
#pragma once

#include <QCheckBox>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "HeliostatControlsDlg.h"
#include "InstrumentSimulator.h"
#include "core/Quorvel.h"
#include "platform/Clock.h"

namespace QuorvelBench {

// Runs the event loop (sleeping in it when there is nothing to do) until `done` or the
// timeout.
inline bool RunEventLoopUntil(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

class CHeliostatRig {
public:
    static constexpr std::int64_t kStartUtcSeconds = 1'782'014'400;  // 2026-06-21 04:00 UTC

    // Sets TZ to UTC. Create it after the QApplication (it owns a panel). `owner` receives the
    // device's notifications; `folder` names the port folder when QUORVEL_PORT_DIR is not set.
    CHeliostatRig(CWnd& owner, int port, const char* folder)
        : clock(static_cast<Platform::Ticks>(kStartUtcSeconds + 11'644'473'600LL) *
                Platform::kTicksPerSecond),
          m_owner(owner),
          m_port(port),
          m_folder(folder) {
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
    }
    ~CHeliostatRig() {
        panel.reset();
        if (device)
            device->Disconnect();
        device.reset();
        simulator.Stop();
        Platform::SetClock(nullptr);
    }

    // Simulator, device, panel and connection; false (with a line on standard error) when
    // any of them fails.
    bool Start() {
        Platform::SetClock(&clock);
        const char* portDir = std::getenv("QUORVEL_PORT_DIR");
        const std::string dir =
            portDir ? portDir : (std::filesystem::temp_directory_path() / m_folder).string();
        std::filesystem::create_directories(dir);
        quorvel::sim::SSimulatorOptions options;
        options.portDir = dir;
        options.comPort = m_port;
        options.replaceLink = true;
        options.baud = 115200;
        if (simulator.Start(options).empty()) {
            std::fprintf(stderr, "simulator: %s\n", simulator.LastError().c_str());
            return false;
        }
        ::setenv("QUORVEL_PORT_DIR", dir.c_str(), 1);

        device = std::make_unique<CQuorvel>(&m_owner);
        CQuorvelSettings settings = device->GetSettings();
        settings.nPort = static_cast<decltype(settings.nPort)>(m_port);
        device->SetSettings(settings);
        appSettings.dLongitude = 0.0;
        appSettings.dLatitude = 45.0;
        appSettings.dPressure = 1013.0;
        appSettings.dTemperature = 20.0;
        context.device = [this] { return device.get(); };
        context.settings = [this] { return &appSettings; };
        context.alignment = [this] { return &alignment; };

        panel = std::make_unique<CHeliostatControlsDlg>(context, nullptr);
        panel->Create();
        panel->Item<QCheckBox>(CHeliostatControlsDlg::IDC_AUTO_RUN)->setChecked(false);
        panel->SetStartTime(SYSTEMTIME{2026, 6, 0, 21, 5, 0, 0, 0});
        panel->SetStopTime(SYSTEMTIME{2026, 6, 0, 21, 16, 39, 0, 0});

        if (device->Connect() != 1 ||
            !RunEventLoopUntil([&] { return device->IsConnected() != 0; }, 5000)) {
            std::fprintf(stderr, "could not connect to the simulated instrument\n");
            return false;
        }
        RunEventLoopUntil([&] { return device->GetStatus(1).test(IDLE); }, 5000);
        return true;
    }

    Platform::CManualClock clock;
    quorvel::sim::CInstrumentSimulator simulator;
    std::unique_ptr<CQuorvel> device;
    CQuorvelAppSettings appSettings;
    Suntrack::CAlignmentModel alignment;
    COperatorContext context;
    std::unique_ptr<CHeliostatControlsDlg> panel;

private:
    CWnd& m_owner;
    int m_port;
    const char* m_folder;
};

}  // namespace QuorvelBench
