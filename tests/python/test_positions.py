"""Mapping a fault's location path back to a line and column of the definition."""

import json

import _pyvorn
import pytest

from pyvorn._report import describe
from pyvorn._source import ScanError, locate, scan


def fault_of(text):
    try:
        _pyvorn.validate(text)
    except (_pyvorn.ParseError, _pyvorn.ValidationError) as error:
        return describe(error, text)
    raise AssertionError("the definition is valid")


def position_of(text, needle, occurrence=1):
    """1-based line and column of the start of the `occurrence`-th `needle`."""
    at = -1
    for _ in range(occurrence):
        at = text.index(needle, at + 1)
    line = text.count("\n", 0, at) + 1
    return line, at - (text.rfind("\n", 0, at) + 1) + 1


NESTED = """{
  "StartAt": "Fetch",
  "States": {
    "Fetch": {
      "Type": "Task",
      "Resource": "svc",
      "Retry": [
        {"ErrorEquals": ["External"]},
        {
          "ErrorEquals": ["*"],
          "MaxAttempts":
              0
        }
      ],
      "End": true
    }
  }
}"""

# A state whose name is written with escapes, and one whose name holds a dot,
# beside a state named by the part before the dot.
ESCAPED = r"""{"StartAt": "F\u006fo", "States": {
  "Foo": {"Type": "Pass", "Next": "a.b"},
  "a": {"Type": "Pass", "Next": "Foo"},
  "a.b": {"Type": "Pass", "Next": "q\"x"}
}}"""

UNICODE = '{"StartAt": "😀", "States": {"😀": {"Type": "Pass", "Comment": "ü", "Next": "ẞ"}}}'

SPANNING = """{"StartAt": "S", "States": {"S": {"Type": "Pass", "End": true,
  "Result": {
    "list": [1,
             2.5]
  }}}}"""

TEMPLATE = """{"StartAt": "T", "States": {"T": {"Type": "Task", "Resource": "r", "End": true,
  "Parameters": {"a.b.$": "$.x", "c.$": "nope"}}}}"""

DUPLICATE = """{"StartAt": "A", "States": {
  "A": {"Type": "Pass", "Next": "B"},
  "B": {"Type": "Succeed"},
  "A": {"Type": "Pass", "Next": "Gone"}
}}"""

# User text that itself holds " in " and " at root" must not be taken for the location.
TRICKY_NAMES = json.dumps(
    {"StartAt": "x in y", "States": {"x in y": {"Type": "Pass", "Next": "a in b at root"}}}
)

CRLF = '{\r\n  "StartAt": "A",\r\n  "States": {\r\n    "A": {"Type": "Pass", "Next": "B"}\r\n  }\r\n}'


@pytest.mark.parametrize(
    "text, location, needle, occurrence",
    [
        (NESTED, "States.Fetch.Retry[1].MaxAttempts", "0\n", 1),
        (ESCAPED, "States.a.b.Next", '"q\\"x"', 1),
        (UNICODE, "States.😀.Next", '"ẞ"', 1),
        (SPANNING, "States.S.Result", '{\n    "list"', 1),
        (TEMPLATE, "States.T.Parameters.c.$", '"nope"', 1),
        (DUPLICATE, "States.A.Next", '"Gone"', 1),
        (TRICKY_NAMES, "States.x in y.Next", '"a in b at root"', 1),
        (CRLF, "States.A.Next", '"B"', 1),
        ('{"StartAt": "A", "States": {}}', "", "{", 1),
        ('\n\n   {"States": {}, "StartAt": "A"}', "", "{", 1),
    ],
)
def test_faults_point_where_the_value_starts(text, location, needle, occurrence):
    fault = fault_of(text)
    assert fault.location == location
    assert (fault.line, fault.column) == position_of(text, needle, occurrence)


def test_unicode_columns_count_characters_not_bytes():
    fault = fault_of(UNICODE)
    # 74 characters (81 bytes) stand before the value of Next.
    assert (fault.line, fault.column) == (1, 75)


def test_parse_errors_carry_value_hint_and_position():
    fault = fault_of(NESTED)
    assert fault.as_dict() == {
        "kind": "ValidationError",
        "message": "MaxAttempts must be >= 1, found 0 in States.Fetch.Retry[1].MaxAttempts",
        "location": "States.Fetch.Retry[1].MaxAttempts",
        "line": 12,
        "column": 15,
        "value": "0",
        "hint": "MaxAttempts must be at least 1.",
    }
    wrong_type = NESTED.replace("0\n", '"0"\n')
    fault = fault_of(wrong_type)
    assert (fault.kind, fault.location, fault.line, fault.column) == (
        "ParseError",
        "States.Fetch.Retry[1].MaxAttempts",
        12,
        15,
    )
    assert fault.message.endswith(": expected non-negative integer")


@pytest.mark.parametrize(
    "text, line, column",
    [
        ('{"StartAt": "A",\n "States": {,}}', 2, 13),
        ('{"StartAt": "A", "States": {}} x', 1, 32),
        ("", 1, 1),
    ],
)
def test_text_that_is_not_json_keeps_the_reader_position(text, line, column):
    fault = fault_of(text)
    assert fault.location is None
    assert fault.message.startswith("invalid JSON: ")
    assert (fault.line, fault.column) == (line, column)


def test_missing_key_points_at_its_object_and_unknown_key_at_its_value():
    text = '{"StartAt": "W", "States": {"W": {"Type": "Task", "Next": "W"}}}'
    fault = fault_of(text)
    assert (fault.location, fault.column) == ("States.W", text.index('{"Type"') + 1)
    text = '{"StartAt": "A", "States": {"A": {"Type": "Succeed", "Colour": [\n1]}}}'
    fault = fault_of(text)
    assert (fault.location, fault.line, fault.column) == ("States.A.Colour", 1, text.index("[") + 1)


def test_locate_backtracks_over_dotted_names_and_reports_partial_matches():
    root = scan('{"a": {"b": {"c": 1}}, "a.b": {"d": [10, {"e": 2}]}}')
    node, whole = locate(root, "a.b.d[1].e")
    assert whole and node.value == 2
    node, whole = locate(root, "a.b.c")
    assert whole and node.value == 1
    node, whole = locate(root, "a.b.d[5]")
    assert not whole and node.kind == "array"
    node, whole = locate(root, "nothing.here")
    assert not whole and node is root


@pytest.mark.parametrize(
    "literal, expected",
    [
        ("1", 1),
        ("-1", -1),
        ("1.0", 1.0),
        ("1e2", 100.0),
        ("-0", -0.0),
        ("18446744073709551615", 18446744073709551615),
        ("18446744073709551616", 18446744073709551616.0),
        ("-9223372036854775808", -9223372036854775808),
        ("-9223372036854775809", -9223372036854775809.0),
    ],
)
def test_scanned_numbers_keep_the_native_reader_forms(literal, expected):
    value = scan(f"[{literal}]").to_python()[0]
    assert value == expected and type(value) is type(expected)


def test_scanner_reads_strings_and_repeated_keys_like_the_reader():
    value = scan('{"k": 1, "\\u00e9\\ud83d\\ude00\\n": "\\"", "k": [true, false, null]}').to_python()
    assert value == {"é😀\n": '"', "k": [True, False, None]}


@pytest.mark.parametrize("text", ["{", '{"a" 1}', "[1,]", "01", "1 2", '"\x01"', "[" * 129 + "]" * 129])
def test_scanner_refuses_what_the_reader_refuses(text):
    with pytest.raises(ScanError):
        scan(text)
