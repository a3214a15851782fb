#include "aws_run/retry_policy.hpp"

#include <cmath>

namespace vorn::aws {

namespace {

constexpr double kMaxDelayMillis = static_cast<double>(kMaxRetryDelay.count());

// Milliseconds, saturated: a rule built by hand rather than by the checker
// may hold a NaN or negative rate, which count as no wait, and an infinite or
// huge product stops at the ceiling.
RetryDelay saturated_millis(double millis) {
  if (!(millis > 0)) return RetryDelay{0};
  if (millis >= kMaxDelayMillis) return kMaxRetryDelay;
  return RetryDelay{std::llround(millis)};
}

}  // namespace

RetryDelay retry_delay(const RetryRule& rule, std::int64_t retry_number, RandomSource& random) {
  const double exponent = static_cast<double>(retry_number > 1 ? retry_number - 1 : 0);
  double seconds =
      static_cast<double>(rule.interval_seconds) * std::pow(rule.backoff_rate, exponent);
  if (rule.max_delay_seconds && seconds > static_cast<double>(*rule.max_delay_seconds)) {
    seconds = static_cast<double>(*rule.max_delay_seconds);
  }
  RetryDelay base = saturated_millis(seconds * 1000.0);
  if (rule.jitter != Jitter::kFull) return base;
  return saturated_millis(random.uniform01() * static_cast<double>(base.count()));
}

RetryDecision RetryCounter::on_failure(std::span<const RetryRule> rules, const TaskError& failure,
                                       RandomSource& random) {
  RetryDecision decision;
  if (is_uncatchable(failure)) {
    decision.outcome = RetryDecision::Outcome::kUncatchable;
    return decision;
  }
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const RetryRule& rule = rules[i];
    if (!rule.error_equals.matches(failure)) continue;
    decision.rule_index = i;
    if (used_.size() < rules.size()) used_.resize(rules.size(), 0);
    if (used_[i] >= rule.max_attempts) {
      decision.outcome = RetryDecision::Outcome::kExhausted;
      return decision;
    }
    ++used_[i];
    ++total_;
    decision.outcome = RetryDecision::Outcome::kRetry;
    decision.retry_number = used_[i];
    decision.delay = retry_delay(rule, used_[i], random);
    return decision;
  }
  return decision;
}

std::int64_t RetryCounter::retries_of(std::size_t index) const {
  return index < used_.size() ? used_[index] : 0;
}

}  // namespace vorn::aws
