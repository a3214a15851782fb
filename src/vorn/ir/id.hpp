// Identifiers of the runtime IR: one distinct type per table, each wrapping a
// 16-bit position. An id equals the position of its record in its table.
// Being distinct types, a HandlerId cannot be passed where a StateId is
// expected, nor compared with one.
#pragma once

#include <compare>
#include <cstdint>

namespace vorn::ir {

struct StateId {
  std::uint16_t value = 0;
  constexpr auto operator<=>(const StateId&) const = default;
};

// Names a Task resource: an index into IrMetadata::handler_names.
struct HandlerId {
  std::uint16_t value = 0;
  constexpr auto operator<=>(const HandlerId&) const = default;
};

struct SchemaId {
  std::uint16_t value = 0;
  constexpr auto operator<=>(const SchemaId&) const = default;
};

struct ConditionId {
  std::uint16_t value = 0;
  constexpr auto operator<=>(const ConditionId&) const = default;
};

}  // namespace vorn::ir
