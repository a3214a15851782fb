"""ContextObject from Python."""

import gc
import sys
import weakref

import pytest

from _pyvorn import ContextObject


class MyDict(dict):
    pass


def test_signature_and_docstrings():
    assert ContextObject.__text_signature__ == (
        "(*, execution_id=None, start_time=None, state_name=None, config=None)"
    )
    assert ContextObject.__doc__ == "Context object for $$ path resolution."
    assert ContextObject.__module__ == "pyvorn"
    assert ContextObject.value.__text_signature__ == "($self)"
    assert ContextObject.value.__doc__ == "Get the full context as a Python dict."
    assert ContextObject.state_name.__doc__ == "Get current state name."


@pytest.mark.parametrize(
    "arguments,expected",
    [
        ({}, {"config": {}, "execution": {}, "state": {}}),
        (
            {"execution_id": "e", "state_name": "S", "config": {"k": 1}},
            {"config": {"k": 1}, "execution": {"id": "e"}, "state": {"name": "S"}},
        ),
        (
            {"execution_id": "e-1", "start_time": "not parsed", "state_name": None, "config": None},
            {"config": {}, "execution": {"id": "e-1", "start_time": "not parsed"}, "state": {}},
        ),
        # A config entry named like an execution field stays in config.
        (
            {"config": MyDict(id="x", b=[1], a=None)},
            {"config": {"a": None, "b": [1], "id": "x"}, "execution": {}, "state": {}},
        ),
    ],
)
def test_value(arguments, expected):
    context = ContextObject(**arguments)
    value = context.value()
    assert value == expected
    assert list(value) == ["config", "execution", "state"]
    assert list(value["config"]) == sorted(value["config"])


def test_value_is_a_new_dict_each_time():
    context = ContextObject(config={"k": [1]})
    first = context.value()
    first["config"]["k"].append(2)
    first["state"]["name"] = "changed"
    assert context.value() == {"config": {"k": [1]}, "execution": {}, "state": {}}
    assert context.value() is not context.value()


def test_state_name_property():
    context = ContextObject()
    assert context.state_name is None
    assert repr(context) == '<ContextObject state_name="(none)">'
    context.state_name = "A"
    assert context.state_name == "A"
    assert repr(context) == '<ContextObject state_name="A">'
    assert context.value() == {"config": {}, "execution": {}, "state": {"name": "A"}}
    context.state_name = 'quote " é'
    assert repr(context) == '<ContextObject state_name="quote " é">'
    assert ContextObject(state_name="S").state_name == "S"


@pytest.mark.parametrize(
    "call,exception,message",
    [
        (lambda: ContextObject("e"), TypeError, "ContextObject() takes 0 positional arguments but 1 was given"),
        (lambda: ContextObject(name="e"), TypeError, "ContextObject() got an unexpected keyword argument 'name'"),
        (
            lambda: ContextObject(execution_id=1),
            TypeError,
            "argument 'execution_id': 'int' object cannot be converted to 'PyString'",
        ),
        (
            lambda: ContextObject(start_time=b"t"),
            TypeError,
            "argument 'start_time': 'bytes' object cannot be converted to 'PyString'",
        ),
        (
            lambda: ContextObject(state_name=[]),
            TypeError,
            "argument 'state_name': 'list' object cannot be converted to 'PyString'",
        ),
        (
            lambda: ContextObject(config=[("k", 1)]),
            TypeError,
            "argument 'config': 'list' object cannot be converted to 'PyDict'",
        ),
        # Checked in parameter order, whatever order the keywords come in.
        (
            lambda: ContextObject(config=1, state_name=2, start_time=3, execution_id=4),
            TypeError,
            "argument 'execution_id': 'int' object cannot be converted to 'PyString'",
        ),
        (
            lambda: ContextObject(config=1, state_name=2),
            TypeError,
            "argument 'state_name': 'int' object cannot be converted to 'PyString'",
        ),
        (
            lambda: ContextObject(config={"k": (1,)}, state_name="S"),
            TypeError,
            "cannot convert tuple to JSON value",
        ),
        (lambda: ContextObject(config={"k": float("nan")}), ValueError, "float is NaN or Inf"),
        (lambda: ContextObject().value(1), TypeError, "ContextObject.value() takes no arguments (1 given)"),
    ],
)
def test_argument_errors(call, exception, message):
    with pytest.raises(exception) as info:
        call()
    assert str(info.value) == message


def test_setting_and_deleting_state_name():
    context = ContextObject(state_name="A")
    with pytest.raises(TypeError) as info:
        context.state_name = 5
    assert str(info.value) == "argument 'name': 'int' object cannot be converted to 'PyString'"
    with pytest.raises(TypeError):
        context.state_name = None
    with pytest.raises(AttributeError) as info:
        del context.state_name
    assert str(info.value) == "can't delete attribute"
    with pytest.raises(UnicodeEncodeError):
        context.state_name = "\ud800"
    assert context.state_name == "A"


def test_cyclic_and_deep_config_raise_recursion_error():
    cyclic = {}
    cyclic["self"] = cyclic
    deep = []
    for _ in range(100_000):
        deep = [deep]
    for bad in (cyclic, {"deep": deep}):
        with pytest.raises(RecursionError):
            ContextObject(config=bad)


def test_config_is_not_kept():
    config = MyDict(k=MyDict(v=1))
    ref = weakref.ref(config)
    context = ContextObject(config=config)
    config["k"]["v"] = 2
    del config
    assert ref() is None
    assert context.value()["config"] == {"k": {"v": 1}}


class SetsStateNameWhenCollected:
    def __init__(self, context):
        self.context = context
        self.cycle = self

    def __del__(self):
        self.context.state_name = "from finalizer"


@pytest.mark.skipif(
    sys.version_info >= (3, 12),
    reason="from 3.12 on, collections run between bytecodes, never inside a call into the module",
)
def test_setter_refused_while_value_reads():
    # A garbage collection run inside value(), while it converts the context,
    # runs a finalizer that tries to change the same object. The write must
    # fail with the borrow error instead of changing the value under the read.
    context = ContextObject(config={str(i): {"n": [i]} for i in range(200)})
    raised = []
    old_hook = sys.unraisablehook
    old_threshold = gc.get_threshold()
    sys.unraisablehook = lambda report: raised.append(report.exc_value)
    gc.disable()
    try:
        SetsStateNameWhenCollected(context)
        gc.set_threshold(1)
        gc.enable()
        value = context.value()
    finally:
        gc.set_threshold(*old_threshold)
        gc.enable()
        sys.unraisablehook = old_hook
    gc.collect()
    assert "name" not in value["state"]
    assert [type(e) for e in raised] == [RuntimeError]
    assert str(raised[0]) == "Already borrowed"
    assert context.state_name is None
