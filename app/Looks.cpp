#include "Looks.h"

#include <algorithm>
#include <iterator>

namespace {

// One look: colours as 0xRRGGBB, in the order of LookColors. 205 is the toolkit's plain
// manager (classic 3D grey), 207 themed Windows XP, 219 the Windows 7 scenic ribbon; 211-214
// name no look of their own.
struct LookRow {
    unsigned look;
    const char* name;
    QRgb frame, tabRow, tabRowText, activeTab, panelTop, panelBottom, panelBorder, panelCaption,
        panelCaptionText, buttonText, hover;
    bool smartDocking;
    bool windows7Ribbon;
    bool office2007;  // remembered as the colours of unknown numbers
};

// clang-format off
constexpr LookRow kLooks[] = {
    // look name                  frame     tabRow    tabText   activeTab panelTop  panelBot  border    caption   captTxt   button    hover  docking win7  office2007
    {205, "Classic",              0xd4d0c8, 0xd4d0c8, 0x000000, 0xece9d8, 0xece9d8, 0xd4d0c8, 0x808080, 0xc0bcb4, 0x000000, 0x000000, 0xb6bdd2, false, false, false},
    {206, "Office XP",            0xf9f8f7, 0xdbd8d1, 0x000000, 0xf9f8f7, 0xfcfcfb, 0xefede8, 0xa6a6a6, 0xdbd8d1, 0x000000, 0x000000, 0xc1d2ee, false, false, false},
    {207, "Windows XP",           0xece9d8, 0xece9d8, 0x000000, 0xffffff, 0xfcfcfe, 0xece9d8, 0xaca899, 0xdedac8, 0x000000, 0x000000, 0xffc83c, false, false, false},
    {208, "Office 2003",          0xc3daf9, 0x9ebef5, 0x000000, 0xffffff, 0xddecfe, 0x81a9e2, 0x3b619c, 0x81a9e2, 0xffffff, 0x000000, 0xffeec2, true,  false, false},
    {209, "Visual Studio 2005",   0xece9d8, 0xe5e5d7, 0x000000, 0xfcfcf9, 0xfafaf7, 0xe5e5d7, 0xaca899, 0xd6d2c2, 0x000000, 0x000000, 0xc1d2ee, true,  false, false},
    {210, "Visual Studio 2008",   0xe9ecee, 0xcfd6e5, 0x000000, 0xfcfcfc, 0xfafafd, 0xe4e9f2, 0x919bb1, 0xcfd6e5, 0x151c37, 0x000000, 0xffe7a2, true,  false, false},
    {215, "Office 2007 (Blue)",   0xbfdbff, 0xbfdbff, 0x15428b, 0xffffff, 0xdeecfd, 0xc7defa, 0x8db2e3, 0xc1d9f1, 0x3e6aaa, 0x15428b, 0xffe28c, true,  false, true},
    {216, "Office 2007 (Black)",  0x535353, 0x2e2e2e, 0xffffff, 0xffffff, 0xf0f0f0, 0xcdcdcd, 0x787878, 0x646464, 0xffffff, 0x15428b, 0xffe28c, true,  false, true},
    {217, "Office 2007 (Silver)", 0xd0d4dd, 0xd0d4dd, 0x4c535c, 0xffffff, 0xf8f9fa, 0xe1e4e9, 0xa4abb6, 0xcad0d8, 0x4c535c, 0x15428b, 0xffe28c, true,  false, true},
    {218, "Office 2007 (Aqua)",   0xcbdae6, 0xcbdae6, 0x284a68, 0xffffff, 0xecf3f8, 0xd2e0eb, 0x8aa9c1, 0xb3cbdd, 0x284a68, 0x15428b, 0xffe28c, true,  false, true},
    {219, "Windows 7",            0xdfe9f5, 0xdfe9f5, 0x1e395b, 0xf5f6f7, 0xffffff, 0xecf0f5, 0xb6bac0, 0xe5eaf1, 0x3b3b3b, 0x1e1e1e, 0xfce494, true,  true,  false},
};
// clang-format on

const LookRow* FindLook(unsigned look) {
    const auto it = std::find_if(std::begin(kLooks), std::end(kLooks),
                                 [look](const LookRow& row) { return row.look == look; });
    return it == std::end(kLooks) ? nullptr : &*it;
}

// The Office 2007 look chosen last (GUI thread only), Luna Blue before any.
const LookRow*& LastOffice2007() {
    static const LookRow* last = FindLook(215);
    return last;
}

LookColors ToColors(const LookRow& row) {
    return {QString::fromLatin1(row.name),
            QColor(row.frame),
            QColor(row.tabRow),
            QColor(row.tabRowText),
            QColor(row.activeTab),
            QColor(row.panelTop),
            QColor(row.panelBottom),
            QColor(row.panelBorder),
            QColor(row.panelCaption),
            QColor(row.panelCaptionText),
            QColor(row.buttonText),
            QColor(row.hover),
            row.smartDocking,
            row.windows7Ribbon};
}

}  // namespace

LookColors ColorsForLook(unsigned look) {
    const LookRow* row = FindLook(look);
    if (row == nullptr) {
        return ToColors(*LastOffice2007());
    }
    if (row->office2007) {
        LastOffice2007() = row;
    }
    return ToColors(*row);
}
