"""Pictures for the command line: which format a file name asks for, drawing
in that format, and writing the result.

SVG and PNG need Graphviz's ``dot``; its absence is found before anything
runs, so ``pyvorn run --graph OUT.svg`` never calls a handler only to fail at
the end.
"""

from __future__ import annotations

import os
import shutil
import tempfile
from typing import Any, Optional

from pyvorn._run import UserError, describe_os_error
from pyvorn.aws import _diagram as aws_diagram
from pyvorn.diagram import (
    definition_to_dot,
    definition_to_mermaid,
    render,
    run_to_dot,
    run_to_mermaid,
)

FORMATS = ("dot", "mermaid", "svg", "png")
SUFFIXES = {".dot": "dot", ".gv": "dot", ".mmd": "mermaid", ".mermaid": "mermaid", ".svg": "svg", ".png": "png"}
DRAWN_BY_DOT = ("svg", "png")


def format_of(path: str) -> Optional[str]:
    """The format a file name asks for by its suffix, or None."""
    return SUFFIXES.get(os.path.splitext(path)[1].lower())


def require_dot(where: str, format: str, instead: str) -> None:
    """A one-line UserError when ``format`` needs ``dot`` and it is missing."""
    if format in DRAWN_BY_DOT and shutil.which("dot") is None:
        raise UserError(
            f'{where}: cannot draw {format.upper()}: the Graphviz program "dot" is not installed '
            f"(Debian package graphviz); {instead} writes the DOT text without it"
        )


def draw(definition: str, format: str, run: Optional[tuple[Any, Any, Any]] = None) -> bytes:
    """The picture of ``definition`` (with ``run`` = (journal, current_state,
    initial_input) drawn on it, when given) as the bytes of a ``format`` file."""
    if format == "mermaid":
        text = definition_to_mermaid(definition) if run is None else run_to_mermaid(definition, *run)
        return text.encode("utf-8")
    dot = definition_to_dot(definition) if run is None else run_to_dot(definition, *run)
    if format == "dot":
        return dot.encode("utf-8")
    return render(dot, format)


def draw_aws(definition: dict[str, Any], format: str, history: Optional[list[dict[str, Any]]] = None) -> bytes:
    """The picture of an AWS-dialect machine's ``definition`` (with the run
    its ``history`` records, when given) as the bytes of a ``format`` file."""
    if format == "mermaid":
        return aws_diagram.to_mermaid(definition, history).encode("utf-8")
    dot = aws_diagram.to_dot(definition, history)
    return dot.encode("utf-8") if format == "dot" else render(dot, format)


def write(path: str, data: bytes) -> None:
    """Write ``data`` to ``path``.  A regular file is replaced only once the
    whole picture is on disk, so a full disk never leaves half a picture in
    place of the old one; anything else (/dev/stdout, a pipe) is written to."""
    try:
        if os.path.exists(path) and not os.path.isfile(path):
            with open(path, "wb") as handle:
                handle.write(data)
            return
        folder = os.path.dirname(path) or "."
        descriptor, temporary = tempfile.mkstemp(prefix=".pyvorn-", suffix=".tmp", dir=folder)
        try:
            with os.fdopen(descriptor, "wb") as handle:
                handle.write(data)
            os.chmod(temporary, 0o666 & ~_umask())
            os.replace(temporary, path)
        except BaseException:
            os.unlink(temporary)
            raise
    except OSError as error:
        raise UserError(f"{path}: cannot write: {describe_os_error(error)}") from error


def _umask() -> int:
    mask = os.umask(0)
    os.umask(mask)
    return mask
