"""validate(): the rules a well-formed definition must keep, and which fault wins."""

import json
from pathlib import Path

import pytest

import _pyvorn
from conftest import definition

END = {"End": True}
TASK = {"Type": "Task", "Resource": "svc", "End": True}
PASS = {"Type": "Pass", "End": True}
DONE = {"Type": "Succeed"}

HINT_PATH = '  Hint: Paths must begin with "$" or "$.".'
HINT_TEMPLATE = "  Hint: Parameters and ResultSelector must be JSON objects."
HINT_NO_NEXT = '  Hint: Add either "Next": "<state>" or "End": true.'
HINT_ERROR_EQUALS = "  Hint: ErrorEquals must contain at least one error name."
HINT_DUPLICATE = "  Hint: Each branch must have a unique operator and value combination."
HINT_UNIFORM = "  Hint: Array elements must all have the same structure."
HINT_CHOICES = "  Hint: Add at least one choice rule."
HINT_VARIABLE = '  Hint: Variable must begin with "$" or "$.".'


def validation_error(text):
    with pytest.raises(_pyvorn.ValidationError) as info:
        _pyvorn.validate(text)
    assert type(info.value) is _pyvorn.ValidationError
    assert len(info.value.args) == 1
    return str(info.value)


def lines(*parts):
    return "\n".join(parts)


def one(state, **extra):
    """A definition whose only state "A" is `state`, plus the terminal state "Z"."""
    return definition({"A": {**state, **extra}, "Z": DONE}, start_at="A")


def choice(*rules, **extra):
    return {"Type": "Choice", "Choices": [{"Next": "Z", **rule} for rule in rules], **extra}


def branch(variable, **comparison):
    return {"Variable": variable, **comparison}


def retry(**fields):
    return {**TASK, "Retry": [{"ErrorEquals": ["E"], **fields}]}


# One violating definition per rule, with the whole message it gets.
RULES = {
    "empty states": (
        definition({}, start_at="A"),
        lines(
            "states must not be empty at root",
            "  Hint: Add at least one state to the States object.",
        ),
    ),
    "unknown StartAt": (
        definition({"A": DONE}, start_at="Go"),
        lines(
            'StartAt references unknown state "Go" in StartAt',
            "  Value: Go",
            "  Hint: StartAt must reference a state defined in States.",
        ),
    ),
    "empty resource": (
        one(TASK, Resource=""),
        lines(
            "resource must be non-empty in States.A.Resource",
            '  Value: ""',
            "  Hint: Resource must be a non-empty string identifying the handler.",
        ),
    ),
    "task with Next and End": (
        one(TASK, Next="Z"),
        lines(
            "must not specify both Next and End in States.A", "  Hint: Remove either Next or End."
        ),
    ),
    "pass with neither Next nor End": (
        one({"Type": "Pass"}),
        lines("must specify either Next or End in States.A", HINT_NO_NEXT),
    ),
    "End false counts as no End": (
        one({"Type": "Task", "Resource": "svc", "End": False}),
        lines("must specify either Next or End in States.A", HINT_NO_NEXT),
    ),
    "InputPath": (
        one(TASK, InputPath="$$.x"),
        lines('invalid path "$$.x" in States.A.InputPath', "  Value: $$.x", HINT_PATH),
    ),
    "OutputPath": (
        one(PASS, OutputPath="$[0]"),
        lines('invalid path "$[0]" in States.A.OutputPath', "  Value: $[0]", HINT_PATH),
    ),
    "ResultPath": (
        one(PASS, ResultPath="x"),
        lines('invalid path "x" in States.A.ResultPath', "  Value: x", HINT_PATH),
    ),
    "task Parameters": (
        one(TASK, Parameters=[1]),
        lines("template must be a JSON object in States.A.Parameters", HINT_TEMPLATE),
    ),
    "ResultSelector": (
        one(TASK, ResultSelector={"a.$": 5}),
        lines(
            'invalid template reference key "a.$" in States.A.ResultSelector.a.$:'
            " value must be a string (JSONPath)",
            '  Hint: Template reference keys (ending in ".$") must have string values.',
        ),
    ),
    "pass Parameters": (
        one(PASS, Parameters={"a": 1, "a.$": "$.x"}),
        lines(
            'template has conflicting keys "a" and "a.$" in States.A.Parameters',
            "  Value: a.$",
            '  Hint: A template cannot have both "key" and "key.$".',
        ),
    ),
    "empty Choices": (
        one({"Type": "Choice", "Choices": []}),
        lines("Choices array must not be empty in States.A.Choices", HINT_CHOICES),
    ),
    "task Next": (
        one({"Type": "Task", "Resource": "svc", "Next": "Nope"}),
        lines('transitions to unknown state "Nope" in States.A.Next', "  Value: Nope"),
    ),
    "pass Next": (
        one({"Type": "Pass", "Next": "z"}),
        lines('transitions to unknown state "z" in States.A.Next', "  Value: z"),
    ),
    "branch Next": (
        one(choice(branch("$", BooleanEquals=True), branch("$", BooleanEquals=False, Next="Y"))),
        lines('transitions to unknown state "Y" in States.A.Choices[1].Next', "  Value: Y"),
    ),
    "Default": (
        one(choice({"Variable": "$", "BooleanEquals": True}, Default="")),
        lines('transitions to unknown state "" in States.A.Default', "  Value: "),
    ),
    "Variable": (
        one(choice(branch("$.a", NumericEquals=1), branch("$$.x", NumericEquals=2))),
        lines(
            'invalid variable "$$.x" in States.A.Choices[1].Variable',
            "  Value: $$.x",
            HINT_VARIABLE,
        ),
    ),
    "duplicate NumericEquals on other variables": (
        one(choice(branch("$.a", NumericEquals=-7), branch("$.b", NumericEquals=-7))),
        lines(
            "duplicate branch for NumericEquals(-7) in States.A.Choices[1]",
            "  Value: NumericEquals(-7)",
            HINT_DUPLICATE,
        ),
    ),
    "duplicate StringEquals, not escaped": (
        one(
            choice(
                branch("$", StringEquals='say "hi"'),
                branch("$", StringEquals="say"),
                branch("$.b", StringEquals='say "hi"'),
            )
        ),
        lines(
            'duplicate branch for StringEquals("say "hi"") in States.A.Choices[2]',
            '  Value: StringEquals("say "hi"")',
            HINT_DUPLICATE,
        ),
    ),
    "duplicate BooleanEquals": (
        one(choice(branch("$", BooleanEquals=False), branch("$", BooleanEquals=False))),
        lines(
            "duplicate branch for BooleanEquals(false) in States.A.Choices[1]",
            "  Value: BooleanEquals(false)",
            HINT_DUPLICATE,
        ),
    ),
    "Retry ErrorEquals": (
        one({**TASK, "Retry": [{"ErrorEquals": ["E"]}, {"ErrorEquals": []}]}),
        lines(
            "ErrorEquals must not be empty in States.A.Retry[1].ErrorEquals",
            "  Value: []",
            HINT_ERROR_EQUALS,
        ),
    ),
    "MaxAttempts": (
        one(retry(MaxAttempts=0)),
        lines(
            "MaxAttempts must be >= 1, found 0 in States.A.Retry[0].MaxAttempts",
            "  Value: 0",
            "  Hint: MaxAttempts must be at least 1.",
        ),
    ),
    "BackoffRate": (
        one(retry(BackoffRate=0.5)),
        lines(
            "BackoffRate must be >= 1.0, found 0.5 in States.A.Retry[0].BackoffRate",
            "  Value: 0.5",
            "  Hint: BackoffRate must be at least 1.0.",
        ),
    ),
    "BackoffRate narrowed to 32 bits": (
        one(retry(BackoffRate=1 / 3)),
        lines(
            "BackoffRate must be >= 1.0, found 0.33333334 in States.A.Retry[0].BackoffRate",
            "  Value: 0.33333334",
            "  Hint: BackoffRate must be at least 1.0.",
        ),
    ),
    "Catch ErrorEquals": (
        one({**TASK, "Catch": [{"ErrorEquals": [], "Next": "Z"}]}),
        lines(
            "ErrorEquals must not be empty in States.A.Catch[0].ErrorEquals",
            "  Value: []",
            HINT_ERROR_EQUALS,
        ),
    ),
    "Catch Next": (
        one(TASK, Catch=[{"ErrorEquals": ["*"], "Next": "Z"}, {"ErrorEquals": ["*"], "Next": "?"}]),
        lines('transitions to unknown state "?" in States.A.Catch[1].Next', "  Value: ?"),
    ),
    "Result": (
        one(PASS, Result={"xs": [1, 2.0]}),
        lines("array elements must have uniform types in States.A.Result", HINT_UNIFORM),
    ),
    "Parameters as data": (
        one(PASS, Parameters={"a.$": "$.x", "rows": [{"a": 1}, {"b": 1}]}),
        lines("array elements must have uniform types in States.A.Parameters", HINT_UNIFORM),
    ),
}


@pytest.mark.parametrize("text,message", RULES.values(), ids=RULES.keys())
def test_each_rule(text, message):
    assert validation_error(text) == message


ACCEPTED = {
    "blank resource": one(TASK, Resource=" "),
    "paths": one(TASK, InputPath="$", OutputPath="$.a", ResultPath="$.b[0]"),
    "null ResultPath": one(PASS, ResultPath=None),
    "nested reference keys are data": one(TASK, Parameters={"x": {"a.$": 5}}, ResultSelector={}),
    "uniform data": one(PASS, Result=[[], []], Parameters={"a.$": "$", "r": [{"k": 1}, {"k": 2}]}),
    "Variable $": one(choice(branch("$", NumericEquals=1), branch("$", StringEquals="1"))),
    "retry limits at their edge": one(retry(BackoffRate=1.0, MaxAttempts=1, IntervalSeconds=0)),
    # The rate is checked as the 32-bit float it becomes, which rounds this one to 1.
    "BackoffRate rounding up to 1": one(retry(BackoffRate=0.99999999)),
    "Succeed and Fail need nothing": definition({"A": DONE, "B": {"Type": "Fail"}}),
}


@pytest.mark.parametrize("text", ACCEPTED.values(), ids=ACCEPTED.keys())
def test_accepted(text):
    assert _pyvorn.validate(text) is None


CATCH_NOWHERE = [{"ErrorEquals": ["*"], "Next": "?"}]

# Which fault is reported when several are present.
ORDER = {
    "every state's fields before any transition": (
        definition({"A": {"Type": "Pass", "Next": "Nope"}, "Z": {"Type": "Choice", "Choices": []}}),
        lines("Choices array must not be empty in States.Z.Choices", HINT_CHOICES),
    ),
    "the first state in byte order": (
        definition(
            {"b": {"Type": "Pass"}, "a": {**PASS, "Next": "b"}, "B": {**TASK, "Resource": ""}}
        ),
        lines(
            "resource must be non-empty in States.B.Resource",
            '  Value: ""',
            "  Hint: Resource must be a non-empty string identifying the handler.",
        ),
    ),
    "a task's fields in their order": (
        one({"Type": "Task", "Resource": "svc", "InputPath": "x", "Parameters": 1}),
        lines("must specify either Next or End in States.A", HINT_NO_NEXT),
    ),
    "paths before templates": (
        one(TASK, ResultSelector=1, ResultPath="r"),
        lines('invalid path "r" in States.A.ResultPath', "  Value: r", HINT_PATH),
    ),
    "Next before Default": (
        one(choice(branch("$", NumericEquals=1, Next="X"), Default="Y")),
        lines('transitions to unknown state "X" in States.A.Choices[0].Next', "  Value: X"),
    ),
    "transitions before branches": (
        definition({"A": choice(branch("x", NumericEquals=1)), "Z": {"Type": "Pass", "Next": "Q"}}),
        lines('transitions to unknown state "Q" in States.Z.Next', "  Value: Q"),
    ),
    "a branch's variable before its description": (
        one(choice(branch("$", NumericEquals=1), branch("x", NumericEquals=1))),
        lines('invalid variable "x" in States.A.Choices[1].Variable', "  Value: x", HINT_VARIABLE),
    ),
    "branches before retries": (
        definition({"A": retry(MaxAttempts=0), "Z": choice(branch("$a", NumericEquals=1))}),
        lines(
            'invalid variable "$a" in States.Z.Choices[0].Variable', "  Value: $a", HINT_VARIABLE
        ),
    ),
    "Retry before Catch": (
        one({**retry(BackoffRate=0), "Catch": [{"ErrorEquals": [], "Next": "Nope"}]}),
        lines(
            "BackoffRate must be >= 1.0, found 0 in States.A.Retry[0].BackoffRate",
            "  Value: 0",
            "  Hint: BackoffRate must be at least 1.0.",
        ),
    ),
    "ErrorEquals before MaxAttempts": (
        one({**TASK, "Retry": [{"ErrorEquals": [], "MaxAttempts": 0}]}),
        lines(
            "ErrorEquals must not be empty in States.A.Retry[0].ErrorEquals",
            "  Value: []",
            HINT_ERROR_EQUALS,
        ),
    ),
    "EmptyErrorEquals before TransitionNotFound in a Catch": (
        one({**TASK, "Catch": [{"ErrorEquals": [], "Next": "Nope"}]}),
        lines(
            "ErrorEquals must not be empty in States.A.Catch[0].ErrorEquals",
            "  Value: []",
            HINT_ERROR_EQUALS,
        ),
    ),
    "one state's Catch before the next state's Retry": (
        definition({"A": {**TASK, "Catch": CATCH_NOWHERE}, "B": retry(MaxAttempts=0)}),
        lines('transitions to unknown state "?" in States.A.Catch[0].Next', "  Value: ?"),
    ),
    "retries before static data": (
        definition({"A": {**PASS, "Result": [1, "x"]}, "B": retry(MaxAttempts=0)}),
        lines(
            "MaxAttempts must be >= 1, found 0 in States.B.Retry[0].MaxAttempts",
            "  Value: 0",
            "  Hint: MaxAttempts must be at least 1.",
        ),
    ),
    "Result before Parameters": (
        one(PASS, Result=[[1], ["x"]], Parameters={"a": [1, None]}),
        lines("array elements must have uniform types in States.A.Result", HINT_UNIFORM),
    ),
    "StartAt before any state": (
        definition({"A": {"Type": "Pass"}}, start_at="B"),
        lines(
            'StartAt references unknown state "B" in StartAt',
            "  Value: B",
            "  Hint: StartAt must reference a state defined in States.",
        ),
    ),
}


@pytest.mark.parametrize("text,message", ORDER.values(), ids=ORDER.keys())
def test_first_fault_wins(text, message):
    assert validation_error(text) == message


def test_parse_errors_win_over_validation():
    with pytest.raises(_pyvorn.ParseError) as info:
        _pyvorn.validate('{"StartAt":"A","States":{"A":{"Type":"Pass","Next":"A","End":1}}}')
    assert str(info.value) == 'invalid field "End" in States.A.End: expected boolean'


class TestBadInput:
    """Deep and wide definitions: linear work, and still the first fault in order."""

    def test_result_nested_120_levels(self):
        deep = "[" * 120 + "1" + "]" * 120
        text = '{"StartAt":"A","States":{"A":{"Type":"Pass","End":true,"Result":%s}}}'
        assert _pyvorn.validate(text % deep) is None
        broken = "[" * 120 + "1" + "]" * 119 + ',["x"]]'
        assert validation_error(text % broken) == lines(
            "array elements must have uniform types in States.A.Result", HINT_UNIFORM
        )

    def test_arrays_of_100_000_elements(self):
        rows = [{"id": i, "tags": ["t"]} for i in range(100_000)]
        assert _pyvorn.validate(one(PASS, Result=rows, Parameters={"rows": rows})) is None
        rows[-1] = {"id": 0, "tags": []}
        text = one(PASS, Result=list(range(100_000)), Parameters={"rows": rows})
        assert validation_error(text) == lines(
            "array elements must have uniform types in States.A.Parameters", HINT_UNIFORM
        )

    def test_ten_thousand_broken_states(self):
        states = {f"S{i:05d}": {"Type": "Pass", "Next": f"missing{i}"} for i in range(10_000)}
        assert validation_error(definition(states)) == lines(
            'transitions to unknown state "missing0" in States.S00000.Next', "  Value: missing0"
        )
        states["T"] = {"Type": "Choice", "Choices": []}
        assert validation_error(definition(states)) == lines(
            "Choices array must not be empty in States.T.Choices", HINT_CHOICES
        )

    def test_ten_thousand_branches_and_template_keys(self):
        rules = [branch(f"$.v{i}", NumericEquals=i) for i in range(10_000)]
        rules.append(branch("$.w", NumericEquals=9_999))
        assert validation_error(one(choice(*rules))) == lines(
            "duplicate branch for NumericEquals(9999) in States.A.Choices[10000]",
            "  Value: NumericEquals(9999)",
            HINT_DUPLICATE,
        )
        template = {f"k{i}.$": f"$.v{i}" for i in range(10_000)}
        template["k9999"] = 0
        assert validation_error(one(TASK, Parameters=template)) == lines(
            'template has conflicting keys "k9999" and "k9999.$" in States.A.Parameters',
            "  Value: k9999.$",
            '  Hint: A template cannot have both "key" and "key.$".',
        )

    def test_messages_keep_odd_characters(self):
        name = "a\x00\n\u00e9"
        text = json.dumps({"StartAt": "A", "States": {"A": {"Type": "Pass", "Next": name}}})
        assert validation_error(text) == lines(
            f'transitions to unknown state "{name}" in States.A.Next', f"  Value: {name}"
        )


EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


def test_examples_are_valid_except_the_broken_ones():
    names = sorted(path.name for path in EXAMPLES.glob("*.json"))
    for name in names:
        if not name.startswith("broken_"):
            assert _pyvorn.validate((EXAMPLES / name).read_text(encoding="utf-8")) is None, name
    assert validation_error((EXAMPLES / "broken_retry.json").read_text(encoding="utf-8")) == lines(
        "MaxAttempts must be >= 1, found 0 in States.Fetch.Retry[0].MaxAttempts",
        "  Value: 0",
        "  Hint: MaxAttempts must be at least 1.",
    )
