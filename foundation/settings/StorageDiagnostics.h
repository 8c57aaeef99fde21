// Where the settings layer reports what it could not read or write (a damaged or locked
// settings file, a value of the wrong type or size, a bad import file). Each deliverable
// wires it to its logger; until then lines go to standard error.
#pragma once

#include <functional>
#include <string>

namespace Zezezezo {

// Replaces the sink; an empty function restores the standard-error default. Thread-safe.
void SetStorageDiagnostics(std::function<void(const std::wstring&)> sink);
// Hands one line to the sink. Never throws.
void ReportStorageProblem(const std::wstring& message) noexcept;

}  // namespace Zezezezo
