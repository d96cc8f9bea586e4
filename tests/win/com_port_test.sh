#!/usr/bin/env bash
# Runs the serial driver tests under Wine against the virtual printer on a
# pty mapped to COM<N> of the test prefix (a distinct N per test, so tests
# can run side by side). Exit 77 (skipped) when the native tree has not
# built the printer.
# Usage: com_port_test.sh PREFIX TEST_EXE PORT_NUMBER VIRTUAL_PRINTER [gtest args]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$(dirname "$here")")
prefix=$1 exe=$2 n=$3 printer=$4
shift 4
[ -x "$printer" ] || { echo "no virtual printer at $printer: skipped" >&2; exit 77; }

KESTREL_COM_PORT=COM$n exec timeout 600 "$root/scripts/vprinter-com.sh" \
    --prefix "$prefix" --com "$n" --printer "$printer" -- \
    "$root/scripts/wine-run.sh" --prefix "$prefix" "$exe" "$@"
