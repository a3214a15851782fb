import datetime
from typing import Any, Literal, Required, TypedDict, final, type_check_only

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

@type_check_only
class _InspectionErrorDetails(TypedDict, total=False):
    catchIndex: int
    retryIndex: int
    retryBackoffIntervalSeconds: int

@type_check_only
class _InspectionData(TypedDict, total=False):
    input: str
    afterInputPath: str
    afterParameters: str
    result: str
    afterResultSelector: str
    afterResultPath: str
    errorDetails: _InspectionErrorDetails

@type_check_only
class _TestStateResponse(TypedDict, total=False):
    output: str
    error: str
    cause: str
    inspectionData: _InspectionData
    nextState: str
    status: Required[Literal["SUCCEEDED", "FAILED", "RETRIABLE", "CAUGHT_ERROR"]]

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
        type: Literal["STANDARD", "EXPRESS"] = ...,
    ) -> StateMachine: ...
    def start_execution(
        self,
        input: Any = ...,
        *,
        handlers: Any = ...,
        name: str | None = ...,
        clock: VirtualClock | Literal["real"] | None = ...,
        seed: int = ...,
    ) -> Execution: ...
    def test_state(
        self,
        state_name: str,
        input: Any,
        *,
        handlers: Any = ...,
        inspection_level: Literal["INFO", "DEBUG", "TRACE"] = ...,
        seed: int = ...,
    ) -> _TestStateResponse: ...
    @property
    def type(self) -> Literal["STANDARD", "EXPRESS"]: ...
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

@final
class VirtualClock:
    def __new__(cls, start: datetime.datetime | str | None = ...) -> VirtualClock: ...
    def advance(self, seconds: float) -> None: ...
    @property
    def now(self) -> datetime.datetime: ...

_Status = Literal["RUNNING", "SUCCEEDED", "FAILED", "TIMED_OUT", "ABORTED"]

@final
class Execution:
    def run(self, max_steps: int | None = ...) -> _Status: ...
    def step(self) -> list[dict[str, Any]]: ...
    def stop(self, error: str | None = ..., cause: str | None = ...) -> _Status: ...
    def describe(self) -> dict[str, Any]: ...
    def send_task_success(self, task_token: str, output: Any) -> None: ...
    def send_task_failure(self, task_token: str, error: str | None = ..., cause: str | None = ...) -> None: ...
    def send_task_heartbeat(self, task_token: str) -> None: ...
    @property
    def pending_task(self) -> dict[str, Any] | None: ...
    @property
    def status(self) -> _Status: ...
    @property
    def output(self) -> Any: ...
    @property
    def error(self) -> str | None: ...
    @property
    def cause(self) -> str | None: ...
    @property
    def history(self) -> list[dict[str, Any]]: ...
    @property
    def name(self) -> str: ...
    @property
    def arn(self) -> str: ...
    @property
    def clock(self) -> VirtualClock | None: ...
    @property
    def states_entered(self) -> int: ...
