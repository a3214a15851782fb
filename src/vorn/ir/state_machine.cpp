#include "vorn/ir/state_machine.hpp"

namespace vorn::ir {

namespace {

// Ids equal positions in every table lowering or a generated program builds,
// which makes a lookup one comparison. A table where the record at the id's
// position carries another id is searched from the front instead. (Only a
// table that breaks the rule by giving two records one id could tell the
// two ways apart.)
template <class Record, class Id>
const Record* find_by_id(std::span<const Record> records, Id id) {
  if (id.value < records.size() && records[id.value].id == id) return &records[id.value];
  for (const Record& record : records) {
    if (record.id == id) return &record;
  }
  return nullptr;
}

}  // namespace

const StateIr* StateMachineIr::state(StateId id) const {
  return find_by_id(states, id);
}

const ConditionIr* StateMachineIr::condition(ConditionId id) const {
  return find_by_id(conditions, id);
}

}  // namespace vorn::ir
