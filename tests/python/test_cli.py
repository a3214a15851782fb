"""The pyvorn command-line tool."""

import pathlib
import subprocess
import sys

import pytest

from pyvorn.cli import main

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
VALID = '{"StartAt":"A","States":{"A":{"Type":"Succeed"}}}'


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_text(text, encoding="utf-8")
    return str(path)


def test_validate_gives_one_verdict_per_file(tmp_path, capsys):
    good = write(tmp_path, "good.json", VALID)
    bad = write(tmp_path, "bad.json", '{"StartAt":"A","States":{}}')
    assert main(["validate", good, bad]) == 1
    assert capsys.readouterr().out == (
        f"{good}: valid\n"
        f"{bad}: ValidationError: states must not be empty at root\n"
        "      Hint: Add at least one state to the States object.\n"
    )
    assert main(["validate", good]) == 0


def test_validate_reports_unreadable_files(tmp_path, capsys):
    missing = str(tmp_path / "missing.json")
    assert main(["validate", missing]) == 1
    assert capsys.readouterr().out.startswith(f"{missing}: cannot read: ")


def test_shipped_examples(capsys):
    files = sorted(str(p) for p in EXAMPLES.glob("*.json"))
    main(["validate", *files])
    verdicts = capsys.readouterr().out
    for path in files:
        expected_valid = not pathlib.Path(path).name.startswith("broken")
        assert (f"{path}: valid\n" in verdicts) == expected_valid, path


def test_compile_writes_the_source(tmp_path, capsys):
    import _pyvorn

    definition = write(tmp_path, "m.json", VALID)
    out = tmp_path / "m.rs"
    assert main(["compile", definition, "-o", str(out)]) == 0
    assert out.read_text(encoding="utf-8") == _pyvorn.compile(VALID)
    assert main(["compile", definition]) == 0
    assert capsys.readouterr().out.endswith(_pyvorn.compile(VALID))


def test_compile_reports_bad_definitions(tmp_path, capsys):
    definition = write(tmp_path, "m.json", "[]")
    assert main(["compile", definition]) == 1
    assert capsys.readouterr().err == f'{definition}: ParseError: invalid field "(root)" at root: expected object\n'


def test_usage_errors_exit_with_two():
    result = subprocess.run([sys.executable, "-m", "pyvorn"], capture_output=True, text=True)
    assert result.returncode == 2
    result = subprocess.run([sys.executable, "-m", "pyvorn", "--version"], capture_output=True, text=True)
    assert result.stdout.strip() == "0.1.0"
