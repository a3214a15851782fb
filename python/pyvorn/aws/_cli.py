"""The ``--dialect aws`` side of the pyvorn command-line tool.

Kept apart from the reduced dialect's commands: the CLI reads the file once
and hands the text here, and everything printed comes from pyvorn.aws.
"""

from __future__ import annotations

import json
from dataclasses import dataclass, field
from typing import Any, Iterator, Mapping, Optional

from pyvorn._aws import DefinitionError, StateMachine, validate
from pyvorn._text import printable


def diagnostic_line(path: str, diagnostic: Mapping[str, Any]) -> str:
    """FILE:LINE:COL: SEVERITY CODE: message (location)."""
    where = path if diagnostic["line"] is None else f"{path}:{diagnostic['line']}:{diagnostic['column']}"
    text = f"{where}: {diagnostic['severity']} {diagnostic['code']}: {diagnostic['message']}"
    if diagnostic["location"] is not None:
        text += f" ({diagnostic['location']})"
    return printable(text)


def validate_text(path: str, text: str, as_json: bool) -> tuple[bool, list[str]]:
    """Whether AWS would accept ``text``, and the lines that say so."""
    report = validate(text)
    ok = report["result"] == "OK"
    if as_json:
        verdict = {"file": path, "ok": ok, "result": report["result"], "diagnostics": report["diagnostics"]}
        return ok, [json.dumps(verdict, ensure_ascii=False)]
    lines = [diagnostic_line(path, d) for d in report["diagnostics"]]
    if ok:
        warnings = len(report["diagnostics"])
        suffix = "" if not warnings else f" ({warnings} warning{'s' if warnings != 1 else ''})"
        lines.append(f"{printable(path)}: valid{suffix}")
    return ok, lines


def accepts(text: str) -> bool:
    """Whether the AWS dialect accepts ``text`` (warnings allowed)."""
    return validate(text)["result"] == "OK"


def refusal_lines(path: str, error: DefinitionError) -> list[str]:
    return [diagnostic_line(path, d) for d in error.diagnostics if d["severity"] == "ERROR"]


# --- inspect ---------------------------------------------------------------


@dataclass
class Scope:
    """One set of states that transition among themselves: the machine, a
    Parallel branch or a Map processor."""

    location: str
    start_at: str
    states: dict[str, Any]
    nested: list["Scope"] = field(default_factory=list)


def _scopes_of(states: dict[str, Any], location: str) -> Iterator[Scope]:
    for name, state in states.items():
        where = f"{location}/States/{name}"
        for index, branch in enumerate(state.get("Branches") or []):
            yield from _scope(branch, f"{where}/Branches[{index}]")
        for key in ("ItemProcessor", "Iterator"):
            if isinstance(state.get(key), dict):
                yield from _scope(state[key], f"{where}/{key}")


def _scope(body: dict[str, Any], location: str) -> Iterator[Scope]:
    yield Scope(location or "/", body["StartAt"], body["States"])
    yield from _scopes_of(body["States"], location)


def _targets(state: dict[str, Any]) -> list[str]:
    targets: list[str] = []
    if state.get("End") is True:
        targets.append("(end)")
    if "Next" in state:
        targets.append(state["Next"])
    targets += [f"{rule['Next']} (rule {i})" for i, rule in enumerate(state.get("Choices") or [])]
    if "Default" in state:
        targets.append(f"{state['Default']} (default)")
    targets += [f"{c['Next']} (catch {', '.join(c['ErrorEquals'])})" for c in state.get("Catch") or []]
    return targets


def _detail(state: dict[str, Any]) -> str:
    kind = state["Type"]
    if kind == "Task":
        return str(state.get("Resource", ""))
    if kind == "Parallel":
        return f"{len(state['Branches'])} branches"
    if kind == "Map":
        processor = state.get("ItemProcessor") or state.get("Iterator") or {}
        mode = (processor.get("ProcessorConfig") or {}).get("Mode", "INLINE")
        return f"{mode.lower()} map over {state.get('ItemsPath', '$')}"
    if kind == "Fail":
        return " ".join(str(state[k]) for k in ("Error", "ErrorPath") if k in state)
    return ""


def inspect_text(path: str, text: str, name: Optional[str] = None) -> str:
    """The machine's states, scope by scope, with their transitions."""
    machine = StateMachine(text) if name is None else StateMachine(text, name=name)
    definition = machine.definition
    scopes = list(_scope(definition, ""))
    lines = [
        f"{path}: {len(machine.state_names)} states in {len(scopes)} "
        f"scope{'s' if len(scopes) != 1 else ''}, starts at {machine.start_at}"
    ]
    for scope in scopes:
        lines.append("")
        lines.append(f"scope {scope.location} (starts at {scope.start_at})")
        width = max(len(n) for n in scope.states)
        for state_name, state in scope.states.items():
            targets = ", ".join(_targets(state)) or "(ends here)"
            detail = _detail(state)
            row = f"  {state_name:<{width}}  {state['Type']:<8}  -> {targets}"
            lines.append(row + (f"   [{detail}]" if detail else ""))
    for diagnostic in machine.diagnostics:
        lines.append(diagnostic_line(path, diagnostic))
    return "\n".join(printable(line) for line in lines) + "\n"
