"""aws.validate against json.loads on the same text, on the two shapes users
have: 2 000 small states, and 2 000 data-heavy ones.

Target: aws.validate (reading and every check) takes no longer than json.loads
of the same text, so both ratios printed are at most 1. The peak memory of one
check (target: under 20 times the text) is measured natively by
bench/check_definition.cpp, which scripts/bench.sh runs on the same shapes.
"""

from __future__ import annotations

import json

from definitions import chained_heavy_definition, small_definition
from timing import format_time, median_seconds

from pyvorn import aws

SHAPES = {"small states": small_definition, "data-heavy states": chained_heavy_definition}


def main() -> None:
    for label, make in SHAPES.items():
        text = make(2000)
        report = aws.validate(text)
        if report["result"] != "OK":  # the comparison means nothing on a refused text
            raise SystemExit(f"{label}: not valid: {report['diagnostics'][:3]}")
        medians = median_seconds(
            {"json.loads": lambda: json.loads(text), "aws.validate": lambda: aws.validate(text)}, rounds=21
        )
        print(f"{label}: 2000 states, {len(text.encode()) / 1e6:.2f} MB of text")
        for name, seconds in medians.items():
            print(f"  {name:<14}{format_time(seconds)}")
        print(f"  ratio aws.validate / json.loads: {medians['aws.validate'] / medians['json.loads']:.2f}")


if __name__ == "__main__":
    main()
