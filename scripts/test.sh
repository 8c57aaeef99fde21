#!/usr/bin/env bash
# Builds everything and runs every test: the normal build with all labels, then a
# ThreadSanitizer build and an Address/UndefinedBehaviour sanitizer build of the
# driver layer and its tests, and a MinGW-w64 build of the Windows half (every *_win32.cpp and
# the Windows test programs; scripts/test-windows.sh runs those under Wine).
# Usage: scripts/test.sh [--quick] (--quick skips the sanitizer and Windows builds).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=2
export QT_QPA_PLATFORM=offscreen

build() { # dir, extra cmake args...
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
}

build build
ctest --test-dir build -j"$jobs" --output-on-failure --timeout 300

if [ "${1:-}" != "--quick" ]; then
    build build-tsan -DQUORVEL_SANITIZE=thread -DQUORVEL_SANITIZER_SCOPE=driver
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
        ctest --test-dir build-tsan -j"$jobs" --output-on-failure --timeout 300 -L 'foundation|driver'
    build build-asan -DQUORVEL_SANITIZE=address,undefined -DQUORVEL_SANITIZER_SCOPE=driver
    ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
        ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 300 -L 'foundation|driver|suntrack'
    scripts/test-windows.sh --build-only
fi
