"""pyvorn.aws against what AWS Step Functions recorded or documents, case by
case: each table below is one rule family, each row one definition, input and
handler with the outcome AWS gives (status, output, error name, whole cause,
and where it matters the history's events). Rows the runner does not meet yet
are marked xfail(strict) with what it does instead."""

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


END = {"End": True}
LAMBDA_TASK = ["TaskStateEntered", "LambdaFunctionScheduled", "LambdaFunctionStarted"]
SERVICE_TASK = ["TaskStateEntered", "TaskScheduled", "TaskStarted"]
PASS = ["PassStateEntered", "PassStateExited"]


# --- where AWS differs from the reduced dialect (19 recorded executions) -----

SOME_FAILURE = {"Type": "Fail", "Error": "SomeFailure",
                "Cause": "This state machines raises a 'SomeFailure' failure."}
LAMBDA_PARAMETERS = {"FunctionName.$": "$.FunctionName", "Payload.$": "$.Payload"}
THREE_CATCHERS = [
    {"ErrorEquals": ["Lambda.Unknown"], "Next": "EndWithLambdaUnknownHandler"},
    {"ErrorEquals": ["States.TaskFailed"], "Next": "EndWithStateTaskFailedHandler"},
    {"ErrorEquals": ["States.ALL"], "Next": "EndWithFinal"},
]
CATCH_HANDLERS = {
    "EndWithLambdaUnknownHandler": pass_(ResultPath="$.lambda_unknown_error", End=True),
    "EndWithStateTaskFailedHandler": pass_(ResultPath="$.task_failed_error", End=True),
    "EndWithFinal": pass_(ResultPath="$.final_error", End=True),
}
NOT_FOUND = ("Function not found: arn:aws:lambda:us-east-1:123456789012:function:no_such_function:$LATEST "
             "(Service: AWSLambda; Status Code: 404; Error Code: ResourceNotFoundException; "
             "Request ID: 2a1d7e52-0f0b-4fbe-9d6e-1d2b0c6e2f4e; Proxy: null)")


def caught_by_task_failed(resource, error):
    """The three-catcher machine: the States.TaskFailed catcher is taken and
    its Pass nests the error output inside itself."""
    states = {"Start": task(resource, Parameters=LAMBDA_PARAMETERS, Catch=THREE_CATCHERS, End=True), **CATCH_HANDLERS}
    return dict(states=states, input={"FunctionName": "f", "Payload": None},
                output={**error, "task_failed_error": error},
                exits=[("Start", error), ("EndWithStateTaskFailedHandler", {**error, "task_failed_error": error})])


def caught_output_path(output_path):
    states = {
        "Start": task(INVOKE, Parameters=LAMBDA_PARAMETERS, ResultPath="$.Payload", OutputPath=output_path,
                      Catch=[{"ErrorEquals": ["States.ALL"], "Next": "HandleGeneralError"}], End=True),
        "HandleGeneralError": pass_(Parameters={"InputValue.$": "$"}, End=True),
    }
    error = {"Error": "Exception", "Cause": LambdaError("Exception", "Some exception was raised.", compact=True)}
    return case(f"catch_path_skips_the_states_own_result_and_output_path[{output_path}]", states,
                {"FunctionName": "f", "Payload": None}, functions={"f": raise_exception},
                output={"InputValue": error}, exits=[("Start", error), ("HandleGeneralError", {"InputValue": error})])


def choice_on(operator, operand):
    """One rule on $.Variable, Default false; both ends a literal Result."""
    return {
        "CheckValues": {"Type": "Choice", "Default": "ConditionFalse",
                        "Choices": [{"Variable": "$.Variable", operator: operand, "Next": "ConditionTrue"}]},
        "ConditionTrue": pass_(Result={"TestResult.$": "ConditionTrue"}, End=True),
        "ConditionFalse": pass_(Result={"TestResult.$": "ConditionFalse"}, End=True),
    }


EXCEPTION = {"Error": "Exception", "Cause": LambdaError("Exception", "Some exception was raised.")}
EXCEPTION_COMPACT = {"Error": "Exception", "Cause": LambdaError("Exception", "Some exception was raised.", compact=True)}
IO_INPUT = {"initialData": {"fieldFromInput": "value from input", "otherField": "other"},
            "unrelatedData": {"someOtherField": 1234}}
IO_PASS = dict(InputPath="$.initialData", ResultPath="$.modifiedData",
               Parameters={"staticValue": "some value", "inputValue.$": "$.fieldFromInput"})

DIFFERENCES = [
    # test_state_fail
    case("fail_state_ends_the_execution_with_its_error_and_cause", {"FailState": SOME_FAILURE},
         status="FAILED", error="SomeFailure", cause=SOME_FAILURE["Cause"],
         events=["FailStateEntered", "ExecutionFailed"]),
    # test_base_inspection_level_debug[BASE_FAIL_STATE]
    case("fail_state_error_does_not_depend_on_its_input", {"FailState": SOME_FAILURE}, {"Value": "HelloWorld"},
         status="FAILED", error="SomeFailure", cause=SOME_FAILURE["Cause"]),
    # test_state_pass_result_null_input_output_paths
    case("null_input_path_gives_an_empty_object_and_null_output_path_outputs_one", {
        "State_1": pass_(Parameters={"Arg1": "argument1", "FromInput.$": "$"}, Next="State_2"),
        "State_2": pass_(InputPath=None, Parameters={"Arg2": "argument2", "FromInput.$": "$"}, Next="State_3"),
        "State_3": pass_(OutputPath=None, End=True),
    }, {"InputValue": 0}, output={}, exits=[
        ("State_1", {"Arg1": "argument1", "FromInput": {"InputValue": 0}}),
        ("State_2", {"Arg2": "argument2", "FromInput": {}}),
        ("State_3", {})]),
    # test_numeric_equals
    case("numeric_equals_compares_an_integer_literal_with_a_float_by_value", choice_on("NumericEquals", 0),
         {"Variable": 0.0}, output={"TestResult.$": "ConditionTrue"}, entered=["CheckValues", "ConditionTrue"]),
    # test_task_lambda: test_raise_exception_catch
    case("lambda_exception_is_caught_by_task_failed_not_lambda_unknown",
         functions={"f": raise_exception}, calls=[{"FunctionName": "f", "Payload": None}],
         events=LAMBDA_TASK + ["LambdaFunctionFailed", "TaskStateExited"] + PASS + ["ExecutionSucceeded"],
         **caught_by_task_failed(FN + "f", EXCEPTION)),
    # test_task_lambda: test_no_such_function_catch (the function exists and raises)
    case("lambda_exception_from_a_qualified_arn_is_caught_by_task_failed",
         functions={"f": raise_exception}, **caught_by_task_failed(FN + "f:$LATEST", EXCEPTION)),
    # test_task_lambda: test_raise_custom_exception
    case("lambda_custom_exception_is_caught_by_its_class_name", {
        "Start": task(FN + "f", Catch=[{"ErrorEquals": ["CustomException"], "Next": "ErrorMatched"}], End=True),
        "ErrorMatched": pass_(End=True),
    }, functions={"f": raise_custom},
        output={"Error": "CustomException", "Cause": LambdaError("CustomException", "")}, ordered=True),
    # test_task_service_lambda: test_raise_exception_catch
    case("lambda_invoke_exception_is_caught_by_task_failed", functions={"f": raise_exception}, calls=[None],
         events=SERVICE_TASK + ["TaskFailed", "TaskStateExited"] + PASS + ["ExecutionSucceeded"],
         **caught_by_task_failed(INVOKE, EXCEPTION_COMPACT)),
    # test_task_service_lambda: test_raise_custom_exception
    case("lambda_invoke_custom_exception_is_caught_by_its_class_name", {
        "Start": task(INVOKE, Parameters={"FunctionName": "f", "Payload": {}},
                      Catch=[{"ErrorEquals": ["CustomException"], "Next": "ErrorMatched"}], End=True),
        "ErrorMatched": pass_(End=True),
    }, functions={"f": raise_custom},
        output={"Error": "CustomException", "Cause": LambdaError("CustomException", "", compact=True)}),
    # test_task_service_lambda: test_no_such_function_catch (the service's answer, given by a handler)
    case("lambda_resource_not_found_is_caught_by_task_failed",
         services={INVOKE: fails("Lambda.ResourceNotFoundException", NOT_FOUND)},
         **caught_by_task_failed(INVOKE, {"Error": "Lambda.ResourceNotFoundException", "Cause": NOT_FOUND})),
    # test_raise_exception_catch_output_path[$.Payload], [None], [$.no.such.path]
    caught_output_path("$.Payload"),
    caught_output_path(None),
    caught_output_path("$.no.such.path"),
    # test_catch_states_runtime
    case("states_runtime_from_output_path_is_not_caught_even_by_name", {
        "StartTask": task(FN + "f", OutputPath="$.no.such.result.path",
                          Catch=[{"ErrorEquals": ["States.Runtime"], "Next": "Caught"}], End=True),
        "Caught": pass_(End=True),
    }, functions={"f": echo}, status="FAILED", error="States.Runtime",
        cause=prefix("StartTask", 2) + "Invalid path '$.no.such.result.path' : Missing property in path $['no']",
        events=LAMBDA_TASK + ["LambdaFunctionSucceeded", "ExecutionFailed"]),
    # test_invalid_jsonpath[ST.INVALID_JSONPATH_IN_INPUTPATH]
    case("input_path_that_does_not_resolve_fails_with_states_runtime",
         {"pass": pass_(InputPath="$.NoSuchInputPath", End=True)}, {"int-literal": 0}, status="FAILED",
         error="States.Runtime",
         cause=prefix("pass", 2) + "Invalid path '$.NoSuchInputPath' : No results for path: $['NoSuchInputPath']",
         events=["PassStateEntered", "ExecutionFailed"]),
    # test_invalid_jsonpath[ST.INVALID_JSONPATH_IN_OUTPUTPATH]
    case("output_path_that_does_not_resolve_fails_with_states_runtime",
         {"pass": pass_(OutputPath="$.NoSuchOutputPath", End=True)}, {"int-literal": 0}, status="FAILED",
         error="States.Runtime",
         cause=prefix("pass", 2) + "Invalid path '$.NoSuchOutputPath' : No results for path: $['NoSuchOutputPath']",
         events=["PassStateEntered", "ExecutionFailed"]),
    # test_invalid_jsonpath[INVALID_JSONPATH_IN_STRING_EXPR_JSONPATH]
    case("template_path_that_does_not_resolve_fails_with_states_runtime",
         {"pass": pass_(Parameters={"value.$": "$.no_such_jsonpath"}, End=True)}, {"int-literal": 0},
         status="FAILED", error="States.Runtime",
         cause=prefix("pass", 2) + "The JSONPath '$.no_such_jsonpath' specified for the field 'value.$' "
                                   "could not be found in the input '{\"int-literal\":0}'"),
    # test_base_inspection_level_debug[IO_RESULT_PASS_STATE]
    case("pass_result_wins_and_input_path_and_parameters_are_not_evaluated",
         {"P": pass_(**IO_PASS, Result={"resultKey": "result value"}, End=True)}, IO_INPUT,
         output={**IO_INPUT, "modifiedData": {"resultKey": "result value"}}, ordered=True),
    # test_io_dynamodb_service_task_mock_success[io_output_path]
    case("output_path_applies_after_result_path", {
        "PutItem": task("arn:aws:states:::dynamodb:putItem", ResultPath="$.putItemOutput",
                        OutputPath="$.putItemOutput", End=True)},
        {"TableName": "table", "Item": {"id": {"S": "1"}}},
        services={"arn:aws:states:::dynamodb:putItem": returns({"SdkHttpMetadata": {"HttpStatusCode": 200}})},
        output={"SdkHttpMetadata": {"HttpStatusCode": 200}}),
]


@pytest.mark.parametrize("row", DIFFERENCES)
def test_recorded_behaviour_where_aws_differs_from_the_reduced_dialect(row):
    check(row)


# --- data flow: paths, templates, ResultPath, payload size --------------------


def select(path, input, expected, **more):
    """Pass Parameters {"item.$": path} on input gives {"item": expected}."""
    return case(f"path[{path}]", {"P": pass_(Parameters={"item.$": path}, End=True)}, input,
                output={"item": expected}, **more)


ITEMS = {"items": [{"item_key": k} for k in range(11)]}
USERS = {"users": [{"year": 1997, "status": 0}, {"year": 1998, "status": 1}]}

DATA_FLOW = [
    # test_json_path_array_access[$.items[10]]
    select("$.items[10]", ITEMS, {"item_key": 10}),
    # test_json_path_array_wildcard_or_slice_with_no_input[...]: indefinite paths on {} give []
    *[select(path, {}, []) for path in ("$.item.items[1:5].itemValue", "$[*]", "$.items[*]", "$.items[1:]",
                                        "$.items[:1]", "$.item.items[*]", "$.item.items[1:5]",
                                        "$.items[*].itemValue", "$.items[1:].itemValue")],
    # test_state_pass_regex_json_path_base
    select("$.users[?(@.status == 0)]", USERS, [{"year": 1997, "status": 0}]),
    select("$.users[-1]", USERS, {"year": 1998, "status": 1}),
    select("$.users[0,1].year", USERS, [1997, 1998]),
    select("$..year", USERS, [1997, 1998]),
    select("$.users[0:1]", USERS, [{"year": 1997, "status": 0}]),
    select("$.users[*].status", USERS, [0, 1]),
    select("$.mixed[?(@.k == 1)]", {"mixed": [1, {"k": 1}, "k", {"k": 2}]}, [{"k": 1}]),
    select("$.delivery-partner", {"delivery-partner": "ü"}, "ü"),
    # test_escape_sequence_parsing[ESCAPE_SEQUENCES_JSONPATH]: no escapes inside quoted names
    select("$['Test\\\"\"Name\"']", {'Test\\""Name"': "found"}, "found"),
    # test_state_pass_result_jsonpaths
    case("pass_result_is_copied_verbatim_dollar_keys_included",
         {"P": pass_(Result={"unsupported1.$": "$.jsonpath", "unsupported2.$": "$$"}, End=True)},
         output={"unsupported1.$": "$.jsonpath", "unsupported2.$": "$$"}),
    # test_base_inspection_level_debug[IO_PASS_STATE]
    case("parameters_read_the_input_path_and_result_path_writes_into_the_raw_input",
         {"P": pass_(**IO_PASS, End=True)}, IO_INPUT, ordered=True,
         output={**IO_INPUT, "modifiedData": {"staticValue": "some value", "inputValue": "value from input"}}),
    # test_task_dataflow_to_state
    case("result_path_creates_missing_objects",
         {"P": pass_(Result={"riddle": "what has keys but no locks"}, ResultPath="$.enigma.mystery", End=True)},
         {"functionName": "f"}, ordered=True,
         output={"functionName": "f", "enigma": {"mystery": {"riddle": "what has keys but no locks"}}}),
    # test_map_state_legacy_reentrant: a replaced member keeps its place
    case("result_path_replacing_a_member_keeps_its_place",
         {"P": pass_(Result=[1, 2], ResultPath="$.Values", End=True)}, {"Values": [], "Iterations": 2},
         output={"Values": [1, 2], "Iterations": 2}, ordered=True),
    case("null_result_path_discards_the_result",
         {"P": pass_(Result={"x": 1}, ResultPath=None, End=True)}, {"kept": True}, output={"kept": True}),
    case("catcher_null_result_path_passes_the_raw_input_on", {
        "T": task(FN + "f", InputPath="$.a", Catch=[{"ErrorEquals": ["States.ALL"], "ResultPath": None,
                                                     "Next": "After"}], End=True),
        "After": pass_(End=True),
    }, {"a": 1, "b": 2}, functions={"f": raise_exception}, output={"a": 1, "b": 2}),
    case("template_literals_are_copied_and_dollar_members_evaluated_at_any_depth",
         {"P": pass_(Parameters={"Comment": "text", "nested": {"deep": {"v.$": "$.v"}, "n": [1, {"k": 0.0}]}},
                     End=True)}, {"v": 1.5},
         output={"Comment": "text", "nested": {"deep": {"v": 1.5}, "n": [1, {"k": 0.0}]}}),
    # test_invalid_jsonpath[INVALID_JSONPATH_IN_STRING_EXPR_CONTEXTPATH]
    case("template_context_path_that_does_not_resolve_fails_with_states_runtime",
         {"pass": pass_(Parameters={"value.$": "$$.Execution.Input.no_such_jsonpath"}, End=True)},
         {"int-literal": 0}, status="FAILED", error="States.Runtime",
         cause=prefix("pass", 2) + "The JSONPath '$$.Execution.Input.no_such_jsonpath' specified for the field "
                                   "'value.$' could not be found in the input '{\"int-literal\":0}'"),
    case("input_path_missing_an_intermediate_member_names_the_first_missing_one",
         {"pass": pass_(InputPath="$.no.such.path", End=True)}, {"no": {}}, status="FAILED",
         error="States.Runtime",
         cause=prefix("pass", 2) + "Invalid path '$.no.such.path' : Missing property in path $['no']['such']"),
    case("numbers_keep_their_written_form", {"P": pass_(Parameters={"v.$": "$.v", "w": [1.0, 0]}, End=True)},
         {"v": [0.0, -0.0, 1, 1.5e300, 2**70]}, output={"v": [0.0, -0.0, 1, 1.5e300, 2**70], "w": [1.0, 0]},
         ordered=True),
    case("result_selector_path_that_does_not_resolve_fails_with_states_runtime",
         {"T": task(FN + "f", ResultSelector={"x.$": "$.nope"}, Retry=[{"ErrorEquals": ["States.ALL"]}],
                    Catch=[{"ErrorEquals": ["States.ALL"], "Next": "Caught"}], End=True), "Caught": pass_(End=True)},
         {"a": 1}, functions={"f": echo}, calls=[{"a": 1}], status="FAILED", error="States.Runtime",
         cause=prefix("T", 2) + "The JSONPath '$.nope' specified for the field 'x.$' could not be found in the input "
                                "'{\"a\":1}'"),
    case("task_parameters_path_that_does_not_resolve_schedules_nothing",
         {"T": task(FN + "f", Parameters={"x.$": "$.nope"}, End=True)}, {"a": 1}, functions={"f": echo}, calls=[],
         status="FAILED", error="States.Runtime", events=["TaskStateEntered", "ExecutionFailed"],
         cause=prefix("T", 2) + "The JSONPath '$.nope' specified for the field 'x.$' could not be found in the input "
                                "'{\"a\":1}'"),
    # test_start_large_input
    case("pass_output_over_the_payload_limit_fails_without_an_exit_event",
         {"State_1": pass_(Result={"Arg1": "a" * 263_168}, End=True)}, status="FAILED",
         error="States.DataLimitExceeded", cause=TOO_BIG.format("State_1"),
         events=["PassStateEntered", "ExecutionFailed"]),
]


@pytest.mark.parametrize("row", DATA_FLOW)
def test_data_flow(row):
    check(row)


# --- Task ---------------------------------------------------------------------

SCHEDULED = {"resource": FN + "f", "input": "{}", "inputDetails": {"truncated": False}}

TASK = [
    # test_invoke_pipe
    case("a_direct_lambda_result_is_the_functions_return_value_as_is", {
        "step1": task(FN + "one", Next="step2"), "step2": task(FN + "two", End=True),
    }, functions={"one": returns({"Return": "HelloWorld"}), "two": lambda event, context: {"Return": event}},
        output={"Return": {"Return": "HelloWorld"}}),
    # test_lambda_task_filter_parameters_input
    case("parameters_are_the_handler_input_and_result_path_keeps_the_raw_input", {
        "Setup": pass_(Result={"count": 0}, ResultPath="$.loop", Next="Task"),
        "Task": task(FN + "f", Parameters={"loop.$": "$.loop"}, ResultPath="$.result", End=True),
    }, functions={"f": echo}, calls=[{"loop": {"count": 0}}],
        output={"loop": {"count": 0}, "result": {"loop": {"count": 0}}}),
    case("input_path_parameters_result_selector_result_path_output_path_in_that_order",
         {"T": task(FN + "f", InputPath="$.in", Parameters={"x.$": "$.v"}, ResultSelector={"r.$": "$.x"},
                    ResultPath="$.in.out", OutputPath="$.in", End=True)},
         {"in": {"v": 7}, "other": 1}, functions={"f": echo}, calls=[{"x": 7}],
         output={"v": 7, "out": {"r": 7}}),
    # test_fixed_timeout_lambda
    case("a_direct_lambda_past_timeout_seconds_fails_with_states_timeout_and_no_cause",
         {"T": task(FN + "f", TimeoutSeconds=5, End=True)}, functions={"f": takes(10, {})},
         status="FAILED", error="States.Timeout", elapsed=5,
         events=LAMBDA_TASK + ["LambdaFunctionTimedOut", "ExecutionFailed"],
         details={"LambdaFunctionScheduled": {**SCHEDULED, "timeoutInSeconds": 5},
                  "LambdaFunctionTimedOut": {"error": "States.Timeout"}}),
    # test_invoke_timeout
    case("a_caught_timeout_has_an_empty_cause_in_the_error_output", {
        "Start": task(INVOKE, Parameters=LAMBDA_PARAMETERS, TimeoutSeconds=5,
                      Catch=[{"ErrorEquals": ["States.Timeout"], "Next": "EndWithTimeout"}], End=True),
        "EndWithTimeout": pass_(ResultPath="$.error", End=True),
    }, {"FunctionName": "f", "Payload": None}, functions={"f": takes(10)},
        output={"Error": "States.Timeout", "Cause": "", "error": {"Error": "States.Timeout", "Cause": ""}},
        events=SERVICE_TASK + ["TaskTimedOut", "TaskStateExited"] + PASS + ["ExecutionSucceeded"],
        details={"TaskTimedOut": {"resourceType": "lambda", "resource": "invoke", "error": "States.Timeout"}}),
    # test_invalid_jsonpath[ST.INVALID_JSONPATH_IN_TIMEOUTSECONDSPATH]
    case("timeout_seconds_path_that_does_not_resolve_fails_before_scheduling",
         {"task": task(FN + "f", TimeoutSecondsPath="$.NoSuchTimeoutSecondsPath", End=True)},
         {"int-literal": 0}, functions={"f": echo}, status="FAILED", error="States.Runtime", calls=[],
         cause=prefix("task", 2) + "Invalid path '$.NoSuchTimeoutSecondsPath' : "
                                   "No results for path: $['NoSuchTimeoutSecondsPath']",
         events=["TaskStateEntered", "ExecutionFailed"]),
    # test_invalid_jsonpath[ST.INVALID_JSONPATH_IN_HEARTBEATSECONDSPATH]
    case("heartbeat_seconds_path_that_does_not_resolve_fails_before_scheduling",
         {"task": task(FN + "f", HeartbeatSecondsPath="$.NoSuchHeartbeatSecondsPath", End=True)},
         {"int-literal": 0}, functions={"f": echo}, status="FAILED", error="States.Runtime", calls=[],
         runner="HeartbeatSecondsPath is never read: the task is scheduled and SUCCEEDS",
         cause=prefix("task", 2) + "Invalid path '$.NoSuchHeartbeatSecondsPath' : "
                                   "No results for path: $['NoSuchHeartbeatSecondsPath']"),
    # test_heartbeat_no_timeout: no default task timeout
    case("without_timeout_seconds_a_task_has_no_timeout", {"T": task(FN + "f", End=True)},
         functions={"f": takes(86_400, "late")}, output="late", elapsed=86_400,
         details={"LambdaFunctionScheduled": SCHEDULED}),
    case("timeout_seconds_path_is_resolved_into_the_scheduled_event",
         {"T": task(INVOKE, Parameters={"FunctionName": "f"}, TimeoutSecondsPath="$.t", End=True)},
         {"t": 30}, functions={"f": returns(1)}, output=ANY,
         details={"TaskScheduled": {"resourceType": "lambda", "resource": "invoke", "region": "us-east-1",
                                    "parameters": '{"FunctionName":"f"}', "timeoutInSeconds": 30}}),
    case("heartbeat_seconds_path_is_resolved_into_the_scheduled_event",
         {"T": task(INVOKE, Parameters={"FunctionName": "f"}, HeartbeatSecondsPath="$.h", End=True)},
         {"h": 9}, functions={"f": returns(1)}, output=ANY,
         runner="HeartbeatSecondsPath is never read: TaskScheduled lacks heartbeatInSeconds",
         details={"TaskScheduled": {"resourceType": "lambda", "resource": "invoke", "region": "us-east-1",
                                    "parameters": '{"FunctionName":"f"}', "heartbeatInSeconds": 9}}),
    *[case(f"scheduled_events_name_the_integration[{resource}]", {"T": task(resource, End=True)}, {"k": 1},
           services={resource: returns({"ok": True})}, output={"ok": True},
           events=SERVICE_TASK + ["TaskSucceeded", "TaskStateExited", "ExecutionSucceeded"],
           details={"TaskScheduled": {"resourceType": kind, "resource": action, "region": "us-east-1",
                                      "parameters": '{"k":1}'},
                    "TaskStarted": {"resourceType": kind, "resource": action},
                    "TaskSucceeded": {"resourceType": kind, "resource": action, "output": '{"ok":true}',
                                      "outputDetails": {"truncated": False}}})
      for resource, kind, action in [("arn:aws:states:::sqs:sendMessage", "sqs", "sendMessage"),
                                     ("arn:aws:states:::aws-sdk:s3:getObject", "aws-sdk:s3", "getObject")]],
    # test_cross_account_states_start_sync_execution[..._ROLE_ARN_PATH]
    case("credentials_role_arn_path_is_resolved_into_the_scheduled_event",
         {"T": task(FN + "f", Credentials={"RoleArn.$": "$.role"}, End=True)},
         {"role": "arn:aws:iam::111111111111:role/Other"}, functions={"f": returns(1)}, output=1,
         runner="Credentials are ignored: LambdaFunctionScheduled has no taskCredentials",
         details={"LambdaFunctionScheduled": {
             **SCHEDULED, "input": '{"role":"arn:aws:iam::111111111111:role/Other"}',
             "taskCredentials": {"roleArn": "arn:aws:iam::111111111111:role/Other"}}}),
    case("credentials_role_arn_is_in_the_scheduled_event",
         {"T": task(INVOKE, Parameters={"FunctionName": "f"}, Credentials={"RoleArn": "arn:aws:iam::1:role/R"},
                    End=True)}, functions={"f": returns(1)}, output=ANY,
         runner="Credentials are ignored: TaskScheduled has no taskCredentials",
         details={"TaskScheduled": {"resourceType": "lambda", "resource": "invoke", "region": "us-east-1",
                                    "parameters": '{"FunctionName":"f"}',
                                    "taskCredentials": {"roleArn": "arn:aws:iam::1:role/R"}}}),
]


@pytest.mark.parametrize("row", TASK)
def test_task(row):
    check(row)


# --- Retry --------------------------------------------------------------------


def retried(retry, fn, status="FAILED", **expect):
    """A direct Lambda Task with these retriers and no catcher."""
    return dict(states={"T": task(FN + "f", Retry=retry, End=True)}, functions={"f": fn}, status=status, **expect)


def backoff(interval, attempts, rate, elapsed, **more):
    retrier = {"ErrorEquals": ["States.ALL"], "IntervalSeconds": interval, "MaxAttempts": attempts,
               "BackoffRate": rate, **more}
    return case(f"delays[{interval},{attempts},{rate},{more.get('MaxDelaySeconds')}]", **retried(
        [retrier], raise_numbered, error="Exception", cause=LambdaError("Exception", f"attempt {attempts}"),
        elapsed=elapsed))


def context_at(retries):
    return {"ThisContextObject": {"Execution": ANY, "StateMachine": ANY,
                                  "State": {"Name": "T", "EnteredTime": ANY, "RetryCount": retries}},
            "ThisState": {}}


def fails_first_attempt(event, context):
    if context["attempt"] == 0:
        raise aws.TaskFailed("Flaky")
    return event["n"] + 1


RETRY = [
    # test_lambda_invoke_with_retry_base
    case("max_attempts_counts_retries_and_the_catcher_gets_the_last_failure", {
        "T": task(FN + "f", Retry=[{"ErrorEquals": ["States.ALL"], "MaxAttempts": 3}],
                  Catch=[{"ErrorEquals": ["States.ALL"], "Next": "HandleError"}],
                  ResultSelector={"Retries.$": "$$.State.RetryCount"}, End=True),
        "HandleError": pass_(End=True),
    }, functions={"f": raise_numbered}, elapsed=1 + 2 + 4,
        output={"Error": "Exception", "Cause": LambdaError("Exception", "attempt 3")},
        events=["TaskStateEntered"] + ["LambdaFunctionScheduled", "LambdaFunctionStarted",
                                       "LambdaFunctionFailed"] * 4 + ["TaskStateExited"] + PASS + ["ExecutionSucceeded"]),
    # test_lambda_invoke_with_retry_extended_input
    case("each_retry_reevaluates_parameters_with_the_new_retry_count", **retried(
        [{"ErrorEquals": ["States.ALL"], "MaxAttempts": 3}], raise_numbered,
        error="Exception", cause=LambdaError("Exception", "attempt 3"),
        calls=[context_at(n) for n in range(4)]) | {"states": {"T": task(
            FN + "f", Parameters={"ThisContextObject.$": "$$", "ThisState.$": "$"},
            Retry=[{"ErrorEquals": ["States.ALL"], "MaxAttempts": 3}], End=True)}}),
    # test_retry_interval_features
    case("full_jitter_still_makes_max_attempts_retries", **retried(
        [{"ErrorEquals": ["States.ALL"], "IntervalSeconds": 3, "MaxAttempts": 2, "BackoffRate": 2,
          "MaxDelaySeconds": 5, "JitterStrategy": "FULL"}], raise_numbered,
        error="Exception", cause=LambdaError("Exception", "attempt 2"), calls=[{}] * 3)),
    # test_retry_interval_features_jitter_none
    backoff(1, 2, 1, 2, MaxDelaySeconds=3, JitterStrategy="NONE"),
    backoff(3, 2, 1.5, 3 + 4.5),
    backoff(3, 3, 2, 3 + 6 + 12),
    backoff(3, 3, 2, 3 + 5 + 5, MaxDelaySeconds=5),
    # test_retry_interval_features_max_attempts_zero
    case("max_attempts_zero_never_retries", {
        "T": task(INVOKE, Parameters={"FunctionName": "f", "Payload": {"RetryAttempt.$": "$$.State.RetryCount"}},
                  Retry=[{"ErrorEquals": ["States.ALL"], "IntervalSeconds": 3, "MaxAttempts": 0}], End=True),
    }, functions={"f": raise_exception}, calls=[{"RetryAttempt": 0}], status="FAILED", error="Exception",
        cause=EXCEPTION_COMPACT["Cause"]),
    # test_lambda_empty_retry
    case("an_empty_retry_list_is_accepted_and_retries_nothing", **retried(
        [], raise_exception, error="Exception", cause=EXCEPTION["Cause"], calls=[{}])),
    # the retriers of test_map_state_retry_multiple_retriers, on a Task
    case("the_first_matching_retrier_decides_and_a_misspelt_wildcard_matches_nothing", **retried(
        [{"ErrorEquals": ["NoSuchError"], "MaxAttempts": 1}, {"ErrorEquals": ["State.ALL"], "MaxAttempts": 2},
         {"ErrorEquals": ["HandleItemFailError"], "MaxAttempts": 3}],
        fails("HandleItemFailError", "HandleItemFailCause"),
        error="HandleItemFailError", cause="HandleItemFailCause", calls=[{}] * 4)),
    # the guide's complex retry example
    case("an_exhausted_first_matching_retrier_stops_retrying_even_if_a_later_one_matches", {
        "T": task(FN + "f", Retry=[
            {"ErrorEquals": ["ErrorA", "ErrorB"], "IntervalSeconds": 1, "BackoffRate": 2, "MaxAttempts": 2},
            {"ErrorEquals": ["ErrorC"], "IntervalSeconds": 5}],
            Catch=[{"ErrorEquals": ["States.ALL"], "Next": "Z"}], End=True),
        "Z": pass_(End=True),
    }, functions={"f": fails_in_turn("ErrorA", "ErrorB", "ErrorC", "ErrorB", "ErrorC")},
        output={"Error": "ErrorB", "Cause": None}, elapsed=1 + 2 + 5, calls=[{}] * 4, entered=["T", "Z"]),
    case("retry_counters_and_retry_count_start_again_on_each_visit", {
        "T": task(FN + "f", Parameters={"n.$": "$.n", "retry.$": "$$.State.RetryCount"},
                  Retry=[{"ErrorEquals": ["Flaky"], "MaxAttempts": 1}], ResultPath="$.n", Next="Again"),
        "Again": {"Type": "Choice", "Choices": [{"Variable": "$.n", "NumericLessThan": 2, "Next": "T"}],
                  "Default": "Done"},
        "Done": {"Type": "Succeed"},
    }, {"n": 0}, functions={"f": fails_first_attempt}, output={"n": 2},
        calls=[{"n": 0, "retry": 0}, {"n": 0, "retry": 1}, {"n": 1, "retry": 0}, {"n": 1, "retry": 1}]),
]


@pytest.mark.parametrize("row", RETRY)
def test_retry(row):
    check(row)


# --- Catch --------------------------------------------------------------------

QUEUE_INPUT = {"QueueUrl": "https://sqs.us-east-1.amazonaws.com/123456789012/q", "Message": "test_message_txt"}

CATCH = [
    # test_catch_empty
    case("an_empty_catch_list_is_accepted", {"T": task(FN + "f", Catch=[], End=True)}, {"a": 1},
         functions={"f": echo}, output={"a": 1}),
    # the catchers of test_sqs_failure_in_wait_for_task_tok_no_error_field[SQS_WAIT_FOR_TASK_TOKEN_CATCH],
    # on a task that fails at once
    case("a_failure_without_error_or_cause_is_caught_by_states_all_into_the_raw_input", {
        "SendMessage": task("arn:aws:states:::sqs:sendMessage",
                            Parameters={"QueueUrl.$": "$.QueueUrl", "MessageBody.$": "$.Message"}, Catch=[
                                {"ErrorEquals": ["States.Runtime"], "ResultPath": "$.states_runtime_error",
                                 "Next": "CaughtRuntime"},
                                {"ErrorEquals": ["States.ALL"], "ResultPath": "$.states_all_error",
                                 "Next": "CaughtAll"}], End=True),
        "CaughtRuntime": pass_(End=True),
        "CaughtAll": pass_(End=True),
    }, QUEUE_INPUT, services={"arn:aws:states:::sqs:sendMessage": fails(None)},
        calls=[{"QueueUrl": QUEUE_INPUT["QueueUrl"], "MessageBody": "test_message_txt"}],
        output={**QUEUE_INPUT, "states_all_error": {"Error": None, "Cause": None}}, ordered=True,
        entered=["SendMessage", "CaughtAll"]),
    case("a_catcher_result_path_creates_missing_objects_in_the_raw_input", {
        "T": task(FN + "f", InputPath="$.in", ResultSelector={"never.$": "$.evaluated"}, Catch=[
            {"ErrorEquals": ["Exception"], "ResultPath": "$.errors.last", "Next": "After"}], End=True),
        "After": pass_(End=True),
    }, {"in": {}}, functions={"f": raise_exception}, output={"in": {}, "errors": {"last": EXCEPTION}}, ordered=True),
]


@pytest.mark.parametrize("row", CATCH)
def test_catch(row):
    check(row)


# --- Choice -------------------------------------------------------------------

T_0, T_1 = "2012-10-09T19:00:55Z", "2012-10-09T19:00:56Z"

OPERATORS = [
    # test_numeric_equals, test_numeric_equals_path, test_numeric_greater_than_equals
    ("NumericEquals", 1.0, 1, None, True),
    *[("NumericEquals", 0, v, None, False) for v in (False, None, "", [], {}, " ", [""], {"A": 0}, True)],
    ("NumericEquals", 1, 1.1, None, False),
    ("NumericEquals", 0, -0, None, True),
    ("NumericEqualsPath", "$.Value", 0.0, 0, True),
    ("NumericEqualsPath", "$.Value", 1, True, False),
    ("NumericGreaterThanEquals", 0, 0.0, None, True),
    ("NumericGreaterThan", 0, 0.0, None, False),
    # test_string_equals, test_string_less_than, test_string_greater_than
    *[("StringEquals", "HelloWorld", v, None, False) for v in (1, True, {}, None, ["HelloWorld"])],
    ("StringEquals", "     ", " ", None, False),
    ("StringEquals", "\t\r\n", "\t\n", None, False),
    ("StringLessThan", "AB", "A", None, True),
    ("StringGreaterThan", "A ", "A", None, False),
    ("StringGreaterThan", "ABC", "AB", None, False),
    ("StringGreaterThanEquals", "", "", None, True),
    ("StringLessThan", "\uff61", "\U0001f600", None, True),  # UTF-16 code units, not code points
    # test_boolean_equals
    *[("BooleanEquals", True, v, None, False) for v in (1, "true", None, [])],
    ("BooleanEquals", False, False, None, True),
    ("BooleanEqualsPath", "$.Value", True, True, True),
    # test_timestamp_equals, test_timestamp_greater_than, ...
    ("TimestampEquals", T_0, T_0, None, True),
    ("TimestampEquals", T_0, T_1, None, False),
    ("TimestampEquals", T_0, "2023-02-24 12:15:56.832957", None, False),
    ("TimestampEquals", T_0, 0, None, False),
    ("TimestampGreaterThan", T_0, T_1, None, True),
    ("TimestampGreaterThanEquals", T_0, T_0, None, True),
    ("TimestampLessThan", T_1, T_0, None, True),
    ("TimestampLessThanEquals", T_0, T_1, None, False),
    ("TimestampEqualsPath", "$.Value", T_0, "2012-10-09T20:00:55+01:00", True),
    # test_is_present, test_is_null, test_is_numeric, test_is_string, test_is_boolean
    ("IsPresent", True, None, None, True),
    ("IsNull", False, 0, None, True),
    ("IsNull", True, None, None, True),
    ("IsNumeric", True, True, None, False),
    ("IsNumeric", True, 1.1, None, True),
    ("IsString", True, "2012-10-09T19:00:55", None, True),
    ("IsString", True, "", None, True),
    ("IsBoolean", True, 0, None, False),
    ("IsBoolean", False, "true", None, True),
    ("IsTimestamp", True, T_0, None, True),
    ("IsTimestamp", True, "2012-10-09T19:00:55", None, False),
    # matching rules of StringMatches
    ("StringMatches", "log-*.txt", "log-.txt", None, True),
    ("StringMatches", "log-*.txt", "log-2024.txt.gz", None, False),
    ("StringMatches", "a\\*b", "a*b", None, True),
    ("StringMatches", "a\\*b", "axb", None, False),
    ("StringMatches", "*\\\\", "dir\\", None, True),
]


@pytest.mark.parametrize("operator,operand,variable,value,matches", OPERATORS)
def test_choice_comparison_operators(operator, operand, variable, value, matches):
    result = "ConditionTrue" if matches else "ConditionFalse"
    check(dict(states=choice_on(operator, operand), input={"Variable": variable, "Value": value},
               status="SUCCEEDED", output={"TestResult.$": result}, entered=["CheckValues", result]))


def choice(*rules, default=None, **fields):
    state = {"Type": "Choice", "Choices": list(rules), **fields}
    return {**state, "Default": default} if default else state


def rule(variable, operator, operand, next=None):
    return {"Variable": variable, operator: operand, **({"Next": next} if next else {})}


def ends(*names):
    return {name: pass_(End=True) for name in names}


ITEM_RULE = {"And": [rule("$", "IsPresent", True),
                     {"And": [rule("$", "IsNumeric", True), rule("$", "NumericEquals", 3)]}], "Next": "Matched"}
DOCS_SCENARIO = choice(
    {"Not": rule("$.type", "StringEquals", "Private"), "Next": "Public"},
    rule("$.value", "NumericEquals", 0, "ValueIsZero"),
    {"And": [rule("$.value", "NumericGreaterThanEquals", 20), rule("$.value", "NumericLessThan", 30)],
     "Next": "ValueInTwenties"}, default="RecordEvent")

CHOICE = [
    # test_choice_aws_docs_scenario[CHOICE_STATE_AWS_SCENARIO]
    case("the_first_true_rule_decides_and_the_output_is_the_input",
         {"C": DOCS_SCENARIO, **ends("Public", "ValueIsZero", "ValueInTwenties"), "RecordEvent": {"Type": "Fail"}}, {"type": "Private", "value": 22},
         output={"type": "Private", "value": 22}, entered=["C", "ValueInTwenties"],
         exits=[("C", {"type": "Private", "value": 22}), ("ValueInTwenties", {"type": "Private", "value": 22})]),
    # test_choice_singleton_composite[CHOICE_STATE_SINGLETON_COMPOSITE]
    case("a_one_element_and_is_valid",
         {"C": choice({"And": [rule("$.type", "StringEquals", "Public")], "Next": "Public"}, default="Other"),
          **ends("Public", "Other")}, {"type": "Public", "value": 22}, output=ANY, entered=["C", "Public"]),
    # test_choice_unsorted_parameters_negative[CHOICE_STATE_UNSORTED_CHOICE_PARAMETERS]
    case("member_order_inside_a_rule_is_irrelevant", {
        "C": choice({"BooleanEquals": True, "Next": "FinishTrue", "Variable": "$.result.done"},
                    {"BooleanEquals": False, "Next": "FinishFalse", "Variable": "$.result.done"}),
        **ends("FinishTrue", "FinishFalse")}, {"result": {"done": False}}, output=ANY, entered=["C", "FinishFalse"]),
    # test_variable
    case("variable_may_read_the_context_object",
         {"C": choice(rule("$$.Execution.Input.input-value", "NumericLessThanEquals", 0, "Matched"),
                      default="Other"), **ends("Matched", "Other")}, {"input-value": 0}, output={"input-value": 0},
         entered=["C", "Matched"]),
    # the item rule of test_map_state_break_condition, on each item
    *[case(f"nested_and_short_circuits[{item!r}]", {"C": choice(ITEM_RULE, default="Other"), **ends("Matched", "Other")},
           item, output=item, entered=["C", "Matched" if item == 3 else "Other"])
      for item in (1, "Hello", {}, 3.3, 3)],
    case("input_path_and_output_path_apply_to_a_choice", {
        "C": choice(rule("$.v", "IsPresent", True, "Matched"), default="Other", InputPath="$.in",
                    OutputPath="$.v"), **ends("Matched", "Other")}, {"in": {"v": [1]}}, output=[1], entered=["C", "Matched"]),
    case("no_matching_rule_and_no_default_fails_with_no_choice_matched",
         {"C": choice(rule("$.v", "NumericEquals", 1, "Matched")), **ends("Matched")}, {"v": 2},
         status="FAILED", error="States.NoChoiceMatched", cause=ANY),
    case("a_variable_that_does_not_resolve_fails_with_states_runtime",
         {"C": choice(rule("$.type", "StringEquals", "Private", "Matched"), default="Other"), **ends("Matched", "Other")}, {},
         status="FAILED", error="States.Runtime", cause=ANY, events=["ChoiceStateEntered", "ExecutionFailed"]),
]


@pytest.mark.parametrize("row", CHOICE)
def test_choice(row):
    check(row)


# --- Wait ---------------------------------------------------------------------


def wait(**fields):
    return {"Type": "Wait", **fields, "End": True}


def days_ahead(days):
    return (T0 + datetime.timedelta(days=days)).strftime("%Y-%m-%dT%H:%M:%SZ")


SECONDS_PATH = {"WaitState": wait(SecondsPath="$.input.waitSeconds")}
WAIT_PREFIX = prefix("WaitState", 2)

WAIT = [
    # test_base_wait_seconds_path[1], [0]
    case("seconds_path_waits_that_long_and_outputs_the_input", SECONDS_PATH, {"input": {"waitSeconds": 1}},
         output={"input": {"waitSeconds": 1}}, elapsed=1, events=["WaitStateEntered", "WaitStateExited",
                                                                   "ExecutionSucceeded"]),
    case("seconds_path_zero_continues_at_once", SECONDS_PATH, {"input": {"waitSeconds": 0}},
         output={"input": {"waitSeconds": 0}}, elapsed=0),
    # test_base_wait_seconds_path[-1], [1.5], [-1.5]
    case("seconds_path_negative", SECONDS_PATH, {"input": {"waitSeconds": -1}}, status="FAILED",
         error="States.Runtime", events=["WaitStateEntered", "ExecutionFailed"],
         cause=WAIT_PREFIX + "The SecondsPath parameter references a negative value: $.input.waitSeconds == -1"),
    *[case(f"seconds_path_not_an_integer[{v}]", SECONDS_PATH, {"input": {"waitSeconds": v}}, status="FAILED",
           error="States.Runtime",
           cause=WAIT_PREFIX + f"The SecondsPath parameter cannot be parsed as a long value: $.input.waitSeconds == {v}")
      for v in (1.5, -1.5)],
    # test_base[wait_seconds_path.json5_ALL_False]
    case("seconds_path_that_does_not_resolve", SECONDS_PATH, status="FAILED", error="States.Runtime",
         cause=WAIT_PREFIX + "The SecondsPath parameter does not reference an input value: $.input.waitSeconds"),
    # test_wait_timestamp_path[NO_Z], test_wait_timestamppath[], [.000000]
    *[case(f"timestamp_path_not_a_timestamp[{v}]", {"WaitUntil": wait(TimestampPath="$.TimestampValue")},
           {"TimestampValue": v}, status="FAILED", error="States.Runtime",
           cause=prefix("WaitUntil", 2) + "The TimestampPath parameter does not reference a valid ISO-8601 "
                                          f"extended offset date-time format string: $.TimestampValue == {v}")
      for v in ("2016-12-05T21:29:29", "2016-12-05T21:29:29.000000", "2016-12-05 21:29:29Z")],
    case("timestamp_path_in_the_future_waits_until_then", {"W": wait(TimestampPath="$.t")},
         {"t": "2024-01-01T01:00:00.5Z"}, output=ANY, elapsed=3600.5),
    # test_wait_timestamp[NANOSECONDS]
    case("a_timestamp_in_the_past_continues_at_once", {"W": wait(Timestamp="2016-03-05T21:29:29.243167252Z")},
         output={}, elapsed=0),
    case("input_path_and_output_path_apply_to_a_wait", {"W": wait(Seconds=2, InputPath="$.a", OutputPath="$.b")},
         {"a": {"b": 1}}, output=1, elapsed=2),
    # test_timestamp_too_far_in_future_boundary[24855], [24856]
    case("a_wait_ending_24855_days_ahead_is_allowed", {"W": wait(TimestampPath="$.t")}, {"t": days_ahead(24855)},
         output=ANY, elapsed=24855 * 86400),
    case("a_wait_ending_24856_days_ahead_is_too_long", {"W": wait(TimestampPath="$.t")}, {"t": days_ahead(24856)},
         status="FAILED", error="States.Runtime", cause=prefix("W", 2) + "Wait state delay is too long."),
]


@pytest.mark.parametrize("row", WAIT)
def test_wait(row):
    check(row)


# --- Succeed and Fail ---------------------------------------------------------

ERROR_CAUSE = {"Error": "error string", "Cause": "cause string"}

SUCCEED_FAIL = [
    # test_state_fail_empty
    case("an_empty_fail_fails_with_neither_error_nor_cause", {"F": {"Type": "Fail"}}, status="FAILED",
         events=["FailStateEntered", "ExecutionFailed"]),
    case("a_fail_with_only_an_error", {"F": {"Type": "Fail", "Error": "FailureType"}}, status="FAILED",
         error="FailureType"),
    # test_state_fail_path
    case("error_path_and_cause_path_read_the_input", {"F": {"Type": "Fail", "ErrorPath": "$.Error",
                                                            "CausePath": "$.Cause"}}, ERROR_CAUSE,
         status="FAILED", error="error string", cause="cause string"),
    # test_error_cause_path
    case("error_path_and_cause_path_read_the_context_object",
         {"StartState": {"Type": "Fail", "ErrorPath": "$$.State.Name", "CausePath": "$$.StateMachine.Name"}},
         status="FAILED", error="StartState", cause="M"),
    # test_invalid_jsonpath[INVALID_JSONPATH_IN_ERRORPATH]
    case("error_path_that_does_not_resolve", {
        "pass": pass_(Parameters={"Error": "error-value"}, Next="fail"),
        "fail": {"Type": "Fail", "ErrorPath": "$.ErrorX", "CausePath": "$.Cause"},
    }, {"int-literal": 0}, status="FAILED", error="States.Runtime",
        cause=prefix("fail", 4) + "The JSONPath '$.ErrorX' specified for the field 'ErrorPath' could not be found "
                                  "in the input '{\"Error\":\"error-value\"}'",
        events=PASS + ["FailStateEntered", "ExecutionFailed"]),
    # test_invalid_jsonpath[ST.INVALID_JSONPATH_IN_CAUSEPATH]
    case("cause_path_that_does_not_resolve", {"fail": {"Type": "Fail", "Error": "E", "CausePath": "$.NoCause"}},
         {"int-literal": 0}, status="FAILED", error="States.Runtime",
         cause=prefix("fail", 2) + "The JSONPath '$.NoCause' specified for the field 'CausePath' could not be "
                                   "found in the input '{\"int-literal\":0}'"),
    case("succeed_outputs_its_input_through_input_path_and_output_path",
         {"S": {"Type": "Succeed", "InputPath": "$.a", "OutputPath": "$.b"}}, {"a": {"b": [1.0]}}, output=[1.0],
         events=["SucceedStateEntered", "SucceedStateExited", "ExecutionSucceeded"]),
]


@pytest.mark.parametrize("row", SUCCEED_FAIL)
def test_succeed_and_fail(row):
    check(row)


# --- context object -----------------------------------------------------------


def context(state, **extra):
    return {
        "Execution": {"Id": EXECUTION_ARN, "Input": {"input-value": 0}, "StartTime": STARTED, "Name": "run",
                      "RoleArn": ANY, "RedriveCount": 0},
        "StateMachine": {"Id": MACHINE_ARN, "Name": "M"},
        "State": {"Name": state, "EnteredTime": STARTED, **extra},
    }


QUERY_VALUES = {
    "execution_id.$": "$$.Execution.Id", "execution_input.$": "$$.Execution.Input",
    "execution_start_time.$": "$$.Execution.StartTime", "execution_name.$": "$$.Execution.Name",
    "execution_role_arn.$": "$$.Execution.RoleArn", "execution_redrive_count.$": "$$.Execution.RedriveCount",
    "state_machine_id.$": "$$.StateMachine.Id", "state_machine_name.$": "$$.StateMachine.Name",
    "state_name.$": "$$.State.Name", "state_entered_time.$": "$$.State.EnteredTime",
    "input_value.$": "$$.Execution.Input.input-value", "state.$": "$$.State",
}

CONTEXT_OBJECT = [
    # test_input_path[$$]
    case("input_path_may_read_the_whole_context_object", {"TestState": pass_(InputPath="$$", End=True)},
         {"input-value": 0}, output=context("TestState"), ordered=True),
    # test_output_path[$$.Execution.Input]
    case("output_path_may_read_the_execution_input",
         {"P": pass_(Result={"other": 1}, OutputPath="$$.Execution.Input", End=True)}, {"input-value": 0},
         output={"input-value": 0}),
    # test_result_selector
    case("result_selector_may_read_the_context_object", {
        "T": task(INVOKE, Parameters=LAMBDA_PARAMETERS,
                  ResultSelector={"LambdaOutput.$": "$", "ContextObjectValue.$": "$$.Execution.Input"}, End=True)},
        {"FunctionName": "f", "Payload": {"input-value": 0}}, functions={"f": echo}, calls=[{"input-value": 0}],
        output={"ContextObjectValue": {"FunctionName": "f", "Payload": {"input-value": 0}}, "LambdaOutput": {
            "ExecutedVersion": "$LATEST", "Payload": {"input-value": 0}, "SdkHttpMetadata": ANY,
            "SdkResponseMetadata": {"RequestId": ANY}, "StatusCode": 200}}),
    # test_query_context_object_values
    case("every_context_member_can_be_read_and_state_describes_the_current_state", {
        "QueryValues1": pass_(Parameters=QUERY_VALUES, Next="QueryValues2"),
        "QueryValues2": pass_(Parameters={"context_object.$": "$$"}, End=True),
    }, {"input-value": 0}, output={"context_object": context("QueryValues2")}, exits=[
        ("QueryValues1", {"execution_id": EXECUTION_ARN, "execution_input": {"input-value": 0},
                          "execution_start_time": STARTED, "execution_name": "run", "execution_role_arn": ANY,
                          "execution_redrive_count": 0, "state_machine_id": MACHINE_ARN, "state_machine_name": "M",
                          "state_name": "QueryValues1", "state_entered_time": STARTED, "input_value": 0,
                          "state": {"Name": "QueryValues1", "EnteredTime": STARTED}}),
        ("QueryValues2", {"context_object": context("QueryValues2")})]),
    case("a_task_state_has_a_retry_count_and_entered_time_is_the_entry",
         {"W": {"Type": "Wait", "Seconds": 3, "Next": "T"},
          "T": task(FN + "f", Parameters={"state.$": "$$.State"}, End=True)},
         functions={"f": echo}, output={"state": {"Name": "T", "EnteredTime": "2024-01-01T00:00:03.000Z",
                                                  "RetryCount": 0}}),
]


@pytest.mark.parametrize("row", CONTEXT_OBJECT)
def test_context_object(row):
    check(row)


def test_context_role_arn_is_the_executions_role():
    execution, _ = execute(dict(states={"P": pass_(OutputPath="$$.Execution.RoleArn", End=True)}, input={}))
    assert execution.output == execution.history[0]["executionStartedEventDetails"]["roleArn"]


# --- execution level ----------------------------------------------------------

EXECUTION = [
    # test_state_pass_result
    case("a_pass_result_ends_the_execution", {"P": pass_(Result={"Arg1": "argument1"}, End=True)},
         output={"Arg1": "argument1"}, events=PASS + ["ExecutionSucceeded"],
         details={"ExecutionSucceeded": {"output": '{"Arg1":"argument1"}', "outputDetails": {"truncated": False}}}),
    # test_decl_version_1_0
    case("version_1_0_is_accepted", {"P": pass_(End=True)}, top={"Version": "1.0"}, output={}),
    case("a_state_number_further_on_is_its_entry_event_id", {
        "A": pass_(Next="B"), "B": {"Type": "Wait", "Seconds": 1, "Next": "C"},
        "C": task(FN + "f", Next="D"), "D": pass_(InputPath="$.missing", End=True),
    }, functions={"f": echo}, status="FAILED", error="States.Runtime",
        cause=prefix("D", 11) + "Invalid path '$.missing' : No results for path: $['missing']",
        events=PASS + ["WaitStateEntered", "WaitStateExited"] + LAMBDA_TASK + ["LambdaFunctionSucceeded",
                                                                             "TaskStateExited", "PassStateEntered",
                                                                             "ExecutionFailed"]),
    case("a_machine_timeout_stops_a_running_task", {"T": task(FN + "f", End=True)}, top={"TimeoutSeconds": 5},
         functions={"f": takes(60)}, status="TIMED_OUT", elapsed=5),
]


@pytest.mark.parametrize("row", EXECUTION)
def test_execution_outcome(row):
    check(row)


# --- error names --------------------------------------------------------------

LARGE_UTF8 = "\u00fc" * 131_584  # 263,168 bytes of UTF-8
CAUGHT_BY_NAME = [{"ErrorEquals": ["States.DataLimitExceeded"], "Next": "CaughtByName"},
                  {"ErrorEquals": ["States.ALL"], "Next": "CaughtByAll"}]
INVOKE_TOO_BIG = {"Error": "States.DataLimitExceeded", "Cause": TOO_BIG.format("lambda")}

ERROR_NAMES = [
    # test_task_lambda_data_limit_exceeded_on_large_utf8_response
    case("an_oversize_lambda_result_fails_the_attempt_with_data_limit_exceeded", {
        "T": task(FN + "f", Catch=CAUGHT_BY_NAME, End=True), **ends("CaughtByName", "CaughtByAll"),
    }, functions={"f": returns(LARGE_UTF8)}, entered=["T", "CaughtByName"],
        output={"Error": "States.DataLimitExceeded", "Cause": TOO_BIG.format(FN + "f")},
        events=LAMBDA_TASK + ["LambdaFunctionFailed", "TaskStateExited"] + PASS + ["ExecutionSucceeded"],
        details={"LambdaFunctionFailed": {"error": "States.DataLimitExceeded", "cause": TOO_BIG.format(FN + "f")}}),
    # test_service_task_lambada_data_limit_exceeded_on_large_utf8_response
    case("an_oversize_lambda_invoke_result_names_the_service", {
        "T": task(INVOKE, Parameters={"FunctionName": "f"}, Catch=CAUGHT_BY_NAME, End=True),
        **ends("CaughtByName", "CaughtByAll"),
    }, functions={"f": returns(LARGE_UTF8)}, entered=["T", "CaughtByName"], output=INVOKE_TOO_BIG,
        events=SERVICE_TASK + ["TaskFailed", "TaskStateExited"] + PASS + ["ExecutionSucceeded"],
        details={"TaskFailed": {"resourceType": "lambda", "resource": "invoke", "error": INVOKE_TOO_BIG["Error"],
                                "cause": INVOKE_TOO_BIG["Cause"]}}),
    # test_service_task_lambada_catch_state_all_data_limit_exceeded_on_large_utf8_response
    case("an_oversize_lambda_invoke_result_is_caught_by_states_all", {
        "T": task(INVOKE, Parameters={"FunctionName": "f"}, Catch=CAUGHT_BY_NAME[1:], End=True),
        **ends("CaughtByAll"),
    }, functions={"f": returns(LARGE_UTF8)}, output=INVOKE_TOO_BIG),
    case("an_uncaught_oversize_result_fails_the_execution", {"T": task(FN + "f", End=True)},
         functions={"f": returns(LARGE_UTF8)}, status="FAILED", error="States.DataLimitExceeded",
         cause=TOO_BIG.format(FN + "f"), events=LAMBDA_TASK + ["LambdaFunctionFailed", "ExecutionFailed"]),
]


@pytest.mark.parametrize("row", ERROR_NAMES)
def test_error_names(row):
    check(row)


FAILURES = {  # how a Task fails: its fields, its Lambda code, the error and cause it fails with
    "Exception": ({}, raise_exception, "Exception", EXCEPTION["Cause"]),
    "States.Timeout": ({"TimeoutSeconds": 5}, takes(10), "States.Timeout", None),
    "States.DataLimitExceeded": ({}, returns(LARGE_UTF8), "States.DataLimitExceeded", TOO_BIG.format(FN + "f")),
    "States.Runtime": ({"OutputPath": "$.no.such.path"}, echo, "States.Runtime",
                       prefix("T", 2) + "Invalid path '$.no.such.path' : Missing property in path $['no']"),
    None: ({}, fails(None), None, None),
}

MATCHING = [
    *[("Exception", entry, entry in ("States.ALL", "States.TaskFailed", "Exception"))
      for entry in ("States.ALL", "States.TaskFailed", "Exception", "States.Runtime", "exception", "State.ALL",
                    "*", "Lambda.Unknown")],
    *[("States.Timeout", entry, entry in ("States.ALL", "States.Timeout"))
      for entry in ("States.ALL", "States.TaskFailed", "States.Timeout", "States.HeartbeatTimeout",
                    "States.Runtime")],
    *[("States.DataLimitExceeded", entry, entry != "States.Runtime")
      for entry in ("States.ALL", "States.TaskFailed", "States.DataLimitExceeded", "States.Runtime")],
    *[("States.Runtime", entry, False)
      for entry in ("States.ALL", "States.TaskFailed", "States.Runtime", "States.ResultPathMatchFailure")],
    *[(None, entry, entry != "States.Runtime") for entry in ("States.ALL", "States.TaskFailed", "States.Runtime")],
]


@pytest.mark.parametrize("handling", ["Catch", "Retry"])
@pytest.mark.parametrize("failure,entry,matches", MATCHING)
def test_error_name_matching(failure, entry, matches, handling):
    fields, fn, error, cause = FAILURES[failure]
    if handling == "Catch":
        states = {"T": task(FN + "f", **fields, Catch=[{"ErrorEquals": [entry], "Next": "Caught"}], End=True),
                  "Caught": pass_(End=True)}
        caught = {"Error": error, "Cause": "" if error == "States.Timeout" else cause}
        expect = dict(output=caught, entered=["T", "Caught"]) if matches else dict(status="FAILED")
    else:
        states = {"T": task(FN + "f", **fields, End=True,
                            Retry=[{"ErrorEquals": [entry], "IntervalSeconds": 1, "MaxAttempts": 1}])}
        expect = dict(status="FAILED", calls=[{}] * (2 if matches else 1))
    expect.setdefault("status", "SUCCEEDED")
    if expect["status"] == "FAILED":
        expect.update(error=error, cause=cause)
    check(dict(states=states, input={}, functions={"f": fn}, **expect))


# --- refused at creation --------------------------------------------------------

RFC3339 = "String does not match RFC3339 timestamp"

REFUSED = [
    # test_invalid_credentials_field[EMPTY_CREDENTIALS]
    ({"State0": task(FN + "f", Credentials={}, End=True)},
     "The field 'RoleArn' is required but was missing", "/States/State0/Credentials"),
    # test_wait_timestamp_invalid[NO_T], [NO_Z], [INVALID_DATE], [INVALID_TIME], [INVALID_ISO], [JSONATA]
    *[({"WaitUntil": wait(Timestamp=text)}, RFC3339, "/States/WaitUntil/Timestamp")
      for text in ("2016-12-05 21:29:29Z", "2016-12-05T21:29:29", "2016-13-05T21:29:29Z", "2016-12-05T25:29:29Z",
                   "05-12-2016T21:29:29Z", "{% '2016-03-14T01:59:00Z' %}")],
]


@pytest.mark.parametrize("states,message,location", REFUSED)
def test_refused_at_creation_with_awss_message(states, message, location):
    text = json.dumps({"StartAt": next(iter(states)), "States": states})
    report = aws.validate(text)
    assert report["result"] == "FAIL"
    assert [(d["code"], d["message"], d["location"]) for d in report["diagnostics"]] == [
        ("SCHEMA_VALIDATION_FAILED", message, location)]
    with pytest.raises(aws.DefinitionError) as raised:
        aws.StateMachine(text)
    assert str(raised.value) == f"Invalid State Machine Definition: 'SCHEMA_VALIDATION_FAILED: {message} at {location}'"


@pytest.mark.parametrize("timestamp", [
    # test_wait_timestamp[...]: any number of fraction digits
    "2016-03-05T21:29:29Z", "2016-03-05T21:29:29.000Z", "2016-03-05T21:29:29.00Z", "2016-03-05T21:29:29.000000Z",
    "2016-03-05T21:29:29.243167252Z", "2012-10-09T19:00:55+01:00",
])
def test_a_wait_accepts_rfc3339_timestamps(timestamp):
    check(dict(states={"W": wait(Timestamp=timestamp)}, input={}, status="SUCCEEDED", output={}, elapsed=0))
