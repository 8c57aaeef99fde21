#!/usr/bin/env bash
# Runs a command while the kernel is asked to keep every CPU polling instead of halting when
# idle (a CPU latency request of 0 us, held as long as the descriptor stays open; needs root).
# For telling the host's wake-up latency from the program's own cost: on a virtual machine a
# thread woken on a halted vCPU waits tens of microseconds, and an acknowledged upload makes
# several such hand-offs per pair. Not how the program is meant to run.
#   bench/driver/idle-polling.sh build/bench/driver/trajectory_bench --quick --upload-only
set -euo pipefail
if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi
if ! exec 3>/dev/cpu_dma_latency; then
    echo "$0: cannot open /dev/cpu_dma_latency (root only)" >&2
    exit 1
fi
printf '0' >&3
"$@"
