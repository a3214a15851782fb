"""The pyvorn command-line tool."""

import io
import json
import pathlib
import re
import subprocess
import sys

import pytest

import _pyvorn
from pyvorn._run import run_machine
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
        f"{bad}:1:1: ValidationError: states must not be empty at root\n"
        "      Hint: Add at least one state to the States object.\n"
    )
    assert main(["validate", good]) == 0


def test_validate_reports_unreadable_files(tmp_path, capsys):
    missing = str(tmp_path / "missing.json")
    assert main(["validate", missing]) == 1
    assert capsys.readouterr().err == f"{missing}: cannot read: No such file or directory\n"


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
    assert capsys.readouterr().err == f'{definition}:1:1: ParseError: invalid field "(root)" at root: expected object\n'


def test_usage_errors_exit_with_two():
    result = subprocess.run([sys.executable, "-m", "pyvorn"], capture_output=True, text=True)
    assert result.returncode == 2
    result = subprocess.run([sys.executable, "-m", "pyvorn", "--version"], capture_output=True, text=True)
    assert result.stdout.strip() == "0.1.0"


# --- end to end, through a separate process -------------------------------

ROOT = EXAMPLES.parent


def pyvorn(*args, cwd=ROOT):
    return subprocess.run(
        [sys.executable, "-m", "pyvorn", *args], capture_output=True, text=True, cwd=cwd, encoding="utf-8"
    )


# The first line of each broken example's verdict: where the fault is and what it is.
BROKEN = {
    "broken_catch.json": '8:54: ParseError: unknown field "ResultPath" in States.Fetch.Catch[0].ResultPath',
    "broken_choice.json": '9:9: ValidationError: duplicate branch for StringEquals("paid") in States.Route.Choices[1]',
    "broken_field_type.json": '11:26: ParseError: invalid field "MaxAttempts" in '
    "States.Fetch.Retry[0].MaxAttempts: expected non-negative integer",
    "broken_json.json": "6:3: ParseError: invalid JSON: key must be a string at line 6 column 3",
    "broken_missing_field.json": '5:13: ParseError: missing required field "Resource" in States.Work',
    "broken_next_end.json": "5:14: ValidationError: must specify either Next or End in States.Greet",
    "broken_path.json": '7:20: ValidationError: invalid path "order.items" in States.Pick.InputPath',
    "broken_result.json": "7:17: ValidationError: array elements must have uniform types in States.Defaults.Result",
    "broken_retry.json": "8:61: ValidationError: MaxAttempts must be >= 1, found 0 in States.Fetch.Retry[0].MaxAttempts",
    "broken_start_at.json": '3:14: ValidationError: StartAt references unknown state "begin" in StartAt',
    "broken_state_type.json": '5:26: ParseError: unsupported state type "Map" in States.EachItem.Type',
    "broken_template.json": 'ValidationError: invalid template reference key "total.$" in '
    "States.Shape.Parameters.total.$: value must be a string (JSONPath)",
    "broken_transition.json": 'ValidationError: transitions to unknown state "CleanUp" in States.Upload.Catch[0].Next',
}


def test_every_broken_example_is_reported_at_its_fault():
    assert sorted(p.name for p in EXAMPLES.glob("broken_*.json")) == sorted(BROKEN)
    result = pyvorn("validate", *(f"examples/{name}" for name in sorted(BROKEN)))
    assert result.returncode == 1, result.stderr
    firsts = [line for line in result.stdout.splitlines() if not line.startswith(" ")]
    assert len(firsts) == len(BROKEN)
    for line, name in zip(firsts, sorted(BROKEN)):
        assert line.startswith(f"examples/{name}:") and line.endswith(BROKEN[name]), line


def test_validate_positions_are_where_the_faulty_value_starts():
    # Check the table above against the files themselves, so it cannot drift.
    for name, expected in BROKEN.items():
        head = expected.split(": ", 1)[0]
        if ":" not in head or "invalid JSON" in expected:
            continue  # the reader places a syntax error itself
        line, column = map(int, head.split(":"))
        text = (EXAMPLES / name).read_text(encoding="utf-8").split("\n")[line - 1]
        assert text[column - 1] in '"{[0123456789tfn,', (name, text, column)


def test_validate_json_format_gives_one_object_per_file(tmp_path):
    missing = str(tmp_path / "missing.json")
    result = pyvorn("validate", "--format", "json", "examples/hello.json", "examples/broken_retry.json", missing)
    assert result.returncode == 1
    assert result.stderr == ""
    verdicts = [json.loads(line) for line in result.stdout.splitlines()]
    assert verdicts == [
        {"file": "examples/hello.json", "ok": True, "kind": None, "message": None, "location": None,
         "line": None, "column": None, "value": None, "hint": None},
        {"file": "examples/broken_retry.json", "ok": False, "kind": "ValidationError",
         "message": "MaxAttempts must be >= 1, found 0 in States.Fetch.Retry[0].MaxAttempts",
         "location": "States.Fetch.Retry[0].MaxAttempts", "line": 8, "column": 61, "value": "0",
         "hint": "MaxAttempts must be at least 1."},
        {"file": missing, "ok": False, "kind": "ReadError", "message": "cannot read: No such file or directory",
         "location": None, "line": None, "column": None, "value": None, "hint": None},
    ]
    assert pyvorn("validate", "--format", "json", "examples/hello.json").returncode == 0


@pytest.mark.parametrize(
    "content, message",
    [
        (b'{"StartAt": "\xff"}', "cannot read: not UTF-8 text (byte 0xff at offset 13)"),
        (None, "cannot read: Is a directory"),
    ],
)
def test_unreadable_definitions_are_one_line_on_stderr(tmp_path, content, message):
    path = tmp_path / "d.json"
    if content is None:
        path.mkdir()
    else:
        path.write_bytes(content)
    for command in ("validate", "compile", "inspect", "run"):
        result = pyvorn(command, str(path))
        assert (result.returncode, result.stdout, result.stderr) == (1, "", f"{path}: {message}\n"), command


def test_terminal_controls_in_user_text_are_shown_escaped(tmp_path):
    name = "evil\x1b[2J\u202e"
    path = write(tmp_path, "d.json", json.dumps({"StartAt": name, "States": {"A": {"Type": "Succeed"}}}))
    result = pyvorn("validate", path)
    assert "\x1b" not in result.stdout and "\u202e" not in result.stdout
    assert 'unknown state "evil\\x1b[2J\\u202e" in StartAt' in result.stdout


def test_compile_reports_the_position_on_stderr(tmp_path):
    result = pyvorn("compile", "examples/broken_path.json")
    assert result.returncode == 1 and result.stdout == ""
    assert result.stderr == (
        'examples/broken_path.json:7:20: ValidationError: invalid path "order.items" in States.Pick.InputPath\n'
        "      Value: order.items\n"
        '      Hint: Paths must begin with "$" or "$.".\n'
    )
    result = pyvorn("compile", "examples/hello.json", "-o", str(tmp_path / "no" / "such" / "dir.rs"))
    assert result.returncode == 1
    assert result.stderr == f"{tmp_path / 'no' / 'such' / 'dir.rs'}: cannot write: No such file or directory\n"


def test_every_command_has_help_and_usage_errors_exit_with_two():
    for command in ("validate", "compile", "inspect", "run"):
        result = pyvorn(command, "--help")
        assert result.returncode == 0 and result.stdout.startswith(f"usage: pyvorn {command}"), command
    for args in (["frobnicate"], ["validate"], ["run", "examples/hello.json", "--max-steps", "0"],
                 ["validate", "--format", "xml", "examples/hello.json"]):
        result = pyvorn(*args)
        assert result.returncode == 2, args
        assert result.stdout == "" and result.stderr.startswith("usage: pyvorn"), args


INSPECTED = '''{
  "StartAt": "Start",
  "States": {
    "Start": {"Type": "Pass", "Result": {"n": 1, "tags": ["a"]}, "ResultPath": "$.data", "Next": "Pick"},
    "Pick": {"Type": "Choice", "Default": "Fallback", "Choices": [
      {"Variable": "$.data.n", "NumericEquals": 1, "Next": "Work"},
      {"Variable": "$.data.tags[0]", "StringEquals": "b", "Next": "Fallback"}]},
    "Work": {"Type": "Task", "Resource": "svc.work", "InputPath": "$.data",
             "Retry": [{"ErrorEquals": ["External"], "MaxAttempts": 2}],
             "Catch": [{"ErrorEquals": ["*"], "Next": "Fallback"}], "End": true},
    "Fallback": {"Type": "Fail", "Error": "NoLuck"}
  }
}'''


def test_inspect_shows_the_lowered_machine_as_tables(tmp_path):
    path = write(tmp_path, "m.json", INSPECTED)
    result = pyvorn("inspect", path)
    assert result.returncode == 0, result.stderr
    assert result.stdout == f"""{path}: 4 states, 1 handler, 2 schemas, 2 conditions; starts at Start (id 2)

States
id  name      kind    transitions                                      details
0   Fallback  Fail    fails                                            Error "NoLuck"
1   Pick      Choice  #0 -> Work; #1 -> Fallback; default -> Fallback
2   Start     Pass    -> Pick                                          ResultPath "$.data"; Result
3   Work      Task    end; catch [*] -> Fallback                       handler 0 svc.work; retry [External] x2; InputPath "$.data"

Handlers
id  resource  used by
0   svc.work  Work

Schemas
id  name          bytes  type
0   opaque        1      any
1   Start.Result  19     {{"n": integer, "tags": [string]}}

Conditions
id  state  rule  test                             next
0   Pick   0     $.data.n NumericEquals 1         Work
1   Pick   1     $.data.tags[0] StringEquals "b"  Fallback
"""
    result = pyvorn("inspect", "examples/broken_choice.json")
    assert result.returncode == 1 and result.stdout == ""
    assert result.stderr.startswith("examples/broken_choice.json:9:9: ValidationError: duplicate branch")


def rust_tables(source):
    """Schema names, schema bytes and condition kinds as the generated source declares them."""
    names = json.loads("[" + re.search(r"schema_names: &\[(.*?)\],", source).group(1) + "]")
    data = {
        int(m.group(1)): bytes(int(b, 16) for b in re.findall(r"0x([0-9A-F]{2})", m.group(2)))
        for m in re.finditer(r"static SCHEMA_(\d+)_DATA: \[u8; \d+\] = \[(.*?)\];", source)
    }
    kinds = re.findall(r"kind: ConditionKind::(\w+)\(", source)
    return names, [data[i] for i in range(len(names))], kinds


SHAPES = [
    INSPECTED,
    # Equal shapes share the first state's schema; 1 and 1.0 and -0 differ.
    json.dumps({"StartAt": "a", "States": {
        "a": {"Type": "Pass", "Result": {"x": 1, "y": [[]]}, "Next": "b"},
        "b": {"Type": "Pass", "Result": {"y": [[]], "x": 2}, "Parameters": {"k.$": "$", "z": -0.0}, "Next": "c"},
        "c": {"Type": "Pass", "Result": [1.0, 2.5], "Parameters": {"é": None, "": True}, "Next": "d"},
        "d": {"Type": "Pass", "Result": 18446744073709551616, "End": True}}}),
]


@pytest.mark.parametrize("text", SHAPES + [(EXAMPLES / f"{n}.json").read_text() for n in
                                           ("order_pipeline", "approval_flow", "data_shaping", "hello")])
def test_inspect_numbers_schemas_and_conditions_as_the_compiler_does(text):
    from pyvorn._inspect import MachineFacts
    from pyvorn._source import scan
    import _pyvorn

    handle = _pyvorn.lower(text)
    facts = MachineFacts(scan(text).to_python(), handle.state_names, handle.handler_names)
    names, data, kinds = rust_tables(_pyvorn.generate(handle))
    assert [s.name for s in facts.schemas] == names
    assert [s.encoded for s in facts.schemas] == data
    assert [c.operator for c in facts.conditions] == kinds


class CountingMachine:
    """A machine that counts, per step, the journal entries its callers have
    converted to Python; converted[0] is what was read before the first step."""

    def __init__(self, machine):
        self._machine = machine
        self.converted = [0]

    def step(self):
        self.converted.append(0)
        return self._machine.step()

    @property
    def journal(self):
        entries = self._machine.journal
        self.converted[-1] += len(entries)
        return entries

    def _journal_since(self, index):
        entries = self._machine._journal_since(index)
        self.converted[-1] += len(entries)
        return entries

    def __getattr__(self, name):
        return getattr(self._machine, name)


def test_a_traced_step_converts_only_the_entries_it_added():
    # Pass states add an entry each, Choice states none.
    states = {}
    for i in range(100):
        states[f"P{i}"] = {"Type": "Pass", "Next": f"C{i}"}
        states[f"C{i}"] = {"Type": "Choice", "Default": f"P{i + 1}",
                           "Choices": [{"Variable": "$.stop", "BooleanEquals": True, "Next": "End"}]}
    states["P100"] = {"Type": "Pass", "Next": "End"}
    states["End"] = {"Type": "Succeed"}
    machine = CountingMachine(_pyvorn.StateMachine(json.dumps({"StartAt": "P0", "States": states}),
                                                   {"stop": False}))
    trace = io.StringIO()
    result, steps = run_machine(machine, 1000, trace)
    assert (result["status"], steps) == ("completed", 202)
    assert machine.converted[0] == 0
    assert len(machine.converted) == steps + 1
    assert max(machine.converted[1:]) <= 2
    lines = trace.getvalue().splitlines()
    assert lines[:2] == ['step 1  P0  attempt 0  ok -> C0  output: {"stop": false}', "step 2  C0  choice -> P1"]
    assert lines[-1] == 'step 202  End  attempt 0  completed  output: {"stop": false}'
