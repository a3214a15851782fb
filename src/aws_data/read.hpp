// Reading JSON text into a Value, keeping what AWS keeps: member order and
// each number's written form.
//
// The text is taken as exactly `text.size()` bytes (a NUL byte inside is a
// fault, not the end). Faults come back as a ReadError; nothing is thrown.
// The returned Value owns its data; `text` may go away afterwards.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "aws_data/value.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// Deeper nesting is refused, so no document can make a later walk costly.
inline constexpr std::size_t kMaxReadDepth = 1000;

struct ReadError {
  std::string problem;  // e.g. "unexpected character"
  std::size_t line = 1;    // 1-based
  std::size_t column = 1;  // 1-based, counted in characters (code points)
  std::size_t offset = 0;  // byte offset of the fault
};

// "{problem} at line L column C".
std::string to_string(const ReadError& error);

Result<Value, ReadError> read_json(std::string_view text);

}  // namespace vorn::aws
