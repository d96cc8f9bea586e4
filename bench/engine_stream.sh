#!/usr/bin/env bash
# The engine streaming a 262,148-byte image through a transport that costs
# nothing, under Wine with the real clock, in 4096- and 64-byte blocks.
# Usage: bench/engine_stream.sh [BUILD-DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=$(realpath "${1:-$root/build}")
exe=$B/win64/bin/engine_stream.exe
[ -e "$exe" ] || { echo "engine_stream: missing $exe (build first)" >&2; exit 1; }
# Windows need a display; without one, run this script again on a private
# Xvfb.
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a "$0" "$@"
"$root/scripts/wine-run.sh" --prefix "$B/win64/wineprefix" "$exe"
