// Lowering of a checked Wait state's timing field into its run-time form.
//
// The checker has refused every malformed Wait already; lowering still
// reports rather than assumes, because a Definition may be built by hand.
#pragma once

#include <string>

#include "aws_build/definition.hpp"
#include "aws_run/wait_evaluation.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// Fails with "<Field>: <why>" when the field's text does not parse, or when
// not exactly one of the four timing fields is set.
Result<WaitTiming, std::string> lower_wait(const WaitState& wait);

}  // namespace vorn::aws
