// Choice rules are written here as a definition writes them and go through
// the reader and the lowering before they are evaluated, so every row checks
// the rule from its JSON to the state it selects.
#include "aws_run/choice_evaluation.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "aws_build/choice_rule.hpp"
#include "aws_build/lower_choice.hpp"
#include "aws_data/read.hpp"

namespace vorn::aws {
namespace {

constexpr std::string_view kTrue = "ConditionTrue";
constexpr std::string_view kFalse = "ConditionFalse";
const std::string kVariableMissing =
    "States.Runtime: Invalid path '$.Variable': The choice state's condition path references an "
    "invalid value.";
const std::string kValueMissing =
    "States.Runtime: Invalid path '$.Value': The choice state's condition path references an "
    "invalid value.";

Value json(std::string_view text) {
  auto value = read_json(text);
  EXPECT_TRUE(value.ok()) << text;
  return value.ok() ? *value : Value();
}

// Runs a Choice state with the rules of the JSON array `choices` and the
// Default `default_next` (none when empty) on `input`; gives the next state,
// or "<error>: <cause>".
std::string run_state(std::string_view choices, std::string_view default_next,
                      std::string_view input, std::string_view context = "{}") {
  ChoiceState state;
  const Value rules = json(choices);
  for (const Value& rule_json : rules.items()) {
    std::vector<Diagnostic> problems;
    auto rule = read_choice_rule(rule_json, "/States/C/Choices[0]", true, problems);
    if (!rule) return "unreadable rule: " + problems.at(0).message;
    state.choices.push_back(std::move(*rule));
  }
  if (!default_next.empty()) state.default_target = std::string(default_next);
  auto program = lower_choice_state(state);
  if (!program.ok()) return "not lowered: " + program.error();
  auto decision = evaluate_choices(*program, json(input), json(context));
  if (!decision.ok()) return decision.error().error + ": " + decision.error().cause;
  return std::string(decision->next);
}

// The shape of the recorded operator tests: one rule on $.Variable,
// Next "ConditionTrue", Default "ConditionFalse", input {"Variable": v,
// "Value": w}. An empty v or w leaves that member out.
struct Row {
  std::string test;  // the operator and its operand, e.g. R"("NumericEquals": 0)"
  std::string v;
  std::string w;
  std::string_view expected;  // kTrue, kFalse or the whole failure
};

void check_rows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    const std::string choices =
        R"([{"Variable": "$.Variable", )" + row.test + R"(, "Next": "ConditionTrue"}])";
    std::string input = "{";
    if (!row.v.empty()) input += R"("Variable": )" + row.v;
    if (!row.w.empty()) input += std::string(row.v.empty() ? "" : ", ") + R"("Value": )" + row.w;
    input += "}";
    EXPECT_EQ(run_state(choices, kFalse, input), row.expected) << row.test << " on " << input;
  }
}

TEST(ChoiceEvaluation, RecordedOperatorCases) {
  check_rows({
      {R"("NumericEquals": 0)", "0.0", "", kTrue},
      {R"("NumericEquals": 1.0)", "1", "", kTrue},
      {R"("NumericEquals": 0)", "false", "", kFalse},
      {R"("NumericEquals": 0)", "null", "", kFalse},
      {R"("NumericEquals": 0)", R"("")", "", kFalse},
      {R"("NumericEquals": 0)", "[]", "", kFalse},
      {R"("NumericEquals": 0)", "{}", "", kFalse},
      {R"("NumericEqualsPath": "$.Value")", "0.0", "0", kTrue},
      {R"("NumericGreaterThanEquals": 0)", "0.0", "", kTrue},
      {R"("StringEquals": "HelloWorld")", "1", "", kFalse},
      {R"("StringEquals": "HelloWorld")", "true", "", kFalse},
      {R"("StringEquals": "HelloWorld")", "{}", "", kFalse},
      {R"("StringEquals": "     ")", R"(" ")", "", kFalse},
      {R"("StringLessThan": "AB")", R"("A")", "", kTrue},
      {R"("StringGreaterThan": "A ")", R"("A")", "", kFalse},
      {R"("BooleanEquals": true)", "1", "", kFalse},
      {R"("BooleanEquals": false)", "false", "", kTrue},
      {R"("TimestampEquals": "2012-10-09T19:00:55Z")", R"("2012-10-09T19:00:55Z")", "", kTrue},
      {R"("TimestampGreaterThan": "2012-10-09T19:00:55Z")", R"("2012-10-09T19:00:56Z")", "", kTrue},
      {R"("IsPresent": true)", "null", "", kTrue},
      {R"("IsNull": false)", "0", "", kTrue},
      {R"("IsNumeric": true)", "true", "", kFalse},
      {R"("IsString": true)", R"("2012-10-09T19:00:55")", "", kTrue},
  });
}

TEST(ChoiceEvaluation, NumericComparesByValue) {
  check_rows({
      {R"("NumericEquals": 0)", "-0", "", kTrue},
      {R"("NumericEquals": 2.22)", "2.22", "", kTrue},
      {R"("NumericEquals": 1)", "1.1", "", kFalse},
      {R"("NumericEquals": 100)", "1e2", "", kTrue},
      {R"("NumericEquals": 1)", "true", "", kFalse},
      {R"("NumericEquals": 1)", R"("1")", "", kFalse},
      {R"("NumericEquals": 0)", R"([""])", "", kFalse},
      {R"("NumericGreaterThan": 0)", "0.0", "", kFalse},
      {R"("NumericGreaterThan": 0)", "1e-300", "", kTrue},
      {R"("NumericGreaterThan": 1e308)", "1.7e308", "", kTrue},
      {R"("NumericLessThan": -1.5)", "-2", "", kTrue},
      {R"("NumericLessThan": -1.5)", "-1.5", "", kFalse},
      {R"("NumericLessThanEquals": -1.5)", "-1.5", "", kTrue},
      {R"("NumericGreaterThanEquals": 3)", "2.999", "", kFalse},
      {R"("NumericGreaterThanPath": "$.Value")", "3", "2.5", kTrue},
      {R"("NumericLessThanPath": "$.Value")", "3", "2.5", kFalse},
      {R"("NumericLessThanEqualsPath": "$.Value")", "2.5", "2.50", kTrue},
      {R"("NumericGreaterThanEqualsPath": "$.Value")", "1", R"("0")", kFalse},
      {R"("NumericEqualsPath": "$.Value")", "null", "null", kFalse},
      {R"("NumericEquals": 0)", "", "", kVariableMissing},
      {R"("NumericEqualsPath": "$.Value")", "0", "", kValueMissing},
      {R"("NumericEqualsPath": "$.Value")", R"("not a number")", "", kValueMissing},
  });
}

TEST(ChoiceEvaluation, StringsCompareByUtf16CodeUnits) {
  check_rows({
      {R"("StringEquals": "\t\n")", R"("\t\r\n")", "", kFalse},
      {R"("StringEquals": "Ab")", R"("ab")", "", kFalse},
      {R"("StringEquals": "é")", R"("\u00e9")", "", kTrue},
      {R"("StringGreaterThan": "A")", R"("AB")", "", kTrue},
      {R"("StringGreaterThan": "ABC")", R"("AB")", "", kFalse},
      {R"("StringGreaterThanEquals": "")", R"("")", "", kTrue},
      {R"("StringLessThanEquals": "a")", R"("B")", "", kTrue},
      // U+1F600 is the surrogates D83D DE00 in UTF-16, below U+FF61; its
      // UTF-8 bytes sort above U+FF61's.
      {R"("StringLessThan": "｡")", R"("😀")", "", kTrue},
      {R"("StringGreaterThan": "｡")", R"("😀")", "", kFalse},
      {R"("StringLessThan": "😁")", R"("😀")", "", kTrue},
      {R"("StringLessThan": "z")", R"("é")", "", kFalse},
      {R"("StringEqualsPath": "$.Value")", R"("x")", R"("x")", kTrue},
      {R"("StringLessThanPath": "$.Value")", R"("a")", R"("b")", kTrue},
      {R"("StringGreaterThanPath": "$.Value")", R"("a")", R"("b")", kFalse},
      {R"("StringLessThanEqualsPath": "$.Value")", R"("b")", R"("b")", kTrue},
      {R"("StringGreaterThanEqualsPath": "$.Value")", R"("b")", "2", kFalse},
      {R"("StringEquals": "null")", "null", "", kFalse},
      {R"("StringEquals": "")", "[]", "", kFalse},
      {R"("StringLessThan": "b")", "", "", kVariableMissing},
      {R"("StringEqualsPath": "$.Value")", R"("x")", "", kValueMissing},
  });
}

TEST(ChoiceEvaluation, StringMatchesWholeStringWithWildcards) {
  check_rows({
      {R"("StringMatches": "*.log")", R"("app.log")", "", kTrue},
      {R"("StringMatches": "*.log")", R"(".log")", "", kTrue},
      {R"("StringMatches": "*.log")", R"("app.log.1")", "", kFalse},
      {R"("StringMatches": "log-*")", R"("a log-1")", "", kFalse},
      {R"("StringMatches": "a*b*c")", R"("abc")", "", kTrue},
      {R"("StringMatches": "a*b*c")", R"("aXbYbZc")", "", kTrue},
      {R"("StringMatches": "a*b*c")", R"("acb")", "", kFalse},
      {R"("StringMatches": "*aa*aa*")", R"("aaa")", "", kFalse},
      {R"("StringMatches": "*aa*aa*")", R"("aaaa")", "", kTrue},
      {R"("StringMatches": "ab*ba")", R"("aba")", "", kFalse},
      {R"("StringMatches": "*abab*")", R"("aabaabab")", "", kTrue},
      {R"("StringMatches": "*")", R"("")", "", kTrue},
      {R"("StringMatches": "")", R"("")", "", kTrue},
      {R"("StringMatches": "")", R"(" ")", "", kFalse},
      {R"("StringMatches": "caf*")", R"("café")", "", kTrue},
      {R"("StringMatches": "a\\*")", R"("a*")", "", kTrue},
      {R"("StringMatches": "a\\*")", R"("ab")", "", kFalse},
      {R"("StringMatches": "a\\\\*")", R"("a\\bc")", "", kTrue},
      {R"("StringMatches": "a\\\\*")", R"("abc")", "", kFalse},
      {R"("StringMatches": "*")", "1", "", kFalse},
      {R"("StringMatches": "*")", "null", "", kFalse},
      {R"("StringMatches": "*")", "", "", kVariableMissing},
  });
}

TEST(ChoiceEvaluation, BooleanEqualsOnlyBooleans) {
  check_rows({
      {R"("BooleanEquals": true)", "true", "", kTrue},
      {R"("BooleanEquals": true)", "false", "", kFalse},
      {R"("BooleanEquals": false)", "0", "", kFalse},
      {R"("BooleanEquals": true)", R"("true")", "", kFalse},
      {R"("BooleanEquals": false)", "null", "", kFalse},
      {R"("BooleanEquals": false)", "[false]", "", kFalse},
      {R"("BooleanEqualsPath": "$.Value")", "false", "false", kTrue},
      {R"("BooleanEqualsPath": "$.Value")", "true", "false", kFalse},
      {R"("BooleanEqualsPath": "$.Value")", "true", "1", kFalse},
      {R"("BooleanEquals": true)", "", "", kVariableMissing},
      {R"("BooleanEqualsPath": "$.Value")", "true", "", kValueMissing},
  });
}

TEST(ChoiceEvaluation, TimestampsCompareAsInstants) {
  const std::string t0 = R"("2012-10-09T19:00:55Z")";
  const std::string t1 = R"("2012-10-09T19:00:56Z")";
  check_rows({
      {R"("TimestampEquals": "2012-10-09T19:00:55Z")", t1, "", kFalse},
      {R"("TimestampGreaterThanEquals": "2012-10-09T19:00:55Z")", t0, "", kTrue},
      {R"("TimestampLessThan": "2012-10-09T19:00:56Z")", t0, "", kTrue},
      {R"("TimestampLessThanEquals": "2012-10-09T19:00:55Z")", t1, "", kFalse},
      {R"("TimestampGreaterThan": "2012-10-09T19:00:56Z")", t1, "", kFalse},
      // the same instant written with an offset and with fraction digits
      {R"("TimestampEquals": "2012-10-09T19:00:55Z")", R"("2012-10-09T20:00:55+01:00")", "", kTrue},
      {R"("TimestampEquals": "2012-10-09T19:00:55Z")", R"("2012-10-09T19:00:55.000000Z")", "",
       kTrue},
      {R"("TimestampGreaterThan": "2012-10-09T19:00:55Z")", R"("2012-10-09T19:00:55.000000001Z")",
       "", kTrue},
      {R"("TimestampEquals": "2023-02-24T12:15:56Z")", R"("2023-02-24 12:15:56.832957")", "",
       kFalse},
      {R"("TimestampLessThan": "2016-12-05T21:29:29Z")", R"("2016-12-05T21:29:29")", "", kFalse},
      {R"("TimestampGreaterThan": "2016-12-05T21:29:29Z")", R"("2016-13-05T21:29:29Z")", "",
       kFalse},
      {R"("TimestampEquals": "2012-10-09T19:00:55Z")", "1349809255", "", kFalse},
      {R"("TimestampEqualsPath": "$.Value")", t0, t0, kTrue},
      {R"("TimestampLessThanPath": "$.Value")", t0, t1, kTrue},
      {R"("TimestampGreaterThanPath": "$.Value")", t0, t1, kFalse},
      {R"("TimestampLessThanEqualsPath": "$.Value")", t1, t1, kTrue},
      {R"("TimestampGreaterThanEqualsPath": "$.Value")", t1, R"("tomorrow")", kFalse},
      {R"("TimestampEquals": "2012-10-09T19:00:55Z")", "", "", kVariableMissing},
      {R"("TimestampEqualsPath": "$.Value")", t0, "", kValueMissing},
  });
}

TEST(ChoiceEvaluation, TypeTests) {
  check_rows({
      {R"("IsNull": true)", "null", "", kTrue},
      {R"("IsNull": true)", "0", "", kFalse},
      {R"("IsNull": false)", "null", "", kFalse},
      {R"("IsPresent": true)", "false", "", kTrue},
      {R"("IsPresent": true)", "", "", kFalse},
      {R"("IsPresent": false)", "", "", kTrue},
      {R"("IsPresent": false)", "{}", "", kFalse},
      {R"("IsNumeric": true)", "1.1", "", kTrue},
      {R"("IsNumeric": true)", R"("1")", "", kFalse},
      {R"("IsNumeric": false)", "0", "", kFalse},
      {R"("IsString": true)", R"("")", "", kTrue},
      {R"("IsString": true)", "null", "", kFalse},
      {R"("IsString": false)", "[]", "", kTrue},
      {R"("IsBoolean": true)", "false", "", kTrue},
      {R"("IsBoolean": true)", "0", "", kFalse},
      {R"("IsBoolean": false)", R"("true")", "", kTrue},
      {R"("IsTimestamp": true)", R"("2016-03-14T01:59:00Z")", "", kTrue},
      {R"("IsTimestamp": true)", R"("2016-03-14T01:59:00")", "", kFalse},
      {R"("IsTimestamp": false)", "20160314", "", kTrue},
      {R"("IsNull": true)", "", "", kVariableMissing},
      {R"("IsNumeric": false)", "", "", kVariableMissing},
      {R"("IsString": true)", "", "", kVariableMissing},
      {R"("IsBoolean": true)", "", "", kVariableMissing},
      {R"("IsTimestamp": false)", "", "", kVariableMissing},
  });
}

struct StateCase {
  std::string choices;
  std::string default_next;
  std::string input;
  std::string expected;
};

TEST(ChoiceEvaluation, StatesTakeTheFirstRuleThatHolds) {
  const std::string docs_scenario = R"([
      {"Not": {"Variable": "$.type", "StringEquals": "Private"}, "Next": "Public"},
      {"Variable": "$.value", "NumericEquals": 0, "Next": "ValueIsZero"},
      {"And": [{"Variable": "$.value", "NumericGreaterThanEquals": 20},
               {"Variable": "$.value", "NumericLessThan": 30}], "Next": "ValueInTwenties"}])";
  const std::string done_flag = R"([
      {"BooleanEquals": true, "Next": "FinishTrue", "Variable": "$.result.done"},
      {"Variable": "$.result.done", "Next": "FinishFalse", "BooleanEquals": false}])";
  const std::string map_break = R"([{"And": [{"Variable": "$", "IsPresent": true},
      {"And": [{"Variable": "$", "IsNumeric": true}, {"Variable": "$", "NumericEquals": 3}]}],
      "Next": "Break"}])";
  const std::string guarded = R"([{"And": [{"Variable": "$.a", "IsPresent": true},
      {"Variable": "$.a", "NumericEquals": 1}], "Next": "One"}])";
  const std::string either = R"([{"Or": [{"Variable": "$.a", "IsPresent": false},
      {"Variable": "$.a", "NumericEquals": 1}], "Next": "AbsentOrOne"}])";
  const std::string missing_first = R"([
      {"Variable": "$.missing", "StringEquals": "x", "Next": "X"},
      {"Variable": "$.a", "NumericEquals": 1, "Next": "One"}])";
  const std::string missing_later = R"([
      {"Variable": "$.a", "NumericEquals": 1, "Next": "One"},
      {"Variable": "$.missing", "StringEquals": "x", "Next": "X"}])";
  const std::vector<StateCase> cases = {
      {docs_scenario, "Fail", R"({"type": "Private", "value": 22})", "ValueInTwenties"},
      {docs_scenario, "Fail", R"({"type": "Public", "value": 22})", "Public"},
      {docs_scenario, "Fail", R"({"type": "Private", "value": 0.0})", "ValueIsZero"},
      {docs_scenario, "Fail", R"({"type": "Private", "value": 30})", "Fail"},
      {R"([{"And": [{"Variable": "$.type", "StringEquals": "Public"}], "Next": "Public"}])", "",
       R"({"type": "Public", "value": 22})", "Public"},
      {done_flag, "", R"({"result": {"done": false}})", "FinishFalse"},
      {done_flag, "", R"({"result": {"done": "no"}})",
       "States.NoChoiceMatched: No choice rule matched and no Default was specified."},
      {done_flag, "", R"({"result": 1})",
       "States.Runtime: Invalid path '$.result.done': The choice state's condition path "
       "references an invalid value."},
      {map_break, "Continue", "1", "Continue"},
      {map_break, "Continue", R"("Hello")", "Continue"},
      {map_break, "Continue", "{}", "Continue"},
      {map_break, "Continue", "3.3", "Continue"},
      {map_break, "Continue", "3", "Break"},
      // And and Or stop at the first rule that settles them, so the test of
      // a missing $.a is never run.
      {guarded, "Other", "{}", "Other"},
      {guarded, "Other", R"({"a": 1})", "One"},
      {either, "Other", "{}", "AbsentOrOne"},
      {either, "Other", R"({"a": 2})", "Other"},
      {R"([{"Not": {"Not": {"Variable": "$.a", "IsNull": true}}, "Next": "Null"}])", "Other",
       R"({"a": null})", "Null"},
      {missing_first, "", R"({"a": 1})",
       "States.Runtime: Invalid path '$.missing': The choice state's condition path references "
       "an invalid value."},
      {missing_later, "", R"({"a": 1})", "One"},
      // an indefinite path always resolves, to the array of its matches
      {R"([{"Variable": "$.items[*].id", "IsPresent": true, "Next": "Some"}])", "", "{}", "Some"},
      {R"([{"Variable": "$.items[?(@.id == 2)].id", "IsNumeric": false, "Next": "Array"}])", "",
       R"({"items": [{"id": 1}, {"id": 2}]})", "Array"},
  };
  for (const StateCase& c : cases) {
    EXPECT_EQ(run_state(c.choices, c.default_next, c.input), c.expected) << c.choices << c.input;
  }
}

TEST(ChoiceEvaluation, ContextPathsReadTheContextObject) {
  const std::string context =
      R"({"Execution": {"Input": {"input-value": 0}, "Name": "run-1"},
          "State": {"Name": "Check", "EnteredTime": "2024-05-01T10:00:00.000Z"}})";
  const std::vector<StateCase> cases = {
      {R"([{"Variable": "$$.Execution.Input.input-value", "NumericLessThanEquals": 0,
            "Next": "Matched"}])",
       "Other", R"({"input-value": 7})", "Matched"},
      {R"([{"Variable": "$.name", "StringEqualsPath": "$$.Execution.Name", "Next": "Same"}])",
       "Other", R"({"name": "run-1"})", "Same"},
      {R"([{"Variable": "$.due", "TimestampLessThanPath": "$$.State.EnteredTime",
            "Next": "Late"}])",
       "Other", R"({"due": "2024-05-01T09:59:59Z"})", "Late"},
      {R"([{"Variable": "$$.Task.Token", "IsPresent": false, "Next": "NoToken"}])", "Other", "{}",
       "NoToken"},
      {R"([{"Variable": "$$.Map.Item.Index", "NumericEquals": 0, "Next": "First"}])", "Other", "{}",
       "States.Runtime: Invalid path '$$.Map.Item.Index': The choice state's condition path "
       "references an invalid value."},
  };
  for (const StateCase& c : cases) {
    EXPECT_EQ(run_state(c.choices, c.default_next, c.input, context), c.expected) << c.choices;
  }
}

// Rules nested as deep as a definition can hold them are evaluated without
// recursion: an Or of an And of ... a thousand levels.
TEST(ChoiceEvaluation, DeepNestingNeedsNoRecursion) {
  std::vector<Diagnostic> problems;
  auto read =
      read_choice_rule(json(R"({"Variable": "$.a", "NumericEquals": 1})"), "", false, problems);
  ASSERT_TRUE(read.has_value());
  // Built by hand: the reader refuses JSON nested this deep.
  ChoiceRule current = *read;
  for (int depth = 0; depth < 999; ++depth) {
    ChoiceRule parent;
    parent.kind = depth % 3 == 0
                      ? ChoiceRule::Kind::kNot
                      : (depth % 3 == 1 ? ChoiceRule::Kind::kAnd : ChoiceRule::Kind::kOr);
    parent.children.push_back(std::move(current));
    current = std::move(parent);
  }
  current.next = "Deep";
  ChoiceState state;
  state.choices.push_back(std::move(current));
  state.default_target = "Shallow";
  auto program = lower_choice_state(state);
  ASSERT_TRUE(program.ok()) << program.error();
  // 333 Nots: an odd count inverts the test.
  EXPECT_EQ(evaluate_choices(*program, json(R"({"a": 2})"), Value())->next, "Deep");
  EXPECT_EQ(evaluate_choices(*program, json(R"({"a": 1})"), Value())->next, "Shallow");
}

}  // namespace
}  // namespace vorn::aws
