// The numeric edit's character rules in a locale with "." and one with "," as decimal
// separator and one whose negative sign is U+2212, in both styles, and the hold button's press
// and release notices.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QTest>
#include <vector>

#include "MouseUpDownButton.h"
#include "NumberEdit.h"
#include "PanelTestSupport.h"

namespace {

struct Typing {
    const char* name;
    QLocale locale;
    QChar sep;
    QChar minus;
};

class NumberEditTyping : public ::testing::TestWithParam<Typing> {
protected:
    CNumberEdit digits{true, nullptr, GetParam().locale};
    CNumberEdit free{false, nullptr, GetParam().locale};
    // `text` written with "." and "-" as the locale shows it.
    QString S(const char* text) const {
        return QString::fromLatin1(text)
            .replace(QLatin1Char('.'), GetParam().sep)
            .replace(QLatin1Char('-'), GetParam().minus);
    }
};

TEST_P(NumberEditTyping, SecondSeparatorIsRefusedInTheDigitsOnlyStyle) {
    ASSERT_EQ(digits.DecimalSeparator(), QString(GetParam().sep));
    QTest::keyClicks(&digits, S("1.5."));
    EXPECT_EQ(digits.text(), S("1.5"));
    QTest::keyClicks(&digits, QStringLiteral("x"));
    EXPECT_EQ(digits.text(), S("1.5"));
}

TEST_P(NumberEditTyping, SeparatorTypedOverTheSelectedSeparatorReplacesIt) {
    digits.setText(S("12.75"));
    digits.setSelection(2, 1);
    QTest::keyClicks(&digits, QString(GetParam().sep));
    EXPECT_EQ(digits.text(), S("1275").insert(2, GetParam().sep));
    EXPECT_EQ(digits.text().count(GetParam().sep), 1);
    // Typed with a selection that leaves the separator outside, it is refused.
    digits.setSelection(0, 1);
    QTest::keyClicks(&digits, QString(GetParam().sep));
    EXPECT_EQ(digits.text().count(GetParam().sep), 1);
}

TEST_P(NumberEditTyping, MinusOnlyAtTheVeryBeginningAndOnlyOnce) {
    digits.setText(S("25"));
    digits.setCursorPosition(1);
    QTest::keyClicks(&digits, QStringLiteral("-"));
    EXPECT_EQ(digits.text(), S("25"));
    digits.setCursorPosition(0);
    QTest::keyClicks(&digits, QStringLiteral("-"));
    EXPECT_EQ(digits.text(), S("-25"));
    digits.setCursorPosition(0);
    QTest::keyClicks(&digits, QStringLiteral("-"));
    EXPECT_EQ(digits.text(), S("-25"));
    digits.selectAll();
    QTest::keyClicks(&digits, QStringLiteral("-"));
    EXPECT_EQ(digits.text(), S("-"));
}

TEST_P(NumberEditTyping, TheKeyboardsPointAndMinusStandForTheLocalesOwn) {
    // The keys every keyboard has, whatever the locale writes.
    QTest::keyClicks(&digits, QStringLiteral("-12.5.,"));
    EXPECT_EQ(digits.text(), S("-12.5"));
    EXPECT_EQ(digits.ReadNumber(), -12.5);
    // And the locale's own characters (QTest types only ASCII: the keyboard layout's events
    // by hand).
    digits.clear();
    for (QChar c :
         QString(GetParam().minus) + QStringLiteral("3") + GetParam().sep + QStringLiteral("25")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&digits, &press);
    }
    EXPECT_EQ(digits.text(), S("-3.25"));
    EXPECT_EQ(digits.ReadNumber(), -3.25);
    free.setText(QStringLiteral("-0.5"));
    EXPECT_EQ(free.ReadNumber(), -0.5);
    free.setText(S("-0.5"));
    EXPECT_EQ(free.ReadNumber(), -0.5);
}

TEST_P(NumberEditTyping, FreeStyleLetsOtherCharactersAndASecondSeparatorThrough) {
    QTest::keyClicks(&free, S("1.5ab"));
    EXPECT_EQ(free.text(), S("1.5ab"));
    free.setCursorPosition(free.text().size());
    // The rule refuses it, so the default processing inserts it as typed.
    QTest::keyClicks(&free, QString(GetParam().sep));
    EXPECT_EQ(free.text().count(GetParam().sep), 2);
}

TEST_P(NumberEditTyping, ReadAndWriteInTheLocaleNotation) {
    digits.setText(S("-7.25"));
    EXPECT_EQ(digits.ReadNumber(), -7.25);
    digits.setText(QStringLiteral("3.5"));  // the point is read in any locale
    EXPECT_EQ(digits.ReadNumber(), 3.5);
    for (const char* none : {"", "-", "abc", "."}) {
        digits.setText(QString::fromLatin1(none));
        EXPECT_FALSE(digits.ReadNumber().has_value()) << none;
    }
    digits.SetNumber(-0.0001, 3);
    EXPECT_EQ(digits.text(), S("0.000"));
    digits.SetNumber(1234.5, 3);
    EXPECT_EQ(digits.text(), S("1234.500"));
}

INSTANTIATE_TEST_SUITE_P(
    Locales, NumberEditTyping,
    ::testing::Values(Typing{"point", QLocale(QLocale::English, QLocale::UnitedStates),
                             QLatin1Char('.'), QLatin1Char('-')},
                      Typing{"comma", QLocale(QLocale::German, QLocale::Germany), QLatin1Char(','),
                             QLatin1Char('-')},
                      Typing{"unicodeMinus", QLocale(QLocale::Swedish, QLocale::Sweden),
                             QLatin1Char(','), QChar(0x2212)}),
    [](const auto& info) { return std::string(info.param.name); });

// A parent that records the notices and whether the button already looked pressed.
class CNoticeParent : public QWidget, public CWnd {
public:
    struct Notice {
        UINT message;
        WPARAM id;
        bool buttonDown;
    };
    std::vector<Notice> notices;
    CMouseUpDownButton* button = nullptr;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_MOUSEUPDOWN_PRESS || message == WM_MOUSEUPDOWN_RELEASE)
            notices.push_back({message, wParam, button->isDown()});
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

TEST(HoldButton, PressNoticeComesFirstAndReleaseAlsoAfterDraggingOff) {
    CNoticeParent parent;
    parent.resize(300, 200);
    parent.button = new CMouseUpDownButton(1032, QStringLiteral("Azimuth -"), &parent);
    parent.button->setGeometry(10, 10, 80, 30);
    parent.show();

    QTest::mousePress(parent.button, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_EQ(parent.notices.size(), 1u);
    EXPECT_EQ(parent.notices[0].message, 0x8200u);
    EXPECT_EQ(parent.notices[0].id, 1032u);
    EXPECT_FALSE(parent.notices[0].buttonDown);  // before the pressed look
    EXPECT_TRUE(parent.button->isDown());

    // Dragged off the button and let go there: the button still holds the mouse.
    QTest::mouseMove(parent.button, QPoint(250, 150));
    QTest::mouseRelease(parent.button, Qt::LeftButton, {}, QPoint(250, 150));
    ASSERT_EQ(parent.notices.size(), 2u);
    EXPECT_EQ(parent.notices[1].message, 0x8201u);
    EXPECT_EQ(parent.notices[1].id, 1032u);
    EXPECT_FALSE(parent.button->isDown());
}

TEST(HoldButton, DisabledWhileHeldSendsTheRelease) {
    CNoticeParent parent;
    parent.button = new CMouseUpDownButton(1028, QStringLiteral("Zenith +"), &parent);
    parent.show();
    QTest::mousePress(parent.button, Qt::LeftButton);
    parent.button->setEnabled(false);
    ASSERT_EQ(parent.notices.size(), 2u);
    EXPECT_EQ(parent.notices[1].message, 0x8201u);
    QTest::mouseRelease(parent.button, Qt::LeftButton);
    EXPECT_EQ(parent.notices.size(), 2u);  // no second release
}

}  // namespace
