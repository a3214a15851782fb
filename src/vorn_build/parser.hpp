// Definition text to AslAst. Checks shape only: JSON syntax, allowed keys,
// required keys and JSON types, stopping at the first problem in a fixed order
// (root, StartAt, States, states in name order and each state's keys in
// reading order, top-level Comment last).
#pragma once

#include <string_view>

#include "ast.hpp"
#include "base/result.hpp"
#include "parse_error.hpp"

namespace vorn::build {

Result<AslAst, ParseError> parse(std::string_view text);

}  // namespace vorn::build
