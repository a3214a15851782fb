"""`pyvorn graph` and `pyvorn run --graph`, end to end through a separate process."""

import json
import os
import pathlib
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

import _pyvorn
import pytest

from pyvorn.diagram import definition_to_dot, definition_to_mermaid

ROOT = pathlib.Path(__file__).resolve().parents[2]
ORDER = "examples/order_pipeline.json"
needs_dot = pytest.mark.skipif(shutil.which("dot") is None, reason='Graphviz "dot" is not installed')
needs_machine = pytest.mark.skipif(
    not hasattr(_pyvorn, "StateMachine"), reason="this build of _pyvorn has no StateMachine yet"
)
SVG_NODE = "{http://www.w3.org/2000/svg}g"


def pyvorn(*args, env=None):
    return subprocess.run(
        [sys.executable, "-m", "pyvorn", *args], capture_output=True, cwd=ROOT, env=env
    )


def without_dot(tmp_path):
    """An environment whose PATH holds no dot (nor anything else)."""
    empty = tmp_path / "empty-bin"
    empty.mkdir(exist_ok=True)
    return {**os.environ, "PATH": str(empty)}


def svg_nodes(path):
    root = ET.parse(path).getroot()
    return [g for g in root.iter(SVG_NODE) if g.get("class") == "node"]


def text_of(path):
    return (ROOT / path).read_text(encoding="utf-8")


@pytest.mark.parametrize(
    "args, draw",
    [
        ((), definition_to_dot),
        (("--format", "dot"), definition_to_dot),
        (("--format", "mermaid"), definition_to_mermaid),
    ],
)
def test_graph_writes_text_formats_to_stdout(args, draw):
    result = pyvorn("graph", ORDER, *args)
    assert (result.returncode, result.stderr) == (0, b"")
    assert result.stdout.decode("utf-8") == draw(text_of(ORDER))


@pytest.mark.parametrize("suffix, draw", [(".dot", definition_to_dot), (".gv", definition_to_dot),
                                          (".mmd", definition_to_mermaid)])
def test_graph_takes_the_format_from_the_output_name(tmp_path, suffix, draw):
    out = tmp_path / f"machine{suffix}"
    result = pyvorn("graph", ORDER, "-o", str(out))
    size = len(draw(text_of(ORDER)).encode("utf-8"))
    format = "mermaid" if suffix == ".mmd" else "dot"
    assert result.stdout.decode() == f"{ORDER}: wrote {out} ({format}, {size} bytes)\n"
    assert out.read_text(encoding="utf-8") == draw(text_of(ORDER))


@needs_dot
def test_graph_draws_svg_and_png(tmp_path):
    out = tmp_path / "order.svg"
    assert pyvorn("graph", ORDER, "-o", str(out)).returncode == 0
    assert len(svg_nodes(out)) == 7
    # --format wins over the name.
    out = tmp_path / "picture.dot"
    assert pyvorn("graph", ORDER, "--format", "png", "-o", str(out)).returncode == 0
    assert out.read_bytes().startswith(b"\x89PNG\r\n\x1a\n")


def test_graph_faults_are_one_line(tmp_path):
    folder = tmp_path / "folder"
    folder.mkdir()
    cases = [
        (("graph", ORDER, "-o", "x.jpg"), 2, "x.jpg: cannot tell the format from this name: give --format\n"),
        (("graph", "examples/broken_next_end.json"), 1,
         "examples/broken_next_end.json:5:14: ValidationError: must specify either Next or End in States.Greet\n"),
        (("graph", "no/such.json"), 1, "no/such.json: cannot read: No such file or directory\n"),
        (("graph", ORDER, "-o", str(folder)), 2, f"{folder}: cannot tell the format from this name: give --format\n"),
        (("graph", ORDER, "--format", "dot", "-o", str(folder)), 1, f"{folder}: cannot write: Is a directory\n"),
    ]
    for args, status, first_line in cases:
        result = pyvorn(*args)
        assert result.returncode == status and result.stdout == b""
        assert result.stderr.decode().startswith(first_line), (args, result.stderr)


def test_graph_without_dot_says_so_in_one_line(tmp_path):
    result = pyvorn("graph", ORDER, "--format", "svg", env=without_dot(tmp_path))
    assert (result.returncode, result.stdout) == (1, b"")
    assert result.stderr.decode() == (
        f'{ORDER}: cannot draw SVG: the Graphviz program "dot" is not installed (Debian package graphviz); '
        "--format dot writes the DOT text without it\n"
    )
    # DOT text needs no Graphviz.
    assert pyvorn("graph", ORDER, env=without_dot(tmp_path)).returncode == 0


def test_run_graph_problems_are_found_before_anything_runs(tmp_path):
    result = pyvorn("run", ORDER, "--graph", "run.jpg")
    assert (result.returncode, result.stdout) == (2, b"")
    assert result.stderr.decode() == (
        "run.jpg: cannot tell the picture format from this name (use .dot, .gv, .mermaid, .mmd, .png, .svg)\n"
    )
    result = pyvorn("run", ORDER, "--graph", str(tmp_path / "run.png"), env=without_dot(tmp_path))
    assert (result.returncode, result.stdout) == (1, b"")
    assert result.stderr.decode() == (
        f'{tmp_path / "run.png"}: cannot draw PNG: the Graphviz program "dot" is not installed '
        "(Debian package graphviz); --graph OUT.dot writes the DOT text without it\n"
    )
    assert not (tmp_path / "run.png").exists()


def order_run(*extra):
    return ("run", ORDER, "--input", "@examples/inputs/order_pipeline.json",
            "--handlers", "examples/handlers/order_pipeline.py", *extra)


@needs_machine
@needs_dot
def test_run_draws_the_run(tmp_path):
    out = tmp_path / "run.svg"
    result = pyvorn(*order_run("--graph", str(out)))
    assert result.returncode == 0, result.stderr
    assert json.loads(result.stdout)["status"] == "completed"
    assert result.stderr.decode() == f"{ORDER}: drew the run in {out}\n"
    nodes = svg_nodes(out)
    assert len(nodes) == 7
    texts = {t.text for g in nodes for t in g.iter("{http://www.w3.org/2000/svg}text")}
    assert {"attempt 0: TimeoutError: payment gateway did not answer in time", "attempt 1: ok",
            "current state"} <= texts


@needs_machine
def test_a_failed_run_is_drawn_too(tmp_path):
    declined = tmp_path / "declined.json"
    order = json.loads(text_of("examples/inputs/order_pipeline.json"))
    order["order"]["card"] = "tok_declined"
    declined.write_text(json.dumps(order), encoding="utf-8")
    out = tmp_path / "run.dot"
    result = pyvorn("run", ORDER, "--input", f"@{declined}", "--handlers", "examples/handlers/order_pipeline.py",
                    "--graph", str(out))
    assert result.returncode == 1
    dot = out.read_text(encoding="utf-8")
    assert '[label=<catch *>, style=dashed, color="#1a7f37", penwidth=2.5];' in dot
    assert "current state PaymentFailed" in dot
