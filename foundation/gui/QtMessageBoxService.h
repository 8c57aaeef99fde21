// The message-box service of the program: modal Qt boxes with the platform's button and
// icon styles (MB_OK, MB_YESNO, MB_ICONERROR ...), owned by the active window.
#pragma once

#include <QString>

#include "platform/MessageBox.h"

class CQtMessageBoxService final : public Platform::IMessageBoxService {
public:
    // `title` is used when a box is raised with an empty caption.
    explicit CQtMessageBoxService(QString title);
    int Show(const std::wstring& text, const std::wstring& caption, UINT type) override;

private:
    QString m_title;
};
