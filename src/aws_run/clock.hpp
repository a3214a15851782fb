// Instants and the clocks an execution reads them from.
//
// An Instant is a Timestamp (whole seconds since the Unix epoch plus
// nanoseconds), the type a Wait's Timestamp and the context object's times
// already use. Arithmetic on instants saturates at the ends of the range
// instead of overflowing, so a huge Wait or retry delay lands on the last
// representable instant rather than in the past.
//
// A Clock is owned by whoever starts the execution and borrowed by it; one
// thread reads and moves it. VirtualClock never sleeps: moving it is a jump,
// so waits, retry delays and timeouts cost nothing in tests. RealClock reads
// the system clock and sleeps.
#pragma once

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>

#include "aws_data/timestamp.hpp"

namespace vorn::aws {

using Instant = Timestamp;
using Duration = std::chrono::nanoseconds;

inline constexpr Instant kEarliestInstant{std::numeric_limits<std::int64_t>::min(), 0};
inline constexpr Instant kLatestInstant{std::numeric_limits<std::int64_t>::max(), 999'999'999};

// `at` moved by `delta`, clamped to [kEarliestInstant, kLatestInstant].
Instant add_duration(Instant at, Duration delta);
Instant add_seconds(Instant at, std::int64_t seconds);

// later - earlier, clamped to what a Duration holds (about +-292 years).
Duration duration_between(Instant earlier, Instant later);

// As AWS writes times in histories and the context object:
// "2024-01-01T00:00:00.000Z" (UTC, milliseconds, nanoseconds truncated).
inline std::string format_instant(Instant at) { return format_timestamp(at); }

class Clock {
 public:
  virtual ~Clock() = default;
  virtual Instant now() const = 0;
  // Returns once now() >= `wake` (at once when `wake` is not ahead).
  virtual void sleep_until(Instant wake) = 0;
};

class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(Instant start) : now_(start) {}
  Instant now() const override { return now_; }
  // Jumps to `wake`; time never runs backwards, so an earlier instant is a
  // no-op.
  void sleep_until(Instant wake) override { advance_to(wake); }
  void advance_to(Instant wake) {
    if (now_ < wake) now_ = wake;
  }
  void advance_by(Duration delta) { advance_to(add_duration(now_, delta)); }

 private:
  Instant now_;
};

class RealClock final : public Clock {
 public:
  // The system clock, held back when it is set backwards, so that the
  // timestamps of a history never decrease.
  Instant now() const override;
  // Sleeps in bounded slices, so a far-off instant cannot overflow the
  // system clock's own arithmetic.
  void sleep_until(Instant wake) override;

 private:
  mutable Instant latest_ = kEarliestInstant;
};

}  // namespace vorn::aws
