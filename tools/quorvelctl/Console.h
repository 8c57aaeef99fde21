// The terminal side of quorvelctl: Ctrl+C as a flag the message loop polls, and whether an
// output stream is a terminal (a progress bar redraws one line there, a file gets lines).
#pragma once

#include <cstdio>

namespace quorvelctl {

// From now on Ctrl+C (POSIX: SIGINT and SIGTERM) only raises the flag below; the program
// decides how to wind down. Call once from main().
void CatchInterrupt();
// True once Ctrl+C has been pressed (safe to read from any thread).
bool Interrupted();

bool IsTerminal(std::FILE* stream);

}  // namespace quorvelctl
