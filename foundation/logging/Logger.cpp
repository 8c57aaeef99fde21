#include "logging/Logger.h"

#include <charconv>
#include <cstdio>
#include <mutex>
#include <vector>

#include "logging/LogFile.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/TextConvert.h"

namespace Logging {

namespace {

// Lines kept while no file is set. A program that never sets a path (or whose file cannot be
// created) must not grow without bound; later lines are dropped once this many are kept.
constexpr std::size_t kMaxKeptLines = 10'000;

const wchar_t* const kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                  L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};

// The file holds UTF-16 little-endian code units whatever the host's byte order.
std::string ToFileBytes(const std::wstring& lineWithEnd) {
    const std::u16string units = Platform::WideToUtf16(lineWithEnd);
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t u : units) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    return bytes;
}

// The fall-back channel: one line on standard error, in one write.
void ReportOnStandardError(const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

struct CLogger::Impl {
    std::string identity;
    std::function<bool(int)> severityTest;

    std::mutex lock;  // guards everything below; serialises the file sink's writes
    int initCount = 0;
    CLogFile file;
    std::vector<std::string> kept;  // file bytes of lines logged before the file was set
};

const wchar_t* SeverityName(int severity) {
    static const wchar_t* const kNames[] = {L"Emergency", L"Alert",  L"Critical",      L"Error",
                                            L"Warning",   L"Notice", L"Informational", L"Debug"};
    return severity >= 0 && severity <= 7 ? kNames[severity] : L"Unknown";
}

std::wstring FormatLine(unsigned long long utcTicks, int severity, const std::wstring& message) {
    const SYSTEMTIME t = Platform::TicksToSystemTime(utcTicks);
    wchar_t stamp[32];
    std::swprintf(stamp, sizeof stamp / sizeof stamp[0], L"%ls %02u %02u:%02u:%02u.%03u",
                  kMonths[(t.wMonth + 11) % 12], static_cast<unsigned>(t.wDay),
                  static_cast<unsigned>(t.wHour), static_cast<unsigned>(t.wMinute),
                  static_cast<unsigned>(t.wSecond), static_cast<unsigned>(t.wMilliseconds));
    std::wstring line;
    line.reserve(40 + message.size());
    line.append(L"[").append(stamp).append(L"; ").append(SeverityName(severity)).append(L"]: ");
    line.append(message);
    return line;
}

CLogger::CLogger(std::string processIdentity, std::function<bool(int severity)> severityTest)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->identity = std::move(processIdentity);
    m_impl->severityTest = std::move(severityTest);
}

CLogger::~CLogger() = default;

bool CLogger::Init() {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    ++m_impl->initCount;
    return true;
}

void CLogger::Uninit() {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    if (m_impl->initCount > 0 && --m_impl->initCount == 0) {
        // The last user has gone: release the file. A later start sets a path again.
        m_impl->file.Close();
    }
}

bool CLogger::IsEnabled(int severity) const noexcept {
    try {
        return m_impl->severityTest && m_impl->severityTest(severity);
    } catch (...) {
        return false;
    }
}

void CLogger::Log(int severity, const std::wstring& message) noexcept {
    if (IsEnabled(severity)) {
        Write(severity, message);
    }
}

void CLogger::Write(int severity, const std::wstring& message) noexcept {
    try {
        const std::wstring line = FormatLine(Platform::Clock().NowUtc(), severity, message);
        Platform::OutputDebugLine(line);
        std::string bytes = ToFileBytes(line + L"\r\n");
        std::lock_guard<std::mutex> guard(m_impl->lock);
        if (m_impl->file.IsOpen()) {
            m_impl->file.Append(bytes.data(), bytes.size());
        } else if (m_impl->kept.size() < kMaxKeptLines) {
            m_impl->kept.push_back(std::move(bytes));
        }
    } catch (...) {
        // A statement that cannot be written is dropped.
    }
}

bool CLogger::SetFilePath(const std::wstring& path) noexcept {
    try {
        std::lock_guard<std::mutex> guard(m_impl->lock);
        std::string error;
        if (!m_impl->file.Open(path, error)) {
            // The lines stay kept, so a later path still receives them.
            ReportOnStandardError(m_impl->identity + ": cannot open the log file \"" +
                                  Platform::WideToUtf8(path) + "\": " + error);
            return false;
        }
        // The kept lines go first, in one write, so no line of another writer lands among
        // them.
        std::string backlog;
        for (const std::string& line : m_impl->kept) {
            backlog += line;
        }
        if (!backlog.empty()) {
            m_impl->file.Append(backlog.data(), backlog.size());
        }
        m_impl->kept.clear();
        m_impl->kept.shrink_to_fit();
        return true;
    } catch (...) {
        return false;
    }
}

const std::string& CLogger::ProcessIdentity() const {
    return m_impl->identity;
}

std::wstring ToLogText(const std::wstring& v) {
    return v;
}

std::wstring ToLogText(const wchar_t* v) {
    return v != nullptr ? std::wstring(v) : L"";
}

std::wstring ToLogText(std::string_view v) {
    return Platform::Utf8ToWide(std::string(v));
}

std::wstring ToLogText(const char* v) {
    return v != nullptr ? ToLogText(std::string_view(v)) : L"";
}

std::wstring ToLogText(long long v) {
    return std::to_wstring(v);
}

std::wstring ToLogText(unsigned long long v) {
    return std::to_wstring(v);
}

std::wstring ToLogText(double v) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, v);
    return Platform::WidenBytes(std::string(text, result.ptr));
}

}  // namespace Logging
