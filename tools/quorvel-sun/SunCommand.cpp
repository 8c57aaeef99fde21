#include "SunCommand.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <istream>
#include <ostream>
#include <vector>

#include "CommandLine.h"
#include "core/SunPositionSteps.h"

namespace QuorvelSun {

namespace {

constexpr const char* kUsage =
    "usage: quorvel-sun [position] --date YYYY-MM-DD --tz HOURS --lon-west DEG --lat DEG\n"
    "                   [--time HH:MM[:SS]] [--elev M] [--pressure MBAR] [--temp C]\n"
    "                   [--zenith-limit DEG] [--request BITS]\n"
    "       quorvel-sun [position] --batch < requests.csv > results.csv\n"
    "       quorvel-sun --help\n";

constexpr std::size_t kRequestFields = 14;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// Whole text must be the number; one leading '+' is allowed.
bool ParseInt(std::string_view s, std::int32_t& value) {
    if (s.size() > 1 && s.front() == '+' && s[1] != '-') {
        s.remove_prefix(1);
    }
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = s.find(separator);
        parts.push_back(s.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        s.remove_prefix(at + 1);
    }
}

// YYYY-MM-DD; the year may carry a sign (astronomical numbering, 0 = 1 BC).
bool ParseDate(std::string_view s, SunPositionRequest& r) {
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    const std::vector<std::string_view> parts = Split(s, '-');
    if (parts.size() != 3) {
        return false;
    }
    for (std::string_view part : parts) {
        if (part.empty() || part.front() == '+') {
            return false;
        }
    }
    if (!ParseInt(parts[0], r.year) || !ParseInt(parts[1], r.month) || !ParseInt(parts[2], r.day)) {
        return false;
    }
    if (negative) {
        r.year = -r.year;
    }
    return true;
}

// HH:MM or HH:MM:SS, local civil time.
bool ParseTime(std::string_view s, SunPositionRequest& r) {
    const std::vector<std::string_view> parts = Split(s, ':');
    if (parts.size() != 2 && parts.size() != 3) {
        return false;
    }
    for (std::string_view part : parts) {
        if (part.empty() || part.front() == '+' || part.front() == '-') {
            return false;
        }
    }
    r.second = 0;
    return ParseInt(parts[0], r.hour) && ParseInt(parts[1], r.minute) &&
           (parts.size() == 2 || ParseInt(parts[2], r.second));
}

void AppendDouble(std::string& out, double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    out += buffer;
}

void AppendInt(std::string& out, std::int32_t value) {
    out += std::to_string(value);
}

void AppendEvent(std::string& out, bool written, const SunEvent& e) {
    if (!written) {
        out += ",,,,,,,";
        return;
    }
    out += ',';
    AppendInt(out, e.valid);
    if (!e.valid) {
        out += ",,,,,,";
        return;
    }
    for (std::int32_t field : {e.year, e.month, e.day, e.hour, e.minute}) {
        out += ',';
        AppendInt(out, field);
    }
    out += ',';
    AppendDouble(out, e.second);
}

int Usage(std::ostream& err, const std::string& message) {
    err << "quorvel-sun: " << message << '\n' << kUsage;
    return kExitUsage;
}

std::string FormatEventText(const SunEvent& e, std::int32_t timeZone) {
    char buffer[64];
    // Three decimals must not round a second just below 60 up to "60.000".
    const double second = std::min(e.second, 59.999);
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%06.3f (local, UT%+d)", e.year,
                  e.month, e.day, e.hour, e.minute, second, timeZone);
    return buffer;
}

void PrintSingleResult(std::ostream& out, const SunPositionRequest& r, std::int32_t code,
                       const SunPositionResult& result) {
    out << "result: " << code << " (" << SunPositionCodeText(code) << ")\n";
    if (code != SUNPOS_OK) {
        return;
    }
    char buffer[96];
    if (r.request & SUNPOS_ALTAZ) {
        std::snprintf(buffer, sizeof buffer, "%.6f", result.altitude);
        out << "altitude: " << buffer << " deg (apparent, refracted)\n";
        std::snprintf(buffer, sizeof buffer, "%.6f", result.azimuthFromSouth);
        out << "azimuthFromSouth: " << buffer << " deg (from south, increasing westwards)\n";
    }
    if (r.request & SUNPOS_ZENAZ) {
        std::snprintf(buffer, sizeof buffer, "%.6f", result.zenith);
        out << "zenith: " << buffer << " deg (90 - apparent altitude)\n";
        std::snprintf(buffer, sizeof buffer, "%.6f", result.azimuth);
        out << "azimuth: " << buffer << " deg (from north, increasing eastwards)\n";
    }
    if ((r.request & (SUNPOS_ALTAZ | SUNPOS_ZENAZ)) && result.refracted == 0) {
        std::snprintf(
            buffer, sizeof buffer, "%g..%g mbar and %g..%g degrees Celsius",
            SolarPosition::kRefractionMinPressureMb, SolarPosition::kRefractionMaxPressureMb,
            SolarPosition::kRefractionMinTemperatureC, SolarPosition::kRefractionMaxTemperatureC);
        out << "refraction: not applied (the pressure or temperature lies outside the formula's "
               "range of "
            << buffer << "; the angles are geometric)\n";
    }
    if (r.request & SUNPOS_RISESET) {
        // Without a transit the sun never rises to the limit; with one it never drops below.
        const char* missing = result.transit.valid
                                  ? "none (the sun stays above the zenith limit all day)"
                                  : "none (the sun stays below the zenith limit all day)";
        const struct {
            const char* name;
            const SunEvent& event;
        } events[] = {
            {"sunrise", result.sunrise}, {"transit", result.transit}, {"sunset", result.sunset}};
        for (const auto& e : events) {
            out << e.name << ": "
                << (e.event.valid ? FormatEventText(e.event, r.timeZone) : std::string(missing))
                << '\n';
        }
    }
}

int RunBatch(std::istream& in, std::ostream& out, std::ostream& err) {
    std::string line;
    std::string error;
    std::size_t lineNumber = 0;
    bool allRead = true;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::string_view text = Trim(line);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        const std::optional<SunPositionRequest> request = ParseRequestCsv(text, error);
        if (!request) {
            err << "quorvel-sun: line " << lineNumber << ": " << error << '\n';
            out << EmptyResultCsv() << '\n';
            allRead = false;
            continue;
        }
        SunPositionResult result{};
        const std::int32_t code = CalculateSunPosition(*request, result);
        out << FormatResultCsv(*request, code, result) << '\n';
    }
    out.flush();
    return allRead ? kExitOk : kExitFailed;
}

}  // namespace

void PrintSunHelp(std::ostream& out) {
    out << kUsage
        << "\n"
           "Computes the sun's apparent position (topocentric, refracted) and the day's\n"
           "sunrise, transit and sunset for one local civil time and one site.\n"
           "\n"
           "Options (single request):\n"
           "  --date YYYY-MM-DD    local calendar date, year -2000..3000 (Gregorian calendar)\n"
           "  --time HH:MM[:SS]    local civil time, whole seconds; needed for request bits 1, 2\n"
           "  --tz HOURS           whole hours EAST of UT (UT = local - tz), -18..18;\n"
           "                       standard time, without daylight saving (Zurich +1)\n"
           "  --lon-west DEG       longitude, POSITIVE WEST of Greenwich, -180..180\n"
           "                       (Zurich -8.54, Golden, Colorado 105.1786)\n"
           "  --lat DEG            latitude, positive north, -90..90\n"
           "  --elev M             elevation above sea level in metres (default 0)\n"
           "  --pressure MBAR      air pressure in millibars, 0..5000 (default 1010)\n"
           "  --temp C             air temperature in degrees Celsius (default 10)\n"
           "  --zenith-limit DEG   zenith angle at which the sun counts as risen or set,\n"
           "                       0..180 (default 90.8333: upper limb, standard refraction)\n"
           "  --request BITS       sum of 1 (altitude, azimuthFromSouth), 2 (zenith, azimuth),\n"
           "                       4 (sunrise, sunset, transit); default 7\n"
           "  --batch              read requests as CSV from standard input (no other options)\n"
           "  --help               this text\n"
           "\n"
           "Angles are degrees. altitude is the apparent (refracted) altitude; zenith is\n"
           "90 - altitude. azimuthFromSouth runs from south towards WEST, azimuth from north\n"
           "towards EAST, both in [0, 360]. Event times are local civil time in the zone --tz.\n"
           "\n"
           "Batch input: one request per line, 14 comma-separated fields in this order:\n"
           "  year,month,day,hour,minute,second,timeZone,longitude,latitude,elevation,\n"
           "  pressure,temperature,zenithLimit,request\n"
           "with the units and signs above (longitude positive west, timeZone hours east of UT).\n"
           "Empty lines and lines starting with # are skipped.\n"
           "\n"
           "Batch output: one line per request, no header, 26 columns:\n"
           "  1     code (0 success; 1..14 the first field out of range, in input order)\n"
           "  2-3   altitude, azimuthFromSouth            (request bit 1)\n"
           "  4-5   zenith, azimuth                       (request bit 2)\n"
           "  6-12  sunrise: valid,year,month,day,hour,minute,second   (request bit 4)\n"
           "  13-19 sunset:  the same\n"
           "  20-26 transit: the same\n"
           "Columns the request does not ask for, the remaining columns of a non-zero code, and\n"
           "the date and time of an event whose valid is 0 are empty. Numbers are printed with\n"
           "17 significant digits. A line that cannot be read gives a line with every column\n"
           "empty (the code too) and a message with its line number on standard error.\n"
           "\n"
           "Exit status: 0 success; 1 the request was refused (single request) or a batch line\n"
           "could not be read; 2 bad options.\n";
}

std::optional<SunPositionRequest> ParseRequestCsv(std::string_view line, std::string& error) {
    static constexpr const char* kNames[kRequestFields] = {
        "year",      "month",    "day",       "hour",     "minute",      "second",      "timeZone",
        "longitude", "latitude", "elevation", "pressure", "temperature", "zenithLimit", "request"};
    const std::vector<std::string_view> fields = Split(line, ',');
    if (fields.size() != kRequestFields) {
        error = "expected 14 comma-separated fields, found " + std::to_string(fields.size());
        return std::nullopt;
    }
    SunPositionRequest r{};
    std::int32_t* const ints[kRequestFields] = {
        &r.year, &r.month, &r.day,  &r.hour, &r.minute, &r.second, &r.timeZone,
        nullptr, nullptr,  nullptr, nullptr, nullptr,   nullptr,   &r.request};
    double* const doubles[kRequestFields] = {
        nullptr,     nullptr,        nullptr,        nullptr,     nullptr,
        nullptr,     nullptr,        &r.longitude,   &r.latitude, &r.elevation,
        &r.pressure, &r.temperature, &r.zenithLimit, nullptr};
    for (std::size_t i = 0; i < kRequestFields; ++i) {
        const std::string_view text = Trim(fields[i]);
        const bool ok = ints[i] ? ParseInt(text, *ints[i]) : ParseDouble(text, *doubles[i]);
        if (!ok) {
            error = "field " + std::to_string(i + 1) + " (" + kNames[i] + "): '" +
                    std::string(text) + "' is not " + (ints[i] ? "a whole number" : "a number");
            return std::nullopt;
        }
    }
    return r;
}

std::string FormatResultCsv(const SunPositionRequest& request, std::int32_t code,
                            const SunPositionResult& result) {
    const bool ok = code == SUNPOS_OK;
    std::string out;
    out.reserve(256);
    AppendInt(out, code);
    out += ',';
    if (ok && (request.request & SUNPOS_ALTAZ)) {
        AppendDouble(out, result.altitude);
        out += ',';
        AppendDouble(out, result.azimuthFromSouth);
    } else {
        out += ',';
    }
    out += ',';
    if (ok && (request.request & SUNPOS_ZENAZ)) {
        AppendDouble(out, result.zenith);
        out += ',';
        AppendDouble(out, result.azimuth);
    } else {
        out += ',';
    }
    const bool events = ok && (request.request & SUNPOS_RISESET);
    AppendEvent(out, events, result.sunrise);
    AppendEvent(out, events, result.sunset);
    AppendEvent(out, events, result.transit);
    return out;
}

std::string EmptyResultCsv() {
    return std::string(25, ',');
}

int RunSunCommand(std::span<const std::string> args, std::istream& in, std::ostream& out,
                  std::ostream& err) {
    SunPositionRequest r{};
    r.timeZone = 0;
    r.elevation = 0.0;
    r.pressure = 1010.0;
    r.temperature = 10.0;
    r.zenithLimit = 90.8333;
    r.request = SUNPOS_ALTAZ | SUNPOS_ZENAZ | SUNPOS_RISESET;
    bool batch = false;
    bool haveDate = false, haveTime = false, haveTz = false, haveLon = false, haveLat = false;
    std::size_t optionCount = 0;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            PrintSunHelp(out);
            return kExitOk;
        }
        if (arg == "--batch") {
            batch = true;
            continue;
        }
        std::string error;
        const std::optional<CommandOption> option = TakeOption(args, i, error);
        if (!option) {
            return Usage(err, error);
        }
        const std::string_view name = option->name;
        const std::string_view value = option->value;
        ++optionCount;
        const std::string bad = "bad value '" + std::string(value) + "' for " + std::string(name);
        if (name == "--date") {
            if (!ParseDate(value, r))
                return Usage(err, bad + " (expected YYYY-MM-DD)");
            haveDate = true;
        } else if (name == "--time") {
            if (!ParseTime(value, r))
                return Usage(err, bad + " (expected HH:MM or HH:MM:SS)");
            haveTime = true;
        } else if (name == "--tz") {
            if (!ParseInt(value, r.timeZone))
                return Usage(err, bad + " (expected whole hours)");
            haveTz = true;
        } else if (name == "--lon-west") {
            if (!ParseDouble(value, r.longitude))
                return Usage(err, bad + " (expected degrees)");
            haveLon = true;
        } else if (name == "--lat") {
            if (!ParseDouble(value, r.latitude))
                return Usage(err, bad + " (expected degrees)");
            haveLat = true;
        } else if (name == "--elev") {
            if (!ParseDouble(value, r.elevation))
                return Usage(err, bad + " (expected metres)");
        } else if (name == "--pressure") {
            if (!ParseDouble(value, r.pressure))
                return Usage(err, bad + " (expected millibars)");
        } else if (name == "--temp") {
            if (!ParseDouble(value, r.temperature)) {
                return Usage(err, bad + " (expected degrees Celsius)");
            }
        } else if (name == "--zenith-limit") {
            if (!ParseDouble(value, r.zenithLimit))
                return Usage(err, bad + " (expected degrees)");
        } else if (name == "--request") {
            if (!ParseInt(value, r.request))
                return Usage(err, bad + " (expected 0..7)");
        } else {
            return Usage(err, "unknown option " + std::string(name));
        }
    }

    if (batch) {
        if (optionCount != 0) {
            return Usage(err, "--batch takes no other options: every request is a CSV line");
        }
        return RunBatch(in, out, err);
    }
    if (args.empty()) {
        return Usage(err, "no request given");
    }
    const bool wantsPosition = (r.request & (SUNPOS_ALTAZ | SUNPOS_ZENAZ)) != 0;
    for (const auto& [have, option] :
         {std::pair{haveDate, "--date"}, std::pair{haveTz, "--tz"},
          std::pair{haveLon, "--lon-west"}, std::pair{haveLat, "--lat"},
          std::pair{haveTime || !wantsPosition, "--time"}}) {
        if (!have) {
            return Usage(err, std::string("missing ") + option);
        }
    }
    SunPositionResult result{};
    const std::int32_t code = CalculateSunPosition(r, result);
    PrintSingleResult(out, r, code, result);
    return code == SUNPOS_OK ? kExitOk : kExitFailed;
}

}  // namespace QuorvelSun
