// The position command of quorvel-sun: one request from options, or a batch of CSV requests
// on standard input. Streams are parameters so that tests drive it without a process.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/SunPosition.h"

namespace QuorvelSun {

// Exit statuses of every quorvel-sun command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // a request was refused, or a batch line could not be read
constexpr int kExitUsage = 2;   // bad options; a usage line has been printed

// Runs the command with the arguments after the program name (and after the subcommand
// name, when one was given).
int RunSunCommand(std::span<const std::string> args, std::istream& in, std::ostream& out,
                  std::ostream& err);

// The help text: options, batch columns and sign conventions.
void PrintSunHelp(std::ostream& out);

// One batch line → request. On failure returns nothing and sets `error` to the reason.
std::optional<SunPositionRequest> ParseRequestCsv(std::string_view line, std::string& error);

// One output line (without the line end) for a computed request: code, altitude,
// azimuthFromSouth, zenith, azimuth, then valid, year, month, day, hour, minute, second for
// sunrise, sunset and transit. Fields the request did not write are empty.
std::string FormatResultCsv(const SunPositionRequest& request, std::int32_t code,
                            const SunPositionResult& result);

// The output line for a batch line that could not be read: every column empty.
std::string EmptyResultCsv();

}  // namespace QuorvelSun
