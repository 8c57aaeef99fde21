#include "ConnectionSettingsDlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <array>
#include <cstdio>

#include "platform/MessageBox.h"

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

constexpr DWORD kBaudRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr const wchar_t* kCaption = L"Quorvel Connection Settings";

// A port whose device has a stable name that the port folder does not already lead to: only
// then is there anything to offer.
bool CanKeepNumber(const QuorvelDriver::PortDescription& port) {
    return !port.stableName.empty() && !port.fromPortFolder;
}

}  // namespace

CQuorvelConnectionSettingsDlg::CQuorvelConnectionSettingsDlg(QWidget* parent,
                                                             CPortServices services)
    : CCustomDialog(IDD, parent), m_services(WithDefaultPortServices(std::move(services))) {
    UseFramedBoxLook();
}

void CQuorvelConnectionSettingsDlg::BuildControls() {
    CreateFromTemplate(kConnectionTemplate, kConnectionItems);
}

bool CQuorvelConnectionSettingsDlg::OnInitDialog() {
    CCustomDialog::OnInitDialog();
    m_brWhite = QBrush(QColor(255, 255, 255));

    auto* ports = Item<QComboBox>(IDC_PORT);
    // The closed box is narrower than most descriptions: its tip shows the whole entry.
    connect(ports, &QComboBox::currentIndexChanged, ports,
            [ports] { ports->setToolTip(ports->currentText()); });
    for (const QuorvelDriver::PortDescription& port : m_services.describePorts())
        AddPort(port);
    ports->setCurrentIndex(ports->count() > 0 ? 0 : -1);
    const int stored = ports->findData(m_settings.nPort);
    if (stored >= 0)
        ports->setCurrentIndex(stored);

    auto* bauds = Item<QComboBox>(IDC_BAUD);
    for (DWORD baud : kBaudRates)
        bauds->addItem(QString::number(baud));
    bauds->setCurrentIndex(0);
    const int storedBaud = bauds->findText(QString::number(m_settings.nBaud));
    if (storedBaud >= 0)
        bauds->setCurrentIndex(storedBaud);
    return true;
}

int CQuorvelConnectionSettingsDlg::AddPort(const QuorvelDriver::PortDescription& port) {
    auto* ports = Item<QComboBox>(IDC_PORT);
    m_ports[port.port] = port;
    const QString label = QString::fromStdWString(QuorvelDriver::PortLabel(port));
    // The entry shows what the port is; its data is the COM number that is stored.
    int index = ports->findData(port.port);
    if (index >= 0) {
        ports->setItemText(index, label);
    } else {
        index = 0;
        while (index < ports->count() && ports->itemData(index).toUInt() < port.port)
            ++index;
        ports->insertItem(index, label, port.port);
    }
    ports->setItemData(index, label, Qt::ToolTipRole);
    FitPortPopup();
    return index;
}

void CQuorvelConnectionSettingsDlg::FitPortPopup() {
    // The closed box keeps the template's width; its open list is as wide as the longest
    // description so that adapters can be told apart.
    auto* ports = Item<QComboBox>(IDC_PORT);
    const QFontMetrics metrics(ports->view()->font());
    int widest = 0;
    for (int i = 0; i < ports->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(ports->itemText(i)));
    ports->view()->setMinimumWidth(widest + 2 * metrics.averageCharWidth() + 20);
}

unsigned CQuorvelConnectionSettingsDlg::SelectedPort() const {
    const auto* ports = Item<QComboBox>(IDC_PORT);
    if (ports->currentIndex() < 0)
        return 0;
    bool ok = false;
    const unsigned port = ports->currentData().toUInt(&ok);
    if (ok && port != 0)
        return port;
    // An entry without a number attached: its text begins with the COM name.
    unsigned value = 0;
    const QByteArray text = ports->currentText().toLatin1();
    return std::sscanf(text.constData(), "COM%u", &value) == 1 ? value : 0;
}

void CQuorvelConnectionSettingsDlg::TakeDetected(const QuorvelDriver::DetectedInstrument& found) {
    Item<QComboBox>(IDC_PORT)->setCurrentIndex(AddPort(found.port));
    auto* bauds = Item<QComboBox>(IDC_BAUD);
    const int baud = bauds->findText(QString::number(found.baud));
    if (baud >= 0)
        bauds->setCurrentIndex(baud);
}

void CQuorvelConnectionSettingsDlg::OnOK() {
    // With no port present nothing is selected: the stored port stays as it was rather
    // than turning into a number that names no port.
    const unsigned port = SelectedPort();
    if (port != 0)
        m_settings.nPort = port;
    unsigned value = 0;
    const QByteArray baud = Item<QComboBox>(IDC_BAUD)->currentText().toLatin1();
    if (std::sscanf(baud.constData(), "%u", &value) == 1)
        m_settings.nBaud = value;
    if (port != 0)
        OfferStableName(port);
    CCustomDialog::OnOK();
}

void CQuorvelConnectionSettingsDlg::OfferStableName(unsigned port) {
    const auto it = m_ports.find(port);
    if (it == m_ports.end() || !CanKeepNumber(it->second))
        return;
    const QuorvelDriver::PortDescription& description = it->second;
    const std::wstring com = L"COM" + std::to_wstring(port);
    const std::wstring question =
        com + L" is " + description.device +
        L" now. After a re-plug, or when another adapter appears, the system may give this "
        L"device another name, and " +
        com + L" would then lead elsewhere.\n\nKeep " + com +
        L" for this device? The port folder then gets a " + com + L" entry that leads to " +
        description.stableName + L".";
    if (Platform::ShowMessageBox(question, kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    const QuorvelDriver::StableNameResult result = m_services.recordStableName(port);
    std::wstring message = result.message;
    if (message.empty()) {
        message = result.outcome == QuorvelDriver::StableNameOutcome::Failed
                      ? com + L" could not be recorded in the port folder."
                      : com + L" is kept as it was.";
    }
    const bool failed = result.outcome == QuorvelDriver::StableNameOutcome::Failed;
    Platform::ShowMessageBox(message, kCaption,
                             MB_OK | (failed ? MB_ICONWARNING : MB_ICONINFORMATION));
}

void CQuorvelConnectionSettingsDlg::OnCommand(int id) {
    if (id != IDC_AUTO_DETECT)
        return;
    QuorvelDriver::DetectOptions options;
    options.bauds.assign(std::begin(kBaudRates), std::end(kBaudRates));
    // The rate the operator has selected (the stored one unless changed) is tried first.
    unsigned selected = 0;
    const QByteArray baud = Item<QComboBox>(IDC_BAUD)->currentText().toLatin1();
    options.preferredBaud =
        std::sscanf(baud.constData(), "%u", &selected) == 1 ? selected : m_settings.nBaud;
    CQuorvelAutoDetectDlg autoDetect(this, options, m_services);
    if (autoDetect.DoModal() == IDOK && autoDetect.Chosen())
        TakeDetected(*autoDetect.Chosen());
}

std::optional<ControlColors> CQuorvelConnectionSettingsDlg::OnCtlColor(int id, QWidget*) {
    if (id >= 2001 && id <= 2005)
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
