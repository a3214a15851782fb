"""Writes the seed corpora and dictionaries of the fuzz targets.

    python fuzz/seeds.py OUT_DIR

creates OUT_DIR/<target>/ with one file per seed for every target, and
OUT_DIR/<target>.dict where a dictionary helps. Everything is built here from
the project's own examples and hand-written cases, so runs are reproducible
and no corpus is taken from elsewhere. The decoder's seeds come from the
project's encoder, so the extension must be importable.
"""

import hashlib
import json
import pathlib
import struct
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]

# The tests' sample definitions seed the compiler too.
sys.path.insert(0, str(ROOT / "tests" / "python"))
from sample_definitions import EVERY_KIND_AND_FIELD  # noqa: E402

# ---------------------------------------------------------------- JSON texts

JSON_TEXTS = [
    b"null", b"true", b"false", b"0", b"-0", b"1", b"-1", b"0.5", b"-0.0", b"1e400",
    b"0e400", b"-1e-400", b"1E+2", b"18446744073709551615", b"18446744073709551616",
    b"-9223372036854775808", b"-9223372036854775809", b"123456789012345678901234567890",
    b"0.1000000000000000055511151231257827021181583404541015625",
    b'""', b'"plain"', b'"\\"\\\\\\/\\b\\f\\n\\r\\t"', b'"\\u0000\\u001f\\u00e9\\u20ac"',
    b'"\\ud83d\\ude00"', b'"\\ud800"', b'"\\udc00"', b'"\\ud800\\u0041"', '"é€😀"'.encode(),
    b'"\xff"', b'"\xc3"', b'"\xed\xa0\x80"', b'"\xf4\x90\x80\x80"', b'"\x01"',
    b"[]", b"{}", b"[1,2,3]", b'{"a":1,"b":[true,false,null]}', b'{"k":1,"k":2}',
    b'{"b":1,"a":2,"\xc3\xa9":3,"B":4}', b" \t\r\n[ 1 , { } ]\n ", b"[1,]", b'{"a":}',
    b'{"a" 1}', b"[1 2]", b"nul", b"tru", b"01", b"1.", b".5", b"1e", b"-", b"+1",
    b"[" * 128 + b"]" * 128, b"[" * 129 + b"]" * 129, b'{"a":' * 60 + b"0" + b"}" * 60,
    b"\x00", b"[1]\x00", b'"a\x00b"', b"1 2", b"\xef\xbb\xbf{}",
]

# ---------------------------------------------------------------- definitions

def definition(states, start_at):
    return {"StartAt": start_at, "States": states}


DEFINITIONS = [
    EVERY_KIND_AND_FIELD,
    definition({"A": {"Type": "Succeed"}}, "A"),
    definition({"A": {"Type": "Pass", "Result": [[1], [2, 3]], "End": True}}, "A"),
    definition({"A": {"Type": "Task", "Resource": "r", "Parameters": {".$": "$", "": 1},
                      "End": True}}, "A"),
    definition({"A": {"Type": "Task", "Resource": "r", "Next": "A",
                      "Retry": [{"ErrorEquals": ["X"], "MaxAttempts": 0}]}}, "A"),
    definition({"A": {"Type": "Choice", "Choices": [
        {"Variable": "$.a", "NumericEquals": 1, "Next": "B"},
        {"Variable": "$.b", "NumericEquals": 1, "Next": "B"}]}, "B": {"Type": "Fail"}}, "A"),
    definition({"A": {"Type": "Pass", "Result": [1, 2.0], "End": True}}, "A"),
    definition({"a.b": "not a state"}, "a.b"),
    definition({"M": {"Type": "Map"}}, "M"),
    definition({}, "A"),
    # Many states and resources, so lowering numbers more than a handful.
    definition({f"S{i:03}": {"Type": "Task", "Resource": f"svc.{i % 7}",
                             "Next": f"S{i + 1:03}" if i < 40 else "End"}
                for i in range(41)} | {"End": {"Type": "Succeed"}}, "S000"),
]


def definition_texts():
    for path in sorted((ROOT / "examples").glob("*.json")):
        yield path.read_bytes()
    for value in DEFINITIONS:
        yield json.dumps(value).encode()
        yield json.dumps(value, indent=1, ensure_ascii=False).encode()


ASL_WORDS = [
    "StartAt", "States", "Comment", "Type", "Task", "Pass", "Choice", "Succeed", "Fail",
    "Resource", "Parameters", "ResultSelector", "InputPath", "OutputPath", "ResultPath",
    "Next", "End", "Retry", "Catch", "Result", "Choices", "Default", "Error", "Cause",
    "Variable", "NumericEquals", "StringEquals", "BooleanEquals", "ErrorEquals",
    "IntervalSeconds", "MaxAttempts", "BackoffRate", "$", "$.", "$.a", "$$.", "$[0]", ".$",
]
JSON_TOKENS = ["{", "}", "[", "]", ":", ",", '"', "true", "false", "null", "-0", "1e400",
               "\\u", "\\ud800", "\\udc00", "\\\\", "\\\""]


def dictionary(words):
    lines = []
    for word in words:
        escaped = "".join(c if c.isalnum() or c in "$.[]{}:,-+ " else f"\\x{ord(c):02x}"
                          for c in word)
        lines.append(f'"{escaped}"')
        if word.isalpha():
            lines.append(f'"\\"{escaped}\\""')
    return "\n".join(lines) + "\n"


# ---------------------------------------------------------------- encoded values

VALUES = [
    None, True, False, 0, 1, -1, 2**63 - 1, -(2**63), 0.0, -0.0, 1.5, 1e308, "", "x", "é😀",
    "x" * 300, [], {}, [None] * 20, [1, "a", [2.5, {"k": None}]], {"b": True, "a": 1},
    {"records": [{"id": i, "name": f"n{i}", "tags": ["t"] * (i % 3)} for i in range(6)]},
    {"": {"": {"": []}}}, [[[[[[[[]]]]]]]],
]


def value_seeds():
    try:
        from _pyvorn import encode_value
    except ImportError:
        sys.exit("fuzz/seeds.py: the _pyvorn extension is not importable; run scripts/setup.sh")
    for value in VALUES:
        yield encode_value(value)
    # What the encoder never writes but the decoder must take or refuse.
    entry = lambda key, tail: struct.pack("<H", len(key)) + key + tail
    body = struct.pack("<H", 3) + entry(b"b", b"\x06") + entry(b"a", b"\x05\x02") + entry(b"b", b"\x06")
    yield b"\x01" + struct.pack("<H", len(body)) + body  # unsorted, repeated keys
    yield b"\x07" + struct.pack("<d", float("nan"))
    yield b"\x07" + struct.pack("<d", float("-inf"))
    yield b"\x02\xff\xff\x01\x00" * 40 + b"\x06"  # lengths that lie
    yield b"\x03\x02\x00\xed\xa0"  # an encoded surrogate
    yield b"\x06trailing"


# ---------------------------------------------------------------- paths and templates

JSON_PATHS = [
    b"$", b"$$", b"$.a", b"$.a[1]", b"$.a[1].b[0]", b"$['x y'].q", b"$$.state.name", b"$.", b"$[",
    b"$.a[", b"$.a[99999999999999999999]", b"$['unterminated", b"$..a", b"$.\xc3\xa9", b"$$$", b"a",
]

TEMPLATES = [
    b"{}", b'{"a": 1}', b'{"a.$": "$.a"}', b'{"a.$": "$.a[1].b", "k": [1, 2]}', b'{"a.$": 1}',
    b'{"a.$": "$.missing"}', b'{"a.$": "$$.state"}', b'{".$": "$"}', b'{"a": {"b.$": "$.a"}}',
]

# The AWS dialect's JSONPath: a path, a newline, then the document it reads.
AWS_PATHS = [
    b"$", b"$$", b"$.a", b"$.a[1].b[0]", b"$.a[-1]", b"$['x y'].q", b'$["it\'s"]',
    b"$['Test\\\"\"Name\"']", b"$.delivery-partner", "$.é.ü".encode(), b"$[*]", b"$.*",
    b"$..b", b"$..*", b"$..[0]", b"$.a[0:2]", b"$.a[1:]", b"$.a[:1]", b"$.a[-3:]",
    b"$['a','x y']", b"$.a[0,1,-1]", b"$.a[?(@.b)]", b"$.a[?(@.b[0] == 2)]",
    b"$[?(@.q == null && @.r != 'x')]", b"$.a[?(@.n >= 1.5e0)]", b"$.no.such.path", b"$.",
    b"$[", b"$['open", b"$[1:2:3]", b"$.f()", b"$[99999999999999999999]", b"$$$", b"a",
    b"$..*..*..*", b"$" + b".a" * 257,
]
AWS_DOCUMENTS = [
    b"", b'{"a":[1,{"b":[2,3]}],"x y":{"q":null}}', b"[1,2,3]", b'"s"', b"null",
    b'{"users":[{"year":1997,"status":0},{"year":1998,"status":1},5]}',
    b'{"a":{"b":{"c":[0.0,-0,1e2]}},"k":1,"k":2}', b"[" * 1001 + b"]" * 1001,
    b'{"\u00e9":{"\u00fc":true}}', b"[[[[[[[[[[[]]]]]]]]]]]", b'{"a":[' + b"[1,2]," * 50 + b"0]}",
]


def aws_path_seeds():
    return [path + b"\n" + document for i, path in enumerate(AWS_PATHS)
            for document in AWS_DOCUMENTS[i % 3::3]]


# The AWS dialect's timestamps, accepted and refused.
AWS_TIMESTAMPS = [
    b"2016-03-05T21:29:29Z", b"2016-03-05T21:29:29.243167252Z", b"2016-03-05T21:29:29.00Z",
    b"2012-10-09T19:00:55+01:00", b"2012-10-09T12:30:55-05:30", b"2000-02-29T00:00:00Z",
    b"0000-01-01T00:00:00+23:59", b"9999-12-31T23:59:59.999999999-23:59",
    b"2016-12-05 21:29:29Z", b"2016-12-05T21:29:29", b"2016-13-05T21:29:29Z",
    b"2016-12-05T25:29:29Z", b"05-12-2016T21:29:29Z", b"1900-02-29T00:00:00Z",
    b"2016-12-05T21:29:29.0000000001Z", b"2016-12-05T21:29:29.Z", b"",
]

# Choice rules: a byte (odd: a top-level rule), then the rule's JSON.
AWS_CHOICE_RULES = [
    b'{"Variable":"$.a","NumericEquals":0,"Next":"N"}',
    b'{"Next":"N","BooleanEquals":true,"Variable":"$$.Execution.Input.b"}',
    b'{"And":[{"Variable":"$.t","StringEquals":"Public"}],"Next":"P","Comment":"c"}',
    b'{"Not":{"Variable":"$","IsPresent":true},"Next":"N"}',
    b'{"Or":[{"Variable":"$.a","TimestampLessThan":"2012-10-09T19:00:55Z"},'
    b'{"Not":{"Variable":"$.b","StringMatches":"x*\\\\\\*"}}],"Next":"N"}',
    b'{"Variable":"$.a","NumericEqualsPath":"$.b","Next":"N"}',
    b'{"Variable":"$.a","StringEquals":"x","NumericEquals":1}',
    b'{"And":[],"Next":""}', b'{"Variable":"a","IsNull":"yes","Foo":1}',
    b'{"Variable":"$.a","StringMatches":"\\x"}', b"[]", b"{}",
    b'{"Not":' * 400 + b'{"Variable":"$","IsNull":true}' + b"}" * 400,
]


# Choice rules run on an input: a byte (odd: the state has a Default), the
# rule's JSON (a nested rule, without Next), a NUL byte, the input's JSON.
AWS_CHOICE_RUNS = [
    (b'{"Variable":"$.Variable","NumericEquals":0}', b'{"Variable":0.0}'),
    (b'{"Variable":"$.Variable","NumericGreaterThanEqualsPath":"$.Value"}',
     b'{"Variable":1e2,"Value":100}'),
    (b'{"Variable":"$.Variable","StringLessThan":"\xef\xbd\xa1"}', '{"Variable":"😀"}'.encode()),
    (b'{"Variable":"$.v","StringMatches":"*a\\\\*b*\\\\\\\\"}', b'{"v":"xa*bb\\\\"}'),
    (b'{"Variable":"$.v","StringMatches":"*aa*aa*"}', b'{"v":"' + b"a" * 300 + b'"}'),
    (b'{"Variable":"$.t","TimestampGreaterThanPath":"$$.State.EnteredTime"}',
     b'{"t":"2024-01-01T01:00:00+01:00"}'),
    (b'{"Variable":"$.t","TimestampEquals":"2012-10-09T19:00:55Z"}', b'{"t":"2012-10-09 19:00:55Z"}'),
    (b'{"And":[{"Variable":"$.a","IsPresent":true},{"Variable":"$.a","BooleanEquals":true}]}', b"{}"),
    (b'{"Or":[{"Variable":"$.a","IsNull":false},{"Variable":"$.b","IsString":true}]}',
     b'{"a":null}'),
    (b'{"Not":{"Variable":"$$.Execution.Input.a","IsNumeric":true}}', b'{"a":"1"}'),
    (b'{"Variable":"$.items[*].id","IsTimestamp":false}', b'{"items":[{"id":1},{"id":2}]}'),
    (b'{"Variable":"$..a..a..a","IsPresent":true}', b'{"a":' * 40 + b"1" + b"}" * 40),
    (b'{"Variable":"$","IsBoolean":true}', b"true"),
    (b'{"Variable":"$.x","StringEqualsPath":"$.y"}', b'{"x":"a"}'),
    (b'{"Not":' * 300 + b'{"Variable":"$","IsNull":true}' + b"}" * 300, b"null"),
    (b'{"Variable":"$.a","NumericEquals":1}', b""),
]


def aws_choice_run_seeds():
    return [bytes([i % 2]) + rule + b"\0" + data for i in range(2)
            for rule, data in AWS_CHOICE_RUNS]


# AWS-dialect definitions: every state type and its fields, sound and broken.
AWS_DEFINITIONS = [
    definition({"T": {"Type": "Task", "Resource": "arn:r", "InputPath": None, "ResultPath": "$.r",
                      "Parameters": {"a.$": "$.a", "b": [1, {"c.$": "$$.Execution.Id"}]},
                      "ResultSelector": {"s.$": "States.Format('{}', $.x)"},
                      "TimeoutSeconds": 10, "HeartbeatSeconds": 5,
                      "Credentials": {"RoleArn.$": "$.role"},
                      "Retry": [{"ErrorEquals": ["E"], "MaxDelaySeconds": 4,
                                 "JitterStrategy": "FULL"}],
                      "Catch": [{"ErrorEquals": ["States.ALL"], "Next": "W"}], "Next": "W"},
                "W": {"Type": "Wait", "Timestamp": "2016-03-14T01:59:00Z", "Next": "C"},
                "C": {"Type": "Choice", "Choices": [
                    {"Not": {"Variable": "$.a", "IsNull": True}, "Next": "P"}], "Default": "F"},
                "P": {"Type": "Parallel", "Branches": [
                    {"StartAt": "B", "States": {"B": {"Type": "Pass", "Result": {"x.$": 1},
                                                      "End": True}}}], "Next": "M"},
                "M": {"Type": "Map", "ItemsPath": "$.items", "MaxConcurrency": 2,
                      "ItemProcessor": {"ProcessorConfig": {"Mode": "DISTRIBUTED"},
                                        "StartAt": "I", "States": {"I": {"Type": "Succeed"}}},
                      "ItemReader": {}, "Label": "L", "End": True},
                "F": {"Type": "Fail", "ErrorPath": "$.e", "Cause": "c"}}, "T"),
    definition({"A": {"Type": "Pass", "Next": "B"}, "B": {"Type": "Pass", "Next": "A"}}, "A"),
    definition({"A": {"Type": "Map", "Iterator": {"StartAt": "A", "States": {}}}}, "Z"),
    {"QueryLanguage": "JSONata", "StartAt": "A",
     "States": {"A": {"Type": "Pass", "QueryLanguage": "JSONPath", "Assign": {"v": 1},
                      "End": True}}},
    {"Comment": "BASE_INVALID_DER", "StartAt": "State_1"},
]


# Runnable definitions with an input and a task script (see
# fuzz_aws_execution.cpp): one byte per task attempt.
AWS_RUNS = [
    ({"StartAt": "T", "TimeoutSeconds": 300, "States": {
        "T": {"Type": "Task", "Resource": "arn:aws:lambda:us-east-1:1:function:f",
              "TimeoutSeconds": 30, "ResultSelector": {"ok": True}, "ResultPath": "$.r",
              "Retry": [{"ErrorEquals": ["Flaky"], "MaxAttempts": 2, "JitterStrategy": "FULL"}],
              "Catch": [{"ErrorEquals": ["States.ALL"], "ResultPath": "$.error", "Next": "C"}],
              "Next": "C"},
        "C": {"Type": "Choice", "Choices": [{"Variable": "$.n", "NumericLessThan": 3,
                                             "Next": "W"}], "Default": "Done"},
        "W": {"Type": "Wait", "SecondsPath": "$.n", "Next": "T"},
        "Done": {"Type": "Succeed"}}}, {"n": 1}, b"\x05\x00\x03\x02"),
    ({"StartAt": "P", "States": {
        "P": {"Type": "Pass", "Parameters": {"a.$": "$.x", "b": [1, {"c.$": "$$.State.Name"}]},
              "ResultPath": "$.p", "Next": "F"},
        "F": {"Type": "Fail", "ErrorPath": "$.x", "Cause": "stop"}}}, {"x": "E"}, b""),
    ({"StartAt": "L", "States": {
        "L": {"Type": "Task", "Resource": "h", "Next": "L"}}}, [], b"\x01\x00" * 4),
    # Submitted, two heartbeats, timed out, retried, then a callback succeeds.
    ({"StartAt": "T", "TimeoutSeconds": 600, "States": {
        "T": {"Type": "Task", "Resource": "arn:aws:states:::sqs:sendMessage.waitForTaskToken",
              "Parameters": {"token.$": "$$.Task.Token"}, "HeartbeatSeconds": 10,
              "TimeoutSeconds": 60, "Retry": [{"ErrorEquals": ["States.Timeout"]}],
              "Catch": [{"ErrorEquals": ["States.ALL"], "Next": "Done"}], "Next": "Done"},
        "Done": {"Type": "Succeed"}}}, {}, b"\x80\x22\x22\x03\x80\x00"),
]


def aws_run_seeds():
    return [json.dumps(d).encode() + b"\0" + json.dumps(i).encode() + b"\0" + script
            for d, i, script in AWS_RUNS]


def aws_check_seeds():
    texts = [json.dumps(d).encode() for d in AWS_DEFINITIONS]
    return texts + [json.dumps(d, indent=1).encode() for d in AWS_DEFINITIONS[:1]] + [
        b"", b" ", b"not a definition", b"[]", b"{}", b"[" * 1001 + b"]" * 1001]


def aws_choice_seeds():
    return [bytes([i % 2]) + rule for i in range(2) for rule in AWS_CHOICE_RULES]


# The AWS dialect's intrinsic calls and payload templates: the same bytes are
# parsed as a call and read as JSON, so both kinds of seed serve both.
AWS_CALLS = [
    "States.UUID()", "States.Array()", "States.Array(1, 'a', true, false, null, $.x, $$)",
    "States.Format('Formatting argument {}.', $.FunctionInput)", "States.Format('x', 1)",
    "States.Format('\\{{}\\} \\\\{}', 1, 2)", "States.Format('{', 1)", "States.Format($.f, 1)",
    "States.StringToJson('{\"a\": [1]}')", "States.JsonToString($.a)",
    "States.ArrayPartition($.a, 2)", "States.ArrayContains($.a, $.b)",
    "States.ArrayRange(0, 10, 3)", "States.ArrayRange(0, 1000, 1)", "States.ArrayGetItem($.a, -1)",
    "States.ArrayLength(States.UUID())", "States.ArrayUnique($.a)",
    "States.Base64Encode('Data to encode')", "States.Base64Decode('RGF0YSB0byBlbmNvZGU=')",
    "States.Hash('input data', 'SHA-256')", "States.Hash($.a, 'SHA-2')",
    "States.JsonMerge($.a, $.b, false)", "States.JsonMerge($.a, $.b, true)",
    "States.MathRandom(12.5, 44.51)", "States.MathRandom(0, 999, 3)", "States.MathAdd(1.5, -1)",
    "States.StringSplit('Hello\nWorld', '\n')", "States.Nope()", "States.Array(1 2)",
    "States.ArrayGetItem(States.StringSplit($$.StateMachine.Name, '-'), "
    "States.MathAdd(States.ArrayLength(States.StringSplit($$.StateMachine.Name, '-')), -1))",
    "States.Array($['a,b'], $.x[?(@.k == 'y)')], $[0], $..c[*])",
    "States.Format('He said, \\\"Hello, {}!\\\"', 'Test \\\"Name\\\" Here')",
    "States.Array(" + ", ".join(["States.UUID()"] * 10) + ")",
    "States.Array('unterminated", "States.Array($.a-b)", "States.Array($.a[0)",
]
AWS_TEMPLATES = [
    {}, {"Arg1": "argument1", "FromInput.$": "$"}, {"a": 1, "a.$": "$"}, {".$": "$", "": 1},
    {"value.$": "$$.Execution.Input.no_such_jsonpath", "r.$": "States.MathAdd($.a, 1)"},
    {"Entries": [{"Detail.$": "$.d", "Source": "s"}, 3, [{"x.$": "$[0]"}]]},
    {"a.$": 1, "b.$": "nope", "c": {"d.$": "$.", "e.$": None}, "f": [{"g.$": ""}]},
    {"a": "$.x", "e": "States.UUID()", "h": {"i": "$$", "j": ["$.y"]}}, [1], "$.a",
]


def aws_intrinsic_seeds():
    return ([call.encode() for call in AWS_CALLS] +
            [json.dumps(t, ensure_ascii=False).encode() for t in AWS_TEMPLATES] +
            [json.dumps({"k.$": call}).encode() for call in AWS_CALLS] +
            [b'{"k":' * 999 + b'{"x.$":"$"}' + b"}" * 999])


# A state's data flow: a template, a ResultPath and an input, one per line.
AWS_FLOW_TEMPLATES = [
    {}, {"Arg1": "argument1", "FromInput.$": "$"}, {"item.$": "$.items[1]"},
    {"item.$": "$.item.items[1:5].itemValue"}, {"u.$": "$.users[?(@.status == 0)]"},
    {"value.$": "$.no_such_jsonpath"}, {"value.$": "$$.Execution.Input.no_such_jsonpath"},
    {"c.$": "$$", "s.$": "$$.State.Name"}, {"Entries": [{"Detail.$": "$..*", "n": 0.0}, [1]]},
    {"r.$": "States.MathAdd($.a, 1)"}, {"a": 1, "a.$": "$"}, {"deep.$": "$..*..*"},
]
AWS_FLOW_RESULT_PATHS = [b"$", b"$.r", b"$.enigma.mystery", b"$.items[0].x", b"$.items[-1]",
                         b"$$.r", b"$.a[*]", b"$.", b""]
AWS_FLOW_INPUTS = [
    b'{"items":[{"item_key":0},{"item_key":1}],"a":1}', b'{"int-literal":0}', b'"s"', b"[]",
    b'{"users":[{"year":1997,"status":0},{"year":1998,"status":1}]}', b"not json",
    b'{"big":"' + b"a" * 140000 + b'"}', b'{"a":' * 999 + b"0" + b"}" * 999,
]


def aws_data_flow_seeds():
    return ([json.dumps(t, ensure_ascii=False).encode() + b"\n" + path + b"\n" + document
             for i, t in enumerate(AWS_FLOW_TEMPLATES)
             for path in AWS_FLOW_RESULT_PATHS[i % 3::3]
             for document in AWS_FLOW_INPUTS[i % 2::2]
             # a deep scan of a deep scan over the deep input only spends the work budget
             if not ("..*..*" in json.dumps(t) and document.startswith(b'{"a":{'))] +
            [b'{"k":' * 999 + b'{"x.$":"$"}' + b"}" * 999 + b"\n$.k\n" + b"[" * 999 + b"]" * 999])


# ---------------------------------------------------------------- path operations

def path_bytes(segments):
    """A path in fuzz_path_ops' layout: a count, then per segment one byte
    (odd: an index; even: a field, its name's length in the upper bits)."""
    out = bytes([len(segments)])
    for segment in segments:
        if isinstance(segment, int):
            out += bytes([segment << 1 | 1]) if segment < 127 else b"\xff" + struct.pack("<H", segment)
        else:
            name = segment.encode() if isinstance(segment, str) else segment
            out += bytes([len(name) << 1]) + name
    return out


PLACE_PATHS = [
    [], ["a"], ["b"], ["c"], ["zz"], [""], ["é"], [b"\xff"], [0], [1], [2], [300], ["a", "x"],
    ["records", 2, "name"], ["records", 0, "tags", 0], ["", "", ""], [1, 0], [2, 1, "k"],
]


def path_ops_seeds():
    from _pyvorn import encode_value
    data = [encode_value(v) for v in VALUES] + list(value_seeds())[len(VALUES):]
    new_values = [encode_value(v) for v in (None, 1, "new", [1, 2], {"k": {"m": []}})]
    new_values.append(b"\x04\x01")  # cut short
    seeds = []
    for i, path in enumerate(PLACE_PATHS):
        for j, value in enumerate(new_values):
            for item in data[(i + j) % 9::9]:
                seeds.append(path_bytes(path) + struct.pack("<H", len(value)) + value + item)
    return seeds


# ---------------------------------------------------------------- machines

# fuzz_step reads a machine byte by byte; these name the choices it makes.
# Keys, samples and error names are positions in its tables.
KEY = {"a": 0, "b": 1, "k": 2, "r": 3, "x": 4, "y": 5, "": 6, "é": 7}
SAMPLE = {"null": 0, "true": 1, "7": 2, "-1": 3, "1.5": 4, '"s"': 5, "[]": 6, "{}": 7,
          "ab": 8, "x": 9, "list": 10, "pair": 11}
ERROR = {"Transient": 0, "Permanent": 1, "Logic": 2, "External": 3, "*": 4}
TASK, PASS, CHOICE, SUCCEED, FAIL = range(5)
END = b"\x01"
NONE = b"\x00"


def mpath(*segments):
    out = bytes([len(segments)])
    for segment in segments:
        out += bytes([segment << 1 | 1]) if isinstance(segment, int) else bytes([KEY[segment] << 1])
    return out


def maybe(field):
    return NONE if field is None else b"\x01" + field


def nxt(state):
    return b"\x00" + bytes([state])


def sample(name):
    return bytes([SAMPLE[name]])


def names(*errors):
    return bytes([len(errors)]) + bytes(ERROR[e] for e in errors)


def template(*entries):
    """Entries: (key, path bytes) for a reference, (key, sample) for a literal."""
    out = bytes([len(entries)])
    for key, value in entries:
        reference = value[:1] != b"L"
        out += bytes([KEY[key] << 1 | reference]) + (value if reference else value[1:])
    return b"\x01" + out


def replace():
    return b"\x00"


def place(path):
    return b"\x01" + path


def discard():
    return b"\x02"


def task(handler=0, transition=END, retry=(), catch=(), input_path=None, output_path=None,
         result_path=replace(), parameters=NONE, selector=NONE):
    out = bytes([TASK, handler, 0]) + transition + bytes([len(retry)])
    for errors, attempts in retry:
        out += errors + bytes([attempts])
    out += bytes([len(catch)])
    for errors, target in catch:
        out += errors + bytes([target])
    return (out + maybe(input_path) + maybe(output_path) + result_path + parameters
            + selector)


def pass_state(result=None, transition=END, input_path=None, output_path=None,
               result_path=replace(), parameters=NONE):
    return (bytes([PASS]) + maybe(result) + transition + maybe(input_path)
            + maybe(output_path) + result_path + parameters)


def choice(branches, default=None):
    out = bytes([CHOICE, len(branches)])
    for condition, target in branches:
        out += bytes([condition, target])
    return out + maybe(None if default is None else bytes([default]))


def fail(message=1):
    return bytes([FAIL, message])


def machine(states, conditions=(), start=0, input_value=sample("x"), refuse=0xFF, outcomes=b""):
    """conditions: (kind, path bytes, value byte); outcomes: the registry's
    script, one byte per call (0 succeed then a sample, 3 to 6 fail with
    Transient, Permanent, Logic or External then a message, 7 not found)."""
    out = bytes([len(states) - 1, len(conditions)])
    for kind, path, value in conditions:
        out += bytes([kind]) + path + bytes([value])
    out += b"".join(states) + bytes([start])
    out += b"\x00" + input_value + bytes([refuse]) + outcomes
    return out


def step_seeds():
    ok = lambda name: b"\x00" + sample(name)
    failing = lambda kind: bytes([3 + ["Transient", "Permanent", "Logic", "External"].index(kind), 1])
    seeds = [
        machine([pass_state(result=sample("ab"))]),
        machine([pass_state(input_path=mpath("x"), output_path=mpath("y"),
                            result_path=place(mpath("r")))]),
        machine([pass_state(parameters=template(("a", mpath("x", "y")), ("k", b"L" + sample("7"))),
                            transition=nxt(1)), SUCCEED.to_bytes(1, "little")]),
        machine([task(transition=nxt(1), result_path=place(mpath("r"))), bytes([SUCCEED])],
                outcomes=ok("7")),
        machine([task(retry=[(names("External"), 3)], catch=[(names("*"), 1)]), fail(2)],
                outcomes=failing("External") * 4),
        machine([task(retry=[(names("Transient"), 1), (names("Transient", "*"), 4)])],
                outcomes=failing("Transient") * 2 + ok("list")),
        machine([task(handler=3)]),
        machine([task(parameters=template(("k", mpath("r"))), selector=template(("y", mpath("a", 1))),
                      output_path=mpath("y"), result_path=place(mpath("x", "y")))],
                outcomes=ok("list")),
        machine([choice([(0, 1), (1, 2), (0xFF, 0)], default=2), pass_state(transition=nxt(0)),
                 bytes([SUCCEED])],
                conditions=[(0, mpath("k"), 0xF9), (1, mpath("r"), KEY["k"])],
                input_value=sample("list")),
        machine([choice([(0, 3)]), bytes([SUCCEED])], conditions=[(2, mpath(), 1)],
                input_value=sample("true")),
        machine([pass_state(transition=nxt(1)), task(transition=nxt(0))], refuse=1,
                outcomes=ok("null") * 3),
        machine([task(result_path=discard(), catch=[(names("Logic"), 0)])],
                outcomes=failing("Logic") + failing("Permanent")),
        machine([fail(3)]),
        machine([pass_state()], start=9),
    ]
    # And a few inputs that read as whatever they happen to say.
    for i in range(24):
        seeds.append(b"".join(hashlib.sha256(f"step {i} {k}".encode()).digest()
                              for k in range(1 + i % 6)))
    return seeds


# ---------------------------------------------------------------- output

TARGETS = {
    "fuzz_json_read": (lambda: JSON_TEXTS + list(definition_texts()), JSON_TOKENS + ASL_WORDS),
    "fuzz_compile": (lambda: list(definition_texts()), JSON_TOKENS + ASL_WORDS),
    "fuzz_decode": (lambda: list(value_seeds()), None),
    "fuzz_json_path": (lambda: JSON_PATHS, None),
    "fuzz_json_template": (lambda: TEMPLATES + JSON_TEXTS, JSON_TOKENS),
    "fuzz_path_ops": (path_ops_seeds, None),
    "fuzz_step": (step_seeds, None),
    "fuzz_aws_json_path": (aws_path_seeds, JSON_TOKENS + ["$", "$$", "..", "[*]", "[?(@.", "==",
                                                          "!=", "<=", ">=", "&&", "null", ":"]),
    "fuzz_aws_timestamp": (lambda: AWS_TIMESTAMPS, ["T", "Z", ":", "-", "+", ".", "29", "00"]),
    "fuzz_aws_choice_rule": (aws_choice_seeds, JSON_TOKENS + ASL_WORDS + [
        "Variable", "And", "Or", "Not", "StringMatches", "TimestampEquals", "IsPresent",
        "NumericEqualsPath", "\\*"]),
    "fuzz_aws_choice_evaluation": (aws_choice_run_seeds, JSON_TOKENS + [
        "Variable", "And", "Or", "Not", "StringMatches", "StringLessThan", "NumericEquals",
        "TimestampEquals", "TimestampLessThanPath", "BooleanEquals", "IsPresent", "IsNull",
        "IsTimestamp", "$$.Execution.Input", "\\*", "*", "2012-10-09T19:00:55Z", "\u0000"]),
    "fuzz_aws_intrinsic": (aws_intrinsic_seeds, JSON_TOKENS + [
        "States.", "Format(", "Array(", "MathAdd(", "JsonMerge(", "Hash(", "UUID()", ".$", "$$.",
        "'", "\\'", "\\{", "{}", ", ", "SHA-256", "false"]),
    "fuzz_aws_data_flow": (aws_data_flow_seeds, JSON_TOKENS + [
        ".$", "$", "$$", "$.", "$..*", "[*]", "[0]", "[-1]", "States.", "\n"]),
    "fuzz_aws_execution": (aws_run_seeds, JSON_TOKENS + ASL_WORDS + [
        "Wait", "Seconds", "SecondsPath", "Retry", "Catch", "ErrorEquals", "States.ALL",
        "TimeoutSeconds", "ResultPath", "HeartbeatSeconds", ".waitForTaskToken", ".sync",
        "arn:aws:states:::sqs:sendMessage", "\u0000"]),
    "fuzz_aws_check": (aws_check_seeds, JSON_TOKENS + ASL_WORDS + [
        "Wait", "Parallel", "Map", "Branches", "ItemProcessor", "Iterator", "ItemsPath",
        "ItemSelector", "Timestamp", "Seconds", "ErrorPath", "Credentials", "RoleArn",
        "QueryLanguage", "JSONata", "Assign", "Label", "States.ALL"]),
}


def write_seeds(out, target, seeds):
    folder = out / target
    folder.mkdir(parents=True, exist_ok=True)
    for seed in seeds:
        (folder / hashlib.sha1(seed).hexdigest()).write_bytes(seed)
    return len(seeds)


def main(argv):
    # An option is a slip (--help), never a folder to fill with seeds.
    if len(argv) != 2 or argv[1].startswith("-"):
        sys.exit(__doc__)
    out = pathlib.Path(argv[1])
    for target, (seeds, words) in TARGETS.items():
        count = write_seeds(out, target, seeds())
        if words:
            (out / f"{target}.dict").write_text(dictionary(words), encoding="ascii")
        print(f"{target}: {count} seeds")


if __name__ == "__main__":
    main(sys.argv)
