#!/usr/bin/env bash
# Sets up, then builds and runs every C++ and Python test, stubtest and mypy:
# the plain suites, the answer a newcomer waits for. scripts/check.sh adds the
# sanitizer job and the bounded fuzzing.
set -euo pipefail
cd "$(dirname "$0")/.."
PYVORN_WITH_TESTS=1 scripts/setup.sh

PYTHON=${PYTHON:-python3}
jobs=${PYVORN_JOBS:-2}
echo "==> building the C++ test suites"
# Configured and built by the install above; this only catches up.
cmake --build build/cpp --parallel "$jobs"

echo "==> running the C++ tests"
ctest --test-dir build/cpp --output-on-failure --progress

echo "==> running the Python tests"
"$PYTHON" -m pytest -q -n "$jobs" tests/python

echo "==> checking the type stubs against the installed module"
# stubtest reports success, silently, when it finds no stubs for a module whose
# name starts with an underscore; make sure mypy sees the installed ones first.
"$PYTHON" -m mypy --no-incremental -c "import _pyvorn"
"$PYTHON" -m mypy.stubtest --strict-type-check-only _pyvorn pyvorn._aws

echo "==> type-checking the pyvorn package"
"$PYTHON" -m mypy python/pyvorn
