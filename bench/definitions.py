"""Generated definitions for the benchmarks."""

from __future__ import annotations

import json


def _parameters(index: int) -> dict:
    """A template of about 3 KB: reference keys and nested literal data."""
    template: dict = {}
    for k in range(20):
        template[f"ref_{k}.$"] = f"$.data.items[{k}].value"
    for k in range(10):
        template[f"literal_{k}"] = {
            "label": f"state {index} literal {k}",
            "weights": [0.25, 0.5, 0.75, 1.0],
            "records": [{"id": r, "name": f"record-{r}", "active": r % 2 == 0} for r in range(3)],
        }
    return template


def _heavy_task(index: int, resource: str, retry_on: str, catcher: dict, following: str) -> dict:
    """A Task with a 3 KB template, a ResultSelector, a Retry and a Catch."""
    return {
        "Type": "Task",
        "Resource": resource,
        "Parameters": _parameters(index),
        "ResultSelector": {"status.$": "$.status", "source": "bench"},
        "ResultPath": "$.result",
        "Retry": [{"ErrorEquals": [retry_on], "MaxAttempts": 3, "BackoffRate": 1.5}],
        "Catch": [{**catcher, "Next": following}],
        "Next": following,
    }


def _heavy_pass(index: int, name: str, following: str) -> dict:
    """A Pass with a 3 KB template and a static result."""
    return {
        "Type": "Pass",
        "Parameters": _parameters(index),
        "Result": {"values": list(range(20)), "tag": name},
        "ResultPath": "$.pass",
        "Next": following,
    }


def large_definition(state_count: int = 2000) -> str:
    """A definition of `state_count` states mixing all five types."""
    names = [f"S{i:05d}" for i in range(state_count)]
    states: dict = {}
    for i, name in enumerate(names):
        following = names[min(i + 1, state_count - 1)]
        kind = i % 5
        if i == state_count - 1:
            states[name] = {"Type": "Succeed", "Comment": "the end"}
        elif kind == 0:
            resource = f"service.handler{i % 7}"
            states[name] = _heavy_task(i, resource, "Timeout", {"ErrorEquals": ["*"]}, following)
        elif kind == 1:
            states[name] = _heavy_pass(i, name, following)
        elif kind == 2:
            states[name] = {
                "Type": "Choice",
                "Choices": [
                    {"Variable": "$.count", "NumericEquals": i, "Next": following},
                    {"Variable": "$.name", "StringEquals": name, "Next": following},
                    {"Variable": "$.flag", "BooleanEquals": True, "Next": following},
                ],
                "Default": following,
            }
        elif kind == 3:
            states[name] = {"Type": "Succeed", "Comment": f"state {i}"}
        else:
            states[name] = {"Type": "Fail", "Error": "Failed", "Cause": f"state {i} failed"}
    return json.dumps({"Comment": "benchmark", "StartAt": names[0], "States": states})


def small_definition(state_count: int = 2000) -> str:
    """A definition of `state_count` small Task, Pass and Choice states, the
    shape most real machines have: a few short fields each, little static data
    (about 260 bytes of text per state)."""
    names = [f"State{i:05d}" for i in range(state_count)]
    states: dict = {}
    for i, name in enumerate(names):
        following = names[min(i + 1, state_count - 1)]
        kind = i % 3
        if i == state_count - 1:
            states[name] = {"Type": "Succeed"}
        elif kind == 0:
            states[name] = {
                "Type": "Task",
                "Resource": f"arn:aws:lambda:us-east-1:123456789012:function:step{i % 40}",
                "InputPath": "$.order",
                "ResultPath": "$.result",
                "Retry": [{"ErrorEquals": ["States.Timeout"], "MaxAttempts": 2}],
                "Next": following,
            }
        elif kind == 1:
            states[name] = {
                "Type": "Pass",
                "Result": {"step": i, "ok": True},
                "ResultPath": "$.marker",
                "Comment": f"mark step {i}",
                "Next": following,
            }
        else:
            states[name] = {
                "Type": "Choice",
                "Choices": [
                    {"Variable": "$.result.code", "NumericEquals": i, "Next": following},
                    {"Variable": "$.result.kind", "StringEquals": "retry", "Next": following},
                ],
                "Default": following,
            }
    return json.dumps({"StartAt": names[0], "States": states}, indent=1)


def chained_heavy_definition(state_count: int = 2000) -> str:
    """The data-heavy states of `large_definition` (3 KB templates, static
    results, Retry and Catch) in one chain that reaches every state, as a
    definition AWS accepts must: Task, Pass, Choice and Wait in turn, then
    Succeed."""
    names = [f"S{i:05d}" for i in range(state_count)]
    states: dict = {}
    for i, name in enumerate(names):
        following = names[min(i + 1, state_count - 1)]
        kind = i % 4
        if i == state_count - 1:
            states[name] = {"Type": "Succeed", "Comment": "the end"}
        elif kind == 0:
            resource = f"arn:aws:lambda:us-east-1:123456789012:function:handler{i % 7}"
            catcher = {"ErrorEquals": ["States.ALL"], "ResultPath": "$.error"}
            states[name] = _heavy_task(i, resource, "States.Timeout", catcher, following)
        elif kind == 1:
            states[name] = _heavy_pass(i, name, following)
        elif kind == 2:
            states[name] = {
                "Type": "Choice",
                "Choices": [
                    {"Variable": "$.count", "NumericEquals": i, "Next": following},
                    {"And": [{"Variable": "$.name", "IsPresent": True},
                             {"Variable": "$.name", "StringEquals": name}], "Next": following},
                    {"Variable": "$.flag", "BooleanEquals": True, "Next": following},
                ],
                "Default": following,
            }
        else:
            states[name] = {"Type": "Wait", "SecondsPath": "$.delay", "Next": following}
    return json.dumps({"Comment": "benchmark", "StartAt": names[0], "States": states})
