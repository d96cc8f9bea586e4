#!/usr/bin/env bash
# Checks the Wine harness end to end: a Windows program writes through a
# port under Wine, and the virtual printer must record every byte; a status
# record sent on command through the control FIFO must reach the program.
# On a COM port the printer must also report 115200 baud with XON/XOFF.
# Usage: vprinter-com-check.sh WIN64-BUILD-DIR VIRTUAL-PRINTER [PORT]
#   PORT: a COM number (default 23), lptN, or usb
# Exit 77 (skipped) when the native tree has not built the printer.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = --inside ]; then
    # Runs under vprinter-com.sh, with the printer on the line.
    exe=$2 port=$3 count=$4 want_settings=${5:-}
    "$here/wine-run.sh" --prefix "$WINEPREFIX" "$exe" "$port" "$count" "$VPRINTER_CONTROL_WIN"
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
    # The printer polls the line settings; on a loaded machine its file can
    # lag behind the program by more than one poll.
    settings=$(cat "$VPRINTER_SETTINGS")
    for _ in $(seq 100); do
        [ -z "$want_settings" ] || [ "$settings" = "$want_settings" ] && break
        sleep 0.1
        settings=$(cat "$VPRINTER_SETTINGS")
    done
    if [ -n "$want_settings" ] && [ "$settings" != "$want_settings" ]; then
        echo "settings reported: '$settings', want '$want_settings'" >&2
        exit 1
    fi
    echo "recorded $count bytes; $settings"
    exit 0
fi

[ $# -ge 2 ] || { echo "usage: $0 WIN64-BUILD-DIR VIRTUAL-PRINTER [PORT]" >&2; exit 2; }
build=$(realpath "$1") printer=$2 port=${3:-23}
[ -x "$printer" ] || { echo "no virtual printer at $printer: skipped" >&2; exit 77; }
exe=$build/bin/com_throughput_line_check.exe
# An instance name of its own, so no other test's link of the same device is
# touched.
usb='usb#vid_7a31&pid_0006#vprinter_check#{a5dcbf10-6530-11d2-901f-00c04fb951ed}'
case $port in
    [0-9]*) map=(--com "$port") device=$port settings="baud=115200 ixon=1 ixoff=1" ;;
    lpt[0-9]*) map=(--lpt "${port#lpt}") device="\\\\.\\LPT${port#lpt}" settings= ;;
    usb) map=(--usb "$usb") device="\\\\?\\$usb" settings= ;;
    *) echo "unknown port '$port'" >&2; exit 2 ;;
esac
exec "$here/vprinter-com.sh" --prefix "$build/wineprefix" "${map[@]}" --printer "$printer" \
    -- "$here/vprinter-com-check.sh" --inside "$exe" "$device" 20000 "$settings"
