"""Properties of placement, templates and the running machine, each checked
against a small model written here from the rules, never from the code.

Paths are drawn as segment lists and rendered to text, so the models work on
segments and never parse. A segment is ("field", name) or ("index", k).
"""

import copy
import json
import re

from hypothesis import assume, given, settings
from hypothesis import strategies as st

from _pyvorn import JsonPath, JsonTemplate, StateMachine, json_place
from grammar import (TEXT, definitions, json_values, resources_of, uniform_values, utf8_order,
                     values)
from test_properties import identical, keys_in_byte_order

MISSING = object()  # "nothing there", distinct from a JSON null


# ------------------------------------------------------------ the models


def resolve(value, segments):
    for kind, key in segments:
        if kind == "field" and isinstance(value, dict) and key in value:
            value = value[key]
        elif kind == "index" and isinstance(value, list) and key < len(value):
            value = value[key]
        else:
            return MISSING
    return value


def place(root, segments, new):
    """`root` with `new` at the place: only the last step may add an object
    key, no step makes an intermediate object or an array element."""
    if not segments:
        return new
    (kind, key), rest = segments[0], segments[1:]
    if kind == "index":
        if not isinstance(root, list) or key >= len(root):
            return MISSING
        inner = place(root[key], rest, new)
        return MISSING if inner is MISSING else root[:key] + [inner] + root[key + 1:]
    if not isinstance(root, dict) or (key not in root and rest):
        return MISSING
    inner = place(root.get(key), rest, new)
    return MISSING if inner is MISSING else {**root, key: inner}


def evaluate(entries, data):
    """`entries` maps each template key as written to ("literal", value) or
    ("reference", segments); keys are taken in byte order, later ones win."""
    out = {}
    for key in utf8_order(entries):
        kind, content = entries[key]
        if kind == "literal":
            out[key] = content
            continue
        found = resolve(data, content)
        if found is MISSING:
            return MISSING
        out[key[:-2]] = found
    return out


def stored(value):
    """A definition's literal as the machine keeps it: integers above the
    signed 64-bit range become the nearest float."""
    if isinstance(value, list):
        return [stored(v) for v in value]
    if isinstance(value, dict):
        return {k: stored(v) for k, v in value.items()}
    if type(value) is int and value > 2**63 - 1:
        return float(value)
    return value


LIMIT = 2**16 - 1  # string bytes, entry counts and container bodies


def size(value):
    """Bytes of the encoding of `value`."""
    if isinstance(value, str):
        return 3 + len(value.encode())
    if isinstance(value, list):
        return 5 + sum(map(size, value))
    if isinstance(value, dict):
        return 5 + sum(2 + len(k.encode()) + size(v) for k, v in value.items())
    return 1 if value is None else 2 if isinstance(value, bool) else 9


def within_limits(value):
    """`value`, or MISSING when its encoding would break a 16-bit limit."""
    if value is MISSING or isinstance(value, (str, list, dict)) and size(value) - 3 > LIMIT:
        return MISSING
    inner = value.values() if isinstance(value, dict) else value if isinstance(value, list) else ()
    return value if all(within_limits(v) is not MISSING for v in inner) else MISSING


# ------------------------------------------------------------ paths

NAMES = st.one_of(st.sampled_from(["a", "b", "_", "x-1", "A9", "", "a b", "é", "$", ".$", "[0]"]),
                  TEXT)
# Names a definition path can carry: its pieces are split at '.' and '['.
PLAIN_NAMES = st.one_of(st.sampled_from(["a", "b", "x", "", "é", "$", "a b"]),
                        st.text(st.characters(codec="utf-8", exclude_characters=".[]"), max_size=6))


def _plain(name):
    return not any(c in name for c in ".[]")


@st.composite
def walks(draw, value, names=NAMES, fits=lambda name: True, min_depth=0, max_depth=4):
    """Segments that mostly follow what `value` holds, with some strangers."""
    segments = []
    for _ in range(draw(st.integers(min_depth, max_depth))):
        keys = sorted(k for k in value if fits(k)) if isinstance(value, dict) else []
        if keys and draw(st.integers(0, 3)):
            segment = ("field", draw(st.sampled_from(keys)))
        elif isinstance(value, list) and value and draw(st.integers(0, 3)):
            segment = ("index", draw(st.integers(0, len(value) - 1)))
        else:
            segment = draw(st.one_of(names.map(lambda n: ("field", n)),
                                     st.integers(0, 4).map(lambda k: ("index", k))))
        segments.append(segment)
        value = resolve(value, [segment])
    return segments


SIMPLE = re.compile(r"[A-Za-z_][A-Za-z0-9_-]*\Z")


@st.composite
def expressions(draw, segments):
    """A JSONPath expression for `segments`, in any of the ways to write it."""
    text = draw(st.sampled_from(["$", "$$"]))
    for kind, key in segments:
        if kind == "index":
            text += "[" + "0" * draw(st.integers(0, 2)) + str(key) + "]"
        elif SIMPLE.match(key) and draw(st.booleans()):
            text += "." + key
        else:
            quotes = [q for q in "'\"" if q not in key]
            assume(quotes)
            quote = draw(st.sampled_from(quotes))
            text += f"[{quote}{key}{quote}]"
    return text


# Bracket texts inside a definition path that name no index and are skipped.
SKIPPED = st.sampled_from(["", "[]", "[x]", "[-1]", "[65536]", "[1e2]"])


@st.composite
def definition_paths(draw, segments):
    """A definition path for `segments` (whose names are plain), with index
    spellings and skipped brackets as a user may write them."""
    pieces = []
    for kind, key in segments:
        if kind == "field":
            pieces.append(key + draw(SKIPPED) if key else key)
            continue
        index = "[" + draw(st.sampled_from(["", "+", "0"])) + f"{key}]" + draw(SKIPPED)
        if pieces and pieces[-1]:
            pieces[-1] += index
        else:  # "[k]" after an empty name would swallow the name
            pieces.append(index)
    return "$." + ".".join(pieces) if pieces else "$"


# ------------------------------------------------------------ placement and templates


CONTAINERS = st.dictionaries(NAMES, values, max_size=5) | st.lists(values, max_size=5)


@settings(max_examples=300, deadline=None)
@given(CONTAINERS | values, values, st.data())
def test_json_place_puts_the_value_at_the_path_and_nowhere_else(root, value, data):
    segments = data.draw(walks(root, min_depth=1))
    path = data.draw(expressions(segments))
    root_before, value_before = copy.deepcopy(root), copy.deepcopy(value)
    expected = place(root, segments, value)

    result = json_place(root, path, value)

    assert identical(root, root_before) and identical(value, value_before)
    if expected is MISSING:
        assert result is None
    else:
        # Also a placed null as the whole result: None either way.
        assert identical(result, expected)
        assert keys_in_byte_order(result)
        assert identical(JsonPath(path).resolve(result), value)


@st.composite
def json_templates(draw):
    data = draw(values)
    template, entries = {}, {}
    for base in draw(st.lists(NAMES, unique=True, max_size=5)):
        kind = draw(st.sampled_from(["literal", "reference", "both"]))
        if kind != "reference" and not base.endswith(".$"):
            template[base] = draw(values)
            entries[base] = ("literal", template[base])
        if kind != "literal":
            segments = draw(walks(data))
            template[base + ".$"] = draw(expressions(segments))
            entries[base + ".$"] = ("reference", segments)
    return template, entries, data


@settings(max_examples=300, deadline=None)
@given(json_templates())
def test_json_template_agrees_with_the_model(case):
    template, entries, data = case
    compiled = JsonTemplate(template)
    assert repr(compiled) == f"<JsonTemplate entries={len(template)}>"
    expected = evaluate(entries, data)

    result = compiled.evaluate(data)

    if expected is MISSING:
        assert result is None
    else:
        assert identical(result, expected)
        assert keys_in_byte_order(result)


# ------------------------------------------------------------ running any definition


def _echo(call):
    return call["input"]


def _raise(message):
    def handler(call):
        raise RuntimeError(message)
    return handler


def _returns(value):
    return lambda call: value


# What a handler does, and what a failure of it is recorded as (None: it
# succeeds; a str: the exact message; a tuple: the message's prefix).
BEHAVIOURS = st.one_of(
    st.just((_echo, None)),
    TEXT.map(lambda message: (_raise(message), "RuntimeError: " + message)),
    st.just((_returns({1, 2}), ("handler return: TypeError: ",))),
    st.just((_returns(2**64), ("handler return: OverflowError: ",))),
    st.just((_returns("x" * 70000), ("handler return: ValueError: ",))),
)

FATAL = re.compile(r'(PathResolutionFailed|InvalidTransition)\(StateId\((\d+)\)\)\Z'
                   r'|HandlerFailed\(StateError \{ kind: (External|Permanent), message: ".*",'
                   r' side_effects: \[\] \}\)\Z', re.S)
ENTRY_KEYS = (["state_name", "state_id", "attempt", "output"],
              ["state_name", "state_id", "attempt", "error"])
STEPS = 25


def _failure_matches(message, expected):
    return message.startswith(expected[0]) if isinstance(expected, tuple) else message == expected


def _after(state, names, entry):
    """The status and next state that follow the journal entry a state just
    made. Every handler failure is of kind External."""
    if "error" not in entry:
        return ("continue", names.index(state["Next"])) if "Next" in state else ("completed", None)
    if state["Type"] == "Fail":
        return "fatal", None

    def matches(rule):
        return "External" in rule["ErrorEquals"] or "*" in rule["ErrorEquals"]
    # A policy out of attempts does not stop the walk: a later one may retry.
    if any(matches(p) and entry["attempt"] + 1 < p.get("MaxAttempts", 3)
           for p in state.get("Retry", [])):
        return "continue", entry["state_id"]
    catcher = next((c for c in state.get("Catch", []) if matches(c)), None)
    return ("continue", names.index(catcher["Next"])) if catcher else ("fatal", None)


@settings(max_examples=150, deadline=None)
@given(definitions(), st.dictionaries(TEXT, values, max_size=4), st.data())
def test_any_definition_steps_by_the_rules(definition, initial, data):
    states = definition["States"]
    for policy in (p for state in states.values() for p in state.get("Retry", [])):
        # Few attempts, so that the steps below use them up.
        policy["MaxAttempts"] = data.draw(st.integers(1, 4))
    names = utf8_order(states)
    kinds = [states[name]["Type"] for name in names]
    machine = StateMachine(json.dumps(definition), initial)
    calls, failures = [], {}
    for resource in resources_of(definition):
        handler, failure = data.draw(BEHAVIOURS)
        failures[resource] = failure
        machine.register_handler(resource, lambda call, h=handler: (calls.append(call), h(call))[1])
    assert machine.state_names == names

    for _ in range(STEPS):
        before, length, calls[:] = machine.current_state, len(machine.journal), []
        result = machine.step()
        journal = machine.journal
        kind = kinds[before]
        grew = len(journal) - length
        assert grew == (0 if kind == "Choice" else 1) or result["status"] == "fatal"
        if grew:
            status, target = _after(states[names[before]], names, journal[-1])
            assert result["status"] == status
            assert result.get("next_state") == target

        if result["status"] == "continue":
            assert list(result) == ["status", "next_state"]
            assert 0 <= result["next_state"] < len(names)
            assert machine.current_state == result["next_state"]
        elif result["status"] == "completed":
            assert list(result) == ["status", "output"]
            assert kind in ("Task", "Pass", "Succeed") and grew == 1
            assert identical(result["output"], journal[-1]["output"])
            assert machine.current_state == before
        else:
            assert list(result) == ["status", "error"]
            match = FATAL.match(result["error"])
            assert match, result["error"]
            assert machine.current_state == before
            if match.group(2) is not None:
                assert int(match.group(2)) == before and grew == 0
            else:
                assert grew == 1 and "error" in journal[-1]
                assert (match.group(3) == "Permanent") == (kind == "Fail")

        for call in calls:
            assert list(call) == ["state_id", "replay", "input"]
            assert call["state_id"] == before and call["replay"] is False
        assert len(calls) <= (kind == "Task")

        for position, entry in enumerate(journal):
            assert list(entry) in ENTRY_KEYS
            state_id = entry["state_id"]
            assert entry["state_name"] == names[state_id]
            earlier = sum(e["state_id"] == state_id for e in journal[:position])
            assert entry["attempt"] == (earlier if kinds[state_id] == "Task" else 0)
            if "error" in entry and kinds[state_id] == "Task":
                failure = failures[states[names[state_id]]["Resource"]]
                assert failure is not None and _failure_matches(entry["error"], failure)
            elif "error" in entry:
                assert kinds[state_id] == "Fail"
                assert entry["error"] == states[names[state_id]].get("Cause", "")


# ------------------------------------------------------------ data flow of one state

# Integers beyond the signed range are floats once the definition is read.
BIG = st.sampled_from([2**63, 2**64 - 1])


@st.composite
def runtime_templates(draw, data, literals):
    """A template that the rules accept, with its model entries."""
    template, entries = {}, {}
    for base in draw(st.lists(NAMES.filter(lambda k: not k.endswith(".$")), unique=True,
                              max_size=4)):
        if draw(st.booleans()):
            segments = draw(walks(data, PLAIN_NAMES, _plain))
            template[base + ".$"] = draw(definition_paths(segments))
            entries[base + ".$"] = ("reference", segments)
        else:
            template[base] = draw(literals)
            entries[base] = ("literal", stored(template[base]))
    return template, entries


@st.composite
def data_flow_cases(draw):
    """A Task or Pass state "S" with drawn data-flow fields, the states and
    initial input that bring it its raw input, the handler's result, and the
    model's account of the step of "S".

    The raw input is the initial input (always an object), or the `Result` of
    a Pass "P" before "S", which may be any value."""
    kind = draw(st.sampled_from(["Task", "Pass"]))
    state = {"Type": kind, "End": True}
    states, initial = {"S": state}, draw(st.dictionaries(PLAIN_NAMES, values, max_size=4))
    if draw(st.booleans()):
        states["P"] = {"Type": "Pass", "Result": draw(BIG | uniform_values), "Next": "S"}
        # A null Result is no Result: "P" passes its input on.
        raw = initial if states["P"]["Result"] is None else stored(states["P"]["Result"])
    else:
        raw = initial

    def draw_path(field, over):
        if not draw(st.booleans()):
            return []
        segments = draw(walks(over, PLAIN_NAMES, _plain))
        state[field] = draw(definition_paths(segments))
        return segments

    def draw_template(field, over, literals):
        if not draw(st.booleans()):
            return None
        state[field], entries = draw(runtime_templates(over, literals))
        return entries

    effective = resolve(raw, draw_path("InputPath", raw))
    if kind == "Task":
        state["Resource"] = "r"
        parameters = draw_template("Parameters", effective, BIG | json_values)
        handler_input = effective if parameters is None else within_limits(
            evaluate(parameters, effective))
        handler_result = draw(values)
        selector = draw_template("ResultSelector", handler_result, BIG | json_values)
        selected = handler_result if selector is None else within_limits(
            evaluate(selector, handler_result))
        if handler_input is MISSING:  # no call, so nothing to select from
            selected = MISSING
    else:
        handler_input, handler_result = MISSING, None
        parameters = draw_template("Parameters", effective, BIG | uniform_values)
        if draw(st.booleans()):
            state["Result"] = draw(BIG | uniform_values)
        if parameters is not None:
            selected = within_limits(evaluate(parameters, effective))
        else:
            result = state.get("Result")  # null counts as absent
            selected = effective if result is None else stored(result)
    if effective is MISSING:  # the input path fails first, whatever else would
        handler_input = selected = MISSING

    filtered = resolve(selected, draw_path("OutputPath", selected))
    how = draw(st.sampled_from(["absent", "replace", "discard", "place"]))
    if how == "discard":
        state["ResultPath"] = None
        output = raw if filtered is not MISSING else MISSING
    else:
        segments = draw(walks(raw, PLAIN_NAMES, _plain, min_depth=1)) if how == "place" else []
        if how != "absent":
            state["ResultPath"] = draw(definition_paths(segments))
        output = MISSING if filtered is MISSING else within_limits(place(raw, segments, filtered))
    return states, initial, handler_result, handler_input, output


@settings(max_examples=300, deadline=None)
@given(data_flow_cases())
def test_one_state_moves_data_as_the_model_does(case):
    states, initial, handler_result, handler_input, output = case
    start = min(states)  # "P" when there is one
    machine = StateMachine(json.dumps({"StartAt": start, "States": states}), initial)
    calls = []
    machine.register_handler("r", lambda call: (calls.append(call["input"]), handler_result)[1])
    state_id = len(states) - 1
    if start == "P":
        assert machine.step() == {"status": "continue", "next_state": state_id}
    before = machine.journal

    result = machine.step()

    if handler_input is MISSING:
        assert calls == []
    else:
        assert len(calls) == 1 and identical(calls[0], handler_input)
    if output is MISSING:
        assert result == {"status": "fatal", "error": f"PathResolutionFailed(StateId({state_id}))"}
        assert machine.current_state == state_id and machine.journal == before
        return
    assert list(result) == ["status", "output"] and result["status"] == "completed"
    assert identical(result["output"], output)
    assert keys_in_byte_order(result["output"])
    *earlier, entry = machine.journal
    assert earlier == before
    assert list(entry) == ["state_name", "state_id", "attempt", "output"]
    assert (entry["state_name"], entry["state_id"], entry["attempt"]) == ("S", state_id, 0)
    assert identical(entry["output"], output)


@settings(max_examples=100, deadline=None)
@given(st.lists(st.sampled_from([5, 16000, 21800, 32000, 32760, 65000]), min_size=1, max_size=3),
       st.data())
def test_copies_past_the_format_limits_fail_in_place(lengths, data):
    # Long texts copied by a template and placed back into the input: the
    # step either fits the format or fails without a trace.
    raw = {f"k{i}": "x" * n for i, n in enumerate(lengths)}
    assume(within_limits(raw) is not MISSING)
    keys = sorted(raw)
    picks = data.draw(st.lists(st.sampled_from(keys + [None]), max_size=3))
    entries = {f"r{i}.$": ("reference", [("field", k)] if k else []) for i, k in enumerate(picks)}
    target = data.draw(st.sampled_from(keys + ["new", None]))  # None: the result is dropped
    state = {"Type": "Pass", "End": True, "ResultPath": target and f"$.{target}",
             "Parameters": {k: f"$.{p}" if p else "$" for k, p in zip(entries, picks)}}
    machine = StateMachine(json.dumps({"StartAt": "S", "States": {"S": state}}), raw)
    selected = within_limits(evaluate(entries, raw))
    if selected is MISSING or target is None:
        output = selected if selected is MISSING else raw
    else:
        output = within_limits(place(raw, [("field", target)], selected))

    result = machine.step()

    if output is MISSING:
        assert result == {"status": "fatal", "error": "PathResolutionFailed(StateId(0))"}
        assert machine.journal == [] and machine.current_state == 0
    else:
        assert result["status"] == "completed" and identical(result["output"], output)
