// Execution: one run of a Program, driven a step at a time by its caller on
// one thread.
//
// A step enters one state and does all of it that needs no one else. A Task
// attempt is handed to the caller instead (task_call()), who runs it however
// it likes (a Python function, a scripted outcome) and reports back with
// finish_task(); the execution then records the outcome, retries, catches or
// moves on. An attempt may also be only submitted (a .waitForTaskToken or
// .sync call, an activity handed to a worker): the execution then awaits a
// callback for the attempt's token (send_task_success/failure/heartbeat),
// which may come any number of steps later, and times the attempt out on its
// clock if none comes in time. Time comes from the Clock the caller lends:
// Wait states and retry delays sleep on it (a VirtualClock jumps, a RealClock
// sleeps) and every history timestamp reads it; an awaited callback is never
// slept for, as only the caller knows when one may come. Everything random
// (jitter, tokens) draws from the execution's own RandomSource, seeded by the
// caller, so the same program, input, seed and calls always give the same
// history.
//
// The Program is shared; the Clock must outlive the Execution.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "aws_data/random_source.hpp"
#include "aws_data/value.hpp"
#include "aws_run/clock.hpp"
#include "aws_run/context_object.hpp"
#include "aws_run/data_flow.hpp"
#include "aws_run/history.hpp"
#include "aws_run/program.hpp"
#include "aws_run/retry_policy.hpp"
#include "aws_run/task_error.hpp"

namespace vorn::aws {

// Who is running: what $$.Execution and $$.StateMachine show and what task
// events name.
struct ExecutionIdentity {
  std::string name;
  std::string arn;  // arn:aws:states:<region>:<account>:execution:<machine>:<name>
  std::string machine_name;
  std::string machine_arn;
  std::string role_arn;
  std::string region;
};

enum class ExecutionStatus : std::uint8_t { kRunning, kSucceeded, kFailed, kTimedOut, kAborted };

// "RUNNING", "SUCCEEDED", "FAILED", "TIMED_OUT", "ABORTED".
std::string_view execution_status_name(ExecutionStatus status);

// One Task attempt for the caller to run.
struct TaskCall {
  std::string_view state_name;
  const TaskStep* task = nullptr;
  Value input;                 // Parameters over the effective input, or that input itself
  std::int64_t attempt = 0;    // 0 for the first try of this visit
  std::optional<std::int64_t> timeout_seconds;  // TimeoutSeconds or its path's value
  // $$.Task.Token: set for a callback (.waitForTaskToken) or activity task.
  std::optional<std::string> task_token;
};

// How a Task attempt ended, or that it was submitted. `elapsed` is how long
// it (or its submission) took on the execution's clock: an attempt that took
// longer than its TimeoutSeconds fails with States.Timeout whatever it
// returned.
struct TaskOutcome {
  enum class Kind : std::uint8_t { kSucceeded, kFailed, kPending };
  Kind kind = Kind::kSucceeded;
  Value result;       // kSucceeded; kPending: the service's response
  TaskError failure;  // kFailed
  Duration elapsed{0};

  static TaskOutcome succeeded(Value result, Duration elapsed = Duration(0)) {
    return {Kind::kSucceeded, std::move(result), {}, elapsed};
  }
  static TaskOutcome failed(TaskError failure, Duration elapsed = Duration(0)) {
    return {Kind::kFailed, Value(), std::move(failure), elapsed};
  }
  // The attempt was submitted and is not finished: `response` is what the
  // service answered (TaskSubmitted's output). The execution then awaits a
  // callback for the attempt's token.
  static TaskOutcome pending(Value response, Duration elapsed = Duration(0)) {
    return {Kind::kPending, std::move(response), {}, elapsed};
  }
};

// The callback a pending attempt waits for. The views stay valid while the
// execution awaits it.
struct PendingTask {
  std::string_view state_name;
  // $$.Task.Token of a callback or activity task; for one that had none (a
  // .sync call) a token drawn for the callback alone.
  std::string_view task_token;
  std::string_view resource;  // the Task's Resource as written
};

// What a callback made of its token, as SendTask* answers.
enum class CallbackResult : std::uint8_t {
  kAccepted,
  kTaskDoesNotExist,  // no attempt of this execution awaits that token
  kTaskTimedOut,      // the token was valid but that attempt already timed out
};

class Execution {
 public:
  // Starts the run: ExecutionStarted is recorded at the clock's now. The
  // input must be within kMaxPayloadBytes; the caller checks that, as
  // StartExecution does before any execution exists.
  Execution(std::shared_ptr<const Program> program, Value input, ExecutionIdentity identity,
            Clock& clock, std::uint64_t seed);
  Execution(const Execution&) = delete;
  Execution& operator=(const Execution&) = delete;

  enum class Progress : std::uint8_t {
    kStepped,           // a state was entered (and maybe left); call step() again
    kTaskDue,           // task_call() waits for finish_task()
    kAwaitingCallback,  // pending_task() waits for a send_task_*() call
    kEnded,             // the execution is over
  };
  // One scheduler step. While a task is due it does nothing and says so.
  // While a callback is awaited it does nothing either, unless the clock has
  // reached callback_deadline() (the attempt times out) or the execution's
  // own deadline (the run ends TIMED_OUT); it never sleeps for a callback.
  Progress step();

  // The attempt the caller must run; null unless step() said kTaskDue.
  const TaskCall* task_call() const { return phase_ == TaskPhase::kDue ? &task_call_ : nullptr; }
  // Ends the attempt task_call() described, or reports it submitted
  // (TaskOutcome::pending). Ignored when no task is due.
  void finish_task(TaskOutcome outcome);

  // Null unless the execution awaits a callback.
  const PendingTask* pending_task() const {
    return phase_ == TaskPhase::kAwaiting ? &pending_ : nullptr;
  }
  // The instant at which the awaited attempt times out: the earlier of its
  // TimeoutSeconds counted from the attempt's start and its HeartbeatSeconds
  // counted from the start or the last heartbeat; nullopt when it has
  // neither, or when no callback is awaited.
  std::optional<Instant> callback_deadline() const;

  // Callbacks, as the SendTask* calls: each is kAccepted only with the token
  // of the attempt pending_task() shows (not before finish_task() reported it
  // pending), and only before callback_deadline(): one that comes later
  // times the attempt out there and then, as step() would have, and answers
  // kTaskTimedOut. Any other token changes nothing.
  //
  // SendTaskSuccess: the awaited attempt succeeded with `output`, which then
  // goes through the state as a finished attempt's result does.
  CallbackResult send_task_success(std::string_view token, Value output);
  // SendTaskFailure: the awaited attempt failed; Retry and Catch see the
  // error and cause as given (either may be absent).
  CallbackResult send_task_failure(std::string_view token, std::optional<std::string> error,
                                   std::optional<std::string> cause);
  // SendTaskHeartbeat: the awaited attempt's HeartbeatSeconds count again
  // from now.
  CallbackResult send_task_heartbeat(std::string_view token);

  // Ends a running execution as ABORTED, as StopExecution does.
  void stop(std::optional<std::string> error, std::optional<std::string> cause);

  ExecutionStatus status() const { return status_; }
  // The final output of a SUCCEEDED execution; null otherwise.
  const Value& output() const { return output_; }
  // The error and cause of a FAILED (or ABORTED) execution.
  const TaskError& failure() const { return failure_; }
  const History& history() const { return history_; }
  const ExecutionIdentity& identity() const { return identity_; }
  Instant start_time() const { return start_; }
  // States entered so far, a Task's retries not counted again.
  std::int64_t states_entered() const { return states_entered_; }

 private:
  const ProgramState& state() const { return program_->scopes[0].states[current_]; }
  // $$ for the current state; null for a state that never reads it.
  Value context_for(const ProgramState& s, bool with_retry_count);
  void enter_state();
  void run_pass(const ProgramState& s);
  void run_choice(const ProgramState& s);
  void run_wait(const ProgramState& s);
  void run_succeed(const ProgramState& s);
  void run_fail(const ProgramState& s);
  void run_task(const ProgramState& s);
  void schedule_attempt();
  void submitted(Value response);
  void attempt_succeeded(Value result);
  void attempt_failed(TaskError failure);
  // The awaited attempt's answer to a callback's token, after timing the
  // attempt (or the run) out if its deadline has passed.
  CallbackResult callback_for(std::string_view token);
  // Times the awaited attempt or the run out when the clock has reached its
  // deadline; false when it did.
  bool still_awaiting();
  void leave(SizedValue output, std::uint32_t next);
  void fail_execution(TaskError failure);
  void fail_with(const DataFlowFailure& failure);
  // A Task's data failing: a payload over the limit is the attempt's
  // failure, which Retry and Catch see; anything else ends the run.
  void task_data_failed(const DataFlowFailure& failure);
  // TimeoutSeconds or HeartbeatSeconds: the literal, or the positive integer
  // its path reads; a path that fails ends the run (check status_ after).
  std::optional<std::int64_t> resolve_seconds(const std::optional<std::int64_t>& literal,
                                              const std::optional<JsonPath>& path,
                                              std::string_view field, const Value& effective,
                                              const Value& context);
  // The role Credentials name, evaluated on entry like the timeouts; a
  // template that fails ends the run (check status_ after).
  std::optional<std::string> resolve_role_arn(const TaskStep& step, const Value& effective,
                                              const Value& context);
  // Points task_resource_ at what the events of this visit show of its
  // task, from its resolved limits and role.
  void set_task_resource(const TaskStep& step, std::optional<std::int64_t> timeout,
                         std::optional<std::int64_t> heartbeat,
                         std::optional<std::string> role_arn);
  // Sleeps until `wake`, or times the execution out at its deadline first;
  // false when it timed out.
  bool sleep_until(Instant wake);
  bool past_deadline(Instant at) const { return deadline_ && *deadline_ < at; }
  void time_out();
  StateSite site() const { return StateSite{state().name, entered_event_id_}; }

  std::shared_ptr<const Program> program_;
  ExecutionIdentity identity_;
  Clock& clock_;
  RandomSource random_;
  History history_;
  ExecutionContext context_;
  Instant start_;
  std::optional<Instant> deadline_;

  ExecutionStatus status_ = ExecutionStatus::kRunning;
  Value output_;
  TaskError failure_;
  std::int64_t states_entered_ = 0;

  // The state being run and its raw input.
  std::uint32_t current_ = 0;
  SizedValue input_;
  std::int64_t entered_event_id_ = 0;
  Instant entered_at_;
  // A Task's visit: its retries and the attempt in flight.
  RetryCounter retries_;
  // The visit's task as its events show it, set by its first attempt. Kept
  // past the visit: the next visit that would show the very same (a chain
  // of calls to one function, a polling loop) shares it rather than
  // building its own.
  std::shared_ptr<const TaskEventResource> task_resource_;
  bool task_resource_set_ = false;
  TaskCall task_call_;
  enum class TaskPhase : std::uint8_t { kNone, kDue, kAwaiting };
  TaskPhase phase_ = TaskPhase::kNone;
  std::optional<Instant> retry_at_;  // a retry waits until then
  Instant attempt_started_;
  std::optional<std::string> task_token_;  // the attempt's, while it is one that has one
  // While a callback is awaited: its token, what pending_task() shows and
  // when HeartbeatSeconds last started counting.
  std::string callback_token_;
  PendingTask pending_;
  Instant last_heartbeat_;
  // Tokens of attempts that timed out awaiting a callback, so that a late
  // callback is told so rather than that its task never existed.
  std::set<std::string, std::less<>> timed_out_tokens_;
};

}  // namespace vorn::aws
