"""Hypothesis strategies for values and for valid definitions.

`definitions()` draws a definition (as a dict) that every rule accepts: every
transition names a state, each state ends or continues in exactly one way,
paths begin with "$" or "$.", templates have string-valued reference keys and
no conflicts, Choice branches are distinct, Retry and Catch entries are
sensible, and static Pass data has uniform arrays. Within those rules it
reaches for awkward texts, extreme numbers and odd but accepted paths, so
the stages after validation see what users may legally write.
"""

from hypothesis import strategies as st

INT64 = st.integers(min_value=-(2**63), max_value=2**63 - 1)
# Integers a definition may hold: both 64-bit ranges.
JSON_INTS = st.integers(min_value=-(2**63), max_value=2**64 - 1)
FLOATS = st.floats(allow_nan=False, allow_infinity=False)
TEXT = st.text(st.characters(codec="utf-8"), max_size=12)

# Encodable Python values: what encode_value takes and decode_value gives back.
values = st.recursive(
    st.none() | st.booleans() | INT64 | FLOATS | TEXT,
    lambda children: st.lists(children, max_size=6) | st.dictionaries(TEXT, children, max_size=6),
    max_leaves=50,
)

# ------------------------------------------------------------ uniform JSON data

_SCALARS = {
    "null": st.none(),
    "bool": st.booleans(),
    "int": JSON_INTS,
    "float": FLOATS,
    "str": TEXT,
}

# A shape: a scalar kind, "empty" (an array with no elements), ("array", shape)
# or ("object", {key: shape}). Every value drawn for one shape has the same
# structure, so arrays of them are uniform.
_shapes = st.recursive(
    st.sampled_from(sorted(_SCALARS) + ["empty"]),
    lambda inner: st.tuples(st.just("array"), inner)
    | st.tuples(st.just("object"), st.dictionaries(TEXT, inner, max_size=4)),
    max_leaves=8,
)


def _value_of(shape):
    if shape == "empty":
        return st.just([])
    if isinstance(shape, str):
        return _SCALARS[shape]
    kind, inner = shape
    if kind == "array":
        # Never empty: an empty array differs in structure from a filled one.
        return st.lists(_value_of(inner), min_size=1, max_size=4)
    return st.fixed_dictionaries({key: _value_of(child) for key, child in inner.items()})


uniform_values = _shapes.flatmap(_value_of)

# Any JSON data, uniform or not (Task templates are not checked for it).
json_values = st.recursive(
    st.none() | st.booleans() | JSON_INTS | FLOATS | TEXT,
    lambda children: st.lists(children, max_size=4) | st.dictionaries(TEXT, children, max_size=4),
    max_leaves=20,
)

# ------------------------------------------------------------ definitions

STATE_NAMES = st.one_of(
    st.sampled_from(["A", "B", "Start", "a.b", "é", "Fetch data", "😀", "$", ""]),
    TEXT,
)

_FIELD = st.text(st.characters(codec="utf-8", exclude_characters=".[]"), max_size=6)
# Paths as users write them, and text after "$." that the rules let through.
PATHS = st.one_of(
    st.just("$"),
    st.lists(
        st.tuples(_FIELD, st.lists(st.integers(0, 70000).map(lambda i: f"[{i}]"), max_size=2)),
        min_size=1,
        max_size=4,
    ).map(lambda parts: "$." + ".".join(name + "".join(ix) for name, ix in parts)),
    TEXT.map(lambda rest: "$." + rest),
)

RESOURCES = st.one_of(st.sampled_from(["svc.a", "svc.b", "http.get", " "]), TEXT.filter(bool))
ERROR_NAMES = st.lists(st.one_of(st.sampled_from(["*", "Timeout", "External"]), TEXT), min_size=1,
                       max_size=3)
U32 = st.integers(0, 2**32 - 1)


def _without_ref_suffix(key):
    return not key.endswith(".$")


@st.composite
def templates(draw, literal_values):
    """A template object: literal members and ".$" reference members."""
    bases = draw(st.lists(TEXT.filter(_without_ref_suffix), unique=True, max_size=5))
    template = {}
    for base in bases:
        if draw(st.booleans()):
            template[base + ".$"] = draw(PATHS)
        else:
            template[base] = draw(literal_values)
    return template


def _optional(draw, target, key, strategy):
    if draw(st.booleans()):
        target[key] = draw(strategy)


def _transition(draw, names):
    if draw(st.booleans()):
        step = {"Next": draw(st.sampled_from(names))}
        _optional(draw, step, "End", st.sampled_from([False, None]))
        return step
    return {"End": True}


def _data_flow(draw, state):
    _optional(draw, state, "InputPath", PATHS)
    _optional(draw, state, "OutputPath", PATHS)
    _optional(draw, state, "ResultPath", st.one_of(st.none(), PATHS))


def _retry(draw):
    rule = {"ErrorEquals": draw(ERROR_NAMES)}
    _optional(draw, rule, "IntervalSeconds", U32)
    _optional(draw, rule, "MaxAttempts", st.integers(1, 2**32 - 1))
    _optional(draw, rule, "BackoffRate", st.one_of(
        st.floats(min_value=1.0, allow_infinity=False), st.integers(1, 2**63)))
    return rule


def _choice_rule(draw, names):
    operator = draw(st.sampled_from(["NumericEquals", "StringEquals", "BooleanEquals"]))
    value = {"NumericEquals": INT64, "StringEquals": TEXT, "BooleanEquals": st.booleans()}[operator]
    return {"Variable": draw(PATHS), operator: draw(value), "Next": draw(st.sampled_from(names))}


def _branch_description(rule):
    return next((key, rule[key]) for key in ("NumericEquals", "StringEquals", "BooleanEquals")
                if key in rule)


@st.composite
def _state(draw, names):
    kind = draw(st.sampled_from(["Task", "Pass", "Choice", "Succeed", "Fail"]))
    state = {"Type": kind}
    _optional(draw, state, "Comment", TEXT)
    if kind == "Task":
        state["Resource"] = draw(RESOURCES)
        state.update(_transition(draw, names))
        _data_flow(draw, state)
        _optional(draw, state, "Parameters", templates(json_values))
        _optional(draw, state, "ResultSelector", templates(json_values))
        if draw(st.booleans()):
            state["Retry"] = [_retry(draw) for _ in range(draw(st.integers(0, 3)))]
        if draw(st.booleans()):
            state["Catch"] = [{"ErrorEquals": draw(ERROR_NAMES), "Next": draw(st.sampled_from(names))}
                              for _ in range(draw(st.integers(1, 3)))]
    elif kind == "Pass":
        state.update(_transition(draw, names))
        _data_flow(draw, state)
        _optional(draw, state, "Result", uniform_values)
        _optional(draw, state, "Parameters", templates(uniform_values))
    elif kind == "Choice":
        rules = [_choice_rule(draw, names) for _ in range(draw(st.integers(1, 5)))]
        seen, state["Choices"] = set(), []
        for rule in rules:
            description = _branch_description(rule)
            if description not in seen:
                seen.add(description)
                state["Choices"].append(rule)
        _optional(draw, state, "Default", st.sampled_from(names))
    elif kind == "Fail":
        _optional(draw, state, "Error", TEXT)
        _optional(draw, state, "Cause", TEXT)
    return state


@st.composite
def definitions(draw, max_states=6):
    names = draw(st.lists(STATE_NAMES, min_size=1, max_size=max_states, unique=True))
    states = {name: draw(_state(names)) for name in names}
    definition = {"StartAt": draw(st.sampled_from(names)), "States": states}
    _optional(draw, definition, "Comment", TEXT)
    return definition


def utf8_order(names):
    return sorted(names, key=lambda name: name.encode("utf-8"))


def resources_of(definition):
    return {s["Resource"] for s in definition["States"].values() if s["Type"] == "Task"}
