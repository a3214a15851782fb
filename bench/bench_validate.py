"""validate() against json.loads on the same 2 000-state definition.

Target: validate (parse and validation) takes less time than json.loads of the
same text, so the ratio printed is below 1.
"""

from __future__ import annotations

import json

import _pyvorn
from definitions import large_definition
from timing import format_time, median_seconds


def main() -> None:
    text = large_definition(2000)
    _pyvorn.validate(text)  # must be a valid definition, or the comparison means nothing
    medians = median_seconds(
        {"json.loads": lambda: json.loads(text), "validate": lambda: _pyvorn.validate(text)},
        rounds=15,
    )
    print(f"definition: 2000 states, {len(text) / 1e6:.2f} MB of text")
    for name, seconds in medians.items():
        print(f"  {name:<12}{format_time(seconds)}")
    print(f"  ratio validate / json.loads: {medians['validate'] / medians['json.loads']:.2f}")


if __name__ == "__main__":
    main()
