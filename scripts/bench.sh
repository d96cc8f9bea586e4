#!/usr/bin/env bash
# Runs every benchmark script under bench/ against one build directory.
# Benchmarks report; they do not fail the build on a missed target.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=${1:-build}
case $B in /*) ;; *) B="$root/$B" ;; esac
rc=0
for bench in "$root"/bench/*.sh; do
    echo "### $(basename "$bench")"
    "$bench" "$B" || rc=1
done
exit $rc
