#include "aws_run/program.hpp"

namespace vorn::aws {

std::string_view state_kind_name(StateKind kind) {
  switch (kind) {
    case StateKind::kTask: return "Task";
    case StateKind::kPass: return "Pass";
    case StateKind::kChoice: return "Choice";
    case StateKind::kWait: return "Wait";
    case StateKind::kSucceed: return "Succeed";
    case StateKind::kFail: return "Fail";
    case StateKind::kParallel: return "Parallel";
    case StateKind::kMap: return "Map";
  }
  return "Pass";
}

}  // namespace vorn::aws
