// Lowering of a checked state's Retry and Catch into the run-time rules.
//
// The checker has already refused every malformed field, so lowering only
// translates; the one step that can still fail, parsing a catcher's
// ResultPath, reports instead of assuming (a Definition may also be built
// by hand).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "aws_build/definition.hpp"
#include "aws_run/catch_policy.hpp"
#include "aws_run/retry_policy.hpp"
#include "base/result.hpp"

namespace vorn::aws {

std::vector<RetryRule> lower_retry(std::span<const Retrier> retriers);

// Fails with "Catch[<i>].ResultPath: <why the path does not parse>".
Result<std::vector<CatchRule>, std::string> lower_catch(std::span<const Catcher> catchers);

}  // namespace vorn::aws
