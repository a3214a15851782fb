#include "aws_build/lower_retry_catch.hpp"

namespace vorn::aws {

std::vector<RetryRule> lower_retry(std::span<const Retrier> retriers) {
  std::vector<RetryRule> rules;
  rules.reserve(retriers.size());
  for (const Retrier& retrier : retriers) {
    RetryRule rule;
    rule.error_equals = ErrorEquals(retrier.error_equals);
    rule.interval_seconds = retrier.interval_seconds;
    rule.max_attempts = retrier.max_attempts;
    rule.backoff_rate = retrier.backoff_rate;
    rule.max_delay_seconds = retrier.max_delay_seconds;
    rule.jitter = retrier.jitter == JitterStrategy::kFull ? Jitter::kFull : Jitter::kNone;
    rules.push_back(std::move(rule));
  }
  return rules;
}

Result<std::vector<CatchRule>, std::string> lower_catch(std::span<const Catcher> catchers) {
  std::vector<CatchRule> rules;
  rules.reserve(catchers.size());
  for (std::size_t i = 0; i < catchers.size(); ++i) {
    const Catcher& catcher = catchers[i];
    CatchRule rule;
    rule.error_equals = ErrorEquals(catcher.error_equals);
    rule.next = catcher.next;
    if (!catcher.result_path.is_null()) {
      const std::string_view text =
          catcher.result_path.has_path() ? std::string_view(catcher.result_path.text()) : "$";
      auto path = JsonPath::parse(text);
      if (!path.ok()) {
        return fail("Catch[" + std::to_string(i) + "].ResultPath: " + to_string(path.error()));
      }
      rule.result_path = std::move(path).value();
    }
    rules.push_back(std::move(rule));
  }
  return rules;
}

}  // namespace vorn::aws
