// Time arithmetic at the edges, where a wrong borrow or an overflow would
// put a wake-up in the past, and the virtual clock's one promise: it never
// runs backwards.
#include "aws_run/clock.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace vorn::aws {
namespace {

using std::chrono::nanoseconds;
using std::chrono::seconds;
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(Clock, InstantArithmeticSaturates) {
  struct Case {
    std::string label;
    Instant at;
    Duration delta;
    Instant expected;
  };
  const std::vector<Case> cases = {
      {"nanoseconds carry into seconds", {10, 999'999'999}, nanoseconds(2), {11, 1}},
      {"a negative delta borrows", {10, 1}, nanoseconds(-2), {9, 999'999'999}},
      {"whole negative seconds", {10, 5}, seconds(-20), {-10, 5}},
      {"past the last instant", {kMax - 1, 0}, seconds(5), kLatestInstant},
      {"the carry alone overflows", {kMax, 999'999'999}, nanoseconds(1), kLatestInstant},
      {"before the first instant", {kMin + 1, 0}, seconds(-5), kEarliestInstant},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(add_duration(c.at, c.delta), c.expected);
  }
  EXPECT_EQ(add_seconds({kMax - 1, 7}, 2), kLatestInstant);
  EXPECT_EQ(add_seconds({kMin + 1, 7}, -2), kEarliestInstant);
}

TEST(Clock, DurationBetweenClampsToItsRange) {
  EXPECT_EQ(duration_between({10, 999'999'999}, {11, 1}), nanoseconds(2));
  EXPECT_EQ(duration_between({11, 1}, {10, 999'999'999}), nanoseconds(-2));
  EXPECT_EQ(duration_between(kEarliestInstant, kLatestInstant), Duration::max());
  EXPECT_EQ(duration_between(kLatestInstant, kEarliestInstant), Duration::min());
  EXPECT_EQ(duration_between({0, 0}, {400LL * 365 * 86'400, 0}), Duration::max());
}

TEST(Clock, VirtualClockJumpsForwardOnly) {
  VirtualClock clock(Instant{100, 0});
  clock.sleep_until(Instant{200, 5});
  EXPECT_EQ(clock.now(), (Instant{200, 5}));
  clock.advance_to(Instant{150, 0});
  EXPECT_EQ(clock.now(), (Instant{200, 5}));
  clock.advance_by(seconds(-10));
  EXPECT_EQ(clock.now(), (Instant{200, 5}));
  clock.advance_by(Duration::max());
  clock.advance_by(Duration::max());
  EXPECT_GT(clock.now(), (Instant{200, 5}));
}

}  // namespace
}  // namespace vorn::aws
