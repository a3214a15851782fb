#!/usr/bin/env bash
# Sets up, then runs every benchmark under bench/ and prints its table.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

PYTHON=${PYTHON:-python3}
for bench in bench/bench_*.py; do
  echo "==> $bench"
  "$PYTHON" "$bench"
done
