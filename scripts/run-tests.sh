#!/usr/bin/env bash
# Runs every test: the native tree (sanitizers) and the Windows tree under
# Wine on a private Xvfb display.
set -euo pipefail
B=${1:-build}
jobs=$(nproc)
rc=0
ctest --test-dir "$B/native" --output-on-failure -j "$jobs" || rc=1
xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$B/win64" --output-on-failure -j "$jobs" --timeout 900 || rc=1
# End the prefix's server so nothing outlives the run.
WINEPREFIX="$PWD/$B/win64/wineprefix" /usr/lib/wine/wineserver64 -k 2>/dev/null || true
exit $rc
