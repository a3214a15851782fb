// Paths into a value and what a state does with its result.
//
// Like every IR record these borrow all they hold: texts and segment lists
// point into storage that the builder of the IR keeps alive (static tables,
// or the storage block of an IR built at run time).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <variant>

namespace vorn::ir {

// A member of an object, by key.
struct Field {
  std::string_view name;
};

// An element of an array, zero-based; larger indices cannot be expressed.
struct Index {
  std::uint16_t index = 0;
};

using PathSegment = std::variant<Field, Index>;

// Segments applied from the root of a value; no segments names the whole value.
struct ValuePath {
  std::span<const PathSegment> segments;
};

// The state's result becomes its output.
struct Replace {};

// The result is written into the state's raw input at `path`, and the updated
// input becomes the output.
struct Place {
  ValuePath path;
};

// The result is dropped; the raw input becomes the output.
struct Discard {};

using ResultPathPolicy = std::variant<Replace, Place, Discard>;

}  // namespace vorn::ir
