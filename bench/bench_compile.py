"""validate(), lower() and compile() against json.loads on the same text, for
the two shapes a definition takes: many small states (most real machines) and
data-heavy states (large templates and Pass results), 2 000 states each.

Targets, as ratios of medians to json.loads of the same text, measured in the
same run with the contenders interleaved (the machine may be shared and
loaded, so only ratios taken side by side mean anything):
  validate  at most 0.5
  compile   at most 1.5 on small states, at most 1.0 on data-heavy states
and the peak memory of one compile under 20 times the size of the text.

The native compile_stages benchmark splits the same work into parse,
validate, lower and generate.

  python bench/bench_compile.py [ROUNDS]      (default 21)
"""

from __future__ import annotations

import json
import os
import subprocess
import sys
import tempfile

import _pyvorn
from definitions import large_definition, small_definition
from timing import format_time, median_seconds

STATES = 2000
SHAPES = {"small states": small_definition, "data-heavy states": large_definition}
TARGETS = {
    "small states": {"validate": 0.5, "compile": 1.5},
    "data-heavy states": {"validate": 0.5, "compile": 1.0},
}
MEMORY_TARGET = 20.0

# One compile in a fresh interpreter: the growth of its peak resident size
# (VmHWM; ru_maxrss would carry the parent's peak across fork and exec) over
# the peak it had with the text already read is the compile's peak.
_PEAK_PROBE = """
import sys
import _pyvorn

def peak():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024

with open(sys.argv[1], encoding="utf-8") as f:
    text = f.read()
before = peak()
source = _pyvorn.compile(text)
print(peak() - before)
"""


def compile_peak_bytes(text: str) -> int:
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False, encoding="utf-8") as f:
        f.write(text)
        path = f.name
    try:
        out = subprocess.run(
            [sys.executable, "-c", _PEAK_PROBE, path], check=True, capture_output=True, text=True
        ).stdout
    finally:
        os.unlink(path)
    return int(out.strip())


def bench_shape(shape: str, text: str, rounds: int) -> None:
    source = _pyvorn.compile(text)  # must be a valid definition, or the comparison means nothing
    medians = median_seconds(
        {
            "json.loads": lambda: json.loads(text),
            "validate": lambda: _pyvorn.validate(text),
            "lower": lambda: _pyvorn.lower(text),
            "compile": lambda: _pyvorn.compile(text),
        },
        rounds=rounds,
    )
    base = medians["json.loads"]
    print(
        f"{shape}: {STATES} states, {len(text) / 1e6:.2f} MB of text,"
        f" {len(source) / 1e6:.2f} MB of source; medians of {rounds} interleaved runs"
    )
    for name, seconds in medians.items():
        ratio = "" if name == "json.loads" else f"  {seconds / base:5.2f}x json.loads"
        target = TARGETS[shape].get(name)
        verdict = f"  (target <= {target})" if target is not None else ""
        print(f"  {name:<12}{format_time(seconds)}{ratio}{verdict}")
    peak = compile_peak_bytes(text)
    print(
        f"  peak memory of one compile: {peak / 1e6:.1f} MB,"
        f" {peak / len(text.encode()):.1f}x the text (target < {MEMORY_TARGET:.0f})"
    )


def main() -> None:
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 21
    for shape, make in SHAPES.items():
        bench_shape(shape, make(STATES), rounds)


if __name__ == "__main__":
    main()
