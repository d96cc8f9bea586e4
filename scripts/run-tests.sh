#!/usr/bin/env bash
# Runs every test: the layout check, the native tree (sanitizers) and the
# Windows tree under Wine on a private Xvfb display; then lists the slowest
# tests, so that what makes the run long stays visible.
set -euo pipefail
B=$(realpath -m "${1:-build}")
jobs=$(nproc)
rc=0
# End the test prefix's server however the run ends, so that nothing
# outlives it (its idle limit would end it a minute later anyway).
trap 'WINEPREFIX="$B/win64/wineprefix" /usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT
# The serial download scenario runs the release program: make test builds it.
export E2E_RELEASE_REQUIRED=1
"$(dirname "$0")/check-layout.sh" || rc=1
log=$(mktemp) native_log=$(mktemp)
# The native tests (the fuzzer's half minute among them) run beside the
# Windows ones. Most Windows tests wait on Wine, a printer or a closing
# wait rather than compute, so more of them run at once than there are cores.
ctest --test-dir "$B/native" --output-on-failure -j "$jobs" >"$native_log" 2>&1 &
native=$!
xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$B/win64" --output-on-failure -j $((jobs + 2)) --timeout 900 2>&1 |
    tee "$log" || rc=1
wait $native || rc=1
cat "$native_log" && cat "$native_log" >>"$log"
echo "Slowest tests:"
sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .* ([0-9.]+) sec$/\2 \1/p' "$log" |
    sort -rn | head -15 | awk '{ printf "  %8.1f s  %s\n", $1, $2 }'
rm -f "$log" "$native_log"
exit $rc
