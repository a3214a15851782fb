"""pyvorn.aws's intrinsic functions against what AWS Step Functions recorded:
each call in a Pass state's Parameters on {"FunctionInput": x}, the places
other than Parameters where calls run, and how a failing call surfaces."""

import json

import pytest

from aws_rows import FN, PASS, case, check, pass_, prefix, returns, task
from pyvorn import aws


def result_of(call, x=None, **expect):
    """The recorded shape: Parameters {"FunctionResult.$": call} over {"FunctionInput": x}."""
    states = {"P": pass_(Parameters={"FunctionResult.$": call}, End=True)}
    return dict(states=states, input={"FunctionInput": x}, status="SUCCEEDED", **expect)


CALLS = [
    ("format_null", "States.Format('Formatting argument {}.', $.FunctionInput)", None, "Formatting argument null."),
    ("format_number", "States.Format('Formatting argument {}.', $.FunctionInput)", 1.1, "Formatting argument 1.1."),
    ("format_objects",
     "States.Format('Formatting arguments fst={} and snd={}.', $.FunctionInput.fst, $.FunctionInput.snd)",
     {"fst": {"Arg1": 1, "Arg2": []}, "snd": {"Arg1": 1, "Arg2": []}},
     "Formatting arguments fst={Arg1=1, Arg2=[]} and snd={Arg1=1, Arg2=[]}."),
    ("string_to_json_blank", "States.StringToJson($.FunctionInput)", "", None),
    ("json_to_string", "States.JsonToString($.FunctionInput)", {"Arg1": 1, "Arg2": []}, '{"Arg1":1,"Arg2":[]}'),
    ("array_partition", "States.ArrayPartition($.FunctionInput.fst, $.FunctionInput.snd)",
     {"fst": [0, 1, 2, 3], "snd": 3}, [[0, 1, 2], [3]]),
    ("array_range", "States.ArrayRange($.FunctionInput.fst, $.FunctionInput.snd, $.FunctionInput.trd)",
     {"fst": 0, "snd": 10, "trd": 3}, [0, 3, 6, 9]),
    ("array_contains", "States.ArrayContains($.FunctionInput.fst, $.FunctionInput.snd)",
     {"fst": [[1, 2, 3], 2], "snd": [1, 2, 3]}, True),
    ("math_add", "States.MathAdd($.FunctionInput.fst, $.FunctionInput.snd)", {"fst": 1.5, "snd": 1.51}, 4),
    ("string_split", "States.StringSplit($.FunctionInput.fst, $.FunctionInput.snd)", {"fst": ",,,,", "snd": ","}, []),
    ("hash", "States.Hash($.FunctionInput.fst, $.FunctionInput.snd)", {"fst": "input data", "snd": "SHA-1"},
     "aaff4a450a104cd177d28d18d74485e8cae074b7"),
    ("base64_encode", "States.Base64Encode($.FunctionInput)", "Data to encode", "RGF0YSB0byBlbmNvZGU="),
    ("nested_calls", "States.ArrayGetItem(States.StringSplit($$.StateMachine.Name, '-'), 0)", None, "M"),
    # A JSON \n in the definition is a real newline inside the literal.
    ("escape_sequence", "States.StringSplit('Hello\nWorld', '\n')", None, ["Hello", "World"]),
    ("array_unique", "States.ArrayUnique(States.Array(1, 2, 2, 3, 3, 4))", None, [1, 2, 3, 4]),
]


@pytest.mark.parametrize("call,x,result", [pytest.param(c, x, r, id=i) for i, c, x, r in CALLS])
def test_each_function_gives_what_aws_recorded(call, x, result):
    check(result_of(call, x, output={"FunctionResult": result},
                    events=PASS + ["ExecutionSucceeded"]))


WHERE_CALLS_RUN = [
    # test_json_merge_escaped_argument: the quotes are JSON escapes in the definition.
    case("json_merge_of_a_literal_and_the_execution_input",
         {"P": pass_(Parameters={"merged.$": "States.JsonMerge(States.StringToJson("
                                              "'{\"constant_in_literal\": \"false\"}'), "
                                              "$$.Execution.Input.input_field, false)"},
                     ResultPath="$.result_path", OutputPath="$.result_path.merged", End=True)},
         {"input_field": {"constant_input_field": "constant_value"}},
         output={"constant_input_field": "constant_value", "constant_in_literal": "false"}, ordered=True),
    # test_state_fail_intrinsic
    case("fail_error_path_and_cause_path_may_be_calls",
         {"F": {"Type": "Fail", "ErrorPath": "States.Format('{}', $.Error)",
                "CausePath": "States.Format('This is a custom error message for {}, caused by {}.', $.Error, $.Cause)"}},
         {"Error": "error string", "Cause": "cause string"}, status="FAILED", error="error string",
         cause="This is a custom error message for error string, caused by cause string."),
    # test_cross_account_states_start_sync_execution[..._INTRINSIC]
    case("credentials_role_arn_may_be_a_call",
         {"T": task(FN + "f", Credentials={"RoleArn.$": "States.Format('{}', $.role)"}, End=True)},
         {"role": "arn:aws:iam::1:role/R"}, functions={"f": returns(1)}, output=1,
         details={"LambdaFunctionScheduled": {
             "resource": FN + "f", "input": '{"role":"arn:aws:iam::1:role/R"}', "inputDetails": {"truncated": False},
             "taskCredentials": {"roleArn": "arn:aws:iam::1:role/R"}}}),
    case("result_selector_calls_read_the_task_result",
         {"T": task(FN + "f", ResultSelector={"n.$": "States.ArrayLength($.items)"}, End=True)},
         functions={"f": returns({"items": [1, 2, 3]})}, output={"n": 3}),
    # A Pass state's Result is data: a ".$" key there is never a call.
    case("a_pass_result_is_never_evaluated",
         {"P": pass_(Result={"not_an_intrinsic_function.$": "States.StringToJson('{}')"}, End=True)},
         output={"not_an_intrinsic_function.$": "States.StringToJson('{}')"}),
]


@pytest.mark.parametrize("row", WHERE_CALLS_RUN)
def test_calls_run_where_aws_runs_them(row):
    check(row)


GET_ITEM_FAILS = ("The function States.ArrayGetItem failed: the index 5 is out of range for an array of 1 item "
                  "in the field 'x.$'")
FAILURES = [
    case("a_failing_function_fails_the_execution_with_intrinsic_failure",
         {"P": pass_(Parameters={"x.$": "States.ArrayGetItem($.a, 5)"}, End=True)}, {"a": [1]},
         status="FAILED", error="States.IntrinsicFailure", cause=prefix("P", 2) + GET_ITEM_FAILS),
    case("intrinsic_failure_is_caught_by_name",
         {"T": task(FN + "f", Parameters={"x.$": "States.ArrayGetItem($.a, 5)"},
                    Catch=[{"ErrorEquals": ["States.IntrinsicFailure"], "Next": "Caught"}], End=True),
          "Caught": pass_(End=True)},
         {"a": [1]}, functions={"f": returns(1)},
         output={"Error": "States.IntrinsicFailure", "Cause": prefix("T", 2) + GET_ITEM_FAILS}, calls=[]),
    case("a_path_argument_that_misses_is_a_runtime_failure",
         {"P": pass_(Parameters={"x.$": "States.Format('{}', $.missing)"}, End=True)}, {"a": 1},
         status="FAILED", error="States.Runtime",
         cause=prefix("P", 2) + "The JSONPath '$.missing' specified for the field 'x.$' could not be found "
                                "in the input '{\"a\":1}'"),
]


@pytest.mark.parametrize("row", FAILURES)
def test_failing_calls(row):
    check(row)


def test_random_functions_replay_for_a_seed():
    machine = aws.StateMachine(json.dumps({"StartAt": "P", "States": {"P": {
        "Type": "Pass", "Parameters": {"id.$": "States.UUID()", "n.$": "States.MathRandom(0, 1000000)",
                                       "seeded.$": "States.MathRandom(0, 1000000, 5)"}, "End": True}}}))

    def output(seed):
        execution = machine.start_execution({}, seed=seed)
        assert execution.run() == "SUCCEEDED"
        return execution.output

    first, again, other = output(1), output(1), output(2)
    assert first == again
    assert first["id"] != other["id"] and first["n"] != other["n"]
    assert first["seeded"] == other["seeded"]
