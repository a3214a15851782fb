// Running one state of a Program on its own, as AWS Step Functions' TestState
// API does: the state's data flow step by step, what each step made, and
// what the state would do next, without an execution around it.
//
// The state runs as the first state of a fresh execution would: its $$ has
// the given input as $$.Execution.Input, its RetryCount is 0, its entry is
// event #2 in the cause prefix. Nothing waits: a Wait state only checks its
// timing, and a Task failure that a retrier would retry is reported as such
// (RETRIABLE) instead of being retried. A Task attempt is run by the caller.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "aws_data/value.hpp"
#include "aws_run/clock.hpp"
#include "aws_run/execution.hpp"
#include "aws_run/program.hpp"
#include "aws_run/retry_policy.hpp"

namespace vorn::aws {

enum class StateTestStatus : std::uint8_t {
  kSucceeded,    // the state finished normally (a Choice chose, a Succeed succeeded)
  kFailed,       // an error nothing handles, a Fail state, States.Runtime
  kRetriable,    // a Task error a retrier would retry
  kCaughtError,  // a Task error a catcher takes
};

// "SUCCEEDED", "FAILED", "RETRIABLE", "CAUGHT_ERROR".
std::string_view state_test_status_name(StateTestStatus status);

// What TestState shows at its DEBUG level: the payload after each step the
// state's processing reached, and how Retry or Catch took a failure. A Pass
// with Result never evaluates InputPath or Parameters, so it has neither.
struct StateInspection {
  std::optional<Value> input;
  std::optional<Value> after_input_path;
  std::optional<Value> after_parameters;
  std::optional<Value> result;
  std::optional<Value> after_result_selector;
  std::optional<Value> after_result_path;
  std::optional<std::size_t> retry_index;   // RETRIABLE: the retrier that would retry
  std::optional<RetryDelay> retry_backoff;  // RETRIABLE: its delay before the retry
  std::optional<std::size_t> catch_index;   // CAUGHT_ERROR: the catcher taken
};

struct StateTestResult {
  StateTestStatus status = StateTestStatus::kSucceeded;
  // SUCCEEDED: the state's output; CAUGHT_ERROR: the error output placed by
  // the catcher's ResultPath. Absent otherwise.
  std::optional<Value> output;
  // Everything but SUCCEEDED; either may still be absent (a Fail state
  // without Error, a task failed with neither).
  TaskError failure;
  // The Next, the Choice's pick or the catcher's Next; absent for an end.
  std::optional<std::string> next_state;
  StateInspection inspection;
};

// Runs one Task attempt. std::nullopt means the caller has something of its
// own to report instead (a Python exception to raise, say): the test stops
// there without a result.
using TaskAttemptRunner = std::function<std::optional<TaskOutcome>(const TaskCall&)>;

struct StateTestSetup {
  ExecutionIdentity identity;  // what $$.Execution and $$.StateMachine show
  Instant now;                 // the start and entry time $$ shows
  std::uint64_t seed = 0;      // for retry jitter and task tokens
};

// The index of the state named `name` in the machine's own scope.
std::optional<std::uint32_t> find_top_level_state(const Program& program, std::string_view name);

// Runs state `index` of the machine's own scope on `input`. `run_attempt`
// is called at most once, only for a Task, and must answer the attempt: a
// pending outcome, like nullopt, gives nullopt, as no callback can come. An
// input over the payload limit fails with States.DataLimitExceeded, as any
// state input would.
std::optional<StateTestResult> run_state_test(const Program& program, std::uint32_t index,
                                              Value input, const StateTestSetup& setup,
                                              const TaskAttemptRunner& run_attempt);

}  // namespace vorn::aws
