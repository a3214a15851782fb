#!/usr/bin/env bash
# Sets up, then builds and runs every C++ and Python test, then the same
# suites under ASan and UBSan (scripts/sanitize.sh) and a bounded fuzzing run
# of every fuzz target (scripts/fuzz.sh; PYVORN_FUZZ_SECONDS per target,
# default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

PYTHON=${PYTHON:-python3}
# Two cores here: ninja's default of cores + 2 jobs only makes them thrash.
jobs=${PYVORN_JOBS:-2}
echo "==> building the C++ test suites"
cmake -S . -B build/cpp -G Ninja -DPYVORN_BUILD_TESTS=ON -DPYVORN_BUILD_PYTHON=ON >/dev/null
cmake --build build/cpp --parallel "$jobs"

echo "==> running the C++ tests"
ctest --test-dir build/cpp --output-on-failure --progress

echo "==> running the Python tests"
"$PYTHON" -m pytest -q tests/python

echo "==> checking the type stubs against the installed module"
# stubtest reports success, silently, when it finds no stubs for a module whose
# name starts with an underscore; make sure mypy sees the installed ones first.
"$PYTHON" -m mypy --no-incremental -c "import _pyvorn"
"$PYTHON" -m mypy.stubtest --strict-type-check-only _pyvorn

echo "==> type-checking the pyvorn package"
"$PYTHON" -m mypy python/pyvorn

scripts/sanitize.sh
scripts/fuzz.sh "${PYVORN_FUZZ_SECONDS:-30}"
