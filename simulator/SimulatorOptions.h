// Everything that shapes one run of the simulated instrument, and the command line of
// quorvel-sim that fills it.
#pragma once

#include <string>
#include <vector>

#include "FaultRule.h"
#include "InstrumentModel.h"

namespace quorvel::sim {

struct SSimulatorOptions {
    std::string portDir;          // folder holding the COM<n> links
    int comPort = 0;              // 0: no link, the caller uses the device path itself
    bool replaceLink = false;     // replace an existing COM<n> link that is not dangling
    double replyLatencyMs = 0.0;  // from the end of a received line to the reply
    double lateReplyMs = 1200.0;  // delay of a reply under the "late" fault
    unsigned baud = 0;            // wire time of 10 bits per byte at this rate, both ways; 0: none
    double timeScale = 1.0;       // model time runs this many times faster than real time
    SModelConfig model;
    std::vector<SFaultRule> faults;
    std::string logPath;  // command log file; empty: in memory only
};

enum class EParseOutcome { Run, Help, Error };

// Parses the arguments after the program name. Bad input gives Error with a message that
// names the argument.
EParseOutcome ParseSimulatorArguments(const std::vector<std::string>& args,
                                      SSimulatorOptions& options, std::string& error);

std::string SimulatorUsage();

// The folder the driver looks in: $QUORVEL_PORT_DIR, else
// $XDG_CONFIG_HOME/Pelvarin/Quorvel Control Software/ports (with ~/.config as default).
std::string DefaultPortDirectory();

// "<dir>/COM<n>", or empty for port 0.
std::string LinkPathFor(const SSimulatorOptions& options);

}  // namespace quorvel::sim
