"""`pyvorn run`, end to end through a separate process."""

import json
import pathlib
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]

LOOP = json.dumps({"StartAt": "A", "States": {"A": {"Type": "Pass", "Next": "B"}, "B": {"Type": "Pass", "Next": "A"}}})


def pyvorn(*args, cwd=ROOT):
    return subprocess.run(
        [sys.executable, "-m", "pyvorn", *args], capture_output=True, text=True, cwd=cwd, encoding="utf-8"
    )


def example(name):
    return (
        f"examples/{name}.json",
        "--input",
        f"@examples/inputs/{name}.json",
        "--handlers",
        f"examples/handlers/{name}.py",
    )


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_text(text, encoding="utf-8")
    return str(path)


# --- the input is checked before anything runs -----------------------------


@pytest.mark.parametrize(
    "argument, message",
    [
        ("{", "--input: invalid JSON: Expecting property name enclosed in double quotes: line 1 column 2 (char 1)"),
        ("[1]", "--input: the input must be a JSON object, not an array"),
        ('"text"', "--input: the input must be a JSON object, not a string"),
        ('{"x": NaN}', "--input: invalid JSON: NaN is not JSON"),
        ("@no/such/input.json", "no/such/input.json: cannot read: No such file or directory"),
    ],
)
def test_bad_input_is_a_usage_error_with_one_line(argument, message):
    result = pyvorn("run", "examples/hello.json", "--input", argument)
    assert (result.returncode, result.stdout, result.stderr) == (2, "", message + "\n")


def test_input_file_that_is_not_an_object(tmp_path):
    path = write(tmp_path, "in.json", "[1, 2]")
    result = pyvorn("run", "examples/hello.json", "--input", f"@{path}")
    assert (result.returncode, result.stderr) == (2, f"{path}: the input must be a JSON object, not an array\n")


def test_definition_faults_come_before_running():
    result = pyvorn("run", "examples/broken_next_end.json")
    assert result.returncode == 1 and result.stdout == ""
    assert result.stderr.startswith(
        "examples/broken_next_end.json:5:14: ValidationError: must specify either Next or End in States.Greet\n"
    )


# --- running ------------------------------------------------------------------

ORDER_OUTPUT = {
    "order": {
        "id": "A-1001",
        "sku": "TEA-42",
        "quantity": 2,
        "unit_price_cents": 1250,
        "card": "tok_visa",
        "address": {"name": "Ada Lovelace", "city": "London"},
    },
    "stock": {"available": True, "on_hand": 10, "warehouse": "main"},
    "payment": {"receipt": "ch_A-1001", "amount": 2500},
    "shipment": {"tracking": "TRK-A-1001", "carrier": "post", "to": "London"},
}

EXPECTED_OUTPUTS = {
    "hello": {"message": {"greeting": "hello"}},
    "order_pipeline": ORDER_OUTPUT,
    "approval_flow": {
        "request": {
            "id": "REQ-7",
            "requester": "dana@example.com",
            "category": "travel",
            "amount": 1800,
            "priority": 2,
        },
        "route": {"tier": "manager", "limit": 5000},
        "decision": {"approved": True, "by": "manager"},
    },
    "data_shaping": {
        "channel": "web",
        "customer_id": "C-311",
        "email": "grace@example.com",
        "name": "Grace Hopper",
        "tier": "gold",
    },
}


@pytest.mark.parametrize("name", sorted(EXPECTED_OUTPUTS))
def test_every_example_runs_to_its_expected_output(name):
    args = (f"examples/{name}.json",) if name == "hello" else example(name)
    result = pyvorn("run", *args)
    assert (result.returncode, result.stderr) == (0, ""), result.stderr
    assert json.loads(result.stdout) == {"status": "completed", "output": EXPECTED_OUTPUTS[name]}


def test_trace_prints_one_line_per_step_as_it_happens():
    result = pyvorn("run", *example("order_pipeline"), "--trace")
    assert result.returncode == 0, result.stderr
    assert json.loads(result.stdout)["output"] == ORDER_OUTPUT
    heads = [line.split("  output: ")[0] for line in result.stderr.splitlines()]
    assert heads == [
        "step 1  CheckStock  attempt 0  ok -> InStock?",
        "step 2  InStock?  choice -> Charge",
        "step 3  Charge  attempt 0  retry -> Charge  error: TimeoutError: payment gateway did not answer in time",
        "step 4  Charge  attempt 1  ok -> Ship",
        "step 5  Ship  attempt 0  ok -> Shipped",
        "step 6  Shipped  attempt 0  completed",
    ]
    last = result.stderr.splitlines()[-1]
    assert json.loads(last.split("  output: ", 1)[1]) == ORDER_OUTPUT


def test_journal_is_printed_at_the_end():
    result = pyvorn("run", *example("order_pipeline"), "--journal")
    assert result.returncode == 0, result.stderr
    rows = result.stderr.splitlines()
    assert rows[0].split() == ["#", "state", "id", "attempt", "outcome"]
    assert [row.split()[:4] for row in rows[1:]] == [
        ["0", "CheckStock", "1", "0"],
        ["1", "Charge", "0", "0"],
        ["2", "Charge", "0", "1"],
        ["3", "Ship", "5", "0"],
        ["4", "Shipped", "6", "0"],
    ]
    assert "error: TimeoutError: payment gateway did not answer in time" in rows[2]


def test_a_caught_failure_ends_in_the_fail_state_with_exit_one(tmp_path):
    declined = json.loads((ROOT / "examples/inputs/order_pipeline.json").read_text())
    declined["order"]["card"] = "tok_declined"
    path = write(tmp_path, "declined.json", json.dumps(declined))
    result = pyvorn("run", "examples/order_pipeline.json", "--input", f"@{path}",
                    "--handlers", "examples/handlers/order_pipeline.py", "--trace")
    assert result.returncode == 1
    assert json.loads(result.stdout) == {
        "status": "fatal",
        "error": 'HandlerFailed(StateError { kind: Permanent, message: "The card could not be charged.", '
        "side_effects: [] })",
    }
    lines = result.stderr.splitlines()
    assert lines[4] == "step 5  Charge  attempt 2  caught -> PaymentFailed  error: PermissionError: card declined"
    assert lines[-1] == (
        'examples/order_pipeline.json: run failed in state "PaymentFailed": HandlerFailed(StateError '
        '{ kind: Permanent, message: "The card could not be charged.", side_effects: [] })'
    )


def test_resources_without_a_handler_are_named_before_the_run(tmp_path):
    result = pyvorn("run", "examples/order_pipeline.json", "--trace")
    assert (result.returncode, result.stdout) == (1, "")
    assert result.stderr == (
        'examples/order_pipeline.json: no handler for resources "inventory.check", "payments.charge", '
        '"shipping.create" (pass --handlers MODULE_OR_PATH)\n'
    )
    partial = write(tmp_path, "partial.py", "HANDLERS = {'payments.charge': print}\ndef x(call): pass\n")
    result = pyvorn("run", "examples/order_pipeline.json", "--handlers", partial)
    assert (result.returncode, result.stdout) == (1, "")
    assert result.stderr == (
        f'examples/order_pipeline.json: no handler for resources "inventory.check", "shipping.create" in {partial}\n'
    )


@pytest.mark.parametrize(
    "source, message",
    [
        ("raise RuntimeError('no database')", "cannot import handlers: RuntimeError: no database"),
        ("def broken(:\n", "cannot import handlers: SyntaxError: invalid syntax ("),
        ("HANDLERS = [1]", "HANDLERS must map resource names to callables, not list"),
        ("HANDLERS = {'inventory.check': 3}", 'the handler for "inventory.check" is not callable (int)'),
    ],
)
def test_a_handlers_module_that_cannot_be_used_is_one_line(tmp_path, source, message):
    path = write(tmp_path, "handlers.py", source)
    result = pyvorn("run", "examples/order_pipeline.json", "--handlers", path)
    assert (result.returncode, result.stdout) == (1, "")
    assert len(result.stderr.splitlines()) == 1 and message in result.stderr and path in result.stderr
    assert "Traceback" not in result.stderr
    result = pyvorn("run", "examples/order_pipeline.json", "--handlers", path, "--debug")
    assert result.returncode == 1 and "Traceback (most recent call last)" in result.stderr


def test_handlers_by_import_name_and_by_function_name(tmp_path):
    (tmp_path / "shop_handlers.py").write_text(
        "def crm_lookup(call):\n"
        "    return {'record': {'id': call['input']['id'], 'name': 'N', 'tier': 't'}, 'meta': {'fetched_at': 'now'}}\n"
        "def audit_log(call):\n"
        "    return None\n",
        encoding="utf-8",
    )
    result = pyvorn("run", str(ROOT / "examples/data_shaping.json"), "--input",
                    f"@{ROOT / 'examples/inputs/data_shaping.json'}", "--handlers", "shop_handlers", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert json.loads(result.stdout)["output"]["name"] == "N"
    result = pyvorn("run", "examples/data_shaping.json", "--handlers", "no_such_module_here")
    assert result.stderr == (
        "no_such_module_here: cannot import handlers: ModuleNotFoundError: No module named 'no_such_module_here'\n"
    )


def test_max_steps_stops_a_looping_machine(tmp_path):
    path = write(tmp_path, "loop.json", LOOP)
    result = pyvorn("run", path, "--max-steps", "5", "--trace")
    assert (result.returncode, result.stdout) == (1, "")
    lines = result.stderr.splitlines()
    assert [line.split("  output")[0] for line in lines[:5]] == [
        "step 1  A  attempt 0  ok -> B",
        "step 2  B  attempt 0  ok -> A",
        "step 3  A  attempt 0  ok -> B",
        "step 4  B  attempt 0  ok -> A",
        "step 5  A  attempt 0  ok -> B",
    ]
    assert lines[5:] == [
        f'{path}: stopped after 5 steps in state "B" without finishing (a loop? --max-steps raises the limit)'
    ]


def test_dispatch_failures_are_reported_not_raised(tmp_path):
    text = json.dumps({"StartAt": "T", "States": {"T": {"Type": "Pass", "InputPath": "$.missing", "End": True}}})
    path = write(tmp_path, "m.json", text)
    result = pyvorn("run", path, "--input", '{"present": 1}')
    assert result.returncode == 1
    assert json.loads(result.stdout) == {"status": "fatal", "error": "PathResolutionFailed(StateId(0))"}
    assert result.stderr == f'{path}: run failed in state "T": PathResolutionFailed(StateId(0))\n'


def test_input_values_the_machine_cannot_hold_are_a_usage_error():
    result = pyvorn("run", "examples/hello.json", "--input", '{"big": 100000000000000000000000}')
    assert (result.returncode, result.stdout) == (2, "")
    assert result.stderr.startswith("--input: cannot use this input: ")
