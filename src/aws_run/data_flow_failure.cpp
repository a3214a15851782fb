#include "data_flow_failure.hpp"

#include "aws_data/placement.hpp"

namespace vorn::aws {

std::string_view DataFlowFailure::error_name() const {
  switch (kind) {
    case Kind::kPlacement:
      return kPlacementErrorName;
    case Kind::kDataLimit:
      return kDataLimitErrorName;
    case Kind::kRuntime:
    case Kind::kIntrinsicCall:
      break;
  }
  return kRuntimeErrorName;
}

std::string cause_prefix(std::string_view state_name, std::int64_t entered_event_id) {
  std::string out = "An error occurred while executing the state '";
  out += state_name;
  out += "' (entered at the event id #";
  out += std::to_string(entered_event_id);
  out += "). ";
  return out;
}

std::string full_cause(const DataFlowFailure& failure, std::string_view state_name,
                       std::int64_t entered_event_id) {
  if (!failure.takes_cause_prefix()) return failure.cause;
  return cause_prefix(state_name, entered_event_id) + failure.cause;
}

}  // namespace vorn::aws
