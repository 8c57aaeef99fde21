#include "CtlOptions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/TextConvert.h"

namespace quorvelctl {

namespace {

std::string Printable(const std::string& text) {
    return Platform::PrintableBytes(text);
}

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty())
        return false;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (*first == '+')
        ++first;
    const auto r = std::from_chars(first, last, value);
    return r.ec == std::errc() && r.ptr == last;
}

// A duration in seconds that a steady_clock reading can take: finite, above 0 and at most
// ten years (the tools' "no limit" is fifty).
constexpr double kMaxDurationS = 10.0 * 365 * 86400;

// The instrument's fastest move and jog, degrees per second (the manual panel's limit).
constexpr double kMaxSpeedDegPerS = 120.0;

bool ParseDuration(const std::string& text, double& seconds) {
    return ParseNumber(text, seconds) && std::isfinite(seconds) && seconds > 0 &&
           seconds <= kMaxDurationS;
}

bool ParseUnsigned(const std::string& text, unsigned& value) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

struct SCommandShape {
    const char* name;
    std::size_t minNumbers;
    std::size_t maxNumbers;
};

const SCommandShape kCommands[] = {
    {"id", 0, 0},
    {"status", 0, 0},
    {"position", 0, 0},
    {"velocity", 0, 0},
    {"home", 0, 0},
    {"move-abs", 2, 3},
    {"move-rel", 3, 3},
    {"jog", 2, 2},
    {"stop", 0, 0},
    {"offset", 2, 2},
    {"monitor", 1, 1},
    {"settings", 0, 0},
    {"run-trajectory", 0, 0},
    {"detect", 0, 0},
};

}  // namespace

std::string Usage() {
    return "usage: quorvelctl --port N [--baud B] [--timeout S] [--log FILE] [--log-ceiling C] "
           "COMMAND\n"
           "       quorvelctl settings export|import FILE\n"
           "       quorvelctl detect [--port N]... [--baud B] [--timeout S] [--all]\n"
           "       quorvelctl track [OPTIONS]   the heliostat unattended; see track --help\n"
           "\n"
           "Connects to the Quorvel on COM port N (default 115200 baud), waits for its first\n"
           "status, runs COMMAND, waits for its outcome and prints every notification of the\n"
           "driver as one line. Exit status 0 on success; 1 after an error notification, a\n"
           "port failure or a lost link, a refused call or a time-out - whenever a failure\n"
           "was reported during the command (the operator text goes to standard error); 2\n"
           "for a usage error, including a velocity the instrument refuses (at or below 0,\n"
           "above 120 deg/s) and numbers or durations that are not finite.\n"
           "\n"
           "Commands (angles in degrees, azimuth from north towards east, zenith from the\n"
           "vertical; rates in degrees per second):\n"
           "  id                     identification (leading, product, trailing fields)\n"
           "  status                 query the status set\n"
           "  position               query azimuth and zenith\n"
           "  velocity               query the azimuth and zenith rates\n"
           "  home                   home the instrument; waits for \"!H:1\"\n"
           "  move-abs AZ ZE [VEL]   move to a position; waits for \"!P:1\"\n"
           "  move-rel AZ ZE VEL     move by an amount at a speed; waits for \"!P:1\"\n"
           "  jog AZRATE ZERATE --for SECONDS\n"
           "                         move at the rates for SECONDS, then stop the motion\n"
           "  stop all|motion|trajectory\n"
           "                         stop everything, the motion, or the running trajectory\n"
           "  offset AZ ZE           set the axis offset (whole degrees)\n"
           "  monitor SECONDS        print notifications, polling the position every second\n"
           "  run-trajectory FILE [--period S] [--index I] [--no-start] [--home]\n"
           "                 [--record CSV]\n"
           "                         upload the trajectory in FILE with a progress bar, start\n"
           "                         it at the stamp of point I (default 0; at least 10 s\n"
           "                         ahead), wait until it has finished, then home with\n"
           "                         --home; --no-start only uploads. The period S (whole\n"
           "                         seconds) defaults to the spacing of the first two stamps\n"
           "                         (60 s for a single point). Ctrl+C cancels the upload or\n"
           "                         the waiting start, or stops the running trajectory.\n"
           "                         --record CSV polls the position four times a second\n"
           "                         while it runs and appends the tracking record (UTC\n"
           "                         time, commanded and reported azimuth/zenith, tracking\n"
           "                         error) to CSV, with the day summary at the end.\n"
           "  settings export FILE   write the program's settings as registry text (FILE is a\n"
           "                         regular file, written through a link, or a new name)\n"
           "  settings import FILE   read registry text into the program's settings\n"
           "  detect                 find the Quorvel: ask every present port (or each --port)\n"
           "                         who it is (\"I?\") at the stored baud rate (or --baud B),\n"
           "                         then 115200, then the other rates from the fastest down,\n"
           "                         at most --timeout S (default 1 s) a silent port; print\n"
           "                         one line per instrument found: COM name, baud rate,\n"
           "                         device, product, leading,trailing fields, description.\n"
           "                         --all also prints each other port with why it was\n"
           "                         skipped. Exit status 0 when one was found, 1 when none.\n"
           "\n"
           "Time limits: 5 s for queries, 300 s for moves and homing, none for a trajectory;\n"
           "--timeout S (up to ten years) replaces them. A lost link ends every wait, and a\n"
           "move polls the status every 2 s, so a move the instrument refused or never got\n"
           "is reported within seconds.\n"
           "\n"
           "Trajectory file (as quorvel-sun trajectory writes it): one point a line, time\n"
           "stamp \"YYYY-MM-DD HH:MM:SS\" with an optional UTC offset (\"+01:00\", \"Z\";\n"
           "without one, local time), azimuth, zenith in degrees, separated by commas or\n"
           "white space; lines beginning with '#' are skipped. Stamps are compared as\n"
           "instants, so the hour repeated when daylight saving ends reads in order. At\n"
           "most 700 points and 1024 bytes a line. A bad line is reported with its number\n"
           "and nothing is uploaded. Ctrl+C exits with status 130.\n"
           "--log FILE appends the driver's log to FILE; --log-ceiling C (0..7, default 6)\n"
           "chooses how much it writes (7 includes every command sent).\n"
           "\n"
           "Port mapping: COM port N is the device that the link COM<N> in the port folder\n"
           "points at ($QUORVEL_PORT_DIR, by default $XDG_CONFIG_HOME/Pelvarin/Quorvel Control\n"
           "Software/ports, e.g. a link to /dev/serial/by-id/... or to the pseudo-terminal of\n"
           "quorvel-sim). Without such a link COM1-COM32 are /dev/ttyS0-31, COM33-COM64\n"
           "/dev/ttyUSB0-31 and COM65-COM96 /dev/ttyACM0-31.\n";
}

EParse ParseArguments(const std::vector<std::string>& args, SOptions& options, std::string& error) {
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> const std::string* {
            if (i + 1 >= args.size()) {
                error = std::string(name) + " needs a value";
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "--help" || a == "-h")
            return EParse::Help;
        if (a == "--port") {
            const std::string* v = value("--port");
            if (!v)
                return EParse::Error;
            if (!ParseUnsigned(*v, options.port) || options.port == 0 || options.port > 255) {
                error = "--port takes a COM port number 1..255, not \"" + Printable(*v) + "\"";
                return EParse::Error;
            }
            options.ports.push_back(options.port);
        } else if (a == "--baud") {
            const std::string* v = value("--baud");
            if (!v)
                return EParse::Error;
            if (!ParseUnsigned(*v, options.baud) || options.baud == 0) {
                error = "--baud takes a rate in bits per second, not \"" + Printable(*v) + "\"";
                return EParse::Error;
            }
            options.baudGiven = true;
        } else if (a == "--all") {
            options.all = true;
        } else if (a == "--timeout") {
            const std::string* v = value("--timeout");
            if (!v)
                return EParse::Error;
            double t = 0;
            if (!ParseDuration(*v, t)) {
                error = "--timeout takes a number of seconds above 0 and up to ten years, not \"" +
                        Printable(*v) + "\"";
                return EParse::Error;
            }
            options.timeoutS = t;
        } else if (a == "--for") {
            const std::string* v = value("--for");
            if (!v)
                return EParse::Error;
            if (!ParseDuration(*v, options.forS)) {
                error = "--for takes a number of seconds above 0 and up to ten years, not \"" +
                        Printable(*v) + "\"";
                return EParse::Error;
            }
        } else if (a == "--period") {
            const std::string* v = value("--period");
            if (!v)
                return EParse::Error;
            unsigned p = 0;
            if (!ParseUnsigned(*v, p) || p == 0 || p > 86400) {
                error = "--period takes whole seconds 1..86400, not \"" + Printable(*v) + "\"";
                return EParse::Error;
            }
            options.periodS = static_cast<int>(p);
        } else if (a == "--index") {
            const std::string* v = value("--index");
            if (!v)
                return EParse::Error;
            unsigned i = 0;
            if (!ParseUnsigned(*v, i) || i > 1000000) {
                error = "--index takes a point number from 0, not \"" + Printable(*v) + "\"";
                return EParse::Error;
            }
            options.startIndex = static_cast<int>(i);
        } else if (a == "--no-start") {
            options.noStart = true;
        } else if (a == "--home") {
            options.homeAfter = true;
        } else if (a == "--record") {
            const std::string* v = value("--record");
            if (!v)
                return EParse::Error;
            options.recordFile = *v;
        } else if (a == "--log") {
            const std::string* v = value("--log");
            if (!v)
                return EParse::Error;
            options.logFile = *v;
        } else if (a == "--log-ceiling") {
            const std::string* v = value("--log-ceiling");
            if (!v)
                return EParse::Error;
            unsigned c = 0;
            if (!ParseUnsigned(*v, c) || c > 7) {
                error = "--log-ceiling takes 0..7, not \"" + Printable(*v) + "\"";
                return EParse::Error;
            }
            options.logCeiling = static_cast<int>(c);
        } else if (a.size() > 2 && a[0] == '-' && a[1] == '-') {
            error = "unknown option " + Printable(a);
            return EParse::Error;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.empty()) {
        error = "no command given";
        return EParse::Error;
    }
    options.command = positional[0];
    const SCommandShape* shape = nullptr;
    for (const SCommandShape& c : kCommands) {
        if (options.command == c.name)
            shape = &c;
    }
    if (!shape) {
        error = "unknown command \"" + Printable(options.command) + "\"";
        return EParse::Error;
    }
    if (options.command == "settings") {
        if (positional.size() != 3 || (positional[1] != "export" && positional[1] != "import")) {
            error = "settings takes export FILE or import FILE";
            return EParse::Error;
        }
        options.word = positional[1];
        options.file = positional[2];
        return EParse::Run;
    }
    if (options.command == "detect") {
        if (positional.size() != 1) {
            error = "detect takes no arguments; --port N chooses the ports";
            return EParse::Error;
        }
        return EParse::Run;
    }
    if (options.all) {
        error = "--all belongs to detect";
        return EParse::Error;
    }
    if (options.port == 0) {
        error = "--port N is required";
        return EParse::Error;
    }
    std::size_t first = 1;
    if (options.command == "run-trajectory") {
        if (positional.size() != 2) {
            error = "run-trajectory takes one FILE";
            return EParse::Error;
        }
        if (options.noStart && !options.recordFile.empty()) {
            error = "--record records the running trajectory; it cannot go with --no-start";
            return EParse::Error;
        }
        if (options.noStart && options.homeAfter) {
            error = "--home homes after the trajectory has run; it cannot go with --no-start";
            return EParse::Error;
        }
        options.file = positional[1];
        return EParse::Run;
    }
    if (options.command == "stop") {
        if (positional.size() != 2 || (positional[1] != "all" && positional[1] != "motion" &&
                                       positional[1] != "trajectory")) {
            error = "stop takes all, motion or trajectory";
            return EParse::Error;
        }
        options.word = positional[1];
        return EParse::Run;
    }
    const std::size_t count = positional.size() - first;
    if (count < shape->minNumbers || count > shape->maxNumbers) {
        error = options.command + " takes " + std::to_string(shape->minNumbers) +
                (shape->maxNumbers != shape->minNumbers ? " to " + std::to_string(shape->maxNumbers)
                                                        : std::string()) +
                " numbers";
        return EParse::Error;
    }
    for (std::size_t i = first; i < positional.size(); ++i) {
        double v = 0;
        if (!ParseNumber(positional[i], v)) {
            error = options.command + ": \"" + Printable(positional[i]) + "\" is not a number";
            return EParse::Error;
        }
        options.numbers.push_back(v);
    }
    // What the instrument is known to refuse never goes out: a speed at or below 0 or above
    // its maximum, and numbers that are not finite.
    for (std::size_t i = 0; i < options.numbers.size(); ++i) {
        if (!std::isfinite(options.numbers[i])) {
            error = options.command + ": \"" + Printable(positional[first + i]) +
                    "\" is not a finite number";
            return EParse::Error;
        }
    }
    const bool hasSpeed = options.command == "move-rel" ||
                          (options.command == "move-abs" && options.numbers.size() == 3);
    if (hasSpeed && !(options.numbers[2] > 0 && options.numbers[2] <= kMaxSpeedDegPerS)) {
        error = options.command + ": the velocity must be above 0 and at most " +
                std::to_string(static_cast<int>(kMaxSpeedDegPerS)) + " degrees per second";
        return EParse::Error;
    }
    if (options.command == "jog" && (std::fabs(options.numbers[0]) > kMaxSpeedDegPerS ||
                                     std::fabs(options.numbers[1]) > kMaxSpeedDegPerS)) {
        error = "jog: a rate may be at most " + std::to_string(static_cast<int>(kMaxSpeedDegPerS)) +
                " degrees per second either way";
        return EParse::Error;
    }
    if (options.command == "jog" && options.forS <= 0) {
        error = "jog needs --for SECONDS";
        return EParse::Error;
    }
    if (options.command == "monitor" &&
        !(std::isfinite(options.numbers[0]) && options.numbers[0] >= 0 &&
          options.numbers[0] <= kMaxDurationS)) {
        error = "monitor takes a number of seconds from 0 up to ten years";
        return EParse::Error;
    }
    return EParse::Run;
}

}  // namespace quorvelctl
