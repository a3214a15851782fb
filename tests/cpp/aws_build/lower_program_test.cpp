#include "aws_build/lower_program.hpp"

#include <gtest/gtest.h>

#include <string>

#include "aws_build/check.hpp"

namespace vorn::aws {
namespace {

Program lowered(std::string_view text) {
  const CheckOutcome outcome = check_definition(text);
  EXPECT_TRUE(outcome.definition.has_value()) << text;
  auto program = lower_program(*outcome.definition);
  EXPECT_TRUE(program.ok());
  return program.ok() ? std::move(program).value() : Program();
}

// "name:kind->next" for each state, in order; "-" for no state.
std::string layout(const ProgramScope& scope) {
  std::string out = "start " + std::to_string(scope.start);
  for (const ProgramState& s : scope.states) {
    out += " | " + s.name + ":" + std::string(state_kind_name(s.kind)) + "->" +
           (s.next == kNoState ? "-" : std::to_string(s.next));
  }
  return out;
}

TEST(LowerProgram, NumbersStatesAndResolvesEveryTransition) {
  const Program program = lowered(R"({
    "StartAt": "Prepare", "TimeoutSeconds": 30,
    "States": {
      "Done": {"Type": "Succeed"},
      "Prepare": {"Type": "Pass", "Result": {"n": 1}, "Next": "Route"},
      "Route": {"Type": "Choice",
                "Choices": [{"Variable": "$.n", "NumericEquals": 1, "Next": "Work"}],
                "Default": "Done"},
      "Work": {"Type": "Task", "Resource": "arn:aws:lambda:us-east-1:123456789012:function:w",
               "Catch": [{"ErrorEquals": ["States.ALL"], "Next": "Broken"}], "Next": "Pause"},
      "Pause": {"Type": "Wait", "Seconds": 5, "End": true},
      "Broken": {"Type": "Fail", "Error": "E", "Cause": "C"}
    }})");
  ASSERT_EQ(program.scopes.size(), 1u);
  EXPECT_EQ(program.timeout_seconds, 30);
  EXPECT_EQ(layout(program.scopes[0]),
            "start 1 | Done:Succeed->- | Prepare:Pass->2 | Route:Choice->- | Work:Task->4 | "
            "Pause:Wait->- | Broken:Fail->-");
  const auto& choice = std::get<ChoiceStep>(program.scopes[0].states[2].step);
  EXPECT_EQ(choice.targets, std::vector<std::uint32_t>{3});
  EXPECT_EQ(choice.default_target, 0u);
  const auto& task = std::get<TaskStep>(program.scopes[0].states[3].step);
  EXPECT_EQ(task.target.kind, ResourceKind::kLambdaFunction);
  EXPECT_EQ(task.catch_targets, std::vector<std::uint32_t>{5});
  const auto& failure = std::get<FailStep>(program.scopes[0].states[5].step);
  EXPECT_EQ(failure.error, "E");
  EXPECT_EQ(failure.cause, "C");
}

TEST(LowerProgram, RefusesWhatCannotRunYetAtEachUse) {
  const struct {
    const char* definition;
    const char* expected;  // "location: message" of each refusal
  } rows[] = {
      {R"({"StartAt": "P", "States": {"P": {"Type": "Parallel", "End": true, "Branches": [
           {"StartAt": "A", "States": {"A": {"Type": "Succeed"}}}]}}})",
       "/States/P: Parallel state is not supported by pyvorn yet"},
      {R"({"StartAt": "M", "States": {"M": {"Type": "Map", "End": true, "ItemProcessor": {
           "StartAt": "A", "States": {"A": {"Type": "Succeed"}}}}}})",
       "/States/M: Map state is not supported by pyvorn yet"},
      {R"({"StartAt": "A", "States": {"A": {"Type": "Pass", "Assign": {"x": 1}, "End": true}}})",
       "/States/A: Variables (Assign) is not supported by pyvorn yet"},
      {R"({"QueryLanguage": "JSONata", "StartAt": "A", "States": {"A": {"Type": "Succeed"}}})",
       "/QueryLanguage: JSONata is not supported by pyvorn yet"},
  };
  for (const auto& row : rows) {
    const CheckOutcome outcome = check_definition(row.definition);
    ASSERT_TRUE(outcome.definition.has_value()) << row.definition;
    const auto program = lower_program(*outcome.definition);
    ASSERT_FALSE(program.ok()) << row.definition;
    std::string refusals;
    for (const Diagnostic& d : program.error()) {
      EXPECT_EQ(d.code, code::kUnsupportedFeature);
      refusals += (refusals.empty() ? "" : "; ") + d.location + ": " + d.message;
    }
    EXPECT_EQ(refusals, row.expected);
  }
}

}  // namespace
}  // namespace vorn::aws
