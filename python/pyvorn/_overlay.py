"""What a run did, read back from its journal.

A machine's journal records one entry per executed state, but not the way the
machine went from one entry to the next: a Choice leaves no entry, a retry and
a caught error look alike at first sight, and a state may be reached again
through a loop.  ``trace_run`` works the ways out again from the definition,
by the dispatcher's own rules:

- after a successful Task or Pass the machine follows ``Next``; after an entry
  that completed the machine (End, Succeed) or failed it for good, a further
  step runs the same state again;
- after a failed Task attempt the first Retry rule that matches and still has
  attempts left repeats the state, else the first matching Catch leads on.
  The errors of Python handlers are always of kind External, so that is the
  kind assumed; when the journal disagrees, any Retry or Catch is accepted;
- a Choice takes the first rule that holds on its input, else its default.
  The input of every step is known from the entries before it (and from the
  initial input, when the caller gives it), so a rule is evaluated where its
  value is known.  Where it is not, every rule that might hold is a candidate.

When more than one way fits, only the edges common to all of them are marked
as taken: the picture never claims an edge the run may not have used.
"""

from __future__ import annotations

from collections import Counter
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field
from itertools import islice
from typing import Any, Iterator, Optional, Union

from pyvorn._inspect import Condition, Edge, MachineFacts

# A value the run had but the journal does not show.
UNKNOWN: Any = object()

# Error kinds that Retry and Catch rules can handle, as the dispatcher names them.
_HANDLED_KIND = "External"

Walk = tuple[Edge, ...]

# Past this many ways between two entries (Choices that fan out and meet again,
# on data we cannot see) no edge of that step is marked.
MAX_WALKS = 256


@dataclass
class Attempt:
    """One journal entry of a state: its position in the journal, its attempt
    number, and the error message when the attempt failed."""

    entry: int
    attempt: int
    error: Optional[str] = None


@dataclass
class RunTrace:
    """The run as the picture shows it."""

    current: str
    attempts: dict[str, list[Attempt]] = field(default_factory=dict)
    # How often a Choice routed the run (Choices leave no journal entry).
    routed: Counter[str] = field(default_factory=Counter)
    taken: Counter[Edge] = field(default_factory=Counter)

    def executed(self, name: str) -> bool:
        return name in self.attempts or self.routed[name] > 0


# --- Choice rules on decoded data -------------------------------------------


def parse_value_path(path: str) -> list[Union[str, int]]:
    """The segments of a validated path: keys as str, indexes as int."""
    if path == "$":
        return []
    segments: list[Union[str, int]] = []
    for piece in path[2:].split("."):
        open_at = piece.find("[")
        if open_at < 0:
            segments.append(piece)
            continue
        if open_at > 0:
            segments.append(piece[:open_at])
        while open_at >= 0:
            close_at = piece.find("]", open_at + 1)
            if close_at < 0:
                break
            text = piece[open_at + 1 : close_at]
            digits = text[1:] if text.startswith("+") else text
            if digits.isascii() and digits.isdigit() and int(digits) <= 0xFFFF:
                segments.append(int(digits))
            open_at = piece.find("[", close_at + 1)
    return segments


def evaluate(condition: Condition, data: Any) -> Optional[bool]:
    """Whether the rule holds on ``data``; None when the data is not known."""
    if data is UNKNOWN:
        return None
    value = data
    for segment in parse_value_path(condition.variable):
        if isinstance(segment, str):
            if not isinstance(value, Mapping) or segment not in value:
                return False
            value = value[segment]
        else:
            if not isinstance(value, list) or segment >= len(value):
                return False
            value = value[segment]
    if condition.operator == "NumericEquals":
        # The engine compares integers only: 3.0 and True are not 3.
        return type(value) is int and value == condition.value
    if condition.operator == "StringEquals":
        return isinstance(value, str) and value == condition.value
    return isinstance(value, bool) and value == condition.value


# --- the ways between entries --------------------------------------------------


@dataclass
class _Entry:
    name: str
    attempt: int
    failed: bool
    error: Optional[str]
    input: Any
    output: Any

    def passes_on(self) -> Any:
        """What the next step reads, whichever state it runs: the output, or
        for a failed attempt the input (a retry or a catcher sees what
        failed). The engine reads the journal by the same rule."""
        if self.output is not UNKNOWN:
            return self.output
        return self.input if self.failed else UNKNOWN


class _Tracer:
    def __init__(self, facts: MachineFacts) -> None:
        self.facts = facts

    def choices(self, name: str, data: Any) -> list[Edge]:
        """The edges a Choice may take on ``data``, in rule order."""
        possible = []
        for edge in self.facts.edges(name):
            if edge.kind != "rule":
                possible.append(edge)  # the default, reached only when no rule held
                break
            assert edge.condition is not None
            holds = evaluate(edge.condition, data)
            if holds is True:
                return possible + [edge]
            if holds is None:
                possible.append(edge)
        return possible

    def routes(self, start: str, goal: str, data: Any) -> Iterator[Walk]:
        """Every way from ``start`` to ``goal`` that passes only through Choices
        (none twice: a Choice cannot change its data, so a cycle would never end)."""
        # Iterative, so a long chain of Choices cannot exhaust the stack.
        stack: list[tuple[str, Walk, frozenset[str]]] = [(start, (), frozenset())]
        while stack:
            name, walk, seen = stack.pop()
            if name == goal:
                yield walk
                continue
            if self.facts.kind(name) != "Choice" or name in seen:
                continue
            for edge in reversed(self.choices(name, data)):
                stack.append((edge.target, walk + (edge,), seen | {name}))

    def some_routes(self, start: str, goal: str, data: Any) -> list[Walk]:
        return list(islice(self.routes(start, goal, data), MAX_WALKS + 1))

    def after(self, entry: _Entry, goal: str, data: Any) -> list[Walk]:
        """The ways from ``entry`` to the next state that ran, ``goal``."""
        facts = self.facts
        again: list[Walk] = [()] if goal == entry.name else []
        if entry.failed:
            if facts.kind(entry.name) != "Task":
                return again  # a Fail state ends the run; a further step repeats it
            for rule in facts.retries(entry.name):
                if _matches(rule.errors) and entry.attempt + 1 < rule.max_attempts:
                    if goal == entry.name:
                        return again
                    break
            else:
                for edge in facts.edges(entry.name):
                    if edge.kind == "catch" and _matches(edge.errors):
                        walks = [(edge,) + rest for rest in self.some_routes(edge.target, goal, data)]
                        if walks:
                            return walks
                        break
                else:
                    if goal == entry.name:
                        return again
            # The journal went another way than an External error would: the
            # handler registry reported another kind.  Accept any rule.
            return again + [
                (edge,) + rest
                for edge in facts.edges(entry.name)
                if edge.kind == "catch"
                for rest in self.some_routes(edge.target, goal, data)
            ]
        if facts.ends(entry.name):
            return again
        (edge,) = [edge for edge in facts.edges(entry.name) if edge.kind == "next"]
        return [(edge,) + rest for rest in self.some_routes(edge.target, goal, data)]


def _matches(errors: Sequence[str]) -> bool:
    return _HANDLED_KIND in errors or "*" in errors


def _resolve(facts: MachineFacts, current_state: Any) -> str:
    if isinstance(current_state, bool) or not isinstance(current_state, (int, str)):
        kind = type(current_state).__name__
        raise TypeError(f"current_state must be a state id (int) or name (str), not {kind}")
    if isinstance(current_state, int):
        if not 0 <= current_state < len(facts.state_names):
            raise ValueError(f"current_state {current_state} is not a state id of this machine")
        return facts.state_names[current_state]
    if current_state not in facts.states:
        raise ValueError(f"current_state {current_state!r} is not a state of this machine")
    return current_state


def _entries(facts: MachineFacts, journal: Sequence[Mapping[str, Any]], initial: Any) -> list[_Entry]:
    entries: list[_Entry] = []
    for i, raw in enumerate(journal):
        if not isinstance(raw, Mapping):
            raise TypeError(f"journal entry {i} must be a dict, not {type(raw).__name__}")
        name = raw.get("state_name")
        if not isinstance(name, str) or name not in facts.states:
            raise ValueError(f"journal entry {i} names state {name!r}, which this machine does not have")
        state_id = raw.get("state_id", facts.state_ids[name])
        if state_id != facts.state_ids[name]:
            raise ValueError(
                f"journal entry {i} gives state {name!r} the id {state_id!r}; "
                f"this machine numbers it {facts.state_ids[name]}"
            )
        attempt = raw.get("attempt")
        if isinstance(attempt, bool) or not isinstance(attempt, int) or attempt < 0:
            raise ValueError(f"journal entry {i} has no attempt number (a whole number from 0)")
        failed = "error" in raw
        data_in = initial if not entries else entries[-1].passes_on()
        output = raw["output"] if "output" in raw else UNKNOWN
        error = raw.get("error")
        entries.append(_Entry(name, attempt, failed, None if error is None else str(error), data_in, output))
    return entries


def trace_run(
    facts: MachineFacts,
    journal: Sequence[Mapping[str, Any]],
    current_state: Union[int, str],
    initial_input: Any = UNKNOWN,
) -> RunTrace:
    """Read ``journal`` (a StateMachine's ``journal``: dicts with "state_name",
    "state_id", "attempt", and "output" or "error") and ``current_state`` (its
    ``current_state``, an id, or a state name) against ``facts``.

    Raises TypeError or ValueError when the journal cannot be a run of this
    machine: a state it does not have, or two entries no transition joins.
    """
    current = _resolve(facts, current_state)
    entries = _entries(facts, journal, initial_input)
    trace = RunTrace(current)
    tracer = _Tracer(facts)

    def follow(walks: list[Walk], where: str) -> None:
        if not walks:
            raise ValueError(f"{where}: no transition of this machine leads there")
        if len(walks) > MAX_WALKS:
            return
        certain = set(walks[0]).intersection(*walks[1:])
        choices = [{edge.source for edge in walk if facts.kind(edge.source) == "Choice"} for walk in walks]
        for edge in certain:
            trace.taken[edge] += 1
        for name in choices[0].intersection(*choices[1:]):
            trace.routed[name] += 1

    def ways(start: str, goal: str, data: Any, before: Optional[_Entry]) -> list[Walk]:
        # A rule evaluated on data the engine reads differently must not make
        # a real run unexplainable: fall back to the structure alone.
        for known in (data, UNKNOWN):
            if before is None:
                walks = tracer.some_routes(start, goal, known)
            else:
                walks = tracer.after(before, goal, known)
            if walks or known is UNKNOWN:
                return walks
        return []

    previous: Optional[_Entry] = None
    for i, entry in enumerate(entries):
        data = initial_input if previous is None else previous.passes_on()
        walks = ways(facts.start_at, entry.name, data, previous)
        origin = "the start" if previous is None else f"{previous.name!r} (entry {i - 1})"
        follow(walks, f"journal entry {i} ({entry.name!r}) cannot follow {origin}")
        error = entry.error if entry.failed else None
        trace.attempts.setdefault(entry.name, []).append(Attempt(i, entry.attempt, error))
        previous = entry

    data = initial_input if previous is None else previous.passes_on()
    walks = ways(facts.start_at, current, data, previous)
    origin = "the start" if previous is None else f"the last journal entry ({previous.name!r})"
    follow(walks, f"the current state {current!r} cannot follow {origin}")
    return trace
