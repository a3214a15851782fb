"""Type stubs for the native module _pyvorn.

Names that begin with an underscore exist only for type checkers: the module
has no such attributes, so import them only under ``typing.TYPE_CHECKING``.
"""

from collections.abc import Callable
from typing import Any, Literal, NotRequired, TypeAlias, TypedDict, final, type_check_only

__version__: str

class ParseError(Exception):
    """ASL JSON parsing failed."""

class ValidationError(Exception):
    """ASL validation failed."""

class DispatchError(Exception):
    """State dispatch failed."""

class JsonPathError(Exception):
    """JSONPath expression is invalid."""

# What crosses the boundary in either direction. Containers are typed loosely
# on purpose: list and dict are invariant, so list[int] would not be accepted
# where list[_JsonValue] is expected. Tuples, sets and bytes are refused at
# run time, and so they are left out here. Subclasses of int, float, str, list
# and dict are accepted; True and False are booleans, never integers.
_JsonValue: TypeAlias = None | bool | int | float | str | list[Any] | dict[str, Any]

def encode_value(obj: _JsonValue) -> bytes:
    """Encode a Python value into VORN binary format."""

def decode_value(data: bytes) -> _JsonValue:
    """Decode VORN binary format into a Python value."""

# Instances come only from lower(); calling the class raises TypeError, and
# from_lowered() empties a handle for good, after which every member but
# repr() raises RuntimeError.
@final
class LoweredIr:
    """Opaque handle to a lowered state machine."""

    @property
    def handler_names(self) -> list[str]:
        """List of handler resource names."""
    @property
    def state_names(self) -> list[str]:
        """List of state names."""
    def __len__(self) -> int: ...

def validate(json_str: str) -> None:
    """Parse and validate ASL JSON. Raises ParseError or ValidationError."""

def lower(json_str: str) -> LoweredIr:
    """Parse, validate, and lower ASL JSON into an IR handle."""

def generate(lowered: LoweredIr) -> str:
    """Generate Rust source code from a LoweredIr handle."""

def compile(json_str: str) -> str:
    """Full pipeline: parse + validate + lower + generate. Returns Rust source."""

# The dicts StateMachine hands out. "status" tells the shapes apart, so a
# comparison such as result["status"] == "completed" narrows the type.
@type_check_only
class _Continue(TypedDict):
    status: Literal["continue"]
    next_state: int

@type_check_only
class _Completed(TypedDict):
    """"output" is absent when the last journal entry has none."""

    status: Literal["completed"]
    output: NotRequired[_JsonValue]

@type_check_only
class _Fatal(TypedDict):
    """The error's text, for example "HandlerNotFound(HandlerId(0))"."""

    status: Literal["fatal"]
    error: str

_StepResult: TypeAlias = _Continue | _Completed | _Fatal
# run() steps until the result is no longer "continue".
_RunResult: TypeAlias = _Completed | _Fatal

@type_check_only
class _JournalEntry(TypedDict):
    """One executed state: "output" for a state that produced one, "error"
    for a failed attempt or a Fail state. state_name is "?" for an id the
    machine does not know."""

    state_name: str
    state_id: int
    attempt: int
    output: NotRequired[_JsonValue]
    error: NotRequired[str]

# A handler is called with one plain dict holding "state_id" (int), "replay"
# (bool) and "input" (the Task's input). It is typed as dict[str, Any] rather
# than as a TypedDict so that handlers annotated with dict[str, Any] or
# Mapping[str, Any] are accepted. What it returns becomes the Task's result;
# anything else than a JSON value, or an exception, fails the attempt.
_Handler: TypeAlias = Callable[[dict[str, Any]], _JsonValue]

@final
class StateMachine:
    """The main state machine runtime."""

    def __new__(cls, asl_json: str, initial_input: dict[str, Any] | None = None) -> StateMachine: ...
    @staticmethod
    def from_lowered(lowered: LoweredIr, initial_input: dict[str, Any] | None = None) -> StateMachine:
        """Create a StateMachine from a LoweredIr handle (consumes it)."""
    def register_handler(self, resource: str, callable: _Handler) -> None:
        """Register a Python callable as a handler for the given resource name."""
    def step(self) -> _StepResult:
        """Execute one step. Returns a dict with status and details."""
    def run(self) -> _RunResult:
        """Run to completion. Returns a dict with status and output."""
    @property
    def journal(self) -> list[_JournalEntry]:
        """Journal entries as a list of dicts."""
    @property
    def handler_names(self) -> list[str]:
        """Handler resource names from the IR."""
    @property
    def state_names(self) -> list[str]:
        """State names from the IR."""
    @property
    def current_state(self) -> int:
        """Current state ID."""

@final
class JsonPath:
    """JSONPath expression for resolving values within state data."""

    def __new__(cls, expr: str) -> JsonPath: ...
    @property
    def root(self) -> Literal["$", "$$"]:
        """Root of the path expression ("$" or "$$")."""
    def resolve(self, root: _JsonValue) -> _JsonValue:
        """Resolve this path against a Python value."""

@final
class JsonTemplate:
    """JSON template for constructing output objects from path references."""

    def __new__(cls, template_obj: dict[str, Any]) -> JsonTemplate: ...
    def evaluate(self, input: _JsonValue) -> dict[str, Any] | None:
        """Evaluate the template against input data."""

@final
class ContextObject:
    """Context object for $$ path resolution."""

    def __new__(
        cls,
        *,
        execution_id: str | None = None,
        start_time: str | None = None,
        state_name: str | None = None,
        config: dict[str, Any] | None = None,
    ) -> ContextObject: ...
    # Reads may give None; writes take a str only, and the name cannot be
    # deleted.
    @property
    def state_name(self) -> str | None:
        """Get current state name."""
    @state_name.setter
    def state_name(self, name: str) -> None:
        """Set current state name."""
    def value(self) -> dict[str, Any]:
        """Get the full context as a Python dict."""

def json_place(root: _JsonValue, path_str: str, value: _JsonValue) -> _JsonValue:
    """Place a value at a JSONPath location within a root object."""
