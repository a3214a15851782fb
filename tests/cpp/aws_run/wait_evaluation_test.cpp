// When a Wait resumes: every timing form against inputs AWS was recorded
// with, and the States.Runtime causes word for word (they are what users
// compare against).
#include "aws_run/wait_evaluation.hpp"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "aws_data/read.hpp"

namespace vorn::aws {
namespace {

const Instant kNow{1'704'067'200, 0};  // 2024-01-01T00:00:00Z
constexpr std::int64_t kDay = 86'400;

JsonPath path(std::string_view text) { return JsonPath::parse(text).value(); }
WaitTiming seconds_path(std::string_view text) { return WaitSecondsPath{path(text)}; }
WaitTiming timestamp_path(std::string_view text) { return WaitTimestampPath{path(text)}; }
WaitTiming until(std::string_view text) { return WaitUntil{*parse_timestamp(text)}; }

struct WaitCase {
  std::string label;
  WaitTiming timing;
  std::string input;
  // Exactly one of the two.
  std::optional<Instant> wake;
  std::string cause;
};

WaitCase resumes(std::string label, WaitTiming timing, std::string input, Instant wake) {
  return {std::move(label), std::move(timing), std::move(input), wake, ""};
}
WaitCase fails(std::string label, WaitTiming timing, std::string input, std::string cause) {
  return {std::move(label), std::move(timing), std::move(input), std::nullopt, std::move(cause)};
}

void check(const std::vector<WaitCase>& cases) {
  for (const WaitCase& c : cases) {
    SCOPED_TRACE(c.label);
    const auto result = wake_instant(c.timing, read_json(c.input).value(), kNow);
    if (c.wake) {
      ASSERT_TRUE(result.ok()) << result.error();
      EXPECT_EQ(*result, *c.wake);
    } else {
      ASSERT_FALSE(result.ok());
      EXPECT_EQ(result.error(), c.cause);
    }
  }
}

TEST(WaitEvaluation, ResumeInstants) {
  check({
      resumes("Seconds 0 resumes at once", WaitSeconds{0}, "{}", kNow),
      resumes("Seconds", WaitSeconds{10}, "{}", add_seconds(kNow, 10)),
      resumes("the largest Seconds a definition may hold", WaitSeconds{99'999'999}, "{}",
              add_seconds(kNow, 99'999'999)),
      resumes("a Timestamp in the past resumes at once", until("2016-03-05T21:29:29.243167252Z"),
              "{}", kNow),
      resumes("a Timestamp equal to now", until("2024-01-01T01:00:00+01:00"), "{}", kNow),
      resumes("fractional seconds are kept", until("2024-01-01T00:00:01.5Z"), "{}",
              Instant{kNow.seconds + 1, 500'000'000}),
      resumes("SecondsPath", seconds_path("$.input.waitSeconds"), R"({"input":{"waitSeconds":1}})",
              add_seconds(kNow, 1)),
      resumes("SecondsPath 0", seconds_path("$.s"), R"({"s":0})", kNow),
      resumes("SecondsPath -0 is not negative", seconds_path("$.s"), R"({"s":-0})", kNow),
      resumes("the longest delay accepted", seconds_path("$.s"), R"({"s":2147483647})",
              add_seconds(kNow, 2'147'483'647)),
      resumes("TimestampPath now, six fraction digits", timestamp_path("$.t"),
              R"({"t":"2024-01-01T00:00:00.000000Z"})", kNow),
      resumes("TimestampPath ahead", timestamp_path("$.t"), R"({"t":"2024-01-02T00:00:00Z"})",
              add_seconds(kNow, kDay)),
      resumes("24855 days ahead is accepted", timestamp_path("$.t"),
              R"({"t":"2092-01-19T00:00:00Z"})", add_seconds(kNow, 24'855 * kDay)),
  });
}

TEST(WaitEvaluation, RuntimeFailureCauses) {
  const std::string kTooLong = "Wait state delay is too long.";
  check({
      fails("negative", seconds_path("$.input.waitSeconds"), R"({"input":{"waitSeconds":-1}})",
            "The SecondsPath parameter references a negative value: $.input.waitSeconds == -1"),
      fails("fraction", seconds_path("$.input.waitSeconds"), R"({"input":{"waitSeconds":1.5}})",
            "The SecondsPath parameter cannot be parsed as a long value: "
            "$.input.waitSeconds == 1.5"),
      fails("the integer check comes before the sign", seconds_path("$.s"), R"({"s":-1.5})",
            "The SecondsPath parameter cannot be parsed as a long value: $.s == -1.5"),
      fails("an exponent is not a long", seconds_path("$.s"), R"({"s":1e2})",
            "The SecondsPath parameter cannot be parsed as a long value: $.s == 1e2"),
      fails("beyond a long", seconds_path("$.s"), R"({"s":99999999999999999999})",
            "The SecondsPath parameter cannot be parsed as a long value: "
            "$.s == 99999999999999999999"),
      fails("a string is quoted without quotes", seconds_path("$.s"), R"({"s":"5"})",
            "The SecondsPath parameter cannot be parsed as a long value: $.s == 5"),
      fails("a container as JSON", seconds_path("$.s"), R"({"s":{"a":[true]}})",
            "The SecondsPath parameter cannot be parsed as a long value: $.s == {\"a\":[true]}"),
      fails("SecondsPath missing", seconds_path("$.input.waitSeconds"), "{}",
            "The SecondsPath parameter does not reference an input value: $.input.waitSeconds"),
      fails("2^31 seconds is too long", seconds_path("$.s"), R"({"s":2147483648})", kTooLong),
      fails("the largest long does not overflow", seconds_path("$.s"),
            R"({"s":9223372036854775807})", kTooLong),
      fails("no time zone", timestamp_path("$.TimestampValue"),
            R"({"TimestampValue":"2016-12-05T21:29:29"})",
            "The TimestampPath parameter does not reference a valid ISO-8601 extended offset "
            "date-time format string: $.TimestampValue == 2016-12-05T21:29:29"),
      fails("empty text", timestamp_path("$.t"), R"({"t":""})",
            "The TimestampPath parameter does not reference a valid ISO-8601 extended offset "
            "date-time format string: $.t == "),
      fails("not a string", timestamp_path("$.t"), R"({"t":5})",
            "The TimestampPath parameter does not reference a valid ISO-8601 extended offset "
            "date-time format string: $.t == 5"),
      fails("TimestampPath missing", timestamp_path("$.t"), "{}",
            "The TimestampPath parameter does not reference an input value: $.t"),
      fails("24856 days ahead is too long", timestamp_path("$.t"),
            R"({"t":"2092-01-20T00:00:00Z"})", kTooLong),
      fails("the last year a timestamp names", until("9999-12-31T23:59:59.999999999Z"), "{}",
            kTooLong),
      fails("a hand-built Seconds past the limit", WaitSeconds{std::int64_t{1} << 40}, "{}",
            kTooLong),
  });
}

}  // namespace
}  // namespace vorn::aws
