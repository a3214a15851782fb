"""Rows for the AWS conformance tests: one definition, input and handlers
each, run on a virtual clock, with the outcome AWS gives. `case` builds a
row, `check` runs it and compares everything the row states."""

import datetime
import json

import pytest

from pyvorn import aws

FN = "arn:aws:lambda:us-east-1:123456789012:function:"
INVOKE = "arn:aws:states:::lambda:invoke"
START = "2024-01-01T00:00:00Z"
T0 = datetime.datetime(2024, 1, 1, tzinfo=datetime.timezone.utc)
EXECUTION_ARN = "arn:aws:states:us-east-1:123456789012:execution:M:run"
MACHINE_ARN = "arn:aws:states:us-east-1:123456789012:stateMachine:M"
STARTED = "2024-01-01T00:00:00.000Z"
TOO_BIG = "The state/task '{}' returned a result with a size exceeding the maximum number of bytes service limit."


def prefix(state, entered):
    return f"An error occurred while executing the state '{state}' (entered at the event id #{entered}). "


class _Any:
    def __eq__(self, other):
        return True

    def __repr__(self):
        return "ANY"


ANY = _Any()  # what AWS does not fix: request ids, stack traces, role names


class LambdaError:
    """Lambda's error JSON as a cause: errorMessage, errorType, requestId,
    stackTrace in this order, with ", "/": " separators for a direct Lambda
    ARN and none for lambda:invoke."""

    def __init__(self, type, message, compact=False):
        self.type, self.message, self.compact = type, message, compact

    def __eq__(self, text):
        try:
            body = json.loads(text)
        except (TypeError, ValueError):
            return False
        separators = (",", ":") if self.compact else (", ", ": ")
        return (
            isinstance(body, dict)
            and list(body) == ["errorMessage", "errorType", "requestId", "stackTrace"]
            and (body["errorMessage"], body["errorType"]) == (self.message, self.type)
            and all(isinstance(line, str) for line in body["stackTrace"])
            and text == json.dumps(body, separators=separators)
        )

    def __repr__(self):
        return f"LambdaError({self.type!r}, {self.message!r}, compact={self.compact})"


def shape(value):
    """What == ignores: the member order of every object and whether each
    number is an int or a float (0.0 stays 0.0)."""
    if isinstance(value, dict):
        return [(k, shape(v)) for k, v in value.items()]
    if isinstance(value, list):
        return [shape(v) for v in value]
    if isinstance(value, (_Any, LambdaError)):
        return ANY
    return type(value).__name__


# --- handlers ---------------------------------------------------------------


class CustomException(Exception):
    pass


def echo(event, context):
    return event


def raise_exception(event, context):
    raise Exception("Some exception was raised.")


def raise_custom(event, context):
    raise CustomException()


def raise_numbered(event, context):
    raise Exception(f"attempt {context['attempt']}")


def returns(value):
    return lambda event, context: value


def fails(error, cause=None):
    def handler(event, context):
        raise aws.TaskFailed(error, cause)

    return handler


def fails_in_turn(*errors):
    def handler(event, context):
        raise aws.TaskFailed(errors[context["attempt"]])

    return handler


def takes(seconds, value=None):
    return lambda event, context: aws.Elapsed(seconds, value)


# --- running a row ------------------------------------------------------------


def case(id, states, input={}, *, runner=None, **expect):
    """One row: `states` (the first one is StartAt) run on `input`.
    functions / services: handlers by Lambda function name / by Resource;
    top: machine-level fields. Expected: status (default SUCCEEDED), output,
    error, cause, and optionally events (every event type after
    ExecutionStarted), entered (state names in order), exits ((name, output)
    of every StateExited), calls (handler inputs in order), elapsed (seconds
    on the clock), details ({event type: details of its first event}),
    ordered (also compare the output's member order and number types)."""
    expect.setdefault("status", "SUCCEEDED")
    marks = [pytest.mark.xfail(strict=True, reason=f"runner: {runner}")] if runner else []
    return pytest.param(dict(states=states, input=input, **expect), id=id, marks=marks)


def execute(row):
    calls = []

    def recording(fn):
        def handler(event, context):
            calls.append(event)
            return fn(event, context)

        return handler

    handlers = aws.Handlers()
    for name, fn in row.get("functions", {}).items():
        handlers.lambda_function(name, recording(fn))
    for resource, fn in row.get("services", {}).items():
        handlers.add(resource, recording(fn))
    states = row["states"]
    definition = {"StartAt": next(iter(states)), "States": states, **row.get("top", {})}
    execution = aws.StateMachine(json.dumps(definition), name="M").start_execution(
        row["input"], handlers=handlers, clock=aws.VirtualClock(START), name="run"
    )
    execution.run()
    return execution, calls


def details(event):
    rest = [v for k, v in event.items() if k.endswith("EventDetails")]
    return rest[0] if rest else {}


def check(row):
    execution, calls = execute(row)
    history = execution.history
    assert (execution.status, execution.error, execution.cause) == (
        row["status"], row.get("error"), row.get("cause"))
    if row["status"] == "SUCCEEDED":
        assert execution.output == row["output"]
        if row.get("ordered"):
            assert shape(execution.output) == shape(row["output"])
    else:
        assert execution.output is None
    if row["status"] == "FAILED":
        # An absent error or cause is absent, not null, in the result and the event.
        present = {k: row[k] for k in ("error", "cause") if row.get(k) is not None}
        assert details(history[-1]) == present
        assert {k: v for k, v in execution.describe().items() if k in ("error", "cause")} == present
    # Every event names the one before it; ExecutionStarted and the first entry name none.
    assert [(e["id"], e["previousEventId"]) for e in history] == [
        (i + 1, 0 if i < 2 else i) for i in range(len(history))]
    if "events" in row:
        assert [e["type"] for e in history[1:]] == row["events"]
    if "entered" in row:
        assert [details(e)["name"] for e in history if e["type"].endswith("StateEntered")] == row["entered"]
    if "exits" in row:
        assert [(details(e)["name"], json.loads(details(e)["output"]))
                for e in history if e["type"].endswith("StateExited")] == row["exits"]
    if "calls" in row:
        assert calls == row["calls"]
    if "elapsed" in row:
        assert (history[-1]["timestamp"] - history[0]["timestamp"]).total_seconds() == row["elapsed"]
    for type, expected in row.get("details", {}).items():
        assert details(next(e for e in history if e["type"] == type)) == expected


def task(resource, **fields):
    return {"Type": "Task", "Resource": resource, **fields}


def pass_(**fields):
    return {"Type": "Pass", **fields}


LAMBDA_TASK = ["TaskStateEntered", "LambdaFunctionScheduled", "LambdaFunctionStarted"]
SERVICE_TASK = ["TaskStateEntered", "TaskScheduled", "TaskStarted"]
PASS = ["PassStateEntered", "PassStateExited"]


def wait(**fields):
    return {"Type": "Wait", **fields, "End": True}


def ends(*names):
    return {name: pass_(End=True) for name in names}


def choice_on(operator, operand):
    """One rule on $.Variable, Default false; both ends a literal Result."""
    return {
        "CheckValues": {"Type": "Choice", "Default": "ConditionFalse",
                        "Choices": [{"Variable": "$.Variable", operator: operand, "Next": "ConditionTrue"}]},
        "ConditionTrue": pass_(Result={"TestResult.$": "ConditionTrue"}, End=True),
        "ConditionFalse": pass_(Result={"TestResult.$": "ConditionFalse"}, End=True),
    }


LAMBDA_PARAMETERS = {"FunctionName.$": "$.FunctionName", "Payload.$": "$.Payload"}
EXCEPTION = {"Error": "Exception", "Cause": LambdaError("Exception", "Some exception was raised.")}
EXCEPTION_COMPACT = {"Error": "Exception",
                     "Cause": LambdaError("Exception", "Some exception was raised.", compact=True)}
