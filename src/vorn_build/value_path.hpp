// Splitting a path string ("$", "$.a.b[2][0]") into the segments the runtime
// applies to a value.
#pragma once

#include <string_view>

#include "lowered.hpp"

namespace vorn::build {

// For paths the validator accepts ("$" or beginning with "$."). "$" has no
// segments. Otherwise the text after "$." is split at every '.', empty pieces
// kept; a piece is a field, optionally followed by bracketed indices: an
// index that is an unsigned 16-bit decimal (a leading '+' allowed) becomes an
// Index segment, any other bracket text is dropped. Text outside brackets
// after the field name (including a stray ']') is skipped, and an unclosed
// '[' ends the piece:
//   $.a.b[2][0] -> a, b, [2], [0]     $.[1] -> [1]     $.a[x] -> a
//   $. -> ""                          $.a[0]]x[1] -> a, [0], [1]
LoweredValuePath parse_value_path(std::string_view path);

}  // namespace vorn::build
