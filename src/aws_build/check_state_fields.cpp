// States: the type, the fields each type allows, and the value of each.
#include <optional>

#include "aws_build/checker.hpp"
#include "aws_build/messages.hpp"
#include "aws_data/intrinsic_call.hpp"
#include "aws_data/timestamp.hpp"

namespace vorn::aws {

namespace {

using PathRule = Checker::PathRule;

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

// Reports the second of two fields that cannot stand together.
void exclusive(Checker& c, const Value& state, std::string_view first, std::string_view second,
               const Location& at) {
  if (state.find(first) != nullptr && state.find(second) != nullptr) {
    c.schema_error(message::fields_exclusive(first, second), at);
  }
}

void input_output(Checker& c, const Value& state, const Location& at, DataFlow& flow) {
  flow.input_path = c.nullable_path_field(state, "InputPath", at, PathRule::kAny);
  flow.output_path = c.nullable_path_field(state, "OutputPath", at, PathRule::kAny);
}

void result_flow(Checker& c, const Value& state, const Location& at, DataFlow& flow) {
  input_output(c, state, at, flow);
  flow.result_path = c.nullable_path_field(state, "ResultPath", at, PathRule::kReference);
  flow.parameters = c.template_field(state, "Parameters", at);
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
  result_flow(c, state, at, task.flow);
  task.flow.result_selector = c.template_field(state, "ResultSelector", at);
  task.timeout_seconds = c.integer_field(state, "TimeoutSeconds", at, 1, kMaxSeconds);
  task.timeout_seconds_path = c.path_field(state, "TimeoutSecondsPath", at, PathRule::kReference);
  task.heartbeat_seconds = c.integer_field(state, "HeartbeatSeconds", at, 1, kMaxSeconds);
  task.heartbeat_seconds_path =
      c.path_field(state, "HeartbeatSecondsPath", at, PathRule::kReference);
  exclusive(c, state, "TimeoutSeconds", "TimeoutSecondsPath", at);
  exclusive(c, state, "HeartbeatSeconds", "HeartbeatSecondsPath", at);
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
  result_flow(c, state, at, pass.flow);
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
  if (!jsonata) input_output(c, state, at, choice.flow);
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
  input_output(c, state, at, wait.flow);
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
  exclusive(c, state, "Error", "ErrorPath", at);
  exclusive(c, state, "Cause", "CausePath", at);
}

void parallel(Checker& c, const Value& state, const Location& at, ScopeCheck& scope,
              bool jsonata, ParallelState& parallel) {
  if (!jsonata) {
    c.allowed_fields(state,
                     {"Type", "Comment", "QueryLanguage", "Branches", "InputPath", "Parameters",
                      "ResultSelector", "ResultPath", "OutputPath", "Retry", "Catch", "Next",
                      "End"},
                     at);
  }
  const Location branches_at = at.member("Branches");
  if (state.find("Branches") == nullptr) {
    c.schema_error(message::fields_required({"Branches"}), at);
  } else if (const Value* branches = c.array_field(state, "Branches", at)) {
    if (branches->size() == 0) c.schema_error(message::value_cannot_be_empty(), branches_at);
    parallel.branches.resize(branches->size());
    for (std::size_t i = 0; i < branches->size(); ++i) {
      const Value& branch = branches->items()[i];
      const Location branch_at = branches_at.index(i);
      if (!branch.is_object()) {
        c.schema_error(message::element_wrong_type("an object"), branch_at);
        continue;
      }
      c.allowed_fields(branch, {"StartAt", "States", "Comment"}, branch_at, false);
      check_scope(c, branch, branch_at, parallel.branches[i]);
    }
  }
  if (!jsonata) {
    result_flow(c, state, at, parallel.flow);
    parallel.flow.result_selector = c.template_field(state, "ResultSelector", at);
    parallel.retry = check_retry(c, state, at);
  }
  parallel.catch_ = check_catch(c, state, at, scope, jsonata);
  parallel.transition = check_transition(c, state, at, scope);
}

// Distributed Map labels become part of child execution names.
constexpr std::size_t kMaxLabelLength = 40;

void check_label(Checker& c, std::string_view label, const Location& at) {
  std::size_t length = 0;
  for (char ch : label) length += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
  if (length == 0 || length > kMaxLabelLength) {
    c.error(code::kInvalidLabelName, message::label_length(kMaxLabelLength), at);
    return;
  }
  static constexpr std::string_view kForbidden = " \"#$%&*,:;<>?[\\]^{|}~`";
  for (std::size_t i = 0; i < label.size(); ++i) {
    const auto byte = static_cast<unsigned char>(label[i]);
    // U+0080..U+009F are written C2 80..C2 9F.
    const bool c1_control = byte == 0xC2 && i + 1 < label.size() &&
                            static_cast<unsigned char>(label[i + 1]) <= 0x9F;
    if (byte < 0x20 || byte == 0x7F || c1_control) {
      c.error(code::kInvalidLabelName, message::label_character(0), at);
      return;
    }
    if (kForbidden.find(label[i]) != std::string_view::npos) {
      c.error(code::kInvalidLabelName, message::label_character(label[i]), at);
      return;
    }
  }
}

void item_processor(Checker& c, const Value& state, const Location& at, MapState& map) {
  const bool has_processor = state.find("ItemProcessor") != nullptr;
  const bool has_iterator = state.find("Iterator") != nullptr;
  if (has_processor && has_iterator) {
    c.schema_error(message::fields_exclusive("ItemProcessor", "Iterator"), at);
  } else if (!has_processor && !has_iterator) {
    c.schema_error(message::one_field_required({"ItemProcessor", "Iterator"}), at);
    return;
  }
  map.legacy_iterator = !has_processor;
  const std::string_view field = has_processor ? "ItemProcessor" : "Iterator";
  const Value* processor = c.object_field(state, field, at);
  if (processor == nullptr) return;
  const Location processor_at = at.member(field);
  c.allowed_fields(*processor, {"ProcessorConfig", "StartAt", "States", "Comment"}, processor_at,
                   false);
  if (const Value* config = c.object_field(*processor, "ProcessorConfig", processor_at)) {
    const Location config_at = processor_at.member("ProcessorConfig");
    c.allowed_fields(*config, {"Mode", "ExecutionType"}, config_at, false);
    if (auto mode = c.enum_field(*config, "Mode", config_at, {"INLINE", "DISTRIBUTED"})) {
      map.mode = *mode == "DISTRIBUTED" ? MapMode::kDistributed : MapMode::kInline;
    }
    map.execution_type = c.enum_field(*config, "ExecutionType", config_at, {"STANDARD", "EXPRESS"});
  }
  check_scope(c, *processor, processor_at, map.processor);
}

void map_state(Checker& c, const Value& state, const Location& at, ScopeCheck& scope,
               bool jsonata, MapState& map) {
  if (!jsonata) {
    c.allowed_fields(
        state,
        {"Type", "Comment", "QueryLanguage", "ItemProcessor", "Iterator", "ItemsPath",
         "ItemSelector", "Parameters", "MaxConcurrency", "MaxConcurrencyPath",
         "ToleratedFailureCount", "ToleratedFailureCountPath", "ToleratedFailurePercentage",
         "ToleratedFailurePercentagePath", "ItemReader", "ItemBatcher", "ResultWriter", "Label",
         "InputPath", "OutputPath", "ResultPath", "ResultSelector", "Retry", "Catch", "Next",
         "End"},
        at);
  }
  item_processor(c, state, at, map);
  if (!jsonata) {
    map.items_path = c.path_field(state, "ItemsPath", at, PathRule::kDefinite);
    exclusive(c, state, "ItemSelector", "Parameters", at);
    map.item_selector = c.template_field(state, "ItemSelector", at);
    if (!map.item_selector) map.item_selector = c.template_field(state, "Parameters", at);
    map.max_concurrency = c.integer_field(state, "MaxConcurrency", at, 0, kUnbounded);
    map.max_concurrency_path = c.path_field(state, "MaxConcurrencyPath", at, PathRule::kReference);
    exclusive(c, state, "MaxConcurrency", "MaxConcurrencyPath", at);
    map.tolerated_failure_count =
        c.integer_field(state, "ToleratedFailureCount", at, 0, kUnbounded);
    map.tolerated_failure_count_path =
        c.path_field(state, "ToleratedFailureCountPath", at, PathRule::kReference);
    exclusive(c, state, "ToleratedFailureCount", "ToleratedFailureCountPath", at);
    map.tolerated_failure_percentage =
        c.number_field(state, "ToleratedFailurePercentage", at, 0, 100);
    map.tolerated_failure_percentage_path =
        c.path_field(state, "ToleratedFailurePercentagePath", at, PathRule::kReference);
    exclusive(c, state, "ToleratedFailurePercentage", "ToleratedFailurePercentagePath", at);
    if (const Value* reader = c.object_field(state, "ItemReader", at)) map.item_reader = *reader;
    if (const Value* batcher = c.object_field(state, "ItemBatcher", at)) {
      map.item_batcher = *batcher;
    }
    if (const Value* writer = c.object_field(state, "ResultWriter", at)) {
      map.result_writer = *writer;
    }
    map.label = c.string_field(state, "Label", at);
    if (map.label) check_label(c, *map.label, at.member("Label"));
    input_output(c, state, at, map.flow);
    map.flow.result_path = c.nullable_path_field(state, "ResultPath", at, PathRule::kReference);
    map.flow.result_selector = c.template_field(state, "ResultSelector", at);
    map.retry = check_retry(c, state, at);
  }
  // What this toolkit cannot run is named wherever a Map uses it.
  if (state.find("ItemReader") != nullptr) c.unsupported("Map ItemReader", at.member("ItemReader"));
  if (state.find("ResultWriter") != nullptr) {
    c.unsupported("Map ResultWriter", at.member("ResultWriter"));
  }
  map.catch_ = check_catch(c, state, at, scope, jsonata);
  map.transition = check_transition(c, state, at, scope);
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
      parallel(c, state, at, scope, true, out.fields.emplace<ParallelState>());
      break;
    case StateType::kMap: map_state(c, state, at, scope, true, out.fields.emplace<MapState>()); break;
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
      input_output(c, value, at, state.fields.emplace<SucceedState>().flow);
      scope.has_terminal = true;
      break;
    }
    case StateType::kFail:
      fail_state(c, value, at, state.fields.emplace<FailState>());
      scope.has_terminal = true;
      break;
    case StateType::kParallel:
      parallel(c, value, at, scope, false, state.fields.emplace<ParallelState>());
      break;
    case StateType::kMap:
      map_state(c, value, at, scope, false, state.fields.emplace<MapState>());
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
