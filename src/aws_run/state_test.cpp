#include "aws_run/state_test.hpp"

#include <chrono>
#include <utility>

#include "aws_data/random_source.hpp"
#include "aws_data/write.hpp"
#include "aws_run/choice_evaluation.hpp"
#include "aws_run/context_object.hpp"
#include "aws_run/data_flow.hpp"
#include "aws_run/failure_route.hpp"
#include "aws_run/wait_evaluation.hpp"

namespace vorn::aws {

namespace {

// A one-state run records ExecutionStarted as event #1 and enters the state
// as #2; causes quote that id, so they read as the same run's would.
constexpr std::int64_t kEnteredEventId = 2;

// The largest TimeoutSeconds and HeartbeatSeconds AWS's schema allows.
constexpr double kMaxTaskSeconds = 99'999'999;

class StateTest {
 public:
  StateTest(const Program& program, const ProgramState& state, const StateTestSetup& setup)
      : scope_(program.scopes[0]), state_(state), setup_(setup), random_(setup.seed) {}

  std::optional<StateTestResult> run(Value input, const TaskAttemptRunner& run_attempt) {
    // TestState shows no RedriveCount: its run is no execution that could
    // be redriven.
    execution_ = make_execution_context(ExecutionContextFields{
        setup_.identity.arn, input, setup_.now, setup_.identity.name, setup_.identity.role_arn,
        std::nullopt, setup_.identity.machine_arn, setup_.identity.machine_name});
    out_.inspection.input = input;
    auto checked = checked_payload(std::move(input), state_.flow.limit_subject);
    if (!checked.ok()) return fail_with(checked.error());
    input_ = std::move(checked).value();
    switch (state_.kind) {
      case StateKind::kTask:
        return run_task(run_attempt);
      case StateKind::kPass:
        return run_pass();
      case StateKind::kChoice:
        return run_choice();
      case StateKind::kWait:
        return run_wait();
      case StateKind::kSucceed:
        return run_succeed();
      case StateKind::kFail:
        return run_fail();
      case StateKind::kParallel:
      case StateKind::kMap:
        // lower_program refuses both, so a Program never holds one.
        return fail(runtime_error(site(), "this state type cannot run yet"));
    }
    return fail(runtime_error(site(), "this state type cannot run yet"));
  }

 private:
  StateSite site() const { return StateSite{state_.name, kEnteredEventId}; }

  Value context(std::optional<std::int64_t> retry_count,
                const std::optional<std::string>& task_token = std::nullopt) {
    if (!state_.reads_context) return Value();
    StateContextFields fields;
    fields.state_name = state_.name;
    fields.entered_time = setup_.now;
    fields.retry_count = retry_count;
    fields.task_token = task_token;
    return make_context_object(execution_, fields);
  }

  std::optional<std::string> name_of(std::uint32_t index) const {
    if (index == kNoState) return std::nullopt;
    return scope_.states[index].name;
  }

  StateTestResult succeed(SizedValue output, std::uint32_t next) {
    out_.status = StateTestStatus::kSucceeded;
    out_.output = std::move(output.value);
    out_.next_state = name_of(next);
    return std::move(out_);
  }

  StateTestResult fail(TaskError failure) {
    out_.status = StateTestStatus::kFailed;
    out_.failure = std::move(failure);
    return std::move(out_);
  }

  StateTestResult fail_with(const DataFlowFailure& failure) {
    return fail(TaskError{std::string(failure.error_name()),
                          full_cause(failure, state_.name, kEnteredEventId)});
  }

  // ResultSelector, ResultPath and OutputPath over the result, each step's
  // payload kept for the inspection.
  Result<SizedValue, DataFlowFailure> output_of(SizedValue result, const Value& context) {
    out_.inspection.result = result.value;
    VORN_TRY_ASSIGN(SizedValue selected,
                    selected_result(state_.flow, std::move(result), context, random_));
    out_.inspection.after_result_selector = selected.value;
    VORN_TRY_ASSIGN(SizedValue placed,
                    apply_result_path(state_.flow.result_path, input_, std::move(selected)));
    out_.inspection.after_result_path = placed.value;
    return pass_through_output(state_.flow, placed, context);
  }

  // E, kept for the inspection.
  Result<SizedValue, DataFlowFailure> effective(const Value& context) {
    auto selected = effective_input(state_.flow, input_, context);
    if (selected.ok()) out_.inspection.after_input_path = selected->value;
    return selected;
  }

  StateTestResult run_pass() {
    const StateDataFlow& flow = state_.flow;
    const Value context = this->context(std::nullopt);
    SizedValue result;
    if (flow.result) {
      result = *flow.result;
    } else {
      auto selected = effective(context);
      if (!selected.ok()) return fail_with(selected.error());
      auto parameters = pass_parameters(flow, *selected, context, random_);
      if (!parameters.ok()) return fail_with(parameters.error());
      out_.inspection.after_parameters = parameters->value;
      result = std::move(parameters).value();
    }
    auto output = output_of(std::move(result), context);
    if (!output.ok()) return fail_with(output.error());
    return succeed(std::move(output).value(), state_.next);
  }

  StateTestResult run_choice() {
    const Value context = this->context(std::nullopt);
    auto selected = effective(context);
    if (!selected.ok()) return fail_with(selected.error());
    const auto& choice = std::get<ChoiceStep>(state_.step);
    const auto decision = evaluate_choices(choice.rules, selected->value, context);
    if (!decision.ok()) {
      return fail(TaskError{decision.error().error, cause_prefix(site()) + decision.error().cause});
    }
    const std::uint32_t next = decision->choice == ChoiceDecision::kDefault
                                   ? choice.default_target
                                   : choice.targets[decision->choice];
    auto output = pass_through_output(state_.flow, *selected, context);
    if (!output.ok()) return fail_with(output.error());
    return succeed(std::move(output).value(), next);
  }

  // TestState does not wait, but a timing AWS would refuse still fails.
  StateTestResult run_wait() {
    const Value context = this->context(std::nullopt);
    auto selected = effective(context);
    if (!selected.ok()) return fail_with(selected.error());
    const auto wake =
        wake_instant(std::get<WaitStep>(state_.step).timing, selected->value, setup_.now);
    if (!wake.ok()) return fail(runtime_error(site(), wake.error()));
    auto output = pass_through_output(state_.flow, *selected, context);
    if (!output.ok()) return fail_with(output.error());
    return succeed(std::move(output).value(), state_.next);
  }

  StateTestResult run_succeed() {
    const Value context = this->context(std::nullopt);
    auto selected = effective(context);
    if (!selected.ok()) return fail_with(selected.error());
    auto output = pass_through_output(state_.flow, *selected, context);
    if (!output.ok()) return fail_with(output.error());
    return succeed(std::move(output).value(), kNoState);
  }

  StateTestResult run_fail() {
    auto failure = fail_state_failure(std::get<FailStep>(state_.step), input_.value,
                                      this->context(std::nullopt), random_);
    if (!failure.ok()) return fail_with(failure.error());
    return fail(std::move(failure).value());
  }

  // TimeoutSecondsPath or HeartbeatSecondsPath: a whole number of seconds
  // from 1 to AWS's maximum, read from E.
  Result<std::int64_t, TaskError> task_seconds(const JsonPath& path, std::string_view field,
                                               const Value& effective, const Value& context) {
    auto value = read_path_field(path, effective, context);
    if (!value.ok()) {
      return vorn::fail(TaskError{std::string(value.error().error_name()),
                                  full_cause(value.error(), state_.name, kEnteredEventId)});
    }
    if (!value->is_number() || !value->is_integral() || value->number_value() < 1 ||
        value->number_value() > kMaxTaskSeconds) {
      return vorn::fail(runtime_error(site(), "The " + std::string(field) +
                                                  " parameter does not reference a positive "
                                                  "integer: " +
                                                  std::string(path.text()) +
                                                  " == " + write_json(*value)));
    }
    return static_cast<std::int64_t>(value->number_value());
  }

  std::optional<StateTestResult> run_task(const TaskAttemptRunner& run_attempt) {
    const auto& step = std::get<TaskStep>(state_.step);
    std::optional<std::string> token;
    if (step.target.kind == ResourceKind::kActivity ||
        step.target.pattern == IntegrationPattern::kWaitForTaskToken) {
      token = random_uuid(random_);
    }
    const Value context = this->context(0, token);
    auto selected = effective(context);
    if (!selected.ok()) return task_data_failed(step, selected.error());
    auto handler_input = task_input(state_.flow, *selected, context, random_);
    if (!handler_input.ok()) return task_data_failed(step, handler_input.error());
    out_.inspection.after_parameters = handler_input->value;

    std::optional<std::int64_t> timeout = step.timeout_seconds;
    if (step.timeout_seconds_path) {
      auto seconds =
          task_seconds(*step.timeout_seconds_path, "TimeoutSecondsPath", selected->value, context);
      if (!seconds.ok()) return fail(std::move(seconds).error());
      timeout = *seconds;
    }
    // A heartbeat never expires here, but a path AWS cannot read fails the
    // state before the task is scheduled.
    if (step.heartbeat_seconds_path) {
      auto seconds = task_seconds(*step.heartbeat_seconds_path, "HeartbeatSecondsPath",
                                  selected->value, context);
      if (!seconds.ok()) return fail(std::move(seconds).error());
    }

    TaskCall call;
    call.state_name = state_.name;
    call.task = &step;
    call.input = std::move(handler_input).value().value;
    call.attempt = 0;
    call.timeout_seconds = timeout;
    call.task_token = token;
    std::optional<TaskOutcome> outcome = run_attempt(call);
    if (!outcome) return std::nullopt;

    if (timeout && outcome->elapsed > std::chrono::seconds(*timeout)) {
      return attempt_failed(step, task_timed_out());
    }
    switch (outcome->kind) {
      case TaskOutcome::Kind::kFailed:
        return attempt_failed(step, std::move(outcome->failure));
      case TaskOutcome::Kind::kSucceeded:
        break;
      case TaskOutcome::Kind::kPending:
        // One state alone awaits no callback; the caller must answer the
        // attempt (run_attempt's contract) and so never gets here.
        return std::nullopt;
    }
    auto result = check_task_result(state_.flow, std::move(outcome->result));
    if (!result.ok()) return attempt_failed(step, as_failure(result.error()));
    auto output = output_of(std::move(result).value(), context);
    if (!output.ok()) return task_data_failed(step, output.error());
    return succeed(std::move(output).value(), state_.next);
  }

  TaskError as_failure(const DataFlowFailure& failure) const {
    return TaskError{std::string(failure.error_name()),
                     full_cause(failure, state_.name, kEnteredEventId)};
  }

  // A payload over the limit is the attempt's failure, which Retry and
  // Catch see; anything else fails the state.
  StateTestResult task_data_failed(const TaskStep& step, const DataFlowFailure& failure) {
    if (!failure.catchable()) return fail_with(failure);
    return attempt_failed(step, as_failure(failure));
  }

  StateTestResult attempt_failed(const TaskStep& step, TaskError failure) {
    RetryCounter visit;
    FailureRoute route =
        route_failure(step.retry, step.catch_rules, visit, random_, input_.value, failure, site());
    switch (route.kind) {
      case FailureRoute::Kind::kRetry:
        out_.status = StateTestStatus::kRetriable;
        out_.failure = std::move(failure);
        out_.inspection.retry_index = route.retry.rule_index;
        out_.inspection.retry_backoff = route.retry.delay;
        return std::move(out_);
      case FailureRoute::Kind::kCatch: {
        // An error output placed into an input near the limit can pass it;
        // it is then the state's output no longer but its failure.
        auto output = checked_payload(std::move(route.caught->output), state_.name);
        if (!output.ok()) return fail_with(output.error());
        out_.status = StateTestStatus::kCaughtError;
        out_.output = std::move(output).value().value;
        out_.failure = std::move(failure);
        out_.next_state = name_of(step.catch_targets[route.caught->rule_index]);
        out_.inspection.catch_index = route.caught->rule_index;
        return std::move(out_);
      }
      case FailureRoute::Kind::kFail:
        break;
    }
    return fail(std::move(route.failure));
  }

  const ProgramScope& scope_;
  const ProgramState& state_;
  const StateTestSetup& setup_;
  RandomSource random_;
  ExecutionContext execution_;
  SizedValue input_;
  StateTestResult out_;
};

}  // namespace

std::string_view state_test_status_name(StateTestStatus status) {
  switch (status) {
    case StateTestStatus::kSucceeded:
      return "SUCCEEDED";
    case StateTestStatus::kFailed:
      return "FAILED";
    case StateTestStatus::kRetriable:
      return "RETRIABLE";
    case StateTestStatus::kCaughtError:
      return "CAUGHT_ERROR";
  }
  return "FAILED";
}

std::optional<std::uint32_t> find_top_level_state(const Program& program, std::string_view name) {
  if (program.scopes.empty()) return std::nullopt;
  const auto& states = program.scopes[0].states;
  for (std::uint32_t i = 0; i < states.size(); ++i) {
    if (states[i].name == name) return i;
  }
  return std::nullopt;
}

std::optional<StateTestResult> run_state_test(const Program& program, std::uint32_t index,
                                              Value input, const StateTestSetup& setup,
                                              const TaskAttemptRunner& run_attempt) {
  StateTest test(program, program.scopes[0].states[index], setup);
  return test.run(std::move(input), run_attempt);
}

}  // namespace vorn::aws
