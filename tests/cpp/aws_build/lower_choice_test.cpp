#include "aws_build/lower_choice.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aws_data/read.hpp"

namespace vorn::aws {
namespace {

ChoiceRule read_rule(std::string_view text) {
  auto value = read_json(text);
  EXPECT_TRUE(value.ok()) << text;
  std::vector<Diagnostic> problems;
  auto rule =
      read_choice_rule(value.ok() ? *value : Value(), "/States/C/Choices[0]", true, problems);
  EXPECT_TRUE(rule.has_value()) << text;
  return rule.value_or(ChoiceRule{});
}

ChoiceRule test_rule(std::string variable, ChoiceOperator op, Value operand) {
  ChoiceRule rule;
  rule.variable = std::move(variable);
  rule.op = op;
  rule.operand = std::move(operand);
  return rule;
}

ChoiceRule composite(ChoiceRule::Kind kind, std::vector<ChoiceRule> children) {
  ChoiceRule rule;
  rule.kind = kind;
  rule.children = std::move(children);
  return rule;
}

// Each node as Kind[first,end)^parent, choices as root->next.
std::string describe(const ChoiceProgram& program) {
  std::string text;
  const auto& nodes = program.nodes();
  for (std::uint32_t i = 0; i < nodes.size(); ++i) {
    static constexpr const char* kKinds[] = {"And", "Or", "Not", "Test"};
    text += std::string(i > 0 ? " " : "") + kKinds[static_cast<int>(nodes[i].kind)] + "[" +
            std::to_string(i) + "," + std::to_string(nodes[i].end) + ")";
    if (nodes[i].parent != kNoParent) text += "^" + std::to_string(nodes[i].parent);
  }
  for (const Choice& choice : program.choices()) {
    text += " | " + std::to_string(choice.root) + "->" + choice.next;
  }
  return text + " | default " + program.default_next().value_or("none");
}

TEST(LowerChoice, RulesBecomeFlatTreesInWrittenOrder) {
  ChoiceState state;
  state.choices.push_back(
      read_rule(R"({"Not": {"Variable": "$.type", "StringEquals": "Private"}, "Next": "Public"})"));
  state.choices.push_back(
      read_rule(R"({"Variable": "$.value", "NumericEquals": 0, "Next": "ValueIsZero"})"));
  state.choices.push_back(read_rule(R"({"And": [
      {"Variable": "$.value", "NumericGreaterThanEquals": 20},
      {"Or": [{"Variable": "$.value", "NumericLessThan": 30},
              {"Variable": "$.big", "IsPresent": true}]},
      {"Variable": "$.x", "IsNull": false}], "Next": "ValueInTwenties"})"));
  state.default_target = "Fail";
  const auto program = lower_choice_state(state);
  ASSERT_TRUE(program.ok()) << program.error();
  EXPECT_EQ(describe(*program),
            "Not[0,2) Test[1,2)^0 Test[2,3) And[3,9) Test[4,5)^3 Or[5,8)^3 Test[6,7)^5 "
            "Test[7,8)^5 Test[8,9)^3 | 0->Public | 2->ValueIsZero | 3->ValueInTwenties | "
            "default Fail");
}

TEST(LowerChoice, PreparesOperandsOnce) {
  ChoiceState state;
  state.choices.push_back(
      read_rule(R"({"Variable": "$.a[0]", "StringMatches": "log-*.txt \\* \\\\*", "Next": "N"})"));
  state.choices.push_back(read_rule(
      R"({"Variable": "$.t", "TimestampLessThan": "2012-10-09T20:00:55.5+01:00", "Next": "N"})"));
  state.choices.push_back(
      read_rule(R"({"Variable": "$.n", "NumericEqualsPath": "$$.State.RetryCount", "Next": "N"})"));
  state.choices.push_back(read_rule(R"({"Variable": "$", "IsPresent": false, "Next": "N"})"));
  const auto program = lower_choice_state(state);
  ASSERT_TRUE(program.ok()) << program.error();
  const auto& tests = program->tests();
  ASSERT_EQ(tests.size(), 4u);

  EXPECT_EQ(tests[0].kind, ChoiceTestKind::kStringMatches);
  EXPECT_EQ(tests[0].variable.text(), "$.a[0]");
  const auto* pattern = std::get_if<StringPattern>(&tests[0].operand);
  ASSERT_NE(pattern, nullptr);
  EXPECT_EQ(pattern->pieces(), (std::vector<std::string>{"log-", ".txt * \\", ""}));

  EXPECT_EQ(tests[1].kind, ChoiceTestKind::kTimestamp);
  EXPECT_EQ(tests[1].comparison, ChoiceComparison::kLessThan);
  const auto* instant = std::get_if<Timestamp>(&tests[1].operand);
  ASSERT_NE(instant, nullptr);
  EXPECT_EQ(*instant, (Timestamp{1349809255, 500'000'000}));

  EXPECT_EQ(tests[2].kind, ChoiceTestKind::kNumeric);
  const auto* path = std::get_if<JsonPath>(&tests[2].operand);
  ASSERT_NE(path, nullptr);
  EXPECT_TRUE(path->is_context());
  EXPECT_EQ(path->text(), "$$.State.RetryCount");

  EXPECT_EQ(tests[3].kind, ChoiceTestKind::kIsPresent);
  EXPECT_EQ(std::get<Value>(tests[3].operand), Value::boolean(false));
}

// Trees built by hand, which the checker would have refused: the lowering
// reports them instead of building a program that misbehaves.
TEST(LowerChoice, RefusesTreesTheCheckerWouldRefuse) {
  using Op = ChoiceOperator;
  using K = ChoiceRule::Kind;
  const ChoiceRule fine = test_rule("$.a", Op::kIsNull, Value::boolean(true));
  ChoiceRule too_deep = fine;
  for (int i = 0; i < 1001; ++i) too_deep = composite(K::kNot, {std::move(too_deep)});
  struct Case {
    std::vector<ChoiceRule> choices;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{test_rule("$.a[", Op::kIsNull, Value::boolean(true))},
       "Choices[0]: The value for the field 'Variable' is not a valid path ('$.a[': "
       "unexpected end of path at position 4)"},
      {{fine, test_rule("$.a", Op::kNumericEquals, Value::string("1"))},
       "Choices[1]: a Numeric test compares with a number or a path"},
      {{test_rule("$.a", Op::kStringEquals, Value::integer(1))},
       "Choices[0]: a String test compares with a string or a path"},
      {{test_rule("$.a", Op::kBooleanEquals, Value())},
       "Choices[0]: a Boolean test compares with a boolean or a path"},
      {{test_rule("$.a", Op::kTimestampEquals, Value::integer(0))},
       "Choices[0]: a Timestamp test compares with a timestamp or a path"},
      {{test_rule("$.a", Op::kIsString, Value::string("true"))},
       "Choices[0]: an Is... test expects a boolean"},
      {{test_rule("$.a", Op::kStringMatches, Value::integer(1))},
       "Choices[0]: a StringMatches test needs a pattern"},
      {{test_rule("$.a", Op::kStringMatches, Value::string("a\\b"))},
       "Choices[0]: a backslash in a StringMatches pattern may only escape '*' or '\\'"},
      {{test_rule("$.a", Op::kTimestampEquals, Value::string("2016-12-05 21:29:29Z"))},
       "Choices[0]: The field 'TimestampEquals' holds no timestamp: '2016-12-05 21:29:29Z'"},
      {{test_rule("$.a", Op::kNumericEqualsPath, Value::integer(1))},
       "Choices[0]: The field 'NumericEqualsPath' must hold a path"},
      {{test_rule("$.a", Op::kNumericEqualsPath, Value::string("a.b"))},
       "Choices[0]: The value for the field 'NumericEqualsPath' is not a valid path ('a.b': "
       "a path starts with '$' at position 0)"},
      {{fine, composite(K::kNot, {fine, fine})}, "Choices[1]: a Not holds exactly one rule"},
      {{composite(K::kOr, {composite(K::kAnd, {})})},
       "Choices[0]: an And or Or holds at least one rule"},
      {{too_deep}, "Choices[0]: Choice rules may be nested at most 1000 deep"},
  };
  for (const Case& c : cases) {
    ChoiceState state;
    state.choices = c.choices;
    const auto program = lower_choice_state(state);
    ASSERT_FALSE(program.ok()) << c.expected;
    EXPECT_EQ(program.error(), c.expected);
  }
}

}  // namespace
}  // namespace vorn::aws
