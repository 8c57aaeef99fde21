// Where the settings layer reports what it could not read or write (a damaged or locked
// settings file, a value of the wrong type or size, a bad import file). Each deliverable
// wires it to its logger; until then lines go to standard error.
#pragma once

#include <functional>
#include <string>

namespace Zezezezo {

// Replaces the sink; an empty function restores the standard-error default. Thread-safe.
void SetStorageDiagnostics(std::function<void(const std::wstring&)> sink);
// Hands one line to the sink (the innermost scope of the calling thread, if any). Never
// throws.
void ReportStorageProblem(const std::wstring& message) noexcept;

// While it lives, problems reported on the constructing thread go to `sink` instead of the
// process-wide one: the driver library loads and saves its record through the program's
// storage and logs what went wrong in its own lines. Scopes nest; destroy on the same thread.
class CStorageDiagnosticsScope {
public:
    explicit CStorageDiagnosticsScope(std::function<void(const std::wstring&)> sink);
    ~CStorageDiagnosticsScope();
    CStorageDiagnosticsScope(const CStorageDiagnosticsScope&) = delete;
    CStorageDiagnosticsScope& operator=(const CStorageDiagnosticsScope&) = delete;

private:
    friend void ReportStorageProblem(const std::wstring& message) noexcept;
    std::function<void(const std::wstring&)> m_sink;
    CStorageDiagnosticsScope* m_outer;
};

}  // namespace Zezezezo
