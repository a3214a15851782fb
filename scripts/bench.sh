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

echo "==> bench/compile_stages.cpp"
cmake -S . -B build/bench -G Ninja -DPYVORN_BUILD_BENCH=ON -DPYVORN_BUILD_PYTHON=OFF >/dev/null
cmake --build build/bench --parallel "${PYVORN_JOBS:-2}" --target compile_stages step_engine check_definition \
  data_flow_steps aws_execution_steps >/dev/null
definition=$(mktemp)
trap 'rm -f "$definition"' EXIT
for shape in small large; do
  "$PYTHON" -c "import sys; sys.path.insert(0, 'bench'); from definitions import ${shape}_definition; print(${shape}_definition(2000))" >"$definition"
  build/bench/bench/compile_stages "$definition" 21
done

echo "==> bench/check_definition.cpp (the AWS dialect's checker: time and peak heap)"
for shape in small chained_heavy; do
  "$PYTHON" -c "import sys; sys.path.insert(0, 'bench'); from definitions import ${shape}_definition; print(${shape}_definition(2000))" >"$definition"
  build/bench/bench/check_definition "$definition"
done

echo "==> bench/step_engine.cpp"
build/bench/bench/step_engine

echo "==> bench/data_flow_steps.cpp (the AWS dialect's data flow per state)"
build/bench/bench/data_flow_steps

echo "==> bench/aws_execution_steps.cpp (the AWS dialect's interpreter per state)"
build/bench/bench/aws_execution_steps
