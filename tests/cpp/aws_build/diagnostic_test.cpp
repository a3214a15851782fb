#include "aws_build/diagnostic.hpp"

#include <gtest/gtest.h>

namespace vorn::aws {
namespace {

TEST(InvalidDefinitionMessage, JoinsErrorsAndSkipsWarnings) {
  const std::vector<Diagnostic> diagnostics = {
      {Severity::kError, "MISSING_TRANSITION_TARGET", "Missing 'Next' target: pass3",
       "/States/pass1/Next", 3, 5},
      {Severity::kWarning, "UNSUPPORTED_FEATURE", "Assign is not supported", "/States/pass1", 2, 3},
      {Severity::kError, "MISSING_END_STATE", "Workflow has no terminal state", "", 1, 1},
  };
  EXPECT_TRUE(has_errors(diagnostics));
  EXPECT_EQ(invalid_definition_message(diagnostics),
            "Invalid State Machine Definition: 'MISSING_TRANSITION_TARGET: Missing 'Next' target: "
            "pass3 at /States/pass1/Next, MISSING_END_STATE: Workflow has no terminal state at null'");
}

TEST(InvalidDefinitionMessage, WarningsAloneAreNoErrors) {
  EXPECT_FALSE(has_errors({{Severity::kWarning, "NO_DOLLAR", "m", "/States/A", 1, 1}}));
  EXPECT_EQ(severity_name(Severity::kWarning), "WARNING");
  EXPECT_EQ(severity_name(Severity::kError), "ERROR");
}

}  // namespace
}  // namespace vorn::aws
