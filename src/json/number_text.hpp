// The value of a JSON number literal, in the tree's three number forms.
#pragma once

#include <optional>
#include <string_view>

#include "value.hpp"

namespace vorn::json {

// `text` is a syntactically valid JSON number. A literal without fraction or
// exponent is an integer when it fits: non-negative up to 2^64 - 1 (UInt),
// negative down to -2^63 (Int); otherwise, and for every literal with a
// fraction or exponent, it is the correctly rounded binary64 float. "-0" is the
// integer zero (UInt 0), like "0"; "-0.0" and "-0e5" are the float -0.0. A
// float too small for binary64, or zero with any exponent, is zero of its
// sign; nullopt when it is too large.
std::optional<Value> number_value(std::string_view text);

}  // namespace vorn::json
