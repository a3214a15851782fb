// TaskError: what a failed state reports, an error name and a cause, each
// possibly absent (a worker may fail a task with neither). Plain owned data;
// it flows unchanged into retry matching, a catcher's error output and, when
// nothing handles it, the execution's error and cause.
//
// Also here: the names AWS gives its own failures, and the functions that
// form a failure the way AWS does for each way a Task can fail.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vorn::aws {

// The States.* names. Some are only ever written in ErrorEquals (ALL,
// TaskFailed as a wildcard); some AWS documents but never raises, so they
// match nothing unless a handler raises them by name.
namespace error_name {
inline constexpr std::string_view kAll = "States.ALL";
inline constexpr std::string_view kTaskFailed = "States.TaskFailed";
inline constexpr std::string_view kTimeout = "States.Timeout";
inline constexpr std::string_view kHeartbeatTimeout = "States.HeartbeatTimeout";
inline constexpr std::string_view kRuntime = "States.Runtime";
inline constexpr std::string_view kDataLimitExceeded = "States.DataLimitExceeded";
inline constexpr std::string_view kNoChoiceMatched = "States.NoChoiceMatched";
inline constexpr std::string_view kIntrinsicFailure = "States.IntrinsicFailure";
inline constexpr std::string_view kParameterPathFailure = "States.ParameterPathFailure";
inline constexpr std::string_view kResultPathMatchFailure = "States.ResultPathMatchFailure";
inline constexpr std::string_view kBranchFailed = "States.BranchFailed";
inline constexpr std::string_view kPermissions = "States.Permissions";
inline constexpr std::string_view kExceedToleratedFailureThreshold =
    "States.ExceedToleratedFailureThreshold";
inline constexpr std::string_view kItemReaderFailed = "States.ItemReaderFailed";
inline constexpr std::string_view kResultWriterFailed = "States.ResultWriterFailed";
inline constexpr std::string_view kHttpSocket = "States.Http.Socket";
inline constexpr std::string_view kQueryEvaluationError = "States.QueryEvaluationError";
// The Lambda Python runtime's name for a return value it cannot serialise.
inline constexpr std::string_view kMarshalError = "Runtime.MarshalError";
}  // namespace error_name

struct TaskError {
  std::optional<std::string> error;
  std::optional<std::string> cause;

  friend bool operator==(const TaskError&, const TaskError&) = default;
};

// States.Runtime is the one failure nothing may retry or catch.
bool is_uncatchable(const TaskError& failure);

// Where a state failed, for the prefix AWS puts before the cause of every
// run-time failure; `entered_event_id` is the id of the state's
// ...StateEntered event in the history. The name is borrowed for the call.
struct StateSite {
  std::string_view state_name;
  std::int64_t entered_event_id = 0;
};

// "An error occurred while executing the state '<name>' (entered at the event
// id #<N>). " (the trailing space included).
std::string cause_prefix(const StateSite& site);

// States.Runtime with the prefix before `detail`.
TaskError runtime_error(const StateSite& site, std::string_view detail);

// A task that ran past its TimeoutSeconds, or missed a heartbeat: AWS gives
// no cause (a catcher's error output shows it as "").
TaskError task_timed_out();

// A result over the payload limit. `subject` is what AWS names: the function
// ARN for a direct Lambda resource, the service ("lambda") for an
// arn:aws:states:::<service>:<action> resource, the state's name otherwise.
TaskError data_limit_exceeded(std::string_view subject);

// How Lambda's error JSON is spaced: a function invoked by its ARN reports
// it as Python's json.dumps writes it (", " and ": "); through
// arn:aws:states:::lambda:invoke it arrives compact.
enum class LambdaCauseStyle : std::uint8_t { kDirect, kInvoke };

// Lambda code that raised: the error is the exception's unqualified class
// name; the cause is the JSON object Lambda builds, keys in its order
// (errorMessage, errorType, requestId, stackTrace). Each entry of
// `stack_frames` is one already formatted frame
// ("  File \"f.py\", line 2, in handler\n    raise X()\n"). `request_id`
// stands for Lambda's invocation id; draw it with random_uuid() from the
// execution's RandomSource so a run replays. Text is escaped as json.dumps
// does by default (non-ASCII as \uXXXX); bytes that are not UTF-8 are
// written as U+FFFD.
TaskError lambda_exception(std::string_view type_name, std::string_view message,
                           std::span<const std::string> stack_frames, std::string_view request_id,
                           LambdaCauseStyle style);

// Lambda code that returned a value the runtime cannot serialise; `detail`
// is what the serialiser said (e.g. "Object of type set is not JSON
// serializable").
TaskError lambda_marshal_error(std::string_view detail, std::string_view request_id,
                               LambdaCauseStyle style);

}  // namespace vorn::aws
