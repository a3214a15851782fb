// Choice conditions: a comparison of the value at a path with a constant.
#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

#include "vorn/ir/id.hpp"
#include "vorn/ir/path.hpp"

namespace vorn::ir {

struct NumericEqualsCond {
  ValuePath path;
  std::int64_t value = 0;
};

struct StringEqualsCond {
  ValuePath path;
  std::string_view value;
};

struct BooleanEqualsCond {
  ValuePath path;
  bool value = false;
};

using ConditionKind = std::variant<NumericEqualsCond, StringEqualsCond, BooleanEqualsCond>;

struct ConditionIr {
  ConditionId id;
  ConditionKind kind;
};

}  // namespace vorn::ir
