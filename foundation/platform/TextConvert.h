// Conversions between the 8-bit wire text, UTF-8 and wide strings.
#pragma once

#include <cstddef>
#include <string>

namespace Platform {

// Each byte becomes one wide character (Latin-1): how reply bytes become CStringW.
std::wstring WidenBytes(const std::string& bytes);
// UTF-8 <-> wide (UTF-32 on Linux, UTF-16 on Windows); invalid input (a malformed or
// overlong sequence, an encoded surrogate, a code point above U+10FFFF, a lone surrogate in
// wide text) becomes U+FFFD, never thrown.
std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);
// Wide -> UTF-16 LE code units (surrogate pairs above U+FFFF).
std::u16string WideToUtf16(const std::wstring& wide);
std::wstring Utf16ToWide(const std::u16string& utf16);

// Untrusted input quoted in a message: bytes outside printable ASCII become "\xHH" and input
// beyond `maxBytes` is cut off with "...", so a message never puts control or binary bytes on
// a terminal.
std::string PrintableBytes(const std::string& bytes, std::size_t maxBytes = 64);
// The same for wide text: control characters (C0, DEL, C1) become "\xHH", other characters
// stay.
std::wstring PrintableText(const std::wstring& text, std::size_t maxChars = 64);

// An operating system's message made fit to quote inside one log line: line breaks within
// become single spaces, and trailing blanks, line ends and one closing full stop are removed
// ("Access is denied.\r\n" -> "Access is denied").
std::wstring OneLineMessage(const std::wstring& message);

}  // namespace Platform
