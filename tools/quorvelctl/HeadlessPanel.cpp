#include "HeadlessPanel.h"

#include <utility>

namespace quorvelctl {

CHeadlessPanel::CHeadlessPanel(bool limitMaxZenith, bool useAlignment,
                               std::function<void(const std::wstring&)> onBox,
                               std::function<void(bool)> onMultiDay)
    : m_limitMaxZenith(limitMaxZenith),
      m_useAlignment(useAlignment),
      m_onBox(std::move(onBox)),
      m_onMultiDay(std::move(onMultiDay)) {}

int CHeadlessPanel::ShowMessage(const std::wstring& text, UINT type) {
    if (m_onBox)
        m_onBox(text);
    return (type & 0xFu) == MB_YESNO ? IDYES : IDOK;
}

void CHeadlessPanel::SetMultiDay(bool multiDay) {
    if (m_onMultiDay)
        m_onMultiDay(multiDay);
}

}  // namespace quorvelctl
