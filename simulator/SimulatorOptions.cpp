#include "SimulatorOptions.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

#include "ProtocolText.h"

namespace quorvel::sim {

namespace {

bool ReadDouble(const std::string& name, const std::string& text, double low, double high,
                double& out, std::string& error) {
    auto value = ParseNumber(text);
    if (!value || !std::isfinite(*value) || *value < low || *value > high) {
        error = name + ": \"" + text + "\" is not a number from " + FormatFixed4(low) + " to " +
                FormatFixed4(high);
        return false;
    }
    out = *value;
    return true;
}

bool ReadPositive(const std::string& name, const std::string& text, double high, double& out,
                  std::string& error) {
    if (!ReadDouble(name, text, 0.0, high, out, error)) {
        return false;
    }
    if (out <= 0.0) {
        error = name + ": must be above 0";
        return false;
    }
    return true;
}

bool ReadInt(const std::string& name, const std::string& text, long long low, long long high,
             long long& out, std::string& error) {
    auto value = ParseInteger(text);
    if (!value || *value < low || *value > high) {
        error = name + ": \"" + text + "\" is not a whole number from " + std::to_string(low) +
                " to " + std::to_string(high);
        return false;
    }
    out = *value;
    return true;
}

bool ReadAnglePair(const std::string& name, const std::string& text, double& az, double& ze,
                   std::string& error) {
    std::size_t comma = text.find(',');
    auto first = ParseNumber(text.substr(0, comma));
    auto second = comma == std::string::npos ? std::nullopt : ParseNumber(text.substr(comma + 1));
    if (!first || !second || !std::isfinite(*first) || !std::isfinite(*second)) {
        error = name + ": expected AZIMUTH,ZENITH in degrees, got \"" + text + "\"";
        return false;
    }
    az = *first;
    ze = *second;
    return true;
}

}  // namespace

std::string SimulatorUsage() {
    return "usage: quorvel-sim --com N [--port-dir DIR] [options]\n"
           "Simulates a Quorvel on a pseudo-terminal and links DIR/COM<N> to it.\n"
           "Prints the device path, then runs until SIGINT or SIGTERM (SIGUSR1: the device "
           "vanishes).\n"
           "  --port-dir DIR     folder of the COM<n> links (default: $QUORVEL_PORT_DIR, else\n"
           "                     $XDG_CONFIG_HOME/Pelvarin/Quorvel Control Software/ports)\n"
           "  --com N            port number 1..255\n"
           "  --replace          replace an existing COM<N> link\n"
           "  --latency MS       reply latency in milliseconds (default 0)\n"
           "  --late-ms MS       delay of a reply under the late fault (default 1200)\n"
           "  --baud B           emulate the wire time of B baud, 10 bits per byte (default: "
           "none)\n"
           "  --speed DEG_S      speed of moves without a velocity (default 10)\n"
           "  --home-speed DEG_S homing speed (default 20)\n"
           "  --home AZ,ZE       home position in degrees (default 0,0)\n"
           "  --start AZ,ZE      position at start-up in degrees (default 0,0)\n"
           "  --time-scale X     run motion and trajectories X times faster (default 1)\n"
           "  --id TEXT          identification reply (default Pelvarin,QUORVEL4,SIM-1.0)\n"
           "  --fault KIND[:CMD][/N]  no-reply, late, garbled, wrong-id, babble, vanish,\n"
           "                     refuse; for every command or for CMD only (H!, S?, P(, T(,\n"
           "                     pair ...), the first N times only; vanish:N vanishes right\n"
           "                     after the N-th answered command (nothing later is answered)\n"
           "  --ack-fault CMD    refuse CMD with \"0\" (repeatable; * for every command)\n"
           "  --log FILE         command log: \"<CLOCK_MONOTONIC ns> <line>\" per received line\n"
           "  --help             this text\n";
}

std::string DefaultPortDirectory() {
    if (const char* dir = std::getenv("QUORVEL_PORT_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
        config = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        config = std::string(home) + "/.config";
    } else {
        config = ".config";
    }
    return config + "/Pelvarin/Quorvel Control Software/ports";
}

std::string LinkPathFor(const SSimulatorOptions& options) {
    if (options.comPort == 0) {
        return {};
    }
    std::string dir = options.portDir.empty() ? DefaultPortDirectory() : options.portDir;
    return dir + "/COM" + std::to_string(options.comPort);
}

EParseOutcome ParseSimulatorArguments(const std::vector<std::string>& args,
                                      SSimulatorOptions& options, std::string& error) {
    using Handler = std::function<bool(const std::string&)>;
    const std::map<std::string, Handler> valued = {
        {"--port-dir",
         [&](const std::string& v) {
             options.portDir = v;
             if (v.empty()) {
                 error = "--port-dir: empty folder name";
             }
             return !v.empty();
         }},
        {"--com",
         [&](const std::string& v) {
             long long n = 0;
             bool ok = ReadInt("--com", v, 1, 255, n, error);
             options.comPort = static_cast<int>(n);
             return ok;
         }},
        {"--latency",
         [&](const std::string& v) {
             return ReadDouble("--latency", v, 0.0, 60000.0, options.replyLatencyMs, error);
         }},
        {"--late-ms",
         [&](const std::string& v) {
             return ReadDouble("--late-ms", v, 0.0, 600000.0, options.lateReplyMs, error);
         }},
        {"--baud",
         [&](const std::string& v) {
             long long n = 0;
             bool ok = ReadInt("--baud", v, 50, 4000000, n, error);
             options.baud = static_cast<unsigned>(n);
             return ok;
         }},
        {"--speed",
         [&](const std::string& v) {
             return ReadPositive("--speed", v, 1e6, options.model.defaultSpeedDegPerS, error);
         }},
        {"--home-speed",
         [&](const std::string& v) {
             return ReadPositive("--home-speed", v, 1e6, options.model.homeSpeedDegPerS, error);
         }},
        {"--home",
         [&](const std::string& v) {
             return ReadAnglePair("--home", v, options.model.homeAzimuthDeg,
                                  options.model.homeZenithDeg, error);
         }},
        {"--start",
         [&](const std::string& v) {
             return ReadAnglePair("--start", v, options.model.initialAzimuthDeg,
                                  options.model.initialZenithDeg, error);
         }},
        {"--time-scale",
         [&](const std::string& v) {
             return ReadPositive("--time-scale", v, 1e6, options.timeScale, error);
         }},
        {"--id",
         [&](const std::string& v) {
             if (v.find('\r') != std::string::npos || v.find('\n') != std::string::npos) {
                 error = "--id: the identification must be one line";
                 return false;
             }
             options.model.identification = v;
             return true;
         }},
        {"--fault",
         [&](const std::string& v) {
             SFaultRule rule;
             if (!ParseFaultRule(v, rule, error)) {
                 error = "--fault: " + error;
                 return false;
             }
             options.faults.push_back(rule);
             return true;
         }},
        {"--ack-fault",
         [&](const std::string& v) {
             if (v.empty()) {
                 error = "--ack-fault: no command given";
                 return false;
             }
             SFaultRule rule;
             rule.kind = EFaultKind::Refuse;
             if (v != "*" && v != "all") {
                 rule.command = NormaliseCommandName(v);
             }
             options.faults.push_back(rule);
             return true;
         }},
        {"--log",
         [&](const std::string& v) {
             options.logPath = v;
             if (v.empty()) {
                 error = "--log: empty file name";
             }
             return !v.empty();
         }},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (std::size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") {
            return EParseOutcome::Help;
        }
        if (name == "--replace") {
            options.replaceLink = true;
            continue;
        }
        auto handler = valued.find(name);
        if (handler == valued.end()) {
            error = "unknown argument \"" + args[i] + "\"";
            return EParseOutcome::Error;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = name + ": value missing";
                return EParseOutcome::Error;
            }
            value = args[++i];
        }
        if (!handler->second(value)) {
            return EParseOutcome::Error;
        }
    }
    if (options.comPort == 0) {
        error = "--com N is required";
        return EParseOutcome::Error;
    }
    return EParseOutcome::Run;
}

}  // namespace quorvel::sim
