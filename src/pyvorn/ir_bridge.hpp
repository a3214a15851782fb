// The IR bridge: turns a lowered machine, which owns all it holds, into the
// runtime IR that the engine reads, whose records only borrow.
//
// build_ir() moves the lowered machine into one storage block and points the
// records' texts and byte blocks straight at its strings and byte vectors, so
// nothing is copied. The record lists (states, path segments, retry rules,
// ...) live in an arena inside the same block. The root is handed out as a
// shared_ptr aliasing the block: every StateMachine built on it shares it, and
// the block goes with the last of them.
//
// The convert_* functions build one record each. The record borrows from the
// lowered record it was made from and from the arena, so both must outlive it
// and stay unchanged; build_ir() guarantees that by keeping both in the block.
#pragma once

#include <cstddef>
#include <memory>
#include <memory_resource>
#include <new>
#include <span>
#include <type_traits>

#include "vorn/ir/state_machine.hpp"
#include "vorn_build/lowered.hpp"

namespace pyvorn {

// Storage for the record lists of one IR. The records hold only views and
// ids, so they are never destroyed: the arena releases its memory in one go.
class IrArena {
 public:
  explicit IrArena(std::size_t initial_bytes) : memory_(initial_bytes) {}
  IrArena(const IrArena&) = delete;
  IrArena& operator=(const IrArena&) = delete;

  // An array of `count` default-constructed records, valid while the arena
  // lives.
  template <class T>
  std::span<T> allocate(std::size_t count) {
    static_assert(std::is_trivially_destructible_v<T>, "the arena never runs destructors");
    if (count == 0) return {};
    T* first = static_cast<T*>(memory_.allocate(count * sizeof(T), alignof(T)));
    for (std::size_t i = 0; i < count; ++i) new (first + i) T();
    return {first, count};
  }

 private:
  std::pmr::monotonic_buffer_resource memory_;
};

// Takes the lowered machine over; never fails short of memory exhaustion
// (std::bad_alloc).
std::shared_ptr<const vorn::ir::StateMachineIr> build_ir(vorn::build::LoweredStateMachine lowered);

vorn::ir::StateIr convert_state(const vorn::build::LoweredState& state, IrArena& arena);
vorn::ir::ConditionIr convert_condition(const vorn::build::LoweredCondition& condition,
                                        IrArena& arena);
vorn::ir::TemplateEntry convert_template_entry(const vorn::build::LoweredTemplateEntry& entry,
                                               IrArena& arena);
vorn::ir::RetryPolicy convert_retry_policy(const vorn::build::LoweredRetryPolicy& policy,
                                           IrArena& arena);
vorn::ir::CatchBlock convert_catch_block(const vorn::build::LoweredCatchBlock& block,
                                         IrArena& arena);
vorn::ir::SchemaIr convert_schema(const vorn::build::LoweredSchema& schema);

}  // namespace pyvorn
