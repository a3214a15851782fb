// Lowering a Wait: each timing field becomes its run-time form, and a
// hand-built WaitState the checker never saw is reported, not trusted.
#include "aws_build/lower_wait.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorn::aws {
namespace {

TEST(LowerWait, EachTimingFieldLowers) {
  WaitState seconds;
  seconds.seconds = 7;
  auto lowered = lower_wait(seconds);
  ASSERT_TRUE(lowered.ok());
  EXPECT_EQ(std::get<WaitSeconds>(*lowered).seconds, 7);

  WaitState timestamp;
  timestamp.timestamp = "2016-03-05T21:29:29.243167252Z";
  lowered = lower_wait(timestamp);
  ASSERT_TRUE(lowered.ok());
  EXPECT_EQ(std::get<WaitUntil>(*lowered).timestamp, (Instant{1'457'213'369, 243'167'252}));

  WaitState seconds_path;
  seconds_path.seconds_path = "$.input.waitSeconds";
  lowered = lower_wait(seconds_path);
  ASSERT_TRUE(lowered.ok());
  EXPECT_EQ(std::get<WaitSecondsPath>(*lowered).path.text(), "$.input.waitSeconds");

  WaitState timestamp_path;
  timestamp_path.timestamp_path = "$.t";
  lowered = lower_wait(timestamp_path);
  ASSERT_TRUE(lowered.ok());
  EXPECT_EQ(std::get<WaitTimestampPath>(*lowered).path.text(), "$.t");
}

TEST(LowerWait, UncheckedStatesAreReported) {
  struct Case {
    std::string label;
    WaitState wait;
    std::string expected;
  };
  std::vector<Case> cases(5);
  cases[0].label = "no timing field";
  cases[0].expected =
      "exactly one of Seconds, Timestamp, SecondsPath and TimestampPath must be set";
  cases[1].label = "two timing fields";
  cases[1].wait.seconds = 1;
  cases[1].wait.seconds_path = "$.s";
  cases[1].expected = cases[0].expected;
  cases[2].label = "negative Seconds";
  cases[2].wait.seconds = -1;
  cases[2].expected = "Seconds: must not be negative";
  cases[3].label = "a timestamp without a zone";
  cases[3].wait.timestamp = "2016-12-05T21:29:29";
  cases[3].expected = "Timestamp: not an RFC 3339 timestamp: 2016-12-05T21:29:29";
  cases[4].label = "a context path";
  cases[4].wait.timestamp_path = "$$.Execution.StartTime";
  cases[4].expected = "TimestampPath: not a reference path: $$.Execution.StartTime";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto lowered = lower_wait(c.wait);
    ASSERT_FALSE(lowered.ok());
    EXPECT_EQ(lowered.error(), c.expected);
  }
}

}  // namespace
}  // namespace vorn::aws
