"""StateMachine: construction, stepping, result and journal dicts, borrow rules."""

import pytest

from _pyvorn import LoweredIr, ParseError, StateMachine, ValidationError, lower
from conftest import definition

PASS_X = definition({"A": {"Type": "Pass", "Result": {"x": 1}, "End": True}})
TASK = definition({"T": {"Type": "Task", "Resource": "svc", "End": True}})


def assert_same(actual, expected):
    """Equal, with the keys of each top-level dict in the same order."""
    assert actual == expected
    if isinstance(expected, dict):
        assert list(actual) == list(expected)
    elif isinstance(expected, list):
        for a, e in zip(actual, expected):
            assert list(a) == list(e)


def raises(exception):
    def handler(ctx):
        raise exception

    return handler


def machine(text, initial_input=None, **handlers):
    sm = StateMachine(text, initial_input)
    for resource, handler in handlers.items():
        sm.register_handler(resource, handler)
    return sm


# --- surface ----------------------------------------------------------------


def test_signatures_and_docstrings():
    assert StateMachine.__doc__ == "The main state machine runtime."
    assert StateMachine.__text_signature__ == "(asl_json, initial_input=None)"
    assert StateMachine.__module__ == "pyvorn"
    members = {
        "from_lowered": (
            "(lowered, initial_input=None)",
            "Create a StateMachine from a LoweredIr handle (consumes it).",
        ),
        "register_handler": (
            "($self, resource, callable)",
            "Register a Python callable as a handler for the given resource name.",
        ),
        "step": ("($self)", "Execute one step. Returns a dict with status and details."),
        "run": ("($self)", "Run to completion. Returns a dict with status and output."),
    }
    for name, (signature, doc) in members.items():
        member = getattr(StateMachine, name)
        assert (member.__text_signature__, member.__doc__) == (signature, doc), name
    properties = {
        "journal": "Journal entries as a list of dicts.",
        "handler_names": "Handler resource names from the IR.",
        "state_names": "State names from the IR.",
        "current_state": "Current state ID.",
    }
    for name, doc in properties.items():
        assert getattr(StateMachine, name).__doc__ == doc
    assert StateMachine.__flags__ & (1 << 9)  # a heap type


def test_names_repr_and_current_state():
    text = definition(
        {
            "Start": {"Type": "Task", "Resource": "svc.b", "Next": 'Say "hi"'},
            'Say "hi"': {"Type": "Task", "Resource": "svc.a", "Next": "Z"},
            "Z": {"Type": "Succeed"},
        },
        start_at="Start",
    )
    sm = machine(text, **{"svc.b": lambda ctx: 1})
    assert sm.state_names == ['Say "hi"', "Start", "Z"]
    assert sm.handler_names == ["svc.a", "svc.b"]  # registered or not
    assert sm.current_state == 1
    assert repr(sm) == '<StateMachine states=3 current="Start">'
    assert_same(sm.step(), {"status": "continue", "next_state": 0})
    assert sm.current_state == 0
    assert repr(sm) == '<StateMachine states=3 current="Say "hi"">'
    assert sm.state_names is not sm.state_names  # a new list each time


# --- results and journal ----------------------------------------------------

FAILED_BAD = 'HandlerFailed(StateError { kind: External, message: "ValueError: bad", side_effects: [] })'

# (definition, initial input, handlers, expected result of run(), expected journal)
RUNS = {
    "pass result": (
        PASS_X,
        None,
        {},
        {"status": "completed", "output": {"x": 1}},
        [{"state_name": "A", "state_id": 0, "attempt": 0, "output": {"x": 1}}],
    ),
    "succeed starts from the empty object": (
        definition({"A": {"Type": "Succeed"}}),
        None,
        {},
        {"status": "completed", "output": {}},
        [{"state_name": "A", "state_id": 0, "attempt": 0, "output": {}}],
    ),
    "choice leaves no entry": (
        definition(
            {
                "P": {"Type": "Pass", "Next": "C"},
                "C": {
                    "Type": "Choice",
                    "Choices": [{"Variable": "$.go", "BooleanEquals": True, "Next": "S"}],
                },
                "S": {"Type": "Succeed"},
            },
            start_at="P",
        ),
        {"go": True},
        {},
        {"status": "completed", "output": {"go": True}},
        [
            {"state_name": "P", "state_id": 1, "attempt": 0, "output": {"go": True}},
            {"state_name": "S", "state_id": 2, "attempt": 0, "output": {"go": True}},
        ],
    ),
    "handler not found": (
        TASK,
        None,
        {"other": lambda ctx: 1},
        {"status": "fatal", "error": "HandlerNotFound(HandlerId(0))"},
        [],
    ),
    "handler raises": (
        TASK,
        None,
        {"svc": raises(ValueError("bad"))},
        {"status": "fatal", "error": FAILED_BAD},
        [{"state_name": "T", "state_id": 0, "attempt": 0, "error": "ValueError: bad"}],
    ),
    "handler returns None": (
        TASK,
        None,
        {"svc": lambda ctx: None},
        {"status": "completed", "output": None},
        [{"state_name": "T", "state_id": 0, "attempt": 0, "output": None}],
    ),
    "path does not resolve": (
        definition({"A": {"Type": "Pass", "InputPath": "$.missing", "Result": 1, "End": True}}),
        {"a": 1},
        {},
        {"status": "fatal", "error": "PathResolutionFailed(StateId(0))"},
        [],
    ),
    "fail state": (
        definition({"F": {"Type": "Fail", "Error": "E", "Cause": 'bo"om'}}),
        None,
        {},
        {
            "status": "fatal",
            "error": 'HandlerFailed(StateError { kind: Permanent, message: "bo\\"om", '
            "side_effects: [] })",
        },
        [{"state_name": "F", "state_id": 0, "attempt": 0, "error": 'bo"om'}],
    ),
    "result path places into the raw input": (
        definition(
            {
                "T": {
                    "Type": "Task",
                    "Resource": "svc",
                    "InputPath": "$.a",
                    "ResultPath": "$.result",
                    "End": True,
                }
            }
        ),
        {"a": 1},
        {"svc": lambda ctx: ctx["input"] + 1},
        {"status": "completed", "output": {"a": 1, "result": 2}},
        [{"state_name": "T", "state_id": 0, "attempt": 0, "output": {"a": 1, "result": 2}}],
    ),
}


@pytest.mark.parametrize("text,initial,handlers,result,journal", RUNS.values(), ids=RUNS)
def test_run_results_and_journal(text, initial, handlers, result, journal):
    sm = machine(text, initial, **handlers)
    assert_same(sm.run(), result)
    assert_same(sm.journal, journal)


def test_step_by_step():
    sm = machine(RUNS["choice leaves no entry"][0], {"go": True})
    assert_same(sm.step(), {"status": "continue", "next_state": 0})
    assert sm.current_state == 0
    assert_same(sm.step(), {"status": "continue", "next_state": 2})
    assert len(sm.journal) == 1
    assert_same(sm.step(), {"status": "completed", "output": {"go": True}})
    # Stepping on re-executes the final state and records it again.
    assert_same(sm.step(), {"status": "completed", "output": {"go": True}})
    assert [entry["state_name"] for entry in sm.journal] == ["P", "S", "S"]


def test_journal_since_is_the_journal_from_an_index_on():
    sm = machine(RUNS["choice leaves no entry"][0], {"go": True})
    for _ in range(4):
        sm.step()
    journal = sm.journal
    assert len(journal) == 3
    for index in range(len(journal) + 3):
        assert_same(sm._journal_since(index), journal[index:])
    assert sm._journal_since(2**62) == []
    for index, error in [(-1, ValueError), ("1", TypeError), (1.0, TypeError), (2**64, OverflowError)]:
        with pytest.raises(error):
            sm._journal_since(index)


def test_handler_receives_the_context_dict():
    seen = []
    text = definition(
        {
            "A": {"Type": "Pass", "Next": "T"},
            "T": {
                "Type": "Task",
                "Resource": "svc",
                "Parameters": {"id.$": "$.order", "fixed": [1]},
                "End": True,
            },
        },
        start_at="A",
    )
    sm = machine(text, {"order": 7}, svc=lambda ctx: seen.append(ctx))
    sm.run()
    assert_same(seen, [{"state_id": 1, "replay": False, "input": {"fixed": [1], "id": 7}}])


# --- retries and catchers -----------------------------------------------------


def flaky(failures, exception=ValueError("bad"), result="ok"):
    """A handler that raises `failures` times, then returns `result`."""
    calls = []

    def handler(ctx):
        calls.append(ctx["input"])
        if len(calls) <= failures:
            raise exception
        return result

    handler.calls = calls
    return handler


def task(retry=(), catch=(), **fields):
    return {
        "Type": "Task",
        "Resource": "svc",
        "Retry": list(retry),
        "Catch": list(catch),
        **fields,
    }


def retry(*errors, attempts):
    return {"ErrorEquals": list(errors), "MaxAttempts": attempts}


def attempts(sm):
    return [(entry["state_name"], entry["attempt"], "error" in entry) for entry in sm.journal]


def test_retry_then_catch():
    text = definition(
        {
            "T": task([retry("External", attempts=2)], [{"ErrorEquals": ["*"], "Next": "C"}],
                      Next="D"),
            "C": {"Type": "Pass", "End": True},
            "D": {"Type": "Succeed"},
        },
        start_at="T",
    )
    handler = flaky(10)
    sm = machine(text, {"n": 1}, svc=handler)
    assert_same(sm.step(), {"status": "continue", "next_state": 2})  # retry T
    assert_same(sm.step(), {"status": "continue", "next_state": 0})  # caught, to C
    # The catcher's target gets the raw input of the failed state.
    assert_same(sm.step(), {"status": "completed", "output": {"n": 1}})
    assert attempts(sm) == [("T", 0, True), ("T", 1, True), ("C", 0, False)]
    assert handler.calls == [{"n": 1}, {"n": 1}]


RETRY_CASES = {
    # (retry rules, failures before success, expected (attempt, failed) entries, status)
    "retried until success": ([retry("External", attempts=3)], 2, 3, "completed"),
    "attempts run out": ([retry("*", attempts=3)], 5, 3, "fatal"),
    "other kinds do not match": ([retry("Transient", "States.ALL", attempts=5)], 1, 1, "fatal"),
    "a later rule grants the retry": (
        [retry("External", attempts=1), retry("External", attempts=5)],
        3,
        4,
        "completed",
    ),
    "max attempts 1 never retries": ([retry("External", attempts=1)], 1, 1, "fatal"),
}


@pytest.mark.parametrize("rules,failures,entries,status", RETRY_CASES.values(), ids=RETRY_CASES)
def test_retries(rules, failures, entries, status):
    sm = machine(definition({"T": task(rules, End=True)}), svc=flaky(failures))
    assert sm.run()["status"] == status
    expected = [("T", i, i < failures) for i in range(entries)]
    assert attempts(sm) == expected


def test_interrupts_are_neither_retried_nor_caught():
    text = definition(
        {
            "T": task([retry("*", attempts=5)], [{"ErrorEquals": ["*"], "Next": "C"}], End=True),
            "C": {"Type": "Succeed"},
        },
        start_at="T",
    )
    sm = machine(text, svc=raises(KeyboardInterrupt))
    with pytest.raises(KeyboardInterrupt):
        sm.run()
    assert sm.journal == []
    assert sm.state_names[sm.current_state] == "T"


# --- borrow rules -------------------------------------------------------------

USES_OF_SELF = {
    "step": (lambda sm: sm.step(), "Already borrowed"),
    "run": (lambda sm: sm.run(), "Already borrowed"),
    "register_handler": (lambda sm: sm.register_handler("x", print), "Already borrowed"),
    "journal": (lambda sm: sm.journal, "Already mutably borrowed"),
    "_journal_since": (lambda sm: sm._journal_since(0), "Already mutably borrowed"),
    "current_state": (lambda sm: sm.current_state, "Already mutably borrowed"),
    "state_names": (lambda sm: sm.state_names, "Already mutably borrowed"),
    "handler_names": (lambda sm: sm.handler_names, "Already mutably borrowed"),
    "repr": (lambda sm: repr(sm), "Already mutably borrowed"),
}


@pytest.mark.parametrize("use,message", USES_OF_SELF.values(), ids=USES_OF_SELF)
def test_a_handler_cannot_use_its_own_machine(use, message):
    errors = []

    def handler(ctx):
        try:
            use(sm)
        except RuntimeError as error:
            errors.append(str(error))
        return "done"

    sm = machine(TASK, svc=handler)
    assert sm.run() == {"status": "completed", "output": "done"}
    assert errors == [message]
    # Nothing stays borrowed.
    assert sm.step()["status"] == "completed"
    assert len(sm.journal) == 2
    assert repr(sm) == '<StateMachine states=1 current="T">'


def test_a_handler_may_use_another_machine():
    other = machine(PASS_X)
    sm = machine(TASK, svc=lambda ctx: other.run()["output"])
    assert sm.run() == {"status": "completed", "output": {"x": 1}}


# --- construction -------------------------------------------------------------

VALID = PASS_X


class MyDict(dict):
    pass


CONSTRUCTION_ERRORS = {
    "text not str": (
        (42,),
        TypeError,
        "argument 'asl_json': 'int' object cannot be converted to 'PyString'",
    ),
    "text checked first": (
        (b"{}", 5),
        TypeError,
        "argument 'asl_json': 'bytes' object cannot be converted to 'PyString'",
    ),
    "input type checked before parsing": (
        ("not json", 5),
        TypeError,
        "argument 'initial_input': 'int' object cannot be converted to 'PyDict'",
    ),
    "input list": (
        (VALID, [1]),
        TypeError,
        "argument 'initial_input': 'list' object cannot be converted to 'PyDict'",
    ),
    "parse error": (("not json",), ParseError, None),
    "validation error": (
        (definition({"A": {"Type": "Pass"}}),),
        ValidationError,
        None,
    ),
    "input content": ((VALID, {"a": {1}}), TypeError, "cannot convert set to JSON value"),
    "input key": ((VALID, {1: 2}), TypeError, "'int' object cannot be converted to 'PyString'"),
    "input integer": ((VALID, {"a": 2**63}), OverflowError, None),
    "input float": ((VALID, {"a": float("nan")}), ValueError, "float is NaN or Inf"),
    "missing text": (
        (),
        TypeError,
        "StateMachine() missing 1 required positional argument: 'asl_json'",
    ),
    "too many": ((VALID, None, 1), TypeError, None),
}


@pytest.mark.parametrize("args,exception,message", CONSTRUCTION_ERRORS.values(),
                         ids=CONSTRUCTION_ERRORS)
def test_construction_errors(args, exception, message):
    with pytest.raises(exception) as info:
        StateMachine(*args)
    assert type(info.value) is exception
    if message is not None:
        assert str(info.value) == message


def test_construction_accepts_keywords_none_and_dict_subclasses():
    for sm in [
        StateMachine(asl_json=VALID, initial_input=None),
        StateMachine(definition({"A": {"Type": "Succeed"}}), MyDict(b=1, a=[2])),
    ]:
        assert sm.run()["status"] == "completed"
    sm = StateMachine(definition({"A": {"Type": "Succeed"}}), MyDict(b=1, a=[2]))
    assert_same(sm.run()["output"], {"a": [2], "b": 1})


def test_from_lowered_consumes_the_handle():
    handle = lower(PASS_X)
    sm = StateMachine.from_lowered(handle)
    assert sm.run() == {"status": "completed", "output": {"x": 1}}
    assert repr(handle) == "<LoweredIr (consumed)>"
    with pytest.raises(RuntimeError) as info:
        StateMachine.from_lowered(handle)
    assert str(info.value) == "LoweredIr has already been consumed"


def test_from_lowered_order_of_checks():
    handle = lower(definition({"A": {"Type": "Succeed"}}))
    with pytest.raises(TypeError) as info:
        StateMachine.from_lowered("x", 5)
    assert str(info.value) == "argument 'lowered': 'str' object cannot be converted to 'LoweredIr'"
    # A wrong input type leaves the handle usable...
    with pytest.raises(TypeError) as info:
        StateMachine.from_lowered(handle, (1,))
    assert str(info.value) == (
        "argument 'initial_input': 'tuple' object cannot be converted to 'PyDict'"
    )
    assert repr(handle) == "<LoweredIr states=1>"
    # ...a content that does not convert is found after the take-out.
    with pytest.raises(TypeError) as info:
        StateMachine.from_lowered(handle, {"a": (1,)})
    assert str(info.value) == "cannot convert tuple to JSON value"
    assert repr(handle) == "<LoweredIr (consumed)>"

    fresh = lower(definition({"A": {"Type": "Succeed"}}))
    sm = StateMachine.from_lowered(lowered=fresh, initial_input={"k": "v"})
    assert sm.run() == {"status": "completed", "output": {"k": "v"}}
    assert isinstance(fresh, LoweredIr)


def test_register_handler_arguments():
    sm = StateMachine(TASK)
    with pytest.raises(TypeError) as info:
        sm.register_handler(1, print)
    assert str(info.value) == "argument 'resource': 'int' object cannot be converted to 'PyString'"
    with pytest.raises(TypeError):
        sm.register_handler("svc")
    assert sm.register_handler(resource="svc", callable=42) is None
    # A non-callable fails when called, like any handler failure.
    assert sm.journal == []
    result = sm.run()
    assert result["status"] == "fatal"
    assert sm.journal[0]["error"] == "TypeError: 'int' object is not callable"
