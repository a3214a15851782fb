#!/usr/bin/env bash
# Runs every definition of the AWS sample collection twice with echo tasks
# and checks that both runs record the same history (scripts/corpus_runs.py).
# Uses the pyvorn that python3 imports; PYVORN_CORPUS names another folder.
set -euo pipefail
cd "$(dirname "$0")/.."
corpus=${PYVORN_CORPUS:-../shared/corpus/aws-samples}
if [ ! -d "$corpus" ]; then
  echo "corpus.sh: no sample collection at $corpus (PYVORN_CORPUS names another folder); nothing to run"
  exit 0
fi
exec "${PYTHON:-python3}" scripts/corpus_runs.py "$corpus" "$@"
