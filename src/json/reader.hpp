// Reading JSON text into a Value tree.
//
// The reader accepts exactly one JSON value surrounded by optional whitespace.
// Floats are read at full precision; an integer literal outside both 64-bit
// ranges becomes a float, and "-0" is the integer zero. Any literal whose
// value fits binary64 is read, however many digits it has ("0e400" is zero);
// larger ones are refused. Nesting deeper than kMaxReadDepth arrays and
// objects is refused, so no input can exhaust the stack of a later recursive
// walk over the tree.
//
// Every failure is one message "{problem} at line L column C", where L and C
// are 1-based and C counts characters (not bytes) from the start of the line.
//
// Two readers stand behind read(): the fast one (document.hpp, simdjson)
// reads almost every text; whatever it refuses, the exact one (RapidJSON)
// reads again, to accept it or to produce the message. Both give the same
// tree for every text the fast one accepts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/result.hpp"
#include "value.hpp"

namespace vorn::json {

inline constexpr std::size_t kMaxReadDepth = 128;

struct ReadError {
  std::string message;
};

// `text` may contain NUL bytes; they are read as characters, never as an end.
Result<Value, ReadError> read(std::string_view text);

// The exact reader alone, for texts the fast one refuses and for checking
// that the two agree.
Result<Value, ReadError> read_exact(std::string_view text);

}  // namespace vorn::json
