// Retry at run time: a state's retriers (RetryRule, AWS's defaults filled
// in) and the counters of one visit of that state (RetryCounter).
//
// A RetryCounter belongs to one visit: the interpreter makes a fresh one each
// time the state is entered, so budgets reset when a loop comes back to the
// state, and keeps it across the attempts of that visit. It does not hold the
// rules; pass the same rules to every call. Delays come back as durations;
// waiting them is the caller's business (a virtual clock, or a real sleep).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "aws_data/random_source.hpp"
#include "aws_run/error_matching.hpp"
#include "aws_run/task_error.hpp"

namespace vorn::aws {

enum class Jitter : std::uint8_t { kNone, kFull };

struct RetryRule {
  ErrorEquals error_equals;
  std::int64_t interval_seconds = 1;
  std::int64_t max_attempts = 3;  // retries after the first attempt; 0 never retries
  double backoff_rate = 2.0;
  std::optional<std::int64_t> max_delay_seconds;  // no cap when absent
  Jitter jitter = Jitter::kNone;
};

// Retry delays are kept in milliseconds, the finest grain an execution
// history shows; AWS documents no rounding, so the exact delay is rounded to
// the nearest millisecond.
using RetryDelay = std::chrono::milliseconds;

// The longest delay ever returned: a century. Without MaxDelaySeconds,
// BackoffRate^n outgrows any clock within a few dozen retries; past the
// ceiling the delay saturates, so adding it to a clock reading cannot
// overflow (not even in nanoseconds), and no execution runs that long.
inline constexpr RetryDelay kMaxRetryDelay = std::chrono::hours(24 * 36'525);

// The wait before the `retry_number`-th retry a rule makes (1 for the first):
// IntervalSeconds x BackoffRate^(retry_number - 1), capped by
// MaxDelaySeconds, then with FULL jitter a uniform draw in [0, that]. Draws
// from `random` exactly once with FULL jitter and never without.
RetryDelay retry_delay(const RetryRule& rule, std::int64_t retry_number, RandomSource& random);

struct RetryDecision {
  enum class Outcome : std::uint8_t {
    kRetry,          // wait `delay`, then run the whole state again
    kUncatchable,    // States.Runtime: fail the execution, consult no catcher
    kNoRuleMatched,  // go to the catchers
    kExhausted,      // the first matching rule has no retries left: go to the catchers
  };
  Outcome outcome = Outcome::kNoRuleMatched;
  std::optional<std::size_t> rule_index;  // the rule that decided, when one matched
  std::int64_t retry_number = 0;          // kRetry: this rule's retries including this one
  RetryDelay delay{0};                    // kRetry only

  bool retry() const { return outcome == Outcome::kRetry; }
};

class RetryCounter {
 public:
  // Decides what one failed attempt leads to. The first rule whose
  // ErrorEquals matches decides, even when it is exhausted: later rules are
  // not consulted then. A retry is counted against that rule at once.
  RetryDecision on_failure(std::span<const RetryRule> rules, const TaskError& failure,
                           RandomSource& random);

  // Retries made in this visit by all rules together ($$.State.RetryCount).
  std::int64_t retry_count() const { return total_; }
  // Retries made in this visit by rule `index`.
  std::int64_t retries_of(std::size_t index) const;

  friend bool operator==(const RetryCounter&, const RetryCounter&) = default;

 private:
  std::vector<std::int64_t> used_;  // per rule; grown on first use
  std::int64_t total_ = 0;
};

}  // namespace vorn::aws
