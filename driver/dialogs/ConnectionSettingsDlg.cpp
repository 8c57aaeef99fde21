#include "ConnectionSettingsDlg.h"

#include <QApplication>
#include <QComboBox>
#include <array>
#include <cstdio>

#include "core/Quorvel.h"

namespace {

constexpr DlgTemplate kConnectionTemplate{CQuorvelConnectionSettingsDlg::IDD,
                                          L"Quorvel Connection Settings", 156, 111, false};
constexpr std::array<DlgItemTemplate, 7> kConnectionItems{{
    {2003, DlgKind::PushButton, L"Auto Detect", 12, 12, 132, 14},
    {2005, DlgKind::Static, L"Port:", 14, 39, 24, 8},
    {2001, DlgKind::DropList, nullptr, 65, 37, 78, 30},
    {2004, DlgKind::Static, L"Baud:", 14, 62, 24, 8},
    {2002, DlgKind::DropList, nullptr, 65, 61, 78, 30},
    {IDOK, DlgKind::DefPushButton, L"OK", 45, 90, 50, 14},
    {IDCANCEL, DlgKind::PushButton, L"Cancel", 100, 90, 50, 14},
}};

constexpr DlgTemplate kAutoDetectTemplate{CQuorvelAutoDetectDlg::IDD, L"Auto Detect Quorvel", 330,
                                          117, false};
constexpr std::array<DlgItemTemplate, 3> kAutoDetectItems{{
    {IDOK, DlgKind::DefPushButton, L"OK", 216, 96, 50, 14},
    {IDCANCEL, DlgKind::PushButton, L"Cancel", 273, 96, 50, 14},
    {2008, DlgKind::StaticCenter, L"NOT IMPLEMENTED", 133, 41, 63, 8},
}};

constexpr const char* kBaudRates[] = {"2400", "4800", "9600", "19200", "38400", "57600", "115200"};

std::vector<unsigned> DeviceProbe() {
    const std::vector<unsigned int> ports = CQuorvel::EnumerateSerialPorts();
    return std::vector<unsigned>(ports.begin(), ports.end());
}

}  // namespace

CQuorvelConnectionSettingsDlg::CQuorvelConnectionSettingsDlg(QWidget* parent,
                                                             std::vector<unsigned> (*probe)())
    : CCustomDialog(IDD, parent), m_probe(probe ? probe : DeviceProbe) {
    UseFramedBoxLook();
}

void CQuorvelConnectionSettingsDlg::BuildControls() {
    CreateFromTemplate(kConnectionTemplate, kConnectionItems);
}

bool CQuorvelConnectionSettingsDlg::OnInitDialog() {
    CCustomDialog::OnInitDialog();
    m_brWhite = QBrush(QColor(255, 255, 255));

    auto* ports = Item<QComboBox>(2001);
    for (unsigned port : m_probe())
        ports->addItem(QStringLiteral("COM%1").arg(port));
    ports->setCurrentIndex(ports->count() > 0 ? 0 : -1);
    const int stored = ports->findText(QStringLiteral("COM%1").arg(m_settings.nPort));
    if (stored >= 0)
        ports->setCurrentIndex(stored);

    auto* bauds = Item<QComboBox>(2002);
    for (const char* baud : kBaudRates)
        bauds->addItem(QString::fromLatin1(baud));
    bauds->setCurrentIndex(0);
    const int storedBaud = bauds->findText(QString::number(m_settings.nBaud));
    if (storedBaud >= 0)
        bauds->setCurrentIndex(storedBaud);
    return true;
}

void CQuorvelConnectionSettingsDlg::OnOK() {
    // With no port present nothing is selected: the stored port stays as it was rather
    // than turning into a number that names no port.
    unsigned value = 0;
    const QByteArray port = Item<QComboBox>(2001)->currentText().toLatin1();
    if (std::sscanf(port.constData(), "COM%u", &value) == 1)
        m_settings.nPort = value;
    const QByteArray baud = Item<QComboBox>(2002)->currentText().toLatin1();
    if (std::sscanf(baud.constData(), "%u", &value) == 1)
        m_settings.nBaud = value;
    CCustomDialog::OnOK();
}

void CQuorvelConnectionSettingsDlg::OnCommand(int id) {
    if (id == 2003) {
        CQuorvelAutoDetectDlg autoDetect(this);
        autoDetect.DoModal();
    }
}

std::optional<ControlColors> CQuorvelConnectionSettingsDlg::OnCtlColor(int id, QWidget*) {
    if (id >= 2001 && id <= 2005)
        return ControlColors{QColor(0, 0, 0), m_brWhite.color()};
    return std::nullopt;
}

CQuorvelAutoDetectDlg::CQuorvelAutoDetectDlg(QWidget* parent) : CCustomDialog(IDD, parent) {
    UseFramedBoxLook();
}

void CQuorvelAutoDetectDlg::BuildControls() {
    CreateFromTemplate(kAutoDetectTemplate, kAutoDetectItems);
}

bool CQuorvelAutoDetectDlg::OnInitDialog() {
    CCustomDialog::OnInitDialog();
    m_brWhite = QBrush(QColor(255, 255, 255));
    return true;
}

std::optional<ControlColors> CQuorvelAutoDetectDlg::OnCtlColor(int id, QWidget*) {
    if (id == 2008)
        return ControlColors{QColor(0, 0, 0), m_brWhite.color()};
    return std::nullopt;
}

int RunConnectionSettingsDlg(CQuorvelSettings& settings) {
    // No parent: the application's main window owns the box, as the platform does it.
    CQuorvelConnectionSettingsDlg dialog(QApplication::activeWindow());
    dialog.m_settings = settings;
    const int result = dialog.DoModal();
    settings = dialog.m_settings;
    return result;
}
