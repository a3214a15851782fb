#include "parser.hpp"

#include <array>
#include <cstdint>
#include <limits>
#include <span>

#include "json/reader.hpp"

namespace vorn::build {

namespace {

using json::Array;
using json::Member;
using json::Object;
using json::Value;

template <class T>
using Parsed = Result<T, ParseError>;
using Checked = Result<void, ParseError>;

using FieldList = std::span<const std::string_view>;

constexpr std::array<std::string_view, 3> kTopFields = {"StartAt", "States", "Comment"};
constexpr std::array<std::string_view, 12> kTaskFields = {
    "Type",       "Resource", "Parameters", "ResultSelector", "InputPath", "OutputPath",
    "ResultPath", "Next",     "End",        "Retry",          "Catch",     "Comment"};
constexpr std::array<std::string_view, 9> kPassFields = {"Type",      "Result",     "Parameters",
                                                         "InputPath", "OutputPath", "ResultPath",
                                                         "Next",      "End",        "Comment"};
constexpr std::array<std::string_view, 4> kChoiceFields = {"Type", "Choices", "Default", "Comment"};
constexpr std::array<std::string_view, 2> kSucceedFields = {"Type", "Comment"};
constexpr std::array<std::string_view, 4> kFailFields = {"Type", "Error", "Cause", "Comment"};
constexpr std::array<std::string_view, 5> kChoiceRuleFields = {"Variable", "Next", "NumericEquals",
                                                               "StringEquals", "BooleanEquals"};
constexpr std::array<std::string_view, 4> kRetryFields = {"ErrorEquals", "IntervalSeconds",
                                                          "MaxAttempts", "BackoffRate"};
constexpr std::array<std::string_view, 2> kCatchFields = {"ErrorEquals", "Next"};

constexpr const char* kMissingOperator = "operator (NumericEquals, StringEquals, or BooleanEquals)";

std::string field_path(std::string_view path, std::string_view key) {
  std::string out;
  out.reserve(path.size() + 1 + key.size());
  out.append(path);
  if (!path.empty()) out.push_back('.');
  out.append(key);
  return out;
}

std::string index_suffix(std::size_t index) {
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about
  // "[" + std::to_string(...).
  std::string suffix = "[";
  suffix += std::to_string(index);
  suffix += ']';
  return suffix;
}

// A whole value of the wrong type is named by the last segment of its path.
std::string own_field_name(std::string_view path) {
  if (path.empty()) return "(root)";
  const std::size_t dot = path.rfind('.');
  return std::string(dot == std::string_view::npos ? path : path.substr(dot + 1));
}

ParseError invalid_field(std::string path, std::string field, const char* expected) {
  return ParseError{std::move(path), ParseError::InvalidField{std::move(field), expected}};
}

ParseError wrong_key_type(std::string_view path, std::string_view key, const char* expected) {
  return invalid_field(field_path(path, key), std::string(key), expected);
}

ParseError missing(std::string_view path, std::string name) {
  return ParseError{std::string(path), ParseError::MissingRequiredField{std::move(name)}};
}

Parsed<Object*> as_object(std::string_view path, Value& value) {
  if (!value.is_object())
    return fail(invalid_field(std::string(path), own_field_name(path), "object"));
  return &value.as_object();
}

Parsed<Array*> as_array(std::string_view path, Value& value) {
  if (!value.is_array())
    return fail(invalid_field(std::string(path), own_field_name(path), "array"));
  return &value.as_array();
}

Checked check_fields(std::string_view path, const Object& object, FieldList allowed) {
  for (const Member& member : object) {
    bool known = false;
    for (std::string_view name : allowed) {
      if (member.key == name) {
        known = true;
        break;
      }
    }
    if (!known)
      return fail(ParseError{field_path(path, member.key), ParseError::UnknownField{member.key}});
  }
  return {};
}

// JSON null counts as absent for every optional key.
Value* find_present(Object& object, std::string_view key) {
  Value* value = object.find(key);
  return value == nullptr || value->is_null() ? nullptr : value;
}

Parsed<std::string> require_string(std::string_view path, Object& object, std::string_view key) {
  Value* value = object.find(key);
  if (value == nullptr) return fail(missing(path, std::string(key)));
  if (!value->is_string()) return fail(wrong_key_type(path, key, "string"));
  return std::move(value->as_string());
}

Parsed<std::optional<std::string>> opt_string(std::string_view path, Object& object,
                                              std::string_view key) {
  Value* value = find_present(object, key);
  if (value == nullptr) return std::optional<std::string>();
  if (!value->is_string()) return fail(wrong_key_type(path, key, "string"));
  return std::optional<std::string>(std::move(value->as_string()));
}

Parsed<bool> opt_bool(std::string_view path, Object& object, std::string_view key) {
  Value* value = find_present(object, key);
  if (value == nullptr) return false;
  if (!value->is_bool()) return fail(wrong_key_type(path, key, "boolean"));
  return value->as_bool();
}

Parsed<std::optional<std::uint32_t>> opt_u32(std::string_view path, Object& object,
                                             std::string_view key) {
  Value* value = find_present(object, key);
  if (value == nullptr) return std::optional<std::uint32_t>();
  if (!value->is_uint()) return fail(wrong_key_type(path, key, "non-negative integer"));
  if (value->as_uint() > std::numeric_limits<std::uint32_t>::max()) {
    return fail(wrong_key_type(path, key, "integer within u32 range"));
  }
  return std::optional<std::uint32_t>(static_cast<std::uint32_t>(value->as_uint()));
}

Parsed<std::optional<float>> opt_f32(std::string_view path, Object& object, std::string_view key) {
  Value* value = find_present(object, key);
  if (value == nullptr) return std::optional<float>();
  if (value->is_uint()) return std::optional<float>(static_cast<float>(value->as_uint()));
  if (value->is_int()) return std::optional<float>(static_cast<float>(value->as_int()));
  if (value->is_float()) return std::optional<float>(static_cast<float>(value->as_float()));
  return fail(wrong_key_type(path, key, "number"));
}

Parsed<ResultPathAst> opt_result_path(std::string_view path, Object& object) {
  Value* value = object.find("ResultPath");
  if (value == nullptr) return ResultPathAst(ResultPathUnset{});
  if (value->is_null()) return ResultPathAst(ResultPathNull{});
  if (!value->is_string()) return fail(wrong_key_type(path, "ResultPath", "string or null"));
  return ResultPathAst(ResultPathText{std::move(value->as_string())});
}

// Parameters, ResultSelector and Result are kept as written, of any type.
std::optional<Value> take_opt_value(Object& object, std::string_view key) {
  Value* value = find_present(object, key);
  if (value == nullptr) return std::nullopt;
  return std::move(*value);
}

// Reads the array under `key` (already known to be present) element by element,
// each at the path "{path}.{key}[i]".
template <class Rule, class ParseOne>
Parsed<std::vector<Rule>> parse_rule_array(std::string_view path, Value& list, std::string_view key,
                                           ParseOne parse_one) {
  const std::string list_path = field_path(path, key);
  VORN_TRY_ASSIGN(Array * items, as_array(list_path, list));
  std::vector<Rule> rules;
  rules.reserve(items->size());
  for (std::size_t i = 0; i < items->size(); ++i) {
    VORN_TRY_ASSIGN(Rule rule, parse_one(list_path + index_suffix(i), (*items)[i]));
    rules.push_back(std::move(rule));
  }
  return rules;
}

Parsed<std::vector<std::string>> parse_error_equals(std::string_view rule_path, Object& rule) {
  Value* value = rule.find("ErrorEquals");
  if (value == nullptr) return fail(missing(rule_path, "ErrorEquals"));
  const std::string list_path = field_path(rule_path, "ErrorEquals");
  VORN_TRY_ASSIGN(Array * items, as_array(list_path, *value));
  std::vector<std::string> names;
  names.reserve(items->size());
  for (std::size_t j = 0; j < items->size(); ++j) {
    Value& item = (*items)[j];
    if (!item.is_string()) {
      return fail(invalid_field(list_path + index_suffix(j), index_suffix(j), "string"));
    }
    names.push_back(std::move(item.as_string()));
  }
  return names;
}

Parsed<RetryAst> parse_retry(const std::string& path, Value& value) {
  VORN_TRY_ASSIGN(Object * rule, as_object(path, value));
  VORN_TRY(check_fields(path, *rule, kRetryFields));
  RetryAst retry;
  VORN_TRY_ASSIGN(retry.error_equals, parse_error_equals(path, *rule));
  VORN_TRY_ASSIGN(retry.interval_seconds, opt_u32(path, *rule, "IntervalSeconds"));
  VORN_TRY_ASSIGN(retry.max_attempts, opt_u32(path, *rule, "MaxAttempts"));
  VORN_TRY_ASSIGN(retry.backoff_rate, opt_f32(path, *rule, "BackoffRate"));
  return retry;
}

Parsed<CatchAst> parse_catch(const std::string& path, Value& value) {
  VORN_TRY_ASSIGN(Object * rule, as_object(path, value));
  VORN_TRY(check_fields(path, *rule, kCatchFields));
  CatchAst catcher;
  VORN_TRY_ASSIGN(catcher.error_equals, parse_error_equals(path, *rule));
  VORN_TRY_ASSIGN(catcher.next, require_string(path, *rule, "Next"));
  return catcher;
}

// The first operator key present decides, in the order NumericEquals,
// StringEquals, BooleanEquals; the others are ignored.
Parsed<ChoiceOperator> parse_operator(std::string_view rule_path, Object& rule) {
  if (Value* value = rule.find("NumericEquals")) {
    if (value->is_int()) return ChoiceOperator(NumericEqualsOp{value->as_int()});
    if (value->is_uint() && value->as_uint() <= std::numeric_limits<std::int64_t>::max()) {
      return ChoiceOperator(NumericEqualsOp{static_cast<std::int64_t>(value->as_uint())});
    }
    return fail(wrong_key_type(rule_path, "NumericEquals", "integer"));
  }
  if (Value* value = rule.find("StringEquals")) {
    if (!value->is_string()) return fail(wrong_key_type(rule_path, "StringEquals", "string"));
    return ChoiceOperator(StringEqualsOp{std::move(value->as_string())});
  }
  if (Value* value = rule.find("BooleanEquals")) {
    if (!value->is_bool()) return fail(wrong_key_type(rule_path, "BooleanEquals", "boolean"));
    return ChoiceOperator(BooleanEqualsOp{value->as_bool()});
  }
  return fail(missing(rule_path, kMissingOperator));
}

Parsed<ChoiceRuleAst> parse_choice_rule(const std::string& path, Value& value) {
  VORN_TRY_ASSIGN(Object * rule, as_object(path, value));
  VORN_TRY(check_fields(path, *rule, kChoiceRuleFields));
  VORN_TRY_ASSIGN(std::string variable, require_string(path, *rule, "Variable"));
  VORN_TRY_ASSIGN(std::string next, require_string(path, *rule, "Next"));
  VORN_TRY_ASSIGN(ChoiceOperator op, parse_operator(path, *rule));
  return ChoiceRuleAst{std::move(variable), std::move(next), std::move(op)};
}

template <class Rule, class ParseOne>
Parsed<std::vector<Rule>> parse_opt_rules(std::string_view path, Object& state,
                                          std::string_view key, ParseOne parse_one) {
  Value* list = state.find(key);
  if (list == nullptr) return std::vector<Rule>();
  return parse_rule_array<Rule>(path, *list, key, parse_one);
}

Parsed<StateAst> parse_task(std::string_view path, Object& state) {
  VORN_TRY(check_fields(path, state, kTaskFields));
  TaskStateAst task;
  VORN_TRY_ASSIGN(task.resource, require_string(path, state, "Resource"));
  task.parameters = take_opt_value(state, "Parameters");
  task.result_selector = take_opt_value(state, "ResultSelector");
  VORN_TRY_ASSIGN(task.input_path, opt_string(path, state, "InputPath"));
  VORN_TRY_ASSIGN(task.output_path, opt_string(path, state, "OutputPath"));
  VORN_TRY_ASSIGN(task.result_path, opt_result_path(path, state));
  VORN_TRY_ASSIGN(task.next, opt_string(path, state, "Next"));
  VORN_TRY_ASSIGN(task.end, opt_bool(path, state, "End"));
  VORN_TRY_ASSIGN(task.retry, parse_opt_rules<RetryAst>(path, state, "Retry", parse_retry));
  VORN_TRY_ASSIGN(task.catch_, parse_opt_rules<CatchAst>(path, state, "Catch", parse_catch));
  VORN_TRY_ASSIGN(task.comment, opt_string(path, state, "Comment"));
  return StateAst(std::move(task));
}

Parsed<StateAst> parse_pass(std::string_view path, Object& state) {
  VORN_TRY(check_fields(path, state, kPassFields));
  PassStateAst pass;
  pass.result = take_opt_value(state, "Result");
  pass.parameters = take_opt_value(state, "Parameters");
  VORN_TRY_ASSIGN(pass.input_path, opt_string(path, state, "InputPath"));
  VORN_TRY_ASSIGN(pass.output_path, opt_string(path, state, "OutputPath"));
  VORN_TRY_ASSIGN(pass.result_path, opt_result_path(path, state));
  VORN_TRY_ASSIGN(pass.next, opt_string(path, state, "Next"));
  VORN_TRY_ASSIGN(pass.end, opt_bool(path, state, "End"));
  VORN_TRY_ASSIGN(pass.comment, opt_string(path, state, "Comment"));
  return StateAst(std::move(pass));
}

Parsed<StateAst> parse_choice(std::string_view path, Object& state) {
  VORN_TRY(check_fields(path, state, kChoiceFields));
  ChoiceStateAst choice;
  Value* choices = state.find("Choices");
  if (choices == nullptr) return fail(missing(path, "Choices"));
  VORN_TRY_ASSIGN(choice.choices,
                  parse_rule_array<ChoiceRuleAst>(path, *choices, "Choices", parse_choice_rule));
  VORN_TRY_ASSIGN(choice.default_, opt_string(path, state, "Default"));
  VORN_TRY_ASSIGN(choice.comment, opt_string(path, state, "Comment"));
  return StateAst(std::move(choice));
}

Parsed<StateAst> parse_succeed(std::string_view path, Object& state) {
  VORN_TRY(check_fields(path, state, kSucceedFields));
  SucceedStateAst succeed;
  VORN_TRY_ASSIGN(succeed.comment, opt_string(path, state, "Comment"));
  return StateAst(std::move(succeed));
}

Parsed<StateAst> parse_fail(std::string_view path, Object& state) {
  VORN_TRY(check_fields(path, state, kFailFields));
  FailStateAst fail_state;
  VORN_TRY_ASSIGN(fail_state.error, opt_string(path, state, "Error"));
  VORN_TRY_ASSIGN(fail_state.cause, opt_string(path, state, "Cause"));
  VORN_TRY_ASSIGN(fail_state.comment, opt_string(path, state, "Comment"));
  return StateAst(std::move(fail_state));
}

// The Type decides before any key is checked, so an unknown type wins over
// unknown keys.
Parsed<StateAst> parse_state(std::string_view path, Value& value) {
  VORN_TRY_ASSIGN(Object * state, as_object(path, value));
  VORN_TRY_ASSIGN(const std::string type, require_string(path, *state, "Type"));
  if (type == "Task") return parse_task(path, *state);
  if (type == "Pass") return parse_pass(path, *state);
  if (type == "Choice") return parse_choice(path, *state);
  if (type == "Succeed") return parse_succeed(path, *state);
  if (type == "Fail") return parse_fail(path, *state);
  return fail(ParseError{field_path(path, "Type"), ParseError::UnsupportedStateType{type}});
}

}  // namespace

Result<AslAst, ParseError> parse(std::string_view text) {
  auto read = json::read(text);
  if (!read.ok())
    return fail(ParseError{"", ParseError::InvalidJson{std::move(read.error().message)}});
  Value root = std::move(read).value();

  VORN_TRY_ASSIGN(Object * top, as_object("", root));
  VORN_TRY(check_fields("", *top, kTopFields));
  AslAst ast;
  VORN_TRY_ASSIGN(ast.start_at, require_string("", *top, "StartAt"));
  Value* states_value = top->find("States");
  if (states_value == nullptr) return fail(missing("", "States"));
  VORN_TRY_ASSIGN(Object * states, as_object("States", *states_value));
  ast.states.reserve(states->size());
  for (Member& member : states->members()) {
    VORN_TRY_ASSIGN(StateAst state, parse_state(field_path("States", member.key), member.value));
    ast.states.push_back(NamedState{std::move(member.key), std::move(state)});
  }
  VORN_TRY_ASSIGN(ast.comment, opt_string("", *top, "Comment"));
  return ast;
}

}  // namespace vorn::build
