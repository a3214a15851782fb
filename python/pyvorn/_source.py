"""Where things are in a definition's text.

The native compiler names the place of a fault with a location path such as
``States.Fetch.Retry[0].MaxAttempts``; editors and CI annotations want a line
and a column.  ``scan`` reads the definition text once more, keeping the offset
at which every value starts, and ``locate`` walks that tree along a location
path.

A location path cannot simply be split at dots: state names and template keys
may hold dots and brackets themselves ("a.b", "sku.$"), so ``locate`` tries
every key that fits the next stretch of the path and backtracks.  It is only
ever asked about text the native reader already accepted, so the scanner is
strict JSON with the same nesting limit, and anything it does not like is a
``ScanError`` the caller treats as "no position known".

Lines and columns are 1-based; a column counts characters (code points) from
the start of the line, and only "\\n" ends a line, as in the native reader's
own messages.
"""

from __future__ import annotations

import bisect
import json
import re
from dataclasses import dataclass, field
from typing import Any, Optional

# The native reader refuses anything nested deeper.
MAX_DEPTH = 128

_WHITESPACE = re.compile(r"[ \t\n\r]*")
_STRING = re.compile(r'"(?:[^"\\\x00-\x1f]|\\(?:["\\/bfnrt]|u[0-9a-fA-F]{4}))*"')
_NUMBER = re.compile(r"-?(?:0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?")
_INDEX = re.compile(r"\[([0-9]+)\]")

_INT_MIN = -(2**63)
_UINT_MAX = 2**64 - 1


class ScanError(ValueError):
    """The text is not JSON this module can place positions in."""


@dataclass
class Node:
    """One JSON value of the text and the offset (in characters) where it starts.

    ``members`` holds an object's members by key (the last of a repeated key
    wins, as in the native reader), ``items`` an array's elements, ``value``
    the Python value of a scalar.
    """

    offset: int
    kind: str  # "object", "array", "string", "number", "true", "false" or "null"
    value: Any = None
    members: dict[str, "Node"] = field(default_factory=dict)
    items: list["Node"] = field(default_factory=list)

    def to_python(self) -> Any:
        """The value as the native reader sees it: integers stay integers,
        a literal with a fraction or exponent, or out of both 64-bit ranges,
        is a float, and "-0" is the float -0.0."""
        if self.kind == "object":
            return {key: node.to_python() for key, node in self.members.items()}
        if self.kind == "array":
            return [node.to_python() for node in self.items]
        return self.value


def _number(token: str, fraction: Optional[str], exponent: Optional[str]) -> Any:
    if fraction is None and exponent is None and token != "-0":
        value = int(token)
        if _INT_MIN <= value <= _UINT_MAX:
            return value
    return float(token)


class _Scanner:
    def __init__(self, text: str) -> None:
        self.text = text

    def skip(self, at: int) -> int:
        match = _WHITESPACE.match(self.text, at)
        assert match is not None
        return match.end()

    def fail(self, what: str, at: int) -> ScanError:
        return ScanError(f"{what} at offset {at}")

    def string(self, at: int) -> tuple[str, int]:
        match = _STRING.match(self.text, at)
        if match is None:
            raise self.fail("bad string", at)
        token = match.group()
        value = json.loads(token) if "\\" in token else token[1:-1]
        return value, match.end()

    def value(self, at: int, depth: int) -> tuple[Node, int]:
        text = self.text
        if at >= len(text):
            raise self.fail("value expected", at)
        char = text[at]
        if char == "{" or char == "[":
            if depth >= MAX_DEPTH:
                raise self.fail("nested too deeply", at)
            return self.object(at, depth + 1) if char == "{" else self.array(at, depth + 1)
        if char == '"':
            value, end = self.string(at)
            return Node(at, "string", value), end
        for word, python in (("true", True), ("false", False), ("null", None)):
            if text.startswith(word, at):
                return Node(at, word, python), at + len(word)
        match = _NUMBER.match(text, at)
        if match is None or match.end() == at:
            raise self.fail("value expected", at)
        return Node(at, "number", _number(match.group(), match.group(1), match.group(2))), match.end()

    def object(self, start: int, depth: int) -> tuple[Node, int]:
        node = Node(start, "object")
        at = self.skip(start + 1)
        if self.text.startswith("}", at):
            return node, at + 1
        while True:
            if not self.text.startswith('"', at):
                raise self.fail("key expected", at)
            key, at = self.string(at)
            at = self.skip(at)
            if not self.text.startswith(":", at):
                raise self.fail("':' expected", at)
            member, at = self.value(self.skip(at + 1), depth)
            node.members.pop(key, None)  # a repeated key counts where it last appears
            node.members[key] = member
            at = self.skip(at)
            if self.text.startswith(",", at):
                at = self.skip(at + 1)
            elif self.text.startswith("}", at):
                return node, at + 1
            else:
                raise self.fail("',' or '}' expected", at)

    def array(self, start: int, depth: int) -> tuple[Node, int]:
        node = Node(start, "array")
        at = self.skip(start + 1)
        if self.text.startswith("]", at):
            return node, at + 1
        while True:
            item, at = self.value(at, depth)
            node.items.append(item)
            at = self.skip(at)
            if self.text.startswith(",", at):
                at = self.skip(at + 1)
            elif self.text.startswith("]", at):
                return node, at + 1
            else:
                raise self.fail("',' or ']' expected", at)


def scan(text: str) -> Node:
    """The value tree of ``text``, which must hold exactly one JSON value."""
    scanner = _Scanner(text)
    node, end = scanner.value(scanner.skip(0), 0)
    if scanner.skip(end) != len(text):
        raise scanner.fail("trailing characters", end)
    return node


class Positions:
    """Turns character offsets of one text into (line, column) pairs."""

    def __init__(self, text: str) -> None:
        self._line_starts = [0] + [m.end() for m in re.finditer("\n", text)]

    def at(self, offset: int) -> tuple[int, int]:
        line = bisect.bisect_right(self._line_starts, offset)
        return line, offset - self._line_starts[line - 1] + 1


def locate(root: Node, location: str, separator: str = ".") -> tuple[Node, bool]:
    """The node that ``location`` names, and whether the whole path matched.

    ``separator`` joins the keys: "." in the compiler's paths, "/" in the
    AWS dialect's (given without their leading "/").

    When no reading of the path reaches its end, the deepest node that some
    reading reached is returned with False, so a caller can still point near
    the fault.
    """
    best: list[Any] = [root, 0]

    def walk(node: Node, at: int, first: bool) -> Optional[Node]:
        if at == len(location):
            return node
        if at > best[1]:
            best[0], best[1] = node, at
        if node.kind == "object":
            lead = "" if first else separator
            if not location.startswith(lead, at):
                return None
            begin = at + len(lead)
            # Longest key first: "a.b" is a better reading than "a" then "b".
            fitting = [
                key
                for key in node.members
                if location.startswith(key, begin)
                and (begin + len(key) == len(location) or location[begin + len(key)] in separator + "[")
            ]
            for key in sorted(fitting, key=len, reverse=True):
                found = walk(node.members[key], begin + len(key), False)
                if found is not None:
                    return found
        elif node.kind == "array":
            match = _INDEX.match(location, at)
            if match is not None and int(match.group(1)) < len(node.items):
                return walk(node.items[int(match.group(1))], match.end(), False)
        return None

    found = walk(root, 0, True)
    if found is not None:
        return found, True
    return best[0], False
