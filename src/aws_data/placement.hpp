// Placing a value into a copy of the input at a reference path, as a state's
// ResultPath does: "$" replaces the whole; a member step whose key is missing
// creates an empty object there (appended after the existing keys); the last
// step replaces a member in its place or appends it; index steps address
// existing elements only (arrays never grow).
//
// The input is not changed: the result shares every node the path does not
// touch, so placing into a large input copies only the path's spine.
#pragma once

#include <string>
#include <string_view>

#include "aws_data/json_path.hpp"
#include "aws_data/value.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// The error name a failed placement is reported under. AWS's documents name
// States.ResultPathMatchFailure, but every data-shape failure AWS has been
// seen to report is States.Runtime; one constant keeps the choice easy to flip.
inline constexpr std::string_view kPlacementErrorName = "States.Runtime";

struct PlacementError {
  enum class Kind : std::uint8_t {
    kNotReferencePath,  // a context path or one with wildcards, slices, ...
    kNotAnObject,       // a member step met another kind of value
    kNotAnArray,        // an index step met another kind of value
    kIndexOutOfRange,   // an index step past either end
  };
  Kind kind = Kind::kNotReferencePath;
  std::string path;  // the path as written
  std::string at;    // bracket form of where the walk stopped
  std::string step;  // the failing step in bracket form
  aws::Kind found = aws::Kind::kNull;
};

// The cause text: "Invalid path '<path>' : <what went wrong>".
std::string to_string(const PlacementError& error);

Result<Value, PlacementError> place(const Value& input, const JsonPath& path, Value value);

}  // namespace vorn::aws
