// route_failure: where one failed attempt of a Task, Parallel or Map state
// leads, with retriers and catchers consulted in AWS's order: States.Runtime
// ends the run at once; otherwise the first matching retrier retries or, if
// exhausted, hands over to the catchers; a caught failure leaves the state
// with the catcher's output; anything else fails the execution (or the
// enclosing branch) with the failure unchanged.
//
// The interpreter calls it once per failed attempt with the counter of the
// current visit; the route owns its values.
#pragma once

#include <optional>
#include <span>

#include "aws_data/random_source.hpp"
#include "aws_data/value.hpp"
#include "aws_run/catch_policy.hpp"
#include "aws_run/retry_policy.hpp"
#include "aws_run/task_error.hpp"

namespace vorn::aws {

struct FailureRoute {
  enum class Kind : std::uint8_t {
    kRetry,  // wait retry.delay, then run the state again from its raw input
    kCatch,  // leave the state with caught->output, go to caught->next
    kFail,   // the failure ends the execution (or the branch)
  };
  Kind kind = Kind::kFail;
  RetryDecision retry;                // what the retriers decided, whatever the route
  std::optional<CatchOutcome> caught;  // kCatch only
  // kFail: the error to report. The attempt's own failure, or States.Runtime
  // when the catcher's ResultPath could not be applied.
  TaskError failure;
};

FailureRoute route_failure(std::span<const RetryRule> retriers, std::span<const CatchRule> catchers,
                           RetryCounter& visit, RandomSource& random, const Value& raw_input,
                           const TaskError& failure, const StateSite& site);

}  // namespace vorn::aws
