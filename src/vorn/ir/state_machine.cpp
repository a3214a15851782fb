#include "vorn/ir/state_machine.hpp"

namespace vorn::ir {

const StateIr* StateMachineIr::state(StateId id) const {
  for (const StateIr& record : states) {
    if (record.id == id) return &record;
  }
  return nullptr;
}

const ConditionIr* StateMachineIr::condition(ConditionId id) const {
  for (const ConditionIr& record : conditions) {
    if (record.id == id) return &record;
  }
  return nullptr;
}

}  // namespace vorn::ir
