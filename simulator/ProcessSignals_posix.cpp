#include <signal.h>

#include "ProcessSignals.h"

namespace quorvel::sim {

namespace {

sigset_t WatchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR1);
    return set;
}

}  // namespace

bool BlockProcessSignals() {
    sigset_t set = WatchedSignals();
    // A reader of our stdout may go away; that must not kill the instrument.
    ::signal(SIGPIPE, SIG_IGN);
    return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

EProcessSignal WaitForProcessSignal() {
    sigset_t set = WatchedSignals();
    for (;;) {
        int number = 0;
        if (sigwait(&set, &number) != 0) {
            continue;
        }
        if (number == SIGUSR1) {
            return EProcessSignal::Vanish;
        }
        return EProcessSignal::Terminate;
    }
}

}  // namespace quorvel::sim
