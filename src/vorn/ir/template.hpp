// Templates (Parameters, ResultSelector): output members that are either
// constants, already encoded in the binary value format, or references to a
// path of the template's input.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <variant>

#include "vorn/ir/path.hpp"

namespace vorn::ir {

struct Literal {
  std::string_view key;
  // One encoded value.
  std::span<const std::uint8_t> value;
};

struct Reference {
  // The output key, without the ".$" suffix it was written with.
  std::string_view key;
  ValuePath path;
};

using TemplateEntry = std::variant<Literal, Reference>;

// Entries in the order lowering produced them; evaluation sorts by key.
struct TemplateIr {
  std::span<const TemplateEntry> entries;
};

}  // namespace vorn::ir
