"""Pictures of state machines: Graphviz DOT and Mermaid text, and SVG or PNG
rendered by Graphviz's ``dot`` program.

    definition_to_dot(text)                          the machine as a graph
    run_to_dot(text, journal, current_state, ...)    the same, with a run on it
    definition_to_mermaid(text), run_to_mermaid(...) a stateDiagram-v2 for Markdown
    render(dot_text, "svg" or "png")                 bytes drawn by ``dot``

Every state is a node labelled with its name and kind; a Task shows its
resource and its Retry rules; Choice edges carry their rule and the default
edge "default"; Catch edges are dashed and carry their error names; the start
state is marked and the states that end a run have a double border.  With a
run on it, the states that ran and the edges the run took are drawn strong and
the rest faint, every state lists its attempts (failed ones in red), and the
current state is outlined in blue.

Definitions are validated first, so only valid machines are drawn: a faulty
one raises the module's ``ParseError`` or ``ValidationError``.  The output
depends on nothing but the arguments.  Nodes are named s0, s1, ... by state id,
so no user text is ever part of DOT syntax; in labels every character that
could end the label, or that an SVG cannot hold, is escaped.
"""

from __future__ import annotations

import json
import re
import shutil
import subprocess
from collections.abc import Mapping, Sequence
from typing import Any, Optional, Union

import _pyvorn

from pyvorn._inspect import Edge, MachineFacts
from pyvorn._overlay import UNKNOWN, Attempt, RunTrace, trace_run
from pyvorn._source import scan
from pyvorn._text import printable

__all__ = [
    "GraphvizNotFound",
    "definition_to_dot",
    "definition_to_mermaid",
    "render",
    "run_to_dot",
    "run_to_mermaid",
]

# Rows of attempts shown on one node; a state that ran more often is summed up.
MAX_ATTEMPT_ROWS = 4
# Error messages are cut to this many characters on a node.
MAX_ERROR_TEXT = 60

_INK = "#24292f"
_MUTED = "#57606a"
_FAINT = "#b8bfc6"
_FAINT_TEXT = "#8c959f"
_OK = "#1a7f37"
_FAILED = "#cf222e"
_CURRENT = "#0969da"
_FILL = {
    "Task": "#ddf4ff",
    "Pass": "#f6f8fa",
    "Choice": "#fff8c5",
    "Succeed": "#dafbe1",
    "Fail": "#ffebe9",
}


class GraphvizNotFound(RuntimeError):
    """The Graphviz ``dot`` program is not installed (or not on PATH)."""


def _facts(definition: str) -> MachineFacts:
    if not isinstance(definition, str):
        raise TypeError(f"definition must be a str, not {type(definition).__name__}")
    handle = _pyvorn.lower(definition)  # validates: only valid machines are drawn
    return MachineFacts(scan(definition).to_python(), handle.state_names, handle.handler_names)


def _trace(facts: MachineFacts, journal: Any, current_state: Any, initial_input: Any) -> RunTrace:
    if isinstance(journal, (str, bytes)) or not isinstance(journal, Sequence):
        raise TypeError(f"journal must be a list of dicts, not {type(journal).__name__}")
    if initial_input is not None and not isinstance(initial_input, Mapping):
        raise TypeError(f"initial_input must be a dict or None, not {type(initial_input).__name__}")
    return trace_run(facts, journal, current_state, UNKNOWN if initial_input is None else initial_input)


# --- what the labels say -------------------------------------------------------

# Beyond what ``printable`` escapes: the two code points that XML (so SVG) and
# the HTML-like labels of Graphviz cannot hold.
_NOT_IN_XML = re.compile("[\ufffe\uffff]")


def _visible(text: str) -> str:
    """User text with control characters shown as escapes; newlines stay."""
    return _NOT_IN_XML.sub(lambda m: f"\\u{ord(m.group()):04x}", printable(text, keep_newlines=True))


def rule_text(edge: Edge) -> str:
    """A Choice rule as it reads on its edge: ``$.status == "ok"``."""
    assert edge.condition is not None
    return f"{edge.condition.variable} == {json.dumps(edge.condition.value, ensure_ascii=False)}"


def edge_text(edge: Edge) -> str:
    if edge.kind == "rule":
        return rule_text(edge)
    if edge.kind == "catch":
        return "catch " + ", ".join(edge.errors)
    return "default" if edge.kind == "default" else ""


def _cut(text: str) -> str:
    return text if len(text) <= MAX_ERROR_TEXT else text[: MAX_ERROR_TEXT - 1] + "…"


def _attempt_rows(attempts: list[Attempt]) -> list[tuple[str, str]]:
    """(text, colour) for each attempt shown on a node."""
    rows = []
    shown = attempts
    if len(attempts) > MAX_ATTEMPT_ROWS:
        failed = sum(1 for a in attempts if a.error is not None)
        earlier = len(attempts) - (MAX_ATTEMPT_ROWS - 1)
        shown = attempts[earlier:]
        rows.append((f"ran {len(attempts)}×, {failed} failed; the last {len(shown)}:", _FAILED if failed else _OK))
    for attempt in shown:
        if attempt.error is None:
            rows.append((f"attempt {attempt.attempt}: ok", _OK))
        else:
            rows.append((f"attempt {attempt.attempt}: {_cut(' '.join(attempt.error.split()))}", _FAILED))
    return rows


class _Node:
    """What one state's node says, apart from any output syntax."""

    def __init__(self, facts: MachineFacts, name: str, trace: Optional[RunTrace]) -> None:
        state = facts.states[name]
        self.id = f"s{facts.state_ids[name]}"
        self.name = name
        self.kind = facts.kind(name)
        self.start = name == facts.start_at
        self.terminal = facts.ends(name) or self.kind == "Fail"
        self.detail = self.kind
        if self.kind == "Task":
            self.detail = f"Task · {state['Resource']}"
        self.notes = [f"retry {', '.join(r.errors)} ×{r.max_attempts}" for r in facts.retries(name)]
        if self.terminal and self.kind in ("Task", "Pass"):
            self.notes.append("end")
        self.rows: list[tuple[str, str]] = []
        self.ran = self.failed = self.current = False
        if trace is not None:
            self.ran = trace.executed(name)
            self.current = trace.current == name
            attempts = trace.attempts.get(name, [])
            self.failed = bool(attempts) and attempts[-1].error is not None
            self.rows = _attempt_rows(attempts)
            if trace.routed[name]:
                self.rows.append((f"routed {trace.routed[name]}×", _OK))
            if self.current:
                self.rows.append(("current state", _CURRENT))


def _nodes_and_edges(
    facts: MachineFacts, trace: Optional[RunTrace]
) -> tuple[list[_Node], list[Edge]]:
    nodes = [_Node(facts, name, trace) for name in facts.state_names]
    edges = [edge for name in facts.state_names for edge in facts.edges(name)]
    return nodes, edges


# --- DOT -----------------------------------------------------------------------


def _html(text: str) -> str:
    """Text for an HTML-like label: entities for markup, <BR/> for newlines."""
    escaped = _visible(text).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")
    return escaped.replace("\n", "<BR/>")


def _font(text: str, color: Optional[str] = None, size: Optional[int] = None) -> str:
    attributes = ""
    if color is not None:
        attributes += f' COLOR="{color}"'
    if size is not None:
        attributes += f' POINT-SIZE="{size}"'
    return f"<FONT{attributes}>{text}</FONT>"


def _dot_node(node: _Node, overlay: bool) -> str:
    faint = overlay and not node.ran
    muted = _FAINT_TEXT if faint else _MUTED
    # Graphviz refuses an empty <B></B>; an empty name shows as "".
    name = f"<B>{_html(node.name)}</B>" if node.name else _font("&quot;&quot;", muted)
    rows = [name, _font(_html(node.detail), muted, 9)]
    if node.start:
        rows.insert(0, _font("▶ start", muted, 9))
    rows += [_font(_html(note), muted, 9) for note in node.notes]
    rows += [_font(_html(text), color, 9) for text, color in node.rows]
    cells = "".join(f"<TR><TD>{row}</TD></TR>" for row in rows)
    label = f'<<TABLE BORDER="0" CELLBORDER="0" CELLSPACING="0" CELLPADDING="1">{cells}</TABLE>>'

    attributes = [f"label={label}"]
    if node.kind == "Choice":
        attributes.append('shape=box, style="filled,diagonals"')
    attributes.append(f'fillcolor="{"#fbfbfc" if faint else _FILL[node.kind]}"')
    if node.terminal:
        attributes.append("peripheries=2")
    if node.current:
        attributes.append(f'color="{_CURRENT}", penwidth=3')
    elif faint:
        attributes.append(f'color="{_FAINT}", fontcolor="{_FAINT_TEXT}"')
    elif node.start or (overlay and node.ran):
        attributes.append("penwidth=2")
    if node.failed and not node.current:
        attributes.append(f'color="{_FAILED}"')
    return f"  {node.id} [{', '.join(attributes)}];"


def _dot_edge(facts: MachineFacts, edge: Edge, trace: Optional[RunTrace]) -> str:
    text = edge_text(edge)
    attributes = []
    taken = trace.taken[edge] if trace is not None else 0
    if taken > 1:
        text = f"{text} ×{taken}" if text else f"×{taken}"
    if text:
        attributes.append(f"label=<{_html(text)}>")
    if edge.kind == "catch":
        attributes.append("style=dashed")
    if trace is not None:
        if taken:
            attributes.append(f'color="{_OK}", penwidth=2.5')
        else:
            attributes.append(f'color="{_FAINT}", fontcolor="{_FAINT_TEXT}"')
    source, target = f"s{facts.state_ids[edge.source]}", f"s{facts.state_ids[edge.target]}"
    suffix = f" [{', '.join(attributes)}]" if attributes else ""
    return f"  {source} -> {target}{suffix};"


def _title(facts: MachineFacts, trace: Optional[RunTrace], journal_length: int) -> Optional[str]:
    lines = []
    comment = facts.definition.get("Comment")
    if isinstance(comment, str) and comment:
        lines.append(comment)
    if trace is not None:
        entries = f"{journal_length} journal {'entry' if journal_length == 1 else 'entries'}"
        lines.append(f"run: {entries}; current state {trace.current}")
    return "\n".join(lines) if lines else None


def _dot(facts: MachineFacts, trace: Optional[RunTrace], journal_length: int = 0) -> str:
    nodes, edges = _nodes_and_edges(facts, trace)
    lines = [
        "digraph machine {",
        '  graph [rankdir=TB, nodesep=0.35, ranksep=0.45, fontname="Helvetica", fontsize=12, labelloc=t];',
        f'  node [shape=box, style="rounded,filled", color="{_INK}", fontcolor="{_INK}", '
        'fontname="Helvetica", fontsize=11, margin="0.12,0.05"];',
        f'  edge [color="{_INK}", fontcolor="{_MUTED}", fontname="Helvetica", fontsize=9, arrowsize=0.7];',
    ]
    title = _title(facts, trace, journal_length)
    if title is not None:
        lines.append(f"  label=<{_html(title)}>;")
    lines += [_dot_node(node, trace is not None) for node in nodes]
    lines += [_dot_edge(facts, edge, trace) for edge in edges]
    lines.append("}")
    return "\n".join(lines) + "\n"


def definition_to_dot(definition: str) -> str:
    """Graphviz DOT text for the machine that ``definition`` (ASL JSON) describes."""
    return _dot(_facts(definition), None)


def run_to_dot(
    definition: str,
    journal: Sequence[Mapping[str, Any]],
    current_state: Union[int, str],
    initial_input: Optional[Mapping[str, Any]] = None,
) -> str:
    """Graphviz DOT text for the machine with a run of it drawn on top.

    ``journal`` and ``current_state`` are a ``StateMachine``'s ``journal`` and
    ``current_state`` (a state id, or a state name).  ``initial_input``, when
    given, lets Choices that routed the run before its first journal entry be
    told apart.  A journal that cannot be a run of this machine raises
    ``ValueError``.
    """
    facts = _facts(definition)
    return _dot(facts, _trace(facts, journal, current_state, initial_input), len(journal))


# --- Mermaid -------------------------------------------------------------------

# Characters Mermaid reads as syntax inside a label; they are written as
# #code; entities, which Mermaid turns back into the characters.
_MERMAID_SYNTAX = re.compile(r'["#;%&<>{}\[\]\\`]')


def _mermaid(text: str) -> str:
    escaped = _MERMAID_SYNTAX.sub(lambda m: f"#{ord(m.group())};", _visible(text))
    return escaped.replace("\n", "<br/>")


_MERMAID_CLASSES = {
    "current": f"fill:#ddf4ff,stroke:{_CURRENT},stroke-width:3px",
    "failed": f"fill:#ffebe9,stroke:{_FAILED},stroke-width:2px",
    "ran": f"fill:#dafbe1,stroke:{_OK},stroke-width:2px",
    "idle": f"fill:#fbfbfc,stroke:{_FAINT},color:{_FAINT_TEXT}",
}


def _mermaid_text(facts: MachineFacts, trace: Optional[RunTrace]) -> str:
    nodes, edges = _nodes_and_edges(facts, trace)
    lines = ["stateDiagram-v2"]
    for node in nodes:
        parts = [node.name or '""', node.detail, *node.notes, *(text for text, _ in node.rows)]
        lines.append(f'    state "{"<br/>".join(_mermaid(part) for part in parts)}" as {node.id}')
    start = f"s{facts.state_ids[facts.start_at]}"
    lines.append(f"    [*] --> {start}")
    for edge in edges:
        text = edge_text(edge)
        taken = trace.taken[edge] if trace is not None else 0
        if taken:
            text = f"{text} (taken ×{taken})" if text else f"taken ×{taken}"
        source, target = f"s{facts.state_ids[edge.source]}", f"s{facts.state_ids[edge.target]}"
        lines.append(f"    {source} --> {target}" + (f" : {_mermaid(text)}" if text else ""))
    for node in nodes:
        if node.terminal:
            lines.append(f"    {node.id} --> [*]")
    if trace is not None:
        groups: dict[str, list[str]] = {name: [] for name in _MERMAID_CLASSES}
        for node in nodes:
            group = "current" if node.current else "failed" if node.failed else "ran" if node.ran else "idle"
            groups[group].append(node.id)
        for group, style in _MERMAID_CLASSES.items():
            if groups[group]:
                lines.append(f"    classDef {group} {style}")
                lines.append(f"    class {','.join(groups[group])} {group}")
    return "\n".join(lines) + "\n"


def definition_to_mermaid(definition: str) -> str:
    """A Mermaid stateDiagram-v2 of the machine, for pasting into Markdown."""
    return _mermaid_text(_facts(definition), None)


def run_to_mermaid(
    definition: str,
    journal: Sequence[Mapping[str, Any]],
    current_state: Union[int, str],
    initial_input: Optional[Mapping[str, Any]] = None,
) -> str:
    """A Mermaid stateDiagram-v2 of the machine with a run on it (arguments as
    for ``run_to_dot``): states classed by what the run did, taken edges
    labelled with how often."""
    facts = _facts(definition)
    return _mermaid_text(facts, _trace(facts, journal, current_state, initial_input))


# --- Graphviz ------------------------------------------------------------------

FORMATS = ("svg", "png")


def render(dot_text: str, format: str = "svg", timeout: Optional[float] = None) -> bytes:
    """``dot_text`` drawn by Graphviz's ``dot`` program, as SVG or PNG bytes.

    Raises ``GraphvizNotFound`` when ``dot`` is not installed, and
    ``RuntimeError`` with dot's own message when it refuses the text or does
    not finish within ``timeout`` seconds.  There is no limit by default: dot
    lays out a machine of a few hundred states in well under a second, but a
    chain of thousands takes minutes, and a picture that takes long is still
    better than none.  ``dot`` is stopped when the wait ends for any reason.
    """
    if format not in FORMATS:
        raise ValueError(f"format must be one of {', '.join(FORMATS)}, not {format!r}")
    program = shutil.which("dot")
    if program is None:
        raise GraphvizNotFound('the Graphviz program "dot" is not installed (Debian package graphviz)')
    try:
        completed = subprocess.run(
            [program, f"-T{format}"], input=dot_text.encode("utf-8"), capture_output=True, timeout=timeout
        )
    except subprocess.TimeoutExpired as error:
        raise RuntimeError(f"dot did not finish within {timeout:g} seconds") from error
    except OSError as error:
        raise GraphvizNotFound(f'the Graphviz program "dot" cannot be run: {error.strerror or error}') from error
    if completed.returncode != 0 or not completed.stdout:
        message = " ".join(completed.stderr.decode("utf-8", "replace").split()) or "no output"
        raise RuntimeError(f"dot failed (exit status {completed.returncode}): {message}")
    return completed.stdout
