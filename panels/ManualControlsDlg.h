// CManualControlsDlg: the "Manual" tab page (template 311). The operator-panels work fills it
// with the move, jog, stop and home controls; until then it is an empty white page.
#pragma once

#include "CustomDialog.h"
#include "PanelContext.h"

class CManualControlsDlg : public CCustomDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 311;
    CManualControlsDlg(const CPanelContext& context, QWidget* parent);

protected:
    void BuildControls() override;
    void OnOK() override {}
    void OnCancel() override {}

    CPanelContext m_context;
};
