"""pyvorn.aws against what AWS Step Functions recorded or documents: the
executions where AWS differs from the reduced dialect, data flow, Task, the
context object and execution outcomes. Each table is one rule family, each
row a definition, input and handlers with the outcome AWS gives; rows the
runner does not meet yet are xfail(strict) with what it does instead."""

import pytest

from aws_rows import (
    ANY, EXCEPTION, EXCEPTION_COMPACT, EXECUTION_ARN, FN, INVOKE, LAMBDA_PARAMETERS, LAMBDA_TASK, MACHINE_ARN,
    PASS, SERVICE_TASK, STARTED, TOO_BIG, case, check, choice_on, echo, execute, fails, LambdaError, pass_, prefix,
    raise_custom, raise_exception, returns, takes, task,
)


# --- where AWS differs from the reduced dialect (19 recorded executions) -----

SOME_FAILURE = {"Type": "Fail", "Error": "SomeFailure",
                "Cause": "This state machines raises a 'SomeFailure' failure."}
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
         details={"LambdaFunctionFailed": {"error": "Exception", "cause": EXCEPTION["Cause"]}},
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
         details={"TaskFailed": {"resourceType": "lambda", "resource": "invoke", "error": "Exception",
                                 "cause": EXCEPTION_COMPACT["Cause"]}},
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
         {"v": [0.0, -0.0, 1, 1.5e300, 2**70]}, output={"w": [1.0, 0], "v": [0.0, -0.0, 1, 1.5e300, 2**70]},
         ordered=True),
    # test_result_selector: computed members come out in AWS's hash order, after those copied as written.
    case("template_members_come_out_in_aws_order",
         {"P": pass_(Parameters={"LambdaOutput.$": "$.l", "ContextObjectValue.$": "$$.Execution.Input",
                                 "fixed": 1}, End=True)},
         {"l": 2}, output={"fixed": 1, "ContextObjectValue": {"l": 2}, "LambdaOutput": 2}, ordered=True),
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
         details={"LambdaFunctionScheduled": {
             **SCHEDULED, "input": '{"role":"arn:aws:iam::111111111111:role/Other"}',
             "taskCredentials": {"roleArn": "arn:aws:iam::111111111111:role/Other"}}}),
    case("credentials_role_arn_is_in_the_scheduled_event",
         {"T": task(INVOKE, Parameters={"FunctionName": "f"}, Credentials={"RoleArn": "arn:aws:iam::1:role/R"},
                    End=True)}, functions={"f": returns(1)}, output=ANY,
         details={"TaskScheduled": {"resourceType": "lambda", "resource": "invoke", "region": "us-east-1",
                                    "parameters": '{"FunctionName":"f"}',
                                    "taskCredentials": {"roleArn": "arn:aws:iam::1:role/R"}}}),
]


@pytest.mark.parametrize("row", TASK)
def test_task(row):
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
