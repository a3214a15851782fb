"""A finalizer that changes the value being read, run by a garbage collection
that starts in the middle of a call: every entry point that walks Python
values must neither crash nor read the changed value half-way, and ends as
the same call on an untouched copy does."""

import copy
import gc

import pytest

from _pyvorn import JsonPath, JsonTemplate, StateMachine, encode_value, json_place
from conftest import definition


def arm(mutate, doc, fired):
    """Leaves cyclic garbage whose finalizer calls mutate(doc), and makes the
    next allocation of a tracked object collect it."""

    class Bomb:
        def __del__(self):
            fired.append(True)
            mutate(doc)

    bomb = Bomb()
    bomb.cycle = bomb
    del bomb
    gc.set_threshold(1)
    gc.enable()


def rebind(doc):
    doc["z"] = None


def clear_list(doc):
    doc["z"].clear()


def clear_root(doc):
    doc.clear()


MUTATIONS = [rebind, clear_list, clear_root]


def good_doc():
    return {"z": [[{"k": i} for i in range(5)]] + [[1, 2, "ü"]] * 100, "s": "text"}


def bad_doc():
    # Written in key order ("a" before "z") but read in dict order, so the
    # failure in "a" sends the walk back to the earlier entry "z".
    return {"z": [[{"k": i} for i in range(5)]] + [[1, 2, 3]] * 100, "a": [1, {2}]}


def run_with_input(doc, arm_now):
    machine_text = definition({"P": {"Type": "Pass", "End": True}})
    arm_now()
    return StateMachine(machine_text, doc).run()


def handler_result(doc, arm_now):
    machine = StateMachine(definition({"T": {"Type": "Task", "Resource": "svc", "End": True}}))

    def handler(context):
        arm_now()
        return doc

    machine.register_handler("svc", handler)
    return machine.run(), machine.journal


def then(call):
    def armed_call(doc, arm_now):
        arm_now()
        return call(doc)

    return armed_call


# Made before the collection is armed: building it would start the collection.
PLACED = {"v": [1, 2]}

CALLS = {
    "resolve a container": then(JsonPath("$.z[0]").resolve),
    "resolve a str": then(JsonPath("$.z[1][2]").resolve),
    "resolve off the path": then(JsonPath("$.s").resolve),
    "json_place": then(lambda doc: json_place(doc, "$.z[0][0].k", PLACED)),
    "JsonTemplate.evaluate": then(JsonTemplate({"out.$": "$.z[0]", "n.$": "$.z"}).evaluate),
    "encode_value": then(encode_value),
    "initial input": run_with_input,
    "handler result": handler_result,
}


def outcome(call, doc, arm_now):
    try:
        return ("value", call(doc, arm_now))
    except Exception as error:
        return ("raised", type(error), str(error))


CASES = [
    pytest.param(call, make_doc, mutate, id=f"{name}-{make_doc.__name__}-{mutate.__name__}")
    for name, call in CALLS.items()
    for make_doc in [good_doc, bad_doc]
    for mutate in MUTATIONS
    # A successful encode_value allocates nothing a collection tracks, so no
    # finalizer could run inside it.
    if not (name == "encode_value" and make_doc is good_doc)
]


@pytest.mark.parametrize("call,make_doc,mutate", CASES)
def test_finalizer_changing_the_value_during_a_call(call, make_doc, mutate):
    doc = make_doc()
    expected = outcome(call, copy.deepcopy(doc), lambda: None)
    fired = []
    enabled = gc.isenabled()
    thresholds = gc.get_threshold()
    gc.collect()
    gc.disable()
    try:
        got = outcome(call, doc, lambda: arm(mutate, doc, fired))
        collected = bool(fired)
    finally:
        gc.set_threshold(*thresholds)
        if enabled:
            gc.enable()
        else:
            gc.disable()
        gc.collect()
    assert collected, "the finalizer never ran: the case tests nothing"
    assert got == expected
    if call is CALLS["resolve a str"] and make_doc is good_doc:
        assert got[1] is expected[1] == "ü"
