#!/usr/bin/env bash
# Regenerates the pictures under docs/: the order pipeline as a graph, and a
# run of it with its example input and handlers drawn on top. Needs pyvorn
# installed (make demo) and Graphviz's dot (scripts/setup.sh installs it).
set -euo pipefail
cd "$(dirname "$0")/.."

PYTHON=${PYTHON:-python3}
"$PYTHON" -m pyvorn graph examples/order_pipeline.json -o docs/order_pipeline.svg

if "$PYTHON" -c 'import sys, _pyvorn; sys.exit(not hasattr(_pyvorn, "StateMachine"))'; then
  # The run's result goes to stdout; only the picture is wanted here.
  "$PYTHON" -m pyvorn run examples/order_pipeline.json \
    --input @examples/inputs/order_pipeline.json \
    --handlers examples/handlers/order_pipeline.py \
    --graph docs/order_pipeline_run.svg >/dev/null
else
  echo "skipped docs/order_pipeline_run.svg: this build of _pyvorn has no StateMachine yet" >&2
fi
