"""Pictures of AWS-dialect machines, and of their runs read from the history.

Drawn in the reduced dialect's style (``pyvorn.diagram``), with what the AWS
dialect adds: Wait, Parallel and Map states, Choice rules of every operator
with And/Or/Not, and nested scopes. A Parallel branch or a Map processor is a
dashed cluster reached from its state by a dotted edge.

A run is drawn from its history alone. Where the history does not tell which
of several edges the run took (two Choice rules leading to the same state),
none of them is marked: the picture never claims an edge the run may not have
used. States are matched to the history by name in the machine's own scope,
the only one that runs today.
"""

from __future__ import annotations

import json
from collections import Counter
from dataclasses import dataclass, field
from typing import Any, Iterator, Optional, Sequence

from pyvorn._overlay import Attempt
from pyvorn.aws._history import Visit, read_history
from pyvorn.diagram import (
    _CURRENT,
    _FAILED,
    _FAINT,
    _FAINT_TEXT,
    _INK,
    _MERMAID_CLASSES,
    _MUTED,
    _OK,
    _attempt_rows,
    _font,
    _html,
    _mermaid,
)

_FILL = {
    "Task": "#ddf4ff",
    "Pass": "#f6f8fa",
    "Choice": "#fff8c5",
    "Wait": "#fbefff",
    "Succeed": "#dafbe1",
    "Fail": "#ffebe9",
    "Parallel": "#fff1e5",
    "Map": "#fff1e5",
}
# A rule or resource longer than this is cut on the picture.
MAX_TEXT = 60

_COMPARISONS = {"Equals": "==", "LessThan": "<", "GreaterThan": ">", "LessThanEquals": "<=", "GreaterThanEquals": ">="}
_TESTS = {"IsPresent": "present", "IsNull": "null", "IsString": "a string", "IsNumeric": "a number",
          "IsBoolean": "a boolean", "IsTimestamp": "a timestamp"}


def _cut(text: str) -> str:
    return text if len(text) <= MAX_TEXT else text[: MAX_TEXT - 1] + "…"


def rule_text(rule: Any) -> str:
    """A Choice rule as it reads on its edge: ``$.amount > 100``."""
    if not isinstance(rule, dict):
        return "?"
    if "Condition" in rule:  # JSONata
        return str(rule["Condition"])
    for joiner in ("And", "Or"):
        if isinstance(rule.get(joiner), list):
            return "(" + f" {joiner.lower()} ".join(rule_text(r) for r in rule[joiner]) + ")"
    if "Not" in rule:
        return f"not {rule_text(rule['Not'])}"
    variable = rule.get("Variable", "?")
    for key, value in rule.items():
        if key in _TESTS:
            return f"{variable} is {'' if value is True else 'not '}{_TESTS[key]}"
        if key == "StringMatches":
            return f"{variable} matches {json.dumps(value, ensure_ascii=False)}"
        for prefix in ("String", "Numeric", "Boolean", "Timestamp"):
            if not key.startswith(prefix):
                continue
            operator, by_path = key[len(prefix):], key.endswith("Path")
            operator = operator[: -len("Path")] if by_path else operator
            if operator in _COMPARISONS:
                shown = str(value) if by_path else json.dumps(value, ensure_ascii=False)
                return f"{variable} {_COMPARISONS[operator]} {shown}"
    return str(variable)


@dataclass
class _Node:
    id: str
    scope: str
    name: str
    state: dict[str, Any]
    start: bool

    @property
    def kind(self) -> str:
        return str(self.state.get("Type", "?"))


@dataclass
class _Edge:
    source: _Node
    target: _Node
    kind: str  # "next", "rule", "default", "catch" or "nested"
    text: str = ""
    errors: tuple[str, ...] = ()


@dataclass
class _Scope:
    location: str
    label: str
    nodes: list[_Node] = field(default_factory=list)
    nested: list["_Scope"] = field(default_factory=list)


class _Machine:
    """The nodes, edges and scopes of a definition, numbered in written order."""

    def __init__(self, definition: dict[str, Any]) -> None:
        self.comment = definition.get("Comment")
        self.nodes: list[_Node] = []
        self.edges: list[_Edge] = []
        self.root = self._scope(definition, "", "")

    def _scope(self, body: dict[str, Any], location: str, label: str) -> _Scope:
        scope = _Scope(location or "/", label)
        by_name: dict[str, _Node] = {}
        for name, state in body["States"].items():
            node = _Node(f"s{len(self.nodes)}", scope.location, name, state, name == body["StartAt"])
            self.nodes.append(node)
            scope.nodes.append(node)
            by_name[name] = node
        for node in scope.nodes:
            self.edges += self._edges(node, by_name)
            where = f"{location}/States/{node.name}"
            for index, branch in enumerate(node.state.get("Branches") or []):
                self._nest(scope, node, branch, f"{where}/Branches[{index}]", f"branch {index + 1}")
            for key in ("ItemProcessor", "Iterator"):
                if isinstance(node.state.get(key), dict):
                    self._nest(scope, node, node.state[key], f"{where}/{key}", "each item")
        return scope

    def _nest(self, scope: _Scope, owner: _Node, body: dict[str, Any], location: str, label: str) -> None:
        inner = self._scope(body, location, f"{owner.name}: {label}")
        scope.nested.append(inner)
        start = next(node for node in inner.nodes if node.start)
        self.edges.append(_Edge(owner, start, "nested", label))

    @staticmethod
    def _edges(node: _Node, by_name: dict[str, _Node]) -> Iterator[_Edge]:
        state = node.state
        if state.get("Next") in by_name:
            yield _Edge(node, by_name[state["Next"]], "next")
        for rule in state.get("Choices") or []:
            if isinstance(rule, dict) and rule.get("Next") in by_name:
                yield _Edge(node, by_name[rule["Next"]], "rule", _cut(rule_text(rule)))
        if state.get("Default") in by_name:
            yield _Edge(node, by_name[state["Default"]], "default", "default")
        for catcher in state.get("Catch") or []:
            if isinstance(catcher, dict) and catcher.get("Next") in by_name:
                errors = tuple(str(e) for e in catcher.get("ErrorEquals") or [])
                yield _Edge(node, by_name[catcher["Next"]], "catch", "catch " + ", ".join(errors), errors)


def _catches(errors: Sequence[str], error: str) -> bool:
    # States.Runtime is never caught, so a caught error is never one.
    if error in errors or "States.ALL" in errors:
        return True
    return "States.TaskFailed" in errors and error != "States.Timeout"


@dataclass
class _Run:
    """What the history says happened at each node and on each edge."""

    visits: list[Visit]
    entered: Counter[str] = field(default_factory=Counter)
    attempts: dict[str, list[Attempt]] = field(default_factory=dict)
    failed: set[str] = field(default_factory=set)
    taken: Counter[int] = field(default_factory=Counter)
    current: Optional[str] = None
    status: str = "RUNNING"


def _read_run(machine: _Machine, history: Sequence[dict[str, Any]]) -> _Run:
    visits = read_history(history)
    run = _Run(visits)
    # Names repeat across scopes; the machine's own scope is the one that runs.
    by_name: dict[str, _Node] = {}
    for node in reversed(machine.nodes):
        by_name[node.name] = node
    for node in machine.root.nodes:
        by_name[node.name] = node
    for visit in visits:
        if visit.name not in by_name:
            continue
        node = by_name[visit.name]
        run.entered[node.id] += 1
        rows = run.attempts.setdefault(node.id, [])
        rows += [Attempt(len(rows), number, error) for number, error in enumerate(visit.attempts)]
        if visit.failed:
            run.failed.add(node.id)
        else:
            run.failed.discard(node.id)
        run.current = node.id
        target = by_name.get(visit.next) if visit.next is not None else None
        if target is not None:
            edge = _edge_taken(machine, node, target, visit)
            if edge is not None:
                run.taken[edge] += 1
        if visit.ending is not None:
            run.status = {"succeeded": "SUCCEEDED", "failed": "FAILED", "timed out": "TIMED_OUT"}.get(
                visit.ending, "ABORTED"
            )
    return run


def _edge_taken(machine: _Machine, source: _Node, target: _Node, visit: Visit) -> Optional[int]:
    """The index of the edge ``visit`` left by, when the history tells it."""
    fitting = [
        index
        for index, edge in enumerate(machine.edges)
        if edge.source is source and edge.target is target and (edge.kind == "catch") == visit.caught
    ]
    if visit.caught:
        error = visit.attempts[-1] or ""
        catchers = [index for index, edge in enumerate(machine.edges) if edge.source is source and edge.kind == "catch"]
        first = next((index for index in catchers if _catches(machine.edges[index].errors, error)), None)
        return first if first in fitting else (fitting[0] if len(fitting) == 1 else None)
    return fitting[0] if len(fitting) == 1 else None


def _detail(node: _Node) -> str:
    state = node.state
    if node.kind == "Task":
        return f"Task · {_cut(str(state.get('Resource', '')))}"
    if node.kind == "Wait":
        for key, unit in (("Seconds", " s"), ("SecondsPath", ""), ("Timestamp", ""), ("TimestampPath", "")):
            if key in state:
                return f"Wait · {'until ' if key.startswith('Timestamp') else ''}{state[key]}{unit}"
    if node.kind == "Map":
        return f"Map · over {state.get('ItemsPath', '$')}"
    if node.kind == "Fail" and "Error" in state:
        return f"Fail · {state['Error']}"
    return node.kind


def _notes(node: _Node) -> list[str]:
    notes = []
    for retrier in node.state.get("Retry") or []:
        if isinstance(retrier, dict):
            errors = ", ".join(str(e) for e in retrier.get("ErrorEquals") or [])
            notes.append(f"retry {errors}, max {retrier.get('MaxAttempts', 3)}")
    if node.state.get("End") is True and node.kind not in ("Succeed", "Fail"):
        notes.append("end")
    return notes


def _terminal(node: _Node) -> bool:
    return node.state.get("End") is True or node.kind in ("Succeed", "Fail")


def _rows(node: _Node, run: Optional[_Run]) -> list[tuple[str, str]]:
    if run is None or not run.entered[node.id]:
        return []
    rows = _attempt_rows(run.attempts.get(node.id, []))
    if not rows or run.entered[node.id] > 1:
        times = run.entered[node.id]
        rows.insert(0, (f"entered {times}×", _FAILED if node.id in run.failed and not rows else _OK))
    if run.current == node.id:
        rows.append((f"{'stopped' if run.status == 'RUNNING' else run.status} here", _CURRENT))
    return rows


# --- DOT -----------------------------------------------------------------------


def _dot_node(node: _Node, run: Optional[_Run], indent: str) -> str:
    ran = run is not None and run.entered[node.id] > 0
    faint = run is not None and not ran
    muted = _FAINT_TEXT if faint else _MUTED
    name = f"<B>{_html(node.name)}</B>" if node.name else _font("&quot;&quot;", muted)
    rows = [name, _font(_html(_detail(node)), muted, 9)]
    if node.start:
        rows.insert(0, _font("▶ start", muted, 9))
    rows += [_font(_html(note), muted, 9) for note in _notes(node)]
    rows += [_font(_html(text), color, 9) for text, color in _rows(node, run)]
    cells = "".join(f"<TR><TD>{row}</TD></TR>" for row in rows)
    attributes = [f'label=<<TABLE BORDER="0" CELLBORDER="0" CELLSPACING="0" CELLPADDING="1">{cells}</TABLE>>']
    if node.kind == "Choice":
        attributes.append('shape=box, style="filled,diagonals"')
    attributes.append(f'fillcolor="{"#fbfbfc" if faint else _FILL.get(node.kind, "#f6f8fa")}"')
    if _terminal(node):
        attributes.append("peripheries=2")
    current = run is not None and run.current == node.id
    if current:
        attributes.append(f'color="{_CURRENT}", penwidth=3')
    elif faint:
        attributes.append(f'color="{_FAINT}", fontcolor="{_FAINT_TEXT}"')
    elif node.start or ran:
        attributes.append("penwidth=2")
    if run is not None and node.id in run.failed and not current:
        attributes.append(f'color="{_FAILED}"')
    return f"{indent}{node.id} [{', '.join(attributes)}];"


def _dot_edge(index: int, edge: _Edge, run: Optional[_Run]) -> str:
    text = edge.text
    taken = run.taken[index] if run is not None else 0
    if taken > 1:
        text = f"{text} ×{taken}" if text else f"×{taken}"
    attributes = [f"label=<{_html(text)}>"] if text else []
    if edge.kind in ("catch", "nested"):
        attributes.append("style=" + ("dashed" if edge.kind == "catch" else "dotted"))
    if run is not None:
        if taken:
            attributes.append(f'color="{_OK}", penwidth=2.5')
        else:
            attributes.append(f'color="{_FAINT}", fontcolor="{_FAINT_TEXT}"')
    suffix = f" [{', '.join(attributes)}]" if attributes else ""
    return f"  {edge.source.id} -> {edge.target.id}{suffix};"


def _dot_scope(scope: _Scope, run: Optional[_Run], counter: list[int], depth: int) -> list[str]:
    indent = "  " * (depth + 1)
    lines = [_dot_node(node, run, indent) for node in scope.nodes]
    for inner in scope.nested:
        counter[0] += 1
        lines.append(f"{indent}subgraph cluster_{counter[0]} {{")
        lines.append(f'{indent}  label=<{_html(inner.label)}>; style="dashed,rounded"; color="{_MUTED}";')
        lines += _dot_scope(inner, run, counter, depth + 1)
        lines.append(f"{indent}}}")
    return lines


def _title(machine: _Machine, run: Optional[_Run]) -> Optional[str]:
    lines = [machine.comment] if isinstance(machine.comment, str) and machine.comment else []
    if run is not None:
        states = len(run.visits)
        summary = f"run: {run.status} after {states} state{'s' if states != 1 else ''} entered"
        if run.visits and run.visits[-1].error is not None:
            summary += f"; error {run.visits[-1].error}"
        lines.append(summary)
    return "\n".join(lines) if lines else None


def to_dot(definition: dict[str, Any], history: Optional[Sequence[dict[str, Any]]] = None) -> str:
    """Graphviz DOT text for ``definition`` (a checked machine's ``definition``),
    with the run that ``history`` records drawn on it when given."""
    machine = _Machine(definition)
    run = None if history is None else _read_run(machine, history)
    lines = [
        "digraph machine {",
        '  graph [rankdir=TB, nodesep=0.35, ranksep=0.45, fontname="Helvetica", fontsize=12, labelloc=t];',
        f'  node [shape=box, style="rounded,filled", color="{_INK}", fontcolor="{_INK}", '
        'fontname="Helvetica", fontsize=11, margin="0.12,0.05"];',
        f'  edge [color="{_INK}", fontcolor="{_MUTED}", fontname="Helvetica", fontsize=9, arrowsize=0.7];',
    ]
    title = _title(machine, run)
    if title is not None:
        lines.append(f"  label=<{_html(title)}>;")
    lines += _dot_scope(machine.root, run, [0], 0)
    lines += [_dot_edge(index, edge, run) for index, edge in enumerate(machine.edges)]
    lines.append("}")
    return "\n".join(lines) + "\n"


# --- Mermaid -------------------------------------------------------------------


def to_mermaid(definition: dict[str, Any], history: Optional[Sequence[dict[str, Any]]] = None) -> str:
    """A Mermaid stateDiagram-v2 of ``definition``, nested scopes drawn flat
    beside the state that holds them, with the run on it when given."""
    machine = _Machine(definition)
    run = None if history is None else _read_run(machine, history)
    lines = ["stateDiagram-v2"]
    for node in machine.nodes:
        parts = [node.name or '""', _detail(node), *_notes(node), *(text for text, _ in _rows(node, run))]
        lines.append(f'    state "{"<br/>".join(_mermaid(part) for part in parts)}" as {node.id}')
    start = next(node for node in machine.root.nodes if node.start)
    lines.append(f"    [*] --> {start.id}")
    for index, edge in enumerate(machine.edges):
        text = edge.text
        taken = run.taken[index] if run is not None else 0
        if taken:
            text = f"{text} (taken ×{taken})" if text else f"taken ×{taken}"
        lines.append(f"    {edge.source.id} --> {edge.target.id}" + (f" : {_mermaid(text)}" if text else ""))
    for node in machine.root.nodes:
        if _terminal(node):
            lines.append(f"    {node.id} --> [*]")
    if run is not None:
        groups: dict[str, list[str]] = {name: [] for name in _MERMAID_CLASSES}
        for node in machine.nodes:
            if run.current == node.id:
                group = "current"
            elif node.id in run.failed:
                group = "failed"
            else:
                group = "ran" if run.entered[node.id] else "idle"
            groups[group].append(node.id)
        for group, style in _MERMAID_CLASSES.items():
            if groups[group]:
                lines.append(f"    classDef {group} {style}")
                lines.append(f"    class {','.join(groups[group])} {group}")
    return "\n".join(lines) + "\n"
