// The command line of quorvelctl.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvelctl {

struct SOptions {
    unsigned port = 0;            // the last --port
    std::vector<unsigned> ports;  // every --port (detect probes them all)
    unsigned baud = 115200;
    bool baudGiven = false;          // detect: else the stored rate is asked first
    bool all = false;                // detect --all: also the ports without an instrument
    std::optional<double> timeoutS;  // overrides the command's own time limit
    std::string logFile;             // the driver's log file; empty: none
    int logCeiling = 6;
    std::string command;
    std::vector<double> numbers;  // numeric arguments of the command
    std::string word;             // stop mode, settings action
    std::string file;             // settings export/import file
    double forS = 0;              // jog duration
    // run-trajectory: --period (seconds; default the spacing of the first two stamps),
    // --index (the point whose stamp is the start time), --no-start, --home.
    std::optional<int> periodS;
    int startIndex = 0;
    bool noStart = false;
    bool homeAfter = false;
    std::string recordFile;  // run-trajectory --record: the tracking record's CSV file
};

enum class EParse { Run, Help, Error };

EParse ParseArguments(const std::vector<std::string>& args, SOptions& options, std::string& error);
std::string Usage();

}  // namespace quorvelctl
