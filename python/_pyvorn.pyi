"""Type stubs for the native module _pyvorn."""

from typing import Any, Callable, TypedDict, final

__version__: str

class ParseError(Exception):
    """ASL JSON parsing failed."""

class ValidationError(Exception):
    """ASL validation failed."""

class DispatchError(Exception):
    """State dispatch failed."""

class JsonPathError(Exception):
    """JSONPath expression is invalid."""

JsonValue = None | bool | int | float | str | list[Any] | dict[str, Any]

def encode_value(obj: JsonValue) -> bytes:
    """Encode a Python value into VORN binary format."""

def decode_value(data: bytes) -> JsonValue:
    """Decode VORN binary format into a Python value."""

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

# The shapes of the dicts StateMachine returns; names for type checkers only,
# the module has no such attributes.
class _StepResult(TypedDict, total=False):
    """What step() and run() return: status "continue" with next_state,
    "completed" with output (absent when there is none), or "fatal" with the
    error's text."""

    status: str
    next_state: int
    output: JsonValue
    error: str

class _JournalEntry(TypedDict, total=False):
    """One journal entry: output for a state that produced one, error for a
    failed attempt or a Fail state."""

    state_name: str
    state_id: int
    attempt: int
    output: JsonValue
    error: str

@final
class StateMachine:
    """The main state machine runtime."""

    def __new__(cls, asl_json: str, initial_input: dict[str, Any] | None = None) -> StateMachine: ...
    @staticmethod
    def from_lowered(
        lowered: LoweredIr, initial_input: dict[str, Any] | None = None
    ) -> StateMachine:
        """Create a StateMachine from a LoweredIr handle (consumes it)."""
    def register_handler(self, resource: str, callable: Callable[[dict[str, Any]], Any]) -> None:
        """Register a Python callable as a handler for the given resource name."""
    def step(self) -> _StepResult:
        """Execute one step. Returns a dict with status and details."""
    def run(self) -> _StepResult:
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

    def __init__(self, expr: str) -> None: ...
    @property
    def root(self) -> str:
        """Root of the path expression ("$" or "$$")."""
    def resolve(self, root: JsonValue) -> JsonValue:
        """Resolve this path against a Python value."""

@final
class JsonTemplate:
    """JSON template for constructing output objects from path references."""

    def __init__(self, template_obj: dict[str, Any]) -> None: ...
    def evaluate(self, input: JsonValue) -> dict[str, Any] | None:
        """Evaluate the template against input data."""

@final
class ContextObject:
    """Context object for $$ path resolution."""

    def __init__(
        self,
        *,
        execution_id: str | None = None,
        start_time: str | None = None,
        state_name: str | None = None,
        config: dict[str, Any] | None = None,
    ) -> None: ...
    @property
    def state_name(self) -> str | None:
        """Get current state name."""
    @state_name.setter
    def state_name(self, name: str) -> None: ...
    def value(self) -> dict[str, Any]:
        """Get the full context as a Python dict."""

def json_place(root: JsonValue, path_str: str, value: JsonValue) -> JsonValue:
    """Place a value at a JSONPath location within a root object."""
