#include "aws_run/execution.hpp"

#include <utility>

#include "aws_data/write.hpp"
#include "aws_run/choice_evaluation.hpp"
#include "aws_run/failure_route.hpp"
#include "aws_run/template_evaluation.hpp"
#include "aws_run/wait_evaluation.hpp"

namespace vorn::aws {

namespace {

EventType entered_event(StateKind kind) {
  switch (kind) {
    case StateKind::kTask: return EventType::kTaskStateEntered;
    case StateKind::kPass: return EventType::kPassStateEntered;
    case StateKind::kChoice: return EventType::kChoiceStateEntered;
    case StateKind::kWait: return EventType::kWaitStateEntered;
    case StateKind::kSucceed: return EventType::kSucceedStateEntered;
    case StateKind::kFail: return EventType::kFailStateEntered;
    case StateKind::kParallel: return EventType::kParallelStateEntered;
    case StateKind::kMap: return EventType::kMapStateEntered;
  }
  return EventType::kPassStateEntered;
}

// A Fail state is never left, so it has no exit event.
EventType exited_event(StateKind kind) {
  switch (kind) {
    case StateKind::kTask: return EventType::kTaskStateExited;
    case StateKind::kChoice: return EventType::kChoiceStateExited;
    case StateKind::kWait: return EventType::kWaitStateExited;
    case StateKind::kSucceed: return EventType::kSucceedStateExited;
    case StateKind::kParallel: return EventType::kParallelStateExited;
    case StateKind::kMap: return EventType::kMapStateExited;
    case StateKind::kPass:
    case StateKind::kFail: break;
  }
  return EventType::kPassStateExited;
}

// The events of one attempt, by what the resource names.
struct AttemptEvents {
  EventType scheduled, started, succeeded, failed, timed_out;
};

AttemptEvents attempt_events(ResourceKind kind) {
  switch (kind) {
    case ResourceKind::kLambdaFunction:
      return {EventType::kLambdaFunctionScheduled, EventType::kLambdaFunctionStarted,
              EventType::kLambdaFunctionSucceeded, EventType::kLambdaFunctionFailed,
              EventType::kLambdaFunctionTimedOut};
    case ResourceKind::kActivity:
      return {EventType::kActivityScheduled, EventType::kActivityStarted,
              EventType::kActivitySucceeded, EventType::kActivityFailed,
              EventType::kActivityTimedOut};
    case ResourceKind::kServiceIntegration:
    case ResourceKind::kOther: break;
  }
  return {EventType::kTaskScheduled, EventType::kTaskStarted, EventType::kTaskSucceeded,
          EventType::kTaskFailed, EventType::kTaskTimedOut};
}

TaskError as_task_error(const DataFlowFailure& failure, const StateSite& site) {
  return TaskError{std::string(failure.error_name()),
                   full_cause(failure, site.state_name, site.entered_event_id)};
}

}  // namespace

std::string_view execution_status_name(ExecutionStatus status) {
  switch (status) {
    case ExecutionStatus::kRunning: return "RUNNING";
    case ExecutionStatus::kSucceeded: return "SUCCEEDED";
    case ExecutionStatus::kFailed: return "FAILED";
    case ExecutionStatus::kTimedOut: return "TIMED_OUT";
    case ExecutionStatus::kAborted: return "ABORTED";
  }
  return "RUNNING";
}

Execution::Execution(std::shared_ptr<const Program> program, Value input,
                     ExecutionIdentity identity, Clock& clock, std::uint64_t seed)
    : program_(std::move(program)),
      identity_(std::move(identity)),
      clock_(clock),
      random_(seed),
      start_(clock.now()) {
  context_ = make_execution_context(ExecutionContextFields{
      identity_.arn, input, start_, identity_.name, identity_.role_arn, 0, identity_.machine_arn,
      identity_.machine_name});
  if (program_->timeout_seconds) deadline_ = add_seconds(start_, *program_->timeout_seconds);
  history_.append(make_execution_started(start_, input, SharedText(identity_.role_arn)));
  current_ = program_->scopes[0].start;
  input_ = measured(std::move(input));
}

Execution::Progress Execution::step() {
  if (status_ != ExecutionStatus::kRunning) return Progress::kEnded;
  if (phase_ != TaskPhase::kNone) {
    if (phase_ == TaskPhase::kDue) return Progress::kTaskDue;
    if (still_awaiting()) return Progress::kAwaitingCallback;
  } else if (retry_at_) {
    const Instant wake = *retry_at_;
    retry_at_.reset();
    if (sleep_until(wake)) schedule_attempt();
  } else if (past_deadline(clock_.now())) {
    time_out();
  } else {
    enter_state();
  }
  if (status_ != ExecutionStatus::kRunning) return Progress::kEnded;
  return phase_ == TaskPhase::kDue ? Progress::kTaskDue : Progress::kStepped;
}

Value Execution::context_for(const ProgramState& s, bool with_retry_count) {
  if (!s.reads_context) return Value();
  StateContextFields fields;
  fields.state_name = s.name;
  fields.entered_time = entered_at_;
  if (with_retry_count) fields.retry_count = retries_.retry_count();
  fields.task_token = task_token_;
  return make_context_object(context_, fields);
}

void Execution::enter_state() {
  const ProgramState& s = state();
  ++states_entered_;
  entered_at_ = clock_.now();
  entered_event_id_ = history_.append(
      make_state_event(entered_event(s.kind), entered_at_, SharedText(s.name), input_.value));
  switch (s.kind) {
    case StateKind::kTask: return run_task(s);
    case StateKind::kPass: return run_pass(s);
    case StateKind::kChoice: return run_choice(s);
    case StateKind::kWait: return run_wait(s);
    case StateKind::kSucceed: return run_succeed(s);
    case StateKind::kFail: return run_fail(s);
    case StateKind::kParallel:
    case StateKind::kMap:
      // lower_program refuses both, so a Program never holds one.
      return fail_execution(runtime_error(site(), "this state type cannot run yet"));
  }
}

void Execution::run_pass(const ProgramState& s) {
  const Value context = context_for(s, false);
  auto result = pass_result(s.flow, input_, context, random_);
  if (!result.ok()) return fail_with(result.error());
  auto output = state_output(s.flow, input_, std::move(result).value(), context, random_);
  if (!output.ok()) return fail_with(output.error());
  leave(std::move(output).value(), s.next);
}

void Execution::run_choice(const ProgramState& s) {
  const Value context = context_for(s, false);
  auto effective = effective_input(s.flow, input_, context);
  if (!effective.ok()) return fail_with(effective.error());
  const auto& choice = std::get<ChoiceStep>(s.step);
  const auto decision = evaluate_choices(choice.rules, effective->value, context);
  if (!decision.ok()) {
    return fail_execution(TaskError{decision.error().error,
                                    cause_prefix(site()) + decision.error().cause});
  }
  const std::uint32_t next = decision->choice == ChoiceDecision::kDefault
                                 ? choice.default_target
                                 : choice.targets[decision->choice];
  auto output = pass_through_output(s.flow, *effective, context);
  if (!output.ok()) return fail_with(output.error());
  leave(std::move(output).value(), next);
}

void Execution::run_wait(const ProgramState& s) {
  const Value context = context_for(s, false);
  auto effective = effective_input(s.flow, input_, context);
  if (!effective.ok()) return fail_with(effective.error());
  const auto wake =
      wake_instant(std::get<WaitStep>(s.step).timing, effective->value, clock_.now());
  if (!wake.ok()) return fail_execution(runtime_error(site(), wake.error()));
  if (!sleep_until(*wake)) return;
  auto output = pass_through_output(s.flow, *effective, context);
  if (!output.ok()) return fail_with(output.error());
  leave(std::move(output).value(), s.next);
}

void Execution::run_succeed(const ProgramState& s) {
  const Value context = context_for(s, false);
  auto effective = effective_input(s.flow, input_, context);
  if (!effective.ok()) return fail_with(effective.error());
  auto output = pass_through_output(s.flow, *effective, context);
  if (!output.ok()) return fail_with(output.error());
  leave(std::move(output).value(), kNoState);
}

void Execution::run_fail(const ProgramState& s) {
  auto failure =
      fail_state_failure(std::get<FailStep>(s.step), input_.value, context_for(s, false), random_);
  if (!failure.ok()) return fail_with(failure.error());
  fail_execution(std::move(failure).value());
}

void Execution::run_task(const ProgramState&) {
  retries_ = RetryCounter();
  task_resource_set_ = false;
  schedule_attempt();
}

std::optional<std::int64_t> Execution::resolve_seconds(const std::optional<std::int64_t>& literal,
                                                       const std::optional<JsonPath>& path,
                                                       std::string_view field,
                                                       const Value& effective,
                                                       const Value& context) {
  if (!path) return literal;
  auto value = read_path_field(*path, effective, context);
  if (!value.ok()) {
    fail_with(value.error());
    return std::nullopt;
  }
  if (!value->is_number() || !value->is_integral() || value->number_value() < 1 ||
      value->number_value() > 99'999'999) {
    fail_execution(runtime_error(
        site(), "The " + std::string(field) + " parameter does not reference a positive integer: " +
                    std::string(path->text()) + " == " + write_json(*value)));
    return std::nullopt;
  }
  return static_cast<std::int64_t>(value->number_value());
}

std::optional<std::string> Execution::resolve_role_arn(const TaskStep& step, const Value& effective,
                                                       const Value& context) {
  if (!step.credentials) return std::nullopt;
  auto credentials = evaluate_template(*step.credentials, effective, context, random_);
  if (!credentials.ok()) {
    fail_with(credentials.error());
    return std::nullopt;
  }
  const Value* role = credentials->find("RoleArn");
  if (role == nullptr || !role->is_string()) {
    fail_execution(runtime_error(site(), "The RoleArn of Credentials does not reference a string: " +
                                             write_json(role ? *role : Value())));
    return std::nullopt;
  }
  return std::string(role->as_string());
}

void Execution::set_task_resource(const TaskStep& step, std::optional<std::int64_t> timeout,
                                  std::optional<std::int64_t> heartbeat,
                                  std::optional<std::string> role_arn) {
  // A service integration shows its service and action; anything else its
  // Resource text as written.
  const bool service = step.target.kind == ResourceKind::kServiceIntegration;
  const std::string_view resource_type = service ? step.target.resource_type : std::string_view();
  const std::string_view resource = service ? step.target.action : step.resource;
  task_resource_set_ = true;
  const TaskEventResource* last = task_resource_.get();
  if (last != nullptr && last->resource_type == resource_type && last->resource == resource &&
      last->region == identity_.region && last->timeout_seconds == timeout &&
      last->heartbeat_seconds == heartbeat && last->credentials_role_arn == role_arn) {
    return;
  }
  task_resource_ = std::make_shared<const TaskEventResource>(
      TaskEventResource{std::string(resource_type), std::string(resource), identity_.region,
                        timeout, heartbeat, std::move(role_arn)});
}

void Execution::schedule_attempt() {
  const ProgramState& s = state();
  const auto& step = std::get<TaskStep>(s.step);
  // A callback's token is new for each attempt, as the attempt is a new task.
  const bool has_token = step.target.kind == ResourceKind::kActivity ||
                         step.target.pattern == IntegrationPattern::kWaitForTaskToken;
  task_token_.reset();
  if (has_token) task_token_ = random_uuid(random_);
  // Every attempt runs the state again from its raw input; only
  // $$.State.RetryCount (and the token) differ.
  const Value context = context_for(s, true);
  auto effective = effective_input(s.flow, input_, context);
  if (!effective.ok()) return task_data_failed(effective.error());
  auto handler_input = task_input(s.flow, *effective, context, random_);
  if (!handler_input.ok()) return task_data_failed(handler_input.error());
  if (!task_resource_set_) {
    const auto timeout = resolve_seconds(step.timeout_seconds, step.timeout_seconds_path,
                                         "TimeoutSecondsPath", effective->value, context);
    if (status_ != ExecutionStatus::kRunning) return;
    const auto heartbeat = resolve_seconds(step.heartbeat_seconds, step.heartbeat_seconds_path,
                                           "HeartbeatSecondsPath", effective->value, context);
    if (status_ != ExecutionStatus::kRunning) return;
    auto role_arn = resolve_role_arn(step, effective->value, context);
    if (status_ != ExecutionStatus::kRunning) return;
    set_task_resource(step, timeout, heartbeat, std::move(role_arn));
  }
  const AttemptEvents events = attempt_events(step.target.kind);
  attempt_started_ = clock_.now();
  history_.append(make_payload_event(events.scheduled, attempt_started_, handler_input->value,
                                     task_resource_));
  history_.append(make_task_event(events.started, attempt_started_, task_resource_));
  task_call_ = TaskCall{s.name, &step, std::move(handler_input).value().value,
                        retries_.retry_count(), task_resource_->timeout_seconds, task_token_};
  phase_ = TaskPhase::kDue;
}

void Execution::finish_task(TaskOutcome outcome) {
  if (phase_ != TaskPhase::kDue) return;
  phase_ = TaskPhase::kNone;
  const auto& step = std::get<TaskStep>(state().step);
  const AttemptEvents events = attempt_events(step.target.kind);
  const auto timeout = task_call_.timeout_seconds;
  const bool timed_out = timeout && outcome.elapsed > std::chrono::seconds(*timeout);
  // An attempt that overran is judged at its timeout, not when it returned.
  const Instant end = timed_out ? add_seconds(attempt_started_, *timeout)
                                : add_duration(attempt_started_, outcome.elapsed);
  if (clock_.now() < end && !sleep_until(end)) return;
  if (timed_out) {
    history_.append(
        make_failure_event(events.timed_out, clock_.now(), task_timed_out(), task_resource_));
    return attempt_failed(task_timed_out());
  }
  switch (outcome.kind) {
    case TaskOutcome::Kind::kSucceeded:
      return attempt_succeeded(std::move(outcome.result));
    case TaskOutcome::Kind::kPending:
      return submitted(std::move(outcome.result));
    case TaskOutcome::Kind::kFailed:
      history_.append(
          make_failure_event(events.failed, clock_.now(), outcome.failure, task_resource_));
      return attempt_failed(std::move(outcome.failure));
  }
}

void Execution::submitted(Value response) {
  const ProgramState& s = state();
  const auto& step = std::get<TaskStep>(s.step);
  const AttemptEvents events = attempt_events(step.target.kind);
  // Only the Task* events record a submission: an activity was handed to
  // its worker when it started, and Lambda has no event for it.
  if (events.started == EventType::kTaskStarted) {
    // The response is recorded, so it is held to the payload limit as a
    // result is.
    auto checked = check_task_result(s.flow, std::move(response));
    if (!checked.ok()) {
      const TaskError failure = as_task_error(checked.error(), site());
      history_.append(make_failure_event(events.failed, clock_.now(), failure, task_resource_));
      return attempt_failed(failure);
    }
    history_.append(make_payload_event(EventType::kTaskSubmitted, clock_.now(),
                                       std::move(checked).value().value, task_resource_));
  }
  // A .sync call has no $$.Task.Token, yet its caller needs something to
  // finish it by; that token is drawn here and never shown to the state.
  callback_token_ = task_token_ ? *task_token_ : random_uuid(random_);
  pending_ = PendingTask{s.name, callback_token_, step.resource};
  last_heartbeat_ = attempt_started_;
  phase_ = TaskPhase::kAwaiting;
}

void Execution::attempt_succeeded(Value result) {
  const ProgramState& s = state();
  const auto& step = std::get<TaskStep>(s.step);
  const AttemptEvents events = attempt_events(step.target.kind);
  auto checked = check_task_result(s.flow, std::move(result));
  if (!checked.ok()) {
    const TaskError failure = as_task_error(checked.error(), site());
    history_.append(make_failure_event(events.failed, clock_.now(), failure, task_resource_));
    return attempt_failed(failure);
  }
  history_.append(make_payload_event(
      events.succeeded, clock_.now(), checked->value,
      step.target.kind == ResourceKind::kLambdaFunction ? nullptr : task_resource_));
  const Value context = context_for(s, true);
  auto output = state_output(s.flow, input_, std::move(checked).value(), context, random_);
  if (!output.ok()) return task_data_failed(output.error());
  leave(std::move(output).value(), s.next);
}

std::optional<Instant> Execution::callback_deadline() const {
  if (phase_ != TaskPhase::kAwaiting) return std::nullopt;
  std::optional<Instant> due;
  if (task_resource_->timeout_seconds) {
    due = add_seconds(attempt_started_, *task_resource_->timeout_seconds);
  }
  if (task_resource_->heartbeat_seconds) {
    const Instant beat = add_seconds(last_heartbeat_, *task_resource_->heartbeat_seconds);
    if (!due || beat < *due) due = beat;
  }
  return due;
}

bool Execution::still_awaiting() {
  const Instant now = clock_.now();
  const std::optional<Instant> due = callback_deadline();
  // When both deadlines have passed the earlier one ends things; the run
  // still goes on at its own deadline's instant, so at a tie the attempt's
  // timeout comes first and its catcher may yet see it.
  if (due && *due <= now && !past_deadline(*due)) {
    phase_ = TaskPhase::kNone;
    timed_out_tokens_.insert(std::move(callback_token_));
    const auto& step = std::get<TaskStep>(state().step);
    history_.append(make_failure_event(attempt_events(step.target.kind).timed_out, now,
                                       task_timed_out(), task_resource_));
    attempt_failed(task_timed_out());
    return false;
  }
  if (past_deadline(now)) {
    time_out();
    return false;
  }
  return true;
}

CallbackResult Execution::callback_for(std::string_view token) {
  if (phase_ == TaskPhase::kAwaiting && token == callback_token_ && still_awaiting()) {
    return CallbackResult::kAccepted;
  }
  return timed_out_tokens_.contains(token) ? CallbackResult::kTaskTimedOut
                                           : CallbackResult::kTaskDoesNotExist;
}

CallbackResult Execution::send_task_success(std::string_view token, Value output) {
  const CallbackResult result = callback_for(token);
  if (result != CallbackResult::kAccepted) return result;
  phase_ = TaskPhase::kNone;
  attempt_succeeded(std::move(output));
  return result;
}

CallbackResult Execution::send_task_failure(std::string_view token,
                                            std::optional<std::string> error,
                                            std::optional<std::string> cause) {
  const CallbackResult result = callback_for(token);
  if (result != CallbackResult::kAccepted) return result;
  phase_ = TaskPhase::kNone;
  TaskError failure{std::move(error), std::move(cause)};
  const auto& step = std::get<TaskStep>(state().step);
  history_.append(make_failure_event(attempt_events(step.target.kind).failed, clock_.now(), failure,
                                     task_resource_));
  attempt_failed(std::move(failure));
  return result;
}

CallbackResult Execution::send_task_heartbeat(std::string_view token) {
  const CallbackResult result = callback_for(token);
  if (result == CallbackResult::kAccepted) last_heartbeat_ = clock_.now();
  return result;
}

void Execution::attempt_failed(TaskError failure) {
  const auto& step = std::get<TaskStep>(state().step);
  FailureRoute route = route_failure(step.retry, step.catch_rules, retries_, random_,
                                     input_.value, failure, site());
  switch (route.kind) {
    case FailureRoute::Kind::kRetry:
      retry_at_ = add_duration(clock_.now(), route.retry.delay);
      return;
    case FailureRoute::Kind::kCatch: {
      // The error output placed into a raw input near the limit can pass it;
      // no state may hand on more than the limit, so the run ends there.
      auto output = checked_payload(std::move(route.caught->output), state().name);
      if (!output.ok()) return fail_with(output.error());
      return leave(std::move(output).value(), step.catch_targets[route.caught->rule_index]);
    }
    case FailureRoute::Kind::kFail:
      return fail_execution(std::move(route.failure));
  }
}

void Execution::task_data_failed(const DataFlowFailure& failure) {
  if (!failure.catchable()) return fail_with(failure);
  attempt_failed(as_task_error(failure, site()));
}

void Execution::leave(SizedValue output, std::uint32_t next) {
  const ProgramState& s = state();
  task_token_.reset();
  const Instant now = clock_.now();
  history_.append(make_state_event(exited_event(s.kind), now, SharedText(s.name), output.value));
  if (next == kNoState) {
    history_.append(make_payload_event(EventType::kExecutionSucceeded, now, output.value));
    status_ = ExecutionStatus::kSucceeded;
    output_ = std::move(output.value);
    return;
  }
  current_ = next;
  input_ = std::move(output);
}

void Execution::fail_execution(TaskError failure) {
  history_.append(make_failure_event(EventType::kExecutionFailed, clock_.now(), failure));
  status_ = ExecutionStatus::kFailed;
  failure_ = std::move(failure);
}

void Execution::fail_with(const DataFlowFailure& failure) {
  fail_execution(as_task_error(failure, site()));
}

bool Execution::sleep_until(Instant wake) {
  if (past_deadline(wake)) {
    clock_.sleep_until(*deadline_);
    time_out();
    return false;
  }
  clock_.sleep_until(wake);
  return true;
}

void Execution::time_out() {
  phase_ = TaskPhase::kNone;
  history_.append(make_event(EventType::kExecutionTimedOut, clock_.now()));
  status_ = ExecutionStatus::kTimedOut;
}

void Execution::stop(std::optional<std::string> error, std::optional<std::string> cause) {
  if (status_ != ExecutionStatus::kRunning) return;
  phase_ = TaskPhase::kNone;  // an awaited attempt is dropped with the run
  failure_ = TaskError{std::move(error), std::move(cause)};
  history_.append(make_failure_event(EventType::kExecutionAborted, clock_.now(), failure_));
  status_ = ExecutionStatus::kAborted;
}

}  // namespace vorn::aws
