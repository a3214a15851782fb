// Retry and Catch at run time, family by family: which names a rule
// matches, which rule decides and when retrying stops, the delays, the
// seeded jitter, which catcher is taken and the exact output it builds.
#include <gtest/gtest.h>

#include <cctype>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "aws_data/random_source.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"
#include "aws_run/catch_policy.hpp"
#include "aws_run/error_matching.hpp"
#include "aws_run/failure_route.hpp"
#include "aws_run/retry_policy.hpp"
#include "aws_run/task_error.hpp"

namespace vorn::aws {
namespace {

using std::chrono::milliseconds;
using Names = std::vector<std::string>;

const std::optional<std::string> kNoName;

TaskError named(std::optional<std::string> error) { return TaskError{std::move(error), "c"}; }

TEST(ErrorEquals, MatchesAsAwsDoes) {
  struct Case {
    Names entries;
    std::optional<std::string> error;
    bool expected;
  };
  const std::vector<Case> cases = {
      {{"Exception"}, "Exception", true},
      {{"Exception"}, "exception", false},
      {{"Lambda.Unknown"}, "Exception", false},
      {{"States.ALL"}, "Exception", true},
      {{"States.ALL"}, kNoName, true},
      {{"States.ALL"}, "States.Timeout", true},
      {{"States.ALL"}, "States.DataLimitExceeded", true},
      {{"States.ALL"}, "States.Runtime", false},
      {{"States.TaskFailed"}, "Exception", true},
      {{"States.TaskFailed"}, "Lambda.ResourceNotFoundException", true},
      {{"States.TaskFailed"}, "States.DataLimitExceeded", true},
      {{"States.TaskFailed"}, "States.TaskFailed", true},
      {{"States.TaskFailed"}, kNoName, true},
      {{"States.TaskFailed"}, "States.Timeout", false},
      {{"States.TaskFailed"}, "States.Runtime", false},
      {{"States.TaskFailed", "States.Timeout"}, "States.Timeout", true},
      {{"States.Timeout"}, "States.Timeout", true},
      {{"States.HeartbeatTimeout"}, "States.Timeout", false},
      {{"States.Runtime"}, "States.Runtime", false},
      {{"States.Runtime", "Exception"}, "Exception", true},
      {{"State.ALL"}, "Exception", false},
      {{"State.ALL"}, kNoName, false},
      {{"*"}, "Exception", false},
      {{"*"}, "*", true},
      {{}, "Exception", false},
  };
  for (const Case& c : cases) {
    const ErrorEquals rule(c.entries);
    EXPECT_EQ(rule.matches(named(c.error)), c.expected)
        << testing::PrintToString(c.entries) << " vs " << c.error.value_or("(absent)");
  }
}

RetryRule retrier(Names names, std::int64_t interval = 1, std::int64_t max_attempts = 3,
                  double backoff = 2.0, std::optional<std::int64_t> max_delay = std::nullopt,
                  Jitter jitter = Jitter::kNone) {
  return RetryRule{ErrorEquals(std::move(names)), interval, max_attempts, backoff, max_delay,
                   jitter};
}

std::string describe(const RetryDecision& d) {
  const std::string rule = d.rule_index ? " r" + std::to_string(*d.rule_index) : "";
  switch (d.outcome) {
    case RetryDecision::Outcome::kRetry:
      return "retry" + rule + " #" + std::to_string(d.retry_number) + " after " +
             std::to_string(d.delay.count()) + "ms";
    case RetryDecision::Outcome::kExhausted: return "exhausted" + rule;
    case RetryDecision::Outcome::kNoRuleMatched: return "no rule";
    case RetryDecision::Outcome::kUncatchable: return "uncatchable";
  }
  return "?";
}

// One visit of a state whose attempts fail with `failures`, one by one; each
// line is what the counter decided and the RetryCount the attempt ran with.
TEST(RetryCounter, FirstMatchingRuleDecides) {
  struct Case {
    std::string label;
    std::vector<RetryRule> rules;
    std::vector<std::optional<std::string>> failures;
    Names expected;
  };
  const std::vector<Case> cases = {
      {"States.ALL x3: four attempts",
       {retrier({"States.ALL"})},
       {"Exception", "Exception", "Exception", "Exception"},
       {"0: retry r0 #1 after 1000ms", "1: retry r0 #2 after 2000ms",
        "2: retry r0 #3 after 4000ms", "3: exhausted r0"}},
      {"no jitter, flat rate, capped",
       {retrier({"States.ALL"}, 1, 2, 1.0, 3)},
       {"Exception", "Exception", "Exception"},
       {"0: retry r0 #1 after 1000ms", "1: retry r0 #2 after 1000ms", "2: exhausted r0"}},
      {"MaxAttempts 0 never retries", {retrier({"States.ALL"}, 1, 0)}, {"Exception"},
       {"0: exhausted r0"}},
      {"empty Retry", {}, {"Exception"}, {"0: no rule"}},
      {"misspelt wildcard and an unmatched name are skipped",
       {retrier({"NoSuchError"}, 1, 1), retrier({"State.ALL"}, 1, 2),
        retrier({"HandleItemFailError"}, 1, 3)},
       {"HandleItemFailError", "HandleItemFailError", "HandleItemFailError",
        "HandleItemFailError"},
       {"0: retry r2 #1 after 1000ms", "1: retry r2 #2 after 2000ms",
        "2: retry r2 #3 after 4000ms", "3: exhausted r2"}},
      {"Fail error from a branch", {retrier({"FailureType"}, 1, 2)},
       {"FailureType", "FailureType", "FailureType"},
       {"0: retry r0 #1 after 1000ms", "1: retry r0 #2 after 2000ms", "2: exhausted r0"}},
      {"shared budget, exhausted rule stops the walk",
       {retrier({"ErrorA", "ErrorB"}, 1, 2, 2.0), retrier({"ErrorC"}, 5),
        retrier({"ErrorB"}, 1, 5)},
       {"ErrorA", "ErrorB", "ErrorC", "ErrorB"},
       {"0: retry r0 #1 after 1000ms", "1: retry r0 #2 after 2000ms",
        "2: retry r1 #1 after 5000ms", "3: exhausted r0"}},
      {"retry everything but timeouts",
       {retrier({"States.Timeout"}, 1, 0), retrier({"States.ALL"})},
       {"Exception", "States.Timeout"},
       {"0: retry r1 #1 after 1000ms", "1: exhausted r0"}},
      {"States.Runtime is never retried",
       {retrier({"States.Runtime"}), retrier({"States.ALL"})},
       {"States.Runtime"},
       {"0: uncatchable"}},
      {"absent name is retried by States.ALL", {retrier({"States.ALL"}, 2, 1)}, {kNoName, kNoName},
       {"0: retry r0 #1 after 2000ms", "1: exhausted r0"}},
      {"unmatched error leaves budgets alone", {retrier({"ErrorA"}, 1, 1)},
       {"ErrorB", "ErrorA", "ErrorA"},
       {"0: no rule", "0: retry r0 #1 after 1000ms", "1: exhausted r0"}},
  };
  for (const Case& c : cases) {
    RetryCounter counter;
    RandomSource random(7);
    Names lines;
    for (const auto& error : c.failures) {
      const std::int64_t count_before = counter.retry_count();
      lines.push_back(std::to_string(count_before) + ": " +
                      describe(counter.on_failure(c.rules, named(error), random)));
    }
    EXPECT_EQ(lines, c.expected) << c.label;
  }
}

TEST(RetryDelay, GrowsByBackoffAndStopsAtTheCap) {
  struct Case {
    std::string label;
    RetryRule rule;
    std::vector<std::int64_t> retry_numbers;
    std::vector<milliseconds> expected;
  };
  const milliseconds kCeiling = kMaxRetryDelay;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Case> cases = {
      {"3 s, x1.5", retrier({"E"}, 3, 2, 1.5), {1, 2}, {milliseconds(3000), milliseconds(4500)}},
      {"3 s, x2",
       retrier({"E"}, 3, 3, 2.0),
       {1, 2, 3},
       {milliseconds(3000), milliseconds(6000), milliseconds(12000)}},
      {"3 s, x2, at most 5 s",
       retrier({"E"}, 3, 3, 2.0, 5),
       {1, 2, 3},
       {milliseconds(3000), milliseconds(5000), milliseconds(5000)}},
      {"rounded to the millisecond", retrier({"E"}, 1, 3, 1.1), {3}, {milliseconds(1210)}},
      {"huge powers saturate", retrier({"E"}, 99'999'999, 99'999'999, 1e300), {3, 99'999'999},
       {kCeiling, kCeiling}},
      {"huge powers still capped by MaxDelaySeconds",
       retrier({"E"}, 1, 99'999'999, 2.0, 31'622'400),
       {99'999'999},
       {milliseconds(31'622'400'000)}},
      {"a rate that is not a number waits nothing", retrier({"E"}, 1, 3, nan), {2},
       {milliseconds(0)}},
  };
  for (const Case& c : cases) {
    RandomSource random(1);
    std::vector<milliseconds> delays;
    for (std::int64_t n : c.retry_numbers) delays.push_back(retry_delay(c.rule, n, random));
    EXPECT_EQ(delays, c.expected) << c.label;
    EXPECT_EQ(random, RandomSource(1)) << c.label << ": drew without jitter";
  }
}

TEST(RetryDelay, FullJitterStaysWithinTheCappedBaseAndReplaysPerSeed) {
  const RetryRule rule = retrier({"States.ALL"}, 3, 2, 2.0, 5, Jitter::kFull);
  const std::vector<milliseconds> bases = {milliseconds(3000), milliseconds(5000),
                                           milliseconds(5000), milliseconds(5000)};
  std::vector<std::vector<milliseconds>> runs;
  for (std::uint64_t seed : {0ULL, 1ULL, 2ULL, 42ULL, 0xFFFFFFFFFFFFFFFFULL}) {
    RandomSource random(seed);
    const RandomSource start = random;
    std::vector<milliseconds> delays;
    for (std::int64_t n = 1; n <= 4; ++n) {
      const milliseconds delay = retry_delay(rule, n, random);
      EXPECT_GE(delay, milliseconds(0)) << "seed " << seed;
      EXPECT_LE(delay, bases[n - 1]) << "seed " << seed;
      delays.push_back(delay);
    }
    RandomSource replay = start;
    for (std::int64_t n = 1; n <= 4; ++n) {
      EXPECT_EQ(retry_delay(rule, n, replay), delays[n - 1]) << "seed " << seed;
    }
    runs.push_back(delays);
  }
  for (std::size_t i = 1; i < runs.size(); ++i) EXPECT_NE(runs[i], runs[0]);
}

TEST(RandomSource, IsXoshiro256StarStarSeededBySplitmix64) {
  RandomSource zero(0);
  EXPECT_EQ(zero.next_u64(), 0x99ec5f36cb75f2b4ULL);
  EXPECT_EQ(zero.next_u64(), 0xbf6e1f784956452aULL);
  EXPECT_EQ(zero.next_u64(), 0x1a5f849d4933e6e0ULL);
  RandomSource answer(42);
  EXPECT_EQ(answer.next_u64(), 0x15780b2e0c2ec716ULL);
  EXPECT_EQ(answer.next_u64(), 0x6104d9866d113a7eULL);

  RandomSource random(3);
  for (int i = 0; i < 1000; ++i) {
    const double u = random.uniform01();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
  }
}

TEST(RandomSource, UuidsAreVersion4AndReplay) {
  RandomSource random(9);
  RandomSource replay = random;
  const std::string first = random_uuid(random);
  EXPECT_EQ(first, random_uuid(replay));
  EXPECT_NE(first, random_uuid(random));
  // Hex digits in the 8-4-4-4-12 groups, version and variant nibbles in place.
  for (int i = 0; i < 4; ++i) {
    const std::string uuid = random_uuid(random);
    std::string shape = uuid;
    for (char& ch : shape) {
      if (std::isdigit(static_cast<unsigned char>(ch)) || (ch >= 'a' && ch <= 'f')) ch = 'h';
    }
    EXPECT_EQ(shape, "hhhhhhhh-hhhh-hhhh-hhhh-hhhhhhhhhhhh") << uuid;
    EXPECT_EQ(uuid[14], '4') << uuid;
    EXPECT_NE(std::string("89ab").find(uuid[19]), std::string::npos) << uuid;
  }
}

CatchRule catcher(Names names, std::string next, std::optional<std::string> result_path = "$") {
  CatchRule rule{ErrorEquals(std::move(names)), std::move(next), std::nullopt};
  if (result_path) rule.result_path = JsonPath::parse(*result_path).value();
  return rule;
}

std::string caught_by(const std::vector<CatchRule>& rules, const TaskError& failure) {
  const auto index = find_catcher(rules, failure);
  return index ? rules[*index].next : "(none)";
}

TEST(FindCatcher, TakesTheFirstMatchingCatcher) {
  const std::vector<CatchRule> three = {catcher({"Lambda.Unknown"}, "A"),
                                        catcher({"States.TaskFailed"}, "B"),
                                        catcher({"States.ALL"}, "C")};
  struct Case {
    std::vector<CatchRule> rules;
    std::optional<std::string> error;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {three, "Exception", "B"},
      {three, "Lambda.ResourceNotFoundException", "B"},
      {three, "Lambda.Unknown", "A"},
      {three, "States.Timeout", "C"},
      {three, kNoName, "B"},
      {three, "States.Runtime", "(none)"},
      {{catcher({"CustomException"}, "ErrorMatched")}, "CustomException", "ErrorMatched"},
      {{catcher({"Lambda.Unknown"}, "A")}, "Exception", "(none)"},
      {{catcher({"States.Runtime"}, "R")}, "States.Runtime", "(none)"},
      {{catcher({"States.Runtime"}, "R"), catcher({"States.ALL"}, "All")}, kNoName, "All"},
      {{catcher({"Internal Error"}, "I"), catcher({"State.ALL"}, "S")}, kNoName, "(none)"},
      {{catcher({"States.ALL"}, "All")}, "States.DataLimitExceeded", "All"},
      {{catcher({"States.DataLimitExceeded"}, "D"), catcher({"States.ALL"}, "All")},
       "States.DataLimitExceeded", "D"},
      {{catcher({"States.Timeout"}, "T")}, "States.Timeout", "T"},
      {{}, "Exception", "(none)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(caught_by(c.rules, named(c.error)), c.expected) << c.error.value_or("(absent)");
  }
}

// The whole route: one catcher for everything, placed by the ResultPath
// given, into the raw input given; the state's output as compact JSON.
TEST(CatchFailure, PlacesTheErrorOutputIntoTheRawInput) {
  struct Case {
    std::string label;
    std::string raw_input;
    std::optional<std::string> result_path;
    TaskError failure;
    std::string expected;  // output JSON, or "error: <error> | <cause>"
  };
  const std::string lambda_cause =
      R"({"errorMessage": "Some exception was raised.", "errorType": "Exception", )"
      R"("requestId": "r", "stackTrace": []})";
  const std::vector<Case> cases = {
      {"default replaces the input", R"({"FunctionName":"f","Payload":null})", "$",
       {"Exception", lambda_cause},
       R"({"Error":"Exception","Cause":"{\"errorMessage\": \"Some exception was raised.\", )"
       R"(\"errorType\": \"Exception\", \"requestId\": \"r\", \"stackTrace\": []}"})"},
      {"neither name nor cause", R"({"QueueUrl":"q","Message":"test_message_txt"})",
       "$.states_all_error", {std::nullopt, std::nullopt},
       R"({"QueueUrl":"q","Message":"test_message_txt","states_all_error":)"
       R"({"Error":null,"Cause":null}})"},
      {"timeout's absent cause reads empty", R"({"Payload":null})", "$", task_timed_out(),
       R"({"Error":"States.Timeout","Cause":""})"},
      {"timeout placed below the input", R"({"a":1})", "$.error", task_timed_out(),
       R"({"a":1,"error":{"Error":"States.Timeout","Cause":""}})"},
      {"timeout with a cause keeps it", R"({})", "$", {"States.Timeout", "late"},
       R"({"Error":"States.Timeout","Cause":"late"})"},
      {"name without cause", R"({})", "$", {"HandleItemFailError", std::nullopt},
       R"({"Error":"HandleItemFailError","Cause":null})"},
      {"oversize result", R"({})", "$", data_limit_exceeded("arn:f"),
       R"({"Error":"States.DataLimitExceeded","Cause":"The state/task 'arn:f' returned a )"
       R"(result with a size exceeding the maximum number of bytes service limit."})"},
      {"null drops the error", R"({"a":[1,2.0]})", std::nullopt, {"E", "c"}, R"({"a":[1,2.0]})"},
      {"missing objects are created", R"({"x":1})", "$.a.b", {"E", "c"},
       R"({"x":1,"a":{"b":{"Error":"E","Cause":"c"}}})"},
      {"an existing member is replaced in place", R"({"err":0,"k":1})", "$.err", {"E", "c"},
       R"({"err":{"Error":"E","Cause":"c"},"k":1})"},
      {"non-object input replaced whole", R"("text")", "$", {"E", "c"},
       R"({"Error":"E","Cause":"c"})"},
      {"placing into a string fails the execution", R"("text")", "$.err", {"E", "c"},
       "error: States.Runtime | An error occurred while executing the state 'Task' (entered at "
       "the event id #5). Invalid path '$.err' : Expected to find an object with property "
       "['err'] in path $ but found a string"},
      {"States.Runtime is never caught", R"({})", "$", {"States.Runtime", "x"}, "(not caught)"},
  };
  const StateSite site{"Task", 5};
  for (const Case& c : cases) {
    const std::vector<CatchRule> rules = {catcher({"States.ALL"}, "Next", c.result_path)};
    const Value raw_input = read_json(c.raw_input).value();
    const auto outcome = catch_failure(rules, raw_input, c.failure, site);
    std::string got;
    if (!outcome.ok()) {
      got = "error: " + outcome.error().error.value_or("") + " | " +
            outcome.error().cause.value_or("");
    } else if (!outcome.value()) {
      got = "(not caught)";
    } else {
      EXPECT_EQ(outcome.value()->next, "Next") << c.label;
      EXPECT_EQ(outcome.value()->rule_index, 0u) << c.label;
      got = write_json(outcome.value()->output);
    }
    EXPECT_EQ(got, c.expected) << c.label;
    EXPECT_EQ(write_json(raw_input), write_json(read_json(c.raw_input).value()))
        << c.label << ": the raw input changed";
  }
}

std::string describe(const FailureRoute& route) {
  switch (route.kind) {
    case FailureRoute::Kind::kRetry:
      return "retry after " + std::to_string(route.retry.delay.count()) + "ms";
    case FailureRoute::Kind::kCatch:
      return "catch -> " + route.caught->next + " " + write_json(route.caught->output);
    case FailureRoute::Kind::kFail:
      return "fail " + route.failure.error.value_or("(absent)") + " | " +
             route.failure.cause.value_or("(absent)");
  }
  return "?";
}

// Every attempt of one visit fails as listed; each line is where it led.
TEST(RouteFailure, RetriesThenCatchesOrFails) {
  struct Case {
    std::string label;
    std::vector<RetryRule> retriers;
    std::vector<CatchRule> catchers;
    std::string raw_input;
    std::vector<TaskError> failures;
    Names expected;
  };
  const TaskError exception{"Exception", "boom"};
  const std::vector<Case> cases = {
      {"retried three times, then caught with the last failure",
       {retrier({"States.ALL"}, 1, 3)},
       {catcher({"States.ALL"}, "HandleError")},
       R"({"in":1})",
       {{"Exception", "1st"}, {"Exception", "2nd"}, {"Exception", "3rd"}, {"Exception", "4th"}},
       {"retry after 1000ms", "retry after 2000ms", "retry after 4000ms",
        R"(catch -> HandleError {"Error":"Exception","Cause":"4th"})"}},
      {"exhausted retrier hands over to the catchers",
       {retrier({"ErrorA", "ErrorB"}, 1, 2, 2.0), retrier({"ErrorC"}, 5)},
       {catcher({"States.ALL"}, "Z", "$.error")},
       R"({"in":1})",
       {{"ErrorA", "a"}, {"ErrorB", "b"}, {"ErrorC", "c"}, {"ErrorB", "b2"}},
       {"retry after 1000ms", "retry after 2000ms", "retry after 5000ms",
        R"(catch -> Z {"in":1,"error":{"Error":"ErrorB","Cause":"b2"}})"}},
      {"uncaught failure ends the run unchanged",
       {retrier({"States.ALL"}, 1, 2)},
       {catcher({"Lambda.Unknown"}, "A")},
       R"({})",
       {exception, exception, exception},
       {"retry after 1000ms", "retry after 2000ms", "fail Exception | boom"}},
      {"no catcher matches an empty Fail",
       {},
       {catcher({"Internal Error"}, "I"), catcher({"State.ALL"}, "S")},
       R"({})",
       {{std::nullopt, std::nullopt}},
       {"fail (absent) | (absent)"}},
      {"States.Runtime skips retriers and catchers",
       {retrier({"States.ALL"})},
       {catcher({"States.Runtime"}, "R"), catcher({"States.ALL"}, "A")},
       R"({})",
       {runtime_error({"Task", 2}, "Invalid path '$.no.such.result.path' : Missing property "
                                   "in path $['no']")},
       {"fail States.Runtime | An error occurred while executing the state 'Task' (entered at "
        "the event id #2). Invalid path '$.no.such.result.path' : Missing property in path "
        "$['no']"}},
      {"a catcher that cannot place its output fails the run",
       {},
       {catcher({"States.ALL"}, "A", "$.error")},
       R"([1])",
       {exception},
       {"fail States.Runtime | An error occurred while executing the state 'Task' (entered at "
        "the event id #2). Invalid path '$.error' : Expected to find an object with property "
        "['error'] in path $ but found an array"}},
  };
  for (const Case& c : cases) {
    RetryCounter visit;
    RandomSource random(0);
    const Value raw_input = read_json(c.raw_input).value();
    Names lines;
    for (const TaskError& failure : c.failures) {
      lines.push_back(describe(route_failure(c.retriers, c.catchers, visit, random, raw_input,
                                             failure, StateSite{"Task", 2})));
    }
    EXPECT_EQ(lines, c.expected) << c.label;
  }
}

}  // namespace
}  // namespace vorn::aws
