"""What a lowered machine holds, as tables a person can read.

The ``LoweredIr`` handle tells its state names (in id order) and handler
names; it does not expose the kinds, transitions, schemas or conditions.  Those
are derived here from the definition itself, by the same numbering rules the
compiler uses: states and resources in ascending byte order of their names,
conditions counted across Choice states in state order, and one schema per
distinct encoded shape of a Pass state's ``Result`` or ``Parameters`` after
the opaque schema 0.  The definition has already passed validation when this
runs, so every lookup here succeeds.
"""

from __future__ import annotations

import dataclasses
import json
import struct
from dataclasses import dataclass
from typing import Any, Optional, Sequence

from pyvorn._text import printable


def byte_order(names: Any) -> list[str]:
    return sorted(names, key=lambda name: name.encode("utf-8", "surrogatepass"))


# --- schemas ---------------------------------------------------------------

# A schema is a nested tuple: ("object", ((name, schema), ...)), ("array",
# element), or one of the scalar tags below.
_SCALAR_TAGS = {"string": 0x03, "integer": 0x04, "bool": 0x05, "null": 0x06, "float": 0x07, "any": 0xFF}


def extract_schema(value: Any) -> Optional[Any]:
    """The structural type of a JSON value, or None when some array in it
    holds elements of different structure."""
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "bool"
    if isinstance(value, int):
        return "integer"
    if isinstance(value, float):
        return "float"
    if isinstance(value, str):
        return "string"
    if isinstance(value, list):
        if not value:
            return ("array", "any")
        first = extract_schema(value[0])
        if first is None:
            return None
        for item in value[1:]:
            if extract_schema(item) != first:
                return None
        return ("array", first)
    fields = []
    for key in byte_order(value):
        member = extract_schema(value[key])
        if member is None:
            return None
        fields.append((key, member))
    return ("object", tuple(fields))


def encode_schema(schema: Any) -> bytes:
    if isinstance(schema, str):
        return bytes([_SCALAR_TAGS[schema]])
    tag, payload = schema
    if tag == "array":
        element = encode_schema(payload)
        return b"\x02" + struct.pack("<H", len(element)) + element
    body = bytearray(struct.pack("<H", len(payload)))
    for name, member in payload:
        raw = name.encode("utf-8")
        body += struct.pack("<H", len(raw)) + raw + encode_schema(member)
    return b"\x01" + struct.pack("<H", len(body)) + bytes(body)


def render_schema(schema: Any) -> str:
    if isinstance(schema, str):
        return schema
    tag, payload = schema
    if tag == "array":
        return f"[{render_schema(payload)}]"
    fields = (f"{json.dumps(name, ensure_ascii=False)}: {render_schema(member)}" for name, member in payload)
    return "{" + ", ".join(fields) + "}"


# --- the machine -----------------------------------------------------------


@dataclass
class Schema:
    id: int
    name: str
    schema: Any
    encoded: bytes


@dataclass
class Condition:
    id: int
    state: str
    rule: int
    variable: str
    operator: str
    value: Any
    target: str


@dataclass(frozen=True)
class Edge:
    """One way out of a state.  ``kind`` is "next", "rule" (a Choice rule,
    with its ``condition``), "default" or "catch" (with the catcher's
    ``errors``); ``index`` numbers the edges of one state in the order the
    dispatcher considers them: Next or rules first, then default or catchers."""

    source: str
    target: str
    kind: str
    index: int
    errors: tuple[str, ...] = ()
    # A state's edges are told apart by their index; the condition need not hash.
    condition: Optional[Condition] = dataclasses.field(default=None, compare=False)


@dataclass(frozen=True)
class RetryRule:
    errors: tuple[str, ...]
    max_attempts: int


class MachineFacts:
    """The numbered parts of a validated definition."""

    def __init__(self, definition: dict[str, Any], state_names: Sequence[str], handler_names: Sequence[str]):
        self.definition = definition
        self.states: dict[str, dict[str, Any]] = definition["States"]
        self.state_names = list(state_names)
        self.state_ids = {name: i for i, name in enumerate(self.state_names)}
        self.handler_names = list(handler_names)
        self.handler_ids = {name: i for i, name in enumerate(self.handler_names)}
        self.start_at: str = definition["StartAt"]
        self.schemas = self._schemas()
        self.conditions = self._conditions()
        self.conditions_of: dict[str, list[Condition]] = {}
        for condition in self.conditions:
            self.conditions_of.setdefault(condition.state, []).append(condition)
        self.users: dict[str, list[str]] = {resource: [] for resource in self.handler_names}
        for name in self.state_names:
            if self.states[name]["Type"] == "Task":
                self.users[self.states[name]["Resource"]].append(name)

    def _schemas(self) -> list[Schema]:
        table = [Schema(0, "opaque", "any", b"\xff")]
        seen = {b"\xff": 0}
        for name in self.state_names:
            state = self.states[name]
            if state["Type"] != "Pass":
                continue
            for field in ("Result", "Parameters"):
                if state.get(field) is None:
                    continue
                schema = extract_schema(state[field])
                if schema is None:
                    continue
                encoded = encode_schema(schema)
                if encoded not in seen:
                    seen[encoded] = len(table)
                    table.append(Schema(len(table), f"{name}.{field}", schema, encoded))
        return table

    def _conditions(self) -> list[Condition]:
        table: list[Condition] = []
        for name in self.state_names:
            state = self.states[name]
            if state["Type"] != "Choice":
                continue
            for rule, branch in enumerate(state["Choices"]):
                for operator in ("NumericEquals", "StringEquals", "BooleanEquals"):
                    if operator in branch:
                        break
                table.append(
                    Condition(
                        len(table), name, rule, branch["Variable"], operator, branch[operator], branch["Next"]
                    )
                )
        return table

    def kind(self, name: str) -> str:
        return str(self.states[name]["Type"])

    def ends(self, name: str) -> bool:
        """Whether a successful step of the state completes the machine."""
        state = self.states[name]
        return state["Type"] == "Succeed" or (state["Type"] in ("Task", "Pass") and state.get("Next") is None)

    def edges(self, name: str) -> list[Edge]:
        state = self.states[name]
        kind = state["Type"]
        edges: list[Edge] = []
        if kind in ("Task", "Pass"):
            if state.get("Next") is not None:
                edges.append(Edge(name, state["Next"], "next", 0))
            for catch in state.get("Catch") or []:
                edges.append(Edge(name, catch["Next"], "catch", len(edges), errors=tuple(catch["ErrorEquals"])))
        elif kind == "Choice":
            for condition in self.conditions_of.get(name, []):
                edges.append(Edge(name, condition.target, "rule", len(edges), condition=condition))
            if state.get("Default") is not None:
                edges.append(Edge(name, state["Default"], "default", len(edges)))
        return edges

    def retries(self, name: str) -> list[RetryRule]:
        if self.states[name]["Type"] != "Task":
            return []
        rules = []
        for retry in self.states[name].get("Retry") or []:
            attempts = retry.get("MaxAttempts")
            rules.append(RetryRule(tuple(retry["ErrorEquals"]), 3 if attempts is None else attempts))
        return rules

    def transitions(self, name: str) -> str:
        kind = self.kind(name)
        if kind in ("Succeed", "Fail"):
            return "succeeds" if kind == "Succeed" else "fails"
        parts = ["end"] if self.ends(name) else []
        for edge in self.edges(name):
            if edge.kind == "next":
                parts.append(f"-> {edge.target}")
            elif edge.kind == "catch":
                parts.append(f"catch {_names(edge.errors)} -> {edge.target}")
            elif edge.condition is not None:
                parts.append(f"#{edge.condition.id} -> {edge.target}")
            else:
                parts.append(f"default -> {edge.target}")
        return "; ".join(parts)

    def details(self, name: str) -> str:
        state = self.states[name]
        kind = state["Type"]
        parts = []
        if kind == "Task":
            parts.append(f"handler {self.handler_ids[state['Resource']]} {state['Resource']}")
            for rule in self.retries(name):
                parts.append(f"retry {_names(rule.errors)} x{rule.max_attempts}")
        if kind in ("Task", "Pass"):
            # In the order the data flows through them.
            for field in ("InputPath", "Parameters", "ResultSelector", "OutputPath", "ResultPath"):
                if isinstance(state.get(field), dict):
                    parts.append(f"{field} {{{', '.join(byte_order(state[field]))}}}")
                elif field in state and field not in ("Parameters", "ResultSelector"):
                    parts.append(f"{field} {json.dumps(state[field], ensure_ascii=False)}")
            if kind == "Pass" and state.get("Result") is not None:
                parts.append("Result")
        if kind == "Fail":
            for field in ("Error", "Cause"):
                if state.get(field) is not None:
                    parts.append(f"{field} {json.dumps(state[field], ensure_ascii=False)}")
        return "; ".join(parts)


def _names(names: Sequence[str]) -> str:
    return "[" + ", ".join(names) + "]"


def _table(headers: Sequence[str], rows: list[Sequence[Any]]) -> list[str]:
    cells = [[printable(str(cell)) for cell in row] for row in [headers, *rows]]
    widths = [max(len(row[i]) for row in cells) for i in range(len(headers))]
    return ["  ".join(cell.ljust(widths[i]) for i, cell in enumerate(row)).rstrip() for row in cells]


def render(facts: MachineFacts, title: str) -> str:
    """The machine as four aligned tables under a one-line summary."""
    start_id = facts.state_ids[facts.start_at]
    lines = [
        printable(
            f"{title}: {_count(len(facts.state_names), 'state')}, "
            f"{_count(len(facts.handler_names), 'handler')}, "
            f"{_count(len(facts.schemas), 'schema')}, {_count(len(facts.conditions), 'condition')}; "
            f"starts at {facts.start_at} (id {start_id})"
        ),
        "",
        "States",
    ]
    lines += _table(
        ("id", "name", "kind", "transitions", "details"),
        [
            (i, name, facts.states[name]["Type"], facts.transitions(name), facts.details(name))
            for i, name in enumerate(facts.state_names)
        ],
    )
    lines += ["", "Handlers"]
    lines += _table(
        ("id", "resource", "used by"),
        [(i, resource, ", ".join(facts.users[resource])) for i, resource in enumerate(facts.handler_names)],
    ) if facts.handler_names else ["(none)"]
    lines += ["", "Schemas"]
    lines += _table(
        ("id", "name", "bytes", "type"),
        [(s.id, s.name, len(s.encoded), render_schema(s.schema)) for s in facts.schemas],
    )
    lines += ["", "Conditions"]
    lines += _table(
        ("id", "state", "rule", "test", "next"),
        [
            (
                c.id,
                c.state,
                c.rule,
                f"{c.variable} {c.operator} {json.dumps(c.value, ensure_ascii=False)}",
                c.target,
            )
            for c in facts.conditions
        ],
    ) if facts.conditions else ["(none)"]
    return "\n".join(lines) + "\n"


def _count(n: int, noun: str) -> str:
    return f"{n} {noun}" + ("" if n == 1 else "s")
