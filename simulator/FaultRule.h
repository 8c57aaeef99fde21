// Faults the simulated instrument can be told to show, each for every command or for one
// named command, optionally only the first N times it matches.
#pragma once

#include <string>
#include <string_view>

namespace quorvel::sim {

enum class EFaultKind {
    NoReply,       // the line is lost: not acted upon, not answered
    LateReply,     // acted upon, answered after the late-reply delay (1200 ms by default)
    GarbledReply,  // acted upon, answered with a corrupted line
    WrongProduct,  // "I?" answered with a product field other than "QUORVEL4"
    Babble,        // the instrument starts sending bytes without ever ending a line
    Vanish,        // the device disappears: pty closed, link removed
    Refuse,        // not acted upon, answered "0" (--ack-fault)
};

struct SFaultRule {
    EFaultKind kind = EFaultKind::NoReply;
    std::string command;    // command key (see CommandKey), or empty for every command
    int remaining = -1;     // matches left before the rule wears off; -1 for ever
    int afterCommands = 0;  // Vanish only: vanish once this many commands have been answered
};

// The name under which a received line is matched: the whole text for plain commands
// ("H!", "S?"), the name with its bracket for calls ("P(", "T(", "V(", "O("), and "pair"
// for trajectory pairs ("12.0000,45.0000").
std::string CommandKey(std::string_view line);

// Normalises a user-given command name: "P", "P(" and "P()" all name "P(".
std::string NormaliseCommandName(std::string_view name);

// "KIND[:COMMAND][/N]", e.g. "no-reply", "late:S?", "garbled:P?/2", "vanish:3" (after three
// answered commands), "vanish:H!". Returns false with a readable reason on bad input.
bool ParseFaultRule(std::string_view text, SFaultRule& rule, std::string& error);

// True if the rule applies to this received line (ignores the remaining count).
bool FaultMatches(const SFaultRule& rule, std::string_view line);

// The garbled form of a reply: reversed and wrapped in '#', never containing a carriage
// return and never beginning with '!'. "1" becomes "#1#", so no reply stays valid.
std::string GarbleReply(std::string_view reply);

// The identification with its product field replaced by "QUORVEL3".
std::string WrongProductReply(std::string_view identification);

}  // namespace quorvel::sim
