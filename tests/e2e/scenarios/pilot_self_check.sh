#!/usr/bin/env bash
# The pilot's own steps against a stand-in program: a pilot that clicks the
# wrong thing or cannot tell a hung window would make every scenario lie.
source "$(dirname "$0")/../../../scripts/e2e-harness.sh"
here=$(dirname "$(realpath "$0")")
e2e_init "$1" pilot_self_check
: >"$E2E_WORK/fw.fls"

e2e_pilot "$here/pilot_self_check.steps" || e2e_fail "pilot steps against the stand-in"

# The probe must object to a window that leaves messages unanswered.
e2e_pilot "$here/pilot_slow_window.steps" >/dev/null
rc=$?
grep -q '^probe: ' "$E2E_WORK/pilot.log" && grep -q 'FAIL (noted earlier) at line .* (probe-stop)' "$E2E_WORK/pilot.log" \
    && [ "$rc" -eq 1 ] || e2e_fail "the probe passed a window that was busy for 1.5 s (rc $rc)"
e2e_pass
