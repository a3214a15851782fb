#!/usr/bin/env bash
# Sets up, then builds and runs every C++ and Python test, then the same
# suites under ASan and UBSan (scripts/sanitize.sh) and a bounded fuzzing run
# of every fuzz target (scripts/fuzz.sh; PYVORN_FUZZ_SECONDS per target,
# default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

PYTHON=${PYTHON:-python3}
echo "==> building the C++ test suites"
cmake -S . -B build/cpp -G Ninja -DPYVORN_BUILD_TESTS=ON -DPYVORN_BUILD_PYTHON=ON >/dev/null
cmake --build build/cpp

echo "==> running the C++ tests"
ctest --test-dir build/cpp --output-on-failure --progress

echo "==> running the Python tests"
"$PYTHON" -m pytest -q tests/python

scripts/sanitize.sh
scripts/fuzz.sh "${PYVORN_FUZZ_SECONDS:-30}"
