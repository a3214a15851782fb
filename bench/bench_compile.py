"""compile() against json.loads on the same 2 000-state definition, with the
time of each Python entry point along the pipeline.

Target: the whole pipeline (compile) in less than twice the time json.loads
takes to read the same text, so the ratio printed is below 2. The native
compile_stages benchmark splits the same work into parse, validate, lower and
generate.
"""

from __future__ import annotations

import json

import _pyvorn
from definitions import large_definition
from timing import format_time, median_seconds


def main() -> None:
    text = large_definition(2000)
    source = _pyvorn.compile(text)
    medians = median_seconds(
        {
            "json.loads": lambda: json.loads(text),
            "validate": lambda: _pyvorn.validate(text),
            "lower": lambda: _pyvorn.lower(text),
            "compile": lambda: _pyvorn.compile(text),
        },
        rounds=11,
    )
    print(
        f"definition: 2000 states, {len(text) / 1e6:.2f} MB of text;"
        f" generated source {len(source) / 1e6:.2f} MB"
    )
    for name, seconds in medians.items():
        print(f"  {name:<12}{format_time(seconds)}")
    print(f"  compile per state: {format_time(medians['compile'] / 2000).strip()}")
    print(f"  ratio compile / json.loads: {medians['compile'] / medians['json.loads']:.2f}")


if __name__ == "__main__":
    main()
