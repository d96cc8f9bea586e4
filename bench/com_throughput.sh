#!/usr/bin/env bash
# Serial throughput benchmark: a full flash image through com.dll to the
# virtual printer reading at 115200 baud 8N1 (11,520 bytes/s), against the
# floor the line sets (262,148 / 11,520 s); the target is within 2%.
#
# Usage: bench/com_throughput.sh [BUILD-DIR] [COM-NUMBER]
# Needs BUILD-DIR/native (the virtual printer) and BUILD-DIR/win64 (com.dll
# and com_throughput.exe) built.
#
# First a baseline without Wine or com.dll: the same bytes written straight
# into the pty from Linux, which shows what the printer's pacing alone costs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=$(realpath "${1:-$root/build}")
com=${2:-24}
bytes=262148 rate=11520
printer=$B/native/tools/virtual_printer/virtual_printer
baseline=$B/native/bench/native/com_throughput_pty
win=$B/win64/bin
for f in "$printer" "$baseline" "$win/com.dll" "$win/com_throughput.exe"; do
    [ -e "$f" ] || { echo "com_throughput: missing $f (build first)" >&2; exit 1; }
done
winpath() { local p; p=$(realpath "$1"); printf 'Z:%s' "${p//\//\\}"; }

echo "== baseline: Linux writer straight into the pty"
work=$(mktemp -d /tmp/com_throughput.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$printer" --rate $rate --record "$work/base.bin" --idle-exit 120 >"$work/out" 2>"$work/log" &
ppid=$!
for _ in $(seq 100); do grep -q '^PTY ' "$work/out" && break; sleep 0.1; done
"$baseline" "$(sed -n 's/^PTY //p' "$work/out")" "$work/base.bin" $bytes $rate
kill -TERM $ppid; wait $ppid || true

echo "== com.dll under Wine"
"$root/scripts/vprinter-com.sh" --prefix "$B/win64/wineprefix" --com "$com" --printer "$printer" \
    --rate $rate -- bash -c '
        "$0/scripts/wine-run.sh" --prefix "$WINEPREFIX" "$1" --dll "$2" --com "$3" \
            --record "Z:${VPRINTER_RECORD//\//\\}" --bytes "$4" --rate "$5" || exit
        echo "  line as com.dll set it: $(cat "$VPRINTER_SETTINGS")"' \
    "$root" "$win/com_throughput.exe" "$(winpath "$win/com.dll")" "$com" $bytes $rate
