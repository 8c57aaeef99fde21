#include "AboutDlg.h"

#include <QApplication>
#include <QLabel>
#include <QStyle>
#include <array>

#include "VersionInfo.h"

namespace {
constexpr DlgTemplate kTemplate{CAboutDlg::IDD, L"About Quorvel", 207, 62, false};
constexpr std::array<DlgItemTemplate, 5> kItems{{
    {-1, DlgKind::Bitmap, nullptr, 14, 14, 21, 20},
    {-2, DlgKind::Static, L"Quorvel Control Software", 42, 14, 150, 8},
    {-3, DlgKind::Static, L"Copyright (C) Pelvarin", 42, 26, 150, 8},
    {1091, DlgKind::Static, L"vX.Y Build Z", 42, 38, 100, 8},
    {IDOK, DlgKind::DefPushButton, L"OK", 150, 41, 50, 14},
}};
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : CCustomDialog(IDD, parent) {}

void CAboutDlg::BuildControls() {
    CreateFromTemplate(kTemplate, kItems);
}

bool CAboutDlg::OnInitDialog() {
    CCustomDialog::OnInitDialog();
    const QIcon icon = QApplication::windowIcon().isNull()
                           ? style()->standardIcon(QStyle::SP_ComputerIcon)
                           : QApplication::windowIcon();
    Item<QLabel>(-1)->setPixmap(icon.pixmap(32, 32));
    Item<QLabel>(1091)->setText(QString::fromStdWString(ProgramVersionText()));
    return true;
}
