#include "CommandLine.h"

#include <charconv>
#include <cmath>

namespace QuorvelSun {

std::optional<CommandOption> TakeOption(std::span<const std::string> args, std::size_t& i,
                                        std::string& error) {
    const std::string_view arg = args[i];
    if (arg.substr(0, 2) != "--") {
        error = "unexpected argument '" + std::string(arg) + "'";
        return std::nullopt;
    }
    if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
        return CommandOption{arg.substr(0, eq), arg.substr(eq + 1)};
    }
    if (i + 1 >= args.size()) {
        error = "option " + std::string(arg) + " needs a value";
        return std::nullopt;
    }
    ++i;
    return CommandOption{arg, args[i]};
}

bool ParseDouble(std::string_view s, double& value) {
    if (s.size() > 1 && s.front() == '+' && s[1] != '-') {
        s.remove_prefix(1);
    }
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size() && std::isfinite(value);
}

}  // namespace QuorvelSun
