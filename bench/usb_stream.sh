#!/usr/bin/env bash
# The 64-byte USB path as the program drives it: the engine with the real
# binding and its driver thread, usb.dll with the program's settings, the
# virtual printer behind a USB device path. Prints the ratio to the floor of
# 4096 x the measured 1 ms sleep (target 1.10) and checks the bytes.
# Usage: bench/usb_stream.sh [BUILD-DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=$(realpath "${1:-$root/build}")
exe=$B/win64/bin/engine_stream.exe
[ -e "$exe" ] || { echo "usb_stream: missing $exe (build first)" >&2; exit 1; }
# The driver's notice window needs a display.
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a "$0" "$@"
name='usb#vid_7a31&pid_0006#bench#{a5dcbf10-6530-11d2-901f-00c04fb951ed}'
work=$(mktemp -d /tmp/usb-stream.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$root/scripts/vprinter-com.sh" --prefix "$B/win64/wineprefix" --usb "$name" \
    --printer "$B/native/tools/virtual_printer/virtual_printer" --workdir "$work" -- \
    "$root/scripts/wine-run.sh" --prefix "$B/win64/wineprefix" "$exe" --usb "\\\\?\\$name"
got=$(stat -c %s "$work/record.bin" 2>/dev/null || echo 0)
[ "$got" = $((2 * 262148)) ] || { echo "usb_stream: the printer got $got bytes, want $((2 * 262148))"; exit 1; }
