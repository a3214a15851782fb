// Lowering a Choice state from the checked syntax tree into the ChoiceProgram
// the interpreter runs: each operator becomes a test kind and relation, its
// literal is prepared once (timestamps parsed, StringMatches patterns split)
// and every path is parsed.
//
// The tree is expected to have passed the checker; whatever it still gets
// wrong (a path that does not parse, a literal of the wrong type, a Not
// without exactly one rule, nesting deeper than kMaxChoiceNesting) comes
// back as an error naming the place, never as a broken program.
#pragma once

#include <cstddef>
#include <string>

#include "aws_build/choice_rule.hpp"
#include "aws_build/definition.hpp"
#include "aws_data/read.hpp"
#include "aws_run/choice_program.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// As deep as a rule read from JSON text can be nested.
inline constexpr std::size_t kMaxChoiceNesting = kMaxReadDepth;

Result<ChoiceProgram, std::string> lower_choice_state(const ChoiceState& state);

}  // namespace vorn::aws
