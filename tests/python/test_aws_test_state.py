"""StateMachine.test_state: one state run as AWS's TestState API runs it,
answered in TestState's response shape."""

import json

import pytest

from pyvorn import aws

LAMBDA = "arn:aws:lambda:us-east-1:123456789012:function:f"


def machine(states):
    return aws.StateMachine(json.dumps({"StartAt": next(iter(states)), "States": states}), name="M")


def text(value):
    return json.dumps(value, separators=(",", ":"))


IO_INPUT = {
    "initialData": {"fieldFromInput": "value from input", "otherField": "other"},
    "unrelatedData": {"someOtherField": 1234},
}
IO_PASS = {
    "Type": "Pass",
    "InputPath": "$.initialData",
    "Parameters": {"staticValue": "some value", "inputValue.$": "$.fieldFromInput"},
    "ResultPath": "$.modifiedData",
    "Next": "Done",
}
DONE = {"Type": "Succeed"}


def test_debug_shows_each_step_of_the_io_pass_state():
    parameters = {"staticValue": "some value", "inputValue": "value from input"}
    output = text({**IO_INPUT, "modifiedData": parameters})
    assert machine({"S": IO_PASS, "Done": DONE}).test_state("S", IO_INPUT, inspection_level="DEBUG") == {
        "output": output,
        "inspectionData": {
            "input": text(IO_INPUT),
            "afterInputPath": text(IO_INPUT["initialData"]),
            "afterParameters": text(parameters),
            "result": text(parameters),
            "afterResultSelector": text(parameters),
            "afterResultPath": output,
        },
        "nextState": "Done",
        "status": "SUCCEEDED",
    }


def test_a_pass_with_result_never_reaches_its_input_path_or_parameters():
    state = {**IO_PASS, "Result": {"resultKey": "result value"}}
    response = machine({"S": state, "Done": DONE}).test_state("S", IO_INPUT, inspection_level="TRACE")
    assert list(response["inspectionData"]) == ["input", "result", "afterResultSelector", "afterResultPath"]
    assert json.loads(response["output"]) == {**IO_INPUT, "modifiedData": {"resultKey": "result value"}}


@pytest.mark.parametrize(
    "state,input,response",
    [
        (
            {"Type": "Fail", "Error": "SomeFailure", "Cause": "This state machines raises a 'SomeFailure' failure."},
            {"Value": "HelloWorld"},
            {"error": "SomeFailure", "cause": "This state machines raises a 'SomeFailure' failure.", "status": "FAILED"},
        ),
        ({"Type": "Fail"}, {}, {"status": "FAILED"}),
        (
            {"Type": "Choice", "Choices": [{"Variable": "$.n", "NumericEquals": 0.0, "Next": "Done"}]},
            {"n": 0},
            {"output": '{"n":0}', "nextState": "Done", "status": "SUCCEEDED"},
        ),
        ({"Type": "Wait", "Seconds": 86400, "End": True}, [1.0], {"output": "[1.0]", "status": "SUCCEEDED"}),
    ],
)
def test_info_gives_the_outcome_without_inspection_data(state, input, response):
    # A state nothing leads to would refuse the machine.
    states = {"S": state, "Done": DONE} if '"Done"' in json.dumps(state) else {"S": state}
    assert machine(states).test_state("S", input) == response


GUARDED = {
    "Type": "Task",
    "Resource": LAMBDA,
    "Retry": [{"ErrorEquals": ["Flaky"], "IntervalSeconds": 4}, {"ErrorEquals": ["Spent"], "MaxAttempts": 0}],
    "Catch": [{"ErrorEquals": ["Spent"], "ResultPath": "$.error", "Next": "Handled"}],
    "Next": "Done",
}


def failing(error, cause):
    def handler(event, context):
        raise aws.TaskFailed(error, cause)

    return handler


@pytest.mark.parametrize(
    "handler,expected",
    [
        (lambda event, context: {"ok": event}, {"output": '{"ok":{"k":1}}', "nextState": "Done", "status": "SUCCEEDED"}),
        (
            failing("Flaky", "again"),
            {"error": "Flaky", "cause": "again", "status": "RETRIABLE",
             "errorDetails": {"retryIndex": 0, "retryBackoffIntervalSeconds": 4}},
        ),
        (
            failing("Spent", None),
            {"output": '{"k":1,"error":{"Error":"Spent","Cause":null}}', "error": "Spent",
             "nextState": "Handled", "status": "CAUGHT_ERROR", "errorDetails": {"catchIndex": 0}},
        ),
        (failing("Other", "why"), {"error": "Other", "cause": "why", "status": "FAILED"}),
    ],
)
def test_a_task_failure_is_retriable_caught_or_failed(handler, expected):
    handlers = aws.Handlers()
    handlers.lambda_function("f", handler)
    states = {"S": GUARDED, "Done": DONE, "Handled": DONE}
    response = machine(states).test_state("S", {"k": 1}, handlers=handlers, inspection_level="DEBUG")
    inspection = response.pop("inspectionData")
    assert inspection.pop("errorDetails", None) == expected.pop("errorDetails", None)
    assert response == expected
    assert inspection["afterParameters"] == '{"k":1}'
    assert ("result" in inspection) == (response["status"] == "SUCCEEDED")


def test_lambda_code_runs_as_in_an_execution_and_the_seed_fixes_its_request_id():
    seen = []

    def handler(event, context):
        seen.append(dict(context))
        raise ValueError("bad")

    handlers = aws.Handlers()
    handlers.lambda_function("f", handler)
    m = machine({"S": {"Type": "Task", "Resource": LAMBDA, "End": True}})
    first = m.test_state("S", {}, handlers=handlers, seed=3)
    assert (first["status"], first["error"]) == ("FAILED", "ValueError")
    assert json.loads(first["cause"])["errorMessage"] == "bad"
    assert m.test_state("S", {}, handlers=handlers, seed=3) == first
    assert m.test_state("S", {}, handlers=handlers, seed=4)["cause"] != first["cause"]
    assert seen[0]["state_name"] == "S" and seen[0]["attempt"] == 0 and seen[0]["resource"] == LAMBDA


def test_what_is_no_task_failure_reaches_the_caller():
    m = machine({"S": {"Type": "Task", "Resource": "svc", "End": True}})
    with pytest.raises(aws.MissingHandler):
        m.test_state("S", {})

    def interrupted(event, context):
        raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        m.test_state("S", {}, handlers=aws.Handlers(default=interrupted))


@pytest.mark.parametrize(
    "args,kwargs,error,message",
    [
        (("Nope", {}), {}, ValueError, "state_name: the machine 'M' has no state named 'Nope'"),
        (("S", {}), {"inspection_level": "debug"}, ValueError,
         "inspection_level must be \"INFO\", \"DEBUG\" or \"TRACE\", got 'debug'"),
        (("S", {"a": "x" * 262_144}), {}, ValueError,
         "input: larger than the 262144 bytes AWS accepts as an execution's input"),
        (("S",), {}, TypeError, None),
        (("S", {}, None), {}, TypeError, "test_state() takes at most 2 positional arguments"),
        (("S", {}), {"handlers": {}}, TypeError, None),
    ],
)
def test_bad_arguments_are_refused_clearly(args, kwargs, error, message):
    m = machine({"S": {"Type": "Pass", "End": True}})
    with pytest.raises(error) as raised:
        m.test_state(*args, **kwargs)
    if message is not None:
        assert str(raised.value) == message
