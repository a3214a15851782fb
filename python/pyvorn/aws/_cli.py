"""The ``--dialect aws`` side of the pyvorn command-line tool.

Kept apart from the reduced dialect's commands: the CLI reads the file once
and hands the text here, and everything printed comes from pyvorn.aws.
"""

from __future__ import annotations

import datetime
import json
import sys
import time
from dataclasses import dataclass, field
from typing import Any, Callable, Iterator, Mapping, Optional, TextIO

from pyvorn._aws import DefinitionError, Execution, StateMachine, validate
from pyvorn._run import UserError, load_module
from pyvorn._source import Positions, ScanError, locate, scan
from pyvorn._text import printable
from pyvorn.aws._history import HistoryReader, Visit, event_line, terminal_json
from pyvorn.aws._tasks import Handlers, MissingHandler


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


def refusal_lines(path: str, error: DefinitionError, text: Optional[str] = None) -> list[str]:
    """The errors of a refusal, placed in ``text`` where they come without a position."""
    errors = [d for d in error.diagnostics if d["severity"] == "ERROR"]
    if text is not None:
        errors = place(text, errors)
    return [diagnostic_line(path, d) for d in errors]


def place(text: str, diagnostics: list[Any]) -> list[Any]:
    """``diagnostics`` with a line and column wherever their location names a
    value of ``text``: what refuses a run reports locations only, and an
    editor wants the place."""
    try:
        root = scan(text)
    except ScanError:
        return diagnostics
    positions = Positions(text)
    placed = []
    for diagnostic in diagnostics:
        location = diagnostic.get("location")
        if diagnostic.get("line") is None and isinstance(location, str) and location.startswith("/"):
            node, whole = locate(root, location[1:], separator="/")
            if whole:
                line, column = positions.at(node.offset)
                diagnostic = {**diagnostic, "line": line, "column": column}
        placed.append(diagnostic)
    return placed


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


# --- run -------------------------------------------------------------------


def echo(input: Any, context: dict) -> Any:
    """The ``--stub echo`` handler: a Task answers its own input, so any
    definition can be smoke-run before its services exist."""
    return input


def load_handlers(spec: Optional[str], stub: Optional[str]) -> Handlers:
    """The handlers ``--handlers`` and ``--stub`` ask for together."""
    default = echo if stub == "echo" else None
    if spec is None:
        return Handlers(default=default)
    module = load_module(spec)
    found = getattr(module, "handlers", None)
    if found is None:
        hint = " (HANDLERS is the reduced dialect's table)" if hasattr(module, "HANDLERS") else ""
        raise UserError(f"{spec}: defines no 'handlers': set handlers = pyvorn.aws.Handlers() and add to it{hint}")
    if not isinstance(found, Handlers):
        raise UserError(f"{spec}: 'handlers' must be a pyvorn.aws.Handlers, not {type(found).__name__}")
    return found if default is None else found.with_default(default)


def _attempts_text(attempts: list[Optional[str]]) -> str:
    text = f"{len(attempts)} attempt{'s' if len(attempts) != 1 else ''}"
    errors = [error for error in attempts if error is not None]
    return text + (f", {len(errors)} failed ({', '.join(errors)})" if errors else "")


def trace_line(visit: Visit) -> str:
    """One line for one state entered: what it was, how it went, where to next."""
    parts = [f"state {visit.number}", visit.name, visit.kind]
    if visit.attempts:
        parts.append(_attempts_text(visit.attempts))
    if visit.ending == "succeeded":
        parts.append("succeeded")
    elif visit.ending is not None:
        parts.append(visit.ending + (f"  error: {visit.error}" if visit.error is not None else ""))
    elif visit.next is not None:
        parts.append(f"{'caught' if visit.caught else 'ok'} -> {visit.next}")
    elif visit.exited:
        parts.append("caught" if visit.caught else "ok")
    else:
        parts.append("running")
    if visit.exited and visit.output is not None and visit.ending in (None, "succeeded"):
        parts.append(f"output: {terminal_json(visit.output)}")
    return printable("  ".join(parts))


class InputRefused(ValueError):
    """The run's input holds what no execution can take (an infinite number)."""


@dataclass
class Outcome:
    """How a command-line run ended, for the status line and the exit status."""

    execution: Execution
    visits: list[Visit]
    # Why the run stopped short of its end: a Task nobody answers, or an
    # answer no state can hold (a set, an infinite number).
    missing: Optional[MissingHandler] = None
    refused: Optional[Exception] = None
    awaiting: Optional[dict[str, Any]] = None

    @property
    def last_state(self) -> Optional[str]:
        return self.visits[-1].name if self.visits else None


def start(
    path: str, text: str, input: Any, handlers: Handlers, clock: Any, seed: int
) -> tuple[StateMachine, Execution]:
    """The machine of ``text`` and its execution, or a UserError that says why there is none."""
    try:
        machine = StateMachine(text)
    except DefinitionError as error:
        raise UserError("\n".join(refusal_lines(path, error, text))) from error
    try:
        return machine, machine.start_execution(input, handlers=handlers, clock=clock, seed=seed)
    except (TypeError, ValueError, OverflowError, RecursionError) as error:
        if not isinstance(error, DefinitionError):
            message = str(error)
            raise InputRefused(message[len("input: "):] if message.startswith("input: ") else message) from error
        lines = refusal_lines(path, error, text)
        if any(d["code"] == "UNSUPPORTED_FEATURE" for d in error.diagnostics):
            lines.append(
                f"{printable(path)}: cannot run yet: the definition is valid, but pyvorn does not run "
                "what is named above"
            )
        raise UserError("\n".join(lines)) from error


def _wait_out(execution: Execution) -> bool:
    """Move to the deadline of the callback the execution awaits; False when
    it has none, or when reaching it moved nothing.

    Nothing on the command line sends callbacks, so an awaited task ends as
    it would on AWS if nobody ever answered: at its TimeoutSeconds or
    HeartbeatSeconds, with States.Timeout."""
    pending = execution.pending_task
    deadline = None if pending is None else pending.get("times_out_at")
    if deadline is None:
        return False
    clock = execution.clock
    now = clock.now if clock is not None else datetime.datetime.now(datetime.timezone.utc)
    remaining = (deadline - now).total_seconds()
    if clock is None:
        time.sleep(max(remaining, 0.001))
        return True
    if remaining <= 0:
        return False
    clock.advance(remaining)
    return True


def run_execution(execution: Execution, max_steps: int, trace: Optional[TextIO]) -> Outcome:
    """Step ``execution`` until it ends, a Task has no handler, a callback
    it awaits can never come, or it has entered ``max_steps`` states (as
    ``run(max_steps)`` counts them); with ``trace``, one line per state as
    each is left."""
    reader = HistoryReader()
    seen = len(execution.history)
    first = execution.states_entered
    outcome = Outcome(execution, reader.visits)

    def show(events: list[dict[str, Any]]) -> None:
        for visit in reader.feed(events):
            if trace is not None:
                print(trace_line(visit), file=trace, flush=True)

    try:
        while execution.status == "RUNNING" and execution.states_entered - first < max_steps:
            events = execution.step()
            seen += len(events)
            show(events)
            if not events and execution.pending_task is not None and not _wait_out(execution):
                outcome.awaiting = execution.pending_task
                break
    except MissingHandler as missing:
        outcome.missing = missing
    except (TypeError, ValueError, OverflowError, RecursionError) as error:
        outcome.refused = error
    finally:
        # A step that raised (no handler, or a handler's value JSON cannot
        # hold) still recorded the events up to the Task's call; they say
        # where the run stands.
        show(execution.history[seen:])
        unfinished = reader.close()
        if unfinished is not None and trace is not None:
            print(trace_line(unfinished), file=trace, flush=True)
    return outcome


def history_lines(execution: Execution) -> list[str]:
    return [event_line(event) for event in execution.history]


def result_lines(execution: Execution) -> list[str]:
    """The status, then the output or the error and cause that AWS reports."""
    lines: list[str] = [execution.status]
    if execution.status == "SUCCEEDED":
        lines.append(terminal_json(str(execution.describe().get("output", "null"))))
    for label, value in (("error", execution.error), ("cause", execution.cause)):
        if value is not None:
            lines.append(printable(f"{label}: {value}"))
    return lines


def failure_text(path: str, outcome: Outcome, max_steps: int, definition: Mapping[str, Any]) -> str:
    """The one stderr line for a run that did not succeed."""
    execution = outcome.execution
    state = outcome.last_state
    where = "" if state is None else f' in state "{state}"'
    if outcome.refused is not None:
        return f"{path}: stopped{where}: {outcome.refused}"
    if outcome.awaiting is not None:
        return (
            f"{path}: stopped{where}: it awaits a callback for the task token '{outcome.awaiting['task_token']}', "
            "which nothing here sends, and no TimeoutSeconds or HeartbeatSeconds ends the wait"
        )
    if outcome.missing is not None:
        named = outcome.missing.resource
        resource = (definition.get("States") or {}).get(state, {}).get("Resource")
        # A lambda:invoke Task is answered by its FunctionName, which is what
        # goes missing; the Resource alone would not tell the reader which.
        what = f"the resource '{named}'" if resource in (None, named) else (
            f"the Lambda function '{named}' (called through {resource})")
        return (
            f"{path}: no handler for {what}{where}: "
            "--stub echo answers every Task with its input, --handlers MODULE_OR_PATH with your own code"
        )
    if execution.status == "RUNNING":
        return (
            f"{path}: stopped{where} after entering {max_steps} states, without finishing "
            "(a loop? --max-steps raises the limit)"
        )
    error = f": {execution.error}" if execution.error is not None else ""
    return f"{path}: run {execution.status}{where}{error}"


def run(
    path: str,
    text: str,
    input: Any,
    args: Any,
    draw: Optional[Callable[[list[dict[str, Any]]], bool]] = None,
) -> int:
    """``pyvorn run --dialect aws``: the status and result on stdout; the
    trace, the history and every complaint on stderr. ``draw``, when given,
    pictures the run from its history, whatever the outcome, and answers
    whether that worked."""
    handlers = load_handlers(args.handlers, args.stub)
    clock = "real" if args.clock == "real" else None
    machine, execution = start(path, text, input, handlers, clock, args.seed or 0)
    try:
        outcome = run_execution(execution, args.max_steps, sys.stderr if args.trace else None)
    finally:
        if args.history:
            print("\n".join(history_lines(execution)), file=sys.stderr)
        drawn = draw is None or draw(execution.history)
    print("\n".join(result_lines(execution)))
    if execution.status == "SUCCEEDED":
        return 0 if drawn else 1
    raise UserError(printable(failure_text(path, outcome, args.max_steps, machine.definition)))
