// Catch at run time: a state's catchers (CatchRule) and what taking one
// does: the error output {"Error", "Cause"} placed into the state's raw input
// by the catcher's ResultPath, which becomes the state's output on the way
// to the catcher's Next. The failed state's own ResultSelector, ResultPath
// and OutputPath play no part on this route.
//
// Plain owned data and pure functions; values returned share their nodes
// with the raw input.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "aws_data/json_path.hpp"
#include "aws_data/value.hpp"
#include "aws_run/error_matching.hpp"
#include "aws_run/task_error.hpp"
#include "base/result.hpp"

namespace vorn::aws {

struct CatchRule {
  ErrorEquals error_equals;
  std::string next;
  // Where the error output goes in the raw input: "$" (also when the
  // definition leaves ResultPath out) replaces it; std::nullopt stands for
  // ResultPath null, which drops the error and passes the raw input on.
  std::optional<JsonPath> result_path;
};

// The first catcher whose ErrorEquals matches, in array order; none for
// States.Runtime, whatever the catchers list.
std::optional<std::size_t> find_catcher(std::span<const CatchRule> rules, const TaskError& failure);

// {"Error": name, "Cause": cause}, both members always there and in that
// order; an absent name or cause is null, except that a timeout's absent
// cause reads "" (as AWS shows it to catchers).
Value error_output(const TaskError& failure);

// The state's output when `rule` catches `failure`. A ResultPath that cannot
// be applied to the raw input (a member step into a string, say) fails the
// execution with States.Runtime, its cause prefixed for `site`.
Result<Value, TaskError> caught_output(const CatchRule& rule, const Value& raw_input,
                                       const TaskError& failure, const StateSite& site);

struct CatchOutcome {
  std::size_t rule_index = 0;
  std::string next;  // the catcher's Next
  Value output;      // the state's output, the Next state's input
};

// Both steps at once: std::nullopt when no catcher applies (the failure then
// ends the execution, or the branch, unchanged).
Result<std::optional<CatchOutcome>, TaskError> catch_failure(std::span<const CatchRule> rules,
                                                             const Value& raw_input,
                                                             const TaskError& failure,
                                                             const StateSite& site);

}  // namespace vorn::aws
