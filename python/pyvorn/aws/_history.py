"""An execution's history read back as the states it went through.

The history is the one record of a run that the AWS dialect keeps, so both the
command line's trace and the picture of a run are drawn from it: they then
show what AWS itself would have recorded, and cannot disagree with each other.
"""

from __future__ import annotations

import datetime
import json
import re
from dataclasses import dataclass, field
from typing import Any, Iterable, Mapping, Optional

# The services whose attempt events sit between a Task's entry and its exit.
_ATTEMPT_SOURCES = ("LambdaFunction", "Task", "Activity")
_ATTEMPT_FAILURES = ("Failed", "TimedOut", "ScheduleFailed", "StartFailed", "SubmitFailed")
_ATTEMPT_STARTED = {f"{source}Scheduled" for source in _ATTEMPT_SOURCES}
_ATTEMPT_FAILED = {f"{source}{ending}" for source in _ATTEMPT_SOURCES for ending in _ATTEMPT_FAILURES}
_ENDINGS = {
    "ExecutionSucceeded": "succeeded",
    "ExecutionFailed": "failed",
    "ExecutionTimedOut": "timed out",
    "ExecutionAborted": "aborted",
}


def details_of(event: Mapping[str, Any]) -> Mapping[str, Any]:
    """The ``...EventDetails`` member of an event ({} when it has none)."""
    for key, value in event.items():
        if key.endswith("EventDetails") and isinstance(value, Mapping):
            return value
    return {}


@dataclass
class Visit:
    """One entry into a state, from its ``...StateEntered`` event on.

    ``attempts`` holds one item per attempt of a Task: None for one that
    succeeded (or is still running), else the error name it failed with.
    ``next`` is the state entered after this one; ``ending`` is how the
    execution ended in this state ("succeeded", "failed", "timed out",
    "aborted"), None while it goes on.
    """

    number: int
    name: str
    kind: str
    attempts: list[Optional[str]] = field(default_factory=list)
    exited: bool = False
    output: Optional[str] = None
    next: Optional[str] = None
    ending: Optional[str] = None
    error: Optional[str] = None
    cause: Optional[str] = None

    @property
    def caught(self) -> bool:
        """Whether it left through a Catch: its last attempt failed, yet it exited."""
        return self.exited and bool(self.attempts) and self.attempts[-1] is not None

    @property
    def failed(self) -> bool:
        return self.ending in ("failed", "timed out", "aborted") or (
            not self.exited and bool(self.attempts) and self.attempts[-1] is not None
        )


class HistoryReader:
    """Turns history events, fed in order, into visits.

    ``feed`` answers the visits that the events finished, so a caller can
    show each state once it knows where the run went from there; ``close``
    answers the one still open when the run stopped without ending.
    """

    def __init__(self) -> None:
        self.visits: list[Visit] = []
        self._open: Optional[Visit] = None

    def feed(self, events: Iterable[Mapping[str, Any]]) -> list[Visit]:
        finished: list[Visit] = []
        for event in events:
            kind = str(event.get("type", ""))
            details = details_of(event)
            visit = self._open
            if kind.endswith("StateEntered"):
                if visit is not None:
                    visit.next = str(details.get("name", ""))
                    finished.append(visit)
                visit = Visit(len(self.visits) + 1, str(details.get("name", "")), kind[: -len("StateEntered")])
                self.visits.append(visit)
                self._open = visit
            elif visit is None:
                continue
            elif kind in _ATTEMPT_STARTED:
                visit.attempts.append(None)
            elif kind in _ATTEMPT_FAILED:
                error = details.get("error")
                if visit.attempts:
                    visit.attempts[-1] = "(no error name)" if error is None else str(error)
            elif kind.endswith("StateExited"):
                visit.exited = True
                output = details.get("output")
                visit.output = None if output is None else str(output)
            elif kind in _ENDINGS:
                visit.ending = _ENDINGS[kind]
                visit.error = details.get("error")
                visit.cause = details.get("cause")
                finished.append(visit)
                self._open = None
        return finished

    def close(self) -> Optional[Visit]:
        visit, self._open = self._open, None
        return visit


def read_history(history: Iterable[Mapping[str, Any]]) -> list[Visit]:
    reader = HistoryReader()
    reader.feed(history)
    return reader.visits


# --- history as text -------------------------------------------------------

# JSON text may hold these raw inside strings; on a terminal they could
# rewrite what is shown, so they are written as \u escapes, which any JSON
# reader turns back into the same characters.
_UNSAFE_IN_JSON = re.compile("[\x7f-\x9f\u200e\u200f\u202a-\u202e\u2066-\u2069\u2028\u2029]")


def terminal_json(text: str) -> str:
    """JSON text made safe to show on a terminal, with the same meaning."""
    return _UNSAFE_IN_JSON.sub(lambda m: f"\\u{ord(m.group()):04x}", text)


def timestamp_text(moment: datetime.datetime) -> str:
    """A history timestamp as AWS writes one: ``2024-01-01T00:00:00.000Z``."""
    if moment.tzinfo is not None:
        moment = moment.astimezone(datetime.timezone.utc)
    return moment.strftime("%Y-%m-%dT%H:%M:%S.") + f"{moment.microsecond // 1000:03d}Z"


def event_line(event: Mapping[str, Any]) -> str:
    """One history event as one line of JSON."""
    shown = {
        key: timestamp_text(value) if isinstance(value, datetime.datetime) else value
        for key, value in event.items()
    }
    return terminal_json(json.dumps(shown, ensure_ascii=False, separators=(",", ":")))
