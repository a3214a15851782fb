#include "aws_run/catch_policy.hpp"

#include <vector>

#include "aws_data/placement.hpp"

namespace vorn::aws {

std::optional<std::size_t> find_catcher(std::span<const CatchRule> rules,
                                        const TaskError& failure) {
  if (is_uncatchable(failure)) return std::nullopt;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    if (rules[i].error_equals.matches(failure)) return i;
  }
  return std::nullopt;
}

Value error_output(const TaskError& failure) {
  Value error = failure.error ? Value::string(*failure.error) : Value::null();
  Value cause;
  if (failure.cause) {
    cause = Value::string(*failure.cause);
  } else if (failure.error == error_name::kTimeout) {
    cause = Value::string("");
  }
  std::vector<Member> members;
  members.reserve(2);
  members.push_back(Member{"Error", std::move(error)});
  members.push_back(Member{"Cause", std::move(cause)});
  return Value::object(std::move(members));
}

Result<Value, TaskError> caught_output(const CatchRule& rule, const Value& raw_input,
                                       const TaskError& failure, const StateSite& site) {
  if (!rule.result_path) return raw_input;
  auto placed = place(raw_input, *rule.result_path, error_output(failure));
  if (!placed.ok()) {
    TaskError runtime = runtime_error(site, to_string(placed.error()));
    runtime.error = std::string(kPlacementErrorName);
    return fail(std::move(runtime));
  }
  return std::move(placed).value();
}

Result<std::optional<CatchOutcome>, TaskError> catch_failure(std::span<const CatchRule> rules,
                                                             const Value& raw_input,
                                                             const TaskError& failure,
                                                             const StateSite& site) {
  const std::optional<std::size_t> index = find_catcher(rules, failure);
  if (!index) return std::optional<CatchOutcome>();
  const CatchRule& rule = rules[*index];
  VORN_TRY_ASSIGN(Value output, caught_output(rule, raw_input, failure, site));
  return std::optional<CatchOutcome>(CatchOutcome{*index, rule.next, std::move(output)});
}

}  // namespace vorn::aws
