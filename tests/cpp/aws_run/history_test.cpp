// The execution history: events shaped as GetExecutionHistory returns them
// (compared as whole JSON texts), and the ids and previousEventId links of
// the recorded event sequences.
#include "aws_run/history.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aws_data/read.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {
namespace {

const Instant kAt{1'704'067'200, 123'456'789};  // 2024-01-01T00:00:00.123456789Z

Value json(std::string_view text) { return read_json(text).value(); }
std::string shown(const HistoryEvent& event) { return write_json(to_value(event)); }

std::shared_ptr<const TaskEventResource> lambda_function() {
  auto task = std::make_shared<TaskEventResource>();
  task->resource = "arn:aws:lambda:us-east-1:111111111111:function:echo";
  task->timeout_seconds = 5;
  return task;
}

std::shared_ptr<const TaskEventResource> lambda_invoke() {
  auto task = std::make_shared<TaskEventResource>();
  task->resource_type = "lambda";
  task->resource = "invoke";
  task->region = "us-east-1";
  task->heartbeat_seconds = 10;
  task->credentials_role_arn = "arn:aws:iam::111111111111:role/task";
  return task;
}

TEST(History, EventsAreShapedAsTheApiReturnsThem) {
  const Value input = json(R"({"a":[1,2.0],"s":"x\"y"})");
  const TaskError lambda_error{"Exception", R"({"errorMessage": "boom"})"};
  struct Case {
    std::string label;
    HistoryEvent event;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"execution started", make_execution_started(kAt, input, SharedText("arn:role")),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"ExecutionStarted","id":0,)"
       R"("previousEventId":0,"executionStartedEventDetails":{"input":"{\"a\":[1,2.0],)"
       R"(\"s\":\"x\\\"y\"}","inputDetails":{"truncated":false},"roleArn":"arn:role"}})"},
      {"state entered", make_state_event(EventType::kPassStateEntered, kAt, SharedText("P"), input),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"PassStateEntered","id":0,)"
       R"("previousEventId":0,"stateEnteredEventDetails":{"name":"P","input":"{\"a\":[1,2.0],)"
       R"(\"s\":\"x\\\"y\"}","inputDetails":{"truncated":false}}})"},
      {"state exited", make_state_event(EventType::kWaitStateExited, kAt, SharedText("W"),
                                        json("{}")),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"WaitStateExited","id":0,)"
       R"("previousEventId":0,"stateExitedEventDetails":{"name":"W","output":"{}",)"
       R"("outputDetails":{"truncated":false}}})"},
      {"lambda scheduled shows its timeout",
       make_payload_event(EventType::kLambdaFunctionScheduled, kAt, json(R"({"x":1})"),
                          lambda_function()),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"LambdaFunctionScheduled","id":0,)"
       R"("previousEventId":0,"lambdaFunctionScheduledEventDetails":{"resource":)"
       R"("arn:aws:lambda:us-east-1:111111111111:function:echo","input":"{\"x\":1}",)"
       R"("inputDetails":{"truncated":false},"timeoutInSeconds":5}})"},
      {"lambda started has no details", make_event(EventType::kLambdaFunctionStarted, kAt),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"LambdaFunctionStarted","id":0,)"
       R"("previousEventId":0})"},
      {"lambda failed", make_failure_event(EventType::kLambdaFunctionFailed, kAt, lambda_error),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"LambdaFunctionFailed","id":0,)"
       R"("previousEventId":0,"lambdaFunctionFailedEventDetails":{"error":"Exception",)"
       R"("cause":"{\"errorMessage\": \"boom\"}"}})"},
      {"task scheduled", make_payload_event(EventType::kTaskScheduled, kAt,
                                            json(R"({"FunctionName":"f"})"), lambda_invoke()),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"TaskScheduled","id":0,)"
       R"("previousEventId":0,"taskScheduledEventDetails":{"resourceType":"lambda",)"
       R"("resource":"invoke","region":"us-east-1","parameters":"{\"FunctionName\":\"f\"}",)"
       R"("heartbeatInSeconds":10,"taskCredentials":{"roleArn":)"
       R"("arn:aws:iam::111111111111:role/task"}}})"},
      {"task timed out has no cause",
       make_failure_event(EventType::kTaskTimedOut, kAt, task_timed_out(), lambda_invoke()),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"TaskTimedOut","id":0,)"
       R"("previousEventId":0,"taskTimedOutEventDetails":{"resourceType":"lambda",)"
       R"("resource":"invoke","error":"States.Timeout"}})"},
      {"task succeeded", make_payload_event(EventType::kTaskSucceeded, kAt,
                                            json(R"({"StatusCode":200})"), lambda_invoke()),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"TaskSucceeded","id":0,)"
       R"("previousEventId":0,"taskSucceededEventDetails":{"resourceType":"lambda",)"
       R"("resource":"invoke","output":"{\"StatusCode\":200}",)"
       R"("outputDetails":{"truncated":false}}})"},
      {"failed with neither error nor cause",
       make_failure_event(EventType::kExecutionFailed, kAt, TaskError{}),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"ExecutionFailed","id":0,)"
       R"("previousEventId":0,"executionFailedEventDetails":{}})"},
      {"aborted without error or cause", make_failure_event(EventType::kExecutionAborted, kAt, {}),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"ExecutionAborted","id":0,)"
       R"("previousEventId":0})"},
      {"aborted with a cause only",
       make_failure_event(EventType::kExecutionAborted, kAt, TaskError{std::nullopt, "stop"}),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"ExecutionAborted","id":0,)"
       R"("previousEventId":0,"executionAbortedEventDetails":{"cause":"stop"}})"},
      {"map started", make_map_started(kAt, 3),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"MapStateStarted","id":0,)"
       R"("previousEventId":0,"mapStateStartedEventDetails":{"length":3}})"},
      {"map iteration", make_map_iteration(EventType::kMapIterationSucceeded, kAt,
                                           SharedText("M"), 2),
       R"({"timestamp":"2024-01-01T00:00:00.123Z","type":"MapIterationSucceeded","id":0,)"
       R"("previousEventId":0,"mapIterationSucceededEventDetails":{"index":2,"name":"M"}})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(shown(c.event), c.expected);
  }
}

// Appends one event of each type in turn; the payloads do not matter here.
History history_of(const std::vector<EventType>& types) {
  History history;
  for (EventType type : types) history.append(make_event(type, kAt));
  return history;
}

TEST(History, IdsAndPreviousEventIdsFollowAws) {
  using T = EventType;
  struct Case {
    std::string label;
    std::vector<EventType> types;
    std::vector<std::int64_t> previous;  // previousEventId of events 1, 2, ...
  };
  const std::vector<Case> cases = {
      {"a Pass: the first entry names no event",
       {T::kExecutionStarted, T::kPassStateEntered, T::kPassStateExited, T::kExecutionSucceeded},
       {0, 0, 2, 3}},
      {"a Lambda failure retried, then caught into a Pass",
       {T::kExecutionStarted, T::kTaskStateEntered, T::kLambdaFunctionScheduled,
        T::kLambdaFunctionStarted, T::kLambdaFunctionFailed, T::kLambdaFunctionScheduled,
        T::kLambdaFunctionStarted, T::kLambdaFunctionFailed, T::kTaskStateExited,
        T::kPassStateEntered, T::kPassStateExited, T::kExecutionSucceeded},
       {0, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {"an uncaught failure after a Pass",
       {T::kExecutionStarted, T::kPassStateEntered, T::kPassStateExited, T::kTaskStateEntered,
        T::kTaskScheduled, T::kTaskStarted, T::kTaskFailed, T::kExecutionFailed},
       {0, 0, 2, 3, 4, 5, 6, 7}},
      {"a stopped execution names no event",
       {T::kExecutionStarted, T::kWaitStateEntered, T::kExecutionAborted}, {0, 0, 0}},
      {"map iterations and the map's end are emitted in pairs",
       {T::kExecutionStarted, T::kMapStateEntered, T::kMapStateStarted, T::kMapIterationStarted,
        T::kPassStateEntered, T::kPassStateExited, T::kMapIterationSucceeded,
        T::kMapIterationStarted, T::kPassStateEntered, T::kPassStateExited,
        T::kMapIterationSucceeded, T::kMapStateSucceeded, T::kMapStateExited},
       {0, 0, 2, 3, 4, 5, 6, 6, 8, 9, 10, 11, 11}},
      {"a map without items", {T::kExecutionStarted, T::kMapStateEntered, T::kMapStateStarted,
                               T::kMapStateSucceeded, T::kMapStateExited},
       {0, 0, 2, 3, 3}},
      {"a failed iteration, the retry's start, then the map's failure",
       {T::kExecutionStarted, T::kMapStateEntered, T::kMapStateStarted, T::kMapIterationStarted,
        T::kFailStateEntered, T::kMapIterationFailed, T::kMapStateStarted,
        T::kMapIterationStarted, T::kFailStateEntered, T::kMapIterationFailed,
        T::kMapStateFailed},
       {0, 0, 2, 3, 4, 5, 5, 7, 8, 9, 9}},
      {"a parallel branch's aborted task and the parallel's failure",
       {T::kExecutionStarted, T::kParallelStateEntered, T::kParallelStateStarted,
        T::kTaskStateEntered, T::kTaskScheduled, T::kTaskStarted, T::kTaskFailed,
        T::kTaskStateAborted, T::kParallelStateFailed, T::kExecutionFailed},
       {0, 0, 2, 3, 4, 5, 6, 7, 7, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const History history = history_of(c.types);
    ASSERT_EQ(history.events().size(), c.previous.size());
    for (std::size_t i = 0; i < c.previous.size(); ++i) {
      EXPECT_EQ(history.events()[i].id, static_cast<std::int64_t>(i + 1));
      EXPECT_EQ(history.events()[i].previous_event_id, c.previous[i]) << "event " << i + 1;
    }
  }
}

TEST(History, ARangeIsTheEventsOfOneStep) {
  History history = history_of({EventType::kExecutionStarted, EventType::kPassStateEntered});
  const std::int64_t first = history.last_id() + 1;
  history.append(make_state_event(EventType::kPassStateExited, kAt, SharedText("P"), Value()));
  history.append(make_payload_event(EventType::kExecutionSucceeded, kAt, Value()));
  const auto step = history.events_from(first);
  ASSERT_EQ(step.size(), 2u);
  EXPECT_EQ(step[0].id, 3);
  EXPECT_EQ(step[1].type, EventType::kExecutionSucceeded);
  EXPECT_TRUE(history.events_from(history.last_id() + 1).empty());
  EXPECT_EQ(history.events_from(-5).size(), 4u);
  EXPECT_EQ(history.find(5), nullptr);
}

TEST(History, EventsStayInPlaceAcrossChunks) {
  History history;
  history.append(make_event(EventType::kExecutionStarted, kAt));
  const HistoryEvent* first = history.find(1);
  for (int i = 0; i < 600; ++i) history.append(make_event(EventType::kPassStateEntered, kAt));
  EXPECT_EQ(history.find(1), first);
  std::int64_t expected_id = 250;
  for (const HistoryEvent& event : history.events_from(250)) {
    ASSERT_EQ(event.id, expected_id);
    ASSERT_EQ(event.previous_event_id, expected_id - 1);
    ++expected_id;
  }
  EXPECT_EQ(expected_id, 602);
  EXPECT_EQ(to_value(history.events()).size(), 601u);
}

TEST(History, RecordedPayloadIsUnchangedByLaterEdits) {
  History history;
  Value data = json(R"({"n":1})");
  history.append(make_execution_started(kAt, data, SharedText("r")));
  data.set_member("n", Value::integer(2));
  EXPECT_EQ(write_json(history.events()[0].payload), R"({"n":1})");
}

}  // namespace
}  // namespace vorn::aws
