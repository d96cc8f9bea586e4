#!/usr/bin/env bash
# Checks the serial harness end to end: a Windows program writes through
# COMn under Wine, and the virtual printer must record every byte and
# report 115200 baud with XON/XOFF; a status record sent on command through
# the control FIFO must reach the program.
# Usage: vprinter-com-check.sh WIN64-BUILD-DIR VIRTUAL-PRINTER [COM-NUMBER]
# Exit 77 (skipped) when the native tree has not built the printer.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = --inside ]; then
    # Runs under vprinter-com.sh, with the printer on the line.
    exe=$2 com=$3 count=$4
    "$here/wine-run.sh" --prefix "$WINEPREFIX" "$exe" "$com" "$count" "$VPRINTER_CONTROL_WIN"
    for _ in $(seq 300); do
        [ "$(stat -c %s "$VPRINTER_RECORD")" -ge "$count" ] && break
        sleep 0.1
    done
    # Byte i must be i mod 256, and nothing more.
    od -An -v -tu1 "$VPRINTER_RECORD" | awk -v want="$count" '
        { for (i = 1; i <= NF; i++) { if ($i != n % 256) { bad = n; exit } n++ } }
        END { if (bad != "") { printf "record differs at byte %d\n", bad; exit 1 }
              if (n != want) { printf "record holds %d of %d bytes\n", n, want; exit 1 } }' >&2 ||
        exit 1
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
