#include "aws_run/clock.hpp"

#include <thread>

namespace vorn::aws {
namespace {

constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

// `seconds` + `nanos` (any sign) normalised, or the nearer end of the range.
Instant normalised(std::int64_t seconds, std::int64_t nanos) {
  std::int64_t carry = nanos / kNanosPerSecond;
  nanos %= kNanosPerSecond;
  if (nanos < 0) {
    nanos += kNanosPerSecond;
    --carry;
  }
  std::int64_t total = 0;
  if (__builtin_add_overflow(seconds, carry, &total)) {
    return carry < 0 ? kEarliestInstant : kLatestInstant;
  }
  return Instant{total, static_cast<std::uint32_t>(nanos)};
}

}  // namespace

Instant add_duration(Instant at, Duration delta) {
  // Whole seconds and the remainder apart, so no sum can overflow before the
  // final, checked one.
  const std::int64_t count = delta.count();
  const Instant moved =
      normalised(at.seconds, std::int64_t{at.nanos} + count % kNanosPerSecond);
  std::int64_t seconds = 0;
  if (__builtin_add_overflow(moved.seconds, count / kNanosPerSecond, &seconds)) {
    return count < 0 ? kEarliestInstant : kLatestInstant;
  }
  return Instant{seconds, moved.nanos};
}

Instant add_seconds(Instant at, std::int64_t seconds) {
  std::int64_t total = 0;
  if (__builtin_add_overflow(at.seconds, seconds, &total)) {
    return seconds < 0 ? kEarliestInstant : kLatestInstant;
  }
  return Instant{total, at.nanos};
}

Duration duration_between(Instant earlier, Instant later) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t seconds = 0;
  if (__builtin_sub_overflow(later.seconds, earlier.seconds, &seconds)) {
    return Duration(later < earlier ? kMin : kMax);
  }
  const std::int64_t nanos = std::int64_t{later.nanos} - std::int64_t{earlier.nanos};
  std::int64_t scaled = 0;
  std::int64_t total = 0;
  if (__builtin_mul_overflow(seconds, kNanosPerSecond, &scaled) ||
      __builtin_add_overflow(scaled, nanos, &total)) {
    return Duration(seconds < 0 ? kMin : kMax);
  }
  return Duration(total);
}

Instant RealClock::now() const {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const Instant reading =
      add_duration(Instant{}, std::chrono::duration_cast<Duration>(since_epoch));
  if (latest_ < reading) latest_ = reading;
  return latest_;
}

void RealClock::sleep_until(Instant wake) {
  constexpr Duration kSlice = std::chrono::hours(24);
  for (;;) {
    const Duration left = duration_between(now(), wake);
    if (left <= Duration::zero()) return;
    std::this_thread::sleep_for(left < kSlice ? left : kSlice);
  }
}

}  // namespace vorn::aws
