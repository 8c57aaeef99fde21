// Dialog templates: the controls of a dialog as the resource script gives them (id, kind,
// text, rectangle in dialog units), and the conversion of dialog units to pixels with the
// dialog's font, so that every dialog keeps the proportions of its template.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

// Horizontal base unit: the average width of the Latin letters in the font; vertical base
// unit: the font's line height. A dialog unit is a quarter of the first horizontally and an
// eighth of the second vertically.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    int X(int dlu) const;  // pixels
    int Y(int dlu) const;  // pixels
    QRect Rect(int x, int y, int cx, int cy) const;
    QSize Size(int cx, int cy) const;
    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

private:
    int m_baseX;
    int m_baseY;
};

enum class DlgKind {
    Static,        // left-aligned text
    StaticCenter,  // centred text
    StaticRight,   // right-aligned text
    EtchedLine,    // horizontal separator
    Bitmap,        // picture control
    PushButton,
    DefPushButton,
    DropList,  // drop-down list (not editable); the height is that of the open list
    CheckBox,
    Edit,
    GroupBox,
    Tab,
    Progress,
};

struct DlgItemTemplate {
    int id;
    DlgKind kind;
    const wchar_t* text;
    int x, y, cx, cy;  // dialog units
};

struct DlgTemplate {
    int id;
    const wchar_t* caption;  // nullptr for child panels
    int cx, cy;              // dialog units
    bool child;              // a panel inside another window rather than a modal box
};
