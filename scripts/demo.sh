#!/usr/bin/env bash
# Sets up, then runs the main job on the shipped examples: validate every
# definition under examples/ (two of them are broken on purpose).
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
