#!/usr/bin/env bash
# Runs a driver test under Wine against the virtual printer on a pty mapped
# to COM<N> (or LPT<N> for a PORT of lptN) of the test prefix (a distinct
# port per test, so tests can run side by side). The test finds the port in
# KESTREL_COM_PORT or KESTREL_LPT_PORT. Exit 77 (skipped) when the native
# tree has not built the printer.
# Usage: com_port_test.sh PREFIX TEST_EXE PORT VIRTUAL_PRINTER [gtest args]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$(dirname "$here")")
prefix=$1 exe=$2 n=$3 printer=$4
shift 4
[ -x "$printer" ] || { echo "no virtual printer at $printer: skipped" >&2; exit 77; }

case $n in
    lpt*) map=(--lpt "${n#lpt}"); export KESTREL_LPT_PORT=LPT${n#lpt} ;;
    *) map=(--com "$n"); export KESTREL_COM_PORT=COM$n ;;
esac
exec timeout 600 "$root/scripts/vprinter-com.sh" \
    --prefix "$prefix" "${map[@]}" --printer "$printer" -- \
    "$root/scripts/wine-run.sh" --prefix "$prefix" "$exe" "$@"
