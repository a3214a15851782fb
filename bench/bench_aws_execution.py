"""pyvorn.aws executions run from Python, per state, on the shapes users have.

- A Pass step with its history: target at most 1 us.
- A Choice step: target at most 300 ns.
- A Task step answered by an echo Lambda handler, against calling that
  handler directly from Python (target: at most 6 times), on an empty input
  and on a small order document.
- A whole execution against moto's Step Functions in the same process
  (target: at least 10 000 times faster per state); skipped when moto is not
  installed (it is not a dependency: pip install moto boto3).
- A Pass state whose Parameters call States.Format with three arguments,
  against the same Pass reading the same three paths without the call, and
  against a Pass with no Parameters: the call is parsed once, with the
  definition, so a step only pays for evaluating it.
- A polling loop (Task -> Choice -> Wait -> back) whose Task is a Python
  handler, at growing lengths: time per state should stay flat, and so
  should the memory per history event.
"""

from __future__ import annotations

import gc
import json
import resource
import sys

import moto_peer
from timing import format_time, median_seconds

from pyvorn import aws

CHAIN = 2000
ECHO = "arn:aws:lambda:us-east-1:123456789012:function:echo"
ORDER = {"order": {"id": 7, "customer": "c-19", "lines": [{"sku": "A-1", "qty": 2}, {"sku": "B-7", "qty": 1}]},
         "status": "new"}


def chain(state: dict, n: int = CHAIN) -> aws.StateMachine:
    names = [f"S{i}" for i in range(n)]
    states = {name: {**state, "Next": names[i + 1]} for i, name in enumerate(names[:-1])}
    states[names[-1]] = {"Type": "Succeed"} if state["Type"] == "Choice" else {**state, "End": True}
    return aws.StateMachine(json.dumps({"StartAt": names[0], "States": states}))


def choice_chain(n: int = CHAIN) -> aws.StateMachine:
    names = [f"S{i}" for i in range(n)]
    states = {
        name: {"Type": "Choice", "Choices": [{"Variable": "$.status", "StringEquals": "new", "Next": names[i + 1]}],
               "Default": names[i + 1]}
        for i, name in enumerate(names[:-1])
    }
    states[names[-1]] = {"Type": "Succeed"}
    return aws.StateMachine(json.dumps({"StartAt": names[0], "States": states}))


def per_state(machine: aws.StateMachine, input, states: int, handlers=None, rounds: int = 11) -> float:
    def run():
        execution = machine.start_execution(input, handlers=handlers)
        if execution.run() != "SUCCEEDED":
            raise SystemExit(f"the bench run ended {execution.status}: {execution.error} {execution.cause}")

    return median_seconds({"run": run}, rounds=rounds)["run"] / states


def echo(event, context):
    return event


def bench_steps() -> None:
    print(f"per state, {CHAIN} states in a row, medians of 11 runs")
    print(f"  Pass with history        {format_time(per_state(chain({'Type': 'Pass'}), ORDER, CHAIN))}  (target 1 us)")
    print(f"  Choice                   {format_time(per_state(choice_chain(), ORDER, CHAIN))}  (target 300 ns)")
    handlers = aws.Handlers()
    handlers.lambda_function("echo", echo)
    tasks = chain({"Type": "Task", "Resource": ECHO})
    context = {"state_name": "S0", "attempt": 0, "execution_name": "e", "resource": ECHO, "task_token": None}
    for label, input in (("empty input", {}), ("order document", ORDER)):
        task = per_state(tasks, input, CHAIN, handlers)

        def direct():
            for _ in range(CHAIN):
                echo(input, context)

        call = median_seconds({"direct": direct}, rounds=11)["direct"] / CHAIN
        print(f"  Task, echo, {label:<15}{format_time(task)}  direct call {format_time(call)}"
              f"  ratio {task / call:5.1f}  (target 6)")


def bench_intrinsic_format() -> None:
    rounds = 31
    print(f"Pass with Parameters, per state, {CHAIN} states in a row, medians of {rounds} interleaved runs")
    read_three = {"id.$": "$.order.id", "customer.$": "$.order.customer", "status.$": "$.status"}
    formatted = {"summary.$": "States.Format('Order {} for {} is {}', $.order.id, $.order.customer, $.status)"}
    shapes = {"no Parameters": {}, "three paths": read_three, "States.Format of three": formatted}

    def runner(parameters):
        # ResultPath keeps the order document for the next state to read.
        fields = {"Parameters": parameters, "ResultPath": "$.out"} if parameters else {}
        machine = chain({"Type": "Pass", **fields})

        def run():
            execution = machine.start_execution(ORDER)
            if execution.run() != "SUCCEEDED":
                raise SystemExit(f"the bench run ended {execution.status}: {execution.cause}")

        return run

    times = median_seconds({label: runner(p) for label, p in shapes.items()}, rounds=rounds)
    for label in shapes:
        print(f"  {label:<24} {format_time(times[label] / CHAIN)}")
    print(f"  ratio States.Format / three paths {times['States.Format of three'] / times['three paths']:5.2f}"
          f"   / no Parameters {times['States.Format of three'] / times['no Parameters']:5.2f}")


def bench_against_moto() -> None:
    if not moto_peer.moto_available():
        print("moto: not installed (pip install moto boto3), comparison skipped")
        return
    print(f"whole executions against moto {moto_peer.moto_version()} in process, per state, medians")
    base = {"request": "bench"}
    for label, definition, states in (
        ("pass_chain(100)", moto_peer.pass_chain(100), moto_peer.pass_chain_states(100)),
        ("polling_loop(30)", moto_peer.polling_loop(30), moto_peer.polling_loop_states(30)),
    ):
        ours = per_state(aws.StateMachine(definition), base, states, rounds=21)
        theirs = moto_peer.moto_seconds_per_state(definition, base, states, runs=5)
        print(f"  {label:<18} pyvorn {format_time(ours)}  moto {format_time(theirs)}  ratio {theirs / ours:,.0f}x"
              "  (target 10 000x)")


def polling_loop(handlers: aws.Handlers) -> aws.StateMachine:
    states = {
        "Poll": {"Type": "Task", "Resource": ECHO, "Next": "Check"},
        "Check": {"Type": "Choice", "Choices": [{"Variable": "$.n", "NumericLessThanPath": "$.limit", "Next": "Wait"}],
                  "Default": "Done"},
        "Wait": {"Type": "Wait", "Seconds": 30, "Next": "Poll"},
        "Done": {"Type": "Succeed"},
    }
    return aws.StateMachine(json.dumps({"StartAt": "Poll", "States": states}))


def resident_bytes() -> int:
    with open("/proc/self/statm", encoding="ascii") as statm:
        return int(statm.read().split()[1]) * resource.getpagesize()


def bench_polling_loop() -> None:
    handlers = aws.Handlers()
    handlers.lambda_function("echo", lambda event, context: {"n": event["n"] + 1, "limit": event["limit"]})
    machine = polling_loop(handlers)
    print("polling loop Task -> Choice -> Wait (30 s, virtual) with a Python handler")
    for rounds in (1_000, 10_000, 100_000):
        gc.collect()
        before = resident_bytes()
        execution = machine.start_execution({"n": 0, "limit": rounds}, handlers=handlers)
        seconds = median_seconds({"run": execution.run}, rounds=1)["run"]
        if execution.status != "SUCCEEDED":
            raise SystemExit(f"the polling loop ended {execution.status}")
        # The history is kept but never read here: it stays in its native form.
        grown = resident_bytes() - before
        states = execution.states_entered
        print(f"  {states:>8} states  {format_time(seconds / states)} per state"
              f"  memory {grown / 1e6:7.1f} MB ({grown / states:4.0f} B per state, history kept)")
        del execution


def main() -> None:
    bench_steps()
    bench_intrinsic_format()
    bench_polling_loop()
    bench_against_moto()


if __name__ == "__main__":
    sys.setrecursionlimit(10_000)
    main()
