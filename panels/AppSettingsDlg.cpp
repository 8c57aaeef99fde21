#include "AppSettingsDlg.h"

#include <QComboBox>
#include <array>
#include <filesystem>

#include "logging/Logger.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

namespace {

constexpr DlgTemplate kTemplate{CAppSettingsDlg::IDD, L"Application Settings", 191, 93, false};
constexpr std::array<DlgItemTemplate, 7> kItems{{
    {1002, DlgKind::Static, L"Style:", 17, 20, 40, 8},
    {1004, DlgKind::DropList, nullptr, 62, 17, 112, 80},
    {1003, DlgKind::Static, L"Logging:", 17, 38, 40, 8},
    {1005, DlgKind::DropList, nullptr, 62, 35, 112, 40},
    {1051, DlgKind::PushButton, L"Open Log Folder", 62, 53, 112, 14},
    {IDOK, DlgKind::DefPushButton, L"OK", 80, 74, 50, 14},
    {IDCANCEL, DlgKind::PushButton, L"Cancel", 134, 74, 50, 14},
}};

constexpr const wchar_t* kStyles[] = {L"Office 2007 (Blue)", L"Office 2007 (Black)",
                                      L"Office 2007 (Silver)", L"Office 2007 (Aqua)", L"Windows 7"};

}  // namespace

CAppSettingsDlg::CAppSettingsDlg(const CQuorvelAppSettings& settings, Logging::CLogger& log,
                                 QWidget* parent)
    : CCustomDialog(IDD, parent), m_settings(settings), m_log(log) {
    UseFramedBoxLook();
}

void CAppSettingsDlg::BuildControls() {
    CreateFromTemplate(kTemplate, kItems);
}

bool CAppSettingsDlg::OnInitDialog() {
    CCustomDialog::OnInitDialog();
    m_brWhite = QBrush(QColor(255, 255, 255));

    auto* style = Item<QComboBox>(1004);
    for (const wchar_t* entry : kStyles)
        style->addItem(QString::fromWCharArray(entry));
    // A stored style outside the list opens with no entry selected.
    style->setCurrentIndex(
        m_settings.nAppStyle >= 0 && m_settings.nAppStyle < 5 ? m_settings.nAppStyle : -1);

    auto* logging = Item<QComboBox>(1005);
    logging->addItem(QStringLiteral("Normal"));
    logging->addItem(QStringLiteral("+ Debug"));
    logging->setCurrentIndex(m_settings.nLogCeiling == 7 ? 1 : 0);
    return true;
}

void CAppSettingsDlg::OnOK() {
    const int style = Item<QComboBox>(1004)->currentIndex();
    // With no entry selected the stored style stays as it was.
    if (style >= 0)
        m_settings.nAppStyle = style;
    m_settings.nLogCeiling = Item<QComboBox>(1005)->currentIndex() == 0 ? 6 : 7;
    CCustomDialog::OnOK();
}

void CAppSettingsDlg::OnCommand(int id) {
    if (id == 1051)
        OnOpenLogFolder();
}

std::optional<ControlColors> CAppSettingsDlg::OnCtlColor(int id, QWidget*) {
    if (id == 1002 || id == 1003 || id == 1051)
        return ControlColors{QColor(0, 0, 0), m_brWhite.color()};
    return std::nullopt;
}

void CAppSettingsDlg::OnOpenLogFolder() {
    const std::filesystem::path appData = Platform::AppDataHome();
    if (appData.empty()) {
        const std::wstring text = L"Error getting path to application data folder!";
        m_log.Log(Logging::Error, text);
        Platform::ShowMessageBox(text, L"", MB_OK);
        return;
    }
    const std::filesystem::path folder = Platform::LogFolder();
    // A missing folder opens nothing and shows nothing, as the shell would.
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec))
        Platform::OpenWithDesktop(folder);
}
