"""pyvorn.aws executions: Task handlers, errors, retries and catchers, the
virtual clock, histories and the Python surface, as AWS Step Functions
behaves on the same definitions."""

import json

import pytest

from pyvorn import aws

LAMBDA = "arn:aws:lambda:us-east-1:123456789012:function:{}"
INVOKE = "arn:aws:states:::lambda:invoke"
START = "2024-01-01T00:00:00Z"


def machine(states, start_at=None, **top):
    definition = {"StartAt": start_at or next(iter(states)), "States": states, **top}
    return aws.StateMachine(json.dumps(definition), name="M")


def task(resource, **fields):
    return {"Type": "Task", "Resource": resource, **fields}


def run(states, input, handlers=None, **start):
    execution = machine(states).start_execution(
        input, handlers=handlers, clock=aws.VirtualClock(START), **start
    )
    execution.run()
    return execution


def lambdas(**functions):
    handlers = aws.Handlers()
    for name, fn in functions.items():
        handlers.lambda_function(name, fn)
    return handlers


def types(execution):
    return [event["type"] for event in execution.history]


class CustomException(Exception):
    pass


def raise_exception(event, context):
    raise Exception("Some exception was raised.")


def raise_custom(event, context):
    raise CustomException()


# --- Task results and failures -------------------------------------------


@pytest.mark.parametrize("value", [None, "HelloWorld", 0.0, True, [], {"a": [1, 2.5, 2**80]}])
def test_an_echo_task_gives_back_any_json_value_as_written(value):
    execution = run({"T": task(LAMBDA.format("echo"), End=True)}, value, lambdas(echo=lambda e, c: e))
    assert execution.status == "SUCCEEDED"
    assert execution.output == value and type(execution.output) is type(value)
    assert execution.describe()["output"] == json.dumps(value, separators=(",", ":"))


@pytest.mark.parametrize(
    "resource,fn,error,message,separators",
    [
        (LAMBDA.format("f"), raise_exception, "Exception", "Some exception was raised.", (", ", ": ")),
        (LAMBDA.format("f"), raise_custom, "CustomException", "", (", ", ": ")),
        (INVOKE, raise_exception, "Exception", "Some exception was raised.", (",", ":")),
        (INVOKE, raise_custom, "CustomException", "", (",", ":")),
    ],
)
def test_lambda_code_that_raises_fails_with_lambdas_error_json(resource, fn, error, message, separators):
    # Only catcher is Lambda.Unknown: a raised exception is never reported
    # under that name, so the execution fails.
    states = {
        "T": task(resource, Parameters={"FunctionName": "f", "Payload": None}, End=True,
                  Catch=[{"ErrorEquals": ["Lambda.Unknown"], "Next": "Caught"}]),
        "Caught": {"Type": "Pass", "End": True},
    }
    execution = run(states, {}, lambdas(f=fn))
    assert (execution.status, execution.error) == ("FAILED", error)
    cause = json.loads(execution.cause)
    assert list(cause) == ["errorMessage", "errorType", "requestId", "stackTrace"]
    assert (cause["errorMessage"], cause["errorType"]) == (message, error)
    assert execution.cause == json.dumps(cause, separators=separators)
    assert cause["stackTrace"][-1].startswith('  File "') and "in " in cause["stackTrace"][-1]


@pytest.mark.parametrize(
    "raised,error_output",
    [
        (aws.TaskFailed("Orders.Rejected", "out of stock"), {"Error": "Orders.Rejected", "Cause": "out of stock"}),
        (aws.TaskFailed(None, None), {"Error": None, "Cause": None}),
        (aws.TaskFailed("OnlyError"), {"Error": "OnlyError", "Cause": None}),
    ],
)
def test_task_failed_gives_its_error_and_cause_verbatim(raised, error_output):
    def fail(event, context):
        raise raised

    handlers = aws.Handlers()
    handlers.add("svc", fail)
    states = {
        "T": task("svc", Catch=[{"ErrorEquals": ["States.ALL"], "ResultPath": "$.e", "Next": "Done"}], End=True),
        "Done": {"Type": "Succeed"},
    }
    execution = run(states, {"k": 1}, handlers)
    assert execution.output == {"k": 1, "e": error_output}
    uncaught = run({"T": task("svc", End=True)}, {}, handlers)
    assert (uncaught.error, uncaught.cause) == (raised.error, raised.cause)
    failed = [e for e in uncaught.history if e["type"] == "ExecutionFailed"][0]
    details = {k: v for k, v in (("error", raised.error), ("cause", raised.cause)) if v is not None}
    assert failed["executionFailedEventDetails"] == details


def test_lambda_invoke_answers_the_invoke_response_around_the_functions_result():
    states = {"T": task(INVOKE, Parameters={"FunctionName": LAMBDA.format("greet") + ":live", "Payload.$": "$"},
                        ResultSelector={"body.$": "$.Payload", "code.$": "$.StatusCode"}, End=True)}
    execution = run(states, {"who": "ann"}, lambdas(greet=lambda e, c: {"hello": e["who"]}))
    assert execution.output == {"body": {"hello": "ann"}, "code": 200}
    response = json.loads([e for e in execution.history if e["type"] == "TaskSucceeded"][0][
        "taskSucceededEventDetails"]["output"])
    assert list(response) == ["ExecutedVersion", "Payload", "SdkHttpMetadata", "SdkResponseMetadata", "StatusCode"]
    assert response["SdkHttpMetadata"]["HttpStatusCode"] == 200


def test_handlers_are_found_by_resource_then_function_then_default():
    seen = []

    def tag(name):
        return lambda event, context: seen.append((name, context["resource"])) or event

    handlers = aws.Handlers(default=tag("default"))
    handlers.add(LAMBDA.format("exact"), tag("exact text"))
    handlers.lambda_function("exact", tag("by function"))
    handlers.lambda_function("other", tag("by function"))
    states = {
        "A": task(LAMBDA.format("exact"), Next="B"),
        "B": task("arn:aws:lambda:eu-west-1:210987654321:function:other:7", Next="C"),
        "C": task("arn:aws:states:::sqs:sendMessage", End=True),
    }
    assert run(states, {}, handlers).status == "SUCCEEDED"
    assert [name for name, _ in seen] == ["exact text", "by function", "default"]


def test_a_missing_handler_stops_the_run_and_the_run_goes_on_once_added():
    handlers = aws.Handlers()
    execution = machine({"T": task(LAMBDA.format("late"), End=True)}).start_execution({"n": 1}, handlers=handlers)
    with pytest.raises(aws.MissingHandler) as raised:
        execution.run()
    assert raised.value.resource == LAMBDA.format("late")
    assert execution.status == "RUNNING"
    handlers.lambda_function("late", lambda e, c: e["n"] + 1)
    assert execution.run() == "SUCCEEDED" and execution.output == 2
    # The attempt was scheduled once: the handler-less try left no trace.
    assert types(execution).count("LambdaFunctionScheduled") == 1


@pytest.mark.parametrize(
    "resource,result,expected",
    [
        (LAMBDA.format("f"), {1, 2}, ("FAILED", "Runtime.MarshalError")),
        ("svc", {1, 2}, TypeError),
        ("svc", float("nan"), ValueError),
    ],
)
def test_a_result_json_cannot_hold(resource, result, expected):
    handlers = aws.Handlers(default=lambda e, c: result)
    handlers.lambda_function("f", lambda e, c: result)
    execution = machine({"T": task(resource, End=True)}).start_execution({}, handlers=handlers)
    if isinstance(expected, tuple):
        execution.run()
        assert (execution.status, execution.error) == expected
        assert json.loads(execution.cause)["errorMessage"].startswith("Unable to marshal response: ")
    else:
        with pytest.raises(expected):
            execution.run()
        assert execution.status == "RUNNING"


def test_an_interrupt_in_a_handler_reaches_the_caller_and_loses_nothing():
    calls = []

    def interrupted(event, context):
        calls.append(context["attempt"])
        if len(calls) == 1:
            raise KeyboardInterrupt
        return "done"

    execution = machine({"T": task("svc", End=True)}).start_execution({}, handlers=aws.Handlers(default=interrupted))
    with pytest.raises(KeyboardInterrupt):
        execution.run()
    assert execution.run() == "SUCCEEDED" and calls == [0, 0]


def test_a_handler_sees_its_context_and_may_keep_it():
    kept = []
    handlers = aws.Handlers(default=lambda e, c: kept.append(c))
    states = {
        "A": task("svc", Retry=[{"ErrorEquals": ["States.ALL"]}], Next="B"),
        "B": task("arn:aws:states:::sqs:sendMessage.waitForTaskToken", End=True),
    }
    flaky = iter([aws.TaskFailed("Flaky"), None])

    def first(event, context):
        kept.append(context)
        outcome = next(flaky)
        if outcome:
            raise outcome

    handlers.add("svc", first)
    execution = machine(states).start_execution({}, handlers=handlers, name="run-1")
    execution.run()
    assert [(c["state_name"], c["attempt"], c["execution_name"], c["resource"]) for c in kept] == [
        ("A", 0, "run-1", "svc"),
        ("A", 1, "run-1", "svc"),
        ("B", 0, "run-1", "arn:aws:states:::sqs:sendMessage.waitForTaskToken"),
    ]
    assert kept[0]["task_token"] is None and len(kept[2]["task_token"]) == 36


def test_a_handler_that_reenters_its_execution_fails_its_task_instead_of_corrupting_it():
    holder = {}
    execution = machine({"T": task("svc", End=True)}).start_execution(
        {}, handlers=aws.Handlers(default=lambda e, c: holder["execution"].run())
    )
    holder["execution"] = execution
    assert execution.run() == "FAILED"
    assert execution.error == "RuntimeError"
    assert json.loads(execution.cause)["errorMessage"] == "Already borrowed"


# --- time -----------------------------------------------------------------


def test_waits_retries_and_timeouts_move_the_virtual_clock_only():
    states = {
        "Wait": {"Type": "Wait", "Seconds": 86400, "Next": "Slow"},
        "Slow": task("svc", TimeoutSeconds=5, Retry=[{"ErrorEquals": ["States.Timeout"], "IntervalSeconds": 10,
                                                      "MaxAttempts": 1}],
                     Catch=[{"ErrorEquals": ["States.Timeout"], "ResultPath": "$.error", "Next": "Done"}], End=True),
        "Done": {"Type": "Pass", "End": True},
    }
    execution = run(states, {}, aws.Handlers(default=lambda e, c: aws.Elapsed(60, "late")))
    assert execution.output == {"error": {"Error": "States.Timeout", "Cause": ""}}
    assert types(execution).count("TaskTimedOut") == 2
    # A day of waiting, then two attempts cut at 5 s with 10 s between.
    assert (execution.history[-1]["timestamp"] - execution.history[0]["timestamp"]).total_seconds() == 86400 + 20
    assert execution.clock.now == execution.history[-1]["timestamp"]


def test_an_uncaught_task_timeout_has_no_cause_and_a_machine_timeout_neither_error():
    execution = run({"T": task("svc", TimeoutSeconds=1, End=True)}, {}, aws.Handlers(default=lambda e, c: aws.Elapsed(2)))
    assert (execution.status, execution.error, execution.cause) == ("FAILED", "States.Timeout", None)
    timed_out = machine({"W": {"Type": "Wait", "Seconds": 60, "End": True}}, TimeoutSeconds=5)
    execution = timed_out.start_execution(clock=aws.VirtualClock(START))
    assert execution.run() == "TIMED_OUT"
    assert (execution.error, execution.cause, execution.output) == (None, None, None)
    assert json.loads(execution.describe()["input"]) == {}
    assert types(execution)[-1] == "ExecutionTimedOut"


def test_a_real_clock_wait_lets_other_threads_run():
    import threading

    beats = []
    stop = threading.Event()

    def beat():
        while not stop.is_set():
            beats.append(1)
            stop.wait(0.05)

    thread = threading.Thread(target=beat)
    execution = machine({"W": {"Type": "Wait", "Seconds": 1, "End": True}}).start_execution({}, clock="real")
    before = len(beats)
    thread.start()
    try:
        assert execution.run() == "SUCCEEDED"
        during = len(beats) - before
    finally:
        stop.set()
        thread.join()
    assert execution.clock is None
    assert during > 2  # the thread was not held off for the whole second


# --- the execution's surface --------------------------------------------


def test_the_same_seed_gives_the_same_history_and_a_new_seed_a_new_one():
    states = {"T": task(INVOKE, Parameters={"FunctionName": "f", "Payload": {}}, End=True)}
    handlers = lambdas(f=raise_exception)

    def history(seed):
        execution = run(states, {}, handlers, seed=seed)
        return execution.name, [{k: v for k, v in e.items()} for e in execution.history]

    assert history(3) == history(3)
    assert history(3)[0] != history(4)[0]
    assert history(3)[1][-1] != history(4)[1][-1]  # the request id in the cause


def test_run_step_stop_and_describe():
    states = {"A": {"Type": "Pass", "Next": "B"}, "B": {"Type": "Pass", "Next": "C"}, "C": {"Type": "Succeed"}}
    execution = machine(states).start_execution({"x": 1}, name="steps", clock=aws.VirtualClock(START))
    assert [e["type"] for e in execution.history] == ["ExecutionStarted"]
    assert [e["type"] for e in execution.step()] == ["PassStateEntered", "PassStateExited"]
    assert execution.run(max_steps=1) == "RUNNING" and execution.states_entered == 2
    assert execution.stop("Operator", "enough") == "ABORTED"
    assert (execution.error, execution.cause) == ("Operator", "enough")
    assert execution.step() == [] and execution.run() == "ABORTED"
    described = execution.describe()
    assert described == {
        "executionArn": "arn:aws:states:us-east-1:123456789012:execution:M:steps",
        "stateMachineArn": "arn:aws:states:us-east-1:123456789012:stateMachine:M",
        "name": "steps",
        "status": "ABORTED",
        "startDate": execution.history[0]["timestamp"],
        "stopDate": execution.history[-1]["timestamp"],
        "input": '{"x":1}',
        "inputDetails": {"included": True},
        "error": "Operator",
        "cause": "enough",
    }


@pytest.mark.parametrize(
    "kwargs,error,message",
    [
        ({"input": {1: "a"}}, TypeError, "input: keys must be str, not int"),
        ({"input": {"s": {1}}}, TypeError, "input: Object of type set is not JSON serializable"),
        ({"input": [float("inf")]}, ValueError, "input: Out of range float values are not JSON compliant: inf"),
        ({"input": "x" * 262_143}, ValueError,
         "input: larger than the 262144 bytes AWS accepts as an execution's input"),
        ({"name": "has space"}, ValueError, "Invalid Name: 'has space'"),
        ({"seed": -1}, ValueError, "seed must be between 0 and 2**64 - 1"),
        ({"seed": 2**64}, ValueError, "seed must be between 0 and 2**64 - 1"),
        ({"clock": "wall"}, TypeError, "argument 'clock': expected None, a VirtualClock or \"real\", got 'str'"),
        ({"handlers": {"svc": print}}, TypeError,
         "argument 'handlers': 'dict' object cannot be converted to 'Handlers'"),
    ],
)
def test_start_execution_refuses_bad_arguments_clearly(kwargs, error, message):
    with pytest.raises(error) as raised:
        machine({"A": {"Type": "Pass", "End": True}}).start_execution(**kwargs)
    assert str(raised.value) == message


def test_input_nested_too_deeply_is_refused_not_crashed():
    nested = []
    for _ in range(2000):
        nested = [nested]
    with pytest.raises(ValueError, match="nested deeper than 1000 levels"):
        machine({"A": {"Type": "Pass", "End": True}}).start_execution(nested)


@pytest.mark.parametrize(
    "states",
    [
        {"M": {"Type": "Map", "ItemProcessor": {"StartAt": "I", "States": {"I": {"Type": "Succeed"}}}, "End": True}},
        {"P": {"Type": "Pass", "Assign": {"x": 1}, "Next": "Q"},
         "Q": {"Type": "Pass", "Parameters": {"v.$": "$x"}, "End": True}},
    ],
    ids=["map", "variables"],
)
def test_what_cannot_run_yet_is_refused_at_start_with_unsupported_feature(states):
    with pytest.raises(aws.DefinitionError) as raised:
        machine(states).start_execution({})
    assert {d["code"] for d in raised.value.diagnostics} == {"UNSUPPORTED_FEATURE"}


def test_history_events_have_the_apis_shape():
    execution = run({"T": task(LAMBDA.format("f"), End=True)}, {"a": 1}, lambdas(f=lambda e, c: e))
    first, entered = execution.history[0], execution.history[1]
    assert list(first) == ["timestamp", "type", "id", "previousEventId", "executionStartedEventDetails"]
    assert first["timestamp"].isoformat() == "2024-01-01T00:00:00+00:00"
    assert entered["stateEnteredEventDetails"] == {"name": "T", "input": '{"a":1}', "inputDetails": {"truncated": False}}
    assert [(e["id"], e["previousEventId"]) for e in execution.history] == [
        (1, 0), (2, 0), (3, 2), (4, 3), (5, 4), (6, 5), (7, 6)]


def test_an_output_nested_deeper_than_python_reads_is_a_recursion_error_not_a_crash():
    # Each state wraps its input once: 1 500 levels, well within the payload
    # limit, deeper than the interpreter's recursion limit.
    states = {f"P{i}": {"Type": "Pass", "Parameters": {"i.$": "$"}, "Next": f"P{i + 1}"} for i in range(1500)}
    states["P1500"] = {"Type": "Succeed"}
    execution = machine(states, start_at="P0").start_execution({})
    assert execution.run() == "SUCCEEDED"
    with pytest.raises(RecursionError):
        execution.output
    assert execution.describe()["output"].startswith('{"i":{"i":')


# --- callbacks --------------------------------------------------------------

CALLBACK = "arn:aws:states:::sqs:sendMessage.waitForTaskToken"


def awaiting(states, input=None, response=None):
    tokens = []

    def submit(event, context):
        tokens.append(context["task_token"])
        return aws.Pending(response)

    execution = run(states, input if input is not None else {}, aws.Handlers(default=submit))
    return execution, tokens


def test_a_callback_task_waits_for_send_task_success():
    execution, tokens = awaiting({"T": task(CALLBACK, ResultPath="$.reply", End=True)}, {"id": 1}, {"MessageId": "m-1"})
    assert execution.status == "RUNNING" and execution.run() == "RUNNING"
    assert execution.pending_task == {"state_name": "T", "task_token": tokens[0], "resource": CALLBACK,
                                      "times_out_at": None}
    assert execution.send_task_success(tokens[0], {"approved": True}) is None
    assert execution.run() == "SUCCEEDED"
    assert execution.output == {"id": 1, "reply": {"approved": True}}
    assert types(execution)[2:6] == ["TaskScheduled", "TaskStarted", "TaskSubmitted", "TaskSucceeded"]
    submitted = execution.history[4]["taskSubmittedEventDetails"]
    assert json.loads(submitted["output"]) == {"MessageId": "m-1"}
    with pytest.raises(aws.TaskDoesNotExist):
        execution.send_task_success(tokens[0], {})


def test_a_callback_failure_without_error_or_cause_reaches_the_catcher_as_nulls():
    states = {"T": task(CALLBACK, Catch=[{"ErrorEquals": ["States.ALL"], "Next": "Done"}], End=True),
              "Done": {"Type": "Pass", "End": True}}
    execution, tokens = awaiting(states)
    execution.send_task_failure(tokens[0])
    assert execution.run() == "SUCCEEDED"
    assert execution.output == {"Error": None, "Cause": None}


def test_heartbeats_keep_a_callback_alive_until_one_is_missed():
    execution, tokens = awaiting({"T": task(CALLBACK, HeartbeatSeconds=10, End=True)})
    start = execution.clock.now
    assert (execution.pending_task["times_out_at"] - start).total_seconds() == 10
    execution.clock.advance(8)
    execution.send_task_heartbeat(tokens[0])
    execution.clock.advance(8)
    assert execution.run() == "RUNNING"
    execution.clock.advance(3)
    assert execution.run() == "FAILED"
    assert (execution.error, execution.cause) == ("States.Timeout", None)
    assert types(execution)[-2:] == ["TaskTimedOut", "ExecutionFailed"]
    with pytest.raises(aws.TaskTimedOut):
        execution.send_task_success(tokens[0], {})
    with pytest.raises(aws.TaskDoesNotExist):
        execution.send_task_heartbeat("not-a-token")


def test_pending_is_refused_where_aws_cannot_wait():
    execution = machine({"T": task("arn:aws:states:::sqs:sendMessage", End=True)}).start_execution(
        {}, handlers=aws.Handlers(default=lambda e, c: aws.PENDING))
    with pytest.raises(ValueError, match="only .waitForTaskToken and .sync integrations and activities"):
        execution.run()
    assert execution.status == "RUNNING"

