// States: the type, the fields each type allows, and the value of each;
// Parallel and Map, which hold scopes of their own, are in check_nested.cpp.
#include <optional>

#include "aws_build/checker.hpp"
#include "aws_build/messages.hpp"
#include "aws_data/intrinsic_call.hpp"
#include "aws_data/timestamp.hpp"

namespace vorn::aws {

using PathRule = Checker::PathRule;

// Reports the second of two fields that cannot stand together.
void check_exclusive(Checker& c, const Value& state, std::string_view first,
                     std::string_view second, const Location& at) {
  if (state.find(first) != nullptr && state.find(second) != nullptr) {
    c.schema_error(message::fields_exclusive(first, second), at);
  }
}

void check_input_output(Checker& c, const Value& state, const Location& at, DataFlow& flow) {
  flow.input_path = c.nullable_path_field(state, "InputPath", at, PathRule::kAny);
  flow.output_path = c.nullable_path_field(state, "OutputPath", at, PathRule::kAny);
}

void check_result_flow(Checker& c, const Value& state, const Location& at, DataFlow& flow) {
  check_input_output(c, state, at, flow);
  flow.result_path = c.nullable_path_field(state, "ResultPath", at, PathRule::kReference);
  flow.parameters = c.template_field(state, "Parameters", at);
}

namespace {

std::optional<StateType> state_type_from(std::string_view name) {
  static constexpr std::pair<std::string_view, StateType> kTypes[] = {
      {"Task", StateType::kTask},         {"Wait", StateType::kWait},
      {"Pass", StateType::kPass},         {"Succeed", StateType::kSucceed},
      {"Fail", StateType::kFail},         {"Choice", StateType::kChoice},
      {"Parallel", StateType::kParallel}, {"Map", StateType::kMap},
  };
  for (const auto& [text, type] : kTypes) {
    if (text == name) return type;
  }
  return std::nullopt;
}

// A Fail's ErrorPath or CausePath: a path on the raw input or the context,
// or an intrinsic call.
std::optional<std::string> fail_path(Checker& c, const Value& state, std::string_view field,
                                     const Location& at) {
  const Value* value = state.find(field);
  if (value == nullptr) return std::nullopt;
  const Location field_at = at.member(field);
  if (!value->is_string()) {
    c.schema_error(message::wrong_type(field, "a string"), field_at);
    return std::nullopt;
  }
  const std::string_view text = value->as_string();
  const bool passes = text.starts_with('$') ? c.path_passes(text, PathRule::kDefinite, field_at)
                                            : parse_intrinsic_call(text).ok();
  if (!passes) {
    c.schema_error(message::invalid_reference_path_or_intrinsic(field), field_at);
    return std::nullopt;
  }
  return std::string(text);
}

void task(Checker& c, const Value& state, const Location& at, ScopeCheck& scope,
          TaskState& task) {
  c.allowed_fields(state,
                   {"Type", "Comment", "QueryLanguage", "Resource", "Parameters", "ResultSelector",
                    "InputPath", "OutputPath", "ResultPath", "TimeoutSeconds",
                    "TimeoutSecondsPath", "HeartbeatSeconds", "HeartbeatSecondsPath",
                    "Credentials", "Retry", "Catch", "Next", "End"},
                   at);
  if (state.find("Resource") == nullptr) {
    c.schema_error(message::fields_required({"Resource"}), at);
  } else if (auto resource = c.string_field(state, "Resource", at)) {
    if (resource->empty()) {
      c.schema_error(message::string_cannot_be_empty("Resource"), at.member("Resource"));
    }
    task.resource = std::move(*resource);
  }
  check_result_flow(c, state, at, task.flow);
  task.flow.result_selector = c.template_field(state, "ResultSelector", at);
  task.timeout_seconds = c.integer_field(state, "TimeoutSeconds", at, 1, kMaxSeconds);
  task.timeout_seconds_path = c.path_field(state, "TimeoutSecondsPath", at, PathRule::kReference);
  task.heartbeat_seconds = c.integer_field(state, "HeartbeatSeconds", at, 1, kMaxSeconds);
  task.heartbeat_seconds_path =
      c.path_field(state, "HeartbeatSecondsPath", at, PathRule::kReference);
  check_exclusive(c, state, "TimeoutSeconds", "TimeoutSecondsPath", at);
  check_exclusive(c, state, "HeartbeatSeconds", "HeartbeatSecondsPath", at);
  if (task.timeout_seconds && task.heartbeat_seconds &&
      *task.heartbeat_seconds >= *task.timeout_seconds) {
    c.schema_error(message::heartbeat_not_below_timeout(), at.member("HeartbeatSeconds"));
  }
  if (const Value* credentials = c.object_field(state, "Credentials", at)) {
    const Location credentials_at = at.member("Credentials");
    const Value* role = credentials->find("RoleArn");
    if (role == nullptr && credentials->find("RoleArn.$") == nullptr) {
      c.schema_error(message::field_required_missing("RoleArn"), credentials_at);
    } else if (role != nullptr && !role->is_string()) {
      c.schema_error(message::wrong_type("RoleArn", "a string"), credentials_at.member("RoleArn"));
    }
    c.check_template(*credentials, credentials_at);
    task.credentials = *credentials;
  }
  task.retry = check_retry(c, state, at);
  task.catch_ = check_catch(c, state, at, scope, /*jsonata=*/false);
  task.transition = check_transition(c, state, at, scope);
}

// The first "<key>.$" member anywhere in a Pass Result, which is copied as
// written and so never evaluates it.
const Member* first_dynamic_key(const Value& result) {
  std::vector<const Value*> pending{&result};
  while (!pending.empty()) {
    const Value* value = pending.back();
    pending.pop_back();
    if (value->is_array()) {
      for (const Value& item : value->items()) pending.push_back(&item);
    } else if (value->is_object()) {
      for (const Member& member : value->members()) {
        if (member.key.ends_with(".$")) return &member;
        pending.push_back(&member.value);
      }
    }
  }
  return nullptr;
}

void pass(Checker& c, const Value& state, const Location& at, ScopeCheck& scope,
          PassState& pass) {
  c.allowed_fields(state,
                   {"Type", "Comment", "QueryLanguage", "Result", "Parameters", "InputPath",
                    "OutputPath", "ResultPath", "Next", "End"},
                   at);
  if (const Value* result = state.find("Result")) {
    if (const Member* dynamic = first_dynamic_key(*result)) {
      c.warning(code::kPassResultIsStatic, message::pass_result_is_static(dynamic->key),
                at.member("Result"));
    }
    pass.result = *result;
  }
  check_result_flow(c, state, at, pass.flow);
  pass.transition = check_transition(c, state, at, scope);
}

void choice(Checker& c, const Value& state, const Location& at, ScopeCheck& scope, bool jsonata,
            ChoiceState& choice) {
  if (!jsonata) {
    c.allowed_fields(state,
                     {"Type", "Comment", "QueryLanguage", "Choices", "Default", "InputPath",
                      "OutputPath"},
                     at);
  }
  if (!jsonata) check_input_output(c, state, at, choice.flow);
  const Location choices_at = at.member("Choices");
  if (state.find("Choices") == nullptr) {
    c.schema_error(message::fields_required({"Choices"}), at);
  } else if (const Value* rules = c.array_field(state, "Choices", at)) {
    if (rules->size() == 0) c.schema_error(message::value_cannot_be_empty(), choices_at);
    std::vector<Diagnostic> rule_problems;
    for (std::size_t i = 0; i < rules->size(); ++i) {
      const Value& rule = rules->items()[i];
      const Location rule_at = choices_at.index(i);
      if (!jsonata) {
        rule_problems.clear();
        auto read = read_choice_rule(rule, "", /*top_level=*/true, rule_problems);
        for (Diagnostic& problem : rule_problems) c.adopt(std::move(problem), rule_at);
        if (read) choice.choices.push_back(std::move(*read));
      } else if (!rule.is_object()) {
        c.schema_error(message::element_wrong_type("an object"), rule_at);
      } else if (rule.find("Next") == nullptr) {
        c.schema_error(message::fields_required({"Next"}), rule_at);
      }
      // Where a rule leads is checked whatever else is wrong with it.
      if (!rule.is_object()) continue;
      if (const Value* next = rule.find("Next"); next != nullptr && next->is_string()) {
        if (jsonata || !next->as_string().empty()) {
          c.link(scope, next->as_string(), rule_at.member("Next"));
        }
      }
    }
  }
  if (auto target = c.string_field(state, "Default", at)) {
    c.link(scope, *target, at.member("Default"));
    choice.default_target = std::move(target);
  }
}

void wait(Checker& c, const Value& state, const Location& at, ScopeCheck& scope,
          WaitState& wait) {
  c.allowed_fields(state,
                   {"Type", "Comment", "QueryLanguage", "Seconds", "Timestamp", "SecondsPath",
                    "TimestampPath", "InputPath", "OutputPath", "Next", "End"},
                   at);
  check_input_output(c, state, at, wait.flow);
  int timings = 0;
  for (std::string_view field : {"Seconds", "Timestamp", "SecondsPath", "TimestampPath"}) {
    timings += state.find(field) != nullptr;
  }
  if (timings != 1) {
    c.schema_error(
        message::exactly_one_field({"Seconds", "Timestamp", "SecondsPath", "TimestampPath"}), at);
  }
  wait.seconds = c.integer_field(state, "Seconds", at, 0, kMaxSeconds);
  wait.timestamp = c.string_field(state, "Timestamp", at);
  if (wait.timestamp && !parse_timestamp(*wait.timestamp)) {
    c.schema_error(message::not_rfc3339_timestamp(), at.member("Timestamp"));
    wait.timestamp.reset();
  }
  wait.seconds_path = c.path_field(state, "SecondsPath", at, PathRule::kReference);
  wait.timestamp_path = c.path_field(state, "TimestampPath", at, PathRule::kReference);
  wait.transition = check_transition(c, state, at, scope);
}

void fail_state(Checker& c, const Value& state, const Location& at, FailState& fail) {
  c.allowed_fields(state,
                   {"Type", "Comment", "QueryLanguage", "Error", "ErrorPath", "Cause", "CausePath"},
                   at, /*assign_allowed=*/false);
  fail.error = c.string_field(state, "Error", at);
  fail.cause = c.string_field(state, "Cause", at);
  fail.error_path = fail_path(c, state, "ErrorPath", at);
  fail.cause_path = fail_path(c, state, "CausePath", at);
  check_exclusive(c, state, "Error", "ErrorPath", at);
  check_exclusive(c, state, "Cause", "CausePath", at);
}

// A JSONata state's own fields are not read (this toolkit does not run
// them); its transitions still are, so the machine's shape is checked whole.
void jsonata_links(Checker& c, const Value& state, const Location& at, ScopeCheck& scope,
                   StateType type, State& out) {
  switch (type) {
    case StateType::kChoice:
      choice(c, state, at, scope, true, out.fields.emplace<ChoiceState>());
      break;
    case StateType::kParallel:
      check_parallel(c, state, at, scope, true, out.fields.emplace<ParallelState>());
      break;
    case StateType::kMap: check_map(c, state, at, scope, true, out.fields.emplace<MapState>()); break;
    case StateType::kSucceed:
    case StateType::kFail: scope.has_terminal = true; break;
    default: check_transition(c, state, at, scope); break;
  }
}

}  // namespace

Transition check_transition(Checker& c, const Value& state, const Location& at,
                            ScopeCheck& scope) {
  Transition transition;
  const Value* next = state.find("Next");
  if (next != nullptr) {
    if (next->is_string()) {
      transition.next = std::string(next->as_string());
      c.link(scope, next->as_string(), at.member("Next"));
    } else {
      c.schema_error(message::wrong_type("Next", "a string"), at.member("Next"));
    }
  }
  transition.end = c.bool_field(state, "End", at).value_or(false);
  if (next != nullptr && transition.end) {
    c.schema_error(message::fields_exclusive("Next", "End"), at);
  } else if (next == nullptr && !transition.end && state.find("End") == nullptr) {
    c.schema_error(message::one_field_required({"Next", "End"}), at);
  }
  if (transition.end) scope.has_terminal = true;
  return transition;
}

bool check_state(Checker& c, const Value& value, std::string_view name, const Location& at,
                 ScopeCheck& scope, State& state) {
  if (!value.is_object()) {
    c.schema_error(message::element_wrong_type("an object"), at);
    return false;
  }
  state.name = std::string(name);
  state.source = value;
  const Value* type_value = value.find("Type");
  const std::optional<StateType> type =
      type_value != nullptr && type_value->is_string() ? state_type_from(type_value->as_string())
                                                       : std::nullopt;
  if (!type) {
    c.schema_error(message::state_type_values(), at.member("Type"));
    // Its transitions still count, so the states after it are not reported
    // unreachable for its sake.
    if (const Value* next = value.find("Next"); next != nullptr && next->is_string()) {
      c.link(scope, next->as_string(), at.member("Next"));
    }
    scope.has_terminal = true;
    return false;
  }
  state.type = *type;

  state.query_language = c.machine_language();
  if (auto language = c.enum_field(value, "QueryLanguage", at, {"JSONPath", "JSONata"})) {
    if (*language == "JSONata") {
      if (c.machine_language() != QueryLanguage::kJsonata) {
        c.unsupported("JSONata", at.member("QueryLanguage"));
      }
      state.query_language = QueryLanguage::kJsonata;
    } else if (c.machine_language() == QueryLanguage::kJsonata) {
      c.schema_error(message::query_language_downgrade(), at);
    }
  }
  state.comment = c.string_field(value, "Comment", at);
  if (state.query_language == QueryLanguage::kJsonata) {
    if (const Value* assign = value.find("Assign")) {
      (void)assign;
      c.unsupported("Variables (Assign)", at.member("Assign"));
    }
    jsonata_links(c, value, at, scope, state.type, state);
    return true;
  }

  switch (state.type) {
    case StateType::kTask: task(c, value, at, scope, state.fields.emplace<TaskState>()); break;
    case StateType::kPass: pass(c, value, at, scope, state.fields.emplace<PassState>()); break;
    case StateType::kChoice:
      choice(c, value, at, scope, false, state.fields.emplace<ChoiceState>());
      break;
    case StateType::kWait: wait(c, value, at, scope, state.fields.emplace<WaitState>()); break;
    case StateType::kSucceed: {
      c.allowed_fields(value, {"Type", "Comment", "QueryLanguage", "InputPath", "OutputPath"}, at,
                       false);
      check_input_output(c, value, at, state.fields.emplace<SucceedState>().flow);
      scope.has_terminal = true;
      break;
    }
    case StateType::kFail:
      fail_state(c, value, at, state.fields.emplace<FailState>());
      scope.has_terminal = true;
      break;
    case StateType::kParallel:
      check_parallel(c, value, at, scope, false, state.fields.emplace<ParallelState>());
      break;
    case StateType::kMap:
      check_map(c, value, at, scope, false, state.fields.emplace<MapState>());
      break;
  }
  return true;
}

std::string_view state_type_name(StateType type) {
  switch (type) {
    case StateType::kTask: return "Task";
    case StateType::kWait: return "Wait";
    case StateType::kPass: return "Pass";
    case StateType::kSucceed: return "Succeed";
    case StateType::kFail: return "Fail";
    case StateType::kChoice: return "Choice";
    case StateType::kParallel: return "Parallel";
    case StateType::kMap: return "Map";
  }
  return "Task";
}

}  // namespace vorn::aws
