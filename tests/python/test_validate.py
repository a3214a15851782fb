"""validate(): argument handling and the parse errors users see."""

import json

import pytest

import _pyvorn
from conftest import definition


def parse_error(text):
    with pytest.raises(_pyvorn.ParseError) as info:
        _pyvorn.validate(text)
    assert len(info.value.args) == 1
    return str(info.value)


def test_signature_and_docstring():
    assert _pyvorn.validate.__text_signature__ == "(json_str)"
    assert _pyvorn.validate.__doc__ == (
        "Parse and validate ASL JSON. Raises ParseError or ValidationError."
    )
    assert _pyvorn.validate.__module__ == "_pyvorn"


def test_valid_definition_returns_none(succeed_only):
    assert _pyvorn.validate(succeed_only) is None
    assert _pyvorn.validate(json_str=succeed_only) is None


class StrSubclass(str):
    pass


def test_str_subclass_is_accepted(succeed_only):
    assert _pyvorn.validate(StrSubclass(succeed_only)) is None


@pytest.mark.parametrize(
    "argument,type_name",
    [(42, "int"), (b"{}", "bytes"), (None, "NoneType"), (["x"], "list"), (StrSubclass, "type")],
)
def test_non_str_argument_is_a_type_error(argument, type_name):
    with pytest.raises(TypeError) as info:
        _pyvorn.validate(argument)
    assert str(info.value) == (
        f"argument 'json_str': '{type_name}' object cannot be converted to 'PyString'"
    )


def test_argument_count_and_keywords_are_checked(succeed_only):
    with pytest.raises(TypeError) as info:
        _pyvorn.validate()
    assert str(info.value) == "validate() missing 1 required positional argument: 'json_str'"
    with pytest.raises(TypeError) as info:
        _pyvorn.validate(succeed_only, succeed_only)
    assert str(info.value) == "validate() takes 1 positional argument but 2 were given"
    with pytest.raises(TypeError) as info:
        _pyvorn.validate(text=succeed_only)
    assert str(info.value) == "validate() got an unexpected keyword argument 'text'"
    with pytest.raises(TypeError) as info:
        _pyvorn.validate(succeed_only, json_str=succeed_only)
    assert str(info.value) == "validate() got multiple values for argument 'json_str'"


@pytest.mark.parametrize(
    "text,message",
    [
        ("not json", "invalid JSON: expected value at line 1 column 2"),
        ("", "invalid JSON: EOF while parsing a value at line 1 column 1"),
        ('{"StartAt":"A","States":{}} x', "invalid JSON: trailing characters at line 1 column 29"),
        ("[]", 'invalid field "(root)" at root: expected object'),
        ('{"StartAt":"A","States":{},"Version":"1.0"}', 'unknown field "Version" in Version'),
        ('{"StartAt":"A"}', 'missing required field "States" at root'),
        ('{"StartAt":1,"States":{}}', 'invalid field "StartAt" in StartAt: expected string'),
    ],
)
def test_parse_errors(text, message):
    assert parse_error(text) == message


def test_first_state_in_byte_order_reports():
    text = definition({"b": {"Type": "Nope"}, "a": {"Type": "Map"}, "B": {"Type": "Succeed"}})
    assert parse_error(text) == 'unsupported state type "Map" in States.a.Type'


def test_parse_error_text_is_not_escaped():
    text = '{"StartAt":"A","States":{},"a\\"b":1}'
    assert parse_error(text) == 'unknown field "a"b" in a"b'


def test_parse_error_message_may_hold_nul():
    text = '{"StartAt":"A","States":{},"a\\u0000b":1}'
    assert parse_error(text) == 'unknown field "a\x00b" in a\x00b'


class TestBadInput:
    """Any text gives None or one clear error: never a crash or a hang."""

    def test_ten_megabytes_of_brackets(self):
        message = parse_error("[" * 10_000_000)
        assert message == "invalid JSON: recursion limit exceeded at line 1 column 129"

    def test_nesting_within_the_limit_reaches_the_shape_check(self):
        assert parse_error("[" * 128 + "]" * 128) == 'invalid field "(root)" at root: expected object'

    def test_lone_surrogate_is_the_hosts_encode_error(self):
        with pytest.raises(UnicodeEncodeError):
            _pyvorn.validate('{"StartAt":"\ud800","States":{}}')

    def test_nul_bytes_are_characters(self, succeed_only):
        assert parse_error(succeed_only + "\x00") == (
            "invalid JSON: trailing characters at line 1 column 50"
        )
        assert parse_error('{"StartAt":"A\x00"}') == (
            "invalid JSON: control character (\\u0000-\\u001F) found while parsing a string"
            " at line 1 column 14"
        )

    def test_huge_numbers(self):
        assert parse_error('{"StartAt":"A","States":{},"Comment":1e999}') == (
            "invalid JSON: number out of range at line 1 column 38"
        )
        # An integer literal beyond 64 bits is a float, still a number.
        big = "1" + "0" * 300
        assert parse_error('{"StartAt":' + big + ',"States":{}}') == (
            'invalid field "StartAt" in StartAt: expected string'
        )
        assert parse_error('{"StartAt":1' + "0" * 5000 + ',"States":{}}') == (
            "invalid JSON: number out of range at line 1 column 12"
        )

    def test_numbers_are_read_by_value_like_json_loads(self):
        # Written as text so the literals reach the reader unchanged.
        def pass_result(result):
            return '{"StartAt":"P","States":{"P":{"Type":"Pass","Result":%s,"End":true}}}' % result

        def numeric_equals(number):
            return (
                '{"StartAt":"C","States":{"C":{"Type":"Choice","Choices":[{"Variable":"$.x",'
                '"NumericEquals":%s,"Next":"D"}]},"D":{"Type":"Succeed"}}}' % number
            )

        for text in [
            pass_result("[0e309, 0.000e400, -0E999, 1%se-300]" % ("0" * 400)),
            pass_result("[0, -0]"),
            numeric_equals("-0"),
        ]:
            assert _pyvorn.validate(text) is None
            # The same machine as the one written with the values json.loads reads.
            same = json.dumps(json.loads(text))
            assert same != text
            assert _pyvorn.compile(text) == _pyvorn.compile(same)

    def test_hundred_thousand_keys(self):
        states = ",".join(f'"s{i}":{{"Type":"Succeed"}}' for i in range(65_536))
        assert _pyvorn.validate('{"StartAt":"s0","States":{' + states + "}}") is None
        states = ",".join(f'"s{i}":{{"Type":"Succeed"}}' for i in range(100_000))
        with pytest.raises(_pyvorn.ValidationError) as info:
            _pyvorn.validate('{"StartAt":"s0","States":{' + states + "}}")
        assert str(info.value) == (
            "too many states for 16-bit ids (100000, at most 65536) in States\n"
            "  Hint: Split the machine or its static data into smaller parts."
        )
        keys = ",".join(f'"k{i}":{i}' for i in range(100_000))
        assert parse_error('{"StartAt":"A","States":{},' + keys + "}") == 'unknown field "k0" in k0'
