#include "aws_build/lower_data_flow.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aws_build/check.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"
#include "check_test_support.hpp"

namespace vorn::aws {
namespace {

using testing::machine_with;

// The one state `A` of a machine, as the checker accepted it.
State state_of(std::string_view state_text) {
  CheckOutcome outcome = check_definition(machine_with(state_text));
  EXPECT_TRUE(outcome.definition.has_value()) << state_text;
  return outcome.definition->scope.states.at(0);
}

std::string setting_text(const PathSetting& s) {
  switch (s.kind) {
    case PathSetting::Kind::kAbsent:
      return "absent";
    case PathSetting::Kind::kNull:
      return "null";
    case PathSetting::Kind::kPath:
      return std::string(s.path.text());
  }
  return "";
}

// "InputPath|ResultPath|OutputPath|P|RS|R|subject|context": P, RS and R are
// 1 when the flow has Parameters, a ResultSelector, a Result.
std::string summary(const StateDataFlow& f) {
  return setting_text(f.input_path) + "|" + setting_text(f.result_path) + "|" +
         setting_text(f.output_path) + "|" + (f.parameters ? "1" : "0") +
         (f.result_selector ? "1" : "0") + (f.result ? "1" : "0") + "|" + f.limit_subject + "|" +
         (f.reads_context ? "ctx" : "-");
}

std::string lowered(std::string_view state_text) {
  auto flow = lower_data_flow(state_of(state_text));
  if (!flow.ok()) {
    return std::string(flow.error().unsupported ? "unsupported: " : "error: ") +
           flow.error().message;
  }
  return summary(*flow);
}

TEST(LowerDataFlow, KeepsAbsentNullAndPathsApartPerStateType) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({"Type":"Pass","End":true})", "absent|absent|absent|000|A|-"},
      {R"({"Type":"Pass","InputPath":null,"ResultPath":null,"OutputPath":null,"End":true})",
       "null|null|null|000|A|-"},
      {R"({"Type":"Pass","InputPath":"$.a","Parameters":{"x.$":"$$.State.Name"},)"
       R"("ResultPath":"$.r","OutputPath":"$","End":true})",
       "$.a|$.r|$|100|A|ctx"},
      // With a Result, Parameters never run: not compiled, not refused.
      {R"j({"Type":"Pass","Result":{"k.$":"$$"},"Parameters":{"f.$":"States.UUID()"},"End":true})j",
       "absent|absent|absent|001|A|-"},
      {R"({"Type":"Task","Resource":"arn:aws:states:::lambda:invoke","Parameters":{"a":1},)"
       R"("ResultSelector":{"b.$":"$"},"OutputPath":"$$.Execution","End":true})",
       "absent|absent|$$.Execution|110|lambda|ctx"},
      {R"({"Type":"Succeed","InputPath":"$.a","OutputPath":null})", "$.a|absent|null|000|A|-"},
      // (The text closes A and adds the Succeed state B the Choice goes to.)
      {R"({"Type":"Choice","InputPath":"$$","Choices":[{"Variable":"$.a","IsPresent":true,)"
       R"("Next":"B"}],"Default":"B"},"B":{"Type":"Succeed"})",
       "$$|absent|absent|000|A|ctx"},
      {R"({"Type":"Fail","Error":"E"})", "absent|absent|absent|000|A|-"},
      // Intrinsic calls are compiled with their templates; a "$$" argument
      // makes the state build the context object.
      {R"j({"Type":"Pass","Parameters":{"f.$":"States.Format('{}', $$.State.Name)"},"End":true})j",
       "absent|absent|absent|100|A|ctx"},
      {R"({"Type":"Task","Resource":"arn:aws:states:::lambda:invoke",)"
       R"j("ResultSelector":{"n":[{"f.$":"States.UUID()"}]},"End":true})j",
       "absent|absent|absent|010|lambda|-"},
  };
  for (const auto& [state, expected] : cases) EXPECT_EQ(lowered(state), expected) << state;
}

TEST(LowerDataFlow, DataLimitSubjectOfATask) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"arn:aws:lambda:us-east-1:111111111111:function:f",
       "arn:aws:lambda:us-east-1:111111111111:function:f"},
      {"arn:aws:lambda:us-east-1:111111111111:function:f:prod",
       "arn:aws:lambda:us-east-1:111111111111:function:f:prod"},
      {"arn:aws:states:::lambda:invoke", "lambda"},
      {"arn:aws:states:::sqs:sendMessage.waitForTaskToken", "sqs"},
      {"arn:aws:states:::aws-sdk:s3:getObject", "aws-sdk:s3"},
      {"arn:aws-us-gov:states:::sns:publish", "sns"},
      {"arn:aws:states:us-east-1:111111111111:activity:worker",
       "arn:aws:states:us-east-1:111111111111:activity:worker"},
      {"arn:aws:states:::nothing", "arn:aws:states:::nothing"},
  };
  for (const auto& [resource, subject] : cases) {
    EXPECT_EQ(data_limit_subject_of_task(resource), subject) << resource;
  }
}

TEST(LowerDataFlow, LoweredFlowRunsTheRecordedPassCase) {
  auto flow = lower_data_flow(state_of(
      R"({"Type":"Pass","InputPath":"$.initialData","Parameters":{"staticValue":"some value",)"
      R"("inputValue.$":"$.fieldFromInput"},"ResultPath":"$.modifiedData","End":true})"));
  ASSERT_TRUE(flow.ok());
  const SizedValue raw =
      measured(read_json(R"({"initialData":{"fieldFromInput":"v"},"u":1})").value());
  RandomSource random;
  auto result = pass_result(*flow, raw, Value(), random);
  ASSERT_TRUE(result.ok());
  auto output = state_output(*flow, raw, *result, Value(), random);
  ASSERT_TRUE(output.ok());
  EXPECT_EQ(write_json(output->value),
            R"({"initialData":{"fieldFromInput":"v"},"u":1,)"
            R"("modifiedData":{"staticValue":"some value","inputValue":"v"}})");
}

TEST(LowerDataFlow, PathFieldsFailPathsAndJsonataRefusal) {
  auto null_path = lower_path_field(PathField::null(), "ResultPath", "A");
  ASSERT_TRUE(null_path.ok());
  EXPECT_EQ(null_path->kind, PathSetting::Kind::kNull);
  auto bad = lower_path_field(PathField::path("$.a["), "ResultPath", "A");
  ASSERT_FALSE(bad.ok());
  EXPECT_FALSE(bad.error().unsupported);

  auto error_path = lower_fail_path(std::string("$$.State.Name"), "ErrorPath", "A");
  ASSERT_TRUE(error_path.ok() && error_path->has_value());
  EXPECT_TRUE(fail_field_reads_context(**error_path));
  auto absent = lower_fail_path(std::nullopt, "CausePath", "A");
  ASSERT_TRUE(absent.ok());
  EXPECT_FALSE(absent->has_value());
  auto call = lower_fail_path(std::string("States.Format('{}', $.Error)"), "CausePath", "A");
  ASSERT_TRUE(call.ok() && call->has_value());
  EXPECT_TRUE(std::holds_alternative<IntrinsicCall>(**call));

  State jsonata = state_of(R"({"Type":"Pass","QueryLanguage":"JSONata","End":true})");
  auto refused = lower_data_flow(jsonata);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message,
            "The state 'A' uses the JSONata query language, which cannot run");
}

}  // namespace
}  // namespace vorn::aws
