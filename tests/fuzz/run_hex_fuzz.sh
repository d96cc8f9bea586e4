#!/usr/bin/env bash
# Runs the converter's fuzz target for a bounded time from the seed corpus.
# New inputs go to a scratch directory in the build tree, never into the
# sources. Usage: run_hex_fuzz.sh <fuzzer> <seed-dir> <dict> <work-dir> <seconds>
set -euo pipefail
fuzzer=$1 seeds=$2 dict=$3 work=$4 seconds=$5
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -seed=1 \
    -dict="$dict" -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
    "$work/corpus" "$seeds"
