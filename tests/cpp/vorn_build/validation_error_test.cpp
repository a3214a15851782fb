#include "vorn_build/validation_error.hpp"

#include <gtest/gtest.h>

namespace vorn::build {
namespace {

using E = ValidationError;

std::string render(E::Kind kind, std::string location = "X.Y") {
  return to_string(E{std::move(location), std::nullopt, std::move(kind), std::nullopt});
}

// Rules reach the other kinds; these lines are pinned here.
TEST(ValidationError, KindsWithoutARuleAndNumberForms) {
  EXPECT_EQ(render(E::IncompatibleSchema{"A.Result", "B.Result"}),
            "schema of \"A.Result\" is incompatible with \"B.Result\" in X.Y");
  EXPECT_EQ(render(E::InvalidMaxAttempts{4294967295u}, ""),
            "MaxAttempts must be >= 1, found 4294967295 at root");
  EXPECT_EQ(render(E::InvalidBackoffRate{-1.0f}), "BackoffRate must be >= 1.0, found -1 in X.Y");
  EXPECT_EQ(render(E::InvalidBackoffRate{1e-10f}),
            "BackoffRate must be >= 1.0, found 0.0000000001 in X.Y");
  EXPECT_EQ(render(E::ConflictingTemplateKeys{"a"}),
            "template has conflicting keys \"a\" and \"a.$\" in X.Y");
}

TEST(ValidationError, StateLineComesBeforeValueAndHint) {
  EXPECT_EQ(render(E::UnresolvableConditionPath{"Pick", "$.a"}),
            "condition path \"$.a\" unresolvable against input schema in X.Y\n  State: Pick");
  EXPECT_EQ(to_string(E{"", "v", E::UnresolvableConditionPath{"S", "$.p"}, std::string_view("h")}),
            "condition path \"$.p\" unresolvable against input schema at root\n"
            "  State: S\n"
            "  Value: v\n"
            "  Hint: h");
}

}  // namespace
}  // namespace vorn::build
