// StateMachineIr: the runtime form of a machine, the root of a tree of plain,
// immutable records that the engine only reads.
//
// The records own nothing. Every text, byte block and list is a view into
// storage kept elsewhere, so one set of records serves two builders without
// copying at use time:
//   - static tables written in C++ (constexpr arrays of these aggregates whose
//     spans point at other static arrays), which live for the whole program;
//   - an IR built at run time from a lowered machine: the builder places the
//     owned strings, byte vectors and record vectors in one storage block at
//     fixed addresses, points the views into it, and hands the root out as a
//     std::shared_ptr<const StateMachineIr> aliasing that block, so the
//     storage lives exactly as long as the last machine that uses it.
// Whoever holds the root must keep that storage alive and unchanged.
#pragma once

#include <span>
#include <string_view>

#include "vorn/ir/condition.hpp"
#include "vorn/ir/id.hpp"
#include "vorn/ir/schema.hpp"
#include "vorn/ir/state.hpp"

namespace vorn::ir {

// Name tables, each indexed by the id of its table.
struct IrMetadata {
  std::span<const std::string_view> state_names;
  std::span<const std::string_view> schema_names;
  // For display only; the runtime never reads them.
  std::span<const std::string_view> condition_descriptions;
  // Entry i is the Task resource that HandlerId i stands for.
  std::span<const std::string_view> handler_names;
};

struct StateMachineIr {
  StateId start_at;
  std::span<const StateIr> states;
  std::span<const SchemaIr> schemas;
  std::span<const ConditionIr> conditions;
  IrMetadata metadata;

  // The first record whose id equals `id`, or null when none has it (the
  // dispatcher reports that as an invalid transition). Records are found by
  // their id, not by position.
  const StateIr* state(StateId id) const;
  const ConditionIr* condition(ConditionId id) const;
};

}  // namespace vorn::ir
