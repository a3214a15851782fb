"""StateMachine under stress: memory over many machines and failures, values
the format cannot hold, interrupts, reference counts and reference cycles."""

import faulthandler
import gc
import resource
import signal
import sys
import weakref

import pytest

from _pyvorn import StateMachine, lower
from conftest import definition

TASK = definition({"T": {"Type": "Task", "Resource": "svc", "End": True}})
# Retries External failures for as long as anyone steps it.
RETRYING_TASK = definition(
    {
        "T": {
            "Type": "Task",
            "Resource": "svc",
            "Retry": [{"ErrorEquals": ["External"], "MaxAttempts": 4294967295}],
            "End": True,
        }
    }
)
# Two Choice states routing to each other: runs forever, records nothing.
ENDLESS = definition(
    {
        "A": {"Type": "Choice", "Choices": [{"Variable": "$.x", "NumericEquals": 1, "Next": "B"}],
              "Default": "B"},
        "B": {"Type": "Choice", "Choices": [{"Variable": "$.x", "NumericEquals": 1, "Next": "A"}],
              "Default": "A"},
    }
)

def max_rss_kib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def assert_flat(workload, rounds, slack_kib=4096):
    """Runs `workload` once to warm up, then `rounds` more times: the peak
    resident size must not grow by more than `slack_kib` after the warm-up."""
    workload()
    gc.collect()
    before = max_rss_kib()
    for _ in range(rounds):
        workload()
    gc.collect()
    grown = max_rss_kib() - before
    assert grown <= slack_kib, f"peak RSS grew by {grown} KiB"


# --- memory -------------------------------------------------------------------


def test_memory_is_flat_over_many_machines():
    # Each machine has its own IR (from text and from a lowered handle), a
    # handler that refers back to the machine, and a journal entry.
    def workload():
        for i in range(10_000):
            if i % 2:
                sm = StateMachine(TASK, {"i": i})
            else:
                sm = StateMachine.from_lowered(lower(TASK), {"i": i})
            sm.register_handler("svc", lambda ctx, sm=sm: ctx["input"])
            assert sm.step()["status"] == "completed"

    assert_flat(workload, rounds=10)  # 100 000 machines after the warm-up


def test_memory_is_flat_over_many_handler_failures():
    message = "m" * 200  # well beyond any small-string buffer

    def fail(ctx):
        raise ValueError(message)

    def workload():
        for _ in range(10):
            sm = StateMachine(RETRYING_TASK)
            sm.register_handler("svc", fail)
            for _ in range(10_000):
                assert sm.step()["status"] == "continue"
            assert sm.journal[-1]["error"] == "ValueError: " + message

    assert_flat(workload, rounds=10)  # 1 000 000 failures after the warm-up


# --- values the format cannot hold --------------------------------------------


def cyclic_list():
    value = []
    value.append(value)
    return value


def cyclic_dict():
    value = {}
    value["me"] = value
    return value


def deep(levels):
    value = []
    for _ in range(levels):
        value = [value]
    return value


@pytest.mark.parametrize("value", [cyclic_list(), cyclic_dict(), deep(100_000)],
                         ids=["cyclic list", "cyclic dict", "deep"])
def test_cyclic_or_deep_values_raise_recursion_error(value):
    with pytest.raises(RecursionError):
        StateMachine(TASK, {"v": value})
    with pytest.raises(RecursionError):
        StateMachine.from_lowered(lower(TASK), {"v": value})
    sm = StateMachine(TASK)
    sm.register_handler("svc", lambda ctx: value)
    assert sm.run()["status"] == "fatal"
    assert sm.journal[0]["error"].startswith("handler return: RecursionError: ")


def test_results_beyond_the_format_are_retried_and_caught():
    text = definition(
        {
            "T": {
                "Type": "Task",
                "Resource": "svc",
                "Retry": [{"ErrorEquals": ["External"], "MaxAttempts": 2}],
                "Catch": [{"ErrorEquals": ["External"], "Next": "C"}],
                "End": True,
            },
            "C": {"Type": "Pass", "End": True},
        },
        start_at="T",
    )
    sm = StateMachine(text, {"n": 1})
    sm.register_handler("svc", lambda ctx: "x" * 70_000)
    assert sm.run() == {"status": "completed", "output": {"n": 1}}
    error = "handler return: ValueError: string of 70000 bytes exceeds the limit of 65535 bytes"
    assert [entry.get("error") for entry in sm.journal] == [error, error, None]


def test_a_step_whose_data_would_exceed_the_format_fails_in_place():
    text = definition(
        {"T": {"Type": "Task", "Resource": "svc", "ResultPath": "$.r", "End": True}}
    )
    sm = StateMachine(text, {"a": "x" * 40_000})
    sm.register_handler("svc", lambda ctx: "y" * 40_000)
    assert sm.step() == {"status": "fatal", "error": "PathResolutionFailed(StateId(0))"}
    assert sm.journal == []
    assert sm.current_state == 0


# --- interrupts ----------------------------------------------------------------


class Stop(BaseException):
    pass


@pytest.mark.parametrize("exception", [KeyboardInterrupt("now"), SystemExit(2), Stop()],
                         ids=lambda e: type(e).__name__)
@pytest.mark.parametrize("call", ["step", "run"])
def test_handler_interrupts_propagate_unchanged(exception, call):
    text = definition(
        {
            "P": {"Type": "Pass", "Next": "T"},
            "T": {
                "Type": "Task",
                "Resource": "svc",
                "Retry": [{"ErrorEquals": ["*"], "MaxAttempts": 3}],
                "Catch": [{"ErrorEquals": ["*"], "Next": "P"}],
                "End": True,
            },
        },
        start_at="P",
    )
    sm = StateMachine(text)
    sm.register_handler("svc", lambda ctx: (_ for _ in ()).throw(exception))
    sm.step()  # P
    journal, current = sm.journal, sm.current_state
    with pytest.raises(BaseException) as info:
        getattr(sm, call)()
    assert info.value is exception
    assert (sm.journal, sm.current_state) == (journal, current)
    # The machine carries on where it was.
    sm.register_handler("svc", lambda ctx: "ok")
    assert sm.run() == {"status": "completed", "output": "ok"}


# --- loops ---------------------------------------------------------------------

# The most common loop there is: poll until the work says it is done.
POLLING = definition(
    {
        "Poll": {"Type": "Task", "Resource": "poll", "Next": "Done?"},
        "Done?": {"Type": "Choice", "Default": "Poll",
                  "Choices": [{"Variable": "$.done", "BooleanEquals": True, "Next": "End"}]},
        "End": {"Type": "Succeed"},
    }
)


def poll(ctx):
    n = ctx["input"].get("n", 0) + 1
    return {"n": n, "done": n >= 5}


def run_bounded(sm, steps=100):
    """run(), but a machine that loops for good fails the test instead of
    growing its journal until memory runs out."""
    for _ in range(steps):
        result = sm.step()
        if result["status"] != "continue":
            return result
    pytest.fail(f"still running after {steps} steps")


def test_a_state_reached_again_sees_its_own_progress():
    sm = StateMachine(POLLING, {})
    sm.register_handler("poll", poll)
    assert run_bounded(sm) == {"status": "completed", "output": {"n": 5, "done": True}}
    polls = [entry for entry in sm.journal if entry["state_name"] == "Poll"]
    assert [entry["attempt"] for entry in polls] == [0, 1, 2, 3, 4]
    assert [entry["output"]["n"] for entry in polls] == [1, 2, 3, 4, 5]


def test_a_pass_wraps_its_input_once_per_time_round():
    wrapping = definition(
        {
            "Wrap": {"Type": "Pass", "Parameters": {"inner.$": "$"}, "Next": "Deep?"},
            "Deep?": {"Type": "Choice", "Default": "Wrap",
                      "Choices": [{"Variable": "$.inner.inner.inner.seed", "BooleanEquals": True,
                                   "Next": "End"}]},
            "End": {"Type": "Succeed"},
        }
    )
    sm = StateMachine(wrapping, {"seed": True})
    assert run_bounded(sm) == {"status": "completed",
                        "output": {"inner": {"inner": {"inner": {"seed": True}}}}}
    assert [entry["state_name"] for entry in sm.journal] == ["Wrap", "Wrap", "Wrap", "End"]


def test_a_failed_attempt_is_retried_on_the_input_that_failed():
    # Only a success passes progress on: a retry after a failure, and the
    # loop's next visit after that retry succeeds, read what they should.
    retrying = definition(
        {
            "Poll": {"Type": "Task", "Resource": "poll", "Next": "Done?",
                     "Retry": [{"ErrorEquals": ["External"], "MaxAttempts": 10}]},
            "Done?": {"Type": "Choice", "Default": "Poll",
                      "Choices": [{"Variable": "$.n", "NumericEquals": 2, "Next": "End"}]},
            "End": {"Type": "Succeed"},
        }
    )
    seen = []

    def flaky(ctx):
        seen.append(ctx["input"])
        if len(seen) % 2:
            raise RuntimeError("not yet")
        return {"n": ctx["input"].get("n", 0) + 1}

    sm = StateMachine(retrying, {})
    sm.register_handler("poll", flaky)
    assert run_bounded(sm) == {"status": "completed", "output": {"n": 2}}
    assert seen == [{}, {}, {"n": 1}, {"n": 1}]
    assert [entry["attempt"] for entry in sm.journal if entry["state_name"] == "Poll"] == [0, 1, 2, 3]


def test_a_signal_stops_an_endless_run():
    class Alarm(Exception):
        pass

    def on_alarm(signum, frame):
        raise Alarm

    previous = signal.signal(signal.SIGALRM, on_alarm)
    # Should run() ever stop checking for signals, this ends the hang.
    faulthandler.dump_traceback_later(60, exit=True)
    try:
        sm = StateMachine(ENDLESS)
        signal.setitimer(signal.ITIMER_REAL, 0.2)
        with pytest.raises(Alarm):
            sm.run()
    finally:
        faulthandler.cancel_dump_traceback_later()
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert sm.journal == []
    assert sm.current_state in (0, 1)


# --- references ------------------------------------------------------------------


def test_reference_counts_stay_put():
    result = {"kept": [1, 2, 3]}
    failure = ValueError("kept")
    initial = {"order": [1]}

    def succeed(ctx):
        return result

    def fail(ctx):
        raise failure

    sm = StateMachine(RETRYING_TASK, initial)
    sm.register_handler("svc", succeed)
    counts = lambda: [sys.getrefcount(o) for o in (result, failure, initial, succeed, fail)]
    sm.step()
    before = counts()
    for _ in range(1000):
        assert sm.step()["status"] == "completed"
    sm.register_handler("svc", fail)
    for _ in range(1000):
        assert sm.step()["status"] == "continue"
    failure.__traceback__ = None  # the last raise left its traceback on the instance
    sm.register_handler("svc", succeed)
    assert sm.step()["status"] == "completed"
    assert counts() == before


def test_a_handler_that_refers_to_its_machine_is_collected():
    sm = StateMachine(TASK)
    handler = lambda ctx: sm.state_names  # noqa: E731 (the cycle under test)
    sm.register_handler("svc", handler)
    watch = weakref.ref(handler)
    del sm, handler
    gc.collect()
    assert watch() is None
