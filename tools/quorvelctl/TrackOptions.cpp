#include "TrackOptions.h"

#include <charconv>
#include <cmath>

#include "TrajectoryFile.h"

namespace quorvelctl {

namespace {

bool ReadNumber(const std::string& text, double& value) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    const auto r = std::from_chars(first, last, value);
    return !text.empty() && r.ec == std::errc() && r.ptr == last && std::isfinite(value);
}

bool ReadUnsigned(const std::string& text, unsigned& value) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// A number option with its accepted range (inclusive).
struct SNumberOption {
    const char* name;
    double low;
    double high;
    std::optional<double> STrackOptions::*field;
};

const SNumberOption kNumberOptions[] = {
    {"--lon-east", -180.0, 180.0, &STrackOptions::longitudeEastDeg},
    {"--lat", -90.0, 90.0, &STrackOptions::latitudeDeg},
    {"--elev", -6378140.0, 1e9, &STrackOptions::elevationM},
    {"--pressure", 0.0, 5000.0, &STrackOptions::pressureMb},
    {"--temp", -273.0, 6000.0, &STrackOptions::temperatureC},
    {"--limit-zenith", 0.0, 180.0, &STrackOptions::limitZenithDeg},
};

}  // namespace

std::string TrackUsage() {
    return "usage: quorvelctl track [--port N] [--baud B] [--lon-east DEG] [--lat DEG]\n"
           "                        [--elev M] [--pressure MB] [--temp C] [--limit-zenith DEG]\n"
           "                        [--days N] [--home-on-exit] [--no-alignment]\n"
           "                        [--log-ceiling C] [--time-scale X] [--clock-start T]\n"
           "\n"
           "Runs the heliostat without a display: generates the day's sun trajectory for the\n"
           "site, maps it through the alignment calibration, uploads it, starts it at its\n"
           "first time stamp, homes the instrument when it has finished and goes on with the\n"
           "next day. Started in the middle of a day it tracks the rest of today's window at\n"
           "once; started after sunset it waits for tomorrow. It prints one line per event\n"
           "with the local time and zone and writes the run's log file like the program.\n"
           "\n"
           "Site, options, alignment points and connection are those stored by the program\n"
           "(its Application Settings and Quorvel Settings); the options override them for\n"
           "this run only. Nothing is saved.\n"
           "  --port N, --baud B    COM port number and rate instead of the stored connection\n"
           "  --lon-east DEG        longitude, degrees east of Greenwich (-180..180)\n"
           "  --lat DEG             latitude, degrees north (-90..90)\n"
           "  --elev M              elevation, metres above sea level\n"
           "  --pressure MB         atmospheric pressure, millibars (0..5000)\n"
           "  --temp C              air temperature, degrees Celsius (-273..6000)\n"
           "  --limit-zenith DEG    clip each day's window at this zenith angle (0..180)\n"
           "  --days N              track N days, then exit 0; default: until stopped\n"
           "  --home-on-exit        home the instrument after SIGTERM or Ctrl+C\n"
           "  --no-alignment        do not map the trajectory through the alignment matrix\n"
           "  --log-ceiling C       highest severity written to the log (0..7); default the\n"
           "                        stored one\n"
           "  --time-scale X        rehearsal against quorvel-sim --time-scale X: the clock\n"
           "                        of this run goes X times faster than real time\n"
           "  --clock-start T       ... starting at local time T (\"YYYY-MM-DD HH:MM:SS\")\n"
           "\n"
           "SIGTERM or Ctrl+C stops the waiting start or the running trajectory (and homes\n"
           "with --home-on-exit) and exits 0. Exit status 1 when the instrument cannot be\n"
           "reached at start-up, 2 for a usage error.\n";
}

ETrackParse ParseTrackArguments(const std::vector<std::string>& args, STrackOptions& options,
                                std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h")
            return ETrackParse::Help;
        if (a == "--home-on-exit") {
            options.homeOnExit = true;
            continue;
        }
        if (a == "--no-alignment") {
            options.noAlignment = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = a.rfind("--", 0) == 0 ? a + " needs a value or is unknown"
                                          : "track takes no word \"" + a + "\"";
            return ETrackParse::Error;
        }
        const std::string& v = args[++i];
        bool known = false;
        for (const SNumberOption& n : kNumberOptions) {
            if (a != n.name)
                continue;
            known = true;
            double value = 0;
            if (!ReadNumber(v, value) || value < n.low || value > n.high) {
                error = a + " takes a number from " + std::to_string(n.low).substr(0, 8) + " to " +
                        std::to_string(n.high).substr(0, 8) + ", not \"" + v + "\"";
                return ETrackParse::Error;
            }
            options.*n.field = value;
        }
        if (known)
            continue;
        unsigned u = 0;
        if (a == "--port") {
            if (!ReadUnsigned(v, u) || u == 0 || u > 255) {
                error = "--port takes a COM port number 1..255, not \"" + v + "\"";
                return ETrackParse::Error;
            }
            options.port = u;
        } else if (a == "--baud") {
            if (!ReadUnsigned(v, u) || u == 0) {
                error = "--baud takes a rate in bits per second, not \"" + v + "\"";
                return ETrackParse::Error;
            }
            options.baud = u;
        } else if (a == "--days") {
            if (!ReadUnsigned(v, u) || u == 0 || u > 100000) {
                error = "--days takes a number of days from 1, not \"" + v + "\"";
                return ETrackParse::Error;
            }
            options.days = static_cast<int>(u);
        } else if (a == "--log-ceiling") {
            if (!ReadUnsigned(v, u) || u > 7) {
                error = "--log-ceiling takes 0..7, not \"" + v + "\"";
                return ETrackParse::Error;
            }
            options.logCeiling = static_cast<int>(u);
        } else if (a == "--time-scale") {
            double x = 0;
            if (!ReadNumber(v, x) || x < 1.0 || x > 1e6) {
                error = "--time-scale takes a factor from 1 to 1000000, not \"" + v + "\"";
                return ETrackParse::Error;
            }
            options.timeScale = x;
        } else if (a == "--clock-start") {
            const std::size_t space = v.find(' ');
            const std::optional<SFileStamp> stamp =
                space == std::string::npos
                    ? std::nullopt
                    : ParseFileStamp(v.substr(0, space), v.substr(space + 1));
            // Local civil time only: the rehearsal clock starts at a wall-clock reading.
            options.clockStart = stamp && !stamp->utcOffsetMinutes
                                     ? std::optional<SYSTEMTIME>(stamp->civil)
                                     : std::nullopt;
            if (!options.clockStart) {
                error =
                    "--clock-start takes a local time \"YYYY-MM-DD HH:MM:SS\", not \"" + v + "\"";
                return ETrackParse::Error;
            }
        } else {
            error = "unknown option " + a;
            return ETrackParse::Error;
        }
    }
    return ETrackParse::Run;
}

}  // namespace quorvelctl
