#include "aws_build/lower_program.hpp"

#include <string>
#include <unordered_map>

#include "aws_build/lower_choice.hpp"
#include "aws_build/lower_data_flow.hpp"
#include "aws_build/lower_retry_catch.hpp"
#include "aws_build/lower_wait.hpp"
#include "aws_build/messages.hpp"
#include "aws_run/template_evaluation.hpp"

namespace vorn::aws {

namespace {

StateKind kind_of(StateType type) {
  switch (type) {
    case StateType::kTask: return StateKind::kTask;
    case StateType::kPass: return StateKind::kPass;
    case StateType::kChoice: return StateKind::kChoice;
    case StateType::kWait: return StateKind::kWait;
    case StateType::kSucceed: return StateKind::kSucceed;
    case StateType::kFail: return StateKind::kFail;
    case StateType::kParallel: return StateKind::kParallel;
    case StateType::kMap: return StateKind::kMap;
  }
  return StateKind::kPass;
}

bool has_assign(const Value& object) { return object.find("Assign") != nullptr; }

bool reads_context(const std::optional<JsonPath>& path) { return path && path->is_context(); }

// Whatever of a state's own step reads "$$" (its data flow says so itself).
bool step_reads_context(const ProgramState& state) {
  if (const auto* task = std::get_if<TaskStep>(&state.step)) {
    return reads_context(task->timeout_seconds_path) ||
           reads_context(task->heartbeat_seconds_path) ||
           (task->credentials && template_reads_context(*task->credentials));
  }
  if (const auto* choice = std::get_if<ChoiceStep>(&state.step)) {
    for (const ChoiceTest& test : choice->rules.tests()) {
      const auto* operand = std::get_if<JsonPath>(&test.operand);
      if (test.variable.is_context() || (operand != nullptr && operand->is_context())) return true;
    }
    return false;
  }
  if (const auto* wait = std::get_if<WaitStep>(&state.step)) {
    if (const auto* p = std::get_if<WaitSecondsPath>(&wait->timing)) return p->path.is_context();
    if (const auto* p = std::get_if<WaitTimestampPath>(&wait->timing)) return p->path.is_context();
    return false;
  }
  if (const auto* fail_step = std::get_if<FailStep>(&state.step)) {
    return (fail_step->error_path && fail_field_reads_context(*fail_step->error_path)) ||
           (fail_step->cause_path && fail_field_reads_context(*fail_step->cause_path));
  }
  return false;
}

// Lowers the states of one scope; every problem of every state is reported.
class ScopeLowering {
 public:
  ScopeLowering(const Scope& scope, std::vector<Diagnostic>& problems)
      : scope_(scope), problems_(problems) {
    for (std::uint32_t i = 0; i < scope.states.size(); ++i) index_.emplace(scope.states[i].name, i);
  }

  ProgramScope lower() {
    ProgramScope out;
    out.start = target(scope_.start_at, "StartAt", "/");
    out.states.reserve(scope_.states.size());
    for (const State& state : scope_.states) out.states.push_back(lower_state(state));
    return out;
  }

 private:
  ProgramState lower_state(const State& state) {
    at_ = "/States/" + state.name;
    ProgramState out;
    out.name = state.name;
    out.kind = kind_of(state.type);
    if (state.query_language == QueryLanguage::kJsonata) {
      unsupported("JSONata");
      return out;
    }
    if (has_assign(state.source)) unsupported("Variables (Assign)");
    if (const Value* catchers = state.source.find("Catch")) {
      for (const Value& catcher : catchers->items()) {
        if (has_assign(catcher)) unsupported("Variables (Assign)");
      }
    }
    if (state.type == StateType::kParallel) {
      unsupported("Parallel state");
      return out;
    }
    if (state.type == StateType::kMap) {
      unsupported("Map state");
      return out;
    }
    if (auto flow = lower_data_flow(state); flow.ok()) {
      out.flow = std::move(flow).value();
    } else {
      problem(flow.error());
    }
    std::visit([&](const auto& fields) { lower_fields(fields, out); }, state.fields);
    out.reads_context = out.flow.reads_context || step_reads_context(out);
    return out;
  }

  void lower_fields(const TaskState& task, ProgramState& out) {
    out.next = next_of(task.transition);
    TaskStep step;
    step.resource = task.resource;
    step.target = classify_resource(task.resource);
    step.timeout_seconds = task.timeout_seconds;
    step.timeout_seconds_path = path(task.timeout_seconds_path, "TimeoutSecondsPath");
    step.heartbeat_seconds = task.heartbeat_seconds;
    step.heartbeat_seconds_path = path(task.heartbeat_seconds_path, "HeartbeatSecondsPath");
    if (auto credentials = lower_template(task.credentials, "Credentials", out.name);
        credentials.ok()) {
      step.credentials = std::move(credentials).value();
    } else {
      problem(credentials.error());
    }
    step.retry = lower_retry(task.retry);
    if (auto rules = lower_catch(task.catch_); rules.ok()) {
      step.catch_rules = std::move(rules).value();
    } else {
      invalid(rules.error());
    }
    for (const Catcher& catcher : task.catch_) {
      step.catch_targets.push_back(target(catcher.next, "Next", at_ + "/Catch"));
    }
    out.step = std::move(step);
  }

  void lower_fields(const PassState& pass, ProgramState& out) {
    out.next = next_of(pass.transition);
  }

  void lower_fields(const ChoiceState& choice, ProgramState& out) {
    auto rules = lower_choice_state(choice);
    if (!rules.ok()) {
      invalid(rules.error());
      return;
    }
    ChoiceStep step;
    step.rules = std::move(rules).value();
    for (const ChoiceRule& rule : choice.choices) {
      step.targets.push_back(target(rule.next, "Next", at_ + "/Choices"));
    }
    if (choice.default_target) step.default_target = target(*choice.default_target, "Default", at_);
    out.step = std::move(step);
  }

  void lower_fields(const WaitState& wait, ProgramState& out) {
    out.next = next_of(wait.transition);
    if (auto timing = lower_wait(wait); timing.ok()) {
      out.step = WaitStep{std::move(timing).value()};
    } else {
      invalid(timing.error());
    }
  }

  void lower_fields(const SucceedState&, ProgramState&) {}

  void lower_fields(const FailState& fail_state, ProgramState& out) {
    FailStep step;
    step.error = fail_state.error;
    step.cause = fail_state.cause;
    auto error_path = lower_fail_path(fail_state.error_path, "ErrorPath", out.name);
    auto cause_path = lower_fail_path(fail_state.cause_path, "CausePath", out.name);
    if (error_path.ok()) step.error_path = std::move(error_path).value();
    if (!error_path.ok()) problem(error_path.error());
    if (cause_path.ok()) step.cause_path = std::move(cause_path).value();
    if (!cause_path.ok()) problem(cause_path.error());
    out.step = std::move(step);
  }

  void lower_fields(const ParallelState&, ProgramState&) {}
  void lower_fields(const MapState&, ProgramState&) {}

  std::uint32_t next_of(const Transition& transition) {
    return transition.end ? kNoState : target(transition.next, "Next", at_);
  }

  std::uint32_t target(const std::string& name, std::string_view field, const std::string& at) {
    const auto found = index_.find(name);
    if (found != index_.end()) return found->second;
    problems_.push_back(Diagnostic{Severity::kError, std::string(code::kMissingTarget),
                                   message::missing_target(name), at + "/" + std::string(field),
                                   0, 0});
    return kNoState;
  }

  std::optional<JsonPath> path(const std::optional<std::string>& text, std::string_view field) {
    if (!text) return std::nullopt;
    auto parsed = JsonPath::parse(*text);
    if (parsed.ok()) return std::move(parsed).value();
    invalid(std::string(field) + ": " + to_string(parsed.error()));
    return std::nullopt;
  }

  void problem(const LoweringError& error) {
    if (error.unsupported) {
      problems_.push_back(Diagnostic{Severity::kError, std::string(code::kUnsupportedFeature),
                                     error.message, at_, 0, 0});
    } else {
      invalid(error.message);
    }
  }
  void unsupported(const std::string& feature) {
    problems_.push_back(Diagnostic{Severity::kError, std::string(code::kUnsupportedFeature),
                                   message::unsupported_feature(feature), at_, 0, 0});
  }
  void invalid(const std::string& what) {
    problems_.push_back(Diagnostic{Severity::kError, std::string(code::kSchema), what, at_, 0, 0});
  }

  const Scope& scope_;
  std::vector<Diagnostic>& problems_;
  std::unordered_map<std::string_view, std::uint32_t> index_;
  std::string at_;
};

}  // namespace

Result<Program, std::vector<Diagnostic>> lower_program(const Definition& definition) {
  std::vector<Diagnostic> problems;
  if (definition.query_language == QueryLanguage::kJsonata) {
    problems.push_back(Diagnostic{Severity::kError, std::string(code::kUnsupportedFeature),
                                  message::unsupported_feature("JSONata"), "/QueryLanguage", 0, 0});
    return fail(std::move(problems));
  }
  Program program;
  program.timeout_seconds = definition.timeout_seconds;
  program.scopes.push_back(ScopeLowering(definition.scope, problems).lower());
  if (!problems.empty()) return fail(std::move(problems));
  return program;
}

}  // namespace vorn::aws
