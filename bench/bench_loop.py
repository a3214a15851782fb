"""A polling loop (a Task, then a Choice that goes back to it until the Task
says it is done) run to its end at growing lengths, each in a fresh
interpreter: time per step and peak memory per journal entry must stay flat
as the run grows, up to a million steps.

Every visit of the Task sees the output of the one before, so the loop ends
after exactly POLLS visits; the Choice records nothing, so a run of n polls is
2n + 1 steps and n + 1 journal entries.

  python bench/bench_loop.py [MAX_POLLS]     (default 500 000: 10^6 steps)
"""

from __future__ import annotations

import json
import subprocess
import sys

_RUN = """
import json, sys, time
import _pyvorn

def peak():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024

polls = int(sys.argv[1])
text = json.dumps({"StartAt": "Poll", "States": {
    "Poll": {"Type": "Task", "Resource": "poll", "Next": "Done?"},
    "Done?": {"Type": "Choice", "Default": "Poll",
              "Choices": [{"Variable": "$.done", "BooleanEquals": True, "Next": "End"}]},
    "End": {"Type": "Succeed"}}})

def poll(ctx):
    n = ctx["input"].get("n", 0) + 1
    return {"n": n, "done": n >= polls}

sm = _pyvorn.StateMachine(text, {})
sm.register_handler("poll", poll)
before = peak()
start = time.process_time()
result = sm.run()
seconds = time.process_time() - start
assert result == {"status": "completed", "output": {"n": polls, "done": True}}, result
print(json.dumps({"seconds": seconds, "grown": peak() - before}))
"""


def measure(polls: int) -> dict:
    out = subprocess.run([sys.executable, "-c", _RUN, str(polls)], check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out)


def main() -> None:
    most = int(sys.argv[1]) if len(sys.argv) > 1 else 500_000
    sizes = [size for size in (5_000, 50_000, most) if size <= most]
    print(f"{'polls':>9} {'steps':>9} {'ns/step':>9} {'bytes/entry':>12}")
    for polls in sizes:
        figures = measure(polls)
        steps = 2 * polls + 1
        entries = polls + 1
        print(f"{polls:>9} {steps:>9} {figures['seconds'] / steps * 1e9:>9.0f} "
              f"{figures['grown'] / entries:>12.0f}")
    print("linear: ns/step and bytes/entry stay flat as the run grows")


if __name__ == "__main__":
    main()
