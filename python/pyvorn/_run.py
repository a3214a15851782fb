"""Running a machine from the command line: its input, its handlers, its steps.

Handlers come from a Python module named on the command line, either by
import name ("shop.handlers") or by file path ("examples/order_handlers.py").
The module offers them as a mapping ``HANDLERS = {"resource": callable}``, as
functions whose names equal the resources, or both (the mapping wins).
"""

from __future__ import annotations

import importlib
import importlib.util
import json
import os
import re
import sys
from collections.abc import Mapping, Sequence
from types import ModuleType
from typing import Any, Callable, Optional, TextIO

from pyvorn._text import printable


class UserError(Exception):
    """A fault in what the user gave us: reported as one line, no traceback."""

    def __init__(self, message: str, status: int = 1) -> None:
        super().__init__(message)
        self.status = status


def _reject_constant(name: str) -> Any:
    raise ValueError(f"{name} is not JSON")


def parse_input(argument: Optional[str], any_value: bool = False) -> Any:
    """The machine's initial input from ``--input``: JSON text, or @FILE.
    The reduced dialect takes an object only; ``any_value`` lets every JSON
    value through, as AWS's StartExecution does."""
    if argument is None:
        return None
    where = "--input"
    text = argument
    if argument.startswith("@"):
        where = argument[1:]
        try:
            with open(where, encoding="utf-8") as handle:
                text = handle.read()
        except (OSError, UnicodeDecodeError) as error:
            raise UserError(f"{where}: cannot read: {describe_os_error(error)}", 2) from error
    try:
        value = json.loads(text, parse_constant=_reject_constant)
    except ValueError as error:
        raise UserError(f"{where}: invalid JSON: {error}", 2) from error
    if not any_value and not isinstance(value, dict):
        raise UserError(f"{where}: the input must be a JSON object, not {_json_kind(value)}", 2)
    return value


def _json_kind(value: Any) -> str:
    if isinstance(value, list):
        return "an array"
    if isinstance(value, str):
        return "a string"
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "a boolean"
    return "a number"


def describe_os_error(error: Exception) -> str:
    if isinstance(error, UnicodeDecodeError):
        return f"not UTF-8 text (byte 0x{error.object[error.start]:02x} at offset {error.start})"
    if isinstance(error, OSError) and error.strerror:
        return error.strerror
    return str(error)


def _looks_like_path(spec: str) -> bool:
    return spec.endswith(".py") or os.sep in spec or (os.altsep is not None and os.altsep in spec)


def load_module(spec: str) -> ModuleType:
    """Import the handlers module named by ``spec`` (import name or file path)."""
    try:
        if _looks_like_path(spec):
            if not os.path.isfile(spec):
                raise UserError(f"{spec}: cannot read: No such file")
            stem = re.sub(r"\W", "_", os.path.splitext(os.path.basename(spec))[0])
            # A prefixed name, so a file called json.py cannot shadow a real module.
            name = f"pyvorn_handlers_{stem}"
            module_spec = importlib.util.spec_from_file_location(name, spec)
            if module_spec is None or module_spec.loader is None:
                raise UserError(f"{spec}: cannot import handlers: not a Python source file")
            module = importlib.util.module_from_spec(module_spec)
            sys.modules[name] = module
            try:
                module_spec.loader.exec_module(module)
            except BaseException:
                sys.modules.pop(name, None)
                raise
            return module
        # The installed script does not put the working directory on the path
        # as `python -m` does; a module beside the user should import either way.
        if os.getcwd() not in sys.path and "" not in sys.path:
            sys.path.insert(0, os.getcwd())
        return importlib.import_module(spec)
    except UserError:
        raise
    except (Exception, SystemExit) as error:
        raise UserError(f"{spec}: cannot import handlers: {type(error).__name__}: {error}") from error


def collect_handlers(
    module: Optional[ModuleType], spec: Optional[str], resources: list[str]
) -> dict[str, Callable[..., Any]]:
    """The callable for every resource, or a UserError naming those without one."""
    found: dict[str, Callable[..., Any]] = {}
    missing = []
    mapping: Mapping[str, Any] = {}
    if module is not None:
        declared = getattr(module, "HANDLERS", None)
        if declared is not None:
            if not isinstance(declared, Mapping):
                raise UserError(
                    f"{spec}: HANDLERS must map resource names to callables, not {type(declared).__name__}"
                )
            mapping = declared
    for resource in resources:
        if resource in mapping:
            handler = mapping[resource]
            if not callable(handler):
                raise UserError(
                    f'{spec}: the handler for "{resource}" is not callable ({type(handler).__name__})'
                )
            found[resource] = handler
            continue
        handler = vars(module).get(resource) if module is not None else None
        if callable(handler):
            found[resource] = handler
        else:
            missing.append(resource)
    if missing:
        names = ", ".join(json.dumps(name, ensure_ascii=False) for name in missing)
        noun = "resource" if len(missing) == 1 else "resources"
        where = f"in {spec}" if spec else "(pass --handlers MODULE_OR_PATH)"
        raise UserError(f"no handler for {noun} {names} {where}")
    return found


def dumps(value: Any) -> str:
    return json.dumps(value, ensure_ascii=False)


def trace_line(
    number: int, state: str, entry: Optional[dict[str, Any]], result: dict[str, Any], names: list[str]
) -> str:
    """One line for one step: which state ran, which attempt, how it ended."""
    parts = [f"step {number}", state]
    if entry is not None:
        parts.append(f"attempt {entry['attempt']}")
    status = result["status"]
    if status == "continue":
        target = names[result["next_state"]] if 0 <= result["next_state"] < len(names) else "?"
        if entry is None:
            label = "choice"
        elif "error" in entry:
            label = "retry" if target == state else "caught"
        else:
            label = "ok"
        parts.append(f"{label} -> {target}")
    else:
        parts.append(status)
    if entry is not None and "error" in entry:
        parts.append(f"error: {entry['error']}")
    elif entry is not None and "output" in entry:
        parts.append(f"output: {dumps(entry['output'])}")
    elif status == "fatal":
        parts.append(f"error: {result['error']}")
    return printable("  ".join(parts))


def journal_lines(journal: Sequence[Mapping[str, Any]]) -> list[str]:
    rows = [("#", "state", "id", "attempt", "outcome")]
    for i, entry in enumerate(journal):
        if "error" in entry:
            outcome = f"error: {entry['error']}"
        elif "output" in entry:
            outcome = f"output: {dumps(entry['output'])}"
        else:
            outcome = "-"
        rows.append((str(i), entry["state_name"], str(entry["state_id"]), str(entry["attempt"]), outcome))
    cells = [[printable(cell) for cell in row] for row in rows]
    widths = [max(len(row[i]) for row in cells) for i in range(len(rows[0]))]
    return ["  ".join(cell.ljust(widths[i]) for i, cell in enumerate(row)).rstrip() for row in cells]


def run_machine(
    machine: Any, max_steps: int, trace: Optional[TextIO]
) -> tuple[Optional[dict[str, Any]], int]:
    """Step ``machine`` until it completes, fails or uses up ``max_steps``.

    Returns the last result (None when the step limit stopped it) and the
    number of steps taken.  With ``trace``, one line per step is written there
    as the step finishes.
    """
    names = list(machine.state_names)
    recorded = len(machine._journal_since(0)) if trace is not None else 0
    steps = 0
    while steps < max_steps:
        current = machine.current_state
        state = names[current] if 0 <= current < len(names) else "?"
        result = machine.step()
        steps += 1
        if trace is not None:
            # Only what this step added (at most one entry) is converted:
            # reading the whole journal after every step made a trace
            # quadratic in its length.
            added = machine._journal_since(recorded)
            entry = added[-1] if added else None
            recorded += len(added)
            print(trace_line(steps, state, entry, result, names), file=trace, flush=True)
        if result["status"] != "continue":
            return result, steps
    return None, steps
