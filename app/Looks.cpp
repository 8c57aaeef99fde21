#include "Looks.h"

namespace {

LookColors Office2007(const QString& name, QColor tabRow, QColor tabText, QColor top, QColor bottom,
                      QColor border, QColor caption, QColor captionText, QColor frame) {
    return {name,   frame,  tabRow,  tabText,     QColor(255, 255, 255), top,
            bottom, border, caption, captionText, QColor(21, 66, 139),   QColor(255, 226, 140),
            true,   false};
}

LookColors& LastOffice2007() {
    static LookColors last =
        Office2007(QStringLiteral("Office 2007 (Blue)"), QColor(191, 219, 255), QColor(21, 66, 139),
                   QColor(222, 236, 253), QColor(199, 222, 250), QColor(141, 178, 227),
                   QColor(193, 217, 241), QColor(62, 106, 170), QColor(191, 219, 255));
    return last;
}

}  // namespace

LookColors ColorsForLook(unsigned look) {
    switch (look) {
        case 205:  // the toolkit's plain manager: classic 3D grey
            return {QStringLiteral("Classic"),
                    QColor(212, 208, 200),
                    QColor(212, 208, 200),
                    QColor(0, 0, 0),
                    QColor(236, 233, 216),
                    QColor(236, 233, 216),
                    QColor(212, 208, 200),
                    QColor(128, 128, 128),
                    QColor(192, 188, 180),
                    QColor(0, 0, 0),
                    QColor(0, 0, 0),
                    QColor(182, 189, 210),
                    false,
                    false};
        case 206:  // Office XP
            return {QStringLiteral("Office XP"),
                    QColor(249, 248, 247),
                    QColor(219, 216, 209),
                    QColor(0, 0, 0),
                    QColor(249, 248, 247),
                    QColor(252, 252, 251),
                    QColor(239, 237, 232),
                    QColor(166, 166, 166),
                    QColor(219, 216, 209),
                    QColor(0, 0, 0),
                    QColor(0, 0, 0),
                    QColor(193, 210, 238),
                    false,
                    false};
        case 207:  // Windows XP themed
            return {QStringLiteral("Windows XP"),
                    QColor(236, 233, 216),
                    QColor(236, 233, 216),
                    QColor(0, 0, 0),
                    QColor(255, 255, 255),
                    QColor(252, 252, 254),
                    QColor(236, 233, 216),
                    QColor(172, 168, 153),
                    QColor(222, 218, 200),
                    QColor(0, 0, 0),
                    QColor(0, 0, 0),
                    QColor(255, 200, 60),
                    false,
                    false};
        case 208:  // Office 2003
            return {QStringLiteral("Office 2003"),
                    QColor(195, 218, 249),
                    QColor(158, 190, 245),
                    QColor(0, 0, 0),
                    QColor(255, 255, 255),
                    QColor(221, 236, 254),
                    QColor(129, 169, 226),
                    QColor(59, 97, 156),
                    QColor(129, 169, 226),
                    QColor(255, 255, 255),
                    QColor(0, 0, 0),
                    QColor(255, 238, 194),
                    true,
                    false};
        case 209:  // Visual Studio 2005
            return {QStringLiteral("Visual Studio 2005"),
                    QColor(236, 233, 216),
                    QColor(229, 229, 215),
                    QColor(0, 0, 0),
                    QColor(252, 252, 249),
                    QColor(250, 250, 247),
                    QColor(229, 229, 215),
                    QColor(172, 168, 153),
                    QColor(214, 210, 194),
                    QColor(0, 0, 0),
                    QColor(0, 0, 0),
                    QColor(193, 210, 238),
                    true,
                    false};
        case 210:  // Visual Studio 2008
            return {QStringLiteral("Visual Studio 2008"),
                    QColor(233, 236, 238),
                    QColor(207, 214, 229),
                    QColor(0, 0, 0),
                    QColor(252, 252, 252),
                    QColor(250, 250, 253),
                    QColor(228, 233, 242),
                    QColor(145, 155, 177),
                    QColor(207, 214, 229),
                    QColor(21, 28, 55),
                    QColor(0, 0, 0),
                    QColor(255, 231, 162),
                    true,
                    false};
        case 215:
            return LastOffice2007() =
                       Office2007(QStringLiteral("Office 2007 (Blue)"), QColor(191, 219, 255),
                                  QColor(21, 66, 139), QColor(222, 236, 253), QColor(199, 222, 250),
                                  QColor(141, 178, 227), QColor(193, 217, 241),
                                  QColor(62, 106, 170), QColor(191, 219, 255));
        case 216:
            return LastOffice2007() =
                       Office2007(QStringLiteral("Office 2007 (Black)"), QColor(46, 46, 46),
                                  QColor(255, 255, 255), QColor(240, 240, 240),
                                  QColor(205, 205, 205), QColor(120, 120, 120),
                                  QColor(100, 100, 100), QColor(255, 255, 255), QColor(83, 83, 83));
        case 217:
            return LastOffice2007() =
                       Office2007(QStringLiteral("Office 2007 (Silver)"), QColor(208, 212, 221),
                                  QColor(76, 83, 92), QColor(248, 249, 250), QColor(225, 228, 233),
                                  QColor(164, 171, 182), QColor(202, 208, 216), QColor(76, 83, 92),
                                  QColor(208, 212, 221));
        case 218:
            return LastOffice2007() =
                       Office2007(QStringLiteral("Office 2007 (Aqua)"), QColor(203, 218, 230),
                                  QColor(40, 74, 104), QColor(236, 243, 248), QColor(210, 224, 235),
                                  QColor(138, 169, 193), QColor(179, 203, 221), QColor(40, 74, 104),
                                  QColor(203, 218, 230));
        case 219:  // Windows 7 scenic ribbon
            return {QStringLiteral("Windows 7"),
                    QColor(223, 233, 245),
                    QColor(223, 233, 245),
                    QColor(30, 57, 91),
                    QColor(245, 246, 247),
                    QColor(255, 255, 255),
                    QColor(236, 240, 245),
                    QColor(182, 186, 192),
                    QColor(229, 234, 241),
                    QColor(59, 59, 59),
                    QColor(30, 30, 30),
                    QColor(252, 228, 148),
                    true,
                    true};
        default:
            return LastOffice2007();
    }
}
