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


# The start of a script run in a fresh process: report(name) imports and uses
# the module and prints one line, the name and then "ok" or the exception;
# run_in(name) does the same in a new sub-interpreter, then destroys it. It
# works with _xxsubinterpreters and with its newer name, _interpreters.
SUB_INTERPRETERS = """
try:
    import _interpreters as interpreters
except ImportError:
    import _xxsubinterpreters as interpreters

REPORT = '''
def report(name):
    try:
        import _pyvorn
        _pyvorn.validate('{"StartAt":"A","States":{"A":{"Type":"Succeed"}}}')
        print(name, "ok", flush=True)
    except Exception as error:
        print(name, type(error).__name__ + ":", error, flush=True)
'''
exec(REPORT)

def create():
    # Sharing the main interpreter's GIL, so that a single-phase module's own
    # import check is reached (isolated ones refuse such modules first).
    try:
        return interpreters.create("legacy")
    except TypeError:
        return interpreters.create(isolated=False)

def run_in(name):
    interp = create()
    failure = interpreters.run_string(interp, REPORT + "report(%r)" % name)
    if failure is not None:  # newer Pythons return a failure instead of raising it
        raise RuntimeError(failure)
    interpreters.destroy(interp)
"""


def run_with_sub_interpreters(code):
    out = subprocess.run(
        [sys.executable, "-c", SUB_INTERPRETERS + code], capture_output=True, text=True
    )
    assert out.returncode == 0, out.stderr
    return out.stdout.splitlines()


REFUSED = "ImportError: _pyvorn cannot be imported in a sub-interpreter"


def test_sub_interpreter_import_fails():
    # In a fresh process, so the check does not depend on this process's state.
    assert run_with_sub_interpreters('report("main")\nrun_in("sub")\nreport("main")\n') == [
        "main ok",
        "sub " + REFUSED,
        "main ok",
    ]


def test_module_stays_bound_to_a_destroyed_sub_interpreter():
    # The next interpreter may get the destroyed one's address: the module
    # must not take it for its owner and hand out the dead module.
    first, second, main = run_with_sub_interpreters(
        'run_in("first")\nrun_in("second")\nreport("main")\n'
    )
    assert second == "second " + REFUSED
    # Bound to the first sub-interpreter for good, or to the main one where
    # the host (3.13 on) runs a single-phase initialisation there first.
    assert {first, main} in ({"first ok", "main " + REFUSED}, {"first " + REFUSED, "main ok"})


def test_package_reexports_the_module():
    import pyvorn

    assert pyvorn.validate is _pyvorn.validate
    assert pyvorn.ParseError is _pyvorn.ParseError
    assert pyvorn.__version__ == "0.1.0"
