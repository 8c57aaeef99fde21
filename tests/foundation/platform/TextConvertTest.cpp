// Text conversion where wide text is UTF-32 (Linux) and where it is UTF-16 (Windows): the
// same expectations hold on both, since a wide literal is spelt in the platform's own form.
#include <gtest/gtest.h>

#include <string>

#include "platform/SystemError.h"
#include "platform/TextConvert.h"

using namespace Platform;

namespace {

const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

}  // namespace

TEST(TextConvert, CharactersBeyondTheBasicPlaneRoundTrip) {
    // U+1F600 (an emoji) and U+10348 (Gothic hwair), between characters of the first plane.
    const std::string utf8 = "a\xF0\x9F\x98\x80\xC3\xA9\xF0\x90\x8D\x88z";
    const std::wstring wide = L"a\U0001F600\u00E9\U00010348z";
    const std::u16string utf16 = u"a\U0001F600\u00E9\U00010348z";
    ASSERT_EQ(utf16.size(), 7u);  // two surrogate pairs
    EXPECT_EQ(Utf8ToWide(utf8), wide);
    EXPECT_EQ(WideToUtf8(wide), utf8);
    EXPECT_EQ(WideToUtf16(wide), utf16);
    EXPECT_EQ(Utf16ToWide(utf16), wide);
    EXPECT_EQ(WideToUtf8(Utf16ToWide(WideToUtf16(Utf8ToWide(utf8)))), utf8);
    // The highest code point too.
    EXPECT_EQ(WideToUtf8(Utf8ToWide("\xF4\x8F\xBF\xBF")), "\xF4\x8F\xBF\xBF");
}

TEST(TextConvert, UnpairedSurrogatesAndBadSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf16ToWide(std::u16string{0xD83D, u'x'}), L"\uFFFDx");         // high, no low
    EXPECT_EQ(Utf16ToWide(std::u16string{u'a', 0xDE00}), L"a\uFFFD");         // low alone
    EXPECT_EQ(Utf16ToWide(std::u16string{u'a', 0xD83D}), L"a\uFFFD");         // high at the end
    EXPECT_EQ(Utf16ToWide(std::u16string{0xDE00, 0xD83D}), L"\uFFFD\uFFFD");  // wrong order

    const std::wstring lone{static_cast<wchar_t>(0xD800), L'y'};
    EXPECT_EQ(WideToUtf8(lone), kReplacement + "y");
    EXPECT_EQ(WideToUtf16(lone), u"\uFFFDy");
    const std::wstring lowFirst{static_cast<wchar_t>(0xDC00), static_cast<wchar_t>(0xD800)};
    EXPECT_EQ(WideToUtf16(lowFirst), u"\uFFFD\uFFFD");

    // UTF-8 that spells a surrogate, an overlong '/', a code point past U+10FFFF, and a
    // four-byte sequence cut short: never a lone surrogate in the wide text.
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80!"), L"\uFFFD!");
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), L"\uFFFD");
    EXPECT_EQ(Utf8ToWide("\xF4\x90\x80\x80"), L"\uFFFD");
    EXPECT_EQ(Utf8ToWide("\xF0\x9F"), L"\uFFFD\uFFFD");
    EXPECT_EQ(WideToUtf16(Utf8ToWide("\xED\xB0\x80\xF7\xBF\xBF\xBF")), u"\uFFFD\uFFFD");
}

TEST(TextConvert, QuotedTextIsNotCutInsideACharacter) {
    const std::wstring shown = PrintableText(L"ab\U0001F600cd", 3);
    EXPECT_EQ(WideToUtf8(shown).find(kReplacement), std::string::npos) << WideToUtf8(shown);
    EXPECT_EQ(shown.substr(0, 2), L"ab");
    EXPECT_EQ(shown.substr(shown.size() - 3), L"...");
}

TEST(TextConvert, SystemMessagesFitOnOneLine) {
    EXPECT_EQ(OneLineMessage(L"Access is denied.\r\n"), L"Access is denied");
    EXPECT_EQ(OneLineMessage(L"The parameter is incorrect. \r\n"), L"The parameter is incorrect");
    EXPECT_EQ(OneLineMessage(L"The first line.\r\nThe second line.\r\n"),
              L"The first line. The second line");
    EXPECT_EQ(OneLineMessage(L"No such file or directory"), L"No such file or directory");
    EXPECT_EQ(OneLineMessage(L"\r\n"), L"");
    EXPECT_EQ(OneLineMessage(L"Version 1.2"), L"Version 1.2");

    // 2 is "file not found" as a Windows error and as an errno value alike.
    const std::wstring text = SystemErrorText(2);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of(L"\r\n"), std::wstring::npos) << WideToUtf8(text);
    EXPECT_NE(text.back(), L'.');
    EXPECT_NE(text.back(), L' ');
}
