"""Every entry point, called 10 000 times on its success and error paths,
leaves reference counts, live objects and memory where they were.

sys.gettotalrefcount exists only in debug builds of the interpreter, so the
checks are: the reference counts of every object handed in (and of the
exception types raised), the number of objects the collector tracks, the
memory Python's allocator holds (tracemalloc), and the resident set size of
the process, which is where native allocations that are never freed show.
The resident size is the current one, not the peak: other tests in the same
process may already have set a high peak that would hide any growth here.
"""

import gc
import os
import sys
import tracemalloc

import pytest

import _pyvorn
from _pyvorn import compile, decode_value, encode_value, generate, lower, validate
from conftest import definition

ITERATIONS = 10_000
WARM_UP = 200

VALID = definition(
    {
        "Fetch": {
            "Type": "Task",
            "Resource": "http.get",
            "Parameters": {"url.$": "$.url", "headers": {"a": ["x", "y"]}},
            "ResultSelector": {"status.$": "$.status"},
            "Retry": [{"ErrorEquals": ["Timeout"], "MaxAttempts": 3, "BackoffRate": 2.0}],
            "Catch": [{"ErrorEquals": ["*"], "Next": "Failed"}],
            "Next": "Route",
        },
        "Route": {
            "Type": "Choice",
            "Choices": [{"Variable": "$.n", "NumericEquals": 1, "Next": "Shape"}],
            "Default": "Done",
        },
        "Shape": {"Type": "Pass", "Result": {"list": [1, 2], "s": "x" * 200}, "Next": "Done"},
        "Done": {"Type": "Succeed", "Comment": "é" * 100},
        "Failed": {"Type": "Fail", "Error": "Boom", "Cause": "it broke"},
    },
    start_at="Fetch",
)
NOT_JSON = VALID[:-40]
NOT_A_DEFINITION = VALID.replace('"Type": "Fail"', '"Type": "Map"')
BREAKS_A_RULE = VALID.replace('"Next": "Failed"', '"Next": "Nowhere"')


def fresh(text):
    """A str object of its own, not the interned constant."""
    return "".join(list(text))


VALUE = {
    fresh("records"): [
        {fresh("id"): 1000 + i, fresh("name"): f"name {i}", fresh("score"): i / 3, fresh("ok"): None}
        for i in range(20)
    ]
}
ENCODED = encode_value(VALUE)
CYCLIC = []
CYCLIC.append(CYCLIC)
TOO_LONG = "x" * 70_000


def cases():
    handle = lower(VALID)
    yield "validate", validate, (VALID,), None
    yield "validate not json", validate, (NOT_JSON,), _pyvorn.ParseError
    yield "validate bad shape", validate, (NOT_A_DEFINITION,), _pyvorn.ParseError
    yield "validate broken rule", validate, (BREAKS_A_RULE,), _pyvorn.ValidationError
    yield "validate not str", validate, (b"{}",), TypeError
    yield "validate lone surrogate", validate, ("\ud800",), UnicodeEncodeError
    yield "lower", lower, (VALID,), None
    yield "lower broken rule", lower, (BREAKS_A_RULE,), _pyvorn.ValidationError
    yield "generate", generate, (handle,), None
    yield "generate not a handle", generate, (VALID,), TypeError
    yield "compile", compile, (VALID,), None
    yield "compile not json", compile, (NOT_JSON,), _pyvorn.ParseError
    yield "compile broken rule", compile, (BREAKS_A_RULE,), _pyvorn.ValidationError
    yield "encode_value", encode_value, (VALUE,), None
    yield "encode_value bad item", encode_value, ({"b": [1, 2, (3,)], "a": VALUE},), TypeError
    yield "encode_value bad key", encode_value, ({"a": VALUE, 1: 2},), TypeError
    yield "encode_value too long", encode_value, ([VALUE, TOO_LONG],), ValueError
    yield "encode_value nan", encode_value, ([1.5, float("nan")],), ValueError
    yield "encode_value overflow", encode_value, ([2**70],), OverflowError
    yield "encode_value cyclic", encode_value, (CYCLIC,), RecursionError
    yield "decode_value", decode_value, (ENCODED,), None
    yield "decode_value malformed", decode_value, (ENCODED[:-3],), ValueError
    yield "decode_value not bytes", decode_value, (bytearray(ENCODED),), TypeError


CASES = list(cases())


def shared(obj):
    """Objects that any code may reference at any time: None, booleans, small
    integers, one-character strings, and the constants the interpreter
    allocates statically (with a huge count). Their counts move for reasons
    of their own, so the values under test are built from fresh objects."""
    if obj is None or isinstance(obj, bool) or sys.getrefcount(obj) > 100_000_000:
        return True
    if type(obj) is int:
        return -5 <= obj <= 256
    return type(obj) is str and len(obj) <= 1


def objects_within(value, out):
    """The argument and everything inside it that no one else holds (a
    borrowed reference turned into an owned one would show on any of them)."""
    if not shared(value):
        out.append(value)
    if isinstance(value, (list, tuple)) and value is not CYCLIC:
        for item in value:
            objects_within(item, out)
    elif isinstance(value, dict):
        for key, item in value.items():
            objects_within(key, out)
            objects_within(item, out)
    return out


def sanitizer_runtime_loaded():
    with open("/proc/self/maps", encoding="utf-8") as maps:
        return any("libasan" in line for line in maps)


def resident_bytes():
    with open("/proc/self/statm", encoding="ascii") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def run(function, args, raises, times):
    for _ in range(times):
        try:
            function(*args)
        except Exception as error:  # noqa: BLE001 - the type is checked right here
            if raises is None or type(error) is not raises:
                raise
        else:
            assert raises is None, f"{function.__name__} did not raise {raises.__name__}"


@pytest.mark.parametrize("name,function,args,raises", CASES, ids=[c[0] for c in CASES])
def test_no_reference_or_object_leaks(name, function, args, raises):
    watched = objects_within(args, [])
    watched += [_pyvorn.ParseError, _pyvorn.ValidationError, function]
    run(function, args, raises, WARM_UP)
    gc.collect()
    counts = [sys.getrefcount(obj) for obj in watched]
    tracked = len(gc.get_objects())
    tracemalloc.start()
    try:
        before, _ = tracemalloc.get_traced_memory()
        run(function, args, raises, ITERATIONS)
        gc.collect()
        after, _ = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    assert [sys.getrefcount(obj) for obj in watched] == counts
    assert len(gc.get_objects()) - tracked <= 5
    # One leaked object per call would be 10 000 of them: hundreds of KiB.
    assert after - before < 64 * 1024


@pytest.mark.skipif(
    sanitizer_runtime_loaded(), reason="the sanitizer's allocator quarantines freed memory"
)
@pytest.mark.parametrize("name,function,args,raises", CASES, ids=[c[0] for c in CASES])
def test_resident_memory_stays_flat(name, function, args, raises):
    run(function, args, raises, WARM_UP)
    gc.collect()
    before = resident_bytes()
    run(function, args, raises, ITERATIONS)
    gc.collect()
    # Every case allocates at least a few hundred bytes natively per call, so
    # a leak of any of it grows the process by megabytes.
    assert resident_bytes() - before < 1024 * 1024


def test_keyword_and_argument_count_errors_leak_nothing():
    calls = [
        (lambda: encode_value(obj=VALUE, extra=1), TypeError),
        (lambda: encode_value(VALUE, VALUE), TypeError),
        (lambda: decode_value(), TypeError),
        (lambda: compile(json_str=VALID, other=VALID), TypeError),
    ]
    for call, raises in calls:
        run(call, (), raises, WARM_UP)
        gc.collect()
        counts = [sys.getrefcount(VALUE), sys.getrefcount(VALID)]
        tracked = len(gc.get_objects())
        run(call, (), raises, ITERATIONS)
        gc.collect()
        assert [sys.getrefcount(VALUE), sys.getrefcount(VALID)] == counts
        assert len(gc.get_objects()) - tracked <= 5
