"""A definition's fault, taken apart for people and for tools.

The native module raises ``ParseError`` or ``ValidationError`` with one text
that holds everything: a first line naming what is wrong and where ("... in
States.Fetch.Retry[0].MaxAttempts" or "... at root"), then optional
"  Value: ..." and "  Hint: ..." lines.  ``describe`` splits that text into its
parts and adds the line and column where the faulty value starts.

User text (state names, keys, values) is inserted into those messages without
escaping, so the location cannot be cut out by position alone: every " in "
is a candidate, and the first candidate that names a real place in the
definition wins.
"""

from __future__ import annotations

import re
from dataclasses import asdict, dataclass
from typing import Any, Optional

from pyvorn._source import Node, Positions, ScanError, locate, scan

_READER_POSITION = re.compile(r" at line ([0-9]+) column ([0-9]+)$")

# Texts that may follow the location on a first line, by the rule that wrote them.
_TRAILERS = (
    re.compile(
        r": expected (object|array|string|boolean|integer|non-negative integer"
        r"|integer within u32 range|number|string or null)$"
    ),
    re.compile(r": value must be a string \(JSONPath\)$"),
)

_VALUE_LINE = "\n  Value: "
_HINT_LINE = "\n  Hint: "
_STATE_LINE = "\n  State: "


@dataclass
class Fault:
    """One definition fault.  ``kind`` is the exception's name; ``message`` the
    first line of its text; ``location`` the location path ("" for the whole
    definition, None when the fault has no place, as for text that is not
    JSON); ``line`` and ``column`` where the faulty value starts, when known."""

    kind: str
    message: str
    location: Optional[str] = None
    line: Optional[int] = None
    column: Optional[int] = None
    value: Optional[str] = None
    hint: Optional[str] = None

    def as_dict(self) -> dict[str, Any]:
        return asdict(self)


def _split_detail(text: str) -> tuple[str, Optional[str], Optional[str]]:
    """First line(s), Value, Hint.  Hints are fixed one-line texts, so the last
    Hint line is the real one; the Value line is the first after the kind line."""
    hint = None
    cut = text.rfind(_HINT_LINE)
    if cut >= 0 and "\n" not in text[cut + len(_HINT_LINE) :]:
        text, hint = text[:cut], text[cut + len(_HINT_LINE) :]
    value = None
    cut = text.find(_VALUE_LINE)
    if cut >= 0:
        text, value = text[:cut], text[cut + len(_VALUE_LINE) :]
    return text, value, hint


def _location_candidates(first_line: str) -> list[str]:
    for trailer in _TRAILERS:
        first_line = trailer.sub("", first_line, count=1)
    candidates = [first_line[m.end() :] for m in re.finditer(" in ", first_line)]
    if first_line.endswith(" at root") or first_line == "at root":
        candidates.append("")
    return candidates


def _tree(text: str) -> Optional[Node]:
    try:
        return scan(text)
    except (ScanError, RecursionError):
        return None


def describe(error: Exception, text: str) -> Fault:
    """Take a ``ParseError`` or ``ValidationError`` raised for ``text`` apart."""
    full = str(error)
    first, value, hint = _split_detail(full)
    state_cut = first.find(_STATE_LINE)
    head = first if state_cut < 0 else first[:state_cut]
    fault = Fault(type(error).__name__, first, value=value, hint=hint)

    if full.startswith("invalid JSON: "):
        # The reader's message carries its own position; there is no place path.
        match = _READER_POSITION.search(full)
        if match:
            fault.line, fault.column = int(match.group(1)), int(match.group(2))
        return fault

    candidates = _location_candidates(head)
    if not candidates:
        return fault
    root = _tree(text)
    if root is None:
        fault.location = candidates[-1]
        return fault
    chosen: Optional[tuple[str, Node]] = None
    for candidate in candidates:
        node, whole = locate(root, candidate)
        if whole:
            chosen = (candidate, node)
            break
    if chosen is None:
        # No reading names a real place; the shortest is the least likely to
        # have swallowed user text.  Point at the deepest place it reaches.
        chosen = (candidates[-1], locate(root, candidates[-1])[0])
    fault.location = chosen[0]
    fault.line, fault.column = Positions(text).at(chosen[1].offset)
    return fault
