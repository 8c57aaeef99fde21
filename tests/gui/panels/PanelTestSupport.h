// Test peers for the panel tests: a recording message-box service, the GUI thread's message
// pump, and a device object connected to the simulated instrument on COM5 of the test's
// private port folder.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QLocale>
#include <QTest>
#include <clocale>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "InstrumentSimulator.h"
#include "LocaleNotation.h"
#include "OperatorContext.h"
#include "QtMessagePump.h"
#include "core/Quorvel.h"
#include "platform/MessageBox.h"
#include "platform/Wnd.h"

namespace PanelTest {

struct ShownBox {
    std::wstring text;
    UINT type;
};

class CRecordingBoxes final : public Platform::IMessageBoxService {
public:
    int answer = IDOK;
    std::vector<ShownBox> shown;
    int Show(const std::wstring& text, const std::wstring&, UINT type) override {
        shown.push_back({text, type});
        return answer;
    }
};

// Runs Qt's loop (which also handles the window messages) until `done` or the timeout.
inline bool RunUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    return QTest::qWaitFor(done, timeoutMs);
}

// The kill-focus notification, as when the operator tabs away.
inline void LeaveFocus(QWidget* w) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w, &out);
}

// Replaces the text as the operator would: select all and type.
inline void TypeInto(QWidget* edit, const QString& text) {
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

using GuiTestText::Shown;

// A desktop in another locale for one test, as QApplication sets it up: the C library's
// locale and Qt's default one. Controls made while it lives take its notation.
class CScopedDesktopLocale {
public:
    explicit CScopedDesktopLocale(const char* name)
        : m_oldC(std::setlocale(LC_ALL, nullptr)), m_oldQt(QLocale()) {
        m_ok = std::setlocale(LC_ALL, name) != nullptr;
        if (m_ok)
            QLocale::setDefault(QLocale(QString::fromLatin1(name).section(QLatin1Char('.'), 0, 0)));
    }
    ~CScopedDesktopLocale() {
        std::setlocale(LC_ALL, m_oldC.c_str());
        QLocale::setDefault(m_oldQt);
    }
    CScopedDesktopLocale(const CScopedDesktopLocale&) = delete;
    CScopedDesktopLocale& operator=(const CScopedDesktopLocale&) = delete;
    // False when the locale is not installed.
    bool Ok() const { return m_ok; }

private:
    std::string m_oldC;
    QLocale m_oldQt;
    bool m_ok = false;
};

// The device's owner window; tests route its notifications as the view would.
class CRoutingOwner final : public CWnd {
public:
    std::function<void(UINT, WPARAM, LPARAM)> route;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (route)
            route(message, wParam, lParam);
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class DeviceFixture : public ::testing::Test {
protected:
    static constexpr int kPort = 5;

    void SetUp() override {
        pump = std::make_unique<CQtMessagePump>();
        Platform::SetMessageBoxService(&boxes);
        device = std::make_unique<CQuorvel>(&owner);
        CQuorvelSettings settings = device->GetSettings();
        settings.nPort = kPort;
        device->SetSettings(settings);
        context.device = [this] { return device.get(); };
        context.settings = [this] { return &appSettings; };
        context.alignment = [this] { return &alignment; };
    }
    void TearDown() override {
        device.reset();
        simulator.reset();
        Platform::SetMessageBoxService(nullptr);
        pump.reset();
    }

    // Starts the simulated instrument and connects to it.
    void Connect(double timeScale = 1.0, unsigned baud = 0) {
        simulator = std::make_unique<quorvel::sim::CInstrumentSimulator>();
        quorvel::sim::SSimulatorOptions options;
        options.portDir = std::getenv("QUORVEL_PORT_DIR");
        options.comPort = kPort;
        options.replaceLink = true;
        options.timeScale = timeScale;
        options.baud = baud;
        ASSERT_FALSE(simulator->Start(options).empty()) << simulator->LastError();
        ASSERT_EQ(device->Connect(), 1);
        ASSERT_TRUE(RunUntil([&] { return device->IsConnected() != 0; }));
        ASSERT_TRUE(RunUntil([&] { return device->GetStatus(1).test(IDLE); }));
    }
    // Command lines the instrument received, in order.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const auto& entry : simulator->CommandLog())
            lines.push_back(entry.text);
        return lines;
    }
    bool Received(const std::string& line, int timeoutMs = 5000) const {
        return RunUntil(
            [&] {
                for (const auto& l : Lines())
                    if (l == line)
                        return true;
                return false;
            },
            timeoutMs);
    }

    std::unique_ptr<CQtMessagePump> pump;
    CRecordingBoxes boxes;
    CRoutingOwner owner;
    std::unique_ptr<quorvel::sim::CInstrumentSimulator> simulator;
    std::unique_ptr<CQuorvel> device;
    CQuorvelAppSettings appSettings;
    Suntrack::CAlignmentModel alignment;
    COperatorContext context;
};

}  // namespace PanelTest
