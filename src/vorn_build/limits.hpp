// The last validation step: a machine must fit the 16-bit ids that number its
// states, resources, Choice rules and schemas, and its static data (Pass
// results, template literals, the schemas of Pass data) must fit the 16-bit
// fields of the binary value format. Lowering such a machine would otherwise
// wrap ids or write lengths that disagree with their bytes.
#pragma once

#include "ast.hpp"
#include "base/result.hpp"
#include "validation_error.hpp"

namespace vorn::build {

// The most records a 16-bit id can number.
inline constexpr std::size_t kMaxIds = 65536;

// Checks, in order: the number of states and of Choice rules; then every
// state in name order (Task templates' literals, a Pass state's Result, its
// Parameters' literals and schema); then the number of distinct schemas.
// Reports LimitExceeded at the first misfit.
Result<void, ValidationError> check_limits(const AslAst& ast);

}  // namespace vorn::build
