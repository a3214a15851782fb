// check_definition: reads a definition's text and checks it as AWS's
// ValidateStateMachineDefinition does, reporting every problem at once.
//
// The outcome owns everything it holds; the text may go away afterwards.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "aws_build/definition.hpp"
#include "aws_build/diagnostic.hpp"
#include "aws_data/value.hpp"

namespace vorn::aws {

struct CheckOutcome {
  std::vector<Diagnostic> diagnostics;   // every problem, errors and warnings, in document order
  std::optional<Definition> definition;  // present exactly when no diagnostic is an error
  Value document;                        // the parsed JSON text (null when it was unreadable)
};

CheckOutcome check_definition(std::string_view text);

}  // namespace vorn::aws
