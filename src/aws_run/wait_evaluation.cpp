#include "aws_run/wait_evaluation.hpp"

#include <charconv>

#include "aws_data/timestamp.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {
namespace {

constexpr std::string_view kDelayTooLong = "Wait state delay is too long.";

// A value as the causes quote it: strings without their quotes, numbers as
// written, anything else as compact JSON.
std::string quoted_value(const Value& value) {
  if (value.is_string()) return std::string(value.as_string());
  if (value.is_number()) return std::string(value.number_text());
  return write_json(value);
}

std::string with_value(std::string_view message, const JsonPath& path, const Value& value) {
  std::string text(message);
  text += path.text();
  text += " == ";
  text += quoted_value(value);
  return text;
}

Result<Instant, std::string> after_delay(Instant now, std::int64_t seconds) {
  if (seconds > kMaxWaitSeconds) return fail(std::string(kDelayTooLong));
  return add_seconds(now, seconds);
}

Result<Instant, std::string> at_timestamp(Instant now, Instant timestamp) {
  if (timestamp <= now) return now;
  if (duration_between(now, timestamp) >= std::chrono::seconds(kMaxWaitSeconds + 1)) {
    return fail(std::string(kDelayTooLong));
  }
  return timestamp;
}

// A whole number written without fraction or exponent that fits a long;
// AWS reads the value as a Java long before it looks at the sign.
std::optional<std::int64_t> as_long(const Value& value) {
  if (!value.is_number() || !value.is_integral()) return std::nullopt;
  const std::string_view text = value.number_text();
  std::int64_t parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return parsed;
}

Result<Instant, std::string> seconds_from_path(const JsonPath& path, const Value& input,
                                               Instant now) {
  auto found = path.evaluate(input);
  if (!found.ok()) {
    return fail("The SecondsPath parameter does not reference an input value: " +
                std::string(path.text()));
  }
  const std::optional<std::int64_t> seconds = as_long(*found);
  if (!seconds) {
    return fail(with_value("The SecondsPath parameter cannot be parsed as a long value: ", path,
                           *found));
  }
  if (*seconds < 0) {
    return fail(
        with_value("The SecondsPath parameter references a negative value: ", path, *found));
  }
  return after_delay(now, *seconds);
}

Result<Instant, std::string> timestamp_from_path(const JsonPath& path, const Value& input,
                                                 Instant now) {
  auto found = path.evaluate(input);
  if (!found.ok()) {
    return fail("The TimestampPath parameter does not reference an input value: " +
                std::string(path.text()));
  }
  std::optional<Timestamp> timestamp;
  if (found->is_string()) timestamp = parse_timestamp(found->as_string());
  if (!timestamp) {
    return fail(with_value(
        "The TimestampPath parameter does not reference a valid ISO-8601 extended offset "
        "date-time format string: ",
        path, *found));
  }
  return at_timestamp(now, *timestamp);
}

}  // namespace

Result<Instant, std::string> wake_instant(const WaitTiming& timing, const Value& input,
                                          Instant now) {
  struct Visitor {
    const Value& input;
    Instant now;
    Result<Instant, std::string> operator()(const WaitSeconds& w) const {
      // Creation refuses a negative literal; a hand-built one resumes at once.
      return after_delay(now, w.seconds < 0 ? 0 : w.seconds);
    }
    Result<Instant, std::string> operator()(const WaitUntil& w) const {
      return at_timestamp(now, w.timestamp);
    }
    Result<Instant, std::string> operator()(const WaitSecondsPath& w) const {
      return seconds_from_path(w.path, input, now);
    }
    Result<Instant, std::string> operator()(const WaitTimestampPath& w) const {
      return timestamp_from_path(w.path, input, now);
    }
  };
  return std::visit(Visitor{input, now}, timing);
}

}  // namespace vorn::aws
