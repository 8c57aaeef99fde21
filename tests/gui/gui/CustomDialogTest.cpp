// The dialog base class: background, the framed area and its margins, the colouring set,
// colour changes after showing, and the conversion of template sizes with the dialog font.
#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <array>

#include "CustomDialog.h"
#include "GuiTestSupport.h"

namespace {

class CProbeDialog : public CCustomDialog {
public:
    explicit CProbeDialog(bool frame) : CCustomDialog(900, nullptr) {
        m_bDrawFrame = frame;
        m_nMarginBottom = 45;
        SetControlBackgroundColor(QColor(255, 255, 255));
    }
    void BuildControls() override {
        static constexpr std::array<DlgItemTemplate, 3> items{{
            {10, DlgKind::Static, L"coloured", 10, 10, 50, 8},
            {11, DlgKind::Static, L"plain", 10, 30, 50, 8},
            {IDOK, DlgKind::DefPushButton, L"OK", 60, 50, 50, 14},
        }};
        static constexpr DlgTemplate tmpl{900, L"Probe", 120, 70, false};
        CreateFromTemplate(tmpl, items);
    }
    bool OnInitDialog() override {
        CCustomDialog::OnInitDialog();
        AddColoredControl(10);
        return true;
    }
    using CCustomDialog::Units;
};

QColor PixelAt(QWidget& w, QPoint p) {
    return w.grab().toImage().pixelColor(p);
}

TEST(CustomDialog, FramedAreaKeepsItsMarginsAndPaintsBorderAndFill) {
    CProbeDialog dialog(true);
    dialog.Create();
    dialog.setFixedSize(400, 300);
    EXPECT_EQ(dialog.FrameRectFor(QSize(400, 300)), QRect(QPoint(10, 10), QPoint(389, 254)));
    const QImage image = dialog.grab().toImage();
    EXPECT_EQ(dialog.FrameRect(), QRect(QPoint(10, 10), QPoint(389, 254)));
    EXPECT_EQ(image.pixelColor(5, 5), QColor(240, 240, 240));      // background
    EXPECT_EQ(image.pixelColor(10, 100), QColor(105, 105, 105));   // border line
    EXPECT_EQ(image.pixelColor(389, 100), QColor(105, 105, 105));  // right border inside
    EXPECT_EQ(image.pixelColor(200, 250), QColor(255, 255, 255));  // fill
    EXPECT_EQ(image.pixelColor(200, 280), QColor(240, 240, 240));  // button strip
}

TEST(CustomDialog, WithoutFrameOnlyTheBackgroundIsPainted) {
    CProbeDialog dialog(false);
    dialog.Create();
    dialog.setFixedSize(400, 300);
    const QImage image = dialog.grab().toImage();
    EXPECT_EQ(image.pixelColor(10, 100), QColor(240, 240, 240));
    EXPECT_EQ(image.pixelColor(200, 250), QColor(240, 240, 240));
}

TEST(CustomDialog, OnlyControlsInTheSetTakeTheCustomColours) {
    CProbeDialog dialog(true);
    dialog.Create();
    const auto coloured = dialog.ColorsOf(10);
    ASSERT_TRUE(coloured.has_value());
    EXPECT_EQ(coloured->background, QColor(255, 255, 255));
    EXPECT_EQ(coloured->text, QColor(0, 0, 0));
    EXPECT_FALSE(dialog.ColorsOf(11).has_value());
    EXPECT_EQ(dialog.GetDlgItem(10)->palette().color(QPalette::Window), QColor(255, 255, 255));
    EXPECT_NE(dialog.GetDlgItem(11)->palette().color(QPalette::Window), QColor(255, 255, 255));
}

TEST(CustomDialog, ColourChangedAfterShowingTakesEffectAtTheNextPaint) {
    CProbeDialog dialog(true);
    dialog.Create();
    dialog.setFixedSize(400, 300);
    dialog.grab();
    dialog.SetBackgroundColor(QColor(10, 20, 30));
    dialog.SetControlBackgroundColor(QColor(1, 2, 3));
    EXPECT_EQ(PixelAt(dialog, QPoint(5, 5)), QColor(10, 20, 30));
    EXPECT_EQ(dialog.GetDlgItem(10)->palette().color(QPalette::Window), QColor(1, 2, 3));
}

TEST(CustomDialog, TemplateSizesComeFromDialogUnitsOfTheDialogFont) {
    CProbeDialog dialog(false);
    dialog.Create();
    const CDialogUnits& units = dialog.Units();
    EXPECT_GT(units.BaseX(), 3);
    EXPECT_GT(units.BaseY(), 8);
    EXPECT_EQ(dialog.size(), QSize(units.X(120), units.Y(70)));
    EXPECT_EQ(dialog.GetDlgItem(IDOK)->geometry(), units.Rect(60, 50, 50, 14));
    // Four horizontal units are one average character; eight vertical ones one line.
    EXPECT_EQ(units.X(4), units.BaseX());
    EXPECT_EQ(units.Y(8), units.BaseY());
}

TEST(CustomDialog, OkButtonEndsTheDialogWithIdok) {
    CProbeDialog dialog(false);
    dialog.Create();
    QTimer::singleShot(0, &dialog, [&] { dialog.Item<QPushButton>(IDOK)->click(); });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    QTimer::singleShot(0, &dialog, [&] { dialog.reject(); });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

}  // namespace
