// Lowering a checked Definition into the Program its executions run.
//
// What this toolkit cannot run yet is refused here, before any run starts,
// rather than when a run reaches it: Parallel and Map states, JSONata
// states and variables (Assign). Each use gives
// one diagnostic of code UNSUPPORTED_FEATURE at its state; anything else
// that fails to lower (possible only in a Definition built by hand) gives a
// SCHEMA_VALIDATION_FAILED diagnostic saying what.
#pragma once

#include <vector>

#include "aws_build/definition.hpp"
#include "aws_build/diagnostic.hpp"
#include "aws_run/program.hpp"
#include "base/result.hpp"

namespace vorn::aws {

Result<Program, std::vector<Diagnostic>> lower_program(const Definition& definition);

}  // namespace vorn::aws
