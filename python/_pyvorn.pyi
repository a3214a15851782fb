"""Type stubs for the native module _pyvorn."""

from typing import Any, final

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
