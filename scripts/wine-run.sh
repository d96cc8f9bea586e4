#!/usr/bin/env bash
# Runs one Windows program under wine64 in the build tree's own prefix.
# Usage: wine-run.sh --prefix DIR program.exe [args...]
# The prefix is made once (wineboot takes seconds) under a lock so that
# parallel tests do not race, and the server is started persistent with its
# output redirected so that nothing that reads our output hangs on it.
# Persistent, but only for a while: it ends once no program of the prefix
# has run for $idle seconds, so that no run leaves it behind.
set -euo pipefail
[ "${1:-}" = --prefix ] || { echo "usage: $0 --prefix DIR prog [args]" >&2; exit 2; }
prefix=$2; shift 2
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver64
idle=60
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock -w 600 9
if [ ! -f "$prefix/system.reg" ]; then
    "$wine" wineboot -i </dev/null >"$prefix.boot.log" 2>&1 || true
    "$server" -w </dev/null >/dev/null 2>&1 || true
fi
# -pN: persistent for N idle seconds; a second start while one runs fails
# (status 2), which is fine. A fresh server has none of the prefix's helpers
# (services, explorer) yet: start them here with their output away from
# ours, or the program below starts them holding its caller's pipes, and
# ctest waits for ever.
if "$server" -p$idle </dev/null >>"$prefix.server.log" 2>&1; then
    "$wine" wineboot </dev/null >>"$prefix.boot.log" 2>&1 || true
fi
flock -u 9
# Wine's helper processes (services.exe and friends) start with the first
# program of a server session and inherit its stdout and stderr; given a
# pipe, they would hold it open for as long as the server lives and whoever
# reads it (ctest) would wait forever. So the program writes to files,
# which are passed on when it ends.
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
child=
# Whoever stops this wrapper by its PID means the program.
trap '[ -n "$child" ] && kill -TERM "$child" 2>/dev/null' TERM INT HUP
trap 'rm -f "$out" "$out.err"' EXIT
"$wine" "$@" </dev/null >"$out" 2>"$out.err" &
child=$!
set +e
wait "$child"
rc=$?
# A signal ends the first wait early; the program's own status comes after.
while kill -0 "$child" 2>/dev/null; do wait "$child"; rc=$?; done
set -e
cat "$out"
cat "$out.err" >&2
exit $rc
