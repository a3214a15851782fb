// DataFlowFailure: why a state's data could not be moved along (a path that
// does not resolve, a result that cannot be placed, a payload over the size
// limit), with the error name and cause text AWS reports for it.
//
// Most causes AWS prefixes with the state's name and the id of its entry
// event, which only the interpreter knows; a failure therefore holds the text
// after that prefix and says whether it takes one, and full_cause() joins the
// two once the interpreter supplies the state and event.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "aws_run/task_error.hpp"

namespace vorn::aws {

inline constexpr std::string_view kRuntimeErrorName = error_name::kRuntime;
inline constexpr std::string_view kDataLimitErrorName = error_name::kDataLimitExceeded;

// The most bytes of compact UTF-8 JSON text a state input, state output or
// task result may have.
inline constexpr std::size_t kMaxPayloadBytes = 262'144;

struct DataFlowFailure {
  enum class Kind : std::uint8_t {
    kRuntime,           // a path, template or field value that cannot be evaluated
    kPlacement,         // ResultPath cannot put the result into the input
    kDataLimit,         // a payload over kMaxPayloadBytes
    kIntrinsicFailure,  // an intrinsic function could not work on its arguments
  };
  Kind kind = Kind::kRuntime;
  // After the prefix when takes_cause_prefix(), else the whole cause.
  std::string cause;

  std::string_view error_name() const;
  bool takes_cause_prefix() const { return kind != Kind::kDataLimit; }
  // Retry and Catch never see States.Runtime: the execution fails.
  bool catchable() const { return error_name() != kRuntimeErrorName; }
};

// The cause as AWS reports it for a failure of the state entered at that event.
std::string full_cause(const DataFlowFailure& failure, std::string_view state_name,
                       std::int64_t entered_event_id);

}  // namespace vorn::aws
