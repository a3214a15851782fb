#!/usr/bin/env bash
# Sets up, then runs the main job on the shipped examples: validate every
# definition under examples/ (the broken_*.json ones are broken on purpose,
# one per family of faults), then run the order pipeline with its handlers,
# one trace line per step.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

PYTHON=${PYTHON:-python3}
echo "==> validating the definitions in examples/"
status=0
"$PYTHON" -m pyvorn validate examples/*.json || status=$?
# Exit status 1 means "some definition is invalid", which the broken examples
# are meant to show; anything else is a real failure.
[ "$status" -le 1 ]

echo "==> running examples/order_pipeline.json with --trace"
"$PYTHON" -m pyvorn run examples/order_pipeline.json \
  --input @examples/inputs/order_pipeline.json \
  --handlers examples/handlers/order_pipeline.py --trace
