// quorvel-sim: the simulated Quorvel on a pseudo-terminal, linked as COM<n> in the port
// folder, until SIGINT or SIGTERM. Prints the device path as its only line on stdout.
#include <cstdio>
#include <string>
#include <vector>

#include "InstrumentSimulator.h"
#include "ProcessSignals.h"
#include "SimulatorOptions.h"

int main(int argc, char** argv) {
    using namespace quorvel::sim;
    std::vector<std::string> args(argv + 1, argv + argc);
    SSimulatorOptions options;
    std::string error;
    switch (ParseSimulatorArguments(args, options, error)) {
        case EParseOutcome::Help:
            std::fputs(SimulatorUsage().c_str(), stdout);
            return 0;
        case EParseOutcome::Error:
            std::fprintf(stderr, "quorvel-sim: %s\n%s", error.c_str(), SimulatorUsage().c_str());
            return 2;
        case EParseOutcome::Run:
            break;
    }
    if (options.portDir.empty()) {
        options.portDir = DefaultPortDirectory();
    }
    // Before the simulator thread exists, so that it inherits the blocked signals.
    if (!BlockProcessSignals()) {
        std::fprintf(stderr, "quorvel-sim: cannot take over the termination signals\n");
        return 1;
    }
    CInstrumentSimulator simulator;
    std::string device = simulator.Start(options);
    if (device.empty()) {
        std::fprintf(stderr, "quorvel-sim: %s\n", simulator.LastError().c_str());
        return 1;
    }
    std::printf("%s\n", device.c_str());
    std::fflush(stdout);
    while (WaitForProcessSignal() == EProcessSignal::Vanish) {
        simulator.Vanish();
    }
    simulator.Stop();
    return 0;
}
