#!/usr/bin/env bash
# A 700-pair upload over an emulated 115200-baud wire, by quorvelctl for Linux and by
# quorvelctl.exe under Wine, against the same Linux quorvel-sim: the time from the header's
# arrival at the instrument to the last pair's, per pair, and as a ratio to the wire time of
# those lines and their acknowledgements (10 bits a byte), taken from the simulator's command
# log. Five uploads each; medians. A figure, never a pass/fail check.
#   bench/driver/wine-upload.sh [LINUX_BUILD] [WINDOWS_BUILD]   (defaults: build, build-windows)
# Run scripts/test-windows.sh once first (it makes the Windows build and its Wine prefix).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
linux=$(cd "${1:-$root/build}" && pwd)
windows=$(cd "${2:-$root/build-windows}" && pwd)
runs=5
pairs=700
baud=115200
com=44
work=$(mktemp -d)
export WINEDEBUG=-all WINEPREFIX="$windows/wineprefix"
unset DISPLAY WAYLAND_DISPLAY

"$linux/simulator/quorvel-sim" --port-dir "$work" --com "$com" --baud "$baud" \
    --log "$work/sim.log" >"$work/sim.out" &
sim=$!
link="$WINEPREFIX/dosdevices/com$com"
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -f "$link";
      wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
# One Wine server, its messages kept out of the figures.
wineserver -p >/dev/null 2>&1
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
ln -sfn "$(head -n 1 "$work/sim.out")" "$link"

perl -MPOSIX=strftime -e 'my ($n, $t) = @ARGV; for my $i (0 .. $n - 1) {
    printf "%s, %.4f, %.4f\n", strftime("%Y-%m-%d %H:%M:%SZ", gmtime($t + $i)),
           100 + $i * 0.01, 40 + ($i % 50) * 0.1 }' "$pairs" "$(($(date +%s) + 3600))" \
    >"$work/trajectory.txt"

# Median of the uploads that follow line FIRST of the log: seconds a pair, and the ratio.
figures() { # first
    tail -n +"$1" "$work/sim.log" | awk -v n="$pairs" -v baud="$baud" '
        function wire(line) { return (length(line) + 1 + 2) * 10 / baud }
        $2 ~ /^T\(/ { t0 = $1; w = 0; k = 0; next }
        t0 && $2 ~ /^[0-9.]+,[0-9.]+$/ { k++; w += wire($2); if (k == n) {
            s = ($1 - t0) / 1e9; printf "%.6f %.6f\n", s / w, s / n * 1e3; t0 = 0 } }' |
        sort -n | awk '{ r[NR] = $1; p[NR] = $2 } END { i = int((NR + 1) / 2)
            printf "%.3f ms a pair, %.3f x the wire time (median of %d)", p[i], r[i], NR }'
}

before=$(($(wc -l <"$work/sim.log") + 1))
for _ in $(seq "$runs"); do
    QUORVEL_PORT_DIR="$work" "$linux/tools/quorvelctl/quorvelctl" --port "$com" run-trajectory \
        --no-start "$work/trajectory.txt" >/dev/null
done
echo "Linux quorvelctl:       $(figures "$before")"
before=$(($(wc -l <"$work/sim.log") + 1))
for _ in $(seq "$runs"); do
    wine "$windows/bin/quorvelctl.exe" --port "$com" run-trajectory --no-start \
        "Z:${work//\//\\}\\trajectory.txt" >/dev/null
done
echo "quorvelctl.exe (Wine):  $(figures "$before")"
