"""StateMachine.run() and the other threads of the process."""

import _thread
import functools
import operator
import signal
import subprocess
import sys
import threading

import pytest

from _pyvorn import StateMachine
from conftest import definition


class Stopped(Exception):
    pass


def test_run_lets_other_threads_in_between_steps():
    """A loop of Pass and Choice states runs no Python code, so only run()
    itself can let a waiting thread in. Each lap's Task takes the next item of
    an iterator, a call into C that lets no thread in either. A thread that
    gets to run while the iterator is being consumed interrupts the main
    thread, which stops run(); if none does, the iterator runs out and the
    machine ends by itself."""
    laps, chain = 1000, 100
    states = {
        "Work": {"Type": "Task", "Resource": "tick", "Next": "More?"},
        "More?": {"Type": "Choice", "Default": "GaveUp",
                  "Choices": [{"Variable": "$.again", "BooleanEquals": True, "Next": "P0"}]},
        "GaveUp": {"Type": "Succeed"},
    }
    for i in range(chain):
        states[f"P{i}"] = {"Type": "Pass", "Next": f"P{i + 1}" if i + 1 < chain else "Work"}
    items = iter([{"again": True}] * laps + [{"again": False}])
    machine = StateMachine(definition(states, start_at="Work"))
    machine.register_handler("tick", functools.partial(next, items))

    finished = threading.Event()

    def watch():
        while not finished.is_set():
            left = operator.length_hint(items)
            if left == 0:  # run() ended before this thread got in
                return
            if left <= laps:  # run() is taking items
                _thread.interrupt_main(signal.SIGUSR1)
                return

    def stop(signum, frame):
        # Once the items are gone run() has ended, or is about to: nothing
        # else may be stopped.
        if operator.length_hint(items) > 0:
            raise Stopped

    previous_handler = signal.signal(signal.SIGUSR1, stop)
    previous_interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-4)  # the thread asks for its turn sooner
    watcher = threading.Thread(target=watch)
    try:
        watcher.start()
        try:
            outcome = machine.run()
        except Stopped:
            outcome = "stopped"
    finally:
        finished.set()
        watcher.join()
        sys.setswitchinterval(previous_interval)
        signal.signal(signal.SIGUSR1, previous_handler)
    assert outcome == "stopped", f"no other thread ran during {laps * (chain + 2)} steps"
    assert operator.length_hint(items) > 0


# A daemon thread still running a machine when the main thread ends. The
# machine takes an item per lap, by a Python handler or by a call into C.
DAEMON = """
import functools, json, operator, threading, time
from _pyvorn import StateMachine

laps = 10_000
states = {{
    "Work": {{"Type": "Task", "Resource": "tick", "Next": "P0"}},
    **{{f"P{{i}}": {{"Type": "Pass", "Next": f"P{{i + 1}}"}} for i in range(99)}},
    "P99": {{"Type": "Pass", "Next": "Work"}},
}}
items = iter([{{}}] * laps)
machine = StateMachine(json.dumps({{"StartAt": "Work", "States": states}}))
machine.register_handler("tick", {handler})
threading.Thread(target=machine.run, daemon=True).start()
while operator.length_hint(items) == laps:
    time.sleep(0.001)
print("exiting")
"""


@pytest.mark.parametrize("handler", ["lambda ctx: next(items)", "functools.partial(next, items)"])
def test_a_daemon_thread_in_run_lets_the_process_exit(handler):
    """At exit the interpreter ends a daemon thread that wants its lock back
    by unwinding the thread's stack, which must pass through run()."""
    script = DAEMON.format(handler=handler)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert (result.returncode, result.stdout, result.stderr) == (0, "exiting\n", "")
