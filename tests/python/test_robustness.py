"""Hostile sizes and bytes: very deep, very long, very wide, every byte value,
invalid UTF-8 and lone surrogates, through the compiler, the value format,
running machines and JSONPath. Each input ends in a value or in one clear
error, never a crash, a hang or a wrong value. No time is asserted, but the
sizes are such that work quadratic in them would not finish at all.

Raw bytes that are not UTF-8 cannot reach the reader from Python (a str is
always text); the reader's own tests cover them."""

import json
import random
import struct

import pytest

import _pyvorn
from _pyvorn import (
    JsonPath,
    JsonTemplate,
    StateMachine,
    compile,
    decode_value,
    encode_value,
    generate,
    json_place,
    lower,
    validate,
)
from conftest import definition

DEEP = 100_000
LONG = 10 * 1024 * 1024
WIDE = 1_000_000

SUCCEED = '"States":{"A":{"Type":"Succeed"}}'


def pass_result(result_text):
    return '{"StartAt":"A","States":{"A":{"Type":"Pass","End":true,"Result":' + result_text + "}}}"


def with_comment(comment_text):
    """A definition whose Comment is the raw text between the quotes, which
    starts at column 13."""
    return '{"Comment":"' + comment_text + '","StartAt":"A",' + SUCCEED + "}"


def error_of(call, *args):
    with pytest.raises(Exception) as info:
        call(*args)
    return type(info.value), str(info.value)


# ---------------------------------------------------------------- nesting


def column_of_bracket(text, count):
    """The 1-based column of the count-th opening bracket (no strings in the
    text hold brackets, and no line breaks)."""
    seen = 0
    for offset, character in enumerate(text):
        if character in "[{":
            seen += 1
            if seen == count:
                return offset + 1
    raise AssertionError("not that many brackets")


@pytest.mark.parametrize("opening,closing", [("[", "]"), ('{"a":', "}"), ('[{"a":', "}]")])
def test_nesting_far_past_the_reader_limit(opening, closing):
    closed = opening * DEEP + "0" + closing * DEEP
    unclosed = opening * DEEP
    in_definition = pass_result(opening * DEEP)
    for text in (closed, unclosed, in_definition):
        column = column_of_bracket(text, 129)
        assert error_of(validate, text) == (
            _pyvorn.ParseError,
            f"invalid JSON: recursion limit exceeded at line 1 column {column}",
        )


def test_nesting_at_the_reader_limit_compiles():
    inner = 128 - 3
    text = pass_result("[" * inner + "1" + "]" * inner)
    assert validate(text) is None
    assert compile(text) == generate(lower(text))
    # The same depth as Python data, through the value format and back.
    value = 1
    for _ in range(inner):
        value = [value]
    assert decode_value(encode_value(value)) == value


def test_deep_python_values_are_refused_not_overflowed():
    deep_list, deep_dict = [], {}
    for _ in range(DEEP):
        deep_list = [deep_list]
        deep_dict = {"k": deep_dict}
    for value in (deep_list, deep_dict):
        assert error_of(encode_value, value)[0] is RecursionError


def test_deep_encoded_data_is_refused():
    # Containers claiming the whole remaining input, nested far past the cap.
    nested = b"".join(b"\x02\xff\xff\x01\x00" for _ in range(DEEP)) + b"\x06"
    assert error_of(decode_value, nested) == (ValueError, "decode failed: InvalidType")


# ---------------------------------------------------------------- long strings


def test_ten_megabyte_texts_in_a_definition():
    name = "n" * LONG
    text = json.dumps({"StartAt": name, "States": {name: {"Type": "Succeed", "Comment": name}}})
    assert validate(text) is None
    assert name in compile(text)
    escaped = "\\u00e9" * (LONG // 6)
    assert validate(with_comment(escaped)) is None
    # Static data that long cannot be encoded: refused by validation.
    assert error_of(validate, pass_result(json.dumps(name))) == (
        _pyvorn.ValidationError,
        f"Result too large for the binary value format (string of {LONG} bytes exceeds the"
        " limit of 65535 bytes) in States.A.Result\n"
        "  Hint: Split the machine or its static data into smaller parts.",
    )
    # Unterminated: one error at the end of the text.
    assert error_of(validate, '{"Comment":"' + "x" * LONG) == (
        _pyvorn.ParseError,
        f"invalid JSON: EOF while parsing a string at line 1 column {LONG + 13}",
    )


def test_ten_megabyte_values_and_bytes():
    assert error_of(encode_value, "x" * LONG) == (
        ValueError, f"string of {LONG} bytes exceeds the limit of 65535 bytes"
    )
    assert error_of(encode_value, {"x" * LONG: 1}) == (
        ValueError, f"object key of {LONG} bytes exceeds the limit of 65535 bytes"
    )
    # A short string followed by megabytes: the rest is ignored.
    assert decode_value(b"\x03\x01\x00x" + b"\xff" * LONG) == "x"
    # The root's elements may run on past its body length into the rest of
    # the input; the count, never the megabytes, bounds the work.
    assert decode_value(b"\x02\xff\xff\xff\xff" + b"\x06" * LONG) == [None] * 65535


# ---------------------------------------------------------------- wide objects


def test_a_million_keys_in_a_definition():
    members = ",".join(f'"k{i}":{i}' for i in range(WIDE))
    assert error_of(validate, pass_result("{" + members + "}")) == (
        _pyvorn.ValidationError,
        f"Result too large for the binary value format (object of {WIDE} entries exceeds the"
        " limit of 65535 entries) in States.A.Result\n"
        "  Hint: Split the machine or its static data into smaller parts.",
    )
    # One key written a million times: the last one wins, and it fits.
    repeated = ",".join(f'"k":{i}' for i in range(WIDE))
    source = compile(pass_result("{" + repeated + "}"))
    assert source == compile(pass_result('{"k":%d}' % (WIDE - 1)))


def test_a_million_states():
    states = ",".join(f'"S{i}":{{"Type":"Succeed"}}' for i in range(WIDE))
    assert error_of(validate, '{"StartAt":"S0","States":{' + states + "}}") == (
        _pyvorn.ValidationError,
        f"too many states for 16-bit ids ({WIDE}, at most 65536) in States\n"
        "  Hint: Split the machine or its static data into smaller parts.",
    )


def test_a_million_keys_in_a_value():
    wide = {f"k{i}": i for i in range(WIDE)}
    assert error_of(encode_value, wide) == (
        ValueError, f"object of {WIDE} entries exceeds the limit of 65535 entries"
    )
    assert error_of(encode_value, list(wide)) == (
        ValueError, f"array of {WIDE} elements exceeds the limit of 65535 elements"
    )


# ---------------------------------------------------------------- every byte


def expected_for_comment_character(code):
    """What a definition whose Comment holds the one character does."""
    if code < 0x20:
        return (
            _pyvorn.ParseError,
            "invalid JSON: control character (\\u0000-\\u001F) found while parsing a string"
            " at line 1 column 13",
        )
    if code == ord('"'):
        return _pyvorn.ParseError, "invalid JSON: expected `,` or `}` at line 1 column 14"
    if code == ord("\\"):
        # The backslash escapes the closing quote; the string runs on.
        return _pyvorn.ParseError, "invalid JSON: expected `,` or `}` at line 1 column 17"
    return None


@pytest.mark.parametrize("code", range(256))
def test_every_code_point_below_256_in_a_definition(code):
    text = with_comment(chr(code))
    expected = expected_for_comment_character(code)
    if expected is None:
        assert validate(text) is None
    else:
        assert error_of(validate, text) == expected


def test_every_character_survives_encoding():
    characters = [chr(c) for c in range(0x110000) if not 0xD800 <= c <= 0xDFFF]
    # Three copies of a chunk stay under the format's 65 535-byte body limit.
    for start in range(0, len(characters), 4096):
        chunk = "".join(characters[start : start + 4096])
        value = {chunk: [chunk, chunk[::-1]]}
        assert decode_value(encode_value(value)) == value
        assert validate(with_comment(json.dumps(chunk)[1:-1])) is None


@pytest.mark.parametrize("byte", range(256))
def test_every_byte_value_as_encoded_data(byte):
    one = bytes([byte])
    if byte == 0x06:
        assert decode_value(one) is None
    else:
        assert error_of(decode_value, one) == (ValueError, "decode failed: InvalidType")
    # As the byte of a boolean, the one byte of a string, and the first
    # byte of a key.
    assert decode_value(b"\x05" + one) is (byte != 0)
    key_entry = b"\x01\x00" + one + b"\x06"
    body = struct.pack("<H", 1) + key_entry
    as_key = b"\x01" + struct.pack("<H", len(body)) + body
    if byte < 0x80:
        assert decode_value(b"\x03\x01\x00" + one) == chr(byte)
        assert decode_value(as_key) == {chr(byte): None}
    else:
        assert error_of(decode_value, b"\x03\x01\x00" + one)[1] == "decode failed: InvalidType"
        assert error_of(decode_value, as_key)[1] == "decode failed: InvalidType"
    # Every tag followed by the byte and nothing else.
    for tag in range(1, 8):
        try:
            decode_value(bytes([tag, byte]))
        except ValueError as error:
            assert str(error) == "decode failed: InvalidType"


# ---------------------------------------------------------------- bad text


INVALID_UTF8 = [
    b"\x80",  # a continuation byte alone
    b"\xc0\x80",  # overlong NUL
    b"\xc1\xbf",  # overlong
    b"\xe0\x80\x80",  # overlong three-byte form
    b"\xed\xa0\x80",  # an encoded high surrogate
    b"\xed\xbf\xbf",  # an encoded low surrogate
    b"\xf4\x90\x80\x80",  # past U+10FFFF
    b"\xf8\x88\x80\x80\x80",  # five-byte form
    b"\xe2\x82",  # cut short
    b"a\xffb",
]


@pytest.mark.parametrize("text", INVALID_UTF8)
def test_invalid_utf8_in_encoded_strings_and_keys(text):
    def container(tag, count, *parts):
        body = struct.pack("<H", count) + b"".join(parts)
        return bytes([tag]) + struct.pack("<H", len(body)) + body

    string = b"\x03" + struct.pack("<H", len(text)) + text
    keyed = container(0x01, 1, struct.pack("<H", len(text)), text, b"\x06")
    nested = container(0x02, 2, b"\x06", container(0x01, 1, b"\x01\x00k", string))
    for data in (string, keyed, nested):
        assert error_of(decode_value, data) == (ValueError, "decode failed: InvalidType")
    # The same bytes made valid decode, so the refusal is about the text.
    assert decode_value(nested.replace(text, b"x" * len(text))) == [None, {"k": "x" * len(text)}]


@pytest.mark.parametrize(
    "escape,column",
    [
        ("\\ud800", 13),  # at the escape: no low half follows
        ("\\udfff", 20),  # just after the string: a low half alone
        ("\\ud800\\u0041", 13),
        ("\\udc00\\ud800", 19),
        ("x\\ud83dy", 14),
    ],
)
def test_lone_surrogate_escapes_are_refused(escape, column):
    assert error_of(validate, with_comment(escape)) == (
        _pyvorn.ParseError, f"invalid JSON: lone surrogate in hex escape at line 1 column {column}"
    )


def test_escaped_surrogate_pairs_are_one_character():
    assert validate(with_comment("\\ud83d\\ude00")) is None
    source = compile(
        '{"StartAt":"\\ud83d\\ude00","States":{"\\ud83d\\ude00":{"Type":"Succeed"}}}'
    )
    assert source == compile(json.dumps({"StartAt": "😀", "States": {"😀": {"Type": "Succeed"}}},
                                        ensure_ascii=False))


@pytest.mark.parametrize("surrogate", ["\ud800", "\udfff", "a\udc80b"])
def test_lone_surrogates_in_python_text(surrogate):
    for call, argument in [
        (validate, with_comment(surrogate)),
        (compile, with_comment(surrogate)),
        (encode_value, surrogate),
        (encode_value, {"k": [surrogate]}),
        (encode_value, {surrogate: 1}),
    ]:
        assert error_of(call, argument)[0] is UnicodeEncodeError


# ---------------------------------------------------------------- running machines

ECHO_TASK = definition(
    {"A": {"Type": "Task", "Resource": "svc", "ResultPath": "$.echo", "Next": "B"},
     "B": {"Type": "Pass", "Parameters": {"copy.$": "$.echo"}, "ResultPath": "$.copy",
           "End": True}}
)


def deep_list(levels):
    value = []
    for _ in range(levels):
        value = [value]
    return value


HOSTILE_DATA = {
    "deep": deep_list(DEEP),
    "long string": "x" * LONG,
    "long key": {"k" * LONG: 1},
    "wide object": {f"k{i}": i for i in range(WIDE)},
    "wide array": [None] * WIDE,
    "lone surrogate": ["ok", "a\udc80b"],
    "surrogate key": {"\ud800": 1},
}


@pytest.mark.parametrize("value", HOSTILE_DATA.values(), ids=HOSTILE_DATA.keys())
def test_hostile_state_data_is_one_clear_error(value):
    """What encode_value refuses, a machine refuses the same way: raised when
    it is the initial input, a failed step when a handler returns it."""
    kind, message = error_of(encode_value, {"v": value})
    assert kind in (RecursionError, ValueError, UnicodeEncodeError)
    assert error_of(StateMachine, ECHO_TASK, {"v": value}) == (kind, message)
    machine = StateMachine(ECHO_TASK, {"n": 1})
    machine.register_handler("svc", lambda ctx: {"v": value})
    assert machine.run()["status"] == "fatal"
    assert machine.journal == [{"state_name": "A", "state_id": 0, "attempt": 0,
                                "error": f"handler return: {kind.__name__}: {message}"}]
    assert machine.current_state == 0


def test_every_character_runs_through_a_machine():
    characters = [chr(c) for c in range(0x110000) if not 0xD800 <= c <= 0xDFFF]
    for start in range(0, len(characters), 2048):
        chunk = "".join(characters[start : start + 2048])
        machine = StateMachine(ECHO_TASK, {chunk: chunk[::-1]})
        machine.register_handler("svc", lambda ctx: ctx["input"][chunk])
        result = machine.run()
        assert result == {"status": "completed", "output": {
            chunk: chunk[::-1], "copy": {"copy": chunk[::-1]}, "echo": chunk[::-1]}}


@pytest.mark.parametrize("code", range(256))
def test_every_code_point_below_256_in_state_and_resource_names(code):
    name = chr(code)
    text = json.dumps({"StartAt": name, "States": {
        name: {"Type": "Task", "Resource": name, "End": True, "Comment": name}}})
    machine = StateMachine(text, {name: name})
    assert machine.state_names == [name] and machine.handler_names == [name]
    machine.register_handler(name, lambda ctx: ctx["input"])
    assert machine.run() == {"status": "completed", "output": {name: name}}
    assert repr(machine) == f'<StateMachine states=1 current="{name}">'


def test_a_wide_handler_table():
    """Many resources, most of them unknown to the machine, each registered
    twice in a shuffled order: every state is served by the callable last
    registered for its own resource."""
    served = 2000
    names = [f"T{i}" for i in range(served)]
    states = {name: {"Type": "Task", "Resource": f"r{i}", "Next": names[i + 1]}
              for i, name in enumerate(names[:-1])}
    states[names[-1]] = {"Type": "Task", "Resource": f"r{served - 1}", "End": True}
    machine = StateMachine(json.dumps({"StartAt": names[0], "States": states}))
    resources = [f"r{i}" for i in range(WIDE // 4)]
    random.Random(0).shuffle(resources)
    for resource in resources:
        machine.register_handler(resource, print)
    for resource in reversed(resources):
        machine.register_handler(resource, lambda ctx, resource=resource: resource)
    assert machine.run() == {"status": "completed", "output": f"r{served - 1}"}
    assert [entry["output"] for entry in machine.journal] == [f"r{i}" for i in range(served)]


def test_lone_surrogates_never_reach_a_machine():
    for surrogate in ("\ud800", "s\udfffc"):
        escaped = json.dumps(surrogate)  # as JSON escapes: a parse error
        assert error_of(StateMachine, ECHO_TASK.replace('"svc"', escaped))[0] is _pyvorn.ParseError
        as_text = ECHO_TASK.replace('"svc"', '"' + surrogate + '"')
        assert error_of(StateMachine, as_text)[0] is UnicodeEncodeError
    machine = StateMachine(ECHO_TASK)
    assert error_of(machine.register_handler, "\ud800", print)[0] is UnicodeEncodeError
    assert machine.handler_names == ["svc"]


# ---------------------------------------------------------------- JSONPath


def test_paths_of_hostile_length():
    long_name = "a" * LONG
    assert JsonPath("$." + long_name).resolve({long_name: 1}) == 1
    assert JsonPath("$['" + long_name + "']").resolve({long_name: [2]}) == [2]
    many_steps = JsonPath("$" + "[0]" * DEEP)
    assert many_steps.resolve([[1]]) is None
    assert error_of(JsonPath, "$" + "[0]" * DEEP + "[") == (
        _pyvorn.JsonPathError,
        f"JsonPathError {{ position: {3 * DEEP + 1}, kind: UnterminatedBracket }}",
    )
    assert error_of(JsonPath, "$" + ".a" * DEEP + "." + "é") == (
        _pyvorn.JsonPathError, f"JsonPathError {{ position: {2 * DEEP + 2}, kind: EmptyFieldName }}"
    )


def test_hostile_documents_for_paths_templates_and_placement():
    deep = deep_list(DEEP)
    for call in (lambda: JsonPath("$[0]").resolve(deep),
                 lambda: JsonTemplate({"a.$": "$"}).evaluate(deep),
                 lambda: json_place(deep, "$[0]", 1),
                 lambda: json_place({}, "$.a", deep)):
        assert error_of(call)[0] is RecursionError
    # No 16-bit limits here: these are plain JSON trees.
    long_string = "s" * LONG
    wide = {f"k{i}": i for i in range(WIDE)}
    assert JsonPath("$.s").resolve({"s": long_string}) == long_string
    assert JsonPath(f"$.k{WIDE - 1}").resolve(wide) == WIDE - 1
    assert JsonPath(f"$[{WIDE - 1}]").resolve(list(range(WIDE))) == WIDE - 1
    placed = json_place(wide, "$.new", long_string)
    assert len(placed) == WIDE + 1 and placed["new"] == long_string and "new" not in wide
    assert JsonTemplate({"all.$": "$", "n": 1}).evaluate(wide) == {"all": wide, "n": 1}
    for call in (lambda: JsonPath("$.\ud800"), lambda: JsonPath("$.a").resolve({"a": "\udfff"}),
                 lambda: json_place({}, "$.a", ["\ud800"]),
                 lambda: JsonTemplate({"\ud800": 1})):
        assert error_of(call)[0] is UnicodeEncodeError


def expected_path_error(expression):
    """Where and why a path made of "$" and one more character fails, if it does."""
    character = expression[-1]
    if character == "$":
        return None
    if character == ".":
        return 2, "EmptyFieldName"
    if character == "[":
        return 1, "UnterminatedBracket"
    escapes = {"\t": "\\t", "\n": "\\n", "\r": "\\r", "'": "\\'", "\\": "\\\\"}
    code = ord(character)
    if character in escapes:
        shown = escapes[character]
    elif code < 0x20 or 0x7F <= code <= 0x9F:
        shown = f"\\u{{{code:x}}}"
    else:
        shown = character
    return 1, f"UnexpectedCharacter('{shown}')"


@pytest.mark.parametrize("code", range(256))
def test_every_code_point_below_256_in_a_path(code):
    character = chr(code)
    expected = expected_path_error("$" + character)
    if expected is None:
        assert JsonPath("$" + character).root == "$$"
    else:
        position, kind = expected
        assert error_of(JsonPath, "$" + character) == (
            _pyvorn.JsonPathError, f"JsonPathError {{ position: {position}, kind: {kind} }}")
    # Quoted, any character but the quote is a field name, found as written.
    if character != "'":
        assert JsonPath(f"$['{character}']").resolve({character: code}) == code
    # After a dot, only a letter or an underscore starts a name.
    dotted = "$." + character
    if character.isascii() and (character.isalpha() or character == "_"):
        assert JsonPath(dotted).resolve({character: code}) == code
    else:
        assert error_of(JsonPath, dotted) == (
            _pyvorn.JsonPathError, "JsonPathError { position: 2, kind: EmptyFieldName }")
