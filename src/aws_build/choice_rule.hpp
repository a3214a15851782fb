// ChoiceRule: one rule of a Choice state as a tree (And / Or / Not over
// data tests), read from its JSON object and checked as AWS checks it when a
// definition is created.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "aws_build/diagnostic.hpp"
#include "aws_data/value.hpp"

namespace vorn::aws {

// The 39 comparison operators; each `...Path` twin compares against the value
// at a path instead of a literal.
enum class ChoiceOperator : std::uint8_t {
  kStringEquals, kStringEqualsPath,
  kStringLessThan, kStringLessThanPath,
  kStringGreaterThan, kStringGreaterThanPath,
  kStringLessThanEquals, kStringLessThanEqualsPath,
  kStringGreaterThanEquals, kStringGreaterThanEqualsPath,
  kStringMatches,
  kNumericEquals, kNumericEqualsPath,
  kNumericLessThan, kNumericLessThanPath,
  kNumericGreaterThan, kNumericGreaterThanPath,
  kNumericLessThanEquals, kNumericLessThanEqualsPath,
  kNumericGreaterThanEquals, kNumericGreaterThanEqualsPath,
  kBooleanEquals, kBooleanEqualsPath,
  kTimestampEquals, kTimestampEqualsPath,
  kTimestampLessThan, kTimestampLessThanPath,
  kTimestampGreaterThan, kTimestampGreaterThanPath,
  kTimestampLessThanEquals, kTimestampLessThanEqualsPath,
  kTimestampGreaterThanEquals, kTimestampGreaterThanEqualsPath,
  kIsNull, kIsPresent, kIsNumeric, kIsString, kIsBoolean, kIsTimestamp,
};

// The operator's field name as written in a definition ("NumericEqualsPath").
std::string_view choice_operator_name(ChoiceOperator op);
// The operator a field name stands for; nullopt for any other name.
std::optional<ChoiceOperator> choice_operator_from_name(std::string_view name);
bool is_path_operator(ChoiceOperator op);

struct ChoiceRule {
  enum class Kind : std::uint8_t { kAnd, kOr, kNot, kCompare };
  Kind kind = Kind::kCompare;
  std::vector<ChoiceRule> children;  // kAnd / kOr: the elements; kNot: the one rule
  std::string variable;              // kCompare: the Variable path as written
  ChoiceOperator op = ChoiceOperator::kStringEquals;
  // kCompare: the literal as written; for a ...Path operator the path text
  // (a string).
  Value operand;
  std::string next;  // top-level rules only
};

// Reads the rule object `rule` found at `location` (AWS's form, e.g.
// "/States/C/Choices[0]" or "/States/C/Choices[0]/And[1]") and appends every
// problem it has to `out`, each with its own location; line and column are
// left 0 for the caller to fill in. `top_level` rules must carry "Next",
// nested ones must not. Returns the rule when no error was found in it.
std::optional<ChoiceRule> read_choice_rule(const Value& rule, std::string_view location,
                                           bool top_level, std::vector<Diagnostic>& out);

}  // namespace vorn::aws
