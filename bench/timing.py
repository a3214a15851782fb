"""Side-by-side timing: medians of interleaved runs, so both contenders see the
same machine conditions."""

from __future__ import annotations

import statistics
import time
from typing import Callable


def median_seconds(contenders: dict[str, Callable[[], object]], rounds: int, inner: int = 1):
    samples: dict[str, list[float]] = {name: [] for name in contenders}
    for _ in range(rounds):
        for name, run in contenders.items():
            start = time.perf_counter()
            for _ in range(inner):
                run()
            samples[name].append((time.perf_counter() - start) / inner)
    return {name: statistics.median(values) for name, values in samples.items()}


def format_time(seconds: float) -> str:
    if seconds >= 1e-3:
        return f"{seconds * 1e3:9.3f} ms"
    if seconds >= 1e-6:
        return f"{seconds * 1e6:9.3f} us"
    return f"{seconds * 1e9:9.1f} ns"
