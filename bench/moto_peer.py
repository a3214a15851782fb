"""The peer for the per-state speed comparison: moto's Step Functions mock,
in process, running the definition with its interpreter rather than faking a
result.

moto is a benchmark-only dependency and is not in the project's requirements:
`pip install moto boto3`. Run alone, this prints moto's time per state for the
definitions the comparison uses:

  python bench/moto_peer.py [RUNS]

How moto behaves here (moto 5.2.1, boto3 1.43.11, Python 3.11), as seen from
its public API:
- By default start_execution only fakes an execution: it runs no state, the
  execution stays RUNNING and its history is a canned one that ignores the
  definition. The interpreter runs only under mock_aws(config={"stepfunctions":
  {"execute_state_machine": True}}).
- The execution then runs in a background thread that start_execution starts;
  describe_execution says RUNNING until that thread is done.
- Within one mock_aws context only the first start_execution works; every
  later one (on any state machine) fails with "cannot pickle
  '_thread.RLock' object". So each run gets a fresh context, made and torn
  down outside the timed window.
- start_execution without a name names the execution "None" there, so a
  second one would clash; runs here name theirs.
- The work is all CPU in that thread (process time matches wall time), so
  polling describe_execution meanwhile slows it down, by about 1.5 to 2
  times, sleep between calls or not: the two threads take turns on the
  interpreter lock. Runs therefore wait by joining the thread, which gives
  moto its best time.
- A state's cost grows with how many values its data holds: in a Pass
  chain, a 1 KB string in the input costs nothing extra, 30 levels of small
  nested objects triple it. The polling loop's states cost about twice a
  chain's (its payload is nested and Poll has two paths), a little more the
  longer the loop: about 20 ms of CPU per state at 3 rounds, 27 ms at 60.
"""

from __future__ import annotations

import json
import statistics
import sys
import threading
import time

_REGION = "us-east-1"
_ROLE = "arn:aws:iam::123456789012:role/pyvorn-bench"
_CONFIG = {"stepfunctions": {"execute_state_machine": True}}
# A run that takes longer than this is reported as a failure, not timed.
_RUN_TIMEOUT = 600.0


def moto_available() -> bool:
    try:
        import boto3  # noqa: F401
        from moto import mock_aws  # noqa: F401
    except ImportError:
        return False
    return True


def moto_version() -> str:
    import moto

    return moto.__version__


# --------------------------------------------------------------------------
# The definitions, shared with our runner's side of the comparison.


def pass_chain(n: int) -> str:
    """n Pass states in a row; each writes a small result at $.last, so every
    state's input carries the previous one's result and the payload stays the
    same size however long the chain.

    A run enters exactly n states; its output is the input plus
    {"last": {"step": n - 1, "tag": "pass"}}."""
    if n < 1:
        raise ValueError("a chain needs at least one state")
    names = [f"Step{i:05d}" for i in range(n)]
    states: dict = {}
    for i, name in enumerate(names):
        state: dict = {"Type": "Pass", "Result": {"step": i, "tag": "pass"}, "ResultPath": "$.last"}
        if i == n - 1:
            state["End"] = True
        else:
            state["Next"] = names[i + 1]
        states[name] = state
    return json.dumps({"Comment": f"{n} Pass states in a row", "StartAt": names[0], "States": states})


def pass_chain_states(n: int) -> int:
    return n


def _poll_replies(iterations: int) -> dict:
    # Counting without intrinsic functions: the loop walks down a list of
    # canned replies, one level per visit, and the last reply says DONE.
    reply: dict = {"status": "DONE", "attempt": iterations}
    for attempt in range(iterations - 1, 0, -1):
        reply = {"status": "PENDING", "attempt": attempt, "next": reply}
    return {"status": "PENDING", "attempt": 0, "next": reply}


def polling_loop(iterations: int) -> str:
    """A polling loop that goes round exactly `iterations` times.

    Load (Pass) puts a chain of canned replies at $.poll; then each time
    round, Wait (Seconds 0) -> Poll (Pass: InputPath $.poll.next, ResultPath
    $.poll, which moves to the next reply and keeps the rest of the input)
    -> Check (Choice: $.poll.status == "DONE" leaves, else back to Wait); Done
    is a Succeed.

    A run enters 3 * iterations + 2 states (polling_loop_states) and its
    output is the input plus {"poll": {"status": "DONE", "attempt":
    iterations}}. The definition's size grows with `iterations` because the
    replies live in Load's Result."""
    if iterations < 1:
        raise ValueError("the loop goes round at least once")
    states = {
        "Load": {"Type": "Pass", "Result": _poll_replies(iterations), "ResultPath": "$.poll", "Next": "Wait"},
        "Wait": {"Type": "Wait", "Seconds": 0, "Next": "Poll"},
        "Poll": {"Type": "Pass", "InputPath": "$.poll.next", "ResultPath": "$.poll", "Next": "Check"},
        "Check": {
            "Type": "Choice",
            "Choices": [{"Variable": "$.poll.status", "StringEquals": "DONE", "Next": "Done"}],
            "Default": "Wait",
        },
        "Done": {"Type": "Succeed"},
    }
    return json.dumps(
        {"Comment": f"a polling loop that goes round {iterations} times", "StartAt": "Load", "States": states}
    )


def polling_loop_states(iterations: int) -> int:
    return 3 * iterations + 2


# --------------------------------------------------------------------------
# Timing.


def _history(client, execution_arn: str) -> list[dict]:
    events: list[dict] = []
    for page in client.get_paginator("get_execution_history").paginate(executionArn=execution_arn):
        events.extend(page["events"])
    return events


def _wait_until_done(client, execution_arn: str, runners: list[threading.Thread], wait: str, poll_sleep: float):
    """Blocks until describe_execution stops saying RUNNING; returns the
    perf_counter reading at which the execution was seen to be done and the
    last description."""
    deadline = time.perf_counter() + _RUN_TIMEOUT
    if wait == "join" and runners:
        # Joining leaves moto's thread the whole interpreter lock; polling
        # in a tight loop would make it share it with us and run slower.
        for runner in runners:
            runner.join(max(0.0, deadline - time.perf_counter()))
        done_at = time.perf_counter()
        description = client.describe_execution(executionArn=execution_arn)
        if description["status"] != "RUNNING":
            return done_at, description
    while True:
        description = client.describe_execution(executionArn=execution_arn)
        done_at = time.perf_counter()
        if description["status"] != "RUNNING":
            return done_at, description
        if done_at > deadline:
            raise TimeoutError(f"moto's execution still RUNNING after {_RUN_TIMEOUT} s")
        if poll_sleep:
            time.sleep(poll_sleep)


def moto_run_seconds(
    definition: str,
    input: dict,
    states_per_run: int,
    *,
    wait: str = "join",
    poll_sleep: float = 0.0,
    expect_output: dict | None = None,
) -> float:
    """One execution in a fresh mock, checked; see _timed_run."""
    return _timed_run(definition, input, states_per_run, wait, poll_sleep, expect_output)[0]


def _timed_run(definition, input, states_per_run, wait, poll_sleep, expect_output) -> tuple[float, float]:
    """One execution in a fresh mock: the seconds (wall, then process time)
    from just before start_execution until the execution is seen to be no
    longer RUNNING.

    Afterwards (untimed) it checks that the execution SUCCEEDED, that its
    history entered exactly `states_per_run` states, and, if given, that its
    output is `expect_output`; any mismatch raises, so a faked or cut-short
    run is never counted.

    wait="join" waits for the threads that start_execution started, then
    confirms with describe_execution (and polls if that still says RUNNING);
    wait="poll" only polls describe_execution, sleeping `poll_sleep` between
    calls."""
    import boto3
    from moto import mock_aws

    if wait not in ("join", "poll"):
        raise ValueError(f"wait must be 'join' or 'poll', not {wait!r}")
    with mock_aws(config=_CONFIG):
        client = boto3.client("stepfunctions", region_name=_REGION)
        machine = client.create_state_machine(name="pyvorn-bench", definition=definition, roleArn=_ROLE)
        before = set(threading.enumerate())
        start_cpu = time.process_time()
        start = time.perf_counter()
        execution_arn = client.start_execution(
            stateMachineArn=machine["stateMachineArn"], name="run", input=json.dumps(input)
        )["executionArn"]
        runners = [thread for thread in threading.enumerate() if thread not in before]
        done_at, description = _wait_until_done(client, execution_arn, runners, wait, poll_sleep)
        elapsed = done_at - start
        # Process time counts moto's thread as well as ours, and unlike wall
        # time it does not grow when other programs share the cores.
        cpu = time.process_time() - start_cpu

        status = description["status"]
        if status != "SUCCEEDED":
            raise RuntimeError(f"moto's execution ended {status}: {description.get('error')} {description.get('cause')}")
        entered = [event for event in _history(client, execution_arn) if event["type"].endswith("StateEntered")]
        if len(entered) != states_per_run:
            raise RuntimeError(f"moto's execution entered {len(entered)} states, expected {states_per_run}")
        if expect_output is not None:
            output = json.loads(description["output"])
            if output != expect_output:
                raise RuntimeError(f"moto's execution output {output!r}, expected {expect_output!r}")
    return elapsed, cpu


def moto_seconds_per_state(
    definition: str,
    input: dict,
    states_per_run: int,
    runs: int = 5,
    *,
    wait: str = "join",
    poll_sleep: float = 0.0,
    expect_output: dict | None = None,
) -> float:
    """The median over `runs` executions of (wall time from start_execution
    until the execution is no longer RUNNING) / states_per_run. Each run is
    checked as _timed_run describes."""
    samples = [
        moto_run_seconds(
            definition, input, states_per_run, wait=wait, poll_sleep=poll_sleep, expect_output=expect_output
        )
        for _ in range(runs)
    ]
    return statistics.median(samples) / states_per_run


# --------------------------------------------------------------------------


def _cases():
    base = {"request": "bench"}
    yield (
        "pass_chain(10)",
        pass_chain(10),
        pass_chain_states(10),
        {**base, "last": {"step": 9, "tag": "pass"}},
    )
    yield (
        "pass_chain(100)",
        pass_chain(100),
        pass_chain_states(100),
        {**base, "last": {"step": 99, "tag": "pass"}},
    )
    for iterations in (10, 30):
        yield (
            f"polling_loop({iterations})",
            polling_loop(iterations),
            polling_loop_states(iterations),
            {**base, "poll": {"status": "DONE", "attempt": iterations}},
        )


def main(argv: list[str]) -> int:
    if not moto_available():
        print("moto and boto3 are not installed: pip install moto boto3", file=sys.stderr)
        return 1
    runs = int(argv[1]) if len(argv) > 1 else 5
    import boto3

    print(f"moto {moto_version()}, boto3 {boto3.__version__}, Python {sys.version.split()[0]}")
    print(f"median of {runs} runs, each in a fresh mock; waiting by joining moto's execution thread")
    print(f"{'definition':<20} {'states':>6} {'wall/state':>12} {'cpu/state':>12} {'wall/run':>12}")
    base = {"request": "bench"}
    for label, definition, states, expected in _cases():
        samples = [_timed_run(definition, base, states, "join", 0.0, expected) for _ in range(runs)]
        wall = statistics.median(sample[0] for sample in samples)
        cpu = statistics.median(sample[1] for sample in samples)
        print(
            f"{label:<20} {states:>6} {wall / states * 1e6:>9.0f} us {cpu / states * 1e6:>9.0f} us {wall * 1e3:>9.1f} ms",
            flush=True,
        )
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
