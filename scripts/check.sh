#!/usr/bin/env bash
# The full check CI runs: the plain suites (scripts/test.sh), then the same
# suites under ASan and UBSan (scripts/sanitize.sh) and a bounded fuzzing run
# of every fuzz target (scripts/fuzz.sh; PYVORN_FUZZ_SECONDS per target,
# default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/test.sh
scripts/sanitize.sh
scripts/fuzz.sh "${PYVORN_FUZZ_SECONDS:-30}"
