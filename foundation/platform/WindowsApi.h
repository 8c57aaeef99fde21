// <windows.h> for the *_win32.cpp files, which also see this system's own Windows vocabulary
// (WinTypes.h): include it after the project's headers. WinTypes.h declares the integer
// types as the same types <windows.h> uses on Windows, so both sets of typedefs agree; the
// message and box ids it declares as constants become macros with the same values from here
// on. Only SYSTEMTIME differs in kind (a struct of ours, a typedef there): the platform's is
// renamed WIN32_SYSTEMTIME, with the same fields, and converted where an API needs it.
#pragma once

#include "platform/WinTypes.h"

#define SYSTEMTIME WIN32_SYSTEMTIME
#include <windows.h>
#undef SYSTEMTIME

inline WIN32_SYSTEMTIME ToWin32SystemTime(const ::SYSTEMTIME& t) {
    WIN32_SYSTEMTIME w{};
    w.wYear = t.wYear;
    w.wMonth = t.wMonth;
    w.wDayOfWeek = t.wDayOfWeek;
    w.wDay = t.wDay;
    w.wHour = t.wHour;
    w.wMinute = t.wMinute;
    w.wSecond = t.wSecond;
    w.wMilliseconds = t.wMilliseconds;
    return w;
}

inline ::SYSTEMTIME FromWin32SystemTime(const WIN32_SYSTEMTIME& w) {
    return ::SYSTEMTIME{w.wYear, w.wMonth,  w.wDayOfWeek, w.wDay,
                        w.wHour, w.wMinute, w.wSecond,    w.wMilliseconds};
}
