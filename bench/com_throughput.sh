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
win=$B/win64/bin
for f in "$printer" "$win/com.dll" "$win/com_throughput.exe"; do
    [ -e "$f" ] || { echo "com_throughput: missing $f (build first)" >&2; exit 1; }
done
winpath() { local p; p=$(realpath "$1"); printf 'Z:%s' "${p//\//\\}"; }

echo "== baseline: Linux writer straight into the pty"
work=$(mktemp -d /tmp/com_throughput.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$printer" --rate $rate --record "$work/base.bin" --idle-exit 120 >"$work/out" 2>"$work/log" &
ppid=$!
for _ in $(seq 100); do grep -q '^PTY ' "$work/out" && break; sleep 0.1; done
python3 - "$(sed -n 's/^PTY //p' "$work/out")" "$work/base.bin" $bytes $rate <<'PY'
import os, sys, time
pty, record, total, rate = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
fd = os.open(pty, os.O_RDWR | os.O_NOCTTY)
data = bytes((i * 31 + (i >> 8)) & 0xFF for i in range(total))
start = time.monotonic()
done = 0
while done < total:
    done += os.write(fd, data[done:done + 4096])
while os.path.getsize(record) < total and time.monotonic() - start < 3 * total / rate + 30:
    time.sleep(0.001)
took = time.monotonic() - start
floor = total / rate
print(f"  floor {floor:.3f} s, printer has all {took:.3f} s ({100 * (took - floor) / floor:+.2f}%)")
PY
kill -TERM $ppid; wait $ppid || true

echo "== com.dll under Wine"
"$root/scripts/vprinter-com.sh" --prefix "$B/win64/wineprefix" --com "$com" --printer "$printer" \
    --rate $rate -- bash -c '
        "$0/scripts/wine-run.sh" --prefix "$WINEPREFIX" "$1" --dll "$2" --com "$3" \
            --record "Z:${VPRINTER_RECORD//\//\\}" --bytes "$4" --rate "$5"' \
    "$root" "$win/com_throughput.exe" "$(winpath "$win/com.dll")" "$com" $bytes $rate
