// FormatMessageW ends its texts with ".\r\n" (some with ". " before it); OneLineMessage
// trims them so that a quoted reason does not break the log line it sits in.
#include <windows.h>

#include "platform/SystemError.h"
#include "platform/TextConvert.h"

namespace Platform {

std::wstring SystemErrorText(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length != 0 && buffer != nullptr ? std::wstring(buffer, length) : L"";
    LocalFree(buffer);
    text = OneLineMessage(text);
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

}  // namespace Platform
