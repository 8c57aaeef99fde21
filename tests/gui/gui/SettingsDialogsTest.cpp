// The connection settings dialog (port list from the probe, baud list, OK and Cancel), the
// auto-detect dialog's frame, the application settings dialog and the About box's version text.
#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "AboutDlg.h"
#include "AppSettingsDlg.h"
#include "ConnectionSettingsDlg.h"
#include "GuiTestSupport.h"
#include "ProgramLog.h"
#include "VersionInfo.h"

namespace {

// The present ports as the catalogue gives them, by number only.
CPortServices PresentPorts(const std::vector<unsigned>& numbers) {
    std::vector<QuorvelDriver::PortDescription> present;
    for (unsigned number : numbers) {
        QuorvelDriver::PortDescription port;
        port.port = number;
        present.push_back(port);
    }
    CPortServices services;
    services.describePorts = [present] { return present; };
    return services;
}

// The port an entry stands for (its item data) and that its text begins with its COM name.
unsigned PortOf(QComboBox* ports, int index) {
    const unsigned number = ports->itemData(index).toUInt();
    EXPECT_TRUE(ports->itemText(index).startsWith(QStringLiteral("COM%1").arg(number)))
        << ports->itemText(index).toStdString();
    return number;
}

QComboBox* Combo(CCustomDialog& d, int id) {
    return d.Item<QComboBox>(id);
}

struct ConnectionDialog : ::testing::Test {
    std::unique_ptr<CQuorvelConnectionSettingsDlg> Open(unsigned port, unsigned baud,
                                                        std::vector<unsigned> present) {
        auto dialog =
            std::make_unique<CQuorvelConnectionSettingsDlg>(nullptr, PresentPorts(present));
        dialog->m_settings.nPort = port;
        dialog->m_settings.nBaud = baud;
        dialog->Create();
        return dialog;
    }
};

TEST_F(ConnectionDialog, ListsPresentPortsAndTheSevenBaudRates) {
    auto dialog = Open(3, 9600, {1, 3, 10});
    QComboBox* ports = Combo(*dialog, 2001);
    ASSERT_EQ(ports->count(), 3);
    EXPECT_EQ(PortOf(ports, 0), 1u);
    EXPECT_EQ(PortOf(ports, 2), 10u);
    EXPECT_EQ(PortOf(ports, ports->currentIndex()), 3u);
    QComboBox* bauds = Combo(*dialog, 2002);
    ASSERT_EQ(bauds->count(), 7);
    EXPECT_EQ(bauds->itemText(0), "2400");
    EXPECT_EQ(bauds->itemText(6), "115200");
    EXPECT_EQ(bauds->currentText(), "9600");
    EXPECT_EQ(dialog->windowTitle(), "Quorvel Connection Settings");
}

TEST_F(ConnectionDialog, StoredPortOneIsNotConfusedWithPortTen) {
    auto dialog = Open(1, 115200, {1, 10});
    EXPECT_EQ(PortOf(Combo(*dialog, 2001), Combo(*dialog, 2001)->currentIndex()), 1u);
}

TEST_F(ConnectionDialog, MissingPortAndUnlistedBaudFallBackToTheFirstEntries) {
    auto dialog = Open(7, 1200, {2, 4});
    EXPECT_EQ(PortOf(Combo(*dialog, 2001), Combo(*dialog, 2001)->currentIndex()), 2u);
    EXPECT_EQ(Combo(*dialog, 2002)->currentText(), "2400");
    dialog->accept();
    EXPECT_EQ(dialog->result(), IDOK);
    EXPECT_EQ(dialog->m_settings.nPort, 2u);
    EXPECT_EQ(dialog->m_settings.nBaud, 2400u);
}

TEST_F(ConnectionDialog, OkWithNoPortPresentKeepsTheStoredPort) {
    auto dialog = Open(5, 57600, {});
    EXPECT_EQ(Combo(*dialog, 2001)->count(), 0);
    dialog->accept();
    EXPECT_EQ(dialog->m_settings.nPort, 5u);
    EXPECT_EQ(dialog->m_settings.nBaud, 57600u);
}

TEST_F(ConnectionDialog, OnlyItsFiveControlsAreBlackOnWhite) {
    auto dialog = Open(1, 115200, {1});
    for (int id : {2001, 2002, 2003, 2004, 2005}) {
        const auto colors = dialog->ColorsOf(id);
        ASSERT_TRUE(colors.has_value()) << id;
        EXPECT_EQ(colors->background, QColor(Qt::white));
    }
    EXPECT_FALSE(dialog->ColorsOf(IDOK).has_value());
}

TEST(ConnectionDialogRun, CancelHandsBackTheValuesPassedIn) {
    CQuorvelSettings settings;
    settings.nPort = 9;
    settings.nBaud = 4800;
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    EXPECT_EQ(RunConnectionSettingsDlg(settings), IDCANCEL);
    EXPECT_EQ(settings.nPort, 9u);
    EXPECT_EQ(settings.nBaud, 4800u);
}

// A detection that finds nothing at once.
class CNoPorts : public IPortDetection {
public:
    QuorvelDriver::DetectReport Run(
        const std::function<void(const QuorvelDriver::DetectProgress&)>&) override {
        return {};
    }
    void Cancel() override {}
};

TEST(AutoDetectDialog, KeepsItsCaptionAndButtonsAndSaysWhatItFound) {
    CPortServices services;
    services.makeDetection = [](const QuorvelDriver::DetectOptions&) {
        return std::unique_ptr<IPortDetection>(new CNoPorts);
    };
    CQuorvelAutoDetectDlg dialog(nullptr, {}, services);
    dialog.Create();
    ASSERT_TRUE(GuiTest::RunLoopUntil([&] { return !dialog.IsProbing(); }, 5000));
    EXPECT_EQ(dialog.Item<QLabel>(2008)->text(), "No serial port is present.");
    EXPECT_EQ(dialog.windowTitle(), "Auto Detect Quorvel");
    EXPECT_EQ(dialog.Item<QPushButton>(IDOK)->text(), "OK");
    EXPECT_EQ(dialog.Item<QPushButton>(IDCANCEL)->text(), "Cancel");
    EXPECT_TRUE(dialog.ColorsOf(2008).has_value());
}

struct AppSettingsDialog : ::testing::Test {
    CQuorvelAppSettings settings;
    std::unique_ptr<CAppSettingsDlg> Open() {
        auto dialog = std::make_unique<CAppSettingsDlg>(settings, ProgramLog(), nullptr);
        dialog->Create();
        return dialog;
    }
};

TEST_F(AppSettingsDialog, OpensOnTheStoredChoices) {
    settings.nLogCeiling = 7;
    settings.nAppStyle = 2;
    auto dialog = Open();
    EXPECT_EQ(Combo(*dialog, 1005)->currentText(), "+ Debug");
    EXPECT_EQ(Combo(*dialog, 1004)->currentText(), "Office 2007 (Silver)");
    settings.nLogCeiling = 3;  // any other ceiling opens on "Normal"
    EXPECT_EQ(Combo(*Open(), 1005)->currentText(), "Normal");
    settings.nAppStyle = 9;  // outside the list: no entry selected
    EXPECT_EQ(Combo(*Open(), 1004)->currentIndex(), -1);
}

TEST_F(AppSettingsDialog, OkWritesTheChoicesAndKeepsEveryOtherMember) {
    settings.nLogCeiling = 3;
    settings.dLatitude = 47.5;
    auto dialog = Open();
    Combo(*dialog, 1004)->setCurrentIndex(4);
    dialog->accept();
    EXPECT_EQ(dialog->result(), IDOK);
    EXPECT_EQ(dialog->Settings().nAppStyle, 4);
    EXPECT_EQ(dialog->Settings().nLogCeiling, 6);  // "Normal"
    EXPECT_EQ(dialog->Settings().dLatitude, 47.5);
}

TEST_F(AppSettingsDialog, OnlyStyleLoggingAndOpenLogFolderAreColoured) {
    auto dialog = Open();
    EXPECT_TRUE(dialog->ColorsOf(1002).has_value());
    EXPECT_TRUE(dialog->ColorsOf(1003).has_value());
    EXPECT_TRUE(dialog->ColorsOf(1051).has_value());
    EXPECT_FALSE(dialog->ColorsOf(1004).has_value());
    EXPECT_FALSE(dialog->ColorsOf(IDOK).has_value());
}

TEST(VersionText, CutBeforeTheLastDot) {
    EXPECT_EQ(VersionTextFrom(L"0.9.0.0"), L"v0.9.0");
    EXPECT_EQ(VersionTextFrom(L"1.2.3.4 \t"), L"v1.2.3");
    EXPECT_EQ(VersionTextFrom(L"7"), L"v");
    EXPECT_EQ(VersionTextFrom(L""), L"v");
    EXPECT_EQ(ReadVersionString(L"NoSuchKey"), L"");
}

TEST(VersionText, AboutBoxShowsTheVersionOfThisBuild) {
    EXPECT_EQ(ReadVersionString(L"FileVersion"), L"0.9.0.0");
    CAboutDlg about(nullptr);
    about.Create();
    EXPECT_EQ(about.Item<QLabel>(1091)->text(), "v0.9.0");
    EXPECT_EQ(about.windowTitle(), "About Quorvel");
}

}  // namespace
