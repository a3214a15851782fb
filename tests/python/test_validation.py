"""validate(): the rules a well-formed definition must keep, and which fault wins."""

import json
from pathlib import Path

import pytest

import _pyvorn
from conftest import definition

TASK = {"Type": "Task", "Resource": "svc", "End": True}
PASS = {"Type": "Pass", "End": True}

PATH = '\n  Hint: Paths must begin with "$" or "$.".'
NO_NEXT = '\n  Hint: Add either "Next": "<state>" or "End": true.'
ERRORS = "\n  Value: []\n  Hint: ErrorEquals must contain at least one error name."
DUPLICATE = "\n  Hint: Each branch must have a unique operator and value combination."
UNIFORM = "\n  Hint: Array elements must all have the same structure."
CHOICES = "\n  Hint: Add at least one choice rule."
VARIABLE = '\n  Hint: Variable must begin with "$" or "$.".'
ATTEMPTS = "\n  Value: 0\n  Hint: MaxAttempts must be at least 1."
RESOURCE = '\n  Value: ""\n  Hint: Resource must be a non-empty string identifying the handler.'


def validation_error(text):
    with pytest.raises(_pyvorn.ValidationError) as info:
        _pyvorn.validate(text)
    assert type(info.value) is _pyvorn.ValidationError and len(info.value.args) == 1
    return str(info.value)


def one(state, **extra):
    """A definition whose state "A" is `state`, beside the terminal state "Z"."""
    return definition({"A": {**state, **extra}, "Z": {"Type": "Succeed"}}, start_at="A")


def choice(*rules, **extra):
    return {"Type": "Choice", "Choices": [{"Next": "Z", **rule} for rule in rules], **extra}


def br(variable, **comparison):
    return {"Variable": variable, **comparison}


def retry(**fields):
    return {**TASK, "Retry": [{"ErrorEquals": ["E"], **fields}]}


RULES = {
    "empty States": (
        definition({}, start_at="A"),
        "states must not be empty at root\n  Hint: Add at least one state to the States object.",
    ),
    "StartAt": (
        definition({"A": {"Type": "Succeed"}}, start_at="Go"),
        'StartAt references unknown state "Go" in StartAt\n  Value: Go\n'
        "  Hint: StartAt must reference a state defined in States.",
    ),
    "Resource": (
        one(TASK, Resource=""),
        "resource must be non-empty in States.A.Resource" + RESOURCE,
    ),
    "Next and End": (
        one(TASK, Next="Z"),
        "must not specify both Next and End in States.A\n  Hint: Remove either Next or End.",
    ),
    "neither": (one({"Type": "Pass"}), "must specify either Next or End in States.A" + NO_NEXT),
    "InputPath": (
        one(TASK, InputPath="$$.x"),
        'invalid path "$$.x" in States.A.InputPath\n  Value: $$.x' + PATH,
    ),
    "OutputPath": (
        one(PASS, OutputPath=""),
        'invalid path "" in States.A.OutputPath\n  Value: ' + PATH,
    ),
    "ResultPath": (
        one(PASS, ResultPath="x"),
        'invalid path "x" in States.A.ResultPath\n  Value: x' + PATH,
    ),
    "ResultSelector": (
        one(TASK, ResultSelector={"a.$": 5}),
        'invalid template reference key "a.$" in States.A.ResultSelector.a.$:'
        ' value must be a string (JSONPath)\n  Hint: Template reference keys (ending in ".$")'
        " must have string values.",
    ),
    "Choices": (one(choice()), "Choices array must not be empty in States.A.Choices" + CHOICES),
    "Next": (
        one({"Type": "Task", "Resource": "svc", "Next": "Nope"}),
        'transitions to unknown state "Nope" in States.A.Next\n  Value: Nope',
    ),
    "branch Next": (
        one(choice(br("$", BooleanEquals=True), br("$", BooleanEquals=False, Next="Y"))),
        'transitions to unknown state "Y" in States.A.Choices[1].Next\n  Value: Y',
    ),
    "Default": (
        one(choice(br("$", BooleanEquals=True), Default="")),
        'transitions to unknown state "" in States.A.Default\n  Value: ',
    ),
    "Variable": (
        one(choice(br("$.a", NumericEquals=1), br("$$.x", NumericEquals=2))),
        'invalid variable "$$.x" in States.A.Choices[1].Variable\n  Value: $$.x' + VARIABLE,
    ),
    "NumericEquals on two variables": (
        one(choice(br("$.a", NumericEquals=-7), br("$.b", NumericEquals=-7))),
        "duplicate branch for NumericEquals(-7) in States.A.Choices[1]\n"
        "  Value: NumericEquals(-7)" + DUPLICATE,
    ),
    "StringEquals, unescaped": (
        one(choice(*[br("$", StringEquals=s) for s in ('"x"', "x", '"x"')])),
        'duplicate branch for StringEquals(""x"") in States.A.Choices[2]\n'
        '  Value: StringEquals(""x"")' + DUPLICATE,
    ),
    "BooleanEquals": (
        one(choice(br("$", BooleanEquals=False), br("$", BooleanEquals=False))),
        "duplicate branch for BooleanEquals(false) in States.A.Choices[1]\n"
        "  Value: BooleanEquals(false)" + DUPLICATE,
    ),
    "Retry ErrorEquals": (
        one({**TASK, "Retry": [{"ErrorEquals": ["E"]}, {"ErrorEquals": []}]}),
        "ErrorEquals must not be empty in States.A.Retry[1].ErrorEquals" + ERRORS,
    ),
    "MaxAttempts": (
        one(retry(MaxAttempts=0)),
        "MaxAttempts must be >= 1, found 0 in States.A.Retry[0].MaxAttempts" + ATTEMPTS,
    ),
    # The rate is the 32-bit float it became, printed in its shortest form.
    "BackoffRate": (
        one(retry(BackoffRate=1 / 3)),
        "BackoffRate must be >= 1.0, found 0.33333334 in States.A.Retry[0].BackoffRate\n"
        "  Value: 0.33333334\n  Hint: BackoffRate must be at least 1.0.",
    ),
    "Catch ErrorEquals": (
        one(TASK, Catch=[{"ErrorEquals": [], "Next": "Z"}]),
        "ErrorEquals must not be empty in States.A.Catch[0].ErrorEquals" + ERRORS,
    ),
    "Catch Next": (
        one(TASK, Catch=[{"ErrorEquals": ["*"], "Next": "Z"}, {"ErrorEquals": ["*"], "Next": "?"}]),
        'transitions to unknown state "?" in States.A.Catch[1].Next\n  Value: ?',
    ),
    "Result": (
        one(PASS, Result={"xs": [1, 2.0]}),
        "array elements must have uniform types in States.A.Result" + UNIFORM,
    ),
    "Parameters as data": (
        one(PASS, Parameters={"a.$": "$", "rows": [{"a.$": 1}, {"b": 1}]}),
        "array elements must have uniform types in States.A.Parameters" + UNIFORM,
    ),
}

# Which fault wins when a definition has several.
ORDER = {
    "all states' fields before any transition": (
        definition({"A": {"Type": "Pass", "Next": "?"}, "Z": choice()}),
        "Choices array must not be empty in States.Z.Choices" + CHOICES,
    ),
    "the first state in byte order": (
        definition(
            {"b": {"Type": "Pass"}, "a": {**PASS, "Next": "?"}, "B": {**TASK, "Resource": ""}}
        ),
        "resource must be non-empty in States.B.Resource" + RESOURCE,
    ),
    "Next/End before paths and templates": (
        one({"Type": "Task", "Resource": "svc", "InputPath": "x", "Parameters": 1}),
        "must specify either Next or End in States.A" + NO_NEXT,
    ),
    "transitions before branches": (
        definition({"A": choice(br("x", NumericEquals=1)), "Z": {"Type": "Pass", "Next": "Q"}}),
        'transitions to unknown state "Q" in States.Z.Next\n  Value: Q',
    ),
    "branches before retries": (
        definition({"A": retry(MaxAttempts=0), "Z": choice(*[br("$", NumericEquals=1)] * 2)}),
        "duplicate branch for NumericEquals(1) in States.Z.Choices[1]\n"
        "  Value: NumericEquals(1)" + DUPLICATE,
    ),
    "Retry before Catch": (
        one({**retry(MaxAttempts=0), "Catch": [{"ErrorEquals": [], "Next": "?"}]}),
        "MaxAttempts must be >= 1, found 0 in States.A.Retry[0].MaxAttempts" + ATTEMPTS,
    ),
    "EmptyErrorEquals before TransitionNotFound in a Catch": (
        one(TASK, Catch=[{"ErrorEquals": [], "Next": "?"}]),
        "ErrorEquals must not be empty in States.A.Catch[0].ErrorEquals" + ERRORS,
    ),
    "retries before static data": (
        definition({"A": {**PASS, "Result": [1, "x"]}, "B": retry(MaxAttempts=0)}),
        "MaxAttempts must be >= 1, found 0 in States.B.Retry[0].MaxAttempts" + ATTEMPTS,
    ),
}


@pytest.mark.parametrize("text,message", [*RULES.values(), *ORDER.values()], ids=[*RULES, *ORDER])
def test_first_violation(text, message):
    assert validation_error(text) == message


@pytest.mark.parametrize(
    "text",
    [
        one(TASK, Resource=" ", InputPath="$", OutputPath="$.a", ResultPath=None),
        one(TASK, Parameters={"x": {"a.$": 5}, "$": 1, "b.$": "$"}, ResultSelector={}),
        one(PASS, Result=[[], []], Parameters={"r": [{"k": [1]}, {"k": [2]}]}),
        one(choice(br("$", NumericEquals=1), br("$", StringEquals="1"))),
        # 0.99999999 becomes the 32-bit float 1.0, which is allowed.
        one(retry(BackoffRate=0.99999999, MaxAttempts=1, IntervalSeconds=0)),
    ],
)
def test_accepted(text):
    assert _pyvorn.validate(text) is None


def test_parse_error_wins():
    with pytest.raises(_pyvorn.ParseError) as info:
        _pyvorn.validate('{"StartAt":"?","States":{"A":{"Type":"Pass","End":1}}}')
    assert str(info.value) == 'invalid field "End" in States.A.End: expected boolean'


def test_deep_and_wide_data():
    text = '{"StartAt":"A","States":{"A":{"Type":"Pass","End":true,"Result":%s}}}'
    assert _pyvorn.validate(text % ("[" * 120 + "1" + "]" * 120)) is None
    deep = "[" * 120 + "1" + "]" * 119 + ',["x"]]'
    assert validation_error(text % deep) == (
        "array elements must have uniform types in States.A.Result" + UNIFORM
    )
    # Uniform, so it passes the structure rule, but too many elements for the
    # binary format's 16-bit count.
    rows = [{"id": i, "tags": ["t"]} for i in range(100_000)]
    assert validation_error(one(PASS, Result=rows)) == (
        "Result too large for the binary value format (array of 100000 elements exceeds the"
        " limit of 65535 elements) in States.A.Result\n"
        "  Hint: Split the machine or its static data into smaller parts."
    )
    rows[-1] = {"id": 0, "tags": []}
    assert validation_error(one(PASS, Result=list(range(100_000)), Parameters={"rows": rows})) == (
        "array elements must have uniform types in States.A.Parameters" + UNIFORM
    )


def test_ten_thousand_faults():
    states = {f"S{i:05d}": {"Type": "Pass", "Next": f"missing{i}"} for i in range(10_000)}
    assert validation_error(definition(states)) == (
        'transitions to unknown state "missing0" in States.S00000.Next\n  Value: missing0'
    )
    states["T"] = choice()
    assert validation_error(definition(states)) == (
        "Choices array must not be empty in States.T.Choices" + CHOICES
    )
    rules = [br("$", NumericEquals=i) for i in range(10_000)] + [br("$", NumericEquals=9_999)]
    assert validation_error(one(choice(*rules))) == (
        "duplicate branch for NumericEquals(9999) in States.A.Choices[10000]\n"
        "  Value: NumericEquals(9999)" + DUPLICATE
    )


def test_names_are_kept_as_written():
    name = "a\x00\n\u00e9"
    text = json.dumps({"StartAt": "A", "States": {"A": {"Type": "Pass", "Next": name}}})
    assert validation_error(text) == (
        f'transitions to unknown state "{name}" in States.A.Next\n  Value: {name}'
    )


def test_examples_are_valid_except_the_broken_ones():
    examples = Path(__file__).resolve().parents[2] / "examples"
    for path in sorted(examples.glob("*.json")):
        if not path.name.startswith("broken_"):
            assert _pyvorn.validate(path.read_text(encoding="utf-8")) is None, path.name
    assert validation_error((examples / "broken_retry.json").read_text(encoding="utf-8")) == (
        "MaxAttempts must be >= 1, found 0 in States.Fetch.Retry[0].MaxAttempts" + ATTEMPTS
    )
