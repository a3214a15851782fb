// The last validation step: a machine must fit the 16-bit ids that number its
// states, resources, Choice rules and schemas, and its static data (Pass
// results, template literals, the schemas of Pass data) must fit the 16-bit
// fields of the binary value format. Lowering such a machine would otherwise
// wrap ids or write lengths that disagree with their bytes.
#pragma once

#include "ast.hpp"
#include "base/result.hpp"
#include "static_data.hpp"
#include "validation_error.hpp"

namespace vorn::build {

// The most records a 16-bit id can number.
inline constexpr std::size_t kMaxIds = 65536;

// Checks, in order: the number of states and of Choice rules; then every
// state in name order (Task templates' literals, a Pass state's Result, its
// Parameters' literals and schema); then the number of distinct schemas.
// Reports LimitExceeded at the first misfit. Runs after the uniform-array
// check: the arrays of Pass data must be uniform.
//
// With `keep`, the static data is encoded rather than only measured, and
// the encodings are stored there (complete only on success).
Result<void, ValidationError> check_limits(const AslAst& ast, EncodedStaticData* keep = nullptr);

}  // namespace vorn::build
