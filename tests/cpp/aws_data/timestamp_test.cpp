#include "aws_data/timestamp.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorn::aws {
namespace {

// What a parse gives, in one line: the instant in UTC with all nine fraction
// digits, or "refused".
std::string parsed(std::string_view text) {
  const auto instant = parse_timestamp(text);
  if (!instant) return "refused";
  return std::to_string(instant->seconds) + "." + std::to_string(instant->nanos);
}

struct Case {
  std::string text;
  std::string expected;
};

TEST(AwsTimestamp, ParsesTheRfc3339ProfileOnly) {
  const std::vector<Case> cases = {
      // Wait's recorded acceptance table
      {"2016-03-05T21:29:29Z", "1457213369.0"},
      {"2016-03-05T21:29:29.000Z", "1457213369.0"},
      {"2016-03-05T21:29:29.00Z", "1457213369.0"},
      {"2016-03-05T21:29:29.000000Z", "1457213369.0"},
      {"2016-03-05T21:29:29.243167252Z", "1457213369.243167252"},
      {"2016-12-05 21:29:29Z", "refused"},
      {"2016-12-05T21:29:29", "refused"},
      {"2016-13-05T21:29:29Z", "refused"},
      {"2016-12-05T25:29:29Z", "refused"},
      {"05-12-2016T21:29:29Z", "refused"},
      // fractions scale to nanoseconds; more than nine digits or none is refused
      {"1970-01-01T00:00:00.5Z", "0.500000000"},
      {"1970-01-01T00:00:00.000000001Z", "0.1"},
      {"1970-01-01T00:00:00.0000000001Z", "refused"},
      {"1970-01-01T00:00:00.Z", "refused"},
      // numeric offsets: the instant is the local time minus the offset
      {"2012-10-09T19:00:55+01:00", "1349805655.0"},
      {"2012-10-09T18:00:55Z", "1349805655.0"},
      {"2012-10-09T12:30:55-05:30", "1349805655.0"},
      {"1970-01-01T00:00:00-00:00", "0.0"},
      {"1970-01-01T00:30:00+01:00", "-1800.0"},
      {"2012-10-09T19:00:55+1:00", "refused"},
      {"2012-10-09T19:00:55+0100", "refused"},
      {"2012-10-09T19:00:55+24:00", "refused"},
      {"2012-10-09T19:00:55+01:60", "refused"},
      {"2012-10-09T19:00:55+01:00Z", "refused"},
      // leap days: every fourth year, not centuries, but every fourth century
      {"2016-02-29T00:00:00Z", "1456704000.0"},
      {"2000-02-29T00:00:00Z", "951782400.0"},
      {"2015-02-29T00:00:00Z", "refused"},
      {"1900-02-29T00:00:00Z", "refused"},
      {"2016-02-30T00:00:00Z", "refused"},
      {"2016-04-31T00:00:00Z", "refused"},
      {"2016-12-31T23:59:59Z", "1483228799.0"},
      // the edges of the four-digit year, before and after the epoch
      {"0000-01-01T00:00:00Z", "-62167219200.0"},
      {"9999-12-31T23:59:59.999999999Z", "253402300799.999999999"},
      {"1969-12-31T23:59:59.5Z", "-1.500000000"},
      // everything else out of the profile
      {"2016-00-05T21:29:29Z", "refused"},
      {"2016-12-00T21:29:29Z", "refused"},
      {"2016-12-05T21:60:29Z", "refused"},
      {"2016-12-05T21:29:60Z", "refused"},
      {"2016-12-05t21:29:29Z", "refused"},
      {"2016-12-05T21:29:29z", "refused"},
      {"2016-12-05T21:29Z", "refused"},
      {"16-12-05T21:29:29Z", "refused"},
      {"+2016-12-05T21:29:29Z", "refused"},
      {"2016-1-05T21:29:29Z", "refused"},
      {" 2016-12-05T21:29:29Z", "refused"},
      {"2016-12-05T21:29:29Z ", "refused"},
      {"2016-12-05", "refused"},
      {"", "refused"},
      {std::string("2016-12-05T21:29:29Z\0", 21), "refused"},
  };
  for (const Case& c : cases) EXPECT_EQ(parsed(c.text), c.expected) << c.text;
}

TEST(AwsTimestamp, OrdersByInstant) {
  const auto t0 = *parse_timestamp("2012-10-09T19:00:55Z");
  const auto t1 = *parse_timestamp("2012-10-09T19:00:56Z");
  EXPECT_LT(t0, t1);
  EXPECT_EQ(t0, *parse_timestamp("2012-10-09T20:00:55+01:00"));
  EXPECT_LT(*parse_timestamp("2012-10-09T19:00:55.999999999Z"), t1);
  EXPECT_GT(*parse_timestamp("2012-10-09T19:00:55.000000001Z"), t0);
  EXPECT_LT(*parse_timestamp("1969-12-31T23:59:59.9Z"), *parse_timestamp("1970-01-01T00:00:00Z"));
}

TEST(AwsTimestamp, FormatsUtcWithThreeTruncatedFractionDigits) {
  const std::vector<std::pair<Timestamp, std::string>> cases = {
      {{0, 0}, "1970-01-01T00:00:00.000Z"},
      {{1457213369, 243167252}, "2016-03-05T21:29:29.243Z"},
      {{1457213369, 999999999}, "2016-03-05T21:29:29.999Z"},
      {{951782400, 1000000}, "2000-02-29T00:00:00.001Z"},
      {{-1, 500000000}, "1969-12-31T23:59:59.500Z"},
      {{-62167219200, 0}, "0000-01-01T00:00:00.000Z"},
      {{-62167219201, 0}, "-0001-12-31T23:59:59.000Z"},
      {{253402300800, 0}, "+10000-01-01T00:00:00.000Z"},
  };
  for (const auto& [instant, text] : cases) EXPECT_EQ(format_timestamp(instant), text) << text;
}

// Every instant of the four-digit years, sampled at a stride that is prime
// to the day and month lengths, survives writing and reading back; and the
// text written is exactly what a millisecond-precision reading gives back.
TEST(AwsTimestamp, FormatAndParseRoundTrip) {
  const std::int64_t first = -62167219200;  // 0000-01-01T00:00:00Z
  const std::int64_t last = 253402300799;   // 9999-12-31T23:59:59Z
  const std::int64_t stride = 9'999'991;    // about 116 days
  int checked = 0;
  for (std::int64_t seconds = first; seconds <= last; seconds += stride) {
    const Timestamp instant{seconds, static_cast<std::uint32_t>(seconds % 1000 + 1000) % 1000 *
                                         1'000'000u};
    const std::string text = format_timestamp(instant);
    const auto back = parse_timestamp(text);
    ASSERT_TRUE(back.has_value()) << text;
    ASSERT_EQ(*back, instant) << text;
    ASSERT_EQ(format_timestamp(*back), text);
    ++checked;
  }
  EXPECT_GT(checked, 30000);
  // Consecutive seconds across a leap day and a year end.
  for (std::int64_t seconds = 951782400 - 86400 * 2; seconds < 951782400 + 86400 * 2;
       seconds += 61) {
    const Timestamp instant{seconds, 0};
    ASSERT_EQ(parse_timestamp(format_timestamp(instant)), instant) << seconds;
  }
}

}  // namespace
}  // namespace vorn::aws
