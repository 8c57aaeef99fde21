// The Windows vocabulary that the exported interfaces and the message layer speak:
// integer widths, message parameters, SYSTEMTIME and the dialog/message-box ids.
#pragma once

#include <cstdint>
#include <type_traits>

// DWORD and LONG are 32 bits everywhere. Where long is 32 bits (Windows) they are the
// platform's own unsigned long and long, so that the platform's typedefs of the same names
// agree with these in the *_win32.cpp files; elsewhere the fixed-width types.
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::conditional_t<sizeof(unsigned long) == 4, unsigned long, std::uint32_t>;
using UINT = unsigned int;
using BOOL = int;
using LONG = std::conditional_t<sizeof(long) == 4, long, std::int32_t>;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Calendar time with the Windows field names. Which clock (local civil or UTC) a
// value holds is stated where it is declared.
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;      // 1..12
    WORD wDayOfWeek;  // 0 = Sunday
    WORD wDay;        // 1..31
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

inline bool operator==(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDayOfWeek == b.wDayOfWeek &&
           a.wDay == b.wDay && a.wHour == b.wHour && a.wMinute == b.wMinute &&
           a.wSecond == b.wSecond && a.wMilliseconds == b.wMilliseconds;
}

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// Dialog and message-box results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Message-box styles (buttons in the low nibble, icon in the next).
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;  // the second button (No, Cancel) is the default
