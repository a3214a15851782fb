// An inferred data schema. The runtime carries it without interpreting it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "vorn/ir/id.hpp"

namespace vorn::ir {

struct SchemaIr {
  SchemaId id;
  std::string_view name;
  std::span<const std::uint8_t> encoded;
};

}  // namespace vorn::ir
