// The signals quorvel-sim answers: terminate (remove the link and exit) and vanish (the
// device disappears, the process stays).
#pragma once

namespace quorvel::sim {

enum class EProcessSignal { Terminate, Vanish };

// Takes the signals away from asynchronous delivery. Call in main() before any thread
// starts, so that every thread inherits the mask and only WaitForProcessSignal sees them.
bool BlockProcessSignals();

// Blocks until one of the signals arrives (POSIX: SIGINT, SIGTERM, SIGHUP terminate;
// SIGUSR1 vanishes).
EProcessSignal WaitForProcessSignal();

}  // namespace quorvel::sim
