#include "platform/TextConvert.h"

namespace Platform {

namespace {

// wchar_t is UTF-32 on Linux and UTF-16 on Windows: a code point above U+FFFF is one wide
// character there and a surrogate pair here.
constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

void AppendCodePoint(std::wstring& out, char32_t cp) {
    if (kWideIsUtf16 && cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(cp));
    }
}

// The code point at wide[i], which moves past it; where wide text is UTF-16 a surrogate pair
// is one code point and a lone surrogate becomes U+FFFD.
char32_t NextCodePoint(const std::wstring& wide, std::size_t& i) {
    auto cp = static_cast<char32_t>(wide[i++]);
    if (kWideIsUtf16 && cp >= 0xD800 && cp <= 0xDFFF) {
        if (cp <= 0xDBFF && i < wide.size()) {
            const auto low = static_cast<char32_t>(wide[i]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                ++i;
                return 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            }
        }
        return 0xFFFD;
    }
    return cp;
}

// A Unicode scalar value: a code point that is not a surrogate.
bool IsScalarValue(char32_t cp) {
    return cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
}

// The smallest code point that needs a sequence of this many bytes; below it the sequence
// is an overlong form, which would let a second spelling of a character slip past checks.
constexpr char32_t kShortestFrom[] = {0, 0, 0x80, 0x800, 0x10000};

}  // namespace

std::wstring WidenBytes(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

std::wstring Utf8ToWide(const std::string& utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    const std::size_t n = utf8.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (b0 < 0x80) {
            cp = b0;
        } else if ((b0 >> 5) == 0x6) {
            len = 2;
        } else if ((b0 >> 4) == 0xE) {
            len = 3;
        } else if ((b0 >> 3) == 0x1E) {
            len = 4;
        }
        if (len > 1) {
            if (i + len > n) {
                len = 1;
            } else {
                char32_t v = b0 & (0x7F >> len);
                bool ok = true;
                for (std::size_t k = 1; k < len; ++k) {
                    const auto b = static_cast<unsigned char>(utf8[i + k]);
                    if ((b >> 6) != 0x2) {
                        ok = false;
                        break;
                    }
                    v = (v << 6) | (b & 0x3F);
                }
                if (!ok) {
                    len = 1;
                } else if (IsScalarValue(v) && v >= kShortestFrom[len]) {
                    cp = v;
                }  // else an overlong form, an encoded surrogate or beyond U+10FFFF: U+FFFD
            }
        }
        AppendCodePoint(out, cp);
        i += len;
    }
    return out;
}

std::string WideToUtf8(const std::wstring& wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size();) {
        auto cp = NextCodePoint(wide, i);
        if (!IsScalarValue(cp)) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::u16string WideToUtf16(const std::wstring& wide) {
    std::u16string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size();) {
        auto cp = NextCodePoint(wide, i);
        if (!IsScalarValue(cp)) {
            cp = 0xFFFD;  // a lone surrogate would make the UTF-16 ill-formed
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::wstring Utf16ToWide(const std::u16string& utf16) {
    std::wstring out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = 0xFFFD;
        }
        AppendCodePoint(out, u);
    }
    return out;
}

std::string PrintableBytes(const std::string& bytes, std::size_t maxBytes) {
    std::string out;
    const std::size_t shown = bytes.size() > maxBytes ? maxBytes : bytes.size();
    for (std::size_t i = 0; i < shown; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x20 && b < 0x7F) {
            out += static_cast<char>(b);
            continue;
        }
        static const char kHex[] = "0123456789ABCDEF";
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
    }
    return shown < bytes.size() ? out + "..." : out;
}

std::wstring PrintableText(const std::wstring& text, std::size_t maxChars) {
    std::wstring out;
    std::size_t shown = text.size() > maxChars ? maxChars : text.size();
    if (kWideIsUtf16 && shown > 0 && shown < text.size() && text[shown - 1] >= 0xD800 &&
        text[shown - 1] <= 0xDBFF) {
        --shown;  // the cut does not split a surrogate pair
    }
    for (std::size_t i = 0; i < shown; ++i) {
        const wchar_t c = text[i];
        if (c >= 0x20 && !(c >= 0x7F && c <= 0x9F)) {
            out += c;
            continue;
        }
        static const wchar_t kHex[] = L"0123456789ABCDEF";
        out += L"\\x";
        out += kHex[(c >> 4) & 0x0F];
        out += kHex[c & 0x0F];
    }
    return shown < text.size() ? out + L"..." : out;
}

std::wstring OneLineMessage(const std::wstring& message) {
    std::wstring out;
    out.reserve(message.size());
    bool pendingBreak = false;
    for (const wchar_t c : message) {
        if (c == L'\r' || c == L'\n') {
            pendingBreak = !out.empty();
            continue;
        }
        if (pendingBreak) {
            while (!out.empty() && out.back() == L' ') {
                out.pop_back();
            }
            out += L' ';
            pendingBreak = false;
        }
        out += c;
    }
    while (!out.empty() && (out.back() == L' ' || out.back() == L'\t')) {
        out.pop_back();
    }
    if (!out.empty() && out.back() == L'.') {
        out.pop_back();
    }
    return out;
}

}  // namespace Platform
