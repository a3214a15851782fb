// Evaluating a Choice state: which of its choices the state's effective input
// selects, or the failure AWS Step Functions ends the state with.
//
// Choices are tried in order and the first whose rule holds wins; And and Or
// stop at the first rule that settles them, so a rule after that is never
// read (a missing Variable there fails nothing). A comparison against a value
// of the wrong type is false, never an error. Paths starting with "$$" read
// the context object.
//
// Failures carry AWS's error name and the cause text that follows the
// "An error occurred while executing the state ..." prefix; the interpreter,
// which knows the state's name and entry event, adds the prefix.
// Evaluation is deterministic and keeps no state between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "aws_data/value.hpp"
#include "aws_run/choice_program.hpp"
#include "base/result.hpp"

namespace vorn::aws {

inline constexpr std::string_view kNoChoiceMatchedError = "States.NoChoiceMatched";
inline constexpr std::string_view kChoiceRuntimeError = "States.Runtime";

struct ChoiceFailure {
  std::string error;  // kChoiceRuntimeError or kNoChoiceMatchedError
  std::string cause;  // without the state's prefix
  friend bool operator==(const ChoiceFailure&, const ChoiceFailure&) = default;
};

struct ChoiceDecision {
  static constexpr std::size_t kDefault = SIZE_MAX;
  std::size_t choice = kDefault;  // the index in program.choices(), or kDefault
  // The state to go to: the choice's Next or the Default. Points into the
  // program, which must outlive it.
  std::string_view next;
};

Result<ChoiceDecision, ChoiceFailure> evaluate_choices(const ChoiceProgram& program,
                                                       const Value& input, const Value& context);

// Whether the rule of choice `index` holds; for a caller that reports each
// rule on its own (an inspection of one state). An index past the last
// choice names no rule, which does not hold.
Result<bool, ChoiceFailure> evaluate_choice_rule(const ChoiceProgram& program, std::size_t index,
                                                 const Value& input, const Value& context);

// The cause of a Variable or ...Path operand that does not resolve.
std::string unresolved_choice_path_cause(std::string_view path);
// The cause when no choice matched and the state has no Default.
std::string_view no_choice_matched_cause();

}  // namespace vorn::aws
