#!/usr/bin/env bash
# Bounded fuzzing: builds every libFuzzer target under fuzz/ with clang (in
# build/fuzz), replays the saved regression inputs, then fuzzes each target
# for SECONDS (default 30) from seeds that fuzz/seeds.py writes afresh.
#
#   scripts/fuzz.sh            # CI: 30 s per target
#   scripts/fuzz.sh 1800       # a longer hunt; the corpus in build/fuzz/corpus
#                              # grows across runs
#
# Needs what scripts/setup.sh installs (clang, the extension for the seeds).
# A crash, a leak, a hang or a sanitizer report fails the run and leaves the
# input in build/fuzz/crashes/; once fixed, it goes into
# fuzz/regressions/<target>/, which the C++ test suites replay.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
PYTHON=${PYTHON:-python3}
build=build/fuzz
jobs=${PYVORN_JOBS:-2}

echo "==> building the fuzz targets with clang"
# Line tables for readable reports; assertions stay on.
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -gline-tables-only" -DPYVORN_BUILD_FUZZERS=ON \
  -DPYVORN_BUILD_PYTHON=OFF >/dev/null
cmake --build "$build" --parallel "$jobs"

echo "==> writing the seed corpora"
rm -rf "$build/seeds"
"$PYTHON" fuzz/seeds.py "$build/seeds"

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:suppressions=$PWD/scripts/ubsan.supp
mkdir -p "$build/crashes"
targets=$(find "$build/fuzz" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x -printf '%f\n' | sort)
if [ -z "$targets" ]; then
  echo "no fuzz targets under $build/fuzz" >&2
  exit 1
fi
summary=()
for target in $targets; do
  binary="$build/fuzz/$target"
  regressions="fuzz/regressions/$target"
  if [ -d "$regressions" ]; then
    echo "==> $target: replaying $regressions"
    "$binary" -runs=0 "$regressions" 2>&1 | tail -n 2
  fi

  echo "==> $target: fuzzing for $seconds s"
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$build/crashes/$target-")
  [ -f "$build/seeds/$target.dict" ] && options+=(-dict="$build/seeds/$target.dict")
  log="$build/$target.log"
  if ! "$binary" "${options[@]}" "$corpus" "$build/seeds/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "$target failed; the input is in $build/crashes/ (full log: $log)" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  size=$(find "$corpus" -type f | wc -l)
  summary+=("$target: $runs runs in $seconds s, corpus of $size inputs")
done

echo "==> fuzzing summary"
printf '  %s\n' "${summary[@]}"
