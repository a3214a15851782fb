"""The pyvorn command-line tool.

    python -m pyvorn validate FILE...           check definitions, one verdict each
    python -m pyvorn compile FILE [-o OUT.rs]   write the generated source

Exit status: 0 on success, 1 when a definition is invalid or a file cannot be
read or written, 2 for a usage error.
"""

from __future__ import annotations

import argparse
import sys
from typing import Sequence

import _pyvorn


def _read_text(path: str) -> str:
    with open(path, encoding="utf-8") as handle:
        return handle.read()


def _indent_continuation(message: str) -> str:
    # Validation messages carry Value and Hint lines; keep them under their file.
    return message.replace("\n", "\n    ")


def validate_command(args: argparse.Namespace) -> int:
    status = 0
    for path in args.files:
        try:
            _pyvorn.validate(_read_text(path))
        except (OSError, UnicodeDecodeError) as error:
            print(f"{path}: cannot read: {error}")
            status = 1
        except (_pyvorn.ParseError, _pyvorn.ValidationError) as error:
            print(f"{path}: {type(error).__name__}: {_indent_continuation(str(error))}")
            status = 1
        else:
            print(f"{path}: valid")
    return status


def compile_command(args: argparse.Namespace) -> int:
    try:
        source = _pyvorn.compile(_read_text(args.file))
    except (OSError, UnicodeDecodeError) as error:
        print(f"{args.file}: cannot read: {error}", file=sys.stderr)
        return 1
    except (_pyvorn.ParseError, _pyvorn.ValidationError) as error:
        print(f"{args.file}: {type(error).__name__}: {error}", file=sys.stderr)
        return 1
    if args.output is None:
        sys.stdout.write(source)
        return 0
    try:
        with open(args.output, "w", encoding="utf-8", newline="\n") as handle:
            handle.write(source)
    except OSError as error:
        print(f"{args.output}: cannot write: {error}", file=sys.stderr)
        return 1
    print(f"{args.file}: wrote {args.output} ({len(source)} characters)")
    return 0


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="pyvorn", description="Compile and run Amazon States Language state machines."
    )
    parser.add_argument("--version", action="version", version=_pyvorn.__version__)
    commands = parser.add_subparsers(dest="command", required=True)

    validate = commands.add_parser("validate", help="check definitions and report the first fault")
    validate.add_argument("files", nargs="+", metavar="FILE", help="definition files (ASL JSON)")
    validate.set_defaults(run=validate_command)

    compile_ = commands.add_parser(
        "compile", help="write the source that declares a machine as static tables"
    )
    compile_.add_argument("file", metavar="FILE", help="definition file (ASL JSON)")
    compile_.add_argument("-o", "--output", metavar="OUT", help="write here instead of stdout")
    compile_.set_defaults(run=compile_command)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    args = build_parser().parse_args(argv)
    return args.run(args)


if __name__ == "__main__":
    sys.exit(main())
