#!/usr/bin/env bash
# Builds the Windows half (the layers below the GUI, cross-compiled with MinGW-w64) into
# build-windows and tests it under Wine in a private Wine prefix below that folder:
#   1. the Windows test programs (ctest); the serial ones talk to Linux quorvel-sim processes
#      through Wine's COM-port mapping (a dosdevices/comN link to each simulator's
#      pseudo-terminal; the test programs read the COM numbers from QUORVEL_TEST_SIM_COM and
#      QUORVEL_TEST_VANISHING_SIM_COM);
#   2. quorvelctl.exe against a Linux quorvel-sim at 115200 baud: status, a move, and 20
#      uploads of 700 pairs in a row, the last one started at its time stamp (checked against
#      the simulator's command log).
# Prints the counts (passed, failed, skipped with their reasons) and the time taken; exits
# non-zero when anything failed. Installs the Debian packages it needs when they are missing
# (scripts/deps.sh). Wine runs headless: console programs only, no display needed.
# Usage: scripts/test-windows.sh [--build-only] (--build-only compiles every *_win32.cpp and the
# Windows test programs without Wine; scripts/test.sh runs it so).
#
# The cases listed in known_failures cannot pass under Wine, each for the reason given in the
# comment above its group; they are left out with a GoogleTest filter and reported as skipped.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVEL_WINDOWS_BUILD_DIR:-$root/build-windows}
began=$(date +%s)

build_only=false
[ "${1:-}" = "--build-only" ] && build_only=true
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest libarmadillo-dev)
# The Wine run also builds quorvel-sim for Linux and reads clocks with Perl.
$build_only || packages+=(wine wine64 build-essential libgtest-dev libgmock-dev libsqlite3-dev
                          perl)
bash "$root/scripts/deps.sh" "${packages[@]}"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache
                                         -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BUILD_GUI=OFF -DQUORVEL_BUILD_BENCH=OFF \
    "${launcher[@]}" >/dev/null
cmake --build "$build" -j2
$build_only && exit 0

known_failures=(
)

# ---- helpers ----------------------------------------------------------------------------

work="$build/wine-run"
rm -rf "$work"
mkdir -p "$work/results" "$work/ports"
failures=()
fail() {
    failures+=("$1")
    echo "FAILED: $1" >&2
}
# A Linux path as the Windows programs see it (Wine's drive Z: is the root).
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# CLOCK_REALTIME minus CLOCK_MONOTONIC in nanoseconds: turns the simulator's command log
# (monotonic) into wall-clock instants.
realtime_offset_ns() {
    perl -MTime::HiRes=clock_gettime,CLOCK_MONOTONIC,CLOCK_REALTIME \
        -e 'my $m = clock_gettime(CLOCK_MONOTONIC); my $r = clock_gettime(CLOCK_REALTIME);
            printf "%.0f\n", ($r - $m) * 1e9'
}
# Writes a trajectory file: N points one second apart from the Unix time FIRST (UTC stamps).
write_trajectory() { # file n first
    perl -MPOSIX=strftime -e 'my ($n, $t) = @ARGV; for my $i (0 .. $n - 1) {
        printf "%s, %.4f, %.4f\n", strftime("%Y-%m-%d %H:%M:%SZ", gmtime($t + $i)),
               100 + $i * 0.01, 40 + ($i % 50) * 0.1 }' "$2" "$3" >"$1"
}

# ---- Wine prefix and the Linux simulators -------------------------------------------------

export WINEDEBUG=-all
export WINEPREFIX="$build/wineprefix"
# Console programs only: Wine must not look for an X server (nor a Wayland one).
unset DISPLAY WAYLAND_DISPLAY
# One Wine server for the whole run, its messages in a log of their own (a server started by
# the first program would write to that program's output). The prefix is made once, before
# the first test program, so that no test waits for it.
mkdir -p "$WINEPREFIX"
wineserver -p >"$work/wineserver.log" 2>&1 || true  # (one may be running already)
wineboot --init

# quorvel-sim for Linux: from the Linux build when there is one (scripts/test.sh makes it),
# otherwise from a small build of the layers it needs.
host_build=${QUORVEL_LINUX_BUILD_DIR:-$root/build}
if [ ! -f "$host_build/build.ninja" ]; then
    host_build="$build/linux-host"
    cmake -S "$root" -B "$host_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUORVEL_BUILD_GUI=OFF -DQUORVEL_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
fi
cmake --build "$host_build" -j2 --target quorvel-sim
sim_program="$host_build/simulator/quorvel-sim"

sim_pids=()
com_links=()
cleanup() {
    local pid
    for pid in "${sim_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${sim_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -f "${com_links[@]}"
    # The Wine server of this prefix only.
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# Starts quorvel-sim with the given options on a new pseudo-terminal and links it as Wine's
# COM<n>: start_sim n name options...
start_sim() {
    local com=$1 name=$2
    shift 2
    local out="$work/$name.out"
    "$sim_program" --port-dir "$work/ports" --com "$com" --replace --log "$work/$name.log" \
        "$@" >"$out" 2>"$work/$name.err" &
    sim_pids+=($!)
    local device=""
    for _ in $(seq 100); do
        device=$(head -n 1 "$out" 2>/dev/null || true)
        [ -n "$device" ] && break
        sleep 0.1
    done
    if [ -z "$device" ]; then
        echo "quorvel-sim ($name) did not start: $(cat "$work/$name.err")" >&2
        exit 1
    fi
    local link="$WINEPREFIX/dosdevices/com$com"
    ln -sfn "$device" "$link"
    com_links+=("$link")
}

# COM numbers that Wine does not map to a device of this machine on its own (it maps COM1-
# to the host's /dev/ttyS*).
ctl_com=${QUORVEL_WINE_CTL_COM:-41}
test_com=${QUORVEL_WINE_TEST_COM:-42}
vanish_com=${QUORVEL_WINE_VANISH_COM:-43}
# The test programs' simulator runs trajectories 50 times faster; the vanishing one answers
# the identification and the first status, then disappears after the next answer.
start_sim "$test_com" test-sim --time-scale 50
start_sim "$vanish_com" vanish-sim --fault vanish:3
# quorvelctl's: the wire time of 115200 baud, trajectories 100 times faster.
start_sim "$ctl_com" ctl-sim --baud 115200 --time-scale 100

# ---- the Windows test programs ------------------------------------------------------------

filter=$(IFS=:; echo "${known_failures[*]}")
echo "== Windows test programs under Wine"
ctest_status=0
QUORVEL_TEST_SIM_COM=$test_com QUORVEL_TEST_VANISHING_SIM_COM=$vanish_com \
    GTEST_FILTER="-$filter" GTEST_OUTPUT="xml:$(winpath "$work/results")\\" \
    ctest --test-dir "$build" -j2 --output-on-failure --timeout 300 || ctest_status=$?
[ $ctest_status -eq 0 ] || fail "ctest under Wine (status $ctest_status)"

# Counts from the programs' own result lines in ctest's log (every run of a program, the
# locale runs too); the reasons of skipped cases from their XML reports.
read -r passed failed skipped < <(tr -d '\r' <"$build/Testing/Temporary/LastTest.log" | awk '
    /^\[ +(OK|FAILED|SKIPPED) +\] .* \([0-9]+ ms\)$/ { n[$2]++ }
    END { printf "%d %d %d\n", n["OK"], n["FAILED"], n["SKIPPED"] }')

# The left-out cases, each with the reason written above its group in known_failures.
listed="$work/left-out.txt"
: >"$listed"
for exe in "$build"/bin/*_test.exe "$build"/bin/*_tests.exe "$build"/bin/*_integration.exe; do
    [ -e "$exe" ] && [ -n "$filter" ] || continue
    wine "$exe" --gtest_list_tests --gtest_filter="$filter" 2>/dev/null | tr -d '\r' | awk '
        /^[^ ]/ { suite = $1 } /^  / { print suite $1 }' >>"$listed" || true
done
declare -A reason_of=()
reason=""
while IFS= read -r line; do
    case "$line" in
        *'#'*) text=${line#*# }
               if [ "${pending_comment:-no}" = yes ]; then reason+=" $text"; else reason=$text; fi
               pending_comment=yes ;;
        *"'"*) pending_comment=no
               mapfile -t patterns < <(grep -o "'[^']*'" <<<"$line" | tr -d "'")
               for pattern in "${patterns[@]}"; do
                   reason_of[$pattern]=$reason
               done ;;
    esac
done < <(sed -n '/^known_failures=(/,/^)/p' "$0")
declare -A left_out_count=()
left_out=0
while IFS= read -r name; do
    for pattern in "${!reason_of[@]}"; do
        # shellcheck disable=SC2053 # the pattern is a GoogleTest glob
        if [[ $name == $pattern ]]; then
            r=${reason_of[$pattern]}
            left_out_count[$r]=$(( ${left_out_count[$r]:-0} + 1 ))
            left_out=$((left_out + 1))
            break
        fi
    done
done <"$listed"

# ---- quorvelctl.exe against quorvel-sim ---------------------------------------------------

quorvelctl="$build/bin/quorvelctl.exe"
ctl_log="$work/ctl-sim.log"
# Runs quorvelctl.exe with a generous time limit that only catches a hang: ctl name args...
ctl() {
    local name=$1
    shift
    local status=0
    timeout 300 wine "$quorvelctl" --port "$ctl_com" "$@" >"$work/$name.out" 2>"$work/$name.err" \
        || status=$?
    tr -d '\r' <"$work/$name.out" >"$work/$name.txt"
    if [ $status -ne 0 ]; then
        fail "quorvelctl.exe $* (status $status): $(tr -d '\r' <"$work/$name.err" | tail -n 3)"
        return 1
    fi
}
echo "== quorvelctl.exe against quorvel-sim (COM$ctl_com)"
if ctl status status; then
    grep -q '^status: IDLE$' "$work/status.txt" || fail "quorvelctl.exe status did not print IDLE"
fi
if ctl move move-abs 12.5 33.25 && ctl position position; then
    grep -q '^position: azimuth 12.500 deg, zenith 33.250 deg$' "$work/position.txt" ||
        fail "after move-abs 12.5 33.25: $(grep '^position' "$work/position.txt")"
fi

uploads=20
pairs=700
traj="$work/trajectory.txt"
upload_seconds=()
start_late_ms=""
for i in $(seq "$uploads"); do
    lines_before=$(wc -l <"$ctl_log")
    if [ "$i" -lt "$uploads" ]; then
        write_trajectory "$traj" "$pairs" "$(($(date +%s) + 60))"
        ctl "upload-$i" run-trajectory --no-start "$(winpath "$traj")" || break
    else
        # The last one also starts: "T!" ten seconds ahead, "G!" at the first stamp. The
        # first stamp leaves the upload and Wine's start-up time before "T!" is due.
        first=$(($(date +%s) + 25))
        write_trajectory "$traj" "$pairs" "$first"
        ctl "upload-$i" run-trajectory "$(winpath "$traj")" || break
        offset=$(realtime_offset_ns)
        go_ns=$(tail -n +"$((lines_before + 1))" "$ctl_log" | awk '$2 == "G!" { print $1; exit }')
        if [ -z "$go_ns" ]; then
            fail "the timed start sent no G!"
        else
            # Never early; later than a second is no timed start.
            start_late_ms=$(awk -v g="$go_ns" -v o="$offset" -v f="$first" \
                'BEGIN { printf "%.1f", ((g + o) - f * 1e9) / 1e6 }')
            awk -v l="$start_late_ms" 'BEGIN { exit !(l >= -2 && l <= 1000) }' ||
                fail "the trajectory started ${start_late_ms} ms from its time stamp"
            grep -q '^trajectory: finished$' "$work/upload-$i.txt" ||
                fail "the started trajectory did not finish"
        fi
    fi
    grep -q '^upload: complete$' "$work/upload-$i.txt" || fail "upload $i did not complete"
    # Every pair of this upload reached the instrument, after its header; the upload's time
    # at the instrument, from the header to the last pair.
    figures=$(tail -n +"$((lines_before + 1))" "$ctl_log" | awk -v n="$pairs" '
        $2 == "T(" n ",1)" { t0 = $1; count = 0; next }
        t0 && $2 ~ /^[0-9.]+,[0-9.]+$/ { count++; last = $1 }
        END { printf "%d %.6f\n", count, (last - t0) / 1e9 }')
    read -r got seconds <<<"$figures"
    [ "$got" -eq "$pairs" ] || fail "upload $i: the instrument received $got of $pairs pairs"
    upload_seconds+=("$seconds")
done

# ---- summary ------------------------------------------------------------------------------

echo
echo "== Summary"
echo "test cases under Wine: $passed passed, $failed failed, $skipped skipped by the tests," \
     "$left_out left out"
if [ "$skipped" -gt 0 ]; then
    cat "$work"/results/*.xml | grep -o '<skipped message="[^"]*"' |
        sed -e 's/^<skipped message="//' -e 's/"$//' -e 's/&#x0A;/\n/g' \
            -e "s/&apos;/'/g" -e 's/&quot;/"/g' -e 's/&lt;/</g' -e 's/&gt;/>/g' -e 's/&amp;/\&/g' |
        awk 'NF && !/^Skipped$/ && !/:[0-9]+$/' | sort | uniq -c | sed 's/^/  skipped: /'
fi
for r in "${!left_out_count[@]}"; do
    echo "  left out: ${left_out_count[$r]} (${r})"
done
if [ ${#upload_seconds[@]} -gt 0 ]; then
    printf '%s\n' "${upload_seconds[@]}" | sort -n | awk -v n="$pairs" '
        { s[NR] = $1 } END { m = s[int((NR + 1) / 2)]
        printf "quorvelctl.exe: %d uploads of %d pairs, median %.3f s at the instrument " \
               "(%.2f ms a pair)\n", NR, n, m, m / n * 1000 }'
fi
[ -n "$start_late_ms" ] && echo "timed start: G! reached the instrument $start_late_ms ms after the stamp"
echo "Windows step: $(($(date +%s) - began)) s"
if [ ${#failures[@]} -gt 0 ]; then
    printf 'FAILED: %s\n' "${failures[@]}" >&2
    exit 1
fi
echo "Windows step passed"
