"""StateMachine.run() and the other threads of the process."""

import subprocess
import sys

import pytest


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


@pytest.mark.parametrize("handler", ["lambda ctx: next(items)"])
def test_a_daemon_thread_in_run_lets_the_process_exit(handler):
    """At exit the interpreter ends a daemon thread that wants its lock back
    by unwinding the thread's stack, which must pass through run()."""
    script = DAEMON.format(handler=handler)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert (result.returncode, result.stdout, result.stderr) == (0, "exiting\n", "")
