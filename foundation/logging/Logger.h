// The logging layer: one CLogger per deliverable ("Quorvel" for the program, "QuorvelDll"
// for the driver library), each with a severity test (its ceiling), a file sink and the
// debugger-output sink. Lines read "[Mmm dd HH:MM:SS.mmm; Severity]: message\r\n" in UTC and
// are stored as UTF-16 LE without a byte-order mark. Logging never throws to its caller.
#pragma once

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

namespace Logging {

enum Severity : int {
    Emergency = 0,
    Alert = 1,
    Critical = 2,
    Error = 3,
    Warning = 4,
    Notice = 5,
    Informational = 6,
    Debug = 7,
};

// "Emergency" ... "Debug"; "Unknown" outside 0..7.
const wchar_t* SeverityName(int severity);

class CLogger {
public:
    // `severityTest` answers whether a statement of that severity is written (to both sinks).
    CLogger(std::string processIdentity, std::function<bool(int severity)> severityTest);
    ~CLogger();
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    // Reference-counted start and end of the layer; Init answers false if it cannot start.
    bool Init();
    void Uninit();

    // Whether a statement of this severity would be written (the severity test). Lets a
    // caller skip composing a statement that would be dropped.
    bool IsEnabled(int severity) const noexcept;

    // Writes one statement if the severity test passes. Until SetFilePath, file lines are
    // kept in memory with their own times.
    void Log(int severity, const std::wstring& message) noexcept;

    // Concatenates the parts (integers in decimal, doubles as std::to_wstring would not:
    // shortest round-trip form; narrow strings as UTF-8) and logs the result.
    template <typename... Parts>
    void LogParts(int severity, const Parts&... parts) noexcept;

    // Opens (creating, appending, shared with other writers) the file and writes the kept
    // lines into it. False, with one line on standard error, when the file cannot be opened.
    bool SetFilePath(const std::wstring& path) noexcept;

    const std::string& ProcessIdentity() const;

    struct Impl;

private:
    // Both sinks, for a statement whose severity has passed the test.
    void Write(int severity, const std::wstring& message) noexcept;

    std::unique_ptr<Impl> m_impl;
};

// Formats one line exactly as the sinks write it (without the line end), from a UTC time in
// 100-ns ticks since 1601.
std::wstring FormatLine(unsigned long long utcTicks, int severity, const std::wstring& message);

// Text of a value for log concatenation.
std::wstring ToLogText(const std::wstring& v);
std::wstring ToLogText(const wchar_t* v);
std::wstring ToLogText(std::string_view v);
std::wstring ToLogText(const char* v);
std::wstring ToLogText(long long v);
std::wstring ToLogText(unsigned long long v);
std::wstring ToLogText(double v);
inline std::wstring ToLogText(int v) {
    return ToLogText(static_cast<long long>(v));
}
inline std::wstring ToLogText(long v) {
    return ToLogText(static_cast<long long>(v));
}
inline std::wstring ToLogText(unsigned v) {
    return ToLogText(static_cast<unsigned long long>(v));
}
inline std::wstring ToLogText(unsigned long v) {
    return ToLogText(static_cast<unsigned long long>(v));
}

template <typename... Parts>
void CLogger::LogParts(int severity, const Parts&... parts) noexcept {
    if (!IsEnabled(severity))
        return;
    try {
        std::wstring text;
        (text.append(ToLogText(parts)), ...);
        Write(severity, text);
    } catch (...) {
        // A statement that cannot be composed is dropped.
    }
}

}  // namespace Logging
