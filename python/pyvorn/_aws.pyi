from typing import Any, Literal, TypedDict, final, type_check_only

@type_check_only
class _Diagnostic(TypedDict):
    severity: Literal["ERROR", "WARNING"]
    code: str
    message: str
    location: str | None
    line: int | None
    column: int | None

@type_check_only
class _ValidationResult(TypedDict):
    result: Literal["OK", "FAIL"]
    diagnostics: list[_Diagnostic]
    truncated: bool

class DefinitionError(ValueError):
    diagnostics: list[_Diagnostic]

def validate(text: str) -> _ValidationResult: ...
@final
class StateMachine:
    def __new__(
        cls,
        text: str,
        *,
        name: str = ...,
        region: str = ...,
        account: str = ...,
    ) -> StateMachine: ...
    @property
    def name(self) -> str: ...
    @property
    def region(self) -> str: ...
    @property
    def account(self) -> str: ...
    @property
    def arn(self) -> str: ...
    @property
    def start_at(self) -> str: ...
    @property
    def state_names(self) -> tuple[str, ...]: ...
    @property
    def definition(self) -> dict[str, Any]: ...
    @property
    def diagnostics(self) -> list[_Diagnostic]: ...
