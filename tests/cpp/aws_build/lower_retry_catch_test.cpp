// Lowering Retry and Catch: what the checker filled in (AWS's defaults, the
// three meanings of a catcher's ResultPath) must reach the run-time rules.
#include "aws_build/lower_retry_catch.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aws_build/check.hpp"

namespace vorn::aws {
namespace {

const TaskState& only_task(const CheckOutcome& outcome) {
  return std::get<TaskState>(outcome.definition->scope.states.at(0).fields);
}

std::string describe(const RetryRule& r) {
  std::string names;
  for (const std::string& name : r.error_equals.entries()) names += name + ",";
  return names + " interval " + std::to_string(r.interval_seconds) + " max " +
         std::to_string(r.max_attempts) + " rate " + std::to_string(r.backoff_rate) + " cap " +
         (r.max_delay_seconds ? std::to_string(*r.max_delay_seconds) : "none") +
         (r.jitter == Jitter::kFull ? " FULL" : " NONE");
}

std::string describe(const CatchRule& c) {
  std::string names;
  for (const std::string& name : c.error_equals.entries()) names += name + ",";
  return names + " -> " + c.next + " at " +
         (c.result_path ? std::string(c.result_path->text()) : "null");
}

TEST(LowerRetryCatch, CarriesDefaultsAndResultPathKinds) {
  const CheckOutcome outcome = check_definition(R"({"StartAt":"T","States":{
    "T":{"Type":"Task","Resource":"arn:aws:lambda:us-east-1:000000000000:function:f","End":true,
      "Retry":[{"ErrorEquals":["ErrorA","ErrorB"]},
               {"ErrorEquals":["States.ALL"],"IntervalSeconds":3,"MaxAttempts":0,
                "BackoffRate":1.5,"MaxDelaySeconds":5,"JitterStrategy":"FULL"}],
      "Catch":[{"ErrorEquals":["States.Timeout"],"Next":"A"},
               {"ErrorEquals":["States.TaskFailed"],"Next":"B","ResultPath":null},
               {"ErrorEquals":["States.ALL"],"Next":"C","ResultPath":"$.error.detail"}]},
    "A":{"Type":"Succeed"},"B":{"Type":"Succeed"},"C":{"Type":"Succeed"}}})");
  ASSERT_TRUE(outcome.definition.has_value());
  const TaskState& task = only_task(outcome);

  std::vector<std::string> retry;
  for (const RetryRule& rule : lower_retry(task.retry)) retry.push_back(describe(rule));
  EXPECT_EQ(retry, (std::vector<std::string>{
                       "ErrorA,ErrorB, interval 1 max 3 rate 2.000000 cap none NONE",
                       "States.ALL, interval 3 max 0 rate 1.500000 cap 5 FULL"}));

  auto catchers = lower_catch(task.catch_);
  ASSERT_TRUE(catchers.ok()) << catchers.error();
  std::vector<std::string> catch_;
  for (const CatchRule& rule : *catchers) catch_.push_back(describe(rule));
  EXPECT_EQ(catch_, (std::vector<std::string>{"States.Timeout, -> A at $",
                                              "States.TaskFailed, -> B at null",
                                              "States.ALL, -> C at $.error.detail"}));
  // The wildcards survive lowering as wildcards, not as plain names.
  EXPECT_TRUE((*catchers)[2].error_equals.matches(TaskError{std::nullopt, std::nullopt}));
  EXPECT_FALSE((*catchers)[1].error_equals.matches(task_timed_out()));
}

TEST(LowerRetryCatch, ReportsAResultPathThatDoesNotParse) {
  const std::vector<Catcher> catchers = {
      Catcher{{"States.ALL"}, "A", PathField::path("$.ok")},
      Catcher{{"States.ALL"}, "B", PathField::path("$.")},
  };
  auto lowered = lower_catch(catchers);
  ASSERT_FALSE(lowered.ok());
  EXPECT_EQ(lowered.error(), "Catch[1].ResultPath: expected a member name at position 2");
}

}  // namespace
}  // namespace vorn::aws
