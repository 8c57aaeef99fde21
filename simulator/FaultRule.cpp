#include "FaultRule.h"

#include <algorithm>
#include <cctype>

#include "ProtocolText.h"

namespace quorvel::sim {

namespace {

struct SKindName {
    const char* name;
    EFaultKind kind;
};

constexpr SKindName kKindNames[] = {
    {"no-reply", EFaultKind::NoReply},
    {"late", EFaultKind::LateReply},
    {"late-reply", EFaultKind::LateReply},
    {"garbled", EFaultKind::GarbledReply},
    {"garble", EFaultKind::GarbledReply},
    {"wrong-id", EFaultKind::WrongProduct},
    {"wrong-product", EFaultKind::WrongProduct},
    {"babble", EFaultKind::Babble},
    {"vanish", EFaultKind::Vanish},
    {"refuse", EFaultKind::Refuse},
};

bool IsPairLine(std::string_view line) {
    std::size_t comma = line.find(',');
    if (comma == std::string_view::npos || line.find('(') != std::string_view::npos) {
        return false;
    }
    return ParseNumber(line.substr(0, comma)) && ParseNumber(line.substr(comma + 1));
}

}  // namespace

std::string CommandKey(std::string_view line) {
    std::size_t bracket = line.find('(');
    if (bracket != std::string_view::npos && bracket > 0) {
        return std::string(line.substr(0, bracket + 1));
    }
    if (IsPairLine(line)) {
        return "pair";
    }
    return std::string(line);
}

std::string NormaliseCommandName(std::string_view name) {
    if (name.size() >= 2 && name.substr(name.size() - 2) == "()") {
        name.remove_suffix(1);
    }
    if (name.size() == 1 && std::isalpha(static_cast<unsigned char>(name[0]))) {
        return std::string(name) + "(";
    }
    return std::string(name);
}

bool ParseFaultRule(std::string_view text, SFaultRule& rule, std::string& error) {
    rule = SFaultRule{};
    std::string_view body = text;
    std::size_t slash = body.rfind('/');
    if (slash != std::string_view::npos) {
        auto count = ParseInteger(body.substr(slash + 1));
        if (!count || *count < 1 || *count > 1000000) {
            error = "fault \"" + std::string(text) + "\": the count after '/' must be 1 or more";
            return false;
        }
        rule.remaining = static_cast<int>(*count);
        body = body.substr(0, slash);
    }
    std::size_t colon = body.find(':');
    std::string_view kindName = body.substr(0, colon);
    auto found = std::find_if(std::begin(kKindNames), std::end(kKindNames),
                              [&](const SKindName& k) { return kindName == k.name; });
    if (found == std::end(kKindNames)) {
        error = "unknown fault \"" + std::string(kindName) +
                "\" (no-reply, late, garbled, wrong-id, babble, vanish, refuse)";
        return false;
    }
    rule.kind = found->kind;
    if (colon == std::string_view::npos) {
        return true;
    }
    std::string_view command = body.substr(colon + 1);
    if (command.empty()) {
        error = "fault \"" + std::string(text) + "\": no command after ':'";
        return false;
    }
    if (rule.kind == EFaultKind::Vanish) {
        if (auto after = ParseInteger(command)) {
            if (*after < 0 || *after > 100000000) {
                error = "fault \"" + std::string(text) + "\": command count out of range";
                return false;
            }
            rule.afterCommands = static_cast<int>(*after);
            return true;
        }
    }
    if (command != "*" && command != "all") {
        rule.command = NormaliseCommandName(command);
    }
    return true;
}

bool FaultMatches(const SFaultRule& rule, std::string_view line) {
    if (rule.remaining == 0) {
        return false;
    }
    return rule.command.empty() || rule.command == line || rule.command == CommandKey(line);
}

std::string GarbleReply(std::string_view reply) {
    std::string out = "#";
    out.append(reply.rbegin(), reply.rend());
    out += '#';
    return out;
}

std::string WrongProductReply(std::string_view identification) {
    std::size_t first = identification.find(',');
    std::size_t second =
        first == std::string_view::npos ? first : identification.find(',', first + 1);
    if (second == std::string_view::npos) {
        return "Pelvarin,QUORVEL3,SIM-1.0";
    }
    return std::string(identification.substr(0, first + 1)) + "QUORVEL3" +
           std::string(identification.substr(second));
}

}  // namespace quorvel::sim
