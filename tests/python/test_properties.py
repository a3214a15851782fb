"""Properties over drawn values and definitions."""

import json
import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _pyvorn
from _pyvorn import compile, decode_value, encode_value, generate, lower, validate
from grammar import definitions, resources_of, utf8_order, values


def identical(a, b):
    """Equal with the same types all the way down: 1 is not 1.0, True is not
    1, -0.0 is not 0.0, and dicts hold the same keys."""
    if type(a) is not type(b):
        return False
    if isinstance(a, float):
        return a == b and math.copysign(1.0, a) == math.copysign(1.0, b)
    if isinstance(a, list):
        return len(a) == len(b) and all(map(identical, a, b))
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(identical(a[k], b[k]) for k in a)
    return a == b


def keys_in_byte_order(value):
    if isinstance(value, list):
        return all(map(keys_in_byte_order, value))
    if isinstance(value, dict):
        return list(value) == utf8_order(value) and all(map(keys_in_byte_order, value.values()))
    return True


@pytest.mark.parametrize(
    "a,b,same",
    [(1, 1.0, False), (True, 1, False), (0.0, -0.0, False), ([1], [1.0], False),
     ({"a": 1}, {"a": 1}, True), (-0.0, -0.0, True)],
)
def test_identical_tells_types_and_signs_apart(a, b, same):
    assert identical(a, b) is same


@settings(max_examples=500, deadline=None)
@given(values)
def test_decode_of_encode_gives_the_value_back(value):
    encoded = encode_value(value)
    decoded = decode_value(encoded)
    assert identical(decoded, value)
    assert keys_in_byte_order(decoded)
    # The encoding is canonical: what was decoded encodes to the same bytes.
    assert encode_value(decoded) == encoded


@settings(max_examples=300, deadline=None)
@given(st.floats(allow_nan=False, allow_infinity=False) | st.integers(-(2**63), 2**63 - 1))
def test_numbers_keep_their_kind_and_every_bit(number):
    decoded = decode_value(encode_value([number, {"n": number}]))
    assert identical(decoded, [number, {"n": number}])


@settings(max_examples=300, deadline=None)
@given(definitions())
def test_valid_definitions_validate_lower_and_generate(definition):
    text = json.dumps(definition)
    assert validate(text) is None
    handle = lower(text)
    names = utf8_order(definition["States"])
    assert handle.state_names == names
    assert len(handle) == len(names)
    assert repr(handle) == f"<LoweredIr states={len(names)}>"
    assert handle.handler_names == utf8_order(resources_of(definition))
    source = generate(handle)
    assert source and generate(handle) == source
    assert compile(text) == source


@settings(max_examples=100, deadline=None)
@given(definitions(), st.booleans(), st.sampled_from([None, 0, 2]))
def test_how_the_text_is_written_does_not_matter(definition, ascii_only, indent):
    # Key order, escapes and layout are the reader's business alone.
    plain = json.dumps(definition)
    rewritten = json.dumps(definition, ensure_ascii=ascii_only, indent=indent, sort_keys=True)
    assert compile(rewritten) == compile(plain)


@settings(max_examples=200, deadline=None)
@given(definitions(), st.data())
def test_one_broken_transition_is_the_error_reported(definition, data):
    states = definition["States"]
    movable = [name for name, state in states.items() if "Next" in state]
    if not movable:
        return
    name = data.draw(st.sampled_from(movable))
    missing = "no such state"
    while missing in states:
        missing += "!"
    states[name]["Next"] = missing
    with pytest.raises(_pyvorn.ValidationError) as info:
        validate(json.dumps(definition))
    assert str(info.value) == (
        f'transitions to unknown state "{missing}" in States.{name}.Next\n  Value: {missing}'
    )
