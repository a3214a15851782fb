#!/usr/bin/env bash
# Builds the C++ suites and the extension with AddressSanitizer and
# UndefinedBehaviorSanitizer (in build/asan, apart from the normal build), then
# runs the C++ suites with leak detection on and the pytest suite against the
# instrumented extension. Any sanitizer report fails the run.
#
# Needs what scripts/setup.sh installs; PYTHON must be the interpreter the
# tests run under (the extension is built for it).
set -euo pipefail
cd "$(dirname "$0")/.."

PYTHON=${PYTHON:-python3}
# The interpreter itself, not a launcher script (a version manager's shim)
# that would run under the preloaded sanitizer runtime too.
PYTHON=$("$PYTHON" -c 'import sys; print(sys.executable)')
build=build/asan
jobs=${PYVORN_JOBS:-2}

echo "==> building the C++ suites and the extension with ASan and UBSan"
# -O1 with line tables: reports name file and line, and the build takes a
# fraction of the time full debug information costs. Assertions stay on.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DPYVORN_SANITIZE=ON -DPYVORN_BUILD_TESTS=ON \
  -DPYVORN_BUILD_PYTHON=ON -DPython_EXECUTABLE="$PYTHON" >/dev/null
cmake --build "$build" --parallel "$jobs"

# halt_on_error turns every report into a failed test rather than a line in a
# log nobody reads; UBSan recovers by default, so it needs the same.
common_asan=halt_on_error=1:abort_on_error=0:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:suppressions=$PWD/scripts/ubsan.supp

echo "==> running the C++ suites under the sanitizers (leak detection on)"
# Leak detection is LeakSanitizer's default here, and is left to it so that the
# embedded-interpreter suite can turn it off for itself: the interpreter keeps
# allocations until exit by design.
ASAN_OPTIONS=$common_asan \
  ctest --test-dir "$build" --output-on-failure --progress

echo "==> running the Python tests against the instrumented extension"
extension=$(find "$build/src/pyvorn" -maxdepth 1 -name '_pyvorn*.so' -print -quit)
aws_extension=$(find "$build/src/pyvorn_aws" -maxdepth 1 -name '_aws*.so' -print -quit)
if [ -z "$extension" ] || [ -z "$aws_extension" ]; then
  echo "no instrumented _pyvorn or _aws extension under $build/src" >&2
  exit 1
fi
# pyvorn._aws lives inside the package, so the package's Python files are
# staged beside the instrumented module.
stage=$build/python
rm -rf "$stage"
mkdir -p "$stage"
cp -r python/pyvorn "$stage/"
cp "$aws_extension" "$stage/pyvorn/"
# The interpreter is not instrumented, so the runtimes are preloaded; its own
# allocator is switched to malloc so that ASan sees every object's bounds.
# Leaks are not checked here: an interpreter frees little at exit.
preload="$(g++ -print-file-name=libasan.so):$(g++ -print-file-name=libubsan.so)"
export PYTHONPATH="$PWD/$build/src/pyvorn:$PWD/$stage${PYTHONPATH:+:$PYTHONPATH}"
export PYTHONMALLOC=malloc
export ASAN_OPTIONS=$common_asan:detect_leaks=0
# Tools the tests start (rustc) are not ours and crash with the runtime
# preloaded; a shim ahead on PATH starts them without it.
if real_rustc=$(command -v rustc); then
  mkdir -p "$build/shims"
  printf '#!/bin/sh\nunset LD_PRELOAD\nexec %q "$@"\n' "$real_rustc" >"$build/shims/rustc"
  chmod +x "$build/shims/rustc"
  export PATH="$PWD/$build/shims:$PATH"
fi
LD_PRELOAD=$preload "$PYTHON" -c "
import _pyvorn, pyvorn._aws, sys
expected = '$PWD/$extension'
if _pyvorn.__file__ != expected:
    sys.exit(f'imported {_pyvorn.__file__}, not the instrumented {expected}')
expected = '$PWD/$stage/pyvorn/'
if not pyvorn._aws.__file__.startswith(expected):
    sys.exit(f'imported {pyvorn._aws.__file__}, not the instrumented one under {expected}')
"
LD_PRELOAD=$preload "$PYTHON" -m pytest -q -p no:cacheprovider tests/python
