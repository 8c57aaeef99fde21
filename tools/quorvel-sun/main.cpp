// quorvel-sun: the solar position from the command line.
//
// The first argument may name a subcommand; without one the position command runs with all
// arguments. A further command (e.g. trajectories) is added as one more row of kCommands.
#include <algorithm>
#include <array>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "SunCommand.h"
#include "TrajectoryCommand.h"

namespace {

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(std::span<const std::string> args, std::istream& in, std::ostream& out,
               std::ostream& err);
};

constexpr std::array kCommands = {
    Command{"position", "sun position and sunrise/transit/sunset (the default)",
            &QuorvelSun::RunSunCommand},
    Command{"trajectory", "heliostat trajectory for a start/stop window",
            &QuorvelSun::RunTrajectoryCommand},
};

void PrintProgramHelp(std::ostream& out) {
    out << "quorvel-sun COMMAND [options], COMMAND one of:\n";
    for (const Command& c : kCommands) {
        out << "  " << c.name << std::string(12 - std::min<std::size_t>(c.name.size(), 11), ' ')
            << c.summary << '\n';
    }
    out << "Without a command the position command runs. Its help:\n\n";
    QuorvelSun::PrintSunHelp(out);
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        PrintProgramHelp(std::cout);
        return QuorvelSun::kExitOk;
    }
    const Command* command = &kCommands[0];
    std::span<const std::string> rest(args);
    if (!args.empty()) {
        for (const Command& c : kCommands) {
            if (args[0] == c.name) {
                command = &c;
                rest = rest.subspan(1);
                break;
            }
        }
    }
    return command->run(rest, std::cin, std::cout, std::cerr);
}
