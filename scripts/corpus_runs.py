"""Runs every definition of a folder twice with echo tasks and compares the
two histories, timestamps included.

    python scripts/corpus_runs.py DIR [--verbose] [--max-steps N]

Each definition the checker accepts and that can run today is started on
input {} with seed 0, on a virtual clock that starts at the same instant
both times, every Task answering its own input. Both runs must record the
same history event for event: anything else means the run depends on
something besides its definition, input and seed.

Prints counts (refused by the checker, refused as unsupported by feature,
run by final status, FAILED by error name) and lists every run that hit the
step limit, differed between its two runs or raised. Exit status 1 when a
run differed or raised, else 0.
"""

from __future__ import annotations

import argparse
import collections
import pathlib
import sys
from typing import Any, Optional

from pyvorn import aws

START = "2024-01-01T00:00:00Z"


def echo(input: Any, context: dict) -> Any:
    return input


def run_once(machine: aws.StateMachine, max_steps: int) -> aws.Execution:
    execution = machine.start_execution(
        {}, handlers=aws.Handlers(default=echo), clock=aws.VirtualClock(START), seed=0
    )
    execution.run(max_steps=max_steps)
    return execution


def feature_of(message: str) -> str:
    """The feature an UNSUPPORTED_FEATURE diagnostic is about, for counting:
    its messages name the feature first, or a field that calls an intrinsic."""
    if " is not supported" in message:
        return message.split(" is not supported")[0]
    return "intrinsic functions" if "intrinsic function" in message else message


def first_difference(one: list[dict[str, Any]], two: list[dict[str, Any]]) -> Optional[str]:
    for index, (a, b) in enumerate(zip(one, two)):
        if a != b:
            return f"event {index + 1}: {a.get('type')} vs {b.get('type')}"
    if len(one) != len(two):
        return f"{len(one)} events vs {len(two)}"
    return None


class Tally:
    def __init__(self) -> None:
        self.files = 0
        self.unreadable: list[str] = []
        self.refused = 0
        self.refused_at_start: list[str] = []
        self.unsupported_files = 0
        self.feature_uses: collections.Counter[str] = collections.Counter()
        self.feature_files: collections.Counter[str] = collections.Counter()
        self.statuses: collections.Counter[str] = collections.Counter()
        self.errors: collections.Counter[str] = collections.Counter()
        self.stuck: list[str] = []
        self.differing: list[str] = []
        self.raised: list[str] = []

    def take(self, path: pathlib.Path, max_steps: int) -> str:
        """Run one file; answers its verdict line."""
        self.files += 1
        try:
            text = path.read_text(encoding="utf-8")
        except (OSError, UnicodeDecodeError) as error:
            self.unreadable.append(f"{path.name}: {error}")
            return "UNREADABLE"
        if aws.validate(text)["result"] != "OK":
            self.refused += 1
            return "REFUSED"
        try:
            first = run_once(aws.StateMachine(text), max_steps)
            second = run_once(aws.StateMachine(text), max_steps)
        except aws.DefinitionError as error:
            features = [feature_of(d["message"]) for d in error.diagnostics if d["code"] == "UNSUPPORTED_FEATURE"]
            if not features:
                self.refused_at_start.append(f"{path.name}: {error}")
                return "REFUSED AT START"
            self.unsupported_files += 1
            self.feature_uses.update(features)
            self.feature_files.update(set(features))
            return f"UNSUPPORTED ({', '.join(sorted(set(features)))})"
        except Exception as error:  # a fault of the runner: reported, not fatal to the tally
            self.raised.append(f"{path.name}: {type(error).__name__}: {error}")
            return "RAISED"
        difference = first_difference(first.history, second.history)
        if difference is not None:
            self.differing.append(f"{path.name}: {difference}")
        self.statuses[first.status] += 1
        if first.status == "FAILED":
            self.errors[str(first.error)] += 1
        if first.status == "RUNNING":
            self.stuck.append(f"{path.name}: {len(first.history)} events")
        return first.status + ("" if first.error is None else f" {first.error}")


def table(rows: list[tuple[str, int]]) -> list[str]:
    width = max(len(label) for label, _ in rows)
    return [f"{label:<{width}}  {count:>5}" for label, count in rows]


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder", type=pathlib.Path)
    parser.add_argument("--verbose", action="store_true", help="one verdict line per file")
    parser.add_argument("--max-steps", type=int, default=10_000, help="states entered per run (default 10000)")
    args = parser.parse_args(argv)
    files = sorted(args.folder.glob("*.json"))
    if not files:
        print(f"{args.folder}: no definitions (*.json) found")
        return 0
    tally = Tally()
    for path in files:
        verdict = tally.take(path, args.max_steps)
        if args.verbose:
            print(f"{path.name}: {verdict}")
    if args.verbose:
        print()

    ran = sum(tally.statuses.values())
    rows = [("files", tally.files)]
    if tally.unreadable:
        rows.append(("unreadable", len(tally.unreadable)))
    rows.append(("refused by the checker", tally.refused))
    if tally.refused_at_start:
        rows.append(("refused when starting", len(tally.refused_at_start)))
    rows.append(("refused as unsupported, files using:", tally.unsupported_files))
    rows += [(f"  {name}", files) for name, files in tally.feature_files.most_common()]
    rows.append(("raised", len(tally.raised)))
    rows.append(("run twice", ran))
    for status in ("SUCCEEDED", "FAILED", "TIMED_OUT", "ABORTED", "RUNNING"):
        # A run stopped by the limit is always counted, even as 0: it is what to look for.
        if tally.statuses[status] or status == "RUNNING":
            label = f"stopped at {args.max_steps} states (RUNNING)" if status == "RUNNING" else status
            rows.append((f"  {label}", tally.statuses[status]))
            if status == "FAILED":
                rows += [(f"    {name}", count) for name, count in tally.errors.most_common()]
    rows.append(("non-deterministic (histories differed)", len(tally.differing)))
    print("\n".join(table(rows)))
    for title, items in (
        ("unreadable", tally.unreadable),
        ("refused when starting", tally.refused_at_start),
        (f"stopped by the limit of {args.max_steps} states entered", tally.stuck),
        ("raised instead of running", tally.raised),
        ("the two runs recorded different histories", tally.differing),
    ):
        if items:
            print(f"\n{title}:")
            print("\n".join(f"  {item}" for item in items))
    return 1 if tally.differing or tally.raised else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
