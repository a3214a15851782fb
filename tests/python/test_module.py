"""The module's surface: attributes, their order, exception types, import rules."""

import importlib
import subprocess
import sys

import pytest

import _pyvorn

# Every attribute the module registers, in registration order. Names that are
# not built yet are skipped, so the relative order is checked as they arrive.
REGISTRATION_ORDER = [
    "__version__",
    "ParseError",
    "ValidationError",
    "DispatchError",
    "JsonPathError",
    "encode_value",
    "decode_value",
    "LoweredIr",
    "validate",
    "lower",
    "generate",
    "compile",
    "StateMachine",
    "JsonPath",
    "JsonTemplate",
    "ContextObject",
    "json_place",
]
INTERPRETER_ATTRIBUTES = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__"}

EXCEPTIONS = {
    "ParseError": "ASL JSON parsing failed.",
    "ValidationError": "ASL validation failed.",
    "DispatchError": "State dispatch failed.",
    "JsonPathError": "JSONPath expression is invalid.",
}


def test_version_and_empty_docstring():
    assert _pyvorn.__version__ == "0.1.0"
    assert _pyvorn.__doc__ == ""


def test_attributes_are_registered_in_order():
    own = [name for name in vars(_pyvorn) if name not in INTERPRETER_ATTRIBUTES]
    expected = [name for name in REGISTRATION_ORDER if name in own]
    assert own == expected
    assert set(dir(_pyvorn)) - INTERPRETER_ATTRIBUTES <= set(REGISTRATION_ORDER)


def test_all_seventeen_names_are_registered():
    own = [name for name in vars(_pyvorn) if name not in INTERPRETER_ATTRIBUTES]
    assert own == REGISTRATION_ORDER
    assert set(dir(_pyvorn)) - INTERPRETER_ATTRIBUTES == set(REGISTRATION_ORDER)


@pytest.mark.parametrize("name,doc", EXCEPTIONS.items())
def test_exception_types(name, doc):
    exc = getattr(_pyvorn, name)
    assert exc.__bases__ == (Exception,)
    assert exc.__module__ == "pyvorn"
    assert exc.__name__ == name
    assert exc.__qualname__ == name
    assert exc.__doc__ == doc


def test_exception_types_are_unrelated():
    assert not issubclass(_pyvorn.ParseError, ValueError)
    assert not issubclass(_pyvorn.ValidationError, _pyvorn.ParseError)
    assert not issubclass(_pyvorn.ParseError, _pyvorn.ValidationError)


def test_reinitialising_returns_the_same_module():
    module = sys.modules.pop("_pyvorn")
    try:
        again = importlib.import_module("_pyvorn")
        assert again is module
        assert again.ParseError is module.ParseError
    finally:
        sys.modules["_pyvorn"] = module


def test_sub_interpreter_import_fails():
    # In a fresh process, so the check does not depend on this process's state.
    code = (
        "import _pyvorn, _xxsubinterpreters as si\n"
        "interp = si.create()\n"
        "try:\n"
        "    si.run_string(interp, 'import _pyvorn')\n"
        "except si.RunFailedError as e:\n"
        "    print(e)\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == (
        "<class 'ImportError'>: _pyvorn cannot be imported in a sub-interpreter"
    )


def test_package_reexports_the_module():
    import pyvorn

    assert pyvorn.validate is _pyvorn.validate
    assert pyvorn.ParseError is _pyvorn.ParseError
    assert pyvorn.__version__ == "0.1.0"
