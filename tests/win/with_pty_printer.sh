#!/usr/bin/env bash
# Runs a driver test under Wine against the virtual printer on a pty mapped
# to COM<N> (or LPT<N> for a PORT of lptN) of the test prefix (a distinct
# port per test, so tests can run side by side), or, for a PORT of
# usb:INSTANCE, on a USB device path of that instance with a second path on
# the printer's chunk FIFO. The test finds the port in KESTREL_COM_PORT,
# KESTREL_LPT_PORT or KESTREL_USB_PATH (and KESTREL_USB_CHUNKS_PATH). Exit 77
# (skipped) when the native tree has not built the printer.
# Usage: with_pty_printer.sh PREFIX TEST_EXE PORT VIRTUAL_PRINTER [gtest args]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$(dirname "$here")")
prefix=$1 exe=$2 n=$3 printer=$4
shift 4
[ -x "$printer" ] || { echo "no virtual printer at $printer: skipped" >&2; exit 77; }

case $n in
    lpt*) map=(--lpt "${n#lpt}"); export KESTREL_LPT_PORT=LPT${n#lpt} ;;
    usb:*)
        device="usb#vid_7a31&pid_0006#${n#usb:}#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"
        chunks="usb#vid_7a31&pid_0006#${n#usb:}_status#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"
        map=(--usb "$device" --usb-chunks "$chunks")
        export KESTREL_USB_PATH="\\\\?\\$device" KESTREL_USB_CHUNKS_PATH="\\\\?\\$chunks" ;;
    *) map=(--com "$n"); export KESTREL_COM_PORT=COM$n ;;
esac
exec timeout 600 "$root/scripts/vprinter-com.sh" \
    --prefix "$prefix" "${map[@]}" --printer "$printer" -- \
    "$root/scripts/wine-run.sh" --prefix "$prefix" "$exe" "$@"
