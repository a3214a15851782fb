"""`pyvorn run --dialect aws`, `pyvorn graph --dialect aws` and the sample
collection's run script."""

import datetime
import importlib.util
import json
import pathlib
import re
import subprocess

import pytest

from pyvorn import aws
from pyvorn.aws._history import event_line
from pyvorn.aws._diagram import rule_text, to_dot, to_mermaid
from pyvorn.cli import main

ROOT = pathlib.Path(__file__).resolve().parents[2]
LAMBDA = "arn:aws:lambda:us-east-1:123456789012:function:Fn"

# A Pass, a retried and caught Lambda, a Choice, a Wait and both ends.
FLOW = {
    "Comment": "flow",
    "StartAt": "P",
    "States": {
        "P": {"Type": "Pass", "Result": {"a": 1}, "Next": "T"},
        "T": {
            "Type": "Task",
            "Resource": LAMBDA,
            "Retry": [{"ErrorEquals": ["States.ALL"], "MaxAttempts": 1}],
            "Catch": [{"ErrorEquals": ["States.ALL"], "ResultPath": "$.e", "Next": "F"}],
            "Next": "C",
        },
        "C": {"Type": "Choice", "Choices": [{"Variable": "$.a", "NumericEquals": 1, "Next": "W"}], "Default": "F"},
        "W": {"Type": "Wait", "Seconds": 3, "Next": "S"},
        "S": {"Type": "Succeed"},
        "F": {"Type": "Fail", "Error": "Boom", "Cause": "bad"},
    },
}
FAILING_LAMBDA = (
    "from pyvorn import aws\n"
    "handlers = aws.Handlers()\n"
    "def fn(event, context):\n"
    "    raise ValueError('nope')\n"
    "handlers.lambda_function('Fn', fn)\n"
)


def write(tmp_path, name, content):
    path = tmp_path / name
    path.write_text(content if isinstance(content, str) else json.dumps(content, indent=1), encoding="utf-8")
    return str(path)


def run(capsys, *args):
    status = main(["run", "--dialect", "aws", *args])
    out, err = capsys.readouterr()
    return status, out.splitlines(), err.splitlines()


# --- status, output, error and the exit status ------------------------------

LOOP = {
    "StartAt": "L",
    "States": {
        "L": {"Type": "Choice", "Choices": [{"Variable": "$.done", "IsPresent": True, "Next": "E"}], "Default": "L"},
        "E": {"Type": "Succeed"},
    },
}


@pytest.mark.parametrize(
    "states, args, status, out, err",
    [
        ({"P": {"Type": "Pass", "End": True}}, ["--input", '[1, "x", {"k": null}]'], 0,
         ["SUCCEEDED", '[1,"x",{"k":null}]'], []),
        ({"F": {"Type": "Fail", "Error": "Boom", "Cause": "two\nlines"}}, [], 1,
         ["FAILED", "error: Boom", "cause: two\\x0alines"], ['{path}: run FAILED in state "F": Boom']),
        ({"F": {"Type": "Fail"}}, [], 1, ["FAILED"], ['{path}: run FAILED in state "F"']),
        ({"P": {"Type": "Pass", "InputPath": "$.missing", "End": True}}, [], 1,
         ["FAILED", "error: States.Runtime",
          "cause: An error occurred while executing the state 'P' (entered at the event id #2). "
          "Invalid path '$.missing' : No results for path: $['missing']"],
         ['{path}: run FAILED in state "P": States.Runtime']),
        ({"W": {"Type": "Wait", "Seconds": 5, "End": True}}, ["--seed", "7"], 1, ["TIMED_OUT"],
         ['{path}: run TIMED_OUT in state "W"']),
        (LOOP["States"], ["--max-steps", "3"], 1, ["RUNNING"],
         ['{path}: stopped in state "L" after entering 3 states, without finishing '
          '(a loop? --max-steps raises the limit)']),
    ],
)
def test_run_prints_the_status_then_the_output_or_the_error(tmp_path, capsys, states, args, status, out, err):
    path = write(tmp_path, "m.json", {"TimeoutSeconds": 2, "StartAt": next(iter(states)), "States": states})
    assert run(capsys, path, *args) == (status, out, [line.format(path=path) for line in err])


def test_trace_shows_one_line_per_state_as_it_is_left(tmp_path, capsys):
    path = write(tmp_path, "flow.json", FLOW)
    status, out, err = run(capsys, path, "--stub", "echo", "--trace")
    assert (status, out) == (0, ["SUCCEEDED", '{"a":1}'])
    assert err == [
        'state 1  P  Pass  ok -> T  output: {"a":1}',
        'state 2  T  Task  1 attempt  ok -> C  output: {"a":1}',
        'state 3  C  Choice  ok -> W  output: {"a":1}',
        'state 4  W  Wait  ok -> S  output: {"a":1}',
        'state 5  S  Succeed  succeeded  output: {"a":1}',
    ]
    handlers = write(tmp_path, "failing.py", FAILING_LAMBDA)
    status, out, err = run(capsys, path, "--handlers", handlers, "--trace")
    assert (status, out) == (1, ["FAILED", "error: Boom", "cause: bad"])
    assert err[1].startswith(
        'state 2  T  Task  2 attempts, 2 failed (ValueError, ValueError)  caught -> F  output: {"a":1,"e":{')
    assert err[2:] == ["state 3  F  Fail  failed  error: Boom", f'{path}: run FAILED in state "F": Boom']


def test_history_is_one_json_event_per_line(tmp_path, capsys):
    path = write(tmp_path, "p.json", {"StartAt": "P", "States": {"P": {"Type": "Pass", "End": True}}})
    status, out, err = run(capsys, path, "--history", "--input", '{"k": "\u202e"}')
    assert (status, out) == (0, ["SUCCEEDED", '{"k":"\\u202e"}'])
    events = [json.loads(line) for line in err]
    assert [(e["id"], e["previousEventId"], e["type"]) for e in events] == [
        (1, 0, "ExecutionStarted"), (2, 0, "PassStateEntered"), (3, 2, "PassStateExited"), (4, 3, "ExecutionSucceeded")]
    assert all(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", e["timestamp"]) for e in events)
    assert "\u202e" not in "".join(err)  # shown escaped, read back the same
    assert events[3]["executionSucceededEventDetails"]["output"] == '{"k":"\u202e"}'


def test_an_event_line_writes_the_timestamp_as_aws_does():
    moment = datetime.datetime(2024, 1, 1, 1, 0, 0, 123999, tzinfo=datetime.timezone(datetime.timedelta(hours=1)))
    event = {"timestamp": moment, "type": "PassStateEntered", "id": 2, "previousEventId": 0,
             "stateEnteredEventDetails": {"name": "P\u0085", "input": "{}"}}
    assert event_line(event) == (
        '{"timestamp":"2024-01-01T00:00:00.123Z","type":"PassStateEntered","id":2,"previousEventId":0,'
        '"stateEnteredEventDetails":{"name":"P\\u0085","input":"{}"}}'
    )


def test_the_seed_reaches_the_run(tmp_path, capsys):
    path = write(tmp_path, "invoke.json", {"StartAt": "T", "States": {"T": {
        "Type": "Task", "Resource": "arn:aws:states:::lambda:invoke",
        "Parameters": {"FunctionName": "Fn", "Payload.$": "$"}, "OutputPath": "$.SdkResponseMetadata", "End": True}}})
    handlers = write(tmp_path, "echo_fn.py", "from pyvorn import aws\nhandlers = aws.Handlers()\n"
                     "handlers.lambda_function('Fn', lambda event, context: event)\n")
    outputs = [run(capsys, path, "--handlers", handlers, "--seed", seed)[1] for seed in ("1", "1", "2")]
    assert outputs[0] == outputs[1] != outputs[2]
    assert run(capsys, path)[2] == [
        f"{path}: no handler for the Lambda function 'Fn' (called through arn:aws:states:::lambda:invoke) in state "
        '"T": --stub echo answers every Task with its input, --handlers MODULE_OR_PATH with your own code']


# --- handlers ------------------------------------------------------------------


def test_handlers_answer_their_resources_and_stub_echo_the_rest(tmp_path, capsys):
    definition = {"StartAt": "Q", "States": {
        "Q": {"Type": "Task", "Resource": "arn:aws:states:::sqs:sendMessage", "ResultPath": "$.sent", "Next": "T"},
        "T": {"Type": "Task", "Resource": LAMBDA, "End": True}}}
    path = write(tmp_path, "two.json", definition)
    handlers = write(tmp_path, "fn.py", "from pyvorn import aws\nhandlers = aws.Handlers()\n"
                     "handlers.lambda_function('Fn', lambda event, context: {'got': event})\n")
    assert run(capsys, path, "--handlers", handlers, "--stub", "echo", "--input", '{"n": 1}') == (
        0, ["SUCCEEDED", '{"got":{"n":1,"sent":{"n":1}}}'], [])
    assert run(capsys, path, "--handlers", handlers) == (1, ["RUNNING"], [
        f"{path}: no handler for the resource 'arn:aws:states:::sqs:sendMessage' in state \"Q\": "
        "--stub echo answers every Task with its input, --handlers MODULE_OR_PATH with your own code"])
    odd = write(tmp_path, "odd.py", "from pyvorn import aws\nhandlers = aws.Handlers(default=lambda i, c: {1})\n")
    assert run(capsys, path, "--handlers", odd) == (1, ["RUNNING"], [
        f"{path}: stopped in state \"Q\": the handler of 'arn:aws:states:::sqs:sendMessage' returned a value "
        "JSON cannot hold: Object of type set is not JSON serializable"])


@pytest.mark.parametrize(
    "limits, out, err",
    [
        ({"HeartbeatSeconds": 10}, ["FAILED", "error: States.Timeout"], [
            "state 1  T  Task  2 attempts, 2 failed (States.Timeout, States.Timeout)  failed  error: States.Timeout",
            '{path}: run FAILED in state "T": States.Timeout']),
        ({}, ["RUNNING"], [
            "state 1  T  Task  1 attempt  running",
            "{path}: stopped in state \"T\": it awaits a callback for the task token '{token}', which nothing "
            "here sends, and no TimeoutSeconds or HeartbeatSeconds ends the wait"]),
    ],
)
def test_an_awaited_callback_that_never_comes_times_out_or_stops_the_run(tmp_path, capsys, limits, out, err):
    path = write(tmp_path, "callback.json", {"StartAt": "T", "States": {"T": {
        "Type": "Task", "Resource": "arn:aws:states:::sqs:sendMessage.waitForTaskToken",
        "Parameters": {"token.$": "$$.Task.Token"}, "Retry": [{"ErrorEquals": ["States.Timeout"], "MaxAttempts": 1}],
        "End": True, **limits}}})
    handlers = write(tmp_path, "later.py",
                     "from pyvorn import aws\nhandlers = aws.Handlers(default=lambda i, c: aws.PENDING)\n")
    execution = aws.StateMachine(pathlib.Path(path).read_text()).start_execution(
        {}, handlers=aws.Handlers(default=lambda i, c: aws.PENDING))
    execution.run()
    token = execution.pending_task["task_token"]
    assert run(capsys, path, "--handlers", handlers, "--trace") == (
        1, out, [line.format(path=path, token=token) for line in err])


@pytest.mark.parametrize(
    "source, message",
    [
        ("x = 1\n", "{spec}: defines no 'handlers': set handlers = pyvorn.aws.Handlers() and add to it"),
        ("HANDLERS = {}\n", "{spec}: defines no 'handlers': set handlers = pyvorn.aws.Handlers() and add to it "
         "(HANDLERS is the reduced dialect's table)"),
        ("handlers = {}\n", "{spec}: 'handlers' must be a pyvorn.aws.Handlers, not dict"),
        ("raise OSError('no db')\n", "{spec}: cannot import handlers: OSError: no db"),
        (None, "{spec}: cannot read: No such file"),
    ],
)
def test_a_handlers_module_that_cannot_be_used_is_one_line(tmp_path, capsys, source, message):
    path = write(tmp_path, "flow.json", FLOW)
    spec = write(tmp_path, "h.py", source) if source is not None else str(tmp_path / "none.py")
    assert run(capsys, path, "--handlers", spec) == (1, [], [message.format(spec=spec)])


def test_with_default_fills_gaps_and_leaves_the_original_alone():
    def own(i, c):
        return "own"

    def other(i, c):
        return "other"

    bare = aws.Handlers()
    bare.add("r", own)
    combined = bare.with_default(other)
    combined.add("s", own)
    assert (combined._default, bare._default, "s" in bare._by_resource) == (other, None, False)
    assert aws.Handlers(default=own).with_default(other)._default is own


# --- definitions that cannot run -------------------------------------------------


def test_a_definition_the_checker_refuses_is_reported_as_validate_does(tmp_path, capsys):
    path = write(tmp_path, "bad.json", '{"StartAt": "A", "States": {"A": {"Type": "Pass", "Next": "B"}}}')
    assert run(capsys, path) == (1, [], [
        f"{path}:1:59: ERROR MISSING_TRANSITION_TARGET: Missing 'Next' target: B (/States/A/Next)",
        f"{path}:1:28: ERROR MISSING_END_STATE: Workflow has no terminal state",
    ])


def test_what_cannot_run_yet_is_named_at_its_place(tmp_path, capsys):
    path = write(tmp_path, "par.json", {"StartAt": "a/b", "States": {
        "a/b": {"Type": "Parallel", "Branches": [{"StartAt": "X", "States": {"X": {"Type": "Pass", "End": True}}}],
                "Next": "M"},
        "M": {"Type": "Map", "ItemProcessor": {"StartAt": "Y", "States": {"Y": {"Type": "Pass", "End": True}}},
              "End": True}}})
    assert run(capsys, path, "--stub", "echo") == (1, [], [
        f"{path}:4:10: ERROR UNSUPPORTED_FEATURE: Parallel state is not supported by pyvorn yet (/States/a/b)",
        f"{path}:19:8: ERROR UNSUPPORTED_FEATURE: Map state is not supported by pyvorn yet (/States/M)",
        f"{path}: cannot run yet: the definition is valid, but pyvorn does not run what is named above",
    ])


@pytest.mark.parametrize(
    "args, message",
    [
        (["--stub", "echo"], "pyvorn run: --stub needs --dialect aws"),
        (["--history"], "pyvorn run: --history needs --dialect aws"),
        (["--dialect", "aws", "--journal"], "pyvorn run: --journal needs the reduced dialect"),
        (["--dialect", "aws", "--input", '{"x": 1e400}'],
         "--input: cannot use this input: Out of range float values are not JSON compliant: inf"),
        (["--input", "[1]"], "--input: the input must be a JSON object, not an array"),
    ],
)
def test_usage_errors_exit_with_two(capsys, args, message):
    assert main(["run", str(ROOT / "examples/hello.json"), *args]) == 2
    assert capsys.readouterr().err == message + "\n"


def test_a_seed_outside_64_bits_is_refused(capsys):
    with pytest.raises(SystemExit) as stop:
        main(["run", "--dialect", "aws", str(ROOT / "examples/hello.json"), "--seed", str(2**64)])
    assert stop.value.code == 2
    assert capsys.readouterr().err.endswith(
        "error: argument --seed: must be from 0 to 2**64-1, not 18446744073709551616\n")


# --- pictures ---------------------------------------------------------------------


@pytest.mark.parametrize(
    "rule, text",
    [
        ({"Variable": "$.n", "NumericGreaterThanEquals": 2}, "$.n >= 2"),
        ({"Variable": "$.s", "StringEqualsPath": "$.t"}, "$.s == $.t"),
        ({"Variable": "$.s", "StringMatches": "a*"}, '$.s matches "a*"'),
        ({"Variable": "$.x", "IsPresent": False}, "$.x is not present"),
        ({"Variable": "$.t", "TimestampLessThan": "2024-01-01T00:00:00Z"}, '$.t < "2024-01-01T00:00:00Z"'),
        ({"And": [{"Variable": "$.a", "BooleanEquals": True},
                  {"Not": {"Variable": "$.b", "IsNull": True}}]}, "($.a == true and not $.b is null)"),
    ],
)
def test_choice_rules_read_on_their_edges(rule, text):
    assert rule_text(rule) == text


def test_graph_draws_nested_scopes_and_every_edge(tmp_path, capsys):
    path = write(tmp_path, "flow.json", FLOW)
    assert main(["graph", "--dialect", "aws", "--format", "mermaid", path]) == 0
    assert capsys.readouterr().out.splitlines()[7:] == [
        "    [*] --> s0",
        "    s0 --> s1",
        "    s1 --> s2",
        "    s1 --> s5 : catch States.ALL",
        "    s2 --> s3 : $.a == 1",
        "    s2 --> s5 : default",
        "    s3 --> s4",
        "    s4 --> [*]",
        "    s5 --> [*]",
    ]
    nested = aws.StateMachine(json.dumps({"StartAt": "P", "States": {"P": {
        "Type": "Parallel", "End": True,
        "Branches": [{"StartAt": "X", "States": {"X": {"Type": "Pass", "End": True}}}]}}})).definition
    dot = to_dot(nested).splitlines()
    assert "  subgraph cluster_1 {" in dot and "  s0 -> s1 [label=<branch 1>, style=dotted];" in dot
    assert main(["graph", "--dialect", "aws", write(tmp_path, "bad.json", "{}")]) == 1
    assert capsys.readouterr().err.startswith(f"{tmp_path}/bad.json:1:1: ERROR SCHEMA_VALIDATION_FAILED:")


def test_a_run_is_drawn_from_its_history(tmp_path, capsys):
    path = write(tmp_path, "flow.json", FLOW)
    picture = str(tmp_path / "run.mmd")
    handlers = write(tmp_path, "failing.py", FAILING_LAMBDA)
    assert run(capsys, path, "--handlers", handlers, "--graph", picture)[2] == [
        f"{path}: drew the run in {picture}", f'{path}: run FAILED in state "F": Boom']
    lines = pathlib.Path(picture).read_text(encoding="utf-8").splitlines()
    assert lines[2] == ('    state "T<br/>Task · arn:aws:lambda:us-east-1:123456789012:function:Fn<br/>'
                        'retry States.ALL, max 1<br/>attempt 0: ValueError<br/>attempt 1: ValueError" as s1')
    assert lines[6] == '    state "F<br/>Fail · Boom<br/>entered 1×<br/>FAILED here" as s5'
    assert "    s1 --> s5 : catch States.ALL (taken ×1)" in lines
    assert "    s2 --> s3 : $.a == 1" in lines
    assert lines[-6:] == [
        "    classDef current fill:#ddf4ff,stroke:#0969da,stroke-width:3px", "    class s5 current",
        "    classDef ran fill:#dafbe1,stroke:#1a7f37,stroke-width:2px", "    class s0,s1 ran",
        "    classDef idle fill:#fbfbfc,stroke:#b8bfc6,color:#8c959f", "    class s2,s3,s4 idle",
    ]


def test_an_edge_the_history_cannot_tell_apart_is_not_marked():
    definition = {"StartAt": "C", "States": {
        "C": {"Type": "Choice", "Choices": [{"Variable": "$.a", "IsPresent": True, "Next": "S"}], "Default": "S"},
        "S": {"Type": "Succeed"}}}
    machine = aws.StateMachine(json.dumps(definition))
    execution = machine.start_execution({})
    execution.run()
    assert [line for line in to_mermaid(machine.definition, execution.history).splitlines() if "-->" in line] == [
        "    [*] --> s0", "    s0 --> s1 : $.a is present", "    s0 --> s1 : default", "    s1 --> [*]"]


# --- the sample collection's script -----------------------------------------------


def test_corpus_runs_counts_every_kind_of_verdict(tmp_path, capsys):
    spec = importlib.util.spec_from_file_location("corpus_runs", ROOT / "scripts" / "corpus_runs.py")
    corpus = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(corpus)
    write(tmp_path, "a_flow.json", FLOW)
    write(tmp_path, "b_bad.json", "{}")
    write(tmp_path, "c_loop.json", LOOP)
    write(tmp_path, "d_map.json", {"StartAt": "M", "States": {"M": {"Type": "Map", "End": True, "ItemProcessor": {
        "StartAt": "Y", "States": {"Y": {"Type": "Pass", "Parameters": {"v.$": "States.Format('{}', $)"},
                                         "End": True}}}}}})
    assert corpus.main([str(tmp_path), "--max-steps", "50"]) == 0
    assert capsys.readouterr().out.splitlines() == [
        "files                                       4",
        "refused by the checker                      1",
        "refused as unsupported, files using:        1",
        "  Map state                                 1",
        "raised                                      0",
        "run twice                                   2",
        "  SUCCEEDED                                 1",
        "  stopped at 50 states (RUNNING)            1",
        "non-deterministic (histories differed)      0",
        "",
        "stopped by the limit of 50 states entered:",
        "  c_loop.json: 101 events",
    ]
    missing = subprocess.run(["bash", "scripts/corpus.sh"], cwd=ROOT, capture_output=True, text=True,
                             env={"PATH": "/usr/bin:/bin", "PYVORN_CORPUS": str(tmp_path / "none")})
    assert (missing.returncode, missing.stdout) == (0, (
        f"corpus.sh: no sample collection at {tmp_path}/none (PYVORN_CORPUS names another folder); nothing to run\n"))
