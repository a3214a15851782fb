"""What Task handlers give back and raise, and where they are registered."""

from __future__ import annotations

from typing import Any, Callable, Optional

Handler = Callable[[Any, dict], Any]


class TaskFailed(Exception):
    """Raised by a handler: the task fails with exactly this error name and
    cause (either may be None, as AWS allows)."""

    def __init__(self, error: Optional[str] = None, cause: Optional[str] = None) -> None:
        super().__init__(error, cause)
        self.error = error
        self.cause = cause

    def __str__(self) -> str:
        if self.cause is None:
            return str(self.error)
        return f"{self.error}: {self.cause}"


class MissingHandler(LookupError):
    """A Task reached a resource no handler answers. The execution stays
    RUNNING at that Task: add a handler and run it again."""

    def __init__(self, resource: str) -> None:
        super().__init__(resource)
        self.resource = resource

    def __str__(self) -> str:
        return f"no handler for the resource '{self.resource}': register one with Handlers.add() or Handlers.lambda_function()"


class TaskDoesNotExist(LookupError):
    """A callback named a token no attempt of the execution awaits (AWS's
    TaskDoesNotExist)."""


class TaskTimedOut(Exception):
    """A callback named the token of an attempt that already timed out
    (AWS's TaskTimedOut)."""


class Elapsed:
    """A handler's result that took `seconds` on the execution's clock, so a
    TimeoutSeconds shorter than that fails the attempt with States.Timeout."""

    __slots__ = ("seconds", "value")

    def __init__(self, seconds: float, value: Any = None) -> None:
        if not isinstance(seconds, (int, float)) or isinstance(seconds, bool) or not seconds >= 0:
            raise ValueError(f"Elapsed seconds must be a number >= 0, not {seconds!r}")
        self.seconds = seconds
        self.value = value

    def __repr__(self) -> str:
        return f"Elapsed({self.seconds!r}, {self.value!r})"


class Pending:
    """A handler's answer for a callback, .sync or activity task: the task is
    submitted (`response` is what the service answered) and finishes when
    the execution is sent the task's success or failure, or times out."""

    __slots__ = ("response",)

    def __init__(self, response: Any = None) -> None:
        self.response = response

    def __repr__(self) -> str:
        return f"Pending({self.response!r})"


PENDING = Pending()


class Handlers:
    """Task handlers, keyed by what a Task's Resource names.

    ``add(resource, fn)`` answers the exact Resource text: ``fn(input,
    context)`` gets the effective Parameters (or the effective input) and
    returns the service's response as is. ``lambda_function(name, fn)``
    is Lambda code, ``fn(event, context)``: it answers direct Lambda ARNs of
    that function (any region, account or qualifier) and lambda:invoke
    whose FunctionName names it, with the response AWS builds around it.
    ``default``, when given, answers every other resource as ``add`` does.
    """

    def __init__(self, default: Optional[Handler] = None) -> None:
        if default is not None and not callable(default):
            raise TypeError(f"default must be callable, not {type(default).__name__}")
        self._by_resource: dict[str, Handler] = {}
        self._by_function: dict[str, Handler] = {}
        self._default = default

    def add(self, resource: str, fn: Handler) -> None:
        if not isinstance(resource, str):
            raise TypeError(f"resource must be str, not {type(resource).__name__}")
        if not callable(fn):
            raise TypeError(f"handler must be callable, not {type(fn).__name__}")
        self._by_resource[resource] = fn

    def lambda_function(self, name: str, fn: Handler) -> None:
        if not isinstance(name, str):
            raise TypeError(f"name must be str, not {type(name).__name__}")
        if not callable(fn):
            raise TypeError(f"handler must be callable, not {type(fn).__name__}")
        self._by_function[name] = fn

    def with_default(self, default: Handler) -> "Handlers":
        """A copy that answers with ``default`` whatever these handlers leave
        unanswered. A default already set is kept: it was chosen for these
        handlers, the new one only fills a gap. The copy shares no table with
        this one, so neither changes the other afterwards."""
        if not callable(default):
            raise TypeError(f"default must be callable, not {type(default).__name__}")
        copy = Handlers(default=self._default if self._default is not None else default)
        copy._by_resource.update(self._by_resource)
        copy._by_function.update(self._by_function)
        return copy

    def __repr__(self) -> str:
        default = ", with a default" if self._default is not None else ""
        return f"<pyvorn.aws.Handlers: {len(self._by_resource)} resources, {len(self._by_function)} Lambda functions{default}>"
