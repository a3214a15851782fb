// Task attempts submitted and then finished by a callback, or timed out on
// the execution's clock while they wait for one.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "aws_build/check.hpp"
#include "aws_build/lower_program.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"
#include "aws_run/execution.hpp"

namespace vorn::aws {
namespace {

constexpr Instant kStart{1'700'000'000, 0};
constexpr const char* kWaitForToken = "arn:aws:states:::sqs:sendMessage.waitForTaskToken";
using Progress = Execution::Progress;

Value json(std::string_view text) {
  return read_json(text).value();
}

// One Task; a catcher in `task_fields` may lead to "Handled".
std::shared_ptr<const Program> task_machine(std::string_view resource, std::string_view task_fields,
                                            std::string_view machine_fields = "") {
  std::string text = "{" + std::string(machine_fields) + R"("StartAt": "T", "States": {
      "T": {"Type": "Task", "Resource": ")" +
                     std::string(resource) + R"(",
            "ResultSelector": {"got.$": "$"}, "ResultPath": "$.result", "End": true)";
  text += std::string(task_fields) + "}";
  if (task_fields.find("Handled") != std::string_view::npos) {
    text += R"(, "Handled": {"Type": "Pass", "End": true})";
  }
  auto lowered = lower_program(check_definition(text + "}}").definition.value());
  return std::make_shared<Program>(std::move(lowered).value());
}

struct CallbackRun {
  VirtualClock clock{kStart};
  Execution execution;
  std::vector<std::string> tokens;  // each submitted attempt's

  explicit CallbackRun(std::shared_ptr<const Program> program)
      : execution(std::move(program), json(R"({"in": 1})"), ExecutionIdentity{}, clock, 7) {}

  // Steps until the run ends or awaits a callback, submitting each attempt.
  Progress drive() {
    for (int guard = 0; guard < 100; ++guard) {
      const Progress progress = execution.step();
      if (progress == Progress::kTaskDue) {
        const std::optional<std::string> given = execution.task_call()->task_token;
        execution.finish_task(TaskOutcome::pending(json(R"({"MessageId": "m"})")));
        EXPECT_TRUE(!execution.task_call() && execution.pending_task());
        tokens.emplace_back(execution.pending_task()->task_token);
        EXPECT_EQ(tokens.back(), given.value_or(tokens.back()));
        EXPECT_EQ(tokens.back().size(), 36u);
      } else if (progress != Progress::kStepped) {
        return progress;
      }
    }
    ADD_FAILURE() << "the run went on stepping";
    return Progress::kEnded;
  }

  // Steps until the first callback is awaited, then plays `script`: "+N"
  // moves the clock N seconds without a step; every other word first steps
  // until a callback is awaited ("late-" skips that) and then sends "ok:<json>",
  // "fail:<error>|<cause>" ("-" for absent), "beat", "bad" (a token of no attempt) or stops the run
  // ("stop").
  void play(std::string_view script, std::string_view row) {
    ASSERT_EQ(drive(), Progress::kAwaitingCallback) << row;
    std::istringstream words{std::string(script)};
    for (std::string word; words >> word;) {
      if (word[0] == '+') {
        clock.advance_by(std::chrono::seconds(std::stoi(word.substr(1))));
        continue;
      }
      const bool late = word.starts_with("late-");
      if (late) word.erase(0, 5);
      if (!late) {
        ASSERT_EQ(drive(), Progress::kAwaitingCallback) << row << ": " << word;
      }
      const Instant before = clock.now();
      const auto part = [&](std::size_t from, std::size_t to) -> std::optional<std::string> {
        const std::string text = word.substr(from, to - from);
        return text == "-" ? std::nullopt : std::optional(text);
      };
      CallbackResult answer = CallbackResult::kAccepted;
      if (word == "stop") execution.stop(std::nullopt, std::nullopt);
      if (word == "beat") answer = execution.send_task_heartbeat(tokens.back());
      if (word == "bad") answer = execution.send_task_success(tokens.back() + "x", json("0"));
      if (word.starts_with("ok:"))
        answer = execution.send_task_success(tokens.back(), json(word.substr(3)));
      if (word.starts_with("fail:")) {
        const std::size_t bar = word.find('|');
        answer =
            execution.send_task_failure(tokens.back(), part(5, bar), part(bar + 1, word.size()));
      }
      EXPECT_EQ(answer, late            ? CallbackResult::kTaskTimedOut
                        : word == "bad" ? CallbackResult::kTaskDoesNotExist
                                        : CallbackResult::kAccepted)
          << row << ": " << word;
      EXPECT_EQ(clock.now(), before) << row << ": a callback moved the clock";
    }
    EXPECT_EQ(drive(), Progress::kEnded) << row;
  }

  // "<status> <output or error | cause>: <events after the Task's entry>".
  std::string outcome() const {
    std::string out(execution_status_name(execution.status()));
    if (execution.status() == ExecutionStatus::kSucceeded)
      out += " " + write_json(execution.output());
    if (execution.status() == ExecutionStatus::kFailed) {
      out += " " + execution.failure().error.value_or("-") + " | " +
             execution.failure().cause.value_or("-");
    }
    out += ":";
    for (const HistoryEvent& e : execution.history().events()) {
      if (e.id > 2) out += " " + std::string(event_type_name(e.type));
    }
    return out;
  }
};

TEST(Callback, FinishesOrTimesOutAsTheCallerAndTheClockSay) {
  const std::string catch_all =
      R"(, "Catch": [{"ErrorEquals": ["States.ALL"], "ResultPath": "$.error", "Next": "Handled"}])";
  const std::string submitted = "TaskScheduled TaskStarted TaskSubmitted ";
  const std::string caught = " TaskStateExited PassStateEntered PassStateExited ExecutionSucceeded";
  const struct {
    const char* name;
    std::string task_fields, script, outcome;
    std::int64_t seconds = 0;
    std::string machine_fields{}, resource = kWaitForToken;
  } rows[] = {
      {"succeeds through ResultSelector and ResultPath", "", "+3 bad ok:{\"a\":1}",
       R"(SUCCEEDED {"in":1,"result":{"got":{"a":1}}}: )" + submitted +
           "TaskSucceeded TaskStateExited ExecutionSucceeded",
       3},
      {"fails uncaught", "", "fail:Boom|broke",
       "FAILED Boom | broke: " + submitted + "TaskFailed ExecutionFailed"},
      {"fails with neither", "", "fail:-|-",
       "FAILED - | -: " + submitted + "TaskFailed ExecutionFailed"},
      {"fails with neither, caught", catch_all, "fail:-|-",
       R"(SUCCEEDED {"in":1,"error":{"Error":null,"Cause":null}}: )" + submitted + "TaskFailed" +
           caught},
      {"heartbeats keep it alive", R"(, "HeartbeatSeconds": 10)", "+9 beat +9 beat +9 ok:2",
       R"(SUCCEEDED {"in":1,"result":{"got":2}}: )" + submitted +
           "TaskSucceeded TaskStateExited ExecutionSucceeded",
       27},
      {"a missed heartbeat times out", R"(, "HeartbeatSeconds": 10)", "+9 beat +10",
       "FAILED States.Timeout | -: " + submitted + "TaskTimedOut ExecutionFailed", 19},
      {"TimeoutSeconds holds however often it beats",
       R"(, "TimeoutSeconds": 20, "HeartbeatSeconds": 10)", "+8 beat +8 beat +4",
       "FAILED States.Timeout | -: " + submitted + "TaskTimedOut ExecutionFailed", 20},
      {"a late callback finds the attempt timed out", R"(, "TimeoutSeconds": 5)" + catch_all,
       "+6 late-ok:1",
       R"(SUCCEEDED {"in":1,"error":{"Error":"States.Timeout","Cause":""}}: )" + submitted +
           "TaskTimedOut" + caught,
       6},
      {"the run's own deadline applies", "", "+20 beat +1",
       "TIMED_OUT: " + submitted + "ExecutionTimedOut", 21, R"("TimeoutSeconds": 20, )"},
      {"of two deadlines passed the earlier ends it", R"(, "TimeoutSeconds": 30)" + catch_all,
       "+40", "TIMED_OUT: " + submitted + "ExecutionTimedOut", 40, R"("TimeoutSeconds": 20, )"},
      {"stop drops the awaited attempt", "", "+1 stop",
       "ABORTED: " + submitted + "ExecutionAborted", 1},
      {"an activity records no submission", R"(, "HeartbeatSeconds": 10)", "+5 beat ok:3",
       R"(SUCCEEDED {"in":1,"result":{"got":3}}: ActivityScheduled ActivityStarted )"
       "ActivitySucceeded TaskStateExited ExecutionSucceeded",
       5, "", "arn:aws:states:us-east-1:1:activity:work"},
      {"a .sync call is finished by a token drawn for it", "", "ok:4",
       R"(SUCCEEDED {"in":1,"result":{"got":4}}: )" + submitted +
           "TaskSucceeded TaskStateExited ExecutionSucceeded",
       0, "", "arn:aws:states:::states:startExecution.sync"},
  };
  for (const auto& row : rows) {
    CallbackRun run(task_machine(row.resource, row.task_fields, row.machine_fields));
    run.play(row.script, row.name);
    EXPECT_EQ(run.outcome(), row.outcome) << row.name;
    EXPECT_EQ(run.clock.now().seconds - kStart.seconds, row.seconds) << row.name;
  }
}

TEST(Callback, EachAttemptHasItsOwnTokenAndATimedOutOneIsToldSo) {
  CallbackRun run(task_machine(kWaitForToken, R"(, "HeartbeatSeconds": 10,
      "Retry": [{"ErrorEquals": ["States.Timeout"], "IntervalSeconds": 1, "MaxAttempts": 1}])"));
  EXPECT_EQ(run.execution.callback_deadline(), std::nullopt);
  ASSERT_EQ(run.drive(), Progress::kAwaitingCallback);
  EXPECT_EQ(run.execution.callback_deadline(), add_seconds(kStart, 10));
  run.play("+4 beat +10 ok:1", "timed out at 14, retried at 15");
  EXPECT_EQ(run.clock.now().seconds - kStart.seconds, 15);
  ASSERT_EQ(run.tokens.size(), 2u);
  EXPECT_NE(run.tokens[0], run.tokens[1]);
  EXPECT_EQ(run.execution.send_task_success(run.tokens[0], json("0")),
            CallbackResult::kTaskTimedOut);
  EXPECT_EQ(run.execution.send_task_heartbeat(run.tokens[1]), CallbackResult::kTaskDoesNotExist);
  EXPECT_EQ(write_json(to_value(*run.execution.history().find(5))),
            R"({"timestamp":"2023-11-14T22:13:20.000Z","type":"TaskSubmitted","id":5,)"
            R"("previousEventId":4,"taskSubmittedEventDetails":{"resourceType":"sqs",)"
            R"("resource":"sendMessage.waitForTaskToken","output":"{\"MessageId\":\"m\"}",)"
            R"("outputDetails":{"truncated":false}}})");
}

}  // namespace
}  // namespace vorn::aws
