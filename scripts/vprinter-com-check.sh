#!/usr/bin/env bash
# Checks the serial harness end to end: a Windows program writes through
# COMn under Wine, and the virtual printer must record every byte and
# report 115200 baud with XON/XOFF.
# Usage: vprinter-com-check.sh WIN64-BUILD-DIR VIRTUAL-PRINTER [COM-NUMBER]
# Exit 77 (skipped) when the native tree has not built the printer.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = --inside ]; then
    # Runs under vprinter-com.sh, with the printer on the line.
    exe=$2 com=$3 count=$4
    "$here/wine-run.sh" --prefix "$WINEPREFIX" "$exe" "$com" "$count"
    for _ in $(seq 300); do
        [ "$(stat -c %s "$VPRINTER_RECORD")" -ge "$count" ] && break
        sleep 0.1
    done
    python3 - "$VPRINTER_RECORD" "$count" <<'PY' || exit 1
import sys
got = open(sys.argv[1], 'rb').read()
want = bytes(i & 0xFF for i in range(int(sys.argv[2])))
if got != want:
    diff = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
    sys.exit(f"record differs: {len(got)} bytes recorded of {len(want)}, first difference at {diff}")
PY
    settings=$(cat "$VPRINTER_SETTINGS")
    [ "$settings" = "baud=115200 ixon=1 ixoff=1" ] ||
        { echo "settings reported: '$settings'" >&2; exit 1; }
    echo "recorded $count bytes; $settings"
    exit 0
fi

[ $# -ge 2 ] || { echo "usage: $0 WIN64-BUILD-DIR VIRTUAL-PRINTER [COM-NUMBER]" >&2; exit 2; }
build=$(realpath "$1") printer=$2 com=${3:-23}
[ -x "$printer" ] || { echo "no virtual printer at $printer: skipped" >&2; exit 77; }
exec "$here/vprinter-com.sh" --prefix "$build/wineprefix" --com "$com" --printer "$printer" \
    -- "$here/vprinter-com-check.sh" --inside "$build/bin/com_throughput_line_check.exe" "$com" 20000
