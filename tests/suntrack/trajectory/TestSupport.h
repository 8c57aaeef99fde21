// Test peers for the sun-tracking tests: a logger whose lines can be read back, a fake
// heliostat panel, a scoped time zone and a scoped manual clock.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "TestProcess.h"
#include "TestZone.h"
#include "core/MatrixDump.h"
#include "core/SiteSun.h"
#include "core/TrajectoryPanel.h"
#include "logging/Logger.h"
#include "platform/Clock.h"

namespace SuntrackTest {

// The program's logger writing into a private file; Messages() reads back the message part of
// every line (the text after "]: "), dumps with their embedded newlines intact.
class CLogCapture {
public:
    explicit CLogCapture(int ceiling = Logging::Debug)
        : m_ceiling(ceiling),
          m_logger("Quorvel", [this](int severity) { return severity <= m_ceiling.load(); }),
          m_path(UniquePath()) {
        m_logger.Init();
        m_logger.SetFilePath(m_path.wstring());
    }
    ~CLogCapture() {
        m_logger.Uninit();
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }

    Suntrack::LogTarget Target() { return {m_logger}; }
    Logging::CLogger& Logger() { return m_logger; }
    void SetCeiling(int ceiling) { m_ceiling = ceiling; }

    std::vector<std::wstring> Messages() const {
        std::ifstream in(m_path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        std::wstring text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        std::vector<std::wstring> messages;
        std::size_t begin = 0;
        for (std::size_t end; (end = text.find(L"\r\n", begin)) != std::wstring::npos;
             begin = end + 2) {
            const std::wstring line = text.substr(begin, end - begin);
            const std::size_t body = line.find(L"]: ");
            messages.push_back(body == std::wstring::npos ? line : line.substr(body + 3));
        }
        return messages;
    }

    // How many messages begin with `prefix`.
    int CountStartingWith(const std::wstring& prefix) const {
        int n = 0;
        for (const std::wstring& m : Messages()) {
            n += m.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return n;
    }
    bool Contains(const std::wstring& message) const {
        for (const std::wstring& m : Messages()) {
            if (m == message) {
                return true;
            }
        }
        return false;
    }
    // The first message that begins with `prefix`, if any.
    std::optional<std::wstring> FindStartingWith(const std::wstring& prefix) const {
        for (const std::wstring& m : Messages()) {
            if (m.rfind(prefix, 0) == 0) {
                return m;
            }
        }
        return std::nullopt;
    }

private:
    static std::filesystem::path UniquePath() {
        static std::atomic<int> counter{0};
        return std::filesystem::temp_directory_path() /
               ("quorvel-suntrack-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
                ".log");
    }

    std::atomic<int> m_ceiling;
    Logging::CLogger m_logger;
    std::filesystem::path m_path;
};

struct ShownMessage {
    std::wstring text;
    UINT type;
};

class CFakePanel : public Suntrack::ITrajectoryPanel {
public:
    bool limitMaxZenith = false;
    bool useAlignment = false;
    int answer = IDYES;  // button pressed on a Yes/No question
    std::vector<ShownMessage> shown;
    std::optional<SYSTEMTIME> startTimeSet;
    std::optional<bool> multiDay;
    CArray<SYSTEMTIME> times;
    CArray<double> azimuths;
    CArray<double> zeniths;

    bool IsLimitMaxZenithChecked() const override { return limitMaxZenith; }
    bool IsUseAlignmentChecked() const override { return useAlignment; }
    void SetStartTime(const SYSTEMTIME& local) override { startTimeSet = local; }
    int ShowMessage(const std::wstring& text, UINT type) override {
        shown.push_back({text, type});
        return (type & 0x0F) == MB_YESNO ? answer : IDOK;
    }
    CArray<SYSTEMTIME>& TrajectoryTimes() override { return times; }
    CArray<double>& TrajectoryAzimuths() override { return azimuths; }
    CArray<double>& TrajectoryZeniths() override { return zeniths; }
    void SetMultiDay(bool value) override { multiDay = value; }
};

// The zone of local time for the scope, given as a POSIX rule, on every system.
using CTimeZoneScope = QuorvelTest::CZoneScope;

inline constexpr const char* kLondonTz = "GMT0BST,M3.5.0/1,M10.5.0";
inline constexpr const char* kZurichTz = "CET-1CEST,M3.5.0,M10.5.0/3";
inline constexpr const char* kKolkataTz = "IST-5:30";
inline constexpr const char* kUtcTz = "UTC0";
inline constexpr const char* kLosAngelesTz = "PST8PDT,M3.2.0,M11.1.0";

// Sites of the zone tests: Los Angeles and Zurich (longitude east, latitude, elevation,
// pressure, temperature).
inline Suntrack::SiteParameters LosAngelesSite() {
    return {-118.2437, 34.0522, 71.0, 1013.0, 20.0};
}
inline Suntrack::SiteParameters ZurichSite() {
    return {8.5417, 47.3769, 408.0, 1013.0, 15.0};
}

inline SYSTEMTIME Local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return Platform::MakeSystemTime(y, mo, d, h, mi, s);
}

// Seconds since 1970 UTC -> ticks of the process clock.
inline Platform::Ticks TicksOfUnixSeconds(std::int64_t seconds) {
    return static_cast<Platform::Ticks>(seconds + 11'644'473'600LL) * Platform::kTicksPerSecond;
}

// Installs a manual clock at `utcSeconds` for the scope.
class CClockScope {
public:
    explicit CClockScope(std::int64_t utcSeconds) : m_clock(TicksOfUnixSeconds(utcSeconds)) {
        Platform::SetClock(&m_clock);
    }
    ~CClockScope() { Platform::SetClock(nullptr); }
    Platform::CManualClock& Clock() { return m_clock; }

private:
    Platform::CManualClock m_clock;
};

}  // namespace SuntrackTest
