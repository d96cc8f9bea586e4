#!/usr/bin/env bash
# Network benchmark: the 262,148-byte image handed to a virtual printer on
# 127.0.0.1, send phase only (connect not timed), median of several runs:
# a plain Linux socket (the loopback's own cost), a plain Winsock send
# under Wine, and CPrinterSocket under Wine. Prints CPrinterSocket against
# the Linux client (target: at most 1.5x) and against plain Winsock, which
# tells Wine's cost of a send from the socket class's own. Then the
# longest wait for the window's answer while CPrinterSocket sends to a
# printer that stopped reading (target: at most 20 ms), until it resets.
# Usage: bench/network_send.sh [BUILD-DIR] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=$(realpath "${1:-$root/build}")
runs=${2:-30}
bytes=262148
printer=$B/native/tools/virtual_printer/virtual_printer
native=$B/native/bench/native/network_send_native
exe=$B/win64/bin/network_send.exe
for f in "$printer" "$native" "$exe"; do
    [ -e "$f" ] || { echo "network_send: missing $f (build first)" >&2; exit 1; }
done
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a "$0" "$@"

work=$(mktemp -d /tmp/network_send.XXXXXX)
"$printer" --tcp 0 --record "$work/received.bin" >"$work/out" 2>"$work/log" &
ppid=$!
trap 'kill $ppid 2>/dev/null; wait $ppid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do grep -q '^TCP ' "$work/out" && break; sleep 0.1; done
port=$(sed -n 's/^TCP 127\.0\.0\.1://p' "$work/out")
[ -n "$port" ] || { echo "network_send: printer not ready: $(cat "$work/log")" >&2; exit 1; }

native_line=$("$native" "$port" $bytes "$runs")
echo "$native_line"
"$root/scripts/wine-run.sh" --prefix "$B/win64/wineprefix" "$exe" "$port" $bytes "$runs" \
    >"$work/wine.txt"
grep -v '^CPRINTERSOCKET_MEDIAN_MS' "$work/wine.txt"
native_ms=$(sed -n 's/^native send: median \([0-9.]*\) ms.*/\1/p' <<<"$native_line")
class_ms=$(sed -n 's/^CPRINTERSOCKET_MEDIAN_MS //p' "$work/wine.txt")
awk -v c="$class_ms" -v n="$native_ms" 'BEGIN {
    printf "CPrinterSocket / native Linux socket: %.2fx (target at most 1.5x)\n", c / n }'
