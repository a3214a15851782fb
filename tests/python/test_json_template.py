"""JsonTemplate and json_place from Python."""

import weakref

import pytest

from _pyvorn import JsonPathError, JsonTemplate, json_place


class MyDict(dict):
    pass


def test_signatures_and_docstrings():
    assert JsonTemplate.__text_signature__ == "(template_obj)"
    assert JsonTemplate.__doc__ == "JSON template for constructing output objects from path references."
    assert JsonTemplate.__module__ == "pyvorn"
    assert JsonTemplate.evaluate.__text_signature__ == "($self, input)"
    assert JsonTemplate.evaluate.__doc__ == "Evaluate the template against input data."
    assert json_place.__text_signature__ == "(root, path_str, value)"
    assert json_place.__doc__ == "Place a value at a JSONPath location within a root object."


@pytest.mark.parametrize(
    "template,document,expected",
    [
        ({"out.$": "$.v", "k": 1}, {"v": [1]}, {"k": 1, "out": [1]}),
        ({"out.$": "$.v", "k": 1}, {}, None),
        ({"n": {"m.$": "$.x"}}, 5, {"n": {"m.$": "$.x"}}),
        ({"k": 1, "k.$": "$.v"}, {"v": 2}, {"k": 2}),
        ({"k.$": "$.v", "k": 1}, {"v": 2}, {"k": 2}),
        ({}, [1], {}),
        ({"c.$": "$$.a"}, {"a": None}, {"c": None}),
    ],
)
def test_evaluate(template, document, expected):
    result = JsonTemplate(template).evaluate(input=document)
    assert result == expected
    if result is not None:
        assert list(result) == sorted(result, key=lambda k: k.encode())


@pytest.mark.parametrize(
    "template,message",
    [
        ({"a.$": 1}, 'ReferenceNotString { key: "a.$" }'),
        (
            {"a.$": "x"},
            'InvalidReference { key: "a.$", error: JsonPathError { position: 0, kind: MissingRoot } }',
        ),
        (
            {"\t\"é.$": "$[*]"},
            'InvalidReference { key: "\\t\\"é.$", error: JsonPathError { position: 2, kind: UnexpectedCharacter(\'*\') } }',
        ),
        # The first bad key in byte order, not in dict order.
        ({"b.$": 1, "a.$": "x"}, 'InvalidReference { key: "a.$", error: JsonPathError { position: 0, kind: MissingRoot } }'),
    ],
)
def test_template_errors(template, message):
    with pytest.raises(JsonPathError) as info:
        JsonTemplate(template)
    assert str(info.value) == message


def test_repr_counts_entries():
    assert repr(JsonTemplate({"a": 1, "b.$": "$"})) == "<JsonTemplate entries=2>"
    assert repr(JsonTemplate({})) == "<JsonTemplate entries=0>"
    assert repr(JsonTemplate(MyDict(k=1))) == "<JsonTemplate entries=1>"
    assert repr(JsonTemplate(template_obj={"a": 1})) == "<JsonTemplate entries=1>"


@pytest.mark.parametrize(
    "call,exception,message",
    [
        (lambda: JsonTemplate([1]), TypeError, "argument 'template_obj': 'list' object cannot be converted to 'PyDict'"),
        (lambda: JsonTemplate(None), TypeError, "argument 'template_obj': 'NoneType' object cannot be converted to 'PyDict'"),
        (lambda: JsonTemplate(), TypeError, "JsonTemplate() missing 1 required positional argument: 'template_obj'"),
        (lambda: JsonTemplate({}, {}), TypeError, "JsonTemplate() takes 1 positional argument but 2 were given"),
        (lambda: JsonTemplate(template={}), TypeError, "JsonTemplate() got an unexpected keyword argument 'template'"),
        (lambda: JsonTemplate(template_obj=[]), TypeError, "argument 'template_obj': 'list' object cannot be converted to 'PyDict'"),
        (lambda: JsonTemplate({"a": (1,)}), TypeError, "cannot convert tuple to JSON value"),
        (lambda: JsonTemplate({1: 1}), TypeError, "'int' object cannot be converted to 'PyString'"),
        (lambda: JsonTemplate({}).evaluate({"a": float("nan")}), ValueError, "float is NaN or Inf"),
        (lambda: JsonTemplate({}).evaluate(), TypeError, "evaluate() missing 1 required positional argument: 'input'"),
        (lambda: json_place({}, 5, 1), TypeError, "argument 'path_str': 'int' object cannot be converted to 'PyString'"),
        # The path's type is checked before the root is converted; the path
        # is parsed after it, and the value converted last.
        (lambda: json_place((), 5, 1), TypeError, "argument 'path_str': 'int' object cannot be converted to 'PyString'"),
        (lambda: json_place((), "bad", ()), TypeError, "cannot convert tuple to JSON value"),
        (lambda: json_place({}, "bad", ()), JsonPathError, "JsonPathError { position: 0, kind: MissingRoot }"),
        (lambda: json_place({}, "$", b""), TypeError, "cannot convert bytes to JSON value"),
        (lambda: json_place({}, "$"), TypeError, "json_place() missing 1 required positional argument: 'value'"),
    ],
)
def test_argument_errors_in_order(call, exception, message):
    with pytest.raises(exception) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize(
    "root,path,expected",
    [
        ({"a": {}}, "$.a.b", {"a": {"b": 1}}),
        ({}, "$.a.b", None),
        ({"a": 3}, "$.a.b", None),
        ([0, 0], "$[1]", [0, 1]),
        ({"x": [1]}, "$", 1),
        ({"a": 5}, "$$.a", {"a": 1}),
        ({"a": [{"b": [0, {}]}]}, "$.a[0].b[1].c", {"a": [{"b": [0, {"c": 1}]}]}),
    ],
)
def test_json_place(root, path, expected):
    before = repr(root)
    assert json_place(root=root, path_str=path, value=1) == expected
    assert repr(root) == before


def test_placed_value_is_a_converted_copy():
    value = MyDict(z=[1], a=2)
    result = json_place({"k": None}, "$.k", value)
    assert type(result["k"]) is dict
    assert list(result["k"]) == ["a", "z"]
    result["k"]["z"].append(2)
    assert value == {"z": [1], "a": 2}


def test_cyclic_and_deep_values_raise_recursion_error():
    cyclic = []
    cyclic.append(cyclic)
    deep = []
    for _ in range(100_000):
        deep = [deep]
    for bad in (cyclic, deep):
        with pytest.raises(RecursionError):
            JsonTemplate({"a": bad})
        with pytest.raises(RecursionError):
            JsonTemplate({"a.$": "$"}).evaluate(bad)
        with pytest.raises(RecursionError):
            json_place(bad, "$[0]", 1)
        with pytest.raises(RecursionError):
            json_place({}, "$.a", bad)


def test_nothing_passed_in_is_kept():
    template = MyDict({"a.$": "$.x", "b": [1]})
    document = MyDict(x=MyDict(y=1))
    value = MyDict(v=1)
    refs = [weakref.ref(o) for o in (template, document, value)]
    compiled = JsonTemplate(template)
    result = compiled.evaluate(document)
    placed = json_place(document, "$.z", value)
    del template, document, value
    assert all(ref() is None for ref in refs)
    assert result == {"a": {"y": 1}, "b": [1]}
    assert placed == {"x": {"y": 1}, "z": {"v": 1}}
    assert compiled.evaluate({"x": 0}) == {"a": 0, "b": [1]}
