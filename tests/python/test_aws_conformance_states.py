"""pyvorn.aws against AWS Step Functions: Choice, Wait, Succeed and Fail,
and what AWS refuses at creation, as tables of definitions, inputs and
handlers with the outcome AWS gives."""

import datetime
import json

import pytest

from pyvorn import aws

from aws_rows import (
    ANY, FN, PASS, T0, case, check, choice_on, ends, pass_, prefix, task, wait,
)


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
         {"C": DOCS_SCENARIO, **ends("Public", "ValueIsZero", "ValueInTwenties"), "RecordEvent": {"Type": "Fail"}},
         {"type": "Private", "value": 22},
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
    *[case(f"nested_and_short_circuits[{item!r}]",
           {"C": choice(ITEM_RULE, default="Other"), **ends("Matched", "Other")},
           item, output=item, entered=["C", "Matched" if item == 3 else "Other"])
      for item in (1, "Hello", {}, 3.3, 3)],
    case("or_is_true_when_any_rule_is", {
        "C": choice({"Or": [rule("$.v", "IsNull", True), rule("$.v", "StringMatches", "a*")], "Next": "Matched"},
                    default="Other"), **ends("Matched", "Other")}, {"v": "abc"}, output=ANY, entered=["C", "Matched"]),
    case("is_present_false_holds_for_a_missing_path_without_failing",
         {"C": choice(rule("$.missing", "IsPresent", False, "Matched"), default="Other"), **ends("Matched", "Other")},
         {}, output={}, entered=["C", "Matched"]),
    case("a_path_operand_may_read_the_context_object",
         {"C": choice(rule("$.name", "StringEqualsPath", "$$.Execution.Name", "Matched"), default="Other"),
          **ends("Matched", "Other")}, {"name": "run"}, output=ANY, entered=["C", "Matched"]),
    case("input_path_and_output_path_apply_to_a_choice", {
        "C": choice(rule("$.v", "IsPresent", True, "Matched"), default="Other", InputPath="$.in",
                    OutputPath="$.v"), **ends("Matched", "Other")},
        {"in": {"v": [1]}}, output=[1], entered=["C", "Matched"]),
    case("no_matching_rule_and_no_default_fails_with_no_choice_matched",
         {"C": choice(rule("$.v", "NumericEquals", 1, "Matched")), **ends("Matched")}, {"v": 2},
         status="FAILED", error="States.NoChoiceMatched", cause=ANY),
    case("a_variable_that_does_not_resolve_fails_with_states_runtime",
         {"C": choice(rule("$.type", "StringEquals", "Private", "Matched"), default="Other"),
          **ends("Matched", "Other")}, {},
         status="FAILED", error="States.Runtime", cause=ANY, events=["ChoiceStateEntered", "ExecutionFailed"]),
]


@pytest.mark.parametrize("row", CHOICE)
def test_choice(row):
    check(row)


# --- Wait ---------------------------------------------------------------------


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
           cause=WAIT_PREFIX + "The SecondsPath parameter cannot be parsed as a long value: "
                               f"$.input.waitSeconds == {v}")
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
