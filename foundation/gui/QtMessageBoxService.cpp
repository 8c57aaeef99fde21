#include "QtMessageBoxService.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

CQtMessageBoxService::CQtMessageBoxService(QString title) : m_title(std::move(title)) {}

int CQtMessageBoxService::Show(const std::wstring& text, const std::wstring& caption, UINT type) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption.empty() ? m_title : QString::fromStdWString(caption));
    box.setText(QString::fromStdWString(text));
    switch (type & 0xF0) {
        case MB_ICONERROR:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONWARNING:
            box.setIcon(QMessageBox::Warning);
            break;
        case MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    switch (type & 0x0F) {
        case MB_OKCANCEL: {
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
        }
        case MB_YESNO: {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton((type & MB_DEFBUTTON2) != 0 ? QMessageBox::No : QMessageBox::Yes);
            return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
        }
        default:
            box.setStandardButtons(QMessageBox::Ok);
            box.exec();
            return IDOK;
    }
}
