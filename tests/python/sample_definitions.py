"""Definitions shared by the tests and the fuzz seeds (fuzz/seeds.py), as
dicts: the tests compile their JSON text, the seeds write it in more than one
layout."""

# One state of every kind with every optional field present, and numbers at
# the edges of their ranges.
EVERY_KIND_AND_FIELD = {
    "Comment": "every kind of state and field",
    "StartAt": "Fetch",
    "States": {
        "Fetch": {
            "Type": "Task",
            "Resource": "http.get",
            "Comment": "fetch it",
            "InputPath": "$.request",
            "OutputPath": "$.body[0]",
            "ResultPath": "$.response",
            "Parameters": {"url.$": "$.url", "retries": 3, "headers": {"a": ["x"]}},
            "ResultSelector": {"status.$": "$.status", "ok": True},
            "Retry": [
                {"ErrorEquals": ["Timeout", "External"], "MaxAttempts": 5, "BackoffRate": 1.5},
                {"ErrorEquals": ["*"], "IntervalSeconds": 4294967295, "BackoffRate": 3.4e38},
            ],
            "Catch": [{"ErrorEquals": ["*"], "Next": "Failed"}],
            "Next": "Route",
        },
        "Route": {
            "Type": "Choice",
            "Choices": [
                {"Variable": "$.n", "NumericEquals": -9223372036854775808, "Next": "Shape"},
                {"Variable": "$.s[3]", "StringEquals": "x", "Next": "Done"},
                {"Variable": "$", "BooleanEquals": False, "Next": "Failed"},
            ],
            "Default": "Done",
        },
        "Shape": {
            "Type": "Pass",
            "Result": {"list": [1, 2], "nested": {"f": 1.5, "n": None}, "empty": []},
            "Parameters": {"copy.$": "$", "k": "v"},
            "InputPath": "$",
            "ResultPath": None,
            "Next": "Done",
        },
        "Done": {"Type": "Succeed"},
        "Failed": {"Type": "Fail", "Error": "Boom", "Cause": "it broke"},
    },
}
