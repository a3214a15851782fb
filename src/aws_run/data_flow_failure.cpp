#include "data_flow_failure.hpp"

#include "aws_data/placement.hpp"

namespace vorn::aws {

std::string_view DataFlowFailure::error_name() const {
  switch (kind) {
    case Kind::kPlacement:
      return kPlacementErrorName;
    case Kind::kDataLimit:
      return kDataLimitErrorName;
    case Kind::kIntrinsicFailure:
      return error_name::kIntrinsicFailure;
    case Kind::kRuntime:
      break;
  }
  return kRuntimeErrorName;
}

std::string full_cause(const DataFlowFailure& failure, std::string_view state_name,
                       std::int64_t entered_event_id) {
  if (!failure.takes_cause_prefix()) return failure.cause;
  return cause_prefix(StateSite{state_name, entered_event_id}) + failure.cause;
}

}  // namespace vorn::aws
