"""pyvorn.aws: definitions read and checked as AWS Step Functions does, and
the --dialect aws side of the command-line tool."""

import json

import pytest

from pyvorn import aws
from pyvorn.cli import main

PASS_ONLY = '{"StartAt": "A", "States": {"A": {"Type": "Pass", "End": true}}}'

NESTED = json.dumps(
    {
        "Comment": "scopes",
        "StartAt": "Fan",
        "States": {
            "Fan": {
                "Type": "Parallel",
                "Branches": [
                    {"StartAt": "B1", "States": {"B1": {"Type": "Pass", "End": True}}},
                    {"StartAt": "B2", "States": {"B2": {"Type": "Wait", "Seconds": 1, "End": True}}},
                ],
                "Next": "Each",
            },
            "Each": {
                "Type": "Map",
                "ItemProcessor": {"StartAt": "Item", "States": {"Item": {"Type": "Succeed"}}},
                "End": True,
            },
        },
    }
)


def test_validate_reports_in_awss_shape():
    assert aws.validate(PASS_ONLY) == {"result": "OK", "diagnostics": [], "truncated": False}
    assert aws.validate("{}") == {
        "result": "FAIL",
        "diagnostics": [
            {
                "severity": "ERROR",
                "code": "SCHEMA_VALIDATION_FAILED",
                "message": "These fields are required: [States, StartAt]",
                "location": "/",
                "line": 1,
                "column": 1,
            }
        ],
        "truncated": False,
    }


def test_every_problem_is_reported_with_where_its_value_starts():
    text = '{"StartAt": "A",\n "States": {\n  "A": {"Type": "Pass", "Next": "Nowhere"},\n  "B": {"Type": "Succeed"}}}'
    report = aws.validate(text)
    assert report["result"] == "FAIL"
    found = {(d["code"], d["location"]): (d["line"], d["column"]) for d in report["diagnostics"]}
    assert found[("MISSING_TRANSITION_TARGET", "/States/A/Next")] == (3, 33)
    assert found[("MISSING_TRANSITION_TARGET", "/States/B")] == (4, 8)


def test_state_machine_refuses_with_awss_invalid_definition_message():
    with pytest.raises(aws.DefinitionError) as caught:
        aws.StateMachine('{"Comment": "BASE_INVALID_DER", "StartAt": "State_1"}')
    assert isinstance(caught.value, ValueError)
    assert str(caught.value) == (
        "Invalid State Machine Definition: 'SCHEMA_VALIDATION_FAILED: These fields are required: [States] at /'"
    )
    assert [d["code"] for d in caught.value.diagnostics] == ["SCHEMA_VALIDATION_FAILED"]


def test_state_machine_describes_itself():
    machine = aws.StateMachine(NESTED, name="Orders", region="eu-west-1", account="111122223333")
    assert machine.name == "Orders"
    assert machine.arn == "arn:aws:states:eu-west-1:111122223333:stateMachine:Orders"
    assert machine.start_at == "Fan"
    assert machine.state_names == ("Fan", "B1", "B2", "Each", "Item")
    assert repr(machine) == "<pyvorn.aws.StateMachine 'Orders': 5 states, starts at 'Fan'>"
    assert machine.diagnostics == []


def test_definition_keeps_member_order_and_written_numbers():
    text = (
        '{"States": {"A": {"Type": "Pass", "Result": {"z": 1.0, "a": 12345678901234567890123, "m": -0},'
        ' "End": true}}, "StartAt": "A"}'
    )
    machine = aws.StateMachine(text)
    definition = machine.definition
    assert list(definition) == ["States", "StartAt"]
    result = definition["States"]["A"]["Result"]
    assert list(result) == ["z", "a", "m"]
    assert result["z"] == 1.0 and isinstance(result["z"], float)
    assert result["a"] == 12345678901234567890123
    definition["States"].clear()  # a copy: the machine keeps its own
    assert machine.definition["States"]["A"]["Type"] == "Pass"


@pytest.mark.parametrize(
    "name, code",
    [
        ("", "STATE_MACHINE_NAME_EMPTY"),
        ("x" * 81, "STATE_MACHINE_NAME_TOO_LONG"),
        ("has space", "STATE_MACHINE_NAME_INVALID"),
        ("semi;colon", "STATE_MACHINE_NAME_INVALID"),
        ("tab\there", "STATE_MACHINE_NAME_INVALID"),
    ],
)
def test_machine_names_are_checked_as_aws_does(name, code):
    with pytest.raises(aws.DefinitionError) as caught:
        aws.StateMachine(PASS_ONLY, name=name)
    assert [d["code"] for d in caught.value.diagnostics] == [code]
    assert aws.StateMachine(PASS_ONLY, name="x" * 80).name == "x" * 80


def test_region_and_account_are_checked():
    with pytest.raises(ValueError, match="^account must be 12 digits, got '12'$"):
        aws.StateMachine(PASS_ONLY, account="12")
    with pytest.raises(ValueError, match="^region must be"):
        aws.StateMachine(PASS_ONLY, region="")
    with pytest.raises(TypeError):
        aws.StateMachine(PASS_ONLY, "positional-name")  # type: ignore[misc]


def test_arguments_must_be_text():
    with pytest.raises(TypeError, match="^argument 'text': 'bytes' object cannot be converted to 'PyString'$"):
        aws.validate(b"{}")  # type: ignore[arg-type]


def test_what_cannot_run_yet_is_a_warning_that_names_it():
    text = json.dumps(
        {"QueryLanguage": "JSONata", "StartAt": "A", "States": {"A": {"Type": "Pass", "Output": "{% 1 %}", "End": True}}}
    )
    report = aws.validate(text)
    assert report["result"] == "OK"
    assert {d["code"] for d in report["diagnostics"]} == {"UNSUPPORTED_FEATURE"}
    assert all(d["severity"] == "WARNING" for d in report["diagnostics"])
    assert aws.StateMachine(text).diagnostics == report["diagnostics"]


# --- the command-line tool --------------------------------------------------


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_text(text, encoding="utf-8")
    return str(path)


def test_cli_validate_prints_every_diagnostic(tmp_path, capsys):
    good = write(tmp_path, "good.json", PASS_ONLY)
    bad = write(tmp_path, "bad.json", '{"StartAt": "A", "States": {"A": {"Type": "Pass", "Next": "B"}}}')
    assert main(["validate", "--dialect", "aws", good, bad]) == 1
    assert capsys.readouterr().out == (
        f"{good}: valid\n"
        f"{bad}:1:59: ERROR MISSING_TRANSITION_TARGET: Missing 'Next' target: B (/States/A/Next)\n"
        f"{bad}:1:28: ERROR MISSING_END_STATE: Workflow has no terminal state\n"
    )


def test_cli_validate_json_gives_one_object_per_file(tmp_path, capsys):
    bad = write(tmp_path, "bad.json", "{}")
    assert main(["validate", "--dialect", "aws", "--format", "json", bad]) == 1
    verdict = json.loads(capsys.readouterr().out)
    assert verdict == {"file": bad, "ok": False, "result": "FAIL", "diagnostics": aws.validate("{}")["diagnostics"]}


def test_cli_hints_at_the_aws_dialect_when_only_it_accepts(tmp_path, capsys):
    path = write(tmp_path, "wait.json", '{"StartAt": "W", "States": {"W": {"Type": "Wait", "Seconds": 5, "End": true}}}')
    assert main(["validate", path]) == 1
    out = capsys.readouterr().out
    assert out.endswith(f"      Dialect: the AWS dialect accepts this definition (pyvorn validate --dialect aws {path})\n")
    assert main(["validate", write(tmp_path, "bad.json", "{}")]) == 1
    assert "Dialect:" not in capsys.readouterr().out
    assert main(["validate", "--dialect", "aws", path]) == 0


def test_cli_inspect_lists_states_per_scope(tmp_path, capsys):
    path = write(tmp_path, "nested.json", NESTED)
    assert main(["inspect", "--dialect", "aws", path]) == 0
    out = capsys.readouterr().out
    assert out.splitlines()[0] == f"{path}: 5 states in 4 scopes, starts at Fan"
    assert "scope /States/Fan/Branches[1] (starts at B2)" in out
    assert "  Each  Map       -> (end)   [inline map over $]" in out
    bad = write(tmp_path, "bad.json", "{}")
    assert main(["inspect", "--dialect", "aws", bad]) == 1
    assert capsys.readouterr().err == (
        f"{bad}:1:1: ERROR SCHEMA_VALIDATION_FAILED: These fields are required: [States, StartAt] (/)\n"
    )
