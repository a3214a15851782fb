"""pyvorn.aws against AWS Step Functions: Retry, Catch and error names, as
tables of definitions, inputs and handlers with the outcome AWS gives."""

import pytest

from pyvorn import aws

from aws_rows import (
    ANY, EXCEPTION, EXCEPTION_COMPACT, FN, INVOKE, LAMBDA_TASK, PASS, SERVICE_TASK, TOO_BIG, case, check, echo,
    ends, fails, fails_in_turn, LambdaError, pass_, prefix, raise_exception, raise_numbered, returns, takes, task,
)


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
        events=LAMBDA_TASK[:1] + (LAMBDA_TASK[1:] + ["LambdaFunctionFailed"]) * 4 + ["TaskStateExited"] + PASS
        + ["ExecutionSucceeded"]),
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
