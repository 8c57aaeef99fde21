// CAboutDlg: the program's name, its owner and the version of the build.
#pragma once

#include "CustomDialog.h"

class CAboutDlg : public CCustomDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 100;
    explicit CAboutDlg(QWidget* parent);

protected:
    void BuildControls() override;
    bool OnInitDialog() override;
};
