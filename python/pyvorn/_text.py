"""Showing user text on a terminal.

Definitions, handler errors and results carry text we did not write.  A
control character in a state name (an escape sequence, a carriage return) or a
bidirectional-text control could rewrite what the terminal shows, so every
such character is shown as an escape instead.  Line feeds are kept where the
caller says so: multi-line messages are indented, not flattened.
"""

from __future__ import annotations

import re

_UNSAFE = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\u200e\u200f\u202a-\u202e\u2066-\u2069]")
_UNSAFE_WITH_NEWLINE = re.compile("[\x00-\x1f\x7f-\x9f\u200e\u200f\u202a-\u202e\u2066-\u2069]")


def _escape(match: re.Match[str]) -> str:
    code = ord(match.group())
    return f"\\x{code:02x}" if code < 0x100 else f"\\u{code:04x}"


def printable(text: str, keep_newlines: bool = False) -> str:
    """``text`` with every character that could change the terminal escaped."""
    pattern = _UNSAFE if keep_newlines else _UNSAFE_WITH_NEWLINE
    return pattern.sub(_escape, text)
