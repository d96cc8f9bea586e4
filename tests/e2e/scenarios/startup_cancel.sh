#!/usr/bin/env bash
source "$(dirname "$0")/../../../scripts/e2e-harness.sh"
here=$(dirname "$(realpath "$0")")
e2e_init "$1" startup_cancel
e2e_pilot "$here/startup_cancel.steps" || e2e_fail "the steps did not all pass"
e2e_pass
