"""lower(), generate(), compile() and the LoweredIr handle."""

import json

import pytest

import _pyvorn
from _pyvorn import LoweredIr, compile, generate, lower
from conftest import definition

THREE_STATES = definition(
    {
        "b": {"Type": "Task", "Resource": "svc.zeta", "Next": "c"},
        "a": {"Type": "Task", "Resource": "svc.alpha", "Next": "b"},
        "c": {"Type": "Succeed"},
    },
    start_at="a",
)


def test_signatures_and_docstrings():
    assert lower.__text_signature__ == "(json_str)"
    assert lower.__doc__ == "Parse, validate, and lower ASL JSON into an IR handle."
    assert generate.__text_signature__ == "(lowered)"
    assert generate.__doc__ == "Generate Rust source code from a LoweredIr handle."
    assert compile.__text_signature__ == "(json_str)"
    assert compile.__doc__ == (
        "Full pipeline: parse + validate + lower + generate. Returns Rust source."
    )
    assert LoweredIr.__doc__ == (
        "Opaque handle to a lowered state machine.\n\n"
        "Wraps `Option<LoweredStateMachine>` so it can be consumed (`.take()`)\n"
        "when handed to `StateMachine.from_lowered()`."
    )
    assert LoweredIr.handler_names.__doc__ == "List of handler resource names."
    assert LoweredIr.state_names.__doc__ == "List of state names."


def test_handle_reports_states_and_handlers():
    handle = lower(THREE_STATES)
    assert repr(handle) == "<LoweredIr states=3>"
    assert len(handle) == 3
    assert handle.state_names == ["a", "b", "c"]
    assert handle.handler_names == ["svc.alpha", "svc.zeta"]
    # Each access is a fresh list.
    names = handle.state_names
    names.append("x")
    assert handle.state_names == ["a", "b", "c"]


def test_names_are_in_byte_order():
    handle = lower(
        definition(
            {
                "b": {"Type": "Succeed"},
                "é": {"Type": "Succeed"},
                "B": {"Type": "Task", "Resource": "z", "End": True},
                "a": {"Type": "Task", "Resource": "Z", "End": True},
            },
            start_at="a",
        )
    )
    assert handle.state_names == ["B", "a", "b", "é"]
    assert handle.handler_names == ["Z", "z"]


def test_properties_are_read_only():
    handle = lower(THREE_STATES)
    with pytest.raises(AttributeError):
        handle.state_names = []


def test_no_public_constructor():
    with pytest.raises(TypeError) as info:
        LoweredIr()
    assert str(info.value) == "No constructor defined for LoweredIr"


def test_generate_is_repeatable_and_keeps_the_handle():
    handle = lower(THREE_STATES)
    first = generate(handle)
    assert generate(lowered=handle) == first
    assert len(handle) == 3
    assert compile(THREE_STATES) == first


@pytest.mark.parametrize("argument,type_name", [("x", "str"), (None, "NoneType"), (LoweredIr, "type")])
def test_generate_refuses_other_types(argument, type_name):
    with pytest.raises(TypeError) as info:
        generate(argument)
    assert str(info.value) == (
        f"argument 'lowered': '{type_name}' object cannot be converted to 'LoweredIr'"
    )


@pytest.mark.parametrize("entry", [lower, compile])
def test_text_entry_points_refuse_non_str(entry):
    with pytest.raises(TypeError) as info:
        entry(b"{}")
    assert str(info.value) == "argument 'json_str': 'bytes' object cannot be converted to 'PyString'"


@pytest.mark.parametrize("entry", [lower, compile])
def test_bad_definitions_raise_like_validate(entry):
    with pytest.raises(_pyvorn.ParseError) as info:
        entry("[]")
    assert str(info.value) == 'invalid field "(root)" at root: expected object'
    with pytest.raises(_pyvorn.ValidationError) as info:
        entry('{"StartAt":"A","States":{}}')
    assert str(info.value) == (
        "states must not be empty at root\n  Hint: Add at least one state to the States object."
    )


def lines_of(source, prefix):
    return [line for line in source.splitlines() if line.startswith(prefix)]


def test_lowering_reaches_the_source():
    source = compile(
        definition(
            {
                "Start": {
                    "Type": "Pass",
                    "Result": {"x": 1},
                    "Parameters": {"b": None, "a.$": "$.in"},
                    "Next": "Pick",
                },
                "Pick": {
                    "Type": "Choice",
                    "Choices": [
                        {"Variable": "$.s", "StringEquals": 'say "hi"', "Next": "Work"},
                        {"Variable": "$.n[2]", "NumericEquals": -5, "Next": "Start"},
                    ],
                },
                "Work": {
                    "Type": "Task",
                    "Resource": "w",
                    "Retry": [{"ErrorEquals": ["E"], "IntervalSeconds": 5000000, "BackoffRate": 1}],
                    "End": True,
                },
            },
            start_at="Start",
        )
    )
    # States Pick=0, Start=1, Work=2; the Pass data adds two schemas.
    assert lines_of(source, "static RESULT_DATA_") == [
        "static RESULT_DATA_1: [u8; 17] = [0x01, 0x0E, 0x00, 0x01, 0x00, 0x01, 0x00, 0x78, 0x04, "
        "0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00];"
    ]
    assert lines_of(source, "static PARAMS_1") == [
        "static PARAMS_1_LIT_1: [u8; 1] = [0x06];",
        "static PARAMS_1: [TemplateEntry; 2] = [",
    ]
    assert lines_of(source, "    TemplateEntry::") == [
        '    TemplateEntry::Reference { key: "a", path: ValuePath { segments: '
        '&[PathSegment::Field("in")] } },',
        '    TemplateEntry::Literal { key: "b", value: &PARAMS_1_LIT_1 },',
    ]
    assert lines_of(source, "        interval_ms:") == ["        interval_ms: 4294967295,"]
    assert lines_of(source, "        backoff_rate:") == ["        backoff_rate: 1.0,"]
    assert lines_of(source, "        schema_names:") == [
        '        schema_names: &["opaque", "Start.Result", "Start.Parameters"],'
    ]
    assert lines_of(source, "        condition_descriptions:") == [
        # The value goes in unescaped; then the whole description is escaped.
        '        condition_descriptions: &["$.s == \\"say \\"hi\\"\\"", "$.n[2] == -5"],'
    ]
    assert lines_of(source, "    start_at:") == ["    start_at: StateId(1),"]


def test_too_large_static_data_is_refused_not_wrapped():
    text = definition({"P": {"Type": "Pass", "Result": ["x" * 70000], "End": True}})
    with pytest.raises(_pyvorn.ValidationError) as info:
        lower(text)
    assert str(info.value) == (
        "Result too large for the binary value format (string of 70000 bytes exceeds the limit"
        " of 65535 bytes) in States.P.Result\n"
        "  Hint: Split the machine or its static data into smaller parts."
    )


@pytest.mark.parametrize(
    "name",
    [
        "caf\u00e9 \u00ff",  # Latin-1
        "\u20ac \ufffd",  # beyond Latin-1, within the BMP
        "\U0001f600 and \u00e9",  # beyond the BMP
        "bi\u202edi \u00e9",  # a bidirectional control, written as an escape
        'q"uote\\ \u20ac',
    ],
)
def test_source_of_every_character_width_is_the_same_text(name):
    # The source is written straight into a str of the narrowest width that
    # holds it; the text must not depend on that width. With one Succeed
    # state the name appears only in its two literals.
    def source_for(state_name):
        return compile(definition({state_name: {"Type": "Succeed"}}, start_at=state_name))

    escaped = name.replace("\\", "\\\\").replace('"', '\\"').replace("\u202e", "\\u{202E}")
    expected = source_for("X").replace('"X"', f'"{escaped}"')
    source = source_for(name)
    assert source == expected
    assert generate(lower(definition({name: {"Type": "Succeed"}}, start_at=name))) == source
    assert max(map(ord, source)) == max(map(ord, escaped))
