#include "aws_run/failure_route.hpp"

namespace vorn::aws {

FailureRoute route_failure(std::span<const RetryRule> retriers, std::span<const CatchRule> catchers,
                           RetryCounter& visit, RandomSource& random, const Value& raw_input,
                           const TaskError& failure, const StateSite& site) {
  FailureRoute route;
  route.retry = visit.on_failure(retriers, failure, random);
  if (route.retry.retry()) {
    route.kind = FailureRoute::Kind::kRetry;
    return route;
  }
  auto caught = catch_failure(catchers, raw_input, failure, site);
  if (!caught.ok()) {
    route.failure = std::move(caught).error();
    return route;
  }
  if (!caught.value()) {
    route.failure = failure;
    return route;
  }
  route.kind = FailureRoute::Kind::kCatch;
  route.caught = std::move(caught.value());
  return route;
}

}  // namespace vorn::aws
