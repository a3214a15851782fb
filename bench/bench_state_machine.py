"""StateMachine.run() per step, against a direct Python call and against
moto's Step Functions interpreter, side by side in one run.

(a) run() of a 1 000-state Pass chain and of a 20-state Choice loop (18 Choice
    states and two Pass states, one of which peels a level off the data; 50
    laps): ns per step.
    Target: a Pass step under 300 ns.
(b) run() of a 1 000-state Task chain whose handler returns its input, against
    calling that handler 1 000 times directly with a prebuilt context dict.
    Target: a Task step at most 6x the direct call.
(c) The machines of (a), executed in process by moto's Step Functions
    interpreter (its AWS mock with execute_state_machine on), whose Pass and
    Choice semantics agree with ours for these machines. Per-state ratio.
    Target: at least 10 000x faster per state. Skipped with a note when moto
    is not installed.

Times are process CPU time (moto's interpreter runs in a thread of this
process), which several developers sharing the machine disturb far less than
wall-clock time.
"""

from __future__ import annotations

import json
import statistics
import time

import _pyvorn

CHAIN_LENGTH = 1000
LOOP_CHOICES = 18
LOOP_LAPS = 50


def pass_chain() -> tuple[str, dict, int]:
    names = [f"P{i:04d}" for i in range(CHAIN_LENGTH)]
    states = {
        name: {"Type": "Pass", "Next": names[i + 1]} if i + 1 < len(names) else
        {"Type": "Pass", "End": True}
        for i, name in enumerate(names)
    }
    return json.dumps({"StartAt": names[0], "States": states}), {"order": 7, "ok": True}, len(names)


def choice_loop() -> tuple[str, dict, int]:
    """C00 leaves the loop when $.end is 1; C01..C17 test a value that never
    occurs; Keep passes the data on and Peel replaces it by its $.rest member
    before going round again."""
    names = [f"C{i:02d}" for i in range(LOOP_CHOICES)]
    states: dict = {}
    for i, name in enumerate(names):
        following = names[i + 1] if i + 1 < len(names) else "Keep"
        states[name] = {
            "Type": "Choice",
            "Choices": [{"Variable": "$.end", "NumericEquals": 1 if i == 0 else 2, "Next": "Done"}],
            "Default": following,
        }
    states["Keep"] = {"Type": "Pass", "Next": "Peel"}
    states["Peel"] = {"Type": "Pass", "InputPath": "$.rest", "Next": names[0]}
    states["Done"] = {"Type": "Succeed"}
    data: dict = {"end": 1}
    for _ in range(LOOP_LAPS):
        data = {"end": 0, "rest": data}
    steps = LOOP_LAPS * (LOOP_CHOICES + 2) + 2  # the last lap's C00, then Done
    return json.dumps({"StartAt": names[0], "States": states}), data, steps


def task_chain() -> tuple[str, dict, int]:
    names = [f"T{i:04d}" for i in range(CHAIN_LENGTH)]
    states = {
        name: {"Type": "Task", "Resource": "echo", "Next": names[i + 1]} if i + 1 < len(names)
        else {"Type": "Task", "Resource": "echo", "End": True}
        for i, name in enumerate(names)
    }
    return json.dumps({"StartAt": names[0], "States": states}), {"order": 7, "ok": True}, len(names)


def echo(ctx):
    return ctx["input"]


def nothing(ctx):
    return None


def time_runs(
    text: str, data: dict, rounds: int, handlers: dict | None = None
) -> tuple[float, object]:
    """Median seconds of run() on a fresh machine (construction not timed),
    and the output of the run."""
    samples = []
    for _ in range(rounds):
        sm = _pyvorn.StateMachine(text, data)
        for resource, handler in (handlers or {}).items():
            sm.register_handler(resource, handler)
        start = time.process_time()
        result = sm.run()
        samples.append(time.process_time() - start)
        assert result["status"] == "completed", result
    return statistics.median(samples), result["output"]


def time_direct_calls(handler, data, calls: int, rounds: int) -> float:
    context = {"state_id": 0, "replay": False, "input": data}
    samples = []
    for _ in range(rounds):
        start = time.process_time()
        for _ in range(calls):
            handler(context)
        samples.append(time.process_time() - start)
    return statistics.median(samples)


def time_built_context_calls(handler, data, calls: int, rounds: int) -> float:
    """The direct call again, but with the context dict and a copy of the
    input dict built by Python for every call, as run() must build them: the
    part of a Task step that is the calling convention's own."""
    samples = []
    for _ in range(rounds):
        start = time.process_time()
        for state_id in range(calls):
            handler({"state_id": state_id, "replay": False, "input": dict(data)})
        samples.append(time.process_time() - start)
    return statistics.median(samples)


def time_moto(text: str, data: dict, output, rounds: int) -> float | None:
    """Median process CPU seconds of one moto execution, from its start to
    its end; None when moto is not installed. Checks that moto's result is
    `output`, the result run() gave."""
    try:
        import boto3
        from moto import mock_aws
    except ImportError:
        return None

    # A fresh mock per execution: moto fails to start a second execution
    # once one has run in the same mock.
    @mock_aws(config={"stepfunctions": {"execute_state_machine": True}})
    def measure_once() -> float:
        client = boto3.client("stepfunctions", region_name="us-east-1")
        arn = client.create_state_machine(
            name="bench", definition=text, roleArn="arn:aws:iam::123456789012:role/bench"
        )["stateMachineArn"]
        start = time.process_time()
        execution = client.start_execution(stateMachineArn=arn, input=json.dumps(data))
        while True:
            status = client.describe_execution(executionArn=execution["executionArn"])
            if status["status"] != "RUNNING":
                break
            time.sleep(0.01)
        elapsed = time.process_time() - start
        assert status["status"] == "SUCCEEDED", status
        assert json.loads(status["output"]) == output, status["output"]
        return elapsed

    return statistics.median(measure_once() for _ in range(rounds))


def ns(seconds: float, steps: int) -> str:
    return f"{seconds / steps * 1e9:10.1f} ns/step"


def main() -> None:
    machines = {"Pass chain (1 000 states)": pass_chain(), "Choice loop (20 states)": choice_loop()}
    ours = {}
    outputs = {}
    for label, (text, data, steps) in machines.items():
        ours[label], outputs[label] = time_runs(text, data, rounds=31)
        print(f"{label:<28}run() {ns(ours[label], steps)}   ({steps} steps)")

    text, data, steps = task_chain()
    task, _ = time_runs(text, data, rounds=31, handlers={"echo": echo})
    direct = time_direct_calls(echo, data, steps, rounds=31)
    print(f"{'Task chain (1 000 states)':<28}run() {ns(task, steps)}")
    print(f"{'  direct handler call':<28}      {ns(direct, steps)}")
    print(f"  ratio Task step / direct call: {task / direct:.2f}  (target <= 6)")
    built = time_built_context_calls(echo, data, steps, rounds=31)
    print(f"{'  dicts built per call':<28}      {ns(built, steps)}   ratio to direct call "
          f"{built / direct:.2f}")
    # The same with nothing to convert (input {}, result None): what is left
    # when the value bridge has no dict to decode or encode.
    bare, _ = time_runs(text, {}, rounds=31, handlers={"echo": nothing})
    bare_direct = time_direct_calls(nothing, {}, steps, rounds=31)
    print(f"{'  null payload':<28}run() {ns(bare, steps)}   direct {ns(bare_direct, steps)}"
          f"   ratio {bare / bare_direct:.2f}")

    for label, (text, data, steps) in machines.items():
        moto = time_moto(text, data, outputs[label], rounds=1)
        if moto is None:
            print("moto is not installed (pip install 'moto[stepfunctions]'): comparison skipped")
            break
        print(
            f"{label:<28}moto {ns(moto, steps)}   ratio moto / run(): "
            f"{moto / ours[label]:,.0f}  (target >= 10 000)"
        )


if __name__ == "__main__":
    main()
