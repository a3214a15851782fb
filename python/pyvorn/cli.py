"""The pyvorn command-line tool.

    pyvorn validate FILE... [--format json] [--dialect aws]
                                               check definitions, one verdict each
    pyvorn compile FILE [-o OUT.rs]            write the generated source
    pyvorn inspect FILE [--dialect aws]        the lowered machine as tables
    pyvorn graph FILE [--format dot|mermaid|svg|png] [-o OUT] [--dialect aws]
                                               a picture of the machine
    pyvorn run FILE [--input JSON|@FILE] [--handlers MODULE_OR_PATH]
                    [--max-steps N] [--trace] [--journal] [--graph OUT]
    pyvorn run --dialect aws FILE [--input JSON|@FILE] [--handlers MODULE_OR_PATH]
                    [--stub echo] [--history] [--clock virtual|real] [--seed N]
                    [--max-steps N] [--trace] [--graph OUT]

Exit status: 0 on success; 1 when a definition is invalid, a run fails, or a
file or handlers module cannot be used; 2 for a usage error (including an
unusable --input).  Every user error is one line on stderr that names the file
and the fault; --debug shows the traceback instead.
"""

from __future__ import annotations

import argparse
import json
import sys
from typing import Any, Callable, Optional, Sequence

import _pyvorn

from pyvorn import _picture
from pyvorn.aws import _cli as aws_cli
from pyvorn._inspect import MachineFacts, render
from pyvorn._report import Fault, describe
from pyvorn._run import (
    UserError,
    collect_handlers,
    describe_os_error,
    dumps,
    journal_lines,
    load_module,
    parse_input,
    run_machine,
)
from pyvorn._source import scan
from pyvorn._text import printable
from pyvorn.diagram import GraphvizNotFound

DEFINITION_ERRORS = (_pyvorn.ParseError, _pyvorn.ValidationError)
DEFAULT_MAX_STEPS = 10_000


def _read_text(path: str) -> str:
    try:
        # newline="" keeps the text exactly as written, so positions match it.
        with open(path, encoding="utf-8", newline="") as handle:
            return handle.read()
    except (OSError, UnicodeDecodeError) as error:
        raise UserError(f"{path}: cannot read: {describe_os_error(error)}") from error


def fault_text(path: str, error: Exception, fault: Fault) -> str:
    """FILE:LINE:COL: Kind: message, with the Value and Hint lines indented under it."""
    where = path if fault.line is None else f"{path}:{fault.line}:{fault.column}"
    message = printable(str(error), keep_newlines=True).replace("\n", "\n    ")
    return f"{printable(where)}: {fault.kind}: {message}"


def _definition_fault(path: str, text: str, error: Exception) -> UserError:
    return UserError(fault_text(path, error, describe(error, text)))


# --- validate --------------------------------------------------------------


def validate_command(args: argparse.Namespace) -> int:
    status = 0
    as_json = args.format == "json"
    for path in args.files:
        verdict: dict[str, Any] = {"file": path, "ok": True}
        verdict.update(dict.fromkeys(("kind", "message", "location", "line", "column", "value", "hint")))
        try:
            text = _read_text(path)
        except UserError as error:
            status = 1
            if not as_json:
                print(printable(str(error)), file=sys.stderr)
                continue
            verdict.update(ok=False, kind="ReadError", message=str(error)[len(path) + 2 :])
            print(json.dumps(verdict, ensure_ascii=False))
            continue
        if args.dialect == "aws":
            ok, lines = aws_cli.validate_text(path, text, as_json)
            status = status if ok else 1
            print("\n".join(lines))
            continue
        try:
            _pyvorn.validate(text)
        except DEFINITION_ERRORS as error:
            status = 1
            fault = describe(error, text)
            if as_json:
                verdict.update(ok=False, **fault.as_dict())
            else:
                print(fault_text(path, error, fault))
                if aws_cli.accepts(text):
                    print(f"      Dialect: the AWS dialect accepts this definition "
                          f"(pyvorn validate --dialect aws {printable(path)})")
                continue
        else:
            if not as_json:
                print(f"{printable(path)}: valid")
                continue
        print(json.dumps(verdict, ensure_ascii=False))
    return status


# --- compile ---------------------------------------------------------------


def compile_command(args: argparse.Namespace) -> int:
    text = _read_text(args.file)
    try:
        source = _pyvorn.compile(text)
    except DEFINITION_ERRORS as error:
        raise _definition_fault(args.file, text, error) from error
    if args.output is None:
        sys.stdout.write(source)
        return 0
    try:
        with open(args.output, "w", encoding="utf-8", newline="\n") as handle:
            handle.write(source)
    except OSError as error:
        raise UserError(f"{args.output}: cannot write: {describe_os_error(error)}") from error
    print(f"{printable(args.file)}: wrote {printable(args.output)} ({len(source)} characters)")
    return 0


# --- inspect ---------------------------------------------------------------


def inspect_command(args: argparse.Namespace) -> int:
    text = _read_text(args.file)
    if args.dialect == "aws":
        try:
            sys.stdout.write(aws_cli.inspect_text(args.file, text))
        except aws_cli.DefinitionError as error:
            raise UserError("\n".join(aws_cli.refusal_lines(args.file, error))) from error
        return 0
    try:
        handle = _pyvorn.lower(text)
    except DEFINITION_ERRORS as error:
        raise _definition_fault(args.file, text, error) from error
    facts = MachineFacts(scan(text).to_python(), handle.state_names, handle.handler_names)
    sys.stdout.write(render(facts, args.file))
    return 0


# --- graph -----------------------------------------------------------------


def _draw(where: str, text: str, kind: str, run: Optional[tuple[Any, Any, Any]] = None) -> bytes:
    try:
        return _picture.draw(text, kind, run)
    except DEFINITION_ERRORS as error:
        raise _definition_fault(where, text, error) from error
    except GraphvizNotFound as error:
        raise UserError(f"{where}: cannot draw {kind.upper()}: {error}") from error
    except RuntimeError as error:
        raise UserError(f"{where}: cannot draw {kind.upper()}: {error}") from error


def _draw_aws(where: str, text: str, kind: str, history: Optional[list[dict[str, Any]]] = None) -> bytes:
    try:
        definition = aws_cli.StateMachine(text).definition
    except aws_cli.DefinitionError as error:
        raise UserError("\n".join(aws_cli.refusal_lines(where, error, text))) from error
    try:
        return _picture.draw_aws(definition, kind, history)
    except (GraphvizNotFound, RuntimeError) as error:
        raise UserError(f"{where}: cannot draw {kind.upper()}: {error}") from error


def graph_command(args: argparse.Namespace) -> int:
    kind = args.format
    if kind is None and args.output is not None:
        kind = _picture.format_of(args.output)
        if kind is None:
            raise UserError(f"{args.output}: cannot tell the format from this name: give --format", 2)
    kind = kind or "dot"
    if args.output is None and kind == "png" and sys.stdout.isatty():
        raise UserError("pyvorn graph: will not write PNG to a terminal: give -o OUT.png", 2)
    _picture.require_dot(args.file, kind, "--format dot")
    text = _read_text(args.file)
    data = _draw_aws(args.file, text, kind) if args.dialect == "aws" else _draw(args.file, text, kind)
    if args.output is None:
        sys.stdout.flush()
        sys.stdout.buffer.write(data)
        sys.stdout.buffer.flush()
        return 0
    _picture.write(args.output, data)
    print(f"{printable(args.file)}: wrote {printable(args.output)} ({kind}, {len(data)} bytes)")
    return 0


def _graph_of_run(args: argparse.Namespace, text: str, machine: Any, initial_input: Any) -> bool:
    """Draw the run to ``args.graph``; False (the reason on stderr) when that fails."""
    kind = _picture.format_of(args.graph)
    assert kind is not None
    try:
        run = (machine.journal, machine.current_state, initial_input or {})
        _picture.write(args.graph, _draw(args.graph, text, kind, run))
    except UserError as error:
        print(printable(str(error), keep_newlines=True), file=sys.stderr)
        return False
    except ValueError as error:  # a journal the picture cannot explain
        print(printable(f"{args.graph}: cannot draw the run: {error}"), file=sys.stderr)
        return False
    print(f"{printable(args.file)}: drew the run in {printable(args.graph)}", file=sys.stderr)
    return True


def _graph_of_aws_run(args: argparse.Namespace, text: str, history: list[dict[str, Any]]) -> bool:
    """Draw an AWS-dialect run to ``args.graph``; False (the reason on stderr) when that fails."""
    kind = _picture.format_of(args.graph)
    assert kind is not None
    try:
        _picture.write(args.graph, _draw_aws(args.graph, text, kind, history))
    except UserError as error:
        print(printable(str(error), keep_newlines=True), file=sys.stderr)
        return False
    print(f"{printable(args.file)}: drew the run in {printable(args.graph)}", file=sys.stderr)
    return True


# --- run -------------------------------------------------------------------

# Options that only one dialect's run understands.
_AWS_ONLY = {"stub": "--stub", "history": "--history", "clock": "--clock", "seed": "--seed"}
_REDUCED_ONLY = {"journal": "--journal"}


def _check_dialect_options(args: argparse.Namespace) -> None:
    other = _REDUCED_ONLY if args.dialect == "aws" else _AWS_ONLY
    for attribute, option in other.items():
        if getattr(args, attribute) not in (None, False):
            wanted = "the reduced dialect" if args.dialect == "aws" else "--dialect aws"
            raise UserError(f"pyvorn run: {option} needs {wanted}", 2)


def run_command(args: argparse.Namespace) -> int:
    _check_dialect_options(args)
    initial_input = parse_input(args.input, any_value=args.dialect == "aws")
    if args.graph is not None:
        kind = _picture.format_of(args.graph)
        if kind is None:
            suffixes = ", ".join(sorted(_picture.SUFFIXES))
            raise UserError(f"{args.graph}: cannot tell the picture format from this name (use {suffixes})", 2)
        _picture.require_dot(args.graph, kind, "--graph OUT.dot")
    text = _read_text(args.file)
    if args.dialect == "aws":
        return _run_aws(args, text, initial_input)
    try:
        machine = _pyvorn.StateMachine(text, initial_input)
    except DEFINITION_ERRORS as error:
        raise _definition_fault(args.file, text, error) from error
    except (TypeError, ValueError, OverflowError, RecursionError) as error:
        where = args.input[1:] if args.input and args.input.startswith("@") else "--input"
        raise UserError(f"{where}: cannot use this input: {type(error).__name__}: {error}", 2) from error

    module = load_module(args.handlers) if args.handlers else None
    try:
        handlers = collect_handlers(module, args.handlers, list(machine.handler_names))
    except UserError as error:
        raise UserError(f"{args.file}: {error}") from error
    for resource, handler in handlers.items():
        machine.register_handler(resource, handler)

    try:
        result, steps = run_machine(machine, args.max_steps, sys.stderr if args.trace else None)
    finally:
        if args.journal:
            print("\n".join(journal_lines(machine.journal)), file=sys.stderr)
    # Drawn whatever the outcome: a failed or stuck run is what one wants to see.
    drawn = args.graph is None or _graph_of_run(args, text, machine, initial_input)
    names = list(machine.state_names)
    current = machine.current_state
    state = names[current] if 0 <= current < len(names) else "?"
    if result is None:
        raise UserError(
            f'{args.file}: stopped after {steps} steps in state "{state}" without finishing '
            "(a loop? --max-steps raises the limit)"
        )
    print(dumps(result))
    if result["status"] == "completed":
        return 0 if drawn else 1
    raise UserError(f'{args.file}: run failed in state "{state}": {result.get("error", "")}')


def _run_aws(args: argparse.Namespace, text: str, initial_input: Any) -> int:
    def draw(history: list[dict[str, Any]]) -> bool:
        return _graph_of_aws_run(args, text, history)

    try:
        return aws_cli.run(args.file, text, {} if args.input is None else initial_input, args,
                           draw if args.graph is not None else None)
    except aws_cli.InputRefused as error:
        where = args.input[1:] if args.input and args.input.startswith("@") else "--input"
        raise UserError(f"{where}: cannot use this input: {error}", 2) from error


# --- the parser ------------------------------------------------------------


def _positive(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, not {value}")
    return value


def _seed(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    # The run keeps 64 bits of it; a larger seed would quietly repeat a smaller one.
    if not 0 <= value < 2**64:
        raise argparse.ArgumentTypeError(f"must be from 0 to 2**64-1, not {value}")
    return value


def add_dialect(command: argparse.ArgumentParser) -> None:
    command.add_argument(
        "--dialect",
        choices=("reduced", "aws"),
        default="reduced",
        help="reduced: pyvorn's own dialect (the default); aws: ASL exactly as AWS Step Functions "
        "reads it, every problem reported as FILE:LINE:COL: SEVERITY CODE: message (location)",
    )


def build_parser() -> argparse.ArgumentParser:
    # --debug is accepted before or after the command; SUPPRESS keeps a
    # subcommand's default from overwriting a --debug given before it.
    debug = argparse.ArgumentParser(add_help=False)
    debug.add_argument(
        "--debug", action="store_true", default=argparse.SUPPRESS, help="show a traceback for errors"
    )
    parser = argparse.ArgumentParser(
        prog="pyvorn",
        description="Compile and run Amazon States Language state machines.",
        epilog="Exit status: 0 ok, 1 a definition or run failed, 2 usage error.",
        parents=[debug],
    )
    parser.add_argument("--version", action="version", version=_pyvorn.__version__)
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    validate = commands.add_parser(
        "validate",
        parents=[debug],
        help="check definitions and report the first fault of each",
        description="Check definitions. Each verdict reads FILE: valid, or "
        "FILE:LINE:COL: Kind: message, with the place where the faulty value starts.",
    )
    validate.add_argument("files", nargs="+", metavar="FILE", help="definition files (ASL JSON)")
    validate.add_argument(
        "--format",
        choices=("text", "json"),
        default="text",
        help="json: one JSON object per file (file, ok, kind, message, location, line, column, value, hint)",
    )
    add_dialect(validate)
    validate.set_defaults(run=validate_command)

    def definition_command(
        name: str, action: Callable[[argparse.Namespace], int], summary: str, description: str
    ) -> argparse.ArgumentParser:
        """A command whose first argument is one definition FILE."""
        command = commands.add_parser(name, parents=[debug], help=summary, description=description)
        command.add_argument("file", metavar="FILE", help="definition file (ASL JSON)")
        command.set_defaults(run=action)
        return command

    def add_output(command: argparse.ArgumentParser) -> None:
        command.add_argument("-o", "--output", metavar="OUT", help="write here instead of stdout")

    compile_ = definition_command(
        "compile",
        compile_command,
        "write the source that declares a machine as static tables",
        "Generate the Rust source that declares the machine as static tables.",
    )
    add_output(compile_)

    inspect = definition_command(
        "inspect",
        inspect_command,
        "show the lowered machine: states, handlers, schemas, conditions",
        "Show the lowered machine as tables: states with ids, kinds and "
        "transitions; handlers; schemas; Choice conditions. With --dialect aws: "
        "the states of each scope (the machine, Parallel branches, Map processors).",
    )
    add_dialect(inspect)

    graph = definition_command(
        "graph",
        graph_command,
        "draw the machine as a graph (DOT, Mermaid, SVG or PNG)",
        "Draw the machine: every state with its kind, Task resources and Retry rules, "
        "Choice rules on their edges, Catch edges dashed. SVG and PNG are drawn by Graphviz's dot.",
    )
    graph.add_argument(
        "--format",
        choices=_picture.FORMATS,
        help="what to write (default: from the suffix of OUT, else dot)",
    )
    add_output(graph)
    add_dialect(graph)

    run = commands.add_parser(
        "run",
        parents=[debug],
        help="run a machine in process with Python handlers",
        description="Run a machine step by step and print its final result as JSON on stdout. "
        "Trace and journal lines go to stderr, so stdout stays one JSON document. With --dialect aws: "
        "the execution's final status on stdout, then its output or its error and cause; "
        "trace and history lines go to stderr.",
    )
    run.add_argument("file", metavar="FILE", help="definition file (ASL JSON)")
    run.add_argument(
        "--input",
        metavar="JSON|@FILE",
        help="initial input: a JSON object (with --dialect aws, any JSON value), or @FILE to read one (default {})",
    )
    run.add_argument(
        "--handlers",
        metavar="MODULE_OR_PATH",
        help="Python module (import name or .py path) with HANDLERS = {resource: callable} "
        "or functions named like the resources; with --dialect aws, one that defines "
        "handlers = pyvorn.aws.Handlers(...)",
    )
    run.add_argument(
        "--max-steps",
        type=_positive,
        default=DEFAULT_MAX_STEPS,
        metavar="N",
        help=f"stop with exit status 1 after N steps (with --dialect aws: N states entered; "
        f"default {DEFAULT_MAX_STEPS})",
    )
    run.add_argument(
        "--trace", action="store_true", help="print one line per step (with --dialect aws: per state) as it happens"
    )
    run.add_argument("--journal", action="store_true", help="print the journal at the end (reduced dialect)")
    add_dialect(run)
    aws_only = run.add_argument_group("with --dialect aws")
    aws_only.add_argument(
        "--stub",
        choices=("echo",),
        help="echo: every Task answers its own input (with --handlers: those it leaves unanswered)",
    )
    aws_only.add_argument(
        "--history", action="store_true", default=None,
        help="print the execution history at the end, one JSON event per line",
    )
    aws_only.add_argument(
        "--clock",
        choices=("virtual", "real"),
        help="virtual (the default): waits and timeouts take no time; real: they take what they say",
    )
    aws_only.add_argument(
        "--seed", type=_seed, metavar="N", help="seed of the run's names, tokens and jitter (default 0)"
    )
    run.add_argument(
        "--graph",
        metavar="OUT",
        help="draw the machine with the run on it, in the format OUT's suffix names "
        "(.svg, .png, .dot, .gv, .mmd, .mermaid); drawn also when the run fails",
    )
    run.set_defaults(run=run_command)
    return parser


def main(argv: Optional[Sequence[str]] = None) -> int:
    args = build_parser().parse_args(argv)
    try:
        return int(args.run(args))
    except UserError as error:
        if getattr(args, "debug", False):
            raise
        print(printable(str(error), keep_newlines=True), file=sys.stderr)
        return error.status
    except KeyboardInterrupt:
        if getattr(args, "debug", False):
            raise
        print("pyvorn: interrupted", file=sys.stderr)
        return 130


if __name__ == "__main__":
    sys.exit(main())
