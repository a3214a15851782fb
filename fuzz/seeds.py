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

EVERY_FIELD = {
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


def definition(states, start_at):
    return {"StartAt": start_at, "States": states}


DEFINITIONS = [
    EVERY_FIELD,
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

# ---------------------------------------------------------------- output

TARGETS = {
    "fuzz_json_read": (lambda: JSON_TEXTS + list(definition_texts()), JSON_TOKENS + ASL_WORDS),
    "fuzz_compile": (lambda: list(definition_texts()), JSON_TOKENS + ASL_WORDS),
    "fuzz_decode": (lambda: list(value_seeds()), None),
    "fuzz_json_path": (lambda: JSON_PATHS, None),
    "fuzz_json_template": (lambda: TEMPLATES + JSON_TEXTS, JSON_TOKENS),
}


def write_seeds(out, target, seeds):
    folder = out / target
    folder.mkdir(parents=True, exist_ok=True)
    for seed in seeds:
        (folder / hashlib.sha1(seed).hexdigest()).write_bytes(seed)
    return len(seeds)


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    out = pathlib.Path(argv[1])
    for target, (seeds, words) in TARGETS.items():
        count = write_seeds(out, target, seeds())
        if words:
            (out / f"{target}.dict").write_text(dictionary(words), encoding="ascii")
        print(f"{target}: {count} seeds")


if __name__ == "__main__":
    main(sys.argv)
