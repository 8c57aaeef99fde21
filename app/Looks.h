// The window looks 205-219: for each, the colours of the ribbon and the frame that resemble
// the named visual style, whether smart docking applies and whether the ribbon takes the
// Windows 7 look (flat tab row, no application button).
#pragma once

#include <QColor>
#include <QString>

struct LookColors {
    QString name;         // the visual style it stands for
    QColor frame;         // frame and view background around the panels
    QColor tabRow;        // the ribbon's tab row
    QColor tabRowText;    // category names on the tab row
    QColor activeTab;     // the selected category tab
    QColor panelTop;      // ribbon panel gradient, top
    QColor panelBottom;   // ribbon panel gradient, bottom
    QColor panelBorder;   // ribbon panel outline
    QColor panelCaption;  // caption strip under each ribbon panel
    QColor panelCaptionText;
    QColor buttonText;  // large button labels
    QColor hover;       // button under the pointer
    bool smartDocking;
    bool windows7Ribbon;
};

// Unknown numbers take the Office 2007 colours of the last Office 2007 look chosen (the
// style stays unchanged), Luna Blue before any.
LookColors ColorsForLook(unsigned look);
