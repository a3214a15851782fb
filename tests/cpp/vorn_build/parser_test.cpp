#include "vorn_build/parser.hpp"

#include <gtest/gtest.h>

namespace vorn::build {
namespace {

AslAst parse_ok(std::string_view text) {
  auto result = parse(text);
  EXPECT_TRUE(result.ok()) << (result.ok() ? "" : to_string(result.error()));
  return result.ok() ? std::move(result).value() : AslAst{};
}

std::string parse_error(std::string_view text) {
  auto result = parse(text);
  EXPECT_FALSE(result.ok()) << "accepted: " << text;
  return result.ok() ? "" : to_string(result.error());
}

// A definition whose only state "S" is `state`.
std::string with_state(std::string_view state) {
  return R"({"StartAt":"S","States":{"S":)" + std::string(state) + "}}";
}

TEST(Parser, MinimalDefinition) {
  AslAst ast = parse_ok(R"({"StartAt":"A","States":{"A":{"Type":"Succeed"}}})");
  EXPECT_EQ(ast.start_at, "A");
  ASSERT_EQ(ast.states.size(), 1u);
  EXPECT_EQ(ast.states[0].name, "A");
  EXPECT_TRUE(std::holds_alternative<SucceedStateAst>(ast.states[0].state));
  EXPECT_FALSE(ast.comment.has_value());
}

TEST(Parser, StatesAreInByteOrderAndFound) {
  AslAst ast = parse_ok(
      R"({"StartAt":"b","States":{"b":{"Type":"Succeed"},"B":{"Type":"Succeed"},"a":{"Type":"Succeed"}},"Comment":"c"})");
  ASSERT_EQ(ast.states.size(), 3u);
  EXPECT_EQ(ast.states[0].name, "B");
  EXPECT_EQ(ast.states[1].name, "a");
  EXPECT_EQ(ast.states[2].name, "b");
  EXPECT_EQ(ast.state_index("b"), 2u);
  EXPECT_FALSE(ast.state_index("c").has_value());
  EXPECT_EQ(ast.comment, "c");
}

TEST(Parser, TaskFieldsAreRead) {
  AslAst ast = parse_ok(with_state(R"({
    "Type":"Task","Resource":"svc","Parameters":{"a.$":"$.x"},"ResultSelector":[1],
    "InputPath":"$.in","OutputPath":null,"ResultPath":"$.r","Next":"S","End":null,
    "Retry":[{"ErrorEquals":["E"],"IntervalSeconds":4294967295,"MaxAttempts":0,"BackoffRate":2}],
    "Catch":[{"ErrorEquals":[],"Next":"S"}],"Comment":"doc"})"));
  const auto& task = std::get<TaskStateAst>(ast.states[0].state);
  EXPECT_EQ(task.resource, "svc");
  ASSERT_TRUE(task.parameters.has_value());
  EXPECT_TRUE(task.parameters->is_object());
  EXPECT_TRUE(task.result_selector->is_array());
  EXPECT_EQ(task.input_path, "$.in");
  EXPECT_FALSE(task.output_path.has_value());
  EXPECT_EQ(std::get<ResultPathText>(task.result_path).path, "$.r");
  EXPECT_EQ(task.next, "S");
  EXPECT_FALSE(task.end);
  ASSERT_EQ(task.retry.size(), 1u);
  EXPECT_EQ(task.retry[0].error_equals, std::vector<std::string>{"E"});
  EXPECT_EQ(task.retry[0].interval_seconds, 4294967295u);
  EXPECT_EQ(task.retry[0].max_attempts, 0u);
  EXPECT_EQ(task.retry[0].backoff_rate, 2.0f);
  ASSERT_EQ(task.catch_.size(), 1u);
  EXPECT_TRUE(task.catch_[0].error_equals.empty());
  EXPECT_EQ(task.comment, "doc");
}

TEST(Parser, ResultPathKeepsItsThreeForms) {
  auto result_path_of = [](std::string_view fields) {
    AslAst ast = parse_ok(with_state(R"({"Type":"Pass","End":true)" + std::string(fields) + "}"));
    return std::get<PassStateAst>(ast.states[0].state).result_path;
  };
  EXPECT_TRUE(std::holds_alternative<ResultPathUnset>(result_path_of("")));
  EXPECT_TRUE(std::holds_alternative<ResultPathNull>(result_path_of(R"(,"ResultPath":null)")));
  EXPECT_EQ(std::get<ResultPathText>(result_path_of(R"(,"ResultPath":"$")")).path, "$");
}

TEST(Parser, NullMeansAbsentForOptionalValues) {
  AslAst ast =
      parse_ok(with_state(R"({"Type":"Pass","Result":null,"Parameters":null,"End":true})"));
  const auto& pass = std::get<PassStateAst>(ast.states[0].state);
  EXPECT_FALSE(pass.result.has_value());
  EXPECT_FALSE(pass.parameters.has_value());
  EXPECT_TRUE(pass.end);
}

TEST(Parser, ChoiceOperatorsAndTheirPrecedence) {
  AslAst ast = parse_ok(with_state(R"({"Type":"Choice","Choices":[
    {"Variable":"$.a","Next":"S","NumericEquals":-9223372036854775808},
    {"Variable":"$.a","Next":"S","NumericEquals":9223372036854775807,"StringEquals":"x"},
    {"Variable":"$.a","Next":"S","StringEquals":"x","BooleanEquals":true},
    {"Variable":"$.a","Next":"S","BooleanEquals":false}],"Default":"S"})"));
  const auto& choice = std::get<ChoiceStateAst>(ast.states[0].state);
  ASSERT_EQ(choice.choices.size(), 4u);
  EXPECT_EQ(std::get<NumericEqualsOp>(choice.choices[0].op).value, INT64_MIN);
  EXPECT_EQ(std::get<NumericEqualsOp>(choice.choices[1].op).value, INT64_MAX);
  EXPECT_EQ(std::get<StringEqualsOp>(choice.choices[2].op).value, "x");
  EXPECT_FALSE(std::get<BooleanEqualsOp>(choice.choices[3].op).value);
  EXPECT_EQ(choice.default_, "S");
}

TEST(Parser, EmptyListsAreAcceptedHere) {
  parse_ok(R"({"StartAt":"A","States":{}})");
  parse_ok(with_state(R"({"Type":"Choice","Choices":[]})"));
}

TEST(Parser, BackoffRateAcceptsAnyNumber) {
  AslAst ast = parse_ok(with_state(
      R"({"Type":"Task","Resource":"r","End":true,"Retry":[{"ErrorEquals":["a"],"BackoffRate":-3}]})"));
  EXPECT_EQ(std::get<TaskStateAst>(ast.states[0].state).retry[0].backoff_rate, -3.0f);
}

struct ErrorCase {
  std::string text;
  std::string message;
};

void expect_errors(const std::vector<ErrorCase>& cases) {
  for (const ErrorCase& c : cases) EXPECT_EQ(parse_error(c.text), c.message) << c.text;
}

TEST(ParserErrors, TopLevel) {
  expect_errors({
      {"[]", R"~(invalid field "(root)" at root: expected object)~"},
      {R"({"StartAt":"A","States":{},"Version":"1.0"})", R"(unknown field "Version" in Version)"},
      {R"({"Version":"1.0"})", R"(unknown field "Version" in Version)"},
      {R"({"States":{}})", R"(missing required field "StartAt" at root)"},
      {R"({"StartAt":1,"States":{}})", R"(invalid field "StartAt" in StartAt: expected string)"},
      {R"({"StartAt":null,"States":{}})", R"(invalid field "StartAt" in StartAt: expected string)"},
      {R"({"StartAt":"A"})", R"(missing required field "States" at root)"},
      {R"({"StartAt":"A","States":[]})", R"(invalid field "States" in States: expected object)"},
      {R"({"StartAt":"A","States":{},"Comment":5})",
       R"(invalid field "Comment" in Comment: expected string)"},
      {"{\"a\\\"b\":1}", "unknown field \"a\"b\" in a\"b"},
  });
  EXPECT_EQ(parse_error("{"), "invalid JSON: EOF while parsing an object at line 1 column 2");
}

TEST(ParserErrors, States) {
  expect_errors({
      {R"({"StartAt":"A","States":{"b":5,"a":"x"}})",
       R"(invalid field "a" in States.a: expected object)"},
      {R"({"StartAt":"A","States":{"a.b":"x"}})",
       R"(invalid field "b" in States.a.b: expected object)"},
      {with_state("{}"), R"(missing required field "Type" in States.S)"},
      {with_state(R"({"Type":3})"), R"(invalid field "Type" in States.S.Type: expected string)"},
      {with_state(R"({"Type":"Map","Bogus":1})"),
       R"(unsupported state type "Map" in States.S.Type)"},
      {with_state(R"({"Type":"task"})"), R"(unsupported state type "task" in States.S.Type)"},
      {with_state(R"({"Type":"Pass","ResultSelector":{}})"),
       R"(unknown field "ResultSelector" in States.S.ResultSelector)"},
      {with_state(R"({"Type":"Pass","Retry":[]})"), R"(unknown field "Retry" in States.S.Retry)"},
      {with_state(R"({"Type":"Succeed","Next":"S"})"), R"(unknown field "Next" in States.S.Next)"},
      {with_state(R"({"Type":"Fail","Error":1})"),
       R"(invalid field "Error" in States.S.Error: expected string)"},
      {with_state(R"({"Type":"Fail","Cause":true})"),
       R"(invalid field "Cause" in States.S.Cause: expected string)"},
      {with_state(R"({"Type":"Task"})"), R"(missing required field "Resource" in States.S)"},
      {with_state(R"({"Type":"Task","Resource":"r","InputPath":1})"),
       R"(invalid field "InputPath" in States.S.InputPath: expected string)"},
      {with_state(R"({"Type":"Pass","ResultPath":5})"),
       R"(invalid field "ResultPath" in States.S.ResultPath: expected string or null)"},
      {with_state(R"({"Type":"Pass","End":"true"})"),
       R"(invalid field "End" in States.S.End: expected boolean)"},
      {with_state(R"({"Type":"Pass","Next":7})"),
       R"(invalid field "Next" in States.S.Next: expected string)"},
      {with_state(R"({"Type":"Succeed","Comment":7})"),
       R"(invalid field "Comment" in States.S.Comment: expected string)"},
  });
}

TEST(ParserErrors, KeysAreReadInOrder) {
  // Resource before InputPath before End before Retry before Comment.
  expect_errors({
      {with_state(R"({"Type":"Task","InputPath":1,"Resource":2})"),
       R"(invalid field "Resource" in States.S.Resource: expected string)"},
      {with_state(R"({"Type":"Task","Resource":"r","Comment":1,"End":1})"),
       R"(invalid field "End" in States.S.End: expected boolean)"},
      {with_state(R"({"Type":"Task","Resource":"r","Comment":1,"Retry":1})"),
       R"(invalid field "Retry" in States.S.Retry: expected array)"},
      {with_state(R"({"Type":"Pass","OutputPath":1,"InputPath":2})"),
       R"(invalid field "InputPath" in States.S.InputPath: expected string)"},
      // Unknown keys are found before any key is read.
      {with_state(R"({"Type":"Task","Resource":1,"Zzz":1})"),
       R"(unknown field "Zzz" in States.S.Zzz)"},
  });
}

TEST(ParserErrors, Choices) {
  const std::string rule = R"({"Variable":"$.x","Next":"S",)";
  expect_errors({
      {with_state(R"({"Type":"Choice"})"), R"(missing required field "Choices" in States.S)"},
      {with_state(R"({"Type":"Choice","Choices":{}})"),
       R"(invalid field "Choices" in States.S.Choices: expected array)"},
      {with_state(R"({"Type":"Choice","Choices":[1]})"),
       R"(invalid field "Choices[0]" in States.S.Choices[0]: expected object)"},
      {with_state(R"({"Type":"Choice","Choices":[{"Next":"S","NumericEquals":1}]})"),
       R"(missing required field "Variable" in States.S.Choices[0])"},
      {with_state(R"({"Type":"Choice","Choices":[{"Variable":"$","NumericEquals":1}]})"),
       R"(missing required field "Next" in States.S.Choices[0])"},
      {with_state(R"({"Type":"Choice","Choices":[)" + rule + R"("And":[]}]})"),
       R"(unknown field "And" in States.S.Choices[0].And)"},
      {with_state(R"({"Type":"Choice","Choices":[)" + rule + R"("NumericEquals":10.5}]})"),
       R"(invalid field "NumericEquals" in States.S.Choices[0].NumericEquals: expected integer)"},
      {with_state(R"({"Type":"Choice","Choices":[)" + rule + R"("NumericEquals":1.0}]})"),
       R"(invalid field "NumericEquals" in States.S.Choices[0].NumericEquals: expected integer)"},
      {with_state(R"({"Type":"Choice","Choices":[)" + rule +
                  R"("NumericEquals":9223372036854775808}]})"),
       R"(invalid field "NumericEquals" in States.S.Choices[0].NumericEquals: expected integer)"},
      {with_state(R"({"Type":"Choice","Choices":[)" + rule +
                  R"("NumericEquals":null,"StringEquals":"x"}]})"),
       R"(invalid field "NumericEquals" in States.S.Choices[0].NumericEquals: expected integer)"},
      {with_state(R"({"Type":"Choice","Choices":[)" + rule + R"("StringEquals":1}]})"),
       R"(invalid field "StringEquals" in States.S.Choices[0].StringEquals: expected string)"},
      {with_state(R"({"Type":"Choice","Choices":[)" + rule + R"("BooleanEquals":"true"}]})"),
       R"(invalid field "BooleanEquals" in States.S.Choices[0].BooleanEquals: expected boolean)"},
      {with_state(R"({"Type":"Choice","Choices":[)" + rule + R"("BooleanEquals":true},)" + rule +
                  R"("Comment":"c"}]})"),
       R"(unknown field "Comment" in States.S.Choices[1].Comment)"},
      {with_state(R"({"Type":"Choice","Choices":[{"Variable":"$.x","Next":"S"}]})"),
       R"~(missing required field "operator (NumericEquals, StringEquals, or BooleanEquals)" in States.S.Choices[0])~"},
      {with_state(R"({"Type":"Choice","Choices":[],"Default":1})"),
       R"(invalid field "Default" in States.S.Default: expected string)"},
  });
}

TEST(ParserErrors, RetryAndCatch) {
  const std::string task = R"({"Type":"Task","Resource":"r","End":true,)";
  expect_errors({
      {with_state(task + R"("Retry":null})"),
       R"(invalid field "Retry" in States.S.Retry: expected array)"},
      {with_state(task + R"("Retry":["x"]})"),
       R"(invalid field "Retry[0]" in States.S.Retry[0]: expected object)"},
      {with_state(task + R"("Retry":[{}]})"),
       R"(missing required field "ErrorEquals" in States.S.Retry[0])"},
      {with_state(task + R"("Retry":[{"ErrorEquals":"x"}]})"),
       R"(invalid field "ErrorEquals" in States.S.Retry[0].ErrorEquals: expected array)"},
      {with_state(task + R"("Retry":[{"ErrorEquals":["Boom",5]}]})"),
       R"(invalid field "[1]" in States.S.Retry[0].ErrorEquals[1]: expected string)"},
      {with_state(task + R"("Retry":[{"ErrorEquals":[],"Next":"S"}]})"),
       R"(unknown field "Next" in States.S.Retry[0].Next)"},
      {with_state(task + R"("Retry":[{"ErrorEquals":[],"MaxAttempts":4294967296}]})"),
       R"(invalid field "MaxAttempts" in States.S.Retry[0].MaxAttempts: expected integer within u32 range)"},
      {with_state(task + R"("Retry":[{"ErrorEquals":[],"MaxAttempts":-1}]})"),
       R"(invalid field "MaxAttempts" in States.S.Retry[0].MaxAttempts: expected non-negative integer)"},
      {with_state(task + R"("Retry":[{"ErrorEquals":[],"MaxAttempts":2.0}]})"),
       R"(invalid field "MaxAttempts" in States.S.Retry[0].MaxAttempts: expected non-negative integer)"},
      {with_state(task + R"("Retry":[{"ErrorEquals":[],"IntervalSeconds":"1","MaxAttempts":-1}]})"),
       R"(invalid field "IntervalSeconds" in States.S.Retry[0].IntervalSeconds: expected non-negative integer)"},
      {with_state(task + R"("Retry":[{"ErrorEquals":[],"BackoffRate":"2"}]})"),
       R"(invalid field "BackoffRate" in States.S.Retry[0].BackoffRate: expected number)"},
      {with_state(task + R"("Retry":[{"ErrorEquals":[]},{"ErrorEquals":[],"BackoffRate":true}]})"),
       R"(invalid field "BackoffRate" in States.S.Retry[1].BackoffRate: expected number)"},
      {with_state(task + R"("Catch":[{"ErrorEquals":[]}]})"),
       R"(missing required field "Next" in States.S.Catch[0])"},
      {with_state(task + R"("Catch":[{"ErrorEquals":[],"Next":"S","ResultPath":"$"}]})"),
       R"(unknown field "ResultPath" in States.S.Catch[0].ResultPath)"},
      {with_state(task + R"("Catch":[{"Next":"S"}]})"),
       R"(missing required field "ErrorEquals" in States.S.Catch[0])"},
  });
}

}  // namespace
}  // namespace vorn::build
