#!/usr/bin/env bash
source "$(dirname "$0")/../../../scripts/e2e-harness.sh"
here=$(dirname "$(realpath "$0")")
e2e_init "$1" settings_rules
e2e_pilot "$here/settings_rules.steps" || e2e_fail "the steps did not all pass"
e2e_pass
