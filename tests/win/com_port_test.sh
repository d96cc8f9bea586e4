#!/usr/bin/env bash
# Runs the serial driver tests under Wine against a stand-in printer on a
# pty mapped to COM<N> of the test prefix (a distinct N per test, so tests
# can run side by side).
# Usage: com_port_test.sh WINE_RUN PREFIX TEST_EXE PORT_NUMBER PEER [gtest args]
set -euo pipefail
wine_run=$1 prefix=$2 exe=$3 n=$4 peer=$5
shift 5

dir=$(mktemp -d /tmp/kestrel-com$n.XXXXXX)
peer_pid=
cleanup() {
    if [ -n "$peer_pid" ]; then kill "$peer_pid" 2>/dev/null || true; fi
    rm -rf "$dir"
}
trap cleanup EXIT

# The prefix and a persistent server must exist before the port link is
# made, or the server's start would remap it.
timeout 300 "$wine_run" --prefix "$prefix" "$exe" --gtest_list_tests >/dev/null

python3 "$peer" "$prefix/dosdevices/com$n" "$dir" </dev/null >"$dir/peer.log" 2>&1 &
peer_pid=$!
for _ in $(seq 100); do [ -f "$dir/ready" ] && break; sleep 0.1; done
[ -f "$dir/ready" ] || { echo "peer did not start"; cat "$dir/peer.log"; exit 1; }

KESTREL_COM_PORT=COM$n KESTREL_PEER_DIR=$dir \
    timeout 600 "$wine_run" --prefix "$prefix" "$exe" "$@"
