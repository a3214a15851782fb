#include "aws_run/execution.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "aws_build/check.hpp"
#include "aws_build/lower_program.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {
namespace {

constexpr Instant kStart{1'700'000'000, 0};

std::shared_ptr<const Program> program_of(std::string_view definition) {
  const CheckOutcome checked = check_definition(definition);
  EXPECT_TRUE(checked.definition.has_value()) << definition;
  if (!checked.definition) return std::make_shared<Program>();
  auto lowered = lower_program(*checked.definition);
  EXPECT_TRUE(lowered.ok()) << definition;
  return std::make_shared<Program>(lowered.ok() ? std::move(lowered).value() : Program());
}

Value json(std::string_view text) { return read_json(text).value(); }

using Handler = std::function<TaskOutcome(const TaskCall&)>;

// Runs to the end, answering each task with `handler`.
struct ScriptedRun {
  VirtualClock clock{kStart};
  std::unique_ptr<Execution> execution;

  ScriptedRun(std::string_view definition, std::string_view input, const Handler& handler,
      std::uint64_t seed = 7) {
    execution = std::make_unique<Execution>(program_of(definition), json(input),
                                            ExecutionIdentity{"run", "arn:run", "M", "arn:M",
                                                              "arn:role", "us-east-1"},
                                            clock, seed);
    for (int guard = 0; guard < 1000; ++guard) {
      const auto progress = execution->step();
      if (progress == Execution::Progress::kEnded) return;
      if (progress == Execution::Progress::kTaskDue) {
        execution->finish_task(handler(*execution->task_call()));
      }
    }
    ADD_FAILURE() << "the run did not end";
  }

  // "SUCCEEDED {...}" or "FAILED error | cause" (a missing part as "-").
  std::string outcome() const {
    const ExecutionStatus status = execution->status();
    std::string out(execution_status_name(status));
    if (status == ExecutionStatus::kSucceeded) return out + " " + write_json(execution->output());
    const TaskError& f = execution->failure();
    if (status == ExecutionStatus::kFailed || status == ExecutionStatus::kAborted) {
      out += " " + f.error.value_or("-") + " | " + f.cause.value_or("-");
    }
    return out;
  }

  std::string events() const {
    std::string out;
    for (const HistoryEvent& e : execution->history().events()) {
      out += (out.empty() ? "" : " ") + std::string(event_type_name(e.type));
    }
    return out;
  }

  std::int64_t seconds_taken() const { return clock.now().seconds - kStart.seconds; }
};

TaskOutcome echo(const TaskCall& call) { return TaskOutcome::succeeded(call.input); }

TEST(Execution, RunsEachStateTypeAsAwsDoes) {
  const struct {
    const char* definition;
    const char* input;
    const char* outcome;
    const char* events;
  } rows[] = {
      {R"({"StartAt": "A", "States": {
           "A": {"Type": "Pass", "Result": {"x": 1}, "ResultPath": "$.r", "Next": "B"},
           "B": {"Type": "Succeed", "OutputPath": "$.r"}}})",
       R"({"keep": 0.0})", R"(SUCCEEDED {"x":1})",
       "ExecutionStarted PassStateEntered PassStateExited SucceedStateEntered "
       "SucceedStateExited ExecutionSucceeded"},
      {R"({"StartAt": "T", "States": {
           "T": {"Type": "Task", "Resource": "arn:aws:lambda:us-east-1:1:function:f",
                 "Parameters": {"loop.$": "$.loop"}, "ResultPath": "$.result", "End": true}}})",
       R"({"loop": {"count": 0}})",
       R"(SUCCEEDED {"loop":{"count":0},"result":{"loop":{"count":0}}})",
       "ExecutionStarted TaskStateEntered LambdaFunctionScheduled LambdaFunctionStarted "
       "LambdaFunctionSucceeded TaskStateExited ExecutionSucceeded"},
      {R"({"StartAt": "T", "States": {
           "T": {"Type": "Task", "Resource": "arn:aws:states:::sqs:sendMessage", "End": true}}})",
       "[1, 2]", "SUCCEEDED [1,2]",
       "ExecutionStarted TaskStateEntered TaskScheduled TaskStarted TaskSucceeded "
       "TaskStateExited ExecutionSucceeded"},
      {R"({"StartAt": "C", "States": {
           "C": {"Type": "Choice", "Choices": [
                   {"Variable": "$.n", "NumericGreaterThan": 1, "Next": "Big"}],
                 "Default": "Small"},
           "Big": {"Type": "Pass", "Result": "big", "End": true},
           "Small": {"Type": "Pass", "Result": "small", "End": true}}})",
       R"({"n": 2})", R"(SUCCEEDED "big")",
       "ExecutionStarted ChoiceStateEntered ChoiceStateExited PassStateEntered PassStateExited "
       "ExecutionSucceeded"},
      {R"({"StartAt": "C", "States": {
           "C": {"Type": "Choice", "Choices": [
                   {"Variable": "$.n", "NumericGreaterThan": 1, "Next": "E"}]},
           "E": {"Type": "Succeed"}}})",
       R"({"n": 0})",
       "FAILED States.NoChoiceMatched | An error occurred while executing the state 'C' (entered "
       "at the event id #2). No choice rule matched and no Default was specified.",
       "ExecutionStarted ChoiceStateEntered ExecutionFailed"},
      {R"({"StartAt": "A", "States": {
           "A": {"Type": "Pass", "Next": "F"},
           "F": {"Type": "Fail", "ErrorPath": "$.e", "Cause": "given up"}}})",
       R"({"e": "Oops"})", "FAILED Oops | given up",
       "ExecutionStarted PassStateEntered PassStateExited FailStateEntered ExecutionFailed"},
      {R"({"StartAt": "A", "States": {
           "A": {"Type": "Pass", "InputPath": "$.missing", "End": true}}})",
       "{}",
       "FAILED States.Runtime | An error occurred while executing the state 'A' (entered at the "
       "event id #2). Invalid path '$.missing' : No results for path: $['missing']",
       "ExecutionStarted PassStateEntered ExecutionFailed"},
      {R"({"StartAt": "W", "States": {
           "W": {"Type": "Wait", "SecondsPath": "$.s", "End": true}}})",
       R"({"s": -1})",
       "FAILED States.Runtime | An error occurred while executing the state 'W' (entered at the "
       "event id #2). The SecondsPath parameter references a negative value: $.s == -1",
       "ExecutionStarted WaitStateEntered ExecutionFailed"},
  };
  for (const auto& row : rows) {
    const ScriptedRun run(row.definition, row.input, echo);
    EXPECT_EQ(run.outcome(), row.outcome) << row.definition;
    EXPECT_EQ(run.events(), row.events) << row.definition;
  }
}

constexpr const char* kRetryThenCatch = R"({"StartAt": "T", "States": {
  "T": {"Type": "Task", "Resource": "arn:aws:lambda:us-east-1:1:function:f",
        "TimeoutSeconds": 5,
        "Retry": [{"ErrorEquals": ["Flaky"], "IntervalSeconds": 2, "MaxAttempts": 2}],
        "Catch": [{"ErrorEquals": ["States.ALL"], "ResultPath": "$.error", "Next": "Handled"}],
        "Next": "Done"},
  "Handled": {"Type": "Pass", "End": true},
  "Done": {"Type": "Succeed"}}})";

TEST(Execution, RetriesCatchesAndTimesOutOnTheVirtualClock) {
  const TaskError flaky{"Flaky", "try again"};
  const struct {
    const char* name;
    std::vector<TaskOutcome> attempts;
    const char* outcome;
    std::int64_t seconds;
  } rows[] = {
      {"recovers on the second attempt after 2 s",
       {TaskOutcome::failed(flaky), TaskOutcome::succeeded(json(R"("ok")"))},
       R"(SUCCEEDED "ok")", 2},
      {"backs off 2 s then 4 s, then the catcher takes the failure",
       {TaskOutcome::failed(flaky), TaskOutcome::failed(flaky), TaskOutcome::failed(flaky)},
       R"(SUCCEEDED {"in":1,"error":{"Error":"Flaky","Cause":"try again"}})", 6},
      {"a timeout is caught with an empty cause, at the timeout",
       {TaskOutcome::succeeded(json("1"), std::chrono::seconds(60))},
       R"(SUCCEEDED {"in":1,"error":{"Error":"States.Timeout","Cause":""}})", 5},
      {"an error no retrier names goes straight to the catcher",
       {TaskOutcome::failed(TaskError{std::nullopt, std::nullopt})},
       R"(SUCCEEDED {"in":1,"error":{"Error":null,"Cause":null}})", 0},
  };
  for (const auto& row : rows) {
    std::size_t attempt = 0;
    const ScriptedRun run(kRetryThenCatch, R"({"in": 1})", [&](const TaskCall& call) {
      EXPECT_EQ(call.attempt, static_cast<std::int64_t>(attempt)) << row.name;
      return row.attempts.at(attempt++);
    });
    EXPECT_EQ(run.outcome(), row.outcome) << row.name;
    EXPECT_EQ(run.seconds_taken(), row.seconds) << row.name;
    EXPECT_EQ(attempt, row.attempts.size()) << row.name;
  }
}

TEST(Execution, RetriedAttemptsFollowEachOtherInsideOneEntry) {
  const ScriptedRun run(kRetryThenCatch, "{}", [](const TaskCall& call) {
    return call.attempt == 0 ? TaskOutcome::failed(TaskError{"Flaky", "x"})
                             : TaskOutcome::succeeded(json("{}"));
  });
  EXPECT_EQ(run.events(),
            "ExecutionStarted TaskStateEntered LambdaFunctionScheduled LambdaFunctionStarted "
            "LambdaFunctionFailed LambdaFunctionScheduled LambdaFunctionStarted "
            "LambdaFunctionSucceeded TaskStateExited SucceedStateEntered SucceedStateExited "
            "ExecutionSucceeded");
}

TEST(Execution, EndsTimedOutAbortedOrFailedWithTheFailureUnchanged) {
  const char* wait_long = R"({"TimeoutSeconds": 5, "StartAt": "W", "States": {
      "W": {"Type": "Wait", "Seconds": 10, "End": true}}})";
  const ScriptedRun timed_out(wait_long, "{}", echo);
  EXPECT_EQ(timed_out.outcome(), "TIMED_OUT");
  EXPECT_EQ(timed_out.seconds_taken(), 5);
  EXPECT_EQ(timed_out.events(), "ExecutionStarted WaitStateEntered ExecutionTimedOut");

  const char* task = R"({"StartAt": "T", "States": {
      "T": {"Type": "Task", "Resource": "handler", "End": true}}})";
  const ScriptedRun failed(task, "{}", [](const TaskCall&) {
    return TaskOutcome::failed(TaskError{"ValueError", R"({"errorMessage": "bad"})"});
  });
  EXPECT_EQ(failed.outcome(), R"(FAILED ValueError | {"errorMessage": "bad"})");
  EXPECT_EQ(failed.events(),
            "ExecutionStarted TaskStateEntered TaskScheduled TaskStarted TaskFailed "
            "ExecutionFailed");

  VirtualClock clock(kStart);
  Execution stopped(program_of(task), json("{}"), ExecutionIdentity{}, clock, 0);
  EXPECT_EQ(stopped.step(), Execution::Progress::kTaskDue);
  stopped.stop("Stop", std::nullopt);
  EXPECT_EQ(stopped.status(), ExecutionStatus::kAborted);
  EXPECT_EQ(stopped.task_call(), nullptr);
  EXPECT_EQ(stopped.step(), Execution::Progress::kEnded);
}

TEST(Execution, CallbackTasksGetAFreshTokenEachAttempt) {
  std::vector<std::string> tokens;
  const ScriptedRun run(R"({"StartAt": "T", "States": {
      "T": {"Type": "Task", "Resource": "arn:aws:states:::sqs:sendMessage.waitForTaskToken",
            "Parameters": {"token.$": "$$.Task.Token"}, "End": true,
            "Retry": [{"ErrorEquals": ["States.ALL"], "IntervalSeconds": 1}]}}})",
                        "{}", [&](const TaskCall& call) {
                          tokens.push_back(std::string(call.input.find("token")->as_string()));
                          EXPECT_EQ(call.task_token, tokens.back());
                          return tokens.size() == 1 ? TaskOutcome::failed(TaskError{"E", {}})
                                                    : TaskOutcome::succeeded(Value());
                        });
  EXPECT_EQ(run.outcome(), "SUCCEEDED null");
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[0].size(), 36u);
  EXPECT_NE(tokens[0], tokens[1]);
}

TEST(Execution, TaskLimitsResolveOnEntryAndShowOnTheScheduledEvent) {
  const auto machine = [](std::string_view limits) {
    return R"({"StartAt": "T", "States": {"T": {"Type": "Task",
        "Resource": "arn:aws:states:::sqs:sendMessage.waitForTaskToken", "End": true, )" +
           std::string(limits) + "}}}";
  };
  const std::string prefix =
      "FAILED States.Runtime | An error occurred while executing the state 'T' (entered at the "
      "event id #2). ";
  const struct {
    const char* limits;
    std::string expected;  // the scheduled event's last members, or the run's failure
  } rows[] = {
      {R"("TimeoutSeconds": 9, "HeartbeatSeconds": 3)",
       R"("timeoutInSeconds":9,"heartbeatInSeconds":3)"},
      {R"("TimeoutSecondsPath": "$.t", "HeartbeatSecondsPath": "$.h")",
       R"("timeoutInSeconds":20,"heartbeatInSeconds":4)"},
      {R"("HeartbeatSecondsPath": "$.h")", R"("heartbeatInSeconds":4)"},
      {R"("HeartbeatSecondsPath": "$.missing")",
       prefix + "Invalid path '$.missing' : No results for path: $['missing']"},
      {R"("TimeoutSecondsPath": "$.missing", "HeartbeatSecondsPath": "$.zero")",
       prefix + "Invalid path '$.missing' : No results for path: $['missing']"},
      {R"("HeartbeatSecondsPath": "$.zero")",
       prefix + "The HeartbeatSecondsPath parameter does not reference a positive integer: "
                "$.zero == 0"},
      {R"("TimeoutSecondsPath": "$.h2")",
       prefix + "The TimeoutSecondsPath parameter does not reference a positive integer: "
                "$.h2 == \"4\""},
  };
  for (const auto& row : rows) {
    const ScriptedRun run(machine(row.limits), R"({"t": 20, "h": 4, "h2": "4", "zero": 0})", echo);
    if (run.execution->status() == ExecutionStatus::kFailed) {
      EXPECT_EQ(run.outcome(), row.expected) << row.limits;
      EXPECT_EQ(run.events(), "ExecutionStarted TaskStateEntered ExecutionFailed") << row.limits;
      continue;
    }
    const Value scheduled = to_value(*run.execution->history().find(3));
    const std::string details = write_json(*scheduled.find("taskScheduledEventDetails"));
    const std::string limits = "," + row.expected + "}";
    EXPECT_TRUE(details.ends_with(limits)) << row.limits << "\n" << details;
  }
}

// The events of a Task's visit, each as its type and details: from its
// ...StateEntered to its ...StateExited, ids and times left out.
std::vector<std::string> visit_events(const ScriptedRun& run, std::string_view state) {
  std::vector<std::string> out;
  bool inside = false;
  for (const HistoryEvent& e : run.execution->history().events()) {
    if (e.type == EventType::kTaskStateEntered) inside = e.name.view() == state;
    if (!inside) continue;
    const EventDetails details = event_details(e);
    const Value shown = to_value(e);
    const Value* members = details.key.empty() ? nullptr : shown.find(details.key);
    out.push_back(std::string(event_type_name(e.type)) + " " +
                  (members ? write_json(*members) : std::string()));
    if (e.type == EventType::kTaskStateExited) inside = false;
  }
  return out;
}

TEST(Execution, ATaskShowsItsOwnResourceWhateverTaskRanBefore) {
  const std::string fn = "arn:aws:lambda:us-east-1:123456789012:function:";
  const std::string sqs = "arn:aws:states:::sqs:sendMessage";
  const struct {
    std::string first, second;  // each Task's members besides Type, Next and End
  } rows[] = {
      {R"("Resource": ")" + fn + R"(f")", R"("Resource": ")" + fn + R"(f")"},
      {R"("Resource": ")" + fn + R"(f")", R"("Resource": ")" + fn + R"(g")"},
      {R"("Resource": ")" + sqs + R"(")", R"("Resource": ")" + sqs + R"(.waitForTaskToken",
        "Parameters": {"t.$": "$$.Task.Token"})"},
      {R"("Resource": ")" + sqs + R"(")", R"("Resource": "arn:aws:states:::sns:publish")"},
      {R"("Resource": ")" + fn + R"(f", "TimeoutSeconds": 5)",
       R"("Resource": ")" + fn + R"(f", "TimeoutSeconds": 6)"},
      {R"("Resource": ")" + fn + R"(f", "TimeoutSeconds": 5)", R"("Resource": ")" + fn + R"(f")"},
      {R"("Resource": ")" + sqs + R"(", "HeartbeatSeconds": 5)",
       R"("Resource": ")" + sqs + R"(", "HeartbeatSecondsPath": "$.h")"},
      {R"("Resource": ")" + sqs + R"(", "TimeoutSecondsPath": "$.t")",
       R"("Resource": ")" + sqs + R"(", "TimeoutSecondsPath": "$.t2")"},
      {R"("Resource": ")" + sqs + R"(", "Credentials": {"RoleArn": "arn:aws:iam::1:role/A"})",
       R"("Resource": ")" + sqs + R"(", "Credentials": {"RoleArn.$": "$.role"})"},
      {R"("Resource": ")" + sqs + R"(", "Credentials": {"RoleArn": "arn:aws:iam::1:role/A"})",
       R"("Resource": ")" + sqs + R"(")"},
  };
  const std::string input = R"({"t": 20, "t2": 30, "h": 4, "role": "arn:aws:iam::1:role/B"})";
  const auto answer = [](const TaskCall& call) {
    return call.task->target.pattern == IntegrationPattern::kWaitForTaskToken
               ? TaskOutcome::failed(TaskError{"E", "c"})
               : TaskOutcome::succeeded(call.input);
  };
  for (const auto& row : rows) {
    const std::string a = R"("A": {"Type": "Task", "Next": "B", )" + row.first + "}";
    const std::string b = R"("B": {"Type": "Task", "End": true, )" + row.second + "}";
    const ScriptedRun both(R"({"StartAt": "A", "States": {)" + a + ", " + b + "}}", input, answer);
    const ScriptedRun alone(R"({"StartAt": "B", "States": {)" + b + "}}", input, answer);
    EXPECT_EQ(visit_events(both, "B"), visit_events(alone, "B")) << row.second;
    EXPECT_FALSE(visit_events(alone, "B").empty()) << row.second;
  }
}

TEST(Execution, ACaughtOutputOverTheLimitEndsTheRun) {
  const std::string big(262'100, 'x');
  const ScriptedRun run(R"({"StartAt": "T", "States": {
      "T": {"Type": "Task", "Resource": "h", "End": true,
            "Catch": [{"ErrorEquals": ["States.ALL"], "ResultPath": "$.error", "Next": "N"}]},
      "N": {"Type": "Succeed"}}})",
                        "{\"pad\": \"" + big + "\"}", [](const TaskCall&) {
                          return TaskOutcome::failed(TaskError{"E", "a cause of some length"});
                        });
  EXPECT_EQ(run.outcome(),
            "FAILED States.DataLimitExceeded | The state/task 'T' returned a result with a size "
            "exceeding the maximum number of bytes service limit.");
}

TEST(Execution, SameSeedSameHistory) {
  const char* jittered = R"({"StartAt": "T", "States": {
      "T": {"Type": "Task", "Resource": "h", "End": true,
            "Retry": [{"ErrorEquals": ["States.ALL"], "MaxAttempts": 5, "JitterStrategy": "FULL",
                       "IntervalSeconds": 10}]}}})";
  const auto fail_four_times = [](const TaskCall& call) {
    return call.attempt < 4 ? TaskOutcome::failed(TaskError{"E", std::nullopt})
                            : TaskOutcome::succeeded(json("1"));
  };
  const ScriptedRun a(jittered, "{}", fail_four_times, 42);
  const ScriptedRun b(jittered, "{}", fail_four_times, 42);
  EXPECT_EQ(write_json(to_value(a.execution->history().events())),
            write_json(to_value(b.execution->history().events())));
  EXPECT_EQ(a.seconds_taken(), b.seconds_taken());
}

}  // namespace
}  // namespace vorn::aws
