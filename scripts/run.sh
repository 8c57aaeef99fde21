#!/usr/bin/env bash
# Builds the program and starts it. With no instrument configured it runs against the
# built-in simulated instrument. Arguments are passed to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
if [ -x build/app/quorvel ]; then
    exec build/app/quorvel --simulator "$@"
fi
echo "Everything is built (libraries, quorvel-sim, quorvelctl, quorvel-sun in build/)."
echo "The GUI program is not part of the build yet."
