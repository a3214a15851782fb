// Compact JSON text of a Value, as AWS serializes payloads: no spaces,
// members in their order, numbers in their written form, non-ASCII written
// as raw UTF-8, and only what JSON requires escaped ('"', '\\', and control
// characters: \b \f \n \r \t, the rest as \u00XX with upper-case hex).
//
// Both functions walk iteratively, so any depth of value is safe.
#pragma once

#include <cstddef>
#include <string>

#include "aws_data/value.hpp"

namespace vorn::aws {

std::string write_json(const Value& value);
// Appends to `out` instead of returning a new string.
void write_json(const Value& value, std::string& out);

// The byte length of write_json(value), without building the text (payload
// limits are measured on it).
std::size_t compact_size(const Value& value);

}  // namespace vorn::aws
