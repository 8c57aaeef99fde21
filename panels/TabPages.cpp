// The two tab pages as they stand before the operator panels fill them.
#include "HeliostatControlsDlg.h"
#include "ManualControlsDlg.h"

namespace {
// Both pages fill the display area of the view's tab control (380 x 204 dialog units less
// the tab row and the border).
constexpr DlgTemplate kManualTemplate{CManualControlsDlg::IDD, nullptr, 372, 186, true};
constexpr DlgTemplate kHeliostatTemplate{CHeliostatControlsDlg::IDD, nullptr, 372, 186, true};
}  // namespace

CManualControlsDlg::CManualControlsDlg(const CPanelContext& context, QWidget* parent)
    : CCustomDialog(IDD, parent), m_context(context) {
    SetBackgroundColor(QColor(255, 255, 255));
    SetControlBackgroundColor(QColor(255, 255, 255));
}

void CManualControlsDlg::BuildControls() {
    CreateFromTemplate(kManualTemplate, {});
}

CHeliostatControlsDlg::CHeliostatControlsDlg(const CPanelContext& context, QWidget* parent)
    : CCustomDialog(IDD, parent), m_context(context) {
    SetBackgroundColor(QColor(255, 255, 255));
    SetControlBackgroundColor(QColor(255, 255, 255));
}

void CHeliostatControlsDlg::BuildControls() {
    CreateFromTemplate(kHeliostatTemplate, {});
}
