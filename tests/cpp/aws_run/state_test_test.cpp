#include "aws_run/state_test.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "aws_build/check.hpp"
#include "aws_build/lower_program.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {
namespace {

constexpr Instant kNow{1'700'000'000, 0};  // 2023-11-14T22:13:20.000Z

Program program_of(std::string_view definition) {
  const CheckOutcome checked = check_definition(definition);
  EXPECT_TRUE(checked.definition.has_value()) << definition;
  if (!checked.definition) return Program();
  auto lowered = lower_program(*checked.definition);
  EXPECT_TRUE(lowered.ok()) << definition;
  return lowered.ok() ? std::move(lowered).value() : Program();
}

Value json(std::string_view text) {
  return read_json(text).value();
}

ExecutionIdentity identity() {
  return ExecutionIdentity{"run",      "arn:aws:states:us-east-1:123456789012:execution:M:run",
                           "M",        "arn:aws:states:us-east-1:123456789012:stateMachine:M",
                           "arn:role", "us-east-1"};
}

// Every member of the result that is there, one per line, in TestState's
// order; what is absent does not appear at all.
std::string text_of(const StateTestResult& r) {
  std::string out(state_test_status_name(r.status));
  if (r.next_state) out += " -> " + *r.next_state;
  auto line = [&](const char* key, const std::optional<Value>& value) {
    if (value) out += std::string("\n") + key + ": " + write_json(*value);
  };
  line("output", r.output);
  if (r.failure.error) out += "\nerror: " + *r.failure.error;
  if (r.failure.cause) out += "\ncause: " + *r.failure.cause;
  const StateInspection& i = r.inspection;
  line("input", i.input);
  line("afterInputPath", i.after_input_path);
  line("afterParameters", i.after_parameters);
  line("result", i.result);
  line("afterResultSelector", i.after_result_selector);
  line("afterResultPath", i.after_result_path);
  if (i.retry_index) {
    out += "\nretry: " + std::to_string(*i.retry_index) + " after " +
           std::to_string(i.retry_backoff.value_or(RetryDelay{-1}).count()) + "ms";
  }
  if (i.catch_index) out += "\ncatch: " + std::to_string(*i.catch_index);
  return out;
}

struct Tested {
  std::optional<StateTestResult> result;
  std::vector<TaskCall> calls;  // what the runner was asked to run
};

Tested test(std::string_view definition, std::string_view state, std::string_view input,
            const std::optional<TaskOutcome>& outcome = std::nullopt, std::uint64_t seed = 7) {
  const Program program = program_of(definition);
  Tested tested;
  const auto index = find_top_level_state(program, state);
  if (!index) {
    ADD_FAILURE() << "no state " << state;
    return tested;
  }
  tested.result = run_state_test(program, *index, json(input), {identity(), kNow, seed},
                                 [&](const TaskCall& call) -> std::optional<TaskOutcome> {
                                   tested.calls.push_back(call);
                                   // It points into the program, which goes with this call.
                                   tested.calls.back().state_name = {};
                                   tested.calls.back().task = nullptr;
                                   return outcome;
                                 });
  return tested;
}

std::string outcome_of(std::string_view definition, std::string_view state, std::string_view input,
                       const std::optional<TaskOutcome>& outcome = std::nullopt) {
  const Tested tested = test(definition, state, input, outcome);
  return tested.result ? text_of(*tested.result) : "(no result)";
}

// One state definition as the whole machine, plus the states it names.
std::string machine(std::string_view state, std::string_view others = "") {
  return std::string(R"({"StartAt": "S", "States": {"S": )") + std::string(state) +
         (others.empty() ? "" : ", ") + std::string(others) + "}}";
}

// The states a Next, a Default or a catcher leads to; a state nothing
// reaches would refuse the machine.
constexpr const char* kDone =
    R"("Done": {"Type": "Pass", "Next": "Handled"}, "Handled": {"Type": "Succeed"})";
constexpr const char* kHandled = R"("Handled": {"Type": "Succeed"})";

TEST(StateTest, ReportsWhatTestStateRecordedForPassAndFail) {
  const std::string io_input =
      R"({"initialData": {"fieldFromInput": "value from input", "otherField": "other"},
          "unrelatedData": {"someOtherField": 1234}})";
  const struct {
    const char* name;
    std::string definition;
    std::string input;
    const char* expected;
  } rows[] = {
      {"IO_PASS_STATE: ResultPath writes into the raw input, not into E",
       machine(R"({"Type": "Pass", "InputPath": "$.initialData",
                  "Parameters": {"staticValue": "some value", "inputValue.$": "$.fieldFromInput"},
                  "ResultPath": "$.modifiedData", "End": true})"),
       io_input,
       "SUCCEEDED\n"
       R"(output: {"initialData":{"fieldFromInput":"value from input","otherField":"other"},)"
       R"("unrelatedData":{"someOtherField":1234},)"
       R"("modifiedData":{"staticValue":"some value","inputValue":"value from input"}})"
       "\n"
       R"(input: {"initialData":{"fieldFromInput":"value from input","otherField":"other"},)"
       R"("unrelatedData":{"someOtherField":1234}})"
       "\n"
       R"(afterInputPath: {"fieldFromInput":"value from input","otherField":"other"})"
       "\n"
       R"(afterParameters: {"staticValue":"some value","inputValue":"value from input"})"
       "\n"
       R"(result: {"staticValue":"some value","inputValue":"value from input"})"
       "\n"
       R"(afterResultSelector: {"staticValue":"some value","inputValue":"value from input"})"
       "\n"
       R"(afterResultPath: {"initialData":{"fieldFromInput":"value from input","otherField":)"
       R"("other"},"unrelatedData":{"someOtherField":1234},)"
       R"("modifiedData":{"staticValue":"some value","inputValue":"value from input"}})"},
      {"IO_RESULT_PASS_STATE: Result skips InputPath and Parameters",
       machine(R"({"Type": "Pass", "InputPath": "$.initialData",
                  "Parameters": {"staticValue": "some value", "inputValue.$": "$.fieldFromInput"},
                  "Result": {"resultKey": "result value"},
                  "ResultPath": "$.modifiedData", "End": true})"),
       io_input,
       "SUCCEEDED\n"
       R"(output: {"initialData":{"fieldFromInput":"value from input","otherField":"other"},)"
       R"("unrelatedData":{"someOtherField":1234},"modifiedData":{"resultKey":"result value"}})"
       "\n"
       R"(input: {"initialData":{"fieldFromInput":"value from input","otherField":"other"},)"
       R"("unrelatedData":{"someOtherField":1234}})"
       "\n"
       R"(result: {"resultKey":"result value"})"
       "\n"
       R"(afterResultSelector: {"resultKey":"result value"})"
       "\n"
       R"(afterResultPath: {"initialData":{"fieldFromInput":"value from input","otherField":)"
       R"("other"},"unrelatedData":{"someOtherField":1234},)"
       R"("modifiedData":{"resultKey":"result value"}})"},
      {"BASE_FAIL_STATE", machine(R"({"Type": "Fail", "Error": "SomeFailure",
                  "Cause": "This state machines raises a 'SomeFailure' failure."})"),
       R"({"Value": "HelloWorld"})",
       "FAILED\n"
       "error: SomeFailure\n"
       "cause: This state machines raises a 'SomeFailure' failure.\n"
       R"(input: {"Value":"HelloWorld"})"},
      {"a Fail state without Error or Cause reports neither", machine(R"({"Type": "Fail"})"), "{}",
       "FAILED\ninput: {}"},
      {"ErrorPath and CausePath read the raw input",
       machine(R"({"Type": "Fail", "ErrorPath": "$.e", "CausePath": "$$.State.Name"})"),
       R"({"e": "Oops"})",
       "FAILED\nerror: Oops\ncause: S\n"
       R"(input: {"e":"Oops"})"},
      {"an InputPath that finds nothing is States.Runtime at event #2",
       machine(R"({"Type": "Pass", "InputPath": "$.missing", "Next": "Done"})", kDone), "{}",
       "FAILED\n"
       "error: States.Runtime\n"
       "cause: An error occurred while executing the state 'S' (entered at the event id #2). "
       "Invalid path '$.missing' : No results for path: $['missing']\n"
       "input: {}"},
      {"OutputPath null gives {} after ResultPath ran",
       machine(R"({"Type": "Pass", "OutputPath": null, "Next": "Done"})", kDone), R"([1])",
       "SUCCEEDED -> Done\noutput: {}\ninput: [1]\nafterInputPath: [1]\nafterParameters: [1]\n"
       "result: [1]\nafterResultSelector: [1]\nafterResultPath: [1]"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(outcome_of(row.definition, "S", row.input), row.expected) << row.name;
  }
}

TEST(StateTest, ChoiceWaitAndSucceedNeitherWaitNorReachBeyondOutputPath) {
  const std::string choice = machine(
      R"({"Type": "Choice", "OutputPath": "$.n",
          "Choices": [{"Variable": "$.n", "NumericGreaterThan": 1, "Next": "Big"}],
          "Default": "Small"})",
      R"("Big": {"Type": "Succeed"}, "Small": {"Type": "Succeed"})");
  const std::string no_default = machine(
      R"({"Type": "Choice", "Choices": [{"Variable": "$.n", "NumericEquals": 1, "Next": "One"}]})",
      R"("One": {"Type": "Succeed"})");
  const struct {
    const char* name;
    std::string definition;
    const char* input;
    const char* expected;
  } rows[] = {
      {"a matching rule", choice, R"({"n": 2})",
       "SUCCEEDED -> Big\noutput: 2\n"
       R"(input: {"n":2})"
       "\n"
       R"(afterInputPath: {"n":2})"},
      {"the Default", choice, R"({"n": 0})",
       "SUCCEEDED -> Small\noutput: 0\n"
       R"(input: {"n":0})"
       "\n"
       R"(afterInputPath: {"n":0})"},
      {"no rule and no Default", no_default, R"({"n": 2})",
       "FAILED\nerror: States.NoChoiceMatched\n"
       "cause: An error occurred while executing the state 'S' (entered at the event id #2). "
       "No choice rule matched and no Default was specified.\n"
       R"(input: {"n":2})"
       "\n"
       R"(afterInputPath: {"n":2})"},
      {"a Wait of a year goes on at once",
       machine(R"({"Type": "Wait", "Seconds": 31536000, "Next": "Done"})", kDone), "[]",
       "SUCCEEDED -> Done\noutput: []\ninput: []\nafterInputPath: []"},
      {"a Wait timing AWS refuses still fails",
       machine(R"({"Type": "Wait", "SecondsPath": "$.s", "End": true})"), R"({"s": -1})",
       "FAILED\nerror: States.Runtime\n"
       "cause: An error occurred while executing the state 'S' (entered at the event id #2). "
       "The SecondsPath parameter references a negative value: $.s == -1\n"
       R"(input: {"s":-1})"
       "\n"
       R"(afterInputPath: {"s":-1})"},
      {"Succeed has no next state",
       machine(R"({"Type": "Succeed", "InputPath": "$.a", "OutputPath": "$.b"})"),
       R"({"a": {"b": true}})",
       "SUCCEEDED\noutput: true\n"
       R"(input: {"a":{"b":true}})"
       "\n"
       R"(afterInputPath: {"b":true})"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(outcome_of(row.definition, "S", row.input), row.expected) << row.name;
  }
}

// A Task whose failures take each route: a retrier on Flaky, a catcher on
// everything else that places the error output under $.error.
const std::string kGuardedTask = machine(
    R"({"Type": "Task", "Resource": "arn:aws:lambda:us-east-1:1:function:f",
        "TimeoutSeconds": 5, "ResultPath": "$.r",
        "Retry": [{"ErrorEquals": ["Never"], "MaxAttempts": 5},
                  {"ErrorEquals": ["Flaky"], "IntervalSeconds": 3, "MaxDelaySeconds": 2},
                  {"ErrorEquals": ["Spent"], "MaxAttempts": 0}],
        "Catch": [{"ErrorEquals": ["Spent", "States.Timeout"], "ResultPath": "$.error",
                   "Next": "Handled"}],
        "Next": "Done"})",
    kDone);

TEST(StateTest, ATaskFailureIsRetriableCaughtOrFailed) {
  const char* const head = R"(input: {"in":1})"
                           "\n"
                           R"(afterInputPath: {"in":1})"
                           "\n"
                           R"(afterParameters: {"in":1})";
  const struct {
    const char* name;
    TaskOutcome outcome;
    std::string expected;
  } rows[] = {
      {"success goes to Next", TaskOutcome::succeeded(json("[0.0]")),
       std::string("SUCCEEDED -> Done\n") +
           R"(output: {"in":1,"r":[0.0]})"
           "\n" +
           head +
           "\nresult: [0.0]\nafterResultSelector: [0.0]\n"
           R"(afterResultPath: {"in":1,"r":[0.0]})"},
      {"the first matching retrier is reported, not run; its delay is capped",
       TaskOutcome::failed(TaskError{"Flaky", "try again"}),
       std::string("RETRIABLE\nerror: Flaky\ncause: try again\n") + head +
           "\nretry: 1 after 2000ms"},
      {"an exhausted retrier hands over to the catcher",
       TaskOutcome::failed(TaskError{"Spent", std::nullopt}),
       std::string("CAUGHT_ERROR -> Handled\n") +
           R"(output: {"in":1,"error":{"Error":"Spent","Cause":null}})"
           "\nerror: Spent\n" +
           head + "\ncatch: 0"},
      {"a timeout is judged on the attempt's elapsed time and caught with an empty cause",
       TaskOutcome::succeeded(json("1"), std::chrono::seconds(6)),
       std::string("CAUGHT_ERROR -> Handled\n") +
           R"(output: {"in":1,"error":{"Error":"States.Timeout","Cause":""}})"
           "\nerror: States.Timeout\n" +
           head + "\ncatch: 0"},
      {"an error nothing handles fails the state unchanged",
       TaskOutcome::failed(TaskError{"Other", "why"}),
       std::string("FAILED\nerror: Other\ncause: why\n") + head},
  };
  for (const auto& row : rows) {
    const Tested tested = test(kGuardedTask, "S", R"({"in": 1})", row.outcome);
    ASSERT_TRUE(tested.result) << row.name;
    EXPECT_EQ(text_of(*tested.result), row.expected) << row.name;
    ASSERT_EQ(tested.calls.size(), 1u) << row.name;
    EXPECT_EQ(tested.calls[0].attempt, 0) << row.name;
    EXPECT_EQ(tested.calls[0].timeout_seconds, 5) << row.name;
  }
}

TEST(StateTest, TaskDataFlowFollowsTheRecordings) {
  const struct {
    const char* name;
    std::string definition;
    const char* input;
    TaskOutcome outcome;
    const char* expected;
  } rows[] = {
      {"io_output_path: OutputPath picks what ResultPath placed",
       machine(R"({"Type": "Task", "Resource": "arn:aws:states:::dynamodb:putItem",
                  "Parameters": {"TableName": "T", "Item": {"id": {"S.$": "$.id"}}},
                  "ResultPath": "$.putItemOutput", "OutputPath": "$.putItemOutput",
                  "End": true})"),
       R"({"id": "k1"})",
       TaskOutcome::succeeded(json(R"({"SdkHttpMetadata": {"HttpStatusCode": 200}})")),
       "SUCCEEDED\n"
       R"(output: {"SdkHttpMetadata":{"HttpStatusCode":200}})"
       "\n"
       R"(input: {"id":"k1"})"
       "\n"
       R"(afterInputPath: {"id":"k1"})"
       "\n"
       R"(afterParameters: {"TableName":"T","Item":{"id":{"S":"k1"}}})"
       "\n"
       R"(result: {"SdkHttpMetadata":{"HttpStatusCode":200}})"
       "\n"
       R"(afterResultSelector: {"SdkHttpMetadata":{"HttpStatusCode":200}})"
       "\n"
       R"(afterResultPath: {"id":"k1","putItemOutput":{"SdkHttpMetadata":{"HttpStatusCode":200}}})"},
      {"ResultSelector reads the result and $$ shows a RetryCount of 0",
       machine(R"({"Type": "Task", "Resource": "svc",
                  "ResultSelector": {"v.$": "$.v", "retries.$": "$$.State.RetryCount"},
                  "End": true})"),
       "{}", TaskOutcome::succeeded(json(R"({"v": 1, "w": 2})")),
       "SUCCEEDED\n"
       R"(output: {"retries":0,"v":1})"
       "\n"
       "input: {}\nafterInputPath: {}\nafterParameters: {}\n"
       R"(result: {"v":1,"w":2})"
       "\n"
       R"(afterResultSelector: {"retries":0,"v":1})"
       "\n"
       R"(afterResultPath: {"retries":0,"v":1})"},
      {"States.Runtime after a success is never caught",
       machine(R"({"Type": "Task", "Resource": "svc", "OutputPath": "$.no.such",
                  "Catch": [{"ErrorEquals": ["States.ALL"], "Next": "Handled"}], "End": true})",
               kHandled),
       "{}", TaskOutcome::succeeded(json("{}")),
       "FAILED\nerror: States.Runtime\n"
       "cause: An error occurred while executing the state 'S' (entered at the event id #2). "
       "Invalid path '$.no.such' : Missing property in path $['no']\n"
       "input: {}\nafterInputPath: {}\nafterParameters: {}\nresult: {}\n"
       "afterResultSelector: {}\nafterResultPath: {}"},
      {"a result over the limit is the attempt's failure, which a catcher takes; the cause names "
       "the resource",
       machine(R"({"Type": "Task", "Resource": "svc",
                  "Catch": [{"ErrorEquals": ["States.DataLimitExceeded"], "ResultPath": "$.e",
                             "Next": "Handled"}], "End": true})",
               kHandled),
       "{}", TaskOutcome::succeeded(Value::string(std::string(300'000, 'a'))),
       "CAUGHT_ERROR -> Handled\n"
       R"(output: {"e":{"Error":"States.DataLimitExceeded","Cause":"The state/task 'svc' returned )"
       R"(a result with a size exceeding the maximum number of bytes service limit."}})"
       "\n"
       "error: States.DataLimitExceeded\n"
       "cause: The state/task 'svc' returned a result with a size exceeding the maximum number of "
       "bytes service limit.\n"
       "input: {}\nafterInputPath: {}\nafterParameters: {}\ncatch: 0"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(outcome_of(row.definition, "S", row.input, row.outcome), row.expected) << row.name;
  }
}

TEST(StateTest, PathsThatFailBeforeTheTaskRunsNeverCallIt) {
  const struct {
    const char* name;
    const char* state;
    const char* cause;
  } rows[] = {
      {"Parameters",
       R"({"Type": "Task", "Resource": "svc", "Parameters": {"a.$": "$.x"}, "End": true})",
       "The JSONPath '$.x' specified for the field 'a.$' could not be found in the input '{}'"},
      {"TimeoutSecondsPath",
       R"({"Type": "Task", "Resource": "svc", "TimeoutSecondsPath": "$.t", "End": true})",
       "Invalid path '$.t' : No results for path: $['t']"},
      {"HeartbeatSecondsPath",
       R"({"Type": "Task", "Resource": "svc", "HeartbeatSecondsPath": "$.h", "End": true})",
       "Invalid path '$.h' : No results for path: $['h']"},
  };
  for (const auto& row : rows) {
    const Tested tested = test(machine(row.state), "S", "{}", TaskOutcome::succeeded(json("1")));
    ASSERT_TRUE(tested.result) << row.name;
    EXPECT_EQ(tested.result->status, StateTestStatus::kFailed) << row.name;
    EXPECT_EQ(tested.result->failure.error, "States.Runtime") << row.name;
    EXPECT_EQ(tested.result->failure.cause,
              "An error occurred while executing the state 'S' (entered at the event id #2). " +
                  std::string(row.cause))
        << row.name;
    EXPECT_TRUE(tested.calls.empty()) << row.name;
  }
}

TEST(StateTest, TheContextObjectIsAFreshExecutionsWithoutRedriveCount) {
  const std::string definition = machine(
      R"({"Type": "Task", "Resource": "arn:aws:states:::sqs:sendMessage.waitForTaskToken",
          "Parameters": {"ctx.$": "$$"}, "End": true})");
  const Tested tested = test(definition, "S", R"({"k": 1})", TaskOutcome::succeeded(json("{}")));
  ASSERT_EQ(tested.calls.size(), 1u);
  const TaskCall& call = tested.calls[0];
  ASSERT_TRUE(call.task_token);
  EXPECT_EQ(write_json(call.input),
            R"({"ctx":{"Execution":{"Id":"arn:aws:states:us-east-1:123456789012:execution:M:run",)"
            R"("Input":{"k":1},"StartTime":"2023-11-14T22:13:20.000Z","Name":"run",)"
            R"("RoleArn":"arn:role"},"StateMachine":{"Id":)"
            R"("arn:aws:states:us-east-1:123456789012:stateMachine:M","Name":"M"},)"
            R"("State":{"Name":"S","EnteredTime":"2023-11-14T22:13:20.000Z","RetryCount":0},)"
            R"("Task":{"Token":")" +
                *call.task_token + R"("}}})");
  // The seed decides the token, as it decides an execution's.
  EXPECT_EQ(test(definition, "S", "{}", TaskOutcome::succeeded(json("{}"))).calls[0].task_token,
            call.task_token);
  EXPECT_NE(test(definition, "S", "{}", TaskOutcome::succeeded(json("{}")), 8).calls[0].task_token,
            call.task_token);
}

TEST(StateTest, ARunnerWithNoOutcomeStopsTheTest) {
  const Tested tested = test(kGuardedTask, "S", "{}", std::nullopt);
  EXPECT_FALSE(tested.result);
  EXPECT_EQ(tested.calls.size(), 1u);
}

// The first state of an execution and the same state tested alone must
// agree on where they go and what they hand on, or fail alike.
TEST(StateTest, AgreesWithAnExecutionsFirstState) {
  const char* const definitions[] = {
      R"({"Type": "Pass", "Parameters": {"a.$": "$.x", "b": [1]}, "Next": "Done"})",
      R"({"Type": "Pass", "Result": {"r.$": "$"}, "ResultPath": "$.x.y", "Next": "Done"})",
      R"({"Type": "Pass", "ResultPath": "$.x.deep", "Next": "Done"})",
      R"({"Type": "Pass", "Parameters": {"p.$": "$$.Execution.Input"}, "OutputPath": "$.p",
          "Next": "Done"})",
      R"({"Type": "Choice", "Choices": [{"Variable": "$.x", "IsPresent": true, "Next": "Done"}],
          "Default": "Handled"})",
      R"({"Type": "Wait", "SecondsPath": "$.x", "Next": "Done"})",
      R"({"Type": "Succeed", "InputPath": "$.x"})",
      R"({"Type": "Fail", "ErrorPath": "$.x", "Cause": "c"})",
      R"({"Type": "Task", "Resource": "svc", "ResultPath": "$.out", "Next": "Done"})",
      R"({"Type": "Task", "Resource": "svc", "ResultSelector": {"v.$": "$.nope"},
          "Catch": [{"ErrorEquals": ["States.ALL"], "Next": "Handled"}], "Next": "Done"})",
      R"({"Type": "Task", "Resource": "svc", "InputPath": "$.x.y",
          "Catch": [{"ErrorEquals": ["States.ALL"], "Next": "Handled"}], "Next": "Done"})",
  };
  const char* const inputs[] = {R"({"x": 1})", R"({"x": {"y": "s"}})", "{}", R"({"x": "e"})"};
  for (const char* state : definitions) {
    const bool goes_on = std::string_view(state).find(R"("Next")") != std::string_view::npos;
    const std::string definition = machine(state, goes_on ? kDone : "");
    const auto program = std::make_shared<const Program>(program_of(definition));
    for (const char* input : inputs) {
      const auto echo = [](const TaskCall& call) { return TaskOutcome::succeeded(call.input); };
      const auto tested = run_state_test(*program, *find_top_level_state(*program, "S"),
                                         json(input), {identity(), kNow, 7}, echo);
      ASSERT_TRUE(tested);
      VirtualClock clock(kNow);
      Execution execution(program, json(input), identity(), clock, 7);
      for (int guard = 0; guard < 100; ++guard) {
        const auto progress = execution.step();
        if (progress == Execution::Progress::kEnded) break;
        if (progress == Execution::Progress::kTaskDue) {
          execution.finish_task(echo(*execution.task_call()));
        }
      }
      // The first state's exit and the entry after it, if it was left.
      std::optional<std::string> next;
      std::optional<Value> output;
      const auto events = execution.history().events();
      for (std::size_t i = 0; i < events.size() && !output; ++i) {
        if (!event_type_name(events[i].type).ends_with("StateExited")) continue;
        output = events[i].payload;
        if (event_type_name(events[i + 1].type).ends_with("StateEntered")) {
          next = std::string(events[i + 1].name.view());
        }
      }
      const std::string what = definition + " on " + input;
      if (!output) {
        EXPECT_EQ(execution.status(), ExecutionStatus::kFailed) << what;
        EXPECT_EQ(tested->status, StateTestStatus::kFailed) << what;
        EXPECT_EQ(tested->failure, execution.failure()) << what;
        continue;
      }
      ASSERT_TRUE(output) << what;
      ASSERT_TRUE(tested->output) << what << "\n" << text_of(*tested);
      EXPECT_EQ(write_json(*tested->output), write_json(*output)) << what;
      EXPECT_EQ(tested->next_state, next) << what;
      // Only a Task's catcher leads to Handled.
      const bool task = definition.find(R"("Task")") != std::string::npos;
      EXPECT_EQ(tested->status == StateTestStatus::kCaughtError, task && next == "Handled")
          << what;
    }
  }
}

}  // namespace
}  // namespace vorn::aws
