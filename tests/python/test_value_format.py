"""encode_value / decode_value: exact bytes, conversion rules and bad input."""

import enum
import math
import random
import struct
import subprocess
import sys

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _pyvorn
from _pyvorn import decode_value, encode_value

EMPTY_OBJECT = bytes.fromhex("0102000000")


def test_signatures_and_docstrings():
    assert encode_value.__text_signature__ == "(obj)"
    assert encode_value.__doc__ == "Encode a Python value into VORN binary format."
    assert decode_value.__text_signature__ == "(data)"
    assert decode_value.__doc__ == "Decode VORN binary format into a Python value."
    assert encode_value(obj=None) == b"\x06"
    assert decode_value(data=b"\x06") is None


@pytest.mark.parametrize(
    "value,encoded",
    [
        (None, "06"),
        (True, "0501"),
        (False, "0500"),
        (1, "040100000000000000"),
        (-1, "04ffffffffffffffff"),
        (1.0, "07000000000000f03f"),
        ("", "030000"),
        ("é", "030200c3a9"),
        ([], "0202000000"),
        ({}, "0102000000"),
        ({"b": True, "a": 1}, "01130002000100610401000000000000000100620501"),
        ({"b": None, "a": None, "ab": None}, "010f00030001006106020061620601006206"),
    ],
)
def test_exact_bytes(value, encoded):
    assert encode_value(value) == bytes.fromhex(encoded)


def test_ints_stay_ints_and_floats_stay_floats():
    assert type(decode_value(encode_value(1.0))) is float
    assert type(decode_value(encode_value(1))) is int
    assert decode_value(encode_value([2**63 - 1, -(2**63)])) == [2**63 - 1, -(2**63)]


def test_keys_come_back_in_byte_order_whatever_the_dict_order():
    decoded = decode_value(encode_value({"b": 1, "a": 2, "é": 3, "B": 4}))
    assert list(decoded) == ["B", "a", "b", "é"]


class Color(enum.IntEnum):
    RED = 7


class MyFloat(float):
    pass


class MyStr(str):
    def __str__(self):
        return "not used"


class MyList(list):
    pass


class MyDict(dict):
    def items(self):
        raise AssertionError("not used")


def test_subclasses_encode_as_their_base_type():
    assert encode_value(Color.RED) == encode_value(7)
    assert encode_value(MyFloat(0.5)) == encode_value(0.5)
    assert encode_value(MyStr("x")) == encode_value("x")
    assert encode_value(MyList([1, 2])) == encode_value([1, 2])
    assert encode_value(MyDict(b=1, a=2)) == encode_value({"a": 2, "b": 1})
    assert encode_value({MyStr("k"): 1}) == encode_value({"k": 1})


def test_bool_is_not_an_int():
    assert encode_value(True) != encode_value(1)
    assert decode_value(encode_value([True, 1])) == [True, 1]
    assert type(decode_value(encode_value(True))) is bool


def test_decoded_types_are_exactly_the_builtin_ones():
    decoded = decode_value(encode_value(MyDict(x=MyList([MyStr("s"), Color.RED, MyFloat(1.5)]))))
    assert type(decoded) is dict
    assert [type(v) for v in decoded["x"]] == [str, int, float]
    assert type(decoded["x"]) is list


@pytest.mark.parametrize(
    "value,exception,message",
    [
        ((1, 2), TypeError, "cannot convert tuple to JSON value"),
        (b"x", TypeError, "cannot convert bytes to JSON value"),
        ({1: 2}, TypeError, "'int' object cannot be converted to 'PyString'"),
        ({None: 2}, TypeError, "'NoneType' object cannot be converted to 'PyString'"),
        (float("nan"), ValueError, "float is NaN or Inf"),
        (float("inf"), ValueError, "float is NaN or Inf"),
        ([1, -float("inf")], ValueError, "float is NaN or Inf"),
        (object(), TypeError, "cannot convert object to JSON value"),
        (Color, TypeError, "cannot convert EnumType to JSON value"),
    ],
)
def test_conversion_errors(value, exception, message):
    with pytest.raises(exception) as info:
        encode_value(value)
    assert str(info.value) == message


def test_qualified_type_name_in_errors():
    class Inner:
        pass

    with pytest.raises(TypeError) as info:
        encode_value([Inner()])
    assert str(info.value) == (
        "cannot convert test_qualified_type_name_in_errors.<locals>.Inner to JSON value"
    )


def test_integers_outside_signed_64_bits_overflow():
    for value in (2**63, -(2**63) - 1, 2**64):
        with pytest.raises(OverflowError):
            encode_value(value)


def test_unencodable_text_raises_the_hosts_error():
    with pytest.raises(UnicodeEncodeError):
        encode_value("\ud800")
    with pytest.raises(UnicodeEncodeError):
        encode_value({"\udfff": 1})


def test_first_failure_in_dict_order_wins():
    # Keys sort as "a" < "b", but the dict visits "b" first.
    with pytest.raises(TypeError) as info:
        encode_value({"b": (), "a": {1: 2}})
    assert str(info.value) == "cannot convert tuple to JSON value"
    with pytest.raises(TypeError) as info:
        encode_value({"b": {1: 2}, "a": ()})
    assert str(info.value) == "'int' object cannot be converted to 'PyString'"
    # A bad key comes after the values of the entries before it.
    with pytest.raises(TypeError) as info:
        encode_value({"z": 1, 5: 2, "a": float("nan")})
    assert str(info.value) == "'int' object cannot be converted to 'PyString'"
    with pytest.raises(ValueError) as info:
        encode_value({"z": float("nan"), 5: 2})
    assert str(info.value) == "float is NaN or Inf"
    # Nested: the failing entry sorts first, an earlier one in dict order fails too.
    with pytest.raises(TypeError) as info:
        encode_value({"m": {"y": [()], "b": {2: 0}}, "a": {"q": set()}})
    assert str(info.value) == "cannot convert tuple to JSON value"


class IdentityKey(str):
    """A str whose instances are distinct dict keys even with equal text."""

    __eq__ = object.__eq__
    __hash__ = object.__hash__


def test_repeated_key_text_keeps_the_last_entry():
    K = IdentityKey
    assert encode_value({K("a"): 1, K("a"): 2, "b": 3}) == encode_value({"a": 2, "b": 3})
    assert encode_value([{"b": 0, K("b"): {K("x"): 1, K("x"): 2}}]) == encode_value([{"b": {"x": 2}}])
    assert decode_value(encode_value({K("k"): "first", K("k"): "last"})) == {"k": "last"}
    # Every entry is still converted, the ones that lose included.
    with pytest.raises(TypeError) as info:
        encode_value({K("a"): (), K("a"): 1})
    assert str(info.value) == "cannot convert tuple to JSON value"


@pytest.mark.parametrize(
    "value",
    [
        [()] + [0] * 70000,
        ["x" * 70000, ()],
        [[0] * 40000, [()]],
        {"a": "x" * 70000, "b": ()},
        {"b": [0] * 70000, "a": {"c": ()}},
        {"a" * 70000: 0, "j": [()]},
        {"z": (), "a": "x" * 70000},
    ],
)
def test_conversion_errors_come_before_format_limits(value):
    with pytest.raises(TypeError) as info:
        encode_value(value)
    assert str(info.value) == "cannot convert tuple to JSON value"


# A finalizer that runs while encode_value raises (the exception object is
# allocated, which starts a collection) and empties the value being encoded.
FINALIZER_EMPTIES_THE_VALUE = """
import gc, _pyvorn
class Trigger:
    def __del__(self):
        inner.clear()
for attempt in range(20):
    inner = {"z": [[i] * 5 for i in range(50)], "a": ()}
    value = {"n": inner}
    gc.collect()
    gc.disable()
    try:
        raise KeyError  # a handled exception: raising another allocates it at once
    except KeyError:
        trigger = Trigger(); trigger.cycle = trigger; del trigger
        gc.set_threshold(1)
        gc.enable()
        try:
            _pyvorn.encode_value(value)
        except TypeError as error:
            print(error)
        finally:
            gc.set_threshold(700)
    assert not inner, "the finalizer did not run during the call"
"""


@pytest.mark.skipif(sys.version_info >= (3, 12), reason="collections start only from bytecode")
def test_finalizer_that_frees_the_value_during_an_error():
    # In a child process: before the fix this read freed memory.
    out = subprocess.run(
        [sys.executable, "-c", FINALIZER_EMPTIES_THE_VALUE], capture_output=True, text=True
    )
    assert out.returncode == 0, out.stderr
    assert out.stdout.splitlines() == ["cannot convert tuple to JSON value"] * 20


class TestSoundLimits:
    """Values the format cannot hold are refused, never written with a wrong length."""

    def test_self_containing_list_and_dict(self):
        # Each level's failure must not make the level above walk it again:
        # these finish at once, not in time exponential in the depth.
        cyclic = []
        cyclic.append(cyclic)
        with pytest.raises(RecursionError):
            encode_value(cyclic)
        cyclic_dict = {}
        cyclic_dict["self"] = cyclic_dict
        with pytest.raises(RecursionError):
            encode_value(cyclic_dict)

    def test_nesting_deeper_than_the_recursion_limit(self):
        deep = []
        for _ in range(100_000):
            deep = [deep]
        with pytest.raises(RecursionError):
            encode_value(deep)

    def test_nesting_cap_holds_even_with_a_raised_recursion_limit(self):
        deep = []
        for _ in range(5000):
            deep = [deep]
        old = sys.getrecursionlimit()
        sys.setrecursionlimit(1_000_000)
        try:
            with pytest.raises(RecursionError) as info:
                encode_value(deep)
            assert str(info.value) == (
                "maximum nesting depth of 1024 exceeded while converting a value"
            )
        finally:
            sys.setrecursionlimit(old)

    @pytest.mark.parametrize(
        "value,message",
        [
            ("x" * 65536, "string of 65536 bytes exceeds the limit of 65535 bytes"),
            ({"k" * 70000: 1}, "object key of 70000 bytes exceeds the limit of 65535 bytes"),
            ([None] * 65536, "array of 65536 elements exceeds the limit of 65535 elements"),
            ([None] * 65535, "array body of 65537 bytes exceeds the limit of 65535 bytes"),
            (
                {str(i): 0 for i in range(65536)},
                "object of 65536 entries exceeds the limit of 65535 entries",
            ),
            (
                {"a": "x" * 40000, "b": "y" * 40000},
                "object body of 80014 bytes exceeds the limit of 65535 bytes",
            ),
            (
                [["x" * 30000], ["y" * 40000]],
                "array body of 70018 bytes exceeds the limit of 65535 bytes",
            ),
        ],
    )
    def test_sixteen_bit_limits(self, value, message):
        with pytest.raises(ValueError) as info:
            encode_value(value)
        assert str(info.value) == message

    def test_largest_values_that_fit(self):
        assert decode_value(encode_value("x" * 65535)) == "x" * 65535
        assert decode_value(encode_value([None] * 65533)) == [None] * 65533


class TestDecodeErrors:
    @pytest.mark.parametrize(
        "data",
        [
            b"",
            b"\x00",
            b"\x08",
            b"\x04\x00",
            b"\x05",
            b"\x03\x05\x00ab",
            b"\x03\x01\x00\xff",
            b"\x01\x05\x00\x01\x00\x05\x00a",
            b"\x02\x02\x00\x01\x00",
        ],
    )
    def test_malformed_data(self, data):
        with pytest.raises(ValueError) as info:
            decode_value(data)
        assert str(info.value) == "decode failed: InvalidType"

    @pytest.mark.parametrize("data", [bytearray(b"\x06"), memoryview(b"\x06"), "06", None])
    def test_only_bytes_is_accepted(self, data):
        with pytest.raises(TypeError) as info:
            decode_value(data)
        assert str(info.value) == (
            f"argument 'data': '{type(data).__name__}' object cannot be converted to 'PyBytes'"
        )

    def test_bytes_subclass_is_accepted(self):
        class MyBytes(bytes):
            pass

        assert decode_value(MyBytes(b"\x05\x01")) is True

    def test_trailing_bytes_are_ignored(self):
        assert decode_value(b"\x06trailing") is None

    def test_non_finite_floats_decode_as_none(self):
        for value in (math.inf, -math.inf, math.nan):
            assert decode_value(b"\x07" + struct.pack("<d", value)) is None

    def test_unsorted_and_duplicate_keys(self):
        entry = lambda k, v: struct.pack("<H", len(k)) + k + b"\x04" + struct.pack("<q", v)
        body = struct.pack("<H", 3) + entry(b"b", 1) + entry(b"a", 2) + entry(b"b", 3)
        data = b"\x01" + struct.pack("<H", len(body)) + body
        decoded = decode_value(data)
        assert decoded == {"a": 2, "b": 3}
        assert list(decoded) == ["a", "b"]

    def test_crafted_deep_nesting(self):
        data = b"\x02\xff\xff\x01\x00" * 200_000 + b"\x06"
        with pytest.raises(ValueError) as info:
            decode_value(data)
        assert str(info.value) == "decode failed: InvalidType"

    def test_random_corruption_never_crashes(self):
        seed = encode_value({"a": [1, "x", {"b": None, "c": [True, 2.5]}], "d": "text"})
        rng = random.Random(7)
        for _ in range(20_000):
            data = bytearray(seed)
            for _ in range(rng.randint(1, 4)):
                data[rng.randrange(len(data))] = rng.randrange(256)
            del data[rng.randrange(len(data) + 1) :]
            try:
                decode_value(bytes(data))
            except ValueError as error:
                assert str(error) == "decode failed: InvalidType"


json_values = st.recursive(
    st.none()
    | st.booleans()
    | st.integers(min_value=-(2**63), max_value=2**63 - 1)
    | st.floats(allow_nan=False, allow_infinity=False)
    | st.text(),
    lambda children: st.lists(children, max_size=6) | st.dictionaries(st.text(), children, max_size=6),
    max_leaves=40,
)


def same_types(a, b):
    if type(a) is not type(b):
        return False
    if isinstance(a, list):
        return len(a) == len(b) and all(same_types(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(same_types(a[k], b[k]) for k in a)
    return True


@settings(max_examples=400, deadline=None)
@given(json_values)
def test_round_trip(value):
    decoded = decode_value(encode_value(value))
    assert decoded == value
    assert same_types(decoded, value)


@settings(max_examples=200, deadline=None)
@given(st.dictionaries(st.text(), st.integers(min_value=0, max_value=9), max_size=12))
def test_encoding_ignores_dict_order(value):
    reordered = dict(reversed(list(value.items())))
    assert encode_value(reordered) == encode_value(value)
    assert list(decode_value(encode_value(value))) == sorted(value, key=lambda k: k.encode())
