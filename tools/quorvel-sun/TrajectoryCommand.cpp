#include "TrajectoryCommand.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>

#include "CommandLine.h"
#include "SunCommand.h"
#include "core/SiteSun.h"
#include "core/SunPosition.h"
#include "core/TrajectoryGenerator.h"
#include "logging/Logger.h"
#include "platform/Clock.h"
#include "platform/TextConvert.h"

namespace QuorvelSun {

namespace {

constexpr const char* kUsage =
    "usage: quorvel-sun trajectory --start \"YYYY-MM-DD HH:MM:SS\" --stop \"YYYY-MM-DD HH:MM:SS\"\n"
    "                   --lon-west DEG --lat DEG [--elev M] [--pressure MBAR] [--temp C]\n"
    "                   [--limit-zenith DEG] [--alignment FILE] [--yes]\n"
    "       quorvel-sun trajectory --help\n";

int Usage(std::ostream& err, const std::string& message) {
    err << "quorvel-sun trajectory: " << message << '\n' << kUsage;
    return kExitUsage;
}

bool ParseFixed(std::string_view s, int& value) {
    if (s.empty()) {
        return false;
    }
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    std::from_chars(s.data(), s.data() + s.size(), value);
    return true;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string Narrow(const std::wstring& text) {
    return Platform::WideToUtf8(text);
}

// The panel as a command line sees it: the options stand for the check boxes, a question is
// answered by --yes, and boxes become lines on standard error.
class CCommandLinePanel final : public Suntrack::ITrajectoryPanel {
public:
    CCommandLinePanel(bool limitMaxZenith, bool useAlignment, bool answerYes, std::ostream& err)
        : m_limitMaxZenith(limitMaxZenith),
          m_useAlignment(useAlignment),
          m_answerYes(answerYes),
          m_err(err) {}

    bool IsLimitMaxZenithChecked() const override { return m_limitMaxZenith; }
    bool IsUseAlignmentChecked() const override { return m_useAlignment; }
    void SetStartTime(const SYSTEMTIME& local) override {
        m_err << "quorvel-sun trajectory: the start time is now " << FormatLocalDateTime(local)
              << '\n';
    }
    int ShowMessage(const std::wstring& text, UINT type) override {
        const bool question = (type & 0x0F) == MB_YESNO;
        m_err << "quorvel-sun trajectory: " << Narrow(text) << '\n';
        if (!question) {
            return IDOK;
        }
        if (!m_answerYes) {
            m_err << "quorvel-sun trajectory: answered No (give --yes to answer Yes)\n";
        }
        return m_answerYes ? IDYES : IDNO;
    }
    CArray<SYSTEMTIME>& TrajectoryTimes() override { return times; }
    CArray<double>& TrajectoryAzimuths() override { return azimuths; }
    CArray<double>& TrajectoryZeniths() override { return zeniths; }
    void SetMultiDay(bool value) override { multiDay = value; }

    CArray<SYSTEMTIME> times;
    CArray<double> azimuths;
    CArray<double> zeniths;
    bool multiDay = false;

private:
    bool m_limitMaxZenith;
    bool m_useAlignment;
    bool m_answerYes;
    std::ostream& m_err;
};

// "+HH:MM" or "-HH:MM": the UTC offset of a point's local stamp, so that the hour repeated
// when daylight saving ends reads back as the instants it stands for. The points are in time
// order, so a repeated stamp is the first of its instants after the point before it.
std::string UtcOffsetText(const SYSTEMTIME& local, std::optional<std::int64_t>& previous) {
    const std::vector<std::int64_t> instants = Platform::LocalTimeInstants(local);
    if (instants.empty()) {
        return {};
    }
    std::int64_t instant = instants.front();
    for (const std::int64_t candidate : instants) {
        instant = candidate;
        if (!previous || candidate > *previous) {
            break;
        }
    }
    previous = instant;
    const int offset = Platform::UtcOffsetMinutesAt(instant);
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d:%02d", offset < 0 ? '-' : '+', std::abs(offset) / 60,
                  std::abs(offset) % 60);
    return text;
}

}  // namespace

std::optional<SYSTEMTIME> ParseLocalDateTime(std::string_view text) {
    // YYYY-MM-DD HH:MM:SS, exactly 19 characters.
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' ||
        (text[10] != ' ' && text[10] != 'T') || text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!ParseFixed(text.substr(0, 4), year) || !ParseFixed(text.substr(5, 2), month) ||
        !ParseFixed(text.substr(8, 2), day) || !ParseFixed(text.substr(11, 2), hour) ||
        !ParseFixed(text.substr(14, 2), minute) || !ParseFixed(text.substr(17, 2), second)) {
        return std::nullopt;
    }
    if (year < 1970 || year > 3000 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    return Platform::MakeSystemTime(year, month, day, hour, minute, second);
}

std::string FormatLocalDateTime(const SYSTEMTIME& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.wYear},
                  unsigned{t.wMonth}, unsigned{t.wDay}, unsigned{t.wHour}, unsigned{t.wMinute},
                  unsigned{t.wSecond});
    return text;
}

std::optional<std::vector<Suntrack::AlignmentObservation>> ParseAlignmentFile(std::istream& in,
                                                                              std::string& error) {
    std::vector<Suntrack::AlignmentObservation> points;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::istringstream fields(line);
        std::string first;
        if (!(fields >> first) || first.front() == '#') {
            continue;
        }
        double values[4] = {};
        std::string word = first;
        int count = 0;
        do {
            if (count == 4 || !ParseDouble(word, values[count])) {
                error = "line " + std::to_string(lineNumber) +
                        ": expected four numbers \"sunAz sunZe quorvelAz quorvelZe\"";
                return std::nullopt;
            }
            ++count;
        } while (fields >> word);
        if (count != 4) {
            error = "line " + std::to_string(lineNumber) +
                    ": expected four numbers \"sunAz sunZe quorvelAz quorvelZe\"";
            return std::nullopt;
        }
        points.push_back({values[0], values[1], values[2], values[3]});
    }
    if (points.size() != 3) {
        error = "expected three data points, found " + std::to_string(points.size());
        return std::nullopt;
    }
    return points;
}

void PrintTrajectoryHelp(std::ostream& out) {
    out << kUsage
        << "\n"
           "Builds the heliostat trajectory for a tracking window as the program does: the\n"
           "window is clipped to the sun's day at the site (the one under way at the start, else\n"
           "the next: its sunrise and the sunset that follows it, also when that falls on the\n"
           "next date), a stop 24 hours or more after the start (or in year 3000, \"until\n"
           "stopped\") becomes that day's sunset, and\n"
           "the points are spaced 60 s apart, or 15 s more at a time until at most 700 fit.\n"
           "\n"
           "Options:\n"
           "  --start, --stop T    local civil time of this computer, \"YYYY-MM-DD HH:MM:SS\";\n"
           "                       the host's time zone and daylight saving rules apply\n"
           "  --lon-west DEG       longitude, POSITIVE WEST of Greenwich, -180..180\n"
           "  --lat DEG            latitude, positive north, -90..90\n"
           "  --elev M             elevation above sea level in metres (default 0)\n"
           "  --pressure MBAR      air pressure in millibars, 0..5000 (default 1010)\n"
           "  --temp C             air temperature in degrees Celsius (default 10)\n"
           "  --limit-zenith DEG   clip to sunrise/sunset at this zenith angle, 0..180, instead\n"
           "                       of 90.8333\n"
           "  --alignment FILE     map the points into the instrument frame with the matrix\n"
           "                       fitted from FILE: three lines \"sunAz sunZe quorvelAz\n"
           "                       quorvelZe\" in degrees ('#' starts a comment line)\n"
           "  --yes                answer Yes when the start lies in the past (start 5 minutes\n"
           "                       from now instead); without it the command stops there\n"
           "\n"
           "Output (what quorvelctl run-trajectory reads): lines beginning with '#' give the\n"
           "window and the spacing:\n"
           "  # start YYYY-MM-DD HH:MM:SS\n"
           "  # stop YYYY-MM-DD HH:MM:SS\n"
           "  # spacing SECONDS\n"
           "  # points N\n"
           "  # multi-day 0|1\n"
           "then one line per point: local time stamp with its UTC offset, azimuth (degrees\n"
           "from north towards east), zenith (degrees), separated by commas, e.g.\n"
           "  2026-06-21 04:43:00+02:00,48.123456,90.456789\n"
           "The offset tells the two passes of the hour repeated when daylight saving ends\n"
           "apart.\n"
           "Messages go to standard error. Exit status: 0 success; 1 nothing generated (start\n"
           "in the past without --yes, stop before start, no daylight in the window, unusable\n"
           "alignment file); 2 bad options.\n";
}

int RunTrajectoryCommand(std::span<const std::string> args, std::istream& /*in*/, std::ostream& out,
                         std::ostream& err) {
    std::optional<SYSTEMTIME> start;
    std::optional<SYSTEMTIME> stop;
    Suntrack::TrajectorySettings settings;
    settings.site.pressureMb = 1010.0;
    settings.site.temperatureC = 10.0;
    bool haveLon = false, haveLat = false, limitZenith = false, answerYes = false;
    std::string alignmentFile;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            PrintTrajectoryHelp(out);
            return kExitOk;
        }
        if (arg == "--yes") {
            answerYes = true;
            continue;
        }
        std::string error;
        const std::optional<CommandOption> option = TakeOption(args, i, error);
        if (!option) {
            return Usage(err, error);
        }
        const std::string_view name = option->name;
        const std::string_view value = option->value;
        const std::string bad = "bad value '" + std::string(value) + "' for " + std::string(name);
        double lonWest = 0.0;
        if (name == "--start" || name == "--stop") {
            const auto t = ParseLocalDateTime(value);
            if (!t) {
                return Usage(err, bad + " (expected \"YYYY-MM-DD HH:MM:SS\", 1970..3000)");
            }
            (name == "--start" ? start : stop) = t;
        } else if (name == "--lon-west") {
            if (!ParseDouble(value, lonWest)) {
                return Usage(err, bad + " (expected degrees)");
            }
            settings.site.longitudeEastDeg = -lonWest;
            haveLon = true;
        } else if (name == "--lat") {
            if (!ParseDouble(value, settings.site.latitudeDeg)) {
                return Usage(err, bad + " (expected degrees)");
            }
            haveLat = true;
        } else if (name == "--elev") {
            if (!ParseDouble(value, settings.site.elevationM)) {
                return Usage(err, bad + " (expected metres)");
            }
        } else if (name == "--pressure") {
            if (!ParseDouble(value, settings.site.pressureMb)) {
                return Usage(err, bad + " (expected millibars)");
            }
        } else if (name == "--temp") {
            if (!ParseDouble(value, settings.site.temperatureC)) {
                return Usage(err, bad + " (expected degrees Celsius)");
            }
        } else if (name == "--limit-zenith") {
            if (!ParseDouble(value, settings.maxZenithDeg) || settings.maxZenithDeg < 0.0 ||
                settings.maxZenithDeg > 180.0) {
                return Usage(err, bad + " (expected degrees, 0..180)");
            }
            limitZenith = true;
        } else if (name == "--alignment") {
            alignmentFile = std::string(value);
        } else {
            return Usage(err, "unknown option " + std::string(name));
        }
    }
    for (const auto& [have, option] :
         {std::pair{start.has_value(), "--start"}, std::pair{stop.has_value(), "--stop"},
          std::pair{haveLon, "--lon-west"}, std::pair{haveLat, "--lat"}}) {
        if (!have) {
            return Usage(err, std::string("missing ") + option);
        }
    }
    // The site is checked once here, so that a bad value is named instead of every point
    // failing.
    const Suntrack::SunSample probe = Suntrack::SunAtLocalTime(settings.site, *start);
    if (probe.errorCode >= SUNPOS_BAD_LONGITUDE) {
        return Usage(err, std::string("bad site: ") + SunPositionCodeText(probe.errorCode));
    }
    if (probe.Valid() && !probe.refracted) {
        err << "quorvel-sun trajectory: the pressure or temperature lies outside the range of "
               "the refraction formula; the points are not corrected for refraction\n";
    }

    // The program logs these steps at Debug; a command line has the messages above instead.
    Logging::CLogger logger("Quorvel", [](int) { return false; });
    const Suntrack::LogTarget log{logger};

    Suntrack::CAlignmentModel alignment;
    if (!alignmentFile.empty()) {
        std::ifstream file(alignmentFile);
        if (!file) {
            err << "quorvel-sun trajectory: cannot read the alignment file \"" << alignmentFile
                << "\"\n";
            return kExitFailed;
        }
        std::string error;
        const auto points = ParseAlignmentFile(file, error);
        if (!points) {
            err << "quorvel-sun trajectory: alignment file \"" << alignmentFile << "\": " << error
                << '\n';
            return kExitFailed;
        }
        if (!alignment.Calculate(*points, log)) {
            err << "quorvel-sun trajectory: alignment file \"" << alignmentFile
                << "\": the data points are nearly linearly dependent (too close together or "
                   "in one plane); no usable alignment\n";
            return kExitFailed;
        }
    }

    const Suntrack::CTrajectoryGenerator generator(log, alignment);
    CCommandLinePanel panel(limitZenith, !alignmentFile.empty(), answerYes, err);
    SYSTEMTIME windowStart = *start;
    SYSTEMTIME windowStop = *stop;
    if (!generator.AdjustTrajectoryWindow(windowStart, panel, windowStop, settings)) {
        return kExitFailed;
    }
    int spacing = 0;
    if (!generator.GenerateTrajectory(panel, spacing, windowStart, windowStop, settings)) {
        err << "quorvel-sun trajectory: no trajectory could be computed for this window\n";
        return kExitFailed;
    }

    out << "# start " << FormatLocalDateTime(windowStart) << '\n'
        << "# stop " << FormatLocalDateTime(windowStop) << '\n'
        << "# spacing " << spacing << '\n'
        << "# points " << panel.times.GetSize() << '\n'
        << "# multi-day " << (panel.multiDay ? 1 : 0) << '\n';
    char numbers[64];
    std::optional<std::int64_t> previous;
    for (long long k = 0; k < panel.times.GetSize(); ++k) {
        std::snprintf(numbers, sizeof numbers, ",%.6f,%.6f\n", panel.azimuths[k], panel.zeniths[k]);
        out << FormatLocalDateTime(panel.times[k]) << UtcOffsetText(panel.times[k], previous)
            << numbers;
    }
    return out ? kExitOk : kExitFailed;
}

}  // namespace QuorvelSun
