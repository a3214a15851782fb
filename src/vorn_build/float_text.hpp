// Decimal text for 32-bit floats, shared by validation messages and generated
// source so the two always print a backoff rate the same way.
#pragma once

#include <string>

namespace vorn::build {

// The shortest decimal that reads back as the same float, in plain positional
// notation, never with an exponent: 0.5 -> "0.5", 2 -> "2", -1 -> "-1",
// 1e-10 -> "0.0000000001", 3.4e38 -> "340000000000000000000000000000000000000".
// Non-finite values give "inf", "-inf" or "nan".
std::string shortest_float_text(float value);

}  // namespace vorn::build
