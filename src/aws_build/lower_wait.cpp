#include "aws_build/lower_wait.hpp"

#include "aws_data/timestamp.hpp"

namespace vorn::aws {
namespace {

Result<JsonPath, std::string> lower_path(std::string_view field, const std::string& text) {
  auto path = JsonPath::parse(text);
  if (!path.ok()) return fail(std::string(field) + ": " + to_string(path.error()));
  if (!path->is_definite() || path->is_context()) {
    return fail(std::string(field) + ": not a reference path: " + text);
  }
  return std::move(path).value();
}

}  // namespace

Result<WaitTiming, std::string> lower_wait(const WaitState& wait) {
  const int fields = int{wait.seconds.has_value()} + int{wait.timestamp.has_value()} +
                     int{wait.seconds_path.has_value()} + int{wait.timestamp_path.has_value()};
  if (fields != 1) {
    return fail(std::string(
        "exactly one of Seconds, Timestamp, SecondsPath and TimestampPath must be set"));
  }
  if (wait.seconds) {
    if (*wait.seconds < 0) return fail(std::string("Seconds: must not be negative"));
    return WaitTiming(WaitSeconds{*wait.seconds});
  }
  if (wait.timestamp) {
    const std::optional<Timestamp> at = parse_timestamp(*wait.timestamp);
    if (!at) return fail("Timestamp: not an RFC 3339 timestamp: " + *wait.timestamp);
    return WaitTiming(WaitUntil{*at});
  }
  if (wait.seconds_path) {
    auto path = lower_path("SecondsPath", *wait.seconds_path);
    if (!path.ok()) return fail(std::move(path.error()));
    return WaitTiming(WaitSecondsPath{std::move(path).value()});
  }
  auto path = lower_path("TimestampPath", *wait.timestamp_path);
  if (!path.ok()) return fail(std::move(path.error()));
  return WaitTiming(WaitTimestampPath{std::move(path).value()});
}

}  // namespace vorn::aws
