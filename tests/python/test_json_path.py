"""JsonPath from Python: construction, errors, repr, and resolve.

resolve walks the Python document instead of converting all of it, so its
results and errors are checked against a template, which converts the whole
input first: both must agree on every document, the unconvertible included.
"""

import enum
import sys

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _pyvorn
from _pyvorn import JsonPath, JsonPathError


def test_class_signature_and_docstrings():
    assert JsonPath.__text_signature__ == "(expr)"
    assert JsonPath.__doc__ == "JSONPath expression for resolving values within state data."
    assert JsonPath.__module__ == "pyvorn"
    assert JsonPath.resolve.__text_signature__ == "($self, root)"
    assert JsonPath.resolve.__doc__ == "Resolve this path against a Python value."
    assert JsonPath.root.__doc__ == 'Root of the path expression ("$" or "$$").'


@pytest.mark.parametrize(
    "expr,root,text",
    [
        ("$", "$", "JsonPath { root: Input, segments: [] }"),
        ("$$", "$$", "JsonPath { root: Context, segments: [] }"),
        ("$.a", "$", 'JsonPath { root: Input, segments: [Field("a")] }'),
        ("$$.execution.id", "$$", 'JsonPath { root: Context, segments: [Field("execution"), Field("id")] }'),
        ("$['x y'][2]", "$", 'JsonPath { root: Input, segments: [Field("x y"), Index(2)] }'),
        ("$['é\"\\\n']", "$", 'JsonPath { root: Input, segments: [Field("é\\"\\\\\\n")] }'),
    ],
)
def test_root_and_repr(expr, root, text):
    path = JsonPath(expr=expr)
    assert path.root == root
    assert repr(path) == f"<JsonPath {text}>"


@pytest.mark.parametrize(
    "expr,message",
    [
        ("", "JsonPathError { position: 0, kind: EmptyExpression }"),
        ("x", "JsonPathError { position: 0, kind: MissingRoot }"),
        ("$$$", "JsonPathError { position: 2, kind: UnexpectedCharacter('$') }"),
        ("$é", "JsonPathError { position: 1, kind: UnexpectedCharacter('é') }"),
        ("$.ab€", "JsonPathError { position: 4, kind: UnexpectedCharacter('€') }"),
        ("$'", "JsonPathError { position: 1, kind: UnexpectedCharacter('\\'') }"),
        ("$\x00", "JsonPathError { position: 1, kind: UnexpectedCharacter('\\u{0}') }"),
    ],
)
def test_parse_errors(expr, message):
    with pytest.raises(JsonPathError) as info:
        JsonPath(expr)
    assert str(info.value) == message
    assert info.value.args == (message,)


@pytest.mark.parametrize(
    "call,message",
    [
        (lambda: JsonPath(5), "argument 'expr': 'int' object cannot be converted to 'PyString'"),
        (lambda: JsonPath(b"$"), "argument 'expr': 'bytes' object cannot be converted to 'PyString'"),
        (lambda: JsonPath(), "JsonPath() missing 1 required positional argument: 'expr'"),
        (lambda: JsonPath("$", "$"), "JsonPath() takes 1 positional argument but 2 were given"),
        (lambda: JsonPath(path="$"), "JsonPath() got an unexpected keyword argument 'path'"),
        (lambda: JsonPath("$").resolve(), "resolve() missing 1 required positional argument: 'root'"),
    ],
)
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_lone_surrogate_expression_raises_the_hosts_error():
    with pytest.raises(UnicodeEncodeError):
        JsonPath("$.\ud800")


def test_paths_are_immutable():
    path = JsonPath("$.a")
    with pytest.raises(AttributeError):
        path.root = "$$"
    with pytest.raises(TypeError):
        type(path).extra = 1


@pytest.mark.parametrize(
    "expr,document,expected",
    [
        ("$.a[1]", {"a": [1, 2]}, 2),
        ("$.a[1]", {"a": []}, None),
        ("$.a[1]", {"a": {"1": 5}}, None),
        ("$$.x", {"x": 1}, 1),
        ("$.a", {"a": None}, None),
        ("$[18446744073709551615]", [1], None),
    ],
)
def test_resolve(expr, document, expected):
    assert JsonPath(expr).resolve(root=document) == expected


class Color(enum.IntEnum):
    RED = 7


class MyStr(str):
    pass


class MyFloat(float):
    pass


class MyDict(dict):
    pass


class MyList(list):
    pass


def test_targets_come_back_as_plain_converted_values():
    document = {"e": Color.RED, "s": MyStr("x"), "f": MyFloat(1.5), "d": MyDict(b=1, a=MyList([2]))}
    for key, expected, expected_type in [
        ("e", 7, int),
        ("s", "x", str),
        ("f", 1.5, float),
        ("d", {"a": [2], "b": 1}, dict),
    ]:
        result = JsonPath(f"$.{key}").resolve(document)
        assert result == expected
        assert type(result) is expected_type
    resolved = JsonPath("$.d").resolve(document)
    assert list(resolved) == ["a", "b"]
    assert type(resolved["a"]) is list


def test_resolved_containers_are_copies():
    document = {"a": {"b": [1]}}
    result = JsonPath("$.a").resolve(document)
    result["b"].append(2)
    result["c"] = 3
    assert document == {"a": {"b": [1]}}


@pytest.mark.parametrize(
    "document,exception,message",
    [
        # Wherever the bad value sits: off the path, before or after the target.
        ({"a": 1, "z": [(1,)]}, TypeError, "cannot convert tuple to JSON value"),
        ({"0": b"", "a": 1}, TypeError, "cannot convert bytes to JSON value"),
        ({"a": 1, "b": {"c": float("inf")}}, ValueError, "float is NaN or Inf"),
        ({"a": 1, "b": {5: 1}}, TypeError, "'int' object cannot be converted to 'PyString'"),
        ({"a": [1, {3.0: 1}]}, TypeError, "'float' object cannot be converted to 'PyString'"),
        # Inside the target.
        ({"a": {"x": set()}}, TypeError, "cannot convert set to JSON value"),
        # The first in dict order wins.
        ({"z": 2**64, "y": (1,), "a": 1}, OverflowError, None),
        ({"y": (1,), "z": 2**64, "a": 1}, TypeError, "cannot convert tuple to JSON value"),
    ],
)
def test_conversion_errors_anywhere_in_the_document(document, exception, message):
    with pytest.raises(exception) as info:
        JsonPath("$.a").resolve(document)
    if message is not None:
        assert str(info.value) == message


def test_lone_surrogates_anywhere_raise():
    for document in [{"a": 1, "b": "\udc80"}, {"a": 1, "\ud800": 2}, ["\ud800"]]:
        with pytest.raises(UnicodeEncodeError):
            JsonPath("$.a").resolve(document)


class SameBytesKey(str):
    """A key whose own hashing lets a dict hold it beside an equal str."""

    def __hash__(self):
        return 1

    def __eq__(self, other):
        return self is other


def test_keys_with_the_same_bytes_resolve_to_the_later_one():
    later_wins = {"a": {"b": 1}, SameBytesKey("a"): {"c": 2}}
    assert len(later_wins) == 2
    assert JsonPath("$.a").resolve(later_wins) == {"c": 2}
    assert JsonPath("$.a.b").resolve(later_wins) is None
    assert JsonPath("$.a.c").resolve(later_wins) == 2
    earlier = {SameBytesKey("a"): {"c": 2}, "a": {"b": 1}}
    assert JsonPath("$.a.b").resolve(earlier) == 1
    assert JsonPath("$.a.c").resolve(earlier) is None


class TestRecursion:
    def test_cyclic_documents_raise_recursion_error(self):
        cyclic = [1]
        cyclic.append(cyclic)
        cyclic_dict = {"a": 1}
        cyclic_dict["self"] = cyclic_dict
        for document, expr in [(cyclic, "$[0]"), (cyclic, "$[1][1][1]"), (cyclic_dict, "$.a")]:
            with pytest.raises(RecursionError):
                JsonPath(expr).resolve(document)

    def test_deep_documents_raise_recursion_error(self):
        deep = []
        for _ in range(100_000):
            deep = [deep]
        with pytest.raises(RecursionError):
            JsonPath("$[0]").resolve(deep)

    def test_nesting_cap_counts_levels_above_the_target(self):
        deep = []
        for _ in range(1100):
            deep = [deep]
        old = sys.getrecursionlimit()
        sys.setrecursionlimit(1_000_000)
        try:
            path = JsonPath("$" + "[0]" * 1000)
            with pytest.raises(RecursionError) as info:
                path.resolve(deep)
            assert str(info.value) == (
                "maximum nesting depth of 1024 exceeded while converting a value"
            )
        finally:
            sys.setrecursionlimit(old)


# Resolving against the template's full conversion: {"r.$": expr} evaluated on
# a document converts all of it and resolves the path in the tree.
def through_full_conversion(expr, document):
    try:
        result = _pyvorn.JsonTemplate({"r.$": expr}).evaluate(document)
    except Exception as error:  # noqa: BLE001 - compared below
        return ("raised", type(error), str(error))
    return ("value", None if result is None else result["r"])


def resolved(expr, document):
    try:
        return ("value", JsonPath(expr).resolve(document))
    except Exception as error:  # noqa: BLE001 - compared below
        return ("raised", type(error), str(error))


def same_shape(a, b):
    """Equal, with exact types and dict key order, all the way down."""
    if type(a) is not type(b):
        return False
    if isinstance(a, list):
        return len(a) == len(b) and all(same_shape(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return list(a) == list(b) and all(same_shape(a[k], b[k]) for k in a)
    if isinstance(a, float):
        return repr(a) == repr(b)
    return a == b


KEYS = st.sampled_from(["a", "b", "é", ""]) | st.builds(MyStr, st.sampled_from(["a", "b"]))
# Mostly convertible leaves, with one branch of every kind of failure.
SCALARS = (
    st.none()
    | st.booleans()
    | st.integers(min_value=-(2**63), max_value=2**63 - 1)
    | st.floats(allow_nan=False, allow_infinity=False)
    | st.builds(MyFloat, st.floats(allow_nan=False, allow_infinity=False))
    | st.sampled_from([Color.RED, MyStr("s")])
    | st.text(max_size=3)
    | st.sampled_from(
        [float("nan"), float("-inf"), 2**63, -(2**63) - 1, "\ud800", (), b"x", 1j, {1: 0}]
    )
)
TREES = st.recursive(
    SCALARS,
    lambda children: st.lists(children, max_size=4)
    | st.builds(MyList, st.lists(children, max_size=3))
    | st.dictionaries(KEYS, children, max_size=4)
    | st.builds(MyDict, st.dictionaries(KEYS, children, max_size=3)),
    max_leaves=20,
)
DOCUMENTS = st.dictionaries(KEYS, TREES, min_size=1, max_size=4) | st.lists(
    TREES, min_size=1, max_size=4
)
PATHS = st.lists(
    st.sampled_from(["a", "b", "é", ""]).map(lambda k: f"['{k}']")
    | st.integers(min_value=0, max_value=3).map(lambda i: f"[{i}]"),
    max_size=4,
).map(lambda steps: "$" + "".join(steps))


@settings(max_examples=1500, deadline=None)
@given(PATHS, DOCUMENTS)
def test_resolve_agrees_with_full_conversion(expr, document):
    expected = through_full_conversion(expr, document)
    actual = resolved(expr, document)
    assert actual[0] == expected[0], (actual, expected)
    if actual[0] == "raised":
        assert actual == expected
    else:
        assert same_shape(actual[1], expected[1]), (actual, expected)
