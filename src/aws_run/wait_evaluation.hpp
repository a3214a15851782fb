// The Wait state at run time: when an execution resumes after it.
//
// WaitTiming is the run-time form of a Wait's one timing field, lowered
// from the definition once (paths parsed, the literal timestamp read). It
// owns its parts and is read-only while executions run.
//
// A failure is always States.Runtime; what is returned is AWS's cause
// without the "An error occurred while executing the state ..." prefix,
// which the caller adds (runtime_error in task_error.hpp) because only it
// knows the state's entry event.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "aws_data/json_path.hpp"
#include "aws_data/value.hpp"
#include "aws_run/clock.hpp"
#include "base/result.hpp"

namespace vorn::aws {

struct WaitSeconds {
  std::int64_t seconds = 0;
};
struct WaitUntil {
  Instant timestamp;
};
struct WaitSecondsPath {
  JsonPath path;
};
struct WaitTimestampPath {
  JsonPath path;
};

using WaitTiming = std::variant<WaitSeconds, WaitUntil, WaitSecondsPath, WaitTimestampPath>;

// AWS refuses a delay whose end lies 2^31 seconds or more ahead (it keeps
// the delay in a signed 32-bit count of seconds).
inline constexpr std::int64_t kMaxWaitSeconds = (std::int64_t{1} << 31) - 1;

// The instant to resume at, never before `now` (a timestamp in the past
// resumes at once). `input` is the state's effective input (after
// InputPath); the path forms read it.
Result<Instant, std::string> wake_instant(const WaitTiming& timing, const Value& input,
                                          Instant now);

}  // namespace vorn::aws
