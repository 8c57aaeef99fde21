// The operating system's own words for one of its error codes, ready to quote inside a log
// line or a message: Windows' FormatMessage text for a GetLastError()/LSTATUS code, the C
// library's strerror text for an errno value elsewhere. Never empty ("error <code>" when the
// system has no text), never more than one line (OneLineMessage).
#pragma once

#include <string>

namespace Platform {

std::wstring SystemErrorText(unsigned long code);

}  // namespace Platform
