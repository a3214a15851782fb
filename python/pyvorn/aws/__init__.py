"""The AWS dialect: Amazon States Language definitions read, checked and run
exactly as AWS Step Functions does.

Opt-in and separate from the reduced dialect of ``pyvorn``: its own values
(member order and written numbers kept), its own rules and AWS's diagnostics,
errors and execution histories. Executions run in this process, one thread,
on a virtual clock by default, with Task resources answered by Python
handlers.
"""

from pyvorn._aws import DefinitionError, Execution, StateMachine, VirtualClock, validate
from pyvorn.aws._tasks import (
    PENDING,
    Elapsed,
    Handlers,
    MissingHandler,
    Pending,
    TaskDoesNotExist,
    TaskFailed,
    TaskTimedOut,
)

__all__ = [
    "DefinitionError",
    "Elapsed",
    "Execution",
    "Handlers",
    "MissingHandler",
    "PENDING",
    "Pending",
    "StateMachine",
    "TaskDoesNotExist",
    "TaskFailed",
    "TaskTimedOut",
    "VirtualClock",
    "validate",
]
