#include "aws_build/choice_rule.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "aws_data/read.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {

// Readable failure output; internal so another suite file may have its own.
[[maybe_unused]] static void PrintTo(const Diagnostic& d, std::ostream* os) {
  *os << severity_name(d.severity) << " " << d.code << ": " << d.message << " at " << d.location;
}

namespace {

constexpr std::string_view kAt = "/States/C/Choices[0]";

// The rule tree in one line: And(..), Or(..), Not(..) around
// "Variable Operator operand", then "-> Next" for a top-level rule.
std::string describe(const ChoiceRule& rule) {
  switch (rule.kind) {
    case ChoiceRule::Kind::kCompare:
      return rule.variable + " " + std::string(choice_operator_name(rule.op)) + " " +
             write_json(rule.operand);
    case ChoiceRule::Kind::kNot:
      return "Not(" + describe(rule.children.at(0)) + ")";
    case ChoiceRule::Kind::kAnd:
    case ChoiceRule::Kind::kOr: {
      std::string text = rule.kind == ChoiceRule::Kind::kAnd ? "And(" : "Or(";
      for (std::size_t i = 0; i < rule.children.size(); ++i) {
        text += (i > 0 ? ", " : "") + describe(rule.children[i]);
      }
      return text + ")";
    }
  }
  return "?";
}

std::vector<Diagnostic> read_rule(std::string_view json, bool top_level,
                                  std::optional<ChoiceRule>& rule) {
  auto value = read_json(json);
  EXPECT_TRUE(value.ok()) << json;
  std::vector<Diagnostic> out;
  if (value.ok()) rule = read_choice_rule(*value, kAt, top_level, out);
  return out;
}

struct Accepted {
  std::string json;
  bool top_level;
  std::string expected;  // describe(rule) + " -> Next" for top-level rules
};

TEST(ChoiceRule, AcceptsEveryShapeAndOperator) {
  const std::vector<Accepted> cases = {
      {R"({"Variable":"$.s","StringEquals":"a","Next":"N"})", true, "$.s StringEquals \"a\" -> N"},
      {R"({"Next":"N","BooleanEquals":true,"Variable":"$.b"})", true,
       "$.b BooleanEquals true -> N"},
      {R"({"Variable":"$$.Execution.Input.input-value","NumericLessThanEquals":0,"Next":"N",
          "Comment":"context variable"})",
       true, "$$.Execution.Input.input-value NumericLessThanEquals 0 -> N"},
      {R"({"Variable":"$","NumericEquals":0.0,"Next":"N"})", true, "$ NumericEquals 0.0 -> N"},
      {R"({"And":[{"Variable":"$.type","StringEquals":"Public"}],"Next":"Public"})", true,
       "And($.type StringEquals \"Public\") -> Public"},
      {R"({"Not":{"Variable":"$.type","StringEquals":"Private","Comment":"inner"},"Next":"P"})",
       true, "Not($.type StringEquals \"Private\") -> P"},
      {R"({"Comment":"outer","Or":[
            {"Comment":"a","And":[{"Variable":"$","IsPresent":true},
                                 {"Not":{"Variable":"$","IsNull":true}}]},
            {"Variable":"$.v[0]","NumericGreaterThanEquals":20}],"Next":"N"})",
       true,
       "Or(And($ IsPresent true, Not($ IsNull true)), $.v[0] NumericGreaterThanEquals 20) -> N"},
      // nested rules and every operator, literal and path alike
      {R"({"Variable":"$.a","StringEqualsPath":"$.b"})", false, "$.a StringEqualsPath \"$.b\""},
      {R"({"Variable":"$.a","StringLessThan":"x"})", false, "$.a StringLessThan \"x\""},
      {R"({"Variable":"$.a","StringLessThanPath":"$$.State.Name"})", false,
       "$.a StringLessThanPath \"$$.State.Name\""},
      {R"({"Variable":"$.a","StringGreaterThan":""})", false, "$.a StringGreaterThan \"\""},
      {R"({"Variable":"$.a","StringGreaterThanPath":"$.b"})", false,
       "$.a StringGreaterThanPath \"$.b\""},
      {R"({"Variable":"$.a","StringLessThanEquals":"x"})", false, "$.a StringLessThanEquals \"x\""},
      {R"({"Variable":"$.a","StringLessThanEqualsPath":"$.b"})", false,
       "$.a StringLessThanEqualsPath \"$.b\""},
      {R"({"Variable":"$.a","StringGreaterThanEquals":"x"})", false,
       "$.a StringGreaterThanEquals \"x\""},
      {R"({"Variable":"$.a","StringGreaterThanEqualsPath":"$.b"})", false,
       "$.a StringGreaterThanEqualsPath \"$.b\""},
      {R"({"Variable":"$.a","StringMatches":"log-*.txt \\* \\\\"})", false,
       R"($.a StringMatches "log-*.txt \\* \\\\")"},
      {R"({"Variable":"$.a","NumericEqualsPath":"$.b"})", false, "$.a NumericEqualsPath \"$.b\""},
      {R"({"Variable":"$.a","NumericLessThan":-1.5e3})", false, "$.a NumericLessThan -1.5e3"},
      {R"({"Variable":"$.a","NumericLessThanPath":"$.b"})", false,
       "$.a NumericLessThanPath \"$.b\""},
      {R"({"Variable":"$.a","NumericGreaterThan":1})", false, "$.a NumericGreaterThan 1"},
      {R"({"Variable":"$.a","NumericGreaterThanPath":"$.b"})", false,
       "$.a NumericGreaterThanPath \"$.b\""},
      {R"({"Variable":"$.a","NumericLessThanEquals":1})", false, "$.a NumericLessThanEquals 1"},
      {R"({"Variable":"$.a","NumericLessThanEqualsPath":"$.b"})", false,
       "$.a NumericLessThanEqualsPath \"$.b\""},
      {R"({"Variable":"$.a","NumericGreaterThanEqualsPath":"$.b"})", false,
       "$.a NumericGreaterThanEqualsPath \"$.b\""},
      {R"({"Variable":"$.a","BooleanEqualsPath":"$.b"})", false, "$.a BooleanEqualsPath \"$.b\""},
      {R"({"Variable":"$.a","TimestampEquals":"2012-10-09T19:00:55Z"})", false,
       "$.a TimestampEquals \"2012-10-09T19:00:55Z\""},
      {R"({"Variable":"$.a","TimestampEqualsPath":"$.b"})", false,
       "$.a TimestampEqualsPath \"$.b\""},
      {R"({"Variable":"$.a","TimestampLessThan":"2012-10-09T19:00:55.5+01:00"})", false,
       "$.a TimestampLessThan \"2012-10-09T19:00:55.5+01:00\""},
      {R"({"Variable":"$.a","TimestampLessThanPath":"$.b"})", false,
       "$.a TimestampLessThanPath \"$.b\""},
      {R"({"Variable":"$.a","TimestampGreaterThan":"2012-10-09T19:00:55Z"})", false,
       "$.a TimestampGreaterThan \"2012-10-09T19:00:55Z\""},
      {R"({"Variable":"$.a","TimestampGreaterThanPath":"$.b"})", false,
       "$.a TimestampGreaterThanPath \"$.b\""},
      {R"({"Variable":"$.a","TimestampLessThanEquals":"2012-10-09T19:00:55Z"})", false,
       "$.a TimestampLessThanEquals \"2012-10-09T19:00:55Z\""},
      {R"({"Variable":"$.a","TimestampLessThanEqualsPath":"$.b"})", false,
       "$.a TimestampLessThanEqualsPath \"$.b\""},
      {R"({"Variable":"$.a","TimestampGreaterThanEquals":"2012-10-09T19:00:55Z"})", false,
       "$.a TimestampGreaterThanEquals \"2012-10-09T19:00:55Z\""},
      {R"({"Variable":"$.a","TimestampGreaterThanEqualsPath":"$.b"})", false,
       "$.a TimestampGreaterThanEqualsPath \"$.b\""},
      {R"({"Variable":"$.a","IsNumeric":false})", false, "$.a IsNumeric false"},
      {R"({"Variable":"$.a","IsString":true})", false, "$.a IsString true"},
      {R"({"Variable":"$.a","IsBoolean":true})", false, "$.a IsBoolean true"},
      {R"({"Variable":"$.a[*].b","IsTimestamp":true})", false, "$.a[*].b IsTimestamp true"},
  };
  for (const Accepted& c : cases) {
    std::optional<ChoiceRule> rule;
    const auto diagnostics = read_rule(c.json, c.top_level, rule);
    EXPECT_TRUE(diagnostics.empty()) << c.json << "\n" << diagnostics.at(0).message;
    ASSERT_TRUE(rule.has_value()) << c.json;
    EXPECT_EQ(describe(*rule) + (c.top_level ? " -> " + rule->next : ""), c.expected);
  }
}

struct Refused {
  std::string json;
  bool top_level;
  std::vector<std::pair<std::string, std::string>> diagnostics;  // location suffix, message
};

TEST(ChoiceRule, RefusesWithEveryProblemAtItsPlace) {
  const std::vector<Refused> cases = {
      {R"({"Variable":"$.a","NumericEquals":1})", true,
       {{"", "These fields are required: [Next]"}}},
      {R"({"Variable":"$.a","NumericEquals":1,"Next":"N"})", false,
       {{"", "Field 'Next' is not supported"}}},
      {R"({"Variable":"$.a","NumericEquals":1,"Next":""})", true,
       {{"/Next", "Value cannot be empty"}}},
      {R"({"Variable":"$.a","NumericEquals":1,"Next":7})", true,
       {{"/Next", "The field 'Next' must be a string"}}},
      {R"({"Variable":"$.a","NumericEquals":1,"Next":"N","Foo":1,"Comment":3})", true,
       {{"", "Field 'Foo' is not supported"},
        {"/Comment", "The field 'Comment' must be a string"}}},
      {R"({"Next":"N"})", true,
       {{"", "One of these fields is required: [Variable, And, Or, Not]"}}},
      {R"({"Variable":"$.a","Next":"N"})", true,
       {{"", "A comparison operator is required with the field 'Variable'"}}},
      {R"({"NumericEquals":1,"Next":"N"})", true, {{"", "These fields are required: [Variable]"}}},
      {R"({"Variable":"$.a","StringEquals":"x","NumericEquals":1,"Next":"N"})", true,
       {{"", "Only one of these fields is allowed: [StringEquals, NumericEquals]"}}},
      {R"({"And":[{"Variable":"$.a","IsNull":true}],"Not":{"Variable":"$.a","IsNull":true},
           "Next":"N"})",
       true, {{"", "Only one of these fields is allowed: [And, Not]"}}},
      {R"({"Variable":"$.a","Or":[{"Variable":"$.a","IsNull":true}],"Next":"N"})", true,
       {{"", "Field 'Variable' is not supported"}}},
      {"[]", true, {{"", "Value must be an object"}}},
      // And / Or / Not and the rules inside them
      {R"({"And":[],"Next":"N"})", true, {{"/And", "Value cannot be empty"}}},
      {R"({"Or":{},"Next":"N"})", true, {{"/Or", "The field 'Or' must be an array"}}},
      {R"({"Not":[],"Next":"N"})", true, {{"/Not", "Value must be an object"}}},
      {R"({"And":[{"Variable":"$.a","IsNull":true},{"Variable":"$.b","IsNull":1,"Next":"N"},
           "x"],"Next":"N"})",
       true,
       {{"/And[1]/IsNull", "The field 'IsNull' must be a boolean"},
        {"/And[1]", "Field 'Next' is not supported"},
        {"/And[2]", "Value must be an object"}}},
      {R"({"Or":[{"Not":{"Not":{"Variable":"a","IsString":true}}}],"Next":"N"})", true,
       {{"/Or[0]/Not/Not/Variable",
         "The value for the field 'Variable' must be a valid JSONPath"}}},
      // Variable and operands
      {R"({"Variable":1,"IsNull":true,"Next":"N"})", true,
       {{"/Variable", "The field 'Variable' must be a string"}}},
      {R"({"Variable":"","IsNull":true,"Next":"N"})", true,
       {{"/Variable", "The value for the field 'Variable' must be a valid JSONPath"}}},
      {R"({"Variable":"$.a","StringEquals":1,"Next":"N"})", true,
       {{"/StringEquals", "The field 'StringEquals' must be a string"}}},
      {R"({"Variable":"$.a","NumericEquals":"1","Next":"N"})", true,
       {{"/NumericEquals", "The field 'NumericEquals' must be a number"}}},
      {R"({"Variable":"$.a","NumericGreaterThanEquals":null,"Next":"N"})", true,
       {{"/NumericGreaterThanEquals", "The field 'NumericGreaterThanEquals' must be a number"}}},
      {R"({"Variable":"$.a","BooleanEquals":"true","Next":"N"})", true,
       {{"/BooleanEquals", "The field 'BooleanEquals' must be a boolean"}}},
      {R"({"Variable":"$.a","IsPresent":"yes","Next":"N"})", true,
       {{"/IsPresent", "The field 'IsPresent' must be a boolean"}}},
      {R"({"Variable":"$.a","TimestampEquals":"2016-12-05T21:29:29","Next":"N"})", true,
       {{"/TimestampEquals", "String does not match RFC3339 timestamp"}}},
      {R"({"Variable":"$.a","TimestampGreaterThan":0,"Next":"N"})", true,
       {{"/TimestampGreaterThan", "The field 'TimestampGreaterThan' must be a string"}}},
      {R"({"Variable":"$.a","NumericEqualsPath":"$.[","Next":"N"})", true,
       {{"/NumericEqualsPath",
         "The value for the field 'NumericEqualsPath' must be a valid JSONPath"}}},
      {R"({"Variable":"$.a","StringEqualsPath":["$.b"],"Next":"N"})", true,
       {{"/StringEqualsPath", "The field 'StringEqualsPath' must be a string"}}},
      {R"({"Variable":"$.a","StringMatches":["*"],"Next":"N"})", true,
       {{"/StringMatches", "The field 'StringMatches' must be a string"}}},
      {R"({"Variable":"$.a","StringMatches":"a\\b","Next":"N"})", true,
       {{"/StringMatches", "The value for the field 'StringMatches' must be a valid pattern: a "
                          "backslash may only escape '*' or '\\'"}}},
      {R"({"Variable":"$.a","StringMatches":"a\\\\\\","Next":"N"})", true,
       {{"/StringMatches", "The value for the field 'StringMatches' must be a valid pattern: a "
                          "backslash may only escape '*' or '\\'"}}},
      // several problems at once, all reported in the order written
      {R"({"Variable":"$.[","NumericEquals":true,"Extra":{},"StringEquals":"x"})", true,
       {{"/Variable", "The value for the field 'Variable' must be a valid JSONPath"},
        {"/NumericEquals", "The field 'NumericEquals' must be a number"},
        {"", "Field 'Extra' is not supported"},
        {"", "Only one of these fields is allowed: [NumericEquals, StringEquals]"},
        {"", "These fields are required: [Next]"}}},
  };
  for (const Refused& c : cases) {
    std::optional<ChoiceRule> rule;
    const auto diagnostics = read_rule(c.json, c.top_level, rule);
    EXPECT_FALSE(rule.has_value()) << c.json;
    std::vector<Diagnostic> expected;
    for (const auto& [suffix, message] : c.diagnostics) {
      expected.push_back({Severity::kError, "SCHEMA_VALIDATION_FAILED", message,
                          std::string(kAt) + suffix, 0, 0});
    }
    EXPECT_EQ(diagnostics, expected) << c.json;
  }
}

TEST(ChoiceRule, OperatorNamesRoundTrip) {
  int operators = 0;
  int path_operators = 0;
  for (int i = 0; i <= static_cast<int>(ChoiceOperator::kIsTimestamp); ++i) {
    const auto op = static_cast<ChoiceOperator>(i);
    const std::string_view name = choice_operator_name(op);
    EXPECT_EQ(choice_operator_from_name(name), op) << name;
    EXPECT_EQ(is_path_operator(op), name.ends_with("Path")) << name;
    ++operators;
    path_operators += is_path_operator(op) ? 1 : 0;
  }
  EXPECT_EQ(operators, 39);
  EXPECT_EQ(path_operators, 16);
  EXPECT_EQ(choice_operator_from_name("numericequals"), std::nullopt);
  EXPECT_EQ(choice_operator_from_name("StringMatchesPath"), std::nullopt);
}

// A rule tree built in code can be deeper than any the reader accepts; it is
// refused, not walked until the stack runs out.
TEST(ChoiceRule, RefusesTreesDeeperThanTheReaderAllows) {
  Value rule = Value::object({{"Variable", Value::string("$")}, {"IsNull", Value::boolean(true)}});
  for (std::size_t i = 0; i <= kMaxReadDepth; ++i) rule = Value::object({{"Not", rule}});
  std::vector<Diagnostic> out;
  EXPECT_FALSE(read_choice_rule(rule, "/R", false, out).has_value());
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].code, "TOO_DEEPLY_NESTED");
  EXPECT_EQ(out[0].message, "Choice rules may be nested at most 1000 deep");
  EXPECT_EQ(out[0].location.size(), 2 + 4 * (kMaxReadDepth + 1));
}

}  // namespace
}  // namespace vorn::aws
