#include "vorn_build/validation_error.hpp"

#include <gtest/gtest.h>

namespace vorn::build {
namespace {

using E = ValidationError;

// Every kind's line, here without value or hint.
TEST(ValidationError, EachKindRendersItsLine) {
  struct Case {
    E::Kind kind;
    const char* text;
  };
  const Case cases[] = {
      {E::EmptyStates{}, "states must not be empty in X.Y"},
      {E::StartAtNotFound{"Go"}, "StartAt references unknown state \"Go\" in X.Y"},
      {E::NextAndEnd{}, "must not specify both Next and End in X.Y"},
      {E::NoNextOrEnd{}, "must specify either Next or End in X.Y"},
      {E::EmptyResource{}, "resource must be non-empty in X.Y"},
      {E::InvalidPath{"a"}, "invalid path \"a\" in X.Y"},
      {E::EmptyChoices{}, "Choices array must not be empty in X.Y"},
      {E::InvalidVariable{"$$.x"}, "invalid variable \"$$.x\" in X.Y"},
      {E::DuplicateBranch{"StringEquals(\"a\")"},
       "duplicate branch for StringEquals(\"a\") in X.Y"},
      {E::TransitionNotFound{"Nope"}, "transitions to unknown state \"Nope\" in X.Y"},
      {E::EmptyErrorEquals{}, "ErrorEquals must not be empty in X.Y"},
      {E::InvalidMaxAttempts{4294967295u}, "MaxAttempts must be >= 1, found 4294967295 in X.Y"},
      {E::InvalidBackoffRate{0.5f}, "BackoffRate must be >= 1.0, found 0.5 in X.Y"},
      {E::InvalidBackoffRate{0.0f}, "BackoffRate must be >= 1.0, found 0 in X.Y"},
      {E::InvalidBackoffRate{-1.0f}, "BackoffRate must be >= 1.0, found -1 in X.Y"},
      {E::InvalidBackoffRate{1e-10f}, "BackoffRate must be >= 1.0, found 0.0000000001 in X.Y"},
      {E::NonUniformArray{}, "array elements must have uniform types in X.Y"},
      {E::IncompatibleSchema{"A.Result", "B.Result"},
       "schema of \"A.Result\" is incompatible with \"B.Result\" in X.Y"},
      {E::UnresolvableConditionPath{"Pick", "$.a"},
       "condition path \"$.a\" unresolvable against input schema in X.Y\n  State: Pick"},
      {E::TemplateNotObject{}, "template must be a JSON object in X.Y"},
      {E::InvalidTemplateReference{"a.$", "why"},
       "invalid template reference key \"a.$\" in X.Y: why"},
      {E::ConflictingTemplateKeys{"a"}, "template has conflicting keys \"a\" and \"a.$\" in X.Y"},
      {E::ConflictingTemplateKeys{""}, "template has conflicting keys \"\" and \".$\" in X.Y"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(to_string(E{"X.Y", std::nullopt, c.kind, std::nullopt}), c.text);
  }
}

TEST(ValidationError, ValueAndHintLinesFollowInOrder) {
  EXPECT_EQ(to_string(E{"", std::nullopt, E::EmptyStates{}, hints::kEmptyStates}),
            "states must not be empty at root\n"
            "  Hint: Add at least one state to the States object.");
  EXPECT_EQ(to_string(E{"States.Fetch.Retry[0].MaxAttempts", "0", E::InvalidMaxAttempts{0},
                        hints::kInvalidMaxAttempts}),
            "MaxAttempts must be >= 1, found 0 in States.Fetch.Retry[0].MaxAttempts\n"
            "  Value: 0\n"
            "  Hint: MaxAttempts must be at least 1.");
  EXPECT_EQ(to_string(E{"States.A.Next", "Nope", E::TransitionNotFound{"Nope"}, std::nullopt}),
            "transitions to unknown state \"Nope\" in States.A.Next\n"
            "  Value: Nope");
  // The State line belongs to the kind line and comes before the others.
  EXPECT_EQ(to_string(E{"", "v", E::UnresolvableConditionPath{"S", "$.p"}, std::string_view("h")}),
            "condition path \"$.p\" unresolvable against input schema at root\n"
            "  State: S\n"
            "  Value: v\n"
            "  Hint: h");
}

}  // namespace
}  // namespace vorn::build
