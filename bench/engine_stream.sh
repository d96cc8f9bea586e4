#!/usr/bin/env bash
# The engine streaming a 262,148-byte image through a transport that costs
# nothing, under Wine with the real clock, in 4096- and 64-byte blocks.
# Usage: bench/engine_stream.sh [BUILD-DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=$(realpath "${1:-$root/build}")
exe=$B/win64/bin/engine_stream.exe
[ -e "$exe" ] || { echo "engine_stream: missing $exe (build first)" >&2; exit 1; }
run() { "$root/scripts/wine-run.sh" --prefix "$B/win64/wineprefix" "$exe"; }
if [ -n "${DISPLAY:-}" ]; then run; else export -f run; export root B exe; xvfb-run -a bash -c run; fi
