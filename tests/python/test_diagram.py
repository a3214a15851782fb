"""Pictures of machines: DOT and Mermaid text, a run drawn from its journal,
and SVG drawn by Graphviz."""

import importlib.util
from collections import Counter
import json
import pathlib
import re
import shutil
import xml.etree.ElementTree as ET

import _pyvorn
import pytest

from conftest import definition
from pyvorn._inspect import MachineFacts
from pyvorn._overlay import UNKNOWN, evaluate, parse_value_path, trace_run
from pyvorn._source import scan
from pyvorn.diagram import (
    definition_to_dot,
    definition_to_mermaid,
    render,
    run_to_dot,
    run_to_mermaid,
)

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = sorted(p for p in (ROOT / "examples").glob("*.json") if not p.name.startswith("broken_"))
HAS_DOT = shutil.which("dot") is not None
needs_dot = pytest.mark.skipif(not HAS_DOT, reason='Graphviz "dot" is not installed')
needs_machine = pytest.mark.skipif(
    not hasattr(_pyvorn, "StateMachine"), reason="this build of _pyvorn has no StateMachine yet"
)

SMALL = definition(
    {
        "Start": {"Type": "Pass", "Next": "Pick"},
        "Pick": {
            "Type": "Choice",
            "Choices": [{"Variable": "$.go", "BooleanEquals": True, "Next": "Work"}],
            "Default": "Stop",
        },
        "Work": {
            "Type": "Task",
            "Resource": "svc.work",
            "Retry": [{"ErrorEquals": ["External"], "MaxAttempts": 2}],
            "Catch": [{"ErrorEquals": ["*"], "Next": "Stop"}],
            "End": True,
        },
        "Stop": {"Type": "Fail", "Error": "E"},
    }
)

HEAD = """digraph machine {
  graph [rankdir=TB, nodesep=0.35, ranksep=0.45, fontname="Helvetica", fontsize=12, labelloc=t];
  node [shape=box, style="rounded,filled", color="#24292f", fontcolor="#24292f", fontname="Helvetica", fontsize=11, margin="0.12,0.05"];
  edge [color="#24292f", fontcolor="#57606a", fontname="Helvetica", fontsize=9, arrowsize=0.7];
"""
TABLE = '<TABLE BORDER="0" CELLBORDER="0" CELLSPACING="0" CELLPADDING="1">'


def rows(*cells):
    """An HTML-like node label from its rows."""
    return "<" + TABLE + "".join(f"<TR><TD>{cell}</TD></TR>" for cell in cells) + "</TABLE>>"


def note(text, color="#57606a"):
    return f'<FONT COLOR="{color}" POINT-SIZE="9">{text}</FONT>'


START = note("▶ start")


# --- the definition, whole -------------------------------------------------------


@pytest.mark.parametrize(
    "text, body",
    [
        (
            SMALL,
            f"""  s0 [label={rows("<B>Pick</B>", note("Choice"))}, shape=box, style="filled,diagonals", fillcolor="#fff8c5"];
  s1 [label={rows(START, "<B>Start</B>", note("Pass"))}, fillcolor="#f6f8fa", penwidth=2];
  s2 [label={rows("<B>Stop</B>", note("Fail"))}, fillcolor="#ffebe9", peripheries=2];
  s3 [label={rows("<B>Work</B>", note("Task · svc.work"), note("retry External ×2"), note("end"))}, fillcolor="#ddf4ff", peripheries=2];
  s0 -> s3 [label=<$.go == true>];
  s0 -> s2 [label=<default>];
  s1 -> s0;
  s3 -> s2 [label=<catch *>, style=dashed];
}}
""",
        ),
        (
            # A Comment becomes the title; several rules, a string test with a
            # quote in it, several catchers; a Task that ends; a Succeed.
            definition(
                {
                    "Route": {
                        "Type": "Choice",
                        "Choices": [
                            {"Variable": "$.n", "NumericEquals": -3, "Next": "Call"},
                            {"Variable": "$.s", "StringEquals": 'a "b"', "Next": "Done"},
                        ],
                    },
                    "Call": {
                        "Type": "Task",
                        "Resource": "x",
                        "Retry": [{"ErrorEquals": ["Transient", "External"]}, {"ErrorEquals": ["*"], "MaxAttempts": 1}],
                        "Catch": [{"ErrorEquals": ["External"], "Next": "Done"}, {"ErrorEquals": ["*"], "Next": "Route"}],
                        "End": True,
                    },
                    "Done": {"Type": "Succeed"},
                },
                Comment="Two <kinds> & one\nline break",
            ),
            f"""  label=<Two &lt;kinds&gt; &amp; one<BR/>line break>;
  s0 [label={rows("<B>Call</B>", note("Task · x"), note("retry Transient, External ×3"), note("retry * ×1"), note("end"))}, fillcolor="#ddf4ff", peripheries=2];
  s1 [label={rows("<B>Done</B>", note("Succeed"))}, fillcolor="#dafbe1", peripheries=2];
  s2 [label={rows(START, "<B>Route</B>", note("Choice"))}, shape=box, style="filled,diagonals", fillcolor="#fff8c5", penwidth=2];
  s0 -> s1 [label=<catch External>, style=dashed];
  s0 -> s2 [label=<catch *>, style=dashed];
  s2 -> s0 [label=<$.n == -3>];
  s2 -> s1 [label=<$.s == &quot;a \\&quot;b\\&quot;&quot;>];
}}
""",
        ),
    ],
)
def test_dot_of_small_machines(text, body):
    assert definition_to_dot(text) == HEAD + body


def test_mermaid_of_a_small_machine():
    assert definition_to_mermaid(SMALL) == """stateDiagram-v2
    state "Pick<br/>Choice" as s0
    state "Start<br/>Pass" as s1
    state "Stop<br/>Fail" as s2
    state "Work<br/>Task · svc.work<br/>retry External ×2<br/>end" as s3
    [*] --> s1
    s0 --> s3 : $.go == true
    s0 --> s2 : default
    s1 --> s0
    s3 --> s2 : catch *
    s2 --> [*]
    s3 --> [*]
"""


def test_the_picture_depends_on_the_machine_not_on_how_it_is_written():
    states = json.loads(SMALL)["States"]
    shuffled = json.dumps({"States": dict(reversed(list(states.items()))), "StartAt": "Start"}, indent=3)
    assert definition_to_dot(shuffled) == definition_to_dot(SMALL)
    assert definition_to_mermaid(shuffled) == definition_to_mermaid(SMALL)


@pytest.mark.parametrize("draw", [definition_to_dot, definition_to_mermaid])
def test_only_valid_machines_are_drawn(draw):
    with pytest.raises(_pyvorn.ValidationError):
        draw((ROOT / "examples/broken_choice.json").read_text())
    with pytest.raises(_pyvorn.ParseError):
        draw("{")
    with pytest.raises(TypeError, match="^definition must be a str, not bytes$"):
        draw(b"{}")


# --- names that are hard to draw ---------------------------------------------------

NAMES = [
    'say "hi"',
    "back\\slash \\n not a newline",
    "two\nlines",
    "café ☕ 名前",
    "<b>&amp;</b>",
    "]}#;%` [*]",
    "tab\there",
]


def odd_machine(name):
    return definition({name: {"Type": "Pass", "Next": "Z"}, "Z": {"Type": "Succeed"}}, start_at=name)


def dot_name(dot, node):
    """The state name a node's label shows, read back from the DOT text."""
    label = re.search(rf"^  {node} \[label=<(.*?)>, ", dot, re.M).group(1)
    bold = ET.fromstring(label).find(".//B")
    return (bold.text or "") + "".join("\n" + (br.tail or "") for br in bold)


@pytest.mark.parametrize("name", NAMES)
def test_names_round_trip_into_dot_labels(name):
    shown = name.replace("\t", "\\x09")  # control characters show as escapes
    facts_id = sorted([name, "Z"], key=lambda n: n.encode()).index(name)
    dot = definition_to_dot(odd_machine(name))
    assert dot_name(dot, f"s{facts_id}") == shown


@pytest.mark.parametrize("name", NAMES)
def test_names_round_trip_into_mermaid_labels(name):
    shown = name.replace("\t", "\\x09")
    text = definition_to_mermaid(odd_machine(name))
    facts_id = sorted([name, "Z"], key=lambda n: n.encode()).index(name)
    label = re.search(rf'^    state "(.*)" as s{facts_id}$', text, re.M).group(1)
    assert '"' not in label and "\n" not in label
    first = label.split("<br/>Pass")[0]
    decoded = re.sub(r"#(\d+);", lambda m: chr(int(m.group(1))), first.replace("<br/>", "\n"))
    assert decoded == shown


def test_an_empty_name_is_shown_as_empty_quotes():
    dot = definition_to_dot(odd_machine(""))
    assert "<TR><TD><FONT COLOR=\"#57606a\">&quot;&quot;</FONT></TD></TR>" in dot


@needs_dot
@pytest.mark.parametrize("name", NAMES + ["\x1b[31mred", "nul\x00l", "\ufffe"])
def test_names_survive_into_svg_text(name):
    svg = render(definition_to_dot(odd_machine(name))).decode("utf-8")
    root = ET.fromstring(svg)  # well-formed whatever the name
    facts_id = sorted([name, "Z"], key=lambda n: n.encode()).index(name)
    node = next(g for g in svg_nodes(root) if g.find(f"{SVG}title").text == f"s{facts_id}")
    texts = [t.text.replace("\xa0", " ") for t in node.iter(f"{SVG}text")]
    shown = re.sub("[\x00-\x09\x1b]", lambda m: f"\\x{ord(m.group()):02x}", name).replace("\ufffe", "\\ufffe")
    # The name's lines come after the start mark; Graphviz drops empty lines.
    assert texts[1 : 1 + len(shown.split("\n"))] == shown.split("\n")


# --- every example through dot -------------------------------------------------------

SVG = "{http://www.w3.org/2000/svg}"


def svg_nodes(root):
    return [g for g in root.iter(f"{SVG}g") if g.get("class") == "node"]


@needs_dot
@pytest.mark.parametrize("path", EXAMPLES, ids=lambda p: p.name)
def test_every_example_renders_to_svg_with_one_node_per_state(path):
    text = path.read_text(encoding="utf-8")
    root = ET.fromstring(render(definition_to_dot(text), "svg"))
    names = _pyvorn.lower(text).state_names
    titles = sorted(g.find(f"{SVG}title").text for g in svg_nodes(root))
    assert titles == sorted(f"s{i}" for i in range(len(names)))
    shown = {g.find(f"{SVG}title").text: [t.text for t in g.iter(f"{SVG}text")] for g in svg_nodes(root)}
    for i, name in enumerate(names):
        assert name in shown[f"s{i}"]


@needs_dot
def test_render_reports_what_dot_refuses():
    with pytest.raises(RuntimeError, match=r"^dot failed \(exit status 1\): Error: <stdin>: syntax error in line 1"):
        render("digraph {", "svg")
    with pytest.raises(ValueError, match="^format must be one of svg, png, not 'pdf'$"):
        render("digraph {}", "pdf")


# --- Choice rules on data -------------------------------------------------------------


@pytest.mark.parametrize(
    "path, segments",
    [
        ("$", []),
        ("$.a.b[2][0]", ["a", "b", 2, 0]),
        ("$.[1]", [1]),
        ("$.a[x]", ["a"]),
        ("$.", [""]),
        ("$.a..b", ["a", "", "b"]),
        ("$.a[+7]", ["a", 7]),
        ("$.a[65536][-1][1", ["a"]),
        ("$.sku.$", ["sku", "$"]),
    ],
)
def test_paths_split_as_the_compiler_splits_them(path, segments):
    assert parse_value_path(path) == segments


def rule(variable, operator, value):
    from pyvorn._inspect import Condition

    return Condition(0, "C", 0, variable, operator, value, "T")


@pytest.mark.parametrize(
    "condition, data, holds",
    [
        (rule("$.n", "NumericEquals", 3), {"n": 3}, True),
        (rule("$.n", "NumericEquals", 3), {"n": 3.0}, False),
        (rule("$.n", "NumericEquals", 1), {"n": True}, False),
        (rule("$.s", "StringEquals", "ok"), {"s": "OK"}, False),
        (rule("$.s", "StringEquals", "ok"), {"s": "ok"}, True),
        (rule("$.b", "BooleanEquals", True), {"b": 1}, False),
        (rule("$.b", "BooleanEquals", False), {"b": False}, True),
        (rule("$.a[1].x", "NumericEquals", 2), {"a": [{}, {"x": 2}]}, True),
        (rule("$.a[2]", "NumericEquals", 2), {"a": [2]}, False),
        (rule("$.missing", "BooleanEquals", True), {}, False),
        (rule("$", "StringEquals", "x"), "x", True),
        (rule("$.n", "NumericEquals", 3), UNKNOWN, None),
    ],
)
def test_rules_evaluate_like_the_engine(condition, data, holds):
    assert evaluate(condition, data) is holds


# --- a run, from its journal -------------------------------------------------------------

ORDER = (ROOT / "examples/order_pipeline.json").read_text(encoding="utf-8")
ORDER_INPUT = json.loads((ROOT / "examples/inputs/order_pipeline.json").read_text(encoding="utf-8"))


def facts_of(text):
    handle = _pyvorn.lower(text)
    return MachineFacts(scan(text).to_python(), handle.state_names, handle.handler_names)


def entry(name, attempt=0, output=None, error=None, facts=None):
    found = {"state_name": name, "state_id": facts_of(ORDER).state_ids[name] if facts is None else facts.state_ids[name]}
    found["attempt"] = attempt
    if error is not None:
        found["error"] = error
    elif output is not None:
        found["output"] = output
    return found


def stocked(available):
    return {**ORDER_INPUT, "stock": {"available": available, "on_hand": 10, "warehouse": "main"}}


def taken(trace):
    """The taken edges as "source -kind-> target ×count" lines, sorted."""
    return sorted(f"{e.source} -{e.kind}{e.index}-> {e.target} ×{n}" for e, n in trace.taken.items())


TIMEOUT = "TimeoutError: payment gateway did not answer in time"
DECLINED = "PermissionError: card declined"

RUNS = [
    (
        "shipped after one retry",
        [
            entry("CheckStock", output=stocked(True)),
            entry("Charge", 0, error=TIMEOUT),
            entry("Charge", 1, output=stocked(True)),
            entry("Ship", output=stocked(True)),
            entry("Shipped", output=stocked(True)),
        ],
        "Shipped",
        ORDER_INPUT,
        [
            "Charge -next0-> Ship ×1",
            "CheckStock -next0-> InStock? ×1",
            "InStock? -rule0-> Charge ×1",
            "Ship -next0-> Shipped ×1",
        ],
        {"InStock?": 1},
    ),
    (
        # The second rule and the default both lead to OutOfStock: the data
        # tells which one held.
        "out of stock, told by the data",
        [entry("CheckStock", output=stocked(False)), entry("OutOfStock", error="The item is not in stock.")],
        "OutOfStock",
        None,
        ["CheckStock -next0-> InStock? ×1", "InStock? -rule1-> OutOfStock ×1"],
        {"InStock?": 1},
    ),
    (
        # Without the output either way fits: neither edge is claimed.
        "out of stock, data unknown",
        [{"state_name": "CheckStock", "state_id": 1, "attempt": 0}, entry("OutOfStock", error="x")],
        "OutOfStock",
        None,
        ["CheckStock -next0-> InStock? ×1"],
        {"InStock?": 1},
    ),
    (
        "declined: retried until the attempts run out, then caught",
        [
            entry("CheckStock", output=stocked(True)),
            entry("Charge", 0, error=TIMEOUT),
            entry("Charge", 1, error=DECLINED),
            entry("Charge", 2, error=DECLINED),
            entry("PaymentFailed", error="The card could not be charged."),
        ],
        "PaymentFailed",
        None,
        [
            "Charge -catch1-> PaymentFailed ×1",
            "CheckStock -next0-> InStock? ×1",
            "InStock? -rule0-> Charge ×1",
        ],
        {"InStock?": 1},
    ),
    (
        # No handler for Charge: nothing recorded, but the machine moved there.
        "stopped before a Task without a handler",
        [entry("CheckStock", output=stocked(True))],
        "Charge",
        None,
        ["CheckStock -next0-> InStock? ×1", "InStock? -rule0-> Charge ×1"],
        {"InStock?": 1},
    ),
    ("nothing ran yet", [], "CheckStock", None, [], {}),
]


@pytest.mark.parametrize("title, journal, current, initial, edges, routed", RUNS, ids=[r[0] for r in RUNS])
def test_a_run_is_read_back_from_its_journal(title, journal, current, initial, edges, routed):
    facts = facts_of(ORDER)
    trace = trace_run(facts, journal, facts.state_ids[current], UNKNOWN if initial is None else initial)
    assert taken(trace) == edges
    assert dict(+trace.routed) == routed
    assert trace.current == current
    recorded = [(name, a.entry, a.attempt, a.error) for name, rows in trace.attempts.items() for a in rows]
    expected = [(e["state_name"], i, e["attempt"], e.get("error")) for i, e in enumerate(journal)]
    assert sorted(recorded, key=lambda r: r[1]) == expected


LOOP = definition(
    {
        "Count": {"Type": "Pass", "Next": "More?"},
        "More?": {
            "Type": "Choice",
            "Choices": [{"Variable": "$.left", "NumericEquals": 0, "Next": "Done"}],
            "Default": "Count",
        },
        "Done": {"Type": "Succeed"},
    },
    start_at="More?",
)


def test_a_loop_counts_each_time_round():
    facts = facts_of(LOOP)
    journal = [
        entry("Count", output={"left": 1}, facts=facts),
        entry("Count", output={"left": 0}, facts=facts),
        entry("Done", output={"left": 0}, facts=facts),
    ]
    trace = trace_run(facts, journal, "Done", {"left": 2})
    assert taken(trace) == ["Count -next0-> More? ×2", "More? -default1-> Count ×2", "More? -rule0-> Done ×1"]
    assert trace.routed["More?"] == 3


@needs_machine
def test_a_state_reached_again_is_traced_on_its_progress():
    # Poll succeeds, loops back and fails; the catcher's Choice sees the
    # failed attempt's input, which is the first visit's output, not the
    # input the first visit started from, and routes by it.
    text = definition(
        {
            "Poll": {"Type": "Task", "Resource": "poll", "Next": "More?",
                     "Catch": [{"ErrorEquals": ["External"], "Next": "Why?"}]},
            "More?": {"Type": "Choice", "Default": "End",
                      "Choices": [{"Variable": "$.n", "NumericEquals": 1, "Next": "Poll"}]},
            "Why?": {"Type": "Choice", "Default": "ViaNone",
                     "Choices": [{"Variable": "$.n", "NumericEquals": 1, "Next": "ViaOne"}]},
            "ViaOne": {"Type": "Choice", "Default": "End",
                       "Choices": [{"Variable": "$.n", "NumericEquals": 9, "Next": "End"}]},
            "ViaNone": {"Type": "Choice", "Default": "End",
                        "Choices": [{"Variable": "$.n", "NumericEquals": 9, "Next": "End"}]},
            "End": {"Type": "Succeed"},
        }
    )
    calls = []

    def poll(ctx):
        calls.append(ctx["input"])
        if len(calls) > 1:
            raise RuntimeError("gone")
        return {"n": 1}

    machine = _pyvorn.StateMachine(text, {})
    machine.register_handler("poll", poll)
    assert machine.run() == {"status": "completed", "output": {"n": 1}}
    trace = trace_run(facts_of(text), machine.journal, machine.current_state, {})
    assert "Why? -rule0-> ViaOne ×1" in taken(trace)
    assert not any("ViaNone" in edge for edge in taken(trace))


def test_a_journal_that_disagrees_with_the_data_is_still_explained():
    # The data says the first rule held, yet the run went by the default: the
    # picture trusts the journal and draws the only way that fits it.
    facts = facts_of(ORDER)
    journal = [entry("CheckStock", output={"stock": {"available": True}}), entry("OutOfStock", error="x")]
    trace = trace_run(facts, journal, "OutOfStock")
    assert taken(trace) == ["CheckStock -next0-> InStock? ×1"]


def test_another_error_kind_may_skip_the_retry():
    # An error a Retry on External would repeat went straight to the catcher:
    # a registry other than Python's reported another kind.
    facts = facts_of(ORDER)
    journal = [entry("CheckStock", output=stocked(True)), entry("Charge", error="x"), entry("PaymentFailed", error="y")]
    assert "Charge -catch1-> PaymentFailed ×1" in taken(trace_run(facts, journal, "PaymentFailed"))


@pytest.mark.parametrize(
    "journal, current, error, message",
    [
        ([{"state_name": "Nope", "attempt": 0}], 0, ValueError,
         "journal entry 0 names state 'Nope', which this machine does not have"),
        ([{"state_name": "Ship", "state_id": 2, "attempt": 0}], 0, ValueError,
         "journal entry 0 gives state 'Ship' the id 2; this machine numbers it 5"),
        ([{"state_name": "Ship", "state_id": 5}], 0, ValueError,
         "journal entry 0 has no attempt number (a whole number from 0)"),
        (["Ship"], 0, TypeError, "journal entry 0 must be a dict, not str"),
        ([entry("Ship")], 5, ValueError,
         "journal entry 0 ('Ship') cannot follow the start: no transition of this machine leads there"),
        ([entry("CheckStock", output={}), entry("Shipped")], 6, ValueError,
         "journal entry 1 ('Shipped') cannot follow 'CheckStock' (entry 0): no transition of this machine leads there"),
        ([entry("CheckStock", output={})], "Shipped", ValueError,
         "the current state 'Shipped' cannot follow the last journal entry ('CheckStock'): "
         "no transition of this machine leads there"),
        ([], 7, ValueError, "current_state 7 is not a state id of this machine"),
        ([], "Nope", ValueError, "current_state 'Nope' is not a state of this machine"),
        ([], True, TypeError, "current_state must be a state id (int) or name (str), not bool"),
    ],
)
def test_a_journal_that_cannot_be_a_run_of_the_machine_is_refused(journal, current, error, message):
    with pytest.raises(error) as raised:
        run_to_dot(ORDER, journal, current)
    assert str(raised.value) == message


def test_run_arguments_are_checked():
    with pytest.raises(TypeError, match="^journal must be a list of dicts, not str$"):
        run_to_dot(ORDER, "[]", 0)
    with pytest.raises(TypeError, match="^initial_input must be a dict or None, not list$"):
        run_to_dot(ORDER, [], 1, [])


# --- a run, drawn -------------------------------------------------------------------------

FAINT = ', color="#b8bfc6", fontcolor="#8c959f"'


def test_dot_of_a_run_whole():
    journal = [
        {"state_name": "Start", "state_id": 1, "attempt": 0, "output": {"go": True}},
        {"state_name": "Work", "state_id": 3, "attempt": 0, "error": "ValueError: bad"},
        {"state_name": "Work", "state_id": 3, "attempt": 1, "error": "ValueError:\n  bad"},
        {"state_name": "Stop", "state_id": 2, "attempt": 0, "error": "E"},
    ]
    red = "#cf222e"
    assert run_to_dot(SMALL, journal, 2) == HEAD + f"""  label=<run: 4 journal entries; current state Stop>;
  s0 [label={rows("<B>Pick</B>", note("Choice"), note("routed 1×", "#1a7f37"))}, shape=box, style="filled,diagonals", fillcolor="#fff8c5", penwidth=2];
  s1 [label={rows(START, "<B>Start</B>", note("Pass"), note("attempt 0: ok", "#1a7f37"))}, fillcolor="#f6f8fa", penwidth=2];
  s2 [label={rows("<B>Stop</B>", note("Fail"), note("attempt 0: E", red), note("current state", "#0969da"))}, fillcolor="#ffebe9", peripheries=2, color="#0969da", penwidth=3];
  s3 [label={rows("<B>Work</B>", note("Task · svc.work"), note("retry External ×2"), note("end"), note("attempt 0: ValueError: bad", red), note("attempt 1: ValueError: bad", red))}, fillcolor="#ddf4ff", peripheries=2, penwidth=2, color="{red}"];
  s0 -> s3 [label=<$.go == true>, color="#1a7f37", penwidth=2.5];
  s0 -> s2 [label=<default>{FAINT}];
  s1 -> s0 [color="#1a7f37", penwidth=2.5];
  s3 -> s2 [label=<catch *>, style=dashed, color="#1a7f37", penwidth=2.5];
}}
"""


def test_states_that_did_not_run_are_faint_and_long_histories_are_summed_up():
    facts = facts_of(LOOP)
    journal = [entry("Count", output={"left": n}, facts=facts) for n in (5, 4, 3, 2, 1)]
    dot = run_to_dot(LOOP, journal, "Count", {"left": 6})
    count = re.search(r"^  s0 .*$", dot, re.M).group()
    assert note("ran 5×, 0 failed; the last 3:", "#1a7f37") in count
    assert count.count("attempt 0: ok") == 3
    done = re.search(r"^  s1 .*$", dot, re.M).group()
    assert done.endswith(f'fillcolor="#fbfbfc", peripheries=2{FAINT}];')
    # Once from the start, four times between the entries, once after the last.
    assert '  s2 -> s0 [label=<default ×6>, color="#1a7f37", penwidth=2.5];' in dot
    assert '  s0 -> s2 [label=<×5>, color="#1a7f37", penwidth=2.5];' in dot


def test_mermaid_of_a_run_classes_states_by_what_they_did():
    journal = [
        {"state_name": "Start", "state_id": 1, "attempt": 0, "output": {"go": False}},
    ]
    text = run_to_mermaid(SMALL, journal, "Stop")
    assert text.endswith(
        """    [*] --> s1
    s0 --> s3 : $.go == true
    s0 --> s2 : default (taken ×1)
    s1 --> s0 : taken ×1
    s3 --> s2 : catch *
    s2 --> [*]
    s3 --> [*]
    classDef current fill:#ddf4ff,stroke:#0969da,stroke-width:3px
    class s2 current
    classDef ran fill:#dafbe1,stroke:#1a7f37,stroke-width:2px
    class s0,s1 ran
    classDef idle fill:#fbfbfc,stroke:#b8bfc6,color:#8c959f
    class s3 idle
"""
    )
    assert '    state "Start<br/>Pass<br/>attempt 0: ok" as s1\n' in text


@needs_dot
def test_a_drawn_run_is_well_formed_svg():
    journal = [entry("CheckStock", output=stocked(True)), entry("Charge", 0, error='<&"bad"\x07>')]
    root = ET.fromstring(render(run_to_dot(ORDER, journal, "Charge", ORDER_INPUT)))
    assert len(svg_nodes(root)) == 7


# --- with a real machine ---------------------------------------------------------------------


def order_handlers():
    spec = importlib.util.spec_from_file_location("order_handlers_for_pictures", ROOT / "examples/handlers/order_pipeline.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module.HANDLERS


@needs_machine
@pytest.mark.parametrize(
    "card, edges",
    [
        ("tok_visa", ["Charge -next0-> Ship ×1", "CheckStock -next0-> InStock? ×1", "InStock? -rule0-> Charge ×1",
                      "Ship -next0-> Shipped ×1"]),
        ("tok_declined", ["Charge -catch1-> PaymentFailed ×1", "CheckStock -next0-> InStock? ×1",
                          "InStock? -rule0-> Charge ×1"]),
    ],
)
def test_a_real_run_is_read_back_from_its_journal(card, edges):
    initial = {"order": {**ORDER_INPUT["order"], "card": card}}
    machine = _pyvorn.StateMachine(ORDER, initial)
    for resource, handler in order_handlers().items():
        machine.register_handler(resource, handler)
    machine.run()
    trace = trace_run(facts_of(ORDER), machine.journal, machine.current_state, initial)
    assert taken(trace) == edges
    assert [a.error is None for a in trace.attempts["Charge"]] == (
        [False, True] if card == "tok_visa" else [False, False, False]
    )
    assert trace.current == ("Shipped" if card == "tok_visa" else "PaymentFailed")
    if HAS_DOT:
        ET.fromstring(render(run_to_dot(ORDER, machine.journal, machine.current_state, initial)))


def random_machine(rng):
    """A small machine whose data and failures depend on a counter, so runs
    take many routes: Pass states set $.n, Tasks fail on some attempts, and
    Choices test $.n."""
    names = [f"S{i}" for i in range(rng.randint(2, 7))]
    states = {}
    for name in names:
        kind = rng.choice(["Pass", "Pass", "Task", "Task", "Choice", "Choice", "Succeed", "Fail"])
        others = [n for n in names if n != name]
        if kind == "Pass":
            states[name] = {"Type": "Pass", "Result": {"n": rng.randint(0, 2)}, "Next": rng.choice(names)}
        elif kind == "Task":
            states[name] = {"Type": "Task", "Resource": "flaky", "Next": rng.choice(names)}
            if rng.random() < 0.6:
                states[name]["Retry"] = [{"ErrorEquals": [rng.choice(["External", "*", "Transient"])],
                                          "MaxAttempts": rng.randint(1, 3)}]
            if rng.random() < 0.6:
                states[name]["Catch"] = [{"ErrorEquals": [rng.choice(["External", "*"])], "Next": rng.choice(names)}]
        elif kind == "Choice":
            # A Choice routing to itself would loop on the same data forever.
            values = rng.sample(range(3), rng.randint(1, 3))
            states[name] = {"Type": "Choice",
                            "Choices": [{"Variable": "$.n", "NumericEquals": v, "Next": rng.choice(others)} for v in values]}
            if rng.random() < 0.7:
                states[name]["Default"] = rng.choice(others)
        else:
            states[name] = {"Type": kind}
    return definition(states, start_at=rng.choice(names))


@needs_machine
def test_the_picture_of_a_run_agrees_with_the_run():
    import random

    rng = random.Random(15)
    checked = 0
    while checked < 150:
        text = random_machine(rng)
        try:
            machine = _pyvorn.StateMachine(text, {"n": 1})
        except _pyvorn.ValidationError:
            continue
        calls = []

        def flaky(call, calls=calls, seed=rng.random()):
            calls.append(call)
            if (len(calls) * 7 + int(seed * 10)) % 3 == 0:
                raise RuntimeError("flaky")
            return {"n": len(calls) % 3}

        machine.register_handler("flaky", flaky)
        names = machine.state_names
        moves = Counter()
        for _ in range(rng.randint(1, 25)):
            before = machine.current_state
            result = machine.step()
            if result["status"] != "continue":
                break
            if result["next_state"] != before:
                moves[names[before], names[result["next_state"]]] += 1
        trace = trace_run(facts_of(text), machine.journal, machine.current_state, {"n": 1})
        drawn = Counter()
        for edge, count in trace.taken.items():
            drawn[edge.source, edge.target] += count
        # A self-catch moves nowhere yet takes an edge.
        drawn = Counter({k: v for k, v in drawn.items() if k[0] != k[1]})
        # Never an edge the run did not take; all of them, unless the run was
        # stopped going round Choices, whose turns the journal cannot count.
        assert drawn - moves == Counter(), text
        if json.loads(text)["States"][names[machine.current_state]]["Type"] != "Choice":
            assert drawn == moves, text
        checked += 1
