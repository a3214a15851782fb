#include "validator.hpp"

#include <initializer_list>
#include <string>
#include <unordered_set>

#include "float_text.hpp"
#include "base/overloaded.hpp"
#include "base/template_key.hpp"
#include "limits.hpp"
#include "schema.hpp"

namespace vorn::build {

namespace {

using Checked = Result<void, ValidationError>;
using E = ValidationError;

constexpr std::string_view kReferenceNotString = "value must be a string (JSONPath)";

// Locations are only spelled out once an error needs one.
std::string dotted(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) {
    if (!out.empty()) out.push_back('.');
    out.append(part);
  }
  return out;
}

std::string indexed(std::string_view list, std::size_t index) {
  return std::string(list) + "[" + std::to_string(index) + "]";
}

bool is_accepted_path(std::string_view path) {
  return path == "$" || path.starts_with("$.");
}

// "States.{name}", spelled out only when an error needs it: most states
// have none, and a state name seldom fits a string's inline buffer.
class StateLocation {
 public:
  explicit StateLocation(const NamedState& state) : name_(state.name) {}
  std::string text() const { return "States." + name_; }
  friend std::string operator+(const StateLocation& location, std::string_view suffix) {
    std::string out = location.text();
    out += suffix;
    return out;
  }

 private:
  const std::string& name_;
};

std::string_view location_text(std::string_view location) {
  return location;
}
std::string location_text(const StateLocation& location) {
  return location.text();
}

E invalid_path(std::string location, std::string_view path) {
  return E{std::move(location), std::string(path), E::InvalidPath{std::string(path)},
           hints::kInvalidPath};
}

E transition_not_found(std::string location, std::string_view target) {
  return E{std::move(location), std::string(target), E::TransitionNotFound{std::string(target)},
           std::nullopt};
}

std::string describe(const ChoiceOperator& op) {
  return std::visit(
      Overloaded{
          [](const NumericEqualsOp& o) { return "NumericEquals(" + std::to_string(o.value) + ")"; },
          [](const StringEqualsOp& o) { return "StringEquals(\"" + o.value + "\")"; },
          [](const BooleanEqualsOp& o) {
            return std::string(o.value ? "BooleanEquals(true)" : "BooleanEquals(false)");
          },
      },
      op);
}

Checked check_next_or_end(const StateLocation& location, const std::optional<std::string>& next,
                          bool end) {
  if (next && end) {
    return fail(E{location.text(), std::nullopt, E::NextAndEnd{}, hints::kNextAndEnd});
  }
  if (!next && !end) {
    return fail(E{location.text(), std::nullopt, E::NoNextOrEnd{}, hints::kNoNextOrEnd});
  }
  return {};
}

Checked check_jsonpath(const StateLocation& location, std::string_view field,
                       std::string_view path) {
  if (is_accepted_path(path)) return {};
  return validate_jsonpath(location.text(), field, path);
}

// InputPath, OutputPath and a ResultPath given as text; Task and Pass alike.
template <class State>
Checked check_paths(const StateLocation& location, const State& state) {
  if (state.input_path) VORN_TRY(check_jsonpath(location, "InputPath", *state.input_path));
  if (state.output_path) VORN_TRY(check_jsonpath(location, "OutputPath", *state.output_path));
  if (const auto* text = std::get_if<ResultPathText>(&state.result_path)) {
    VORN_TRY(check_jsonpath(location, "ResultPath", text->path));
  }
  return {};
}

template <class Location>
Checked check_template(const Location& state_location, std::string_view field,
                       const json::Value& template_value);

Checked check_task_fields(const StateLocation& location, const TaskStateAst& task) {
  if (task.resource.empty()) {
    return fail(E{location + ".Resource", "\"\"", E::EmptyResource{}, hints::kEmptyResource});
  }
  VORN_TRY(check_next_or_end(location, task.next, task.end));
  VORN_TRY(check_paths(location, task));
  if (task.parameters) VORN_TRY(check_template(location, "Parameters", *task.parameters));
  if (task.result_selector) {
    VORN_TRY(check_template(location, "ResultSelector", *task.result_selector));
  }
  return {};
}

Checked check_pass_fields(const StateLocation& location, const PassStateAst& pass) {
  VORN_TRY(check_next_or_end(location, pass.next, pass.end));
  VORN_TRY(check_paths(location, pass));
  if (pass.parameters) VORN_TRY(check_template(location, "Parameters", *pass.parameters));
  return {};
}

Checked check_fields(const StateLocation& location, const StateAst& state) {
  if (const auto* task = std::get_if<TaskStateAst>(&state)) {
    return check_task_fields(location, *task);
  }
  if (const auto* pass = std::get_if<PassStateAst>(&state)) {
    return check_pass_fields(location, *pass);
  }
  if (const auto* choice = std::get_if<ChoiceStateAst>(&state)) {
    if (choice->choices.empty()) {
      return fail(E{location + ".Choices", std::nullopt, E::EmptyChoices{}, hints::kEmptyChoices});
    }
  }
  return {};
}

Checked check_ref(const StateLocation& location, std::string_view field, std::string_view target,
                  const StateIndex& states) {
  if (states.contains(target)) return {};
  return fail(transition_not_found(location + "." + std::string(field), target));
}

Checked check_transitions(const StateLocation& location, const StateAst& state,
                          const StateIndex& states) {
  const std::optional<std::string>* next = nullptr;
  if (const auto* task = std::get_if<TaskStateAst>(&state)) next = &task->next;
  if (const auto* pass = std::get_if<PassStateAst>(&state)) next = &pass->next;
  if (next != nullptr && next->has_value()) {
    VORN_TRY(check_ref(location, "Next", **next, states));
  }
  if (const auto* choice = std::get_if<ChoiceStateAst>(&state)) {
    for (std::size_t i = 0; i < choice->choices.size(); ++i) {
      const std::string& target = choice->choices[i].next;
      if (!states.contains(target)) {
        return fail(transition_not_found(indexed(location + ".Choices", i) + ".Next", target));
      }
    }
    if (choice->default_) VORN_TRY(check_ref(location, "Default", *choice->default_, states));
  }
  return {};
}

// Two descriptions are equal exactly when the operators and their values
// are: each description spells its operator and the value in a form that
// tells every value apart. So most Choice states, which have few branches,
// compare operators directly and describe a branch only to report it.
constexpr std::size_t kDirectComparisonLimit = 16;

Checked check_branches(const StateLocation& location, const ChoiceStateAst& choice) {
  const bool direct = choice.choices.size() <= kDirectComparisonLimit;
  std::unordered_set<std::string> descriptions;
  for (std::size_t i = 0; i < choice.choices.size(); ++i) {
    const ChoiceRuleAst& rule = choice.choices[i];
    if (!is_accepted_path(rule.variable)) {
      return fail(E{indexed(location + ".Choices", i) + ".Variable", rule.variable,
                    E::InvalidVariable{rule.variable}, hints::kInvalidVariable});
    }
    bool repeated = false;
    if (direct) {
      for (std::size_t j = 0; j < i && !repeated; ++j) repeated = choice.choices[j].op == rule.op;
    } else {
      repeated = !descriptions.insert(describe(rule.op)).second;
    }
    if (repeated) {
      std::string description = describe(rule.op);
      return fail(E{indexed(location + ".Choices", i), description, E::DuplicateBranch{description},
                    hints::kDuplicateBranch});
    }
  }
  return {};
}

E empty_error_equals(std::string rule_location) {
  return E{std::move(rule_location) + ".ErrorEquals", "[]", E::EmptyErrorEquals{},
           hints::kEmptyErrorEquals};
}

Checked check_retry_and_catch(const StateLocation& location, const TaskStateAst& task,
                              const StateIndex& states) {
  for (std::size_t i = 0; i < task.retry.size(); ++i) {
    const RetryAst& retry = task.retry[i];
    if (retry.error_equals.empty()) {
      return fail(empty_error_equals(indexed(location + ".Retry", i)));
    }
    if (retry.max_attempts == 0u) {
      return fail(E{indexed(location + ".Retry", i) + ".MaxAttempts", "0", E::InvalidMaxAttempts{0},
                    hints::kInvalidMaxAttempts});
    }
    // Compared as the 32-bit float the rate became; NaN is not below 1.0 and passes.
    if (retry.backoff_rate && *retry.backoff_rate < 1.0f) {
      const float rate = *retry.backoff_rate;
      return fail(E{indexed(location + ".Retry", i) + ".BackoffRate", shortest_float_text(rate),
                    E::InvalidBackoffRate{rate}, hints::kInvalidBackoffRate});
    }
  }
  for (std::size_t i = 0; i < task.catch_.size(); ++i) {
    const CatchAst& catcher = task.catch_[i];
    if (catcher.error_equals.empty()) {
      return fail(empty_error_equals(indexed(location + ".Catch", i)));
    }
    if (!states.contains(catcher.next)) {
      return fail(transition_not_found(indexed(location + ".Catch", i) + ".Next", catcher.next));
    }
  }
  return {};
}

StateLocation state_location(const NamedState& state) {
  return StateLocation(state);
}

Checked check_static_data(const StateLocation& location, const PassStateAst& pass) {
  if (pass.result && !has_uniform_arrays(*pass.result)) {
    return fail(
        E{location + ".Result", std::nullopt, E::NonUniformArray{}, hints::kNonUniformArray});
  }
  // The template is plain data here, reference keys included.
  if (pass.parameters && !has_uniform_arrays(*pass.parameters)) {
    return fail(
        E{location + ".Parameters", std::nullopt, E::NonUniformArray{}, hints::kNonUniformArray});
  }
  return {};
}

Checked validate_keeping(const AslAst& ast, EncodedStaticData* keep) {
  if (ast.states.empty()) {
    return fail(E{"", std::nullopt, E::EmptyStates{}, hints::kEmptyStates});
  }
  const StateIndex states(ast);
  if (!states.contains(ast.start_at)) {
    return fail(
        E{"StartAt", ast.start_at, E::StartAtNotFound{ast.start_at}, hints::kStartAtNotFound});
  }
  for (const NamedState& named : ast.states) {
    VORN_TRY(check_fields(state_location(named), named.state));
  }
  for (const NamedState& named : ast.states) {
    VORN_TRY(check_transitions(state_location(named), named.state, states));
  }
  for (const NamedState& named : ast.states) {
    if (const auto* choice = std::get_if<ChoiceStateAst>(&named.state)) {
      VORN_TRY(check_branches(state_location(named), *choice));
    }
  }
  for (const NamedState& named : ast.states) {
    if (const auto* task = std::get_if<TaskStateAst>(&named.state)) {
      VORN_TRY(check_retry_and_catch(state_location(named), *task, states));
    }
  }
  for (const NamedState& named : ast.states) {
    if (const auto* pass = std::get_if<PassStateAst>(&named.state)) {
      VORN_TRY(check_static_data(state_location(named), *pass));
    }
  }
  return check_limits(ast, keep);
}

}  // namespace

Checked validate(const AslAst& ast) {
  return validate_keeping(ast, nullptr);
}

Checked validate(const AslAst& ast, EncodedStaticData& encoded) {
  return validate_keeping(ast, &encoded);
}

Checked validate_jsonpath(std::string_view prefix, std::string_view field, std::string_view path) {
  if (is_accepted_path(path)) return {};
  return fail(invalid_path(dotted({prefix, field}), path));
}

Checked validate_template(std::string_view state_location, std::string_view field,
                          const json::Value& template_value) {
  return check_template(state_location, field, template_value);
}

namespace {

template <class Location>
Checked check_template(const Location& state_location, std::string_view field,
                       const json::Value& template_value) {
  if (!template_value.is_object()) {
    return fail(E{dotted({location_text(state_location), field}), std::nullopt,
                  E::TemplateNotObject{}, hints::kTemplateNotObject});
  }
  const json::Object& object = template_value.as_object();
  for (const json::Member& member : object) {
    const std::string& key = member.key;
    if (!is_reference_key(key)) continue;
    if (!member.value.is_string()) {
      return fail(E{dotted({location_text(state_location), field, key}), std::nullopt,
                    E::InvalidTemplateReference{key, std::string(kReferenceNotString)},
                    hints::kInvalidTemplateReference});
    }
    const std::string& path = member.value.as_string();
    if (!is_accepted_path(path)) {
      return fail(invalid_path(dotted({location_text(state_location), field, key}), path));
    }
    const std::string_view plain = reference_base(key);
    if (object.contains(plain)) {
      return fail(E{dotted({location_text(state_location), field}), key,
                    E::ConflictingTemplateKeys{std::string(plain)},
                    hints::kConflictingTemplateKeys});
    }
  }
  return {};
}

}  // namespace

Checked check_state_ref(std::string_view state_location, std::string_view field,
                        std::string_view target, const AslAst& ast) {
  if (ast.has_state(target)) return {};
  return fail(transition_not_found(dotted({state_location, field}), target));
}

}  // namespace vorn::build
