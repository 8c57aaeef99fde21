// Auto Detect and the port list of the connection settings dialog, against a scripted
// detection and port catalogue: the probe runs off the GUI thread and stops at once on
// Cancel, a found instrument fills port and baud, the port list shows what each port is and
// stores its number, and a port is recorded under its stable name only on the operator's yes.
#include <gtest/gtest.h>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "ConnectionSettingsDlg.h"
#include "GuiTestSupport.h"
#include "InstrumentSimulator.h"

namespace {

using namespace std::chrono_literals;
using QuorvelDriver::DetectedInstrument;
using QuorvelDriver::DetectOptions;
using QuorvelDriver::DetectProgress;
using QuorvelDriver::DetectReport;
using QuorvelDriver::PortDescription;
using QuorvelDriver::SkippedPort;
using QuorvelDriver::StableNameOutcome;
using QuorvelDriver::StableNameResult;
using Clock = std::chrono::steady_clock;

PortDescription Port(unsigned number, std::wstring device = L"", std::wstring description = L"",
                     std::wstring stableName = L"", bool fromPortFolder = false) {
    PortDescription port;
    port.port = number;
    port.device = std::move(device);
    port.description = std::move(description);
    port.stableName = std::move(stableName);
    port.fromPortFolder = fromPortFolder;
    return port;
}

DetectedInstrument Found(const PortDescription& port, DWORD baud, std::wstring trailing) {
    DetectedInstrument found;
    found.port = port;
    found.baud = baud;
    found.leading = L"Pelvarin";
    found.productId = L"QUORVEL4";
    found.trailing = std::move(trailing);
    return found;
}

// What a scripted detection does and what it saw. Shared with the detection object, which
// the dialog owns and runs on its worker.
struct DetectionScript {
    std::vector<unsigned> ports{1, 2, 3, 4};
    std::chrono::milliseconds perPort{40};  // time each port "takes"
    DetectReport report;                    // what a run that is not cancelled answers

    std::mutex mutex;
    std::condition_variable wake;
    bool cancelled = false;
    std::optional<DetectOptions> options;
    std::thread::id runThread;
    std::atomic<bool> running{false};
    std::atomic<bool> returned{false};
};

class CScriptedDetection : public IPortDetection {
public:
    CScriptedDetection(DetectionScript& script, const DetectOptions& options) : m_script(script) {
        std::lock_guard lock(script.mutex);
        script.options = options;
    }
    DetectReport Run(const std::function<void(const DetectProgress&)>& progress) override {
        {
            std::lock_guard lock(m_script.mutex);
            m_script.runThread = std::this_thread::get_id();
        }
        m_script.running = true;
        const auto total = static_cast<unsigned>(m_script.ports.size());
        DetectReport report;
        for (unsigned i = 0; i < total; ++i) {
            progress(DetectProgress{i, total, m_script.ports[i]});
            std::unique_lock lock(m_script.mutex);
            if (m_script.wake.wait_for(lock, m_script.perPort,
                                       [&] { return m_script.cancelled; })) {
                report.cancelled = true;
                break;
            }
            lock.unlock();
            progress(DetectProgress{i + 1, total, m_script.ports[i]});
        }
        if (!report.cancelled)
            report = m_script.report;
        m_script.returned = true;
        return report;
    }
    void Cancel() override {
        std::lock_guard lock(m_script.mutex);
        m_script.cancelled = true;
        m_script.wake.notify_all();
    }

private:
    DetectionScript& m_script;
};

struct StableNameLog {
    std::vector<unsigned> calls;
    StableNameResult answer{StableNameOutcome::Recorded, L"/dev/serial/by-id/usb-FTDI-if00",
                            L"COM33 now leads to /dev/serial/by-id/usb-FTDI-if00."};
};

CPortServices Services(DetectionScript& script, std::vector<PortDescription> present,
                       StableNameLog* stable = nullptr) {
    CPortServices services;
    services.describePorts = [present] { return present; };
    services.makeDetection = [&script](const DetectOptions& options) {
        return std::unique_ptr<IPortDetection>(new CScriptedDetection(script, options));
    };
    services.recordStableName = [stable](unsigned port) {
        if (!stable)
            return StableNameResult{};
        stable->calls.push_back(port);
        return stable->answer;
    };
    return services;
}

QListWidget* Results(CQuorvelAutoDetectDlg& dialog) {
    return dialog.Item<QListWidget>(CQuorvelAutoDetectDlg::IDC_RESULTS);
}

bool WaitForTheProbe(CQuorvelAutoDetectDlg& dialog) {
    return GuiTest::RunLoopUntil([&] { return !dialog.IsProbing(); }, 10000);
}

// The longest time the GUI thread's event loop went without serving a 1 ms timer from the
// moment `begin` is called from the loop until `busy` no longer holds.
std::chrono::microseconds LongestEventLoopGap(const std::function<void()>& begin,
                                              const std::function<bool()>& busy) {
    QTimer tick;
    tick.setInterval(1);
    tick.setTimerType(Qt::PreciseTimer);
    Clock::time_point last = Clock::now();
    std::chrono::microseconds longest{0};
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        longest =
            std::max(longest, std::chrono::duration_cast<std::chrono::microseconds>(now - last));
        last = now;
    });
    bool begun = false;
    tick.start();
    QTimer::singleShot(0, [&] {
        last = Clock::now();
        begin();
        begun = true;
    });
    GuiTest::RunLoopUntil([&] { return begun && !busy(); }, 20000);
    tick.stop();
    return longest;
}

struct AutoDetect : ::testing::Test {
    DetectionScript script;
    GuiTest::CRecordingBoxes boxes;
    void SetUp() override { Platform::SetMessageBoxService(&boxes); }
    void TearDown() override { Platform::SetMessageBoxService(nullptr); }
};

TEST_F(AutoDetect, ProbesOnAWorkerWhileTheDialogStaysResponsiveAndShowsProgress) {
    script.ports = {1, 2, 3, 4, 5, 6, 7, 8};
    script.perPort = 60ms;
    script.report.found = {Found(Port(5, L"/dev/ttyUSB0"), 115200, L"1.0")};
    CQuorvelAutoDetectDlg dialog(nullptr, {}, Services(script, {}));
    int largestProgress = 0;
    QString statusWhileProbing;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!dialog.IsCreated())
            return;
        largestProgress =
            std::max(largestProgress,
                     dialog.Item<QProgressBar>(CQuorvelAutoDetectDlg::IDC_PROGRESS)->value());
        if (dialog.IsProbing())
            statusWhileProbing = dialog.Item<QLabel>(CQuorvelAutoDetectDlg::IDC_STATUS)->text();
    });
    watch.start(20);
    // Opening the dialog starts the probe: the gap counts from there.
    const auto gap = LongestEventLoopGap(
        [&] {
            dialog.Create();
            dialog.show();
            EXPECT_FALSE(dialog.Item<QPushButton>(IDOK)->isEnabled());
        },
        [&] { return dialog.IsProbing(); });
    std::printf("[ measured ] longest event-loop gap while probing: %.1f ms\n",
                gap.count() / 1000.0);
    EXPECT_LT(gap, 200ms);  // a blocked GUI thread would show the whole probe, 480 ms
    EXPECT_NE(script.runThread, std::this_thread::get_id());
    EXPECT_TRUE(script.returned);
    EXPECT_GE(largestProgress, 4);
    EXPECT_TRUE(statusWhileProbing.contains("COM")) << statusWhileProbing.toStdString();
    // The worker's report reached the dialog.
    EXPECT_EQ(Results(dialog)->count(), 1);
    EXPECT_TRUE(dialog.Item<QPushButton>(IDOK)->isEnabled());
}

TEST_F(AutoDetect, CancelStopsTheProbeAtOnceAndClosesTheDialog) {
    script.perPort = 60s;  // a port that would never finish
    CQuorvelAutoDetectDlg dialog(nullptr, {}, Services(script, {}));
    Clock::time_point clicked;
    QTimer::singleShot(100, [&] {
        clicked = Clock::now();
        dialog.Item<QPushButton>(IDCANCEL)->click();
    });
    const int result = dialog.DoModal();
    const auto stopped = Clock::now() - clicked;
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(script.cancelled);
    EXPECT_TRUE(script.returned);
    EXPECT_FALSE(dialog.IsProbing());
    EXPECT_FALSE(dialog.Chosen().has_value());
    EXPECT_LT(stopped, 5s);  // only a hang fails this
    std::printf("[ measured ] Cancel to closed dialog: %.1f ms\n",
                std::chrono::duration<double, std::milli>(stopped).count());
}

TEST_F(AutoDetect, ClosingTheDialogWhileProbingEndsItsThread) {
    script.perPort = 60s;
    {
        CQuorvelAutoDetectDlg dialog(nullptr, {}, Services(script, {}));
        dialog.Create();  // builds the controls and starts the probe
        dialog.show();
        ASSERT_TRUE(GuiTest::RunLoopUntil([&] { return script.running.load(); }, 5000));
    }
    EXPECT_TRUE(script.cancelled);
    EXPECT_TRUE(script.returned);
    GuiTest::RunLoopFor(20);  // reports still queued for the gone dialog are dropped
}

TEST_F(AutoDetect, ListsTheInstrumentsAboveTheSkippedPortsAndHandsBackThePick) {
    const PortDescription com3 = Port(3, L"/dev/ttyUSB0", L"FT232R USB UART");
    const PortDescription com7 = Port(7, L"/dev/ttyACM0");
    script.report.found = {Found(com3, 115200, L"1.2"), Found(com7, 9600, L"SIM-1.0")};
    script.report.skipped = {{Port(1, L"/dev/ttyS0"), L"in use by another program"},
                             {Port(9, L"/dev/pts/4"), L"answers as \"GADGET9\""}};
    CQuorvelAutoDetectDlg dialog(nullptr, {}, Services(script, {}));
    dialog.Create();  // builds the controls and starts the probe
    dialog.show();
    ASSERT_TRUE(WaitForTheProbe(dialog));

    QListWidget* list = Results(dialog);
    ASSERT_EQ(list->count(), 4);
    // What came of the port first, then what the port is.
    EXPECT_EQ(list->item(0)->text(),
              QString::fromUtf8("COM3: Pelvarin, QUORVEL4, 1.2 at 115200 baud \u2014 /dev/ttyUSB0, "
                                "FT232R USB UART"));
    EXPECT_EQ(
        list->item(1)->text(),
        QString::fromUtf8("COM7: Pelvarin, QUORVEL4, SIM-1.0 at 9600 baud \u2014 /dev/ttyACM0"));
    EXPECT_TRUE(list->item(2)->text().contains("in use by another program"));
    EXPECT_TRUE(list->item(3)->text().contains("GADGET9"));
    // The skipped ports are greyed and cannot be picked.
    EXPECT_FALSE(list->item(2)->flags() & Qt::ItemIsEnabled);
    EXPECT_FALSE(list->item(3)->flags() & Qt::ItemIsSelectable);
    EXPECT_TRUE(dialog.Item<QLabel>(CQuorvelAutoDetectDlg::IDC_STATUS)->text().contains("2 ports"));

    // The first instrument is preselected, so OK is ready; a double-click picks another.
    EXPECT_TRUE(dialog.Item<QPushButton>(IDOK)->isEnabled());
    const QRect second = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(dialog.result(), IDOK);
    ASSERT_TRUE(dialog.Chosen().has_value());
    EXPECT_EQ(dialog.Chosen()->port.port, 7u);
    EXPECT_EQ(dialog.Chosen()->baud, 9600u);
}

TEST_F(AutoDetect, NothingFoundSaysSoWithTheReasons) {
    script.report.skipped = {{Port(1, L"/dev/ttyS0"), L"no answer"},
                             {Port(2, L"/dev/ttyS1"), L"not permitted"}};
    CQuorvelAutoDetectDlg dialog(nullptr, {}, Services(script, {}));
    dialog.Create();  // builds the controls and starts the probe
    dialog.show();
    ASSERT_TRUE(WaitForTheProbe(dialog));
    EXPECT_TRUE(dialog.Item<QLabel>(CQuorvelAutoDetectDlg::IDC_STATUS)
                    ->text()
                    .startsWith("No Quorvel answered on any of the 2 ports"));
    ASSERT_EQ(Results(dialog)->count(), 2);
    EXPECT_TRUE(Results(dialog)->item(1)->text().startsWith("COM2: not permitted"));
    EXPECT_FALSE(dialog.Item<QPushButton>(IDOK)->isEnabled());
    ASSERT_TRUE(dialog.isVisible());
    dialog.accept();  // the default button with nothing to pick does nothing
    EXPECT_TRUE(dialog.isVisible());
}

// The connection dialog with its Auto Detect button: the modal auto-detect dialog is
// driven from a timer as the operator would.
struct ConnectionAutoDetect : AutoDetect {
    std::unique_ptr<CQuorvelConnectionSettingsDlg> Open(std::vector<PortDescription> present,
                                                        unsigned port, unsigned baud,
                                                        StableNameLog* stable = nullptr) {
        auto dialog = std::make_unique<CQuorvelConnectionSettingsDlg>(
            nullptr, Services(script, std::move(present), stable));
        dialog->m_settings.nPort = port;
        dialog->m_settings.nBaud = baud;
        dialog->Create();
        return dialog;
    }
    // Presses Auto Detect and, once the probe has finished, `act` on the open dialog.
    static void AutoDetectThen(CQuorvelConnectionSettingsDlg& dialog,
                               std::function<void(CQuorvelAutoDetectDlg&)> act) {
        QTimer::singleShot(0, [act] {
            auto* detect = qobject_cast<CQuorvelAutoDetectDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(detect, nullptr);
            ASSERT_TRUE(WaitForTheProbe(*detect));
            act(*detect);
        });
        dialog.Item<QPushButton>(CQuorvelConnectionSettingsDlg::IDC_AUTO_DETECT)->click();
    }
};

TEST_F(ConnectionAutoDetect, APickedInstrumentFillsPortAndBaudAndOkStoresThem) {
    const PortDescription com40 = Port(40, L"/dev/ttyUSB7", L"CP2102 USB to UART");
    script.report.found = {Found(com40, 9600, L"2.0")};
    auto dialog = Open({Port(1, L"/dev/ttyS0"), Port(3, L"/dev/ttyS2")}, 1, 115200);
    auto* bauds = dialog->Item<QComboBox>(CQuorvelConnectionSettingsDlg::IDC_BAUD);
    bauds->setCurrentText("19200");  // the operator's current choice is tried first
    AutoDetectThen(*dialog, [](CQuorvelAutoDetectDlg& detect) { detect.accept(); });

    ASSERT_TRUE(script.options.has_value());
    EXPECT_EQ(script.options->preferredBaud, 19200u);
    EXPECT_EQ(script.options->bauds,
              (std::vector<DWORD>{2400, 4800, 9600, 19200, 38400, 57600, 115200}));
    auto* ports = dialog->Item<QComboBox>(CQuorvelConnectionSettingsDlg::IDC_PORT);
    // COM40 was not among the present ports: it is added in its place.
    ASSERT_EQ(ports->count(), 3);
    EXPECT_EQ(ports->currentIndex(), 2);
    EXPECT_EQ(ports->currentText(), QString::fromStdWString(QuorvelDriver::PortLabel(com40)));
    EXPECT_EQ(bauds->currentText(), "9600");
    dialog->accept();
    EXPECT_EQ(dialog->m_settings.nPort, 40u);
    EXPECT_EQ(dialog->m_settings.nBaud, 9600u);
}

TEST_F(ConnectionAutoDetect, CancelledAutoDetectLeavesTheChoiceAlone) {
    script.report.found = {Found(Port(40), 9600, L"2.0")};
    auto dialog = Open({Port(1), Port(3)}, 3, 57600);
    AutoDetectThen(*dialog, [](CQuorvelAutoDetectDlg& detect) { detect.reject(); });
    EXPECT_EQ(dialog->Item<QComboBox>(CQuorvelConnectionSettingsDlg::IDC_PORT)->count(), 2);
    dialog->accept();
    EXPECT_EQ(dialog->m_settings.nPort, 3u);
    EXPECT_EQ(dialog->m_settings.nBaud, 57600u);
}

TEST_F(ConnectionAutoDetect, PortListShowsWhatEachPortIsAndOkStoresItsNumber) {
    const std::vector<PortDescription> present{
        Port(1, L"/dev/ttyS0"), Port(33, L"/dev/ttyUSB0", L"FT232R USB UART (0403:6001)"),
        Port(65, L"/dev/ttyACM0", L"Arduino Uno")};
    auto dialog = Open(present, 33, 115200);
    auto* ports = dialog->Item<QComboBox>(CQuorvelConnectionSettingsDlg::IDC_PORT);
    ASSERT_EQ(ports->count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ports->itemText(i),
                  QString::fromStdWString(QuorvelDriver::PortLabel(present[i])));
        EXPECT_EQ(ports->itemData(i).toUInt(), present[i].port);
    }
    EXPECT_EQ(ports->currentIndex(), 1);
    EXPECT_TRUE(ports->currentText().startsWith("COM33"));
    EXPECT_TRUE(ports->currentText().contains("FT232R")) << ports->currentText().toStdString();
    // The closed box keeps the template's width; the open list and the tip show it all.
    EXPECT_EQ(ports->toolTip(), ports->currentText());
    EXPECT_GT(ports->view()->minimumWidth(),
              ports->view()->fontMetrics().horizontalAdvance(ports->itemText(1)));
    EXPECT_LT(ports->width(), ports->view()->minimumWidth());
    ports->setCurrentIndex(2);
    EXPECT_EQ(ports->toolTip(), ports->currentText());
    dialog->accept();
    EXPECT_EQ(dialog->m_settings.nPort, 65u);
}

TEST_F(ConnectionAutoDetect, StableNameIsRecordedOnlyOnTheOperatorsYes) {
    StableNameLog stable;
    const PortDescription adapter =
        Port(33, L"/dev/ttyUSB0", L"FT232R", L"/dev/serial/by-id/usb-FTDI-if00");
    boxes.answer = IDNO;
    auto declined = Open({adapter}, 33, 115200, &stable);
    declined->accept();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_NE(boxes.boxes[0].text.find(L"/dev/serial/by-id/usb-FTDI-if00"), std::wstring::npos);
    EXPECT_EQ(boxes.boxes[0].type & MB_YESNO, MB_YESNO);
    EXPECT_TRUE(stable.calls.empty());
    EXPECT_EQ(declined->m_settings.nPort, 33u);  // the choice itself is kept either way

    boxes.boxes.clear();
    boxes.answer = IDYES;
    auto accepted = Open({adapter}, 33, 115200, &stable);
    accepted->accept();
    EXPECT_EQ(stable.calls, std::vector<unsigned>{33});
    ASSERT_EQ(boxes.boxes.size(), 2u);  // the question, then what was done
    EXPECT_EQ(boxes.boxes[1].text, stable.answer.message);

    // A failure to write the port folder is said as a warning.
    boxes.boxes.clear();
    stable.answer = {StableNameOutcome::Failed, L"", L"The port folder is read-only."};
    auto failed = Open({adapter}, 33, 115200, &stable);
    failed->accept();
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].text, L"The port folder is read-only.");
    EXPECT_EQ(boxes.boxes[1].type & MB_ICONWARNING, MB_ICONWARNING);
}

TEST_F(ConnectionAutoDetect, NoQuestionWithoutAStableNameOrWhenThePortFolderNamesThePort) {
    StableNameLog stable;
    boxes.answer = IDYES;
    for (const PortDescription& port :
         {Port(1, L"/dev/ttyS0"),
          Port(33, L"/dev/ttyUSB0", L"FT232R", L"/dev/serial/by-id/usb-FTDI-if00", true)}) {
        auto dialog = Open({port}, port.port, 115200, &stable);
        dialog->accept();
        EXPECT_EQ(dialog->m_settings.nPort, port.port);
    }
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(stable.calls.empty());
}

TEST_F(ConnectionAutoDetect, AnInstrumentFoundOnAnAdapterIsOfferedItsStableName) {
    StableNameLog stable;
    boxes.answer = IDYES;
    script.report.found = {
        Found(Port(34, L"/dev/ttyUSB1", L"FT232R", L"/dev/serial/by-id/usb-FTDI-B-if00"), 115200,
              L"1.0")};
    auto dialog = Open({Port(1, L"/dev/ttyS0")}, 1, 115200, &stable);
    AutoDetectThen(*dialog, [](CQuorvelAutoDetectDlg& detect) { detect.accept(); });
    dialog->accept();
    EXPECT_EQ(dialog->m_settings.nPort, 34u);
    EXPECT_EQ(stable.calls, std::vector<unsigned>{34});
}

}  // namespace

namespace {

// The real detector and port catalogue: two simulated instruments and one other product on
// pseudo-terminals, each reachable through a COM<n> entry of the private port folder.
struct AutoDetectOnPseudoTerminals : ::testing::Test {
    std::vector<std::unique_ptr<quorvel::sim::CInstrumentSimulator>> simulators;
    GuiTest::CRecordingBoxes boxes;

    void SetUp() override {
        Platform::SetMessageBoxService(&boxes);
        Start(211, "Pelvarin,QUORVEL4,SIM-1.0");
        Start(212, "Pelvarin,QUORVEL4,SIM-2.0");
        Start(213, "Elsewhere,GADGET9,0.1");
    }
    void TearDown() override { Platform::SetMessageBoxService(nullptr); }
    void Start(int port, const std::string& identification) {
        quorvel::sim::SSimulatorOptions options;
        options.portDir = std::getenv("QUORVEL_PORT_DIR");
        options.comPort = port;
        options.replaceLink = true;
        options.model.identification = identification;
        auto simulator = std::make_unique<quorvel::sim::CInstrumentSimulator>();
        ASSERT_FALSE(simulator->Start(options).empty()) << simulator->LastError();
        simulators.push_back(std::move(simulator));
    }
};

TEST_F(AutoDetectOnPseudoTerminals, ListsExactlyTheTwoInstrumentsAndFillsTheConnection) {
    CQuorvelConnectionSettingsDlg dialog;  // the driver's own catalogue and detector
    dialog.m_settings.nPort = 213;
    dialog.m_settings.nBaud = 115200;
    dialog.Create();
    auto* ports = dialog.Item<QComboBox>(CQuorvelConnectionSettingsDlg::IDC_PORT);
    ASSERT_EQ(ports->currentData().toUInt(), 213u);
    EXPECT_TRUE(ports->currentText().startsWith("COM213 \u2014 /dev/pts/"))
        << ports->currentText().toStdString();

    std::vector<unsigned> found;
    std::vector<std::wstring> trailing;
    QStringList skipped;
    std::chrono::microseconds gap{0};
    QTimer::singleShot(0, [&] {
        auto* detect = qobject_cast<CQuorvelAutoDetectDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(detect, nullptr);
        gap = LongestEventLoopGap([] {}, [&] { return detect->IsProbing(); });
        ASSERT_FALSE(detect->IsProbing());
        for (const DetectedInstrument& instrument : detect->Report().found) {
            found.push_back(instrument.port.port);
            trailing.push_back(instrument.trailing);
            EXPECT_EQ(instrument.productId, L"QUORVEL4");
            EXPECT_EQ(instrument.baud, 115200u);
        }
        QListWidget* list = Results(*detect);
        for (int i = static_cast<int>(found.size()); i < list->count(); ++i)
            skipped << list->item(i)->text();
        // The second instrument, as the operator would pick it.
        ASSERT_GE(list->count(), 2);
        list->setCurrentRow(1);
        detect->accept();
    });
    dialog.Item<QPushButton>(CQuorvelConnectionSettingsDlg::IDC_AUTO_DETECT)->click();
    std::printf("[ measured ] longest event-loop gap while probing real ports: %.1f ms\n",
                gap.count() / 1000.0);
    EXPECT_LT(gap, 200ms);
    EXPECT_EQ(found, (std::vector<unsigned>{211, 212}));
    EXPECT_EQ(trailing, (std::vector<std::wstring>{L"SIM-1.0", L"SIM-2.0"}));
    EXPECT_TRUE(skipped.filter("COM213").join("").contains("GADGET9"))
        << skipped.join("\n").toStdString();
    EXPECT_EQ(ports->currentData().toUInt(), 212u);
    dialog.accept();
    EXPECT_EQ(dialog.m_settings.nPort, 212u);
    EXPECT_TRUE(boxes.boxes.empty());  // a pseudo-terminal has no stable name to offer
}

}  // namespace
