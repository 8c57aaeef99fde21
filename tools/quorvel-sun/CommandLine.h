// Option reading shared by the quorvel-sun commands.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace QuorvelSun {

struct CommandOption {
    std::string_view name;  // with its leading "--"
    std::string_view value;
};

// Reads the option at args[i], written "--name=value" or "--name value"; the second form
// consumes the next argument, so `i` then points at the value. On failure (not an option, or
// no value left) returns nothing and sets `error` to the usage message. The views point into
// `args`.
std::optional<CommandOption> TakeOption(std::span<const std::string> args, std::size_t& i,
                                        std::string& error);

// The whole text must be the number, one leading '+' allowed; finite numbers only ("nan" and
// "inf" are not values an operator means).
bool ParseDouble(std::string_view s, double& value);

}  // namespace QuorvelSun
