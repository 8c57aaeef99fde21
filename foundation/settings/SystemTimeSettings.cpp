#include "settings/SystemTimeSettings.h"

#include "settings/MemberExchange.h"

namespace Zezezezo {

CSystemTimeSettings::CSystemTimeSettings() : time{} {}

CSystemTimeSettings::CSystemTimeSettings(const SYSTEMTIME& value) : time(value) {}

bool CSystemTimeSettings::InternalSaveLoad(bool continueOnFailure, CSettingsStorage* storage,
                                           bool save, bool reset) {
    const WORD zero = 0;
    CMemberExchange m(continueOnFailure, storage, save, reset);
    m.Plain(L"wYear", time.wYear, zero)
        .Plain(L"wMonth", time.wMonth, zero)
        .Plain(L"wDayOfWeek", time.wDayOfWeek, zero)
        .Plain(L"wDay", time.wDay, zero)
        .Plain(L"wHour", time.wHour, zero)
        .Plain(L"wMinute", time.wMinute, zero)
        .Plain(L"wSecond", time.wSecond, zero)
        .Plain(L"wMilliseconds", time.wMilliseconds, zero);
    return m.Result();
}

}  // namespace Zezezezo
