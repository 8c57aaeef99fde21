#include <system_error>

#include "platform/SystemError.h"
#include "platform/TextConvert.h"

namespace Platform {

std::wstring SystemErrorText(unsigned long code) {
    std::wstring text =
        OneLineMessage(Utf8ToWide(std::generic_category().message(static_cast<int>(code))));
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

}  // namespace Platform
