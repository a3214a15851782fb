#include "aws_run/history.hpp"

#include <utility>

#include "aws_data/write.hpp"

namespace vorn::aws {
namespace {

// Which members an event's details hold, in the order AWS writes them.
enum class Shape : std::uint8_t {
  kNone,
  kExecutionStarted,   // input, inputDetails, roleArn
  kStateEntered,       // name, input, inputDetails
  kStateExited,        // name, output, outputDetails
  kOutput,             // output, outputDetails
  kFailure,            // error?, cause?
  kAbort,              // error?, cause?; no member at all when neither
  kEvaluationFailed,   // error?, cause?, state
  kLambdaScheduled,    // resource, input, inputDetails, timeoutInSeconds?, taskCredentials?
  kTaskScheduled,      // resourceType, resource, region, parameters, timeoutInSeconds?,
                       // heartbeatInSeconds?, taskCredentials?
  kTaskResource,       // resourceType, resource
  kTaskOutput,         // resourceType, resource, output, outputDetails
  kTaskFailure,        // resourceType, resource, error?, cause?
  kActivityScheduled,  // resource, input, inputDetails, timeoutInSeconds?, heartbeatInSeconds?
  kActivityStarted,    // workerName?
  kMapStarted,         // length
  kMapIteration,       // index, name
  kMapRunStarted,      // mapRunArn
};

struct TypeInfo {
  EventType type;
  std::string_view name;
  std::string_view details;  // the details member's name; empty for kNone
  Shape shape;
};

// In the order of EventType, so the type is the index.
constexpr TypeInfo kTypes[] = {
    {EventType::kExecutionStarted, "ExecutionStarted", "executionStartedEventDetails",
     Shape::kExecutionStarted},
    {EventType::kExecutionSucceeded, "ExecutionSucceeded", "executionSucceededEventDetails",
     Shape::kOutput},
    {EventType::kExecutionFailed, "ExecutionFailed", "executionFailedEventDetails",
     Shape::kFailure},
    {EventType::kExecutionAborted, "ExecutionAborted", "executionAbortedEventDetails",
     Shape::kAbort},
    {EventType::kExecutionTimedOut, "ExecutionTimedOut", "executionTimedOutEventDetails",
     Shape::kAbort},
    {EventType::kTaskStateEntered, "TaskStateEntered", "stateEnteredEventDetails",
     Shape::kStateEntered},
    {EventType::kTaskStateExited, "TaskStateExited", "stateExitedEventDetails",
     Shape::kStateExited},
    {EventType::kTaskStateAborted, "TaskStateAborted", "", Shape::kNone},
    {EventType::kPassStateEntered, "PassStateEntered", "stateEnteredEventDetails",
     Shape::kStateEntered},
    {EventType::kPassStateExited, "PassStateExited", "stateExitedEventDetails",
     Shape::kStateExited},
    {EventType::kChoiceStateEntered, "ChoiceStateEntered", "stateEnteredEventDetails",
     Shape::kStateEntered},
    {EventType::kChoiceStateExited, "ChoiceStateExited", "stateExitedEventDetails",
     Shape::kStateExited},
    {EventType::kWaitStateEntered, "WaitStateEntered", "stateEnteredEventDetails",
     Shape::kStateEntered},
    {EventType::kWaitStateExited, "WaitStateExited", "stateExitedEventDetails",
     Shape::kStateExited},
    {EventType::kWaitStateAborted, "WaitStateAborted", "", Shape::kNone},
    {EventType::kSucceedStateEntered, "SucceedStateEntered", "stateEnteredEventDetails",
     Shape::kStateEntered},
    {EventType::kSucceedStateExited, "SucceedStateExited", "stateExitedEventDetails",
     Shape::kStateExited},
    {EventType::kFailStateEntered, "FailStateEntered", "stateEnteredEventDetails",
     Shape::kStateEntered},
    {EventType::kParallelStateEntered, "ParallelStateEntered", "stateEnteredEventDetails",
     Shape::kStateEntered},
    {EventType::kParallelStateExited, "ParallelStateExited", "stateExitedEventDetails",
     Shape::kStateExited},
    {EventType::kParallelStateAborted, "ParallelStateAborted", "", Shape::kNone},
    {EventType::kParallelStateStarted, "ParallelStateStarted", "", Shape::kNone},
    {EventType::kParallelStateSucceeded, "ParallelStateSucceeded", "", Shape::kNone},
    {EventType::kParallelStateFailed, "ParallelStateFailed", "", Shape::kNone},
    {EventType::kMapStateEntered, "MapStateEntered", "stateEnteredEventDetails",
     Shape::kStateEntered},
    {EventType::kMapStateExited, "MapStateExited", "stateExitedEventDetails",
     Shape::kStateExited},
    {EventType::kMapStateAborted, "MapStateAborted", "", Shape::kNone},
    {EventType::kMapStateStarted, "MapStateStarted", "mapStateStartedEventDetails",
     Shape::kMapStarted},
    {EventType::kMapStateSucceeded, "MapStateSucceeded", "", Shape::kNone},
    {EventType::kMapStateFailed, "MapStateFailed", "", Shape::kNone},
    {EventType::kMapIterationStarted, "MapIterationStarted", "mapIterationStartedEventDetails",
     Shape::kMapIteration},
    {EventType::kMapIterationSucceeded, "MapIterationSucceeded",
     "mapIterationSucceededEventDetails", Shape::kMapIteration},
    {EventType::kMapIterationFailed, "MapIterationFailed", "mapIterationFailedEventDetails",
     Shape::kMapIteration},
    {EventType::kMapIterationAborted, "MapIterationAborted", "mapIterationAbortedEventDetails",
     Shape::kMapIteration},
    {EventType::kMapRunStarted, "MapRunStarted", "mapRunStartedEventDetails",
     Shape::kMapRunStarted},
    {EventType::kMapRunSucceeded, "MapRunSucceeded", "", Shape::kNone},
    {EventType::kMapRunFailed, "MapRunFailed", "mapRunFailedEventDetails", Shape::kFailure},
    {EventType::kMapRunAborted, "MapRunAborted", "", Shape::kNone},
    {EventType::kLambdaFunctionScheduled, "LambdaFunctionScheduled",
     "lambdaFunctionScheduledEventDetails", Shape::kLambdaScheduled},
    {EventType::kLambdaFunctionScheduleFailed, "LambdaFunctionScheduleFailed",
     "lambdaFunctionScheduleFailedEventDetails", Shape::kFailure},
    {EventType::kLambdaFunctionStarted, "LambdaFunctionStarted", "", Shape::kNone},
    {EventType::kLambdaFunctionStartFailed, "LambdaFunctionStartFailed",
     "lambdaFunctionStartFailedEventDetails", Shape::kFailure},
    {EventType::kLambdaFunctionSucceeded, "LambdaFunctionSucceeded",
     "lambdaFunctionSucceededEventDetails", Shape::kOutput},
    {EventType::kLambdaFunctionFailed, "LambdaFunctionFailed", "lambdaFunctionFailedEventDetails",
     Shape::kFailure},
    {EventType::kLambdaFunctionTimedOut, "LambdaFunctionTimedOut",
     "lambdaFunctionTimedOutEventDetails", Shape::kFailure},
    {EventType::kTaskScheduled, "TaskScheduled", "taskScheduledEventDetails",
     Shape::kTaskScheduled},
    {EventType::kTaskStartFailed, "TaskStartFailed", "taskStartFailedEventDetails",
     Shape::kTaskFailure},
    {EventType::kTaskStarted, "TaskStarted", "taskStartedEventDetails", Shape::kTaskResource},
    {EventType::kTaskSubmitFailed, "TaskSubmitFailed", "taskSubmitFailedEventDetails",
     Shape::kTaskFailure},
    {EventType::kTaskSubmitted, "TaskSubmitted", "taskSubmittedEventDetails", Shape::kTaskOutput},
    {EventType::kTaskSucceeded, "TaskSucceeded", "taskSucceededEventDetails", Shape::kTaskOutput},
    {EventType::kTaskFailed, "TaskFailed", "taskFailedEventDetails", Shape::kTaskFailure},
    {EventType::kTaskTimedOut, "TaskTimedOut", "taskTimedOutEventDetails", Shape::kTaskFailure},
    {EventType::kActivityScheduled, "ActivityScheduled", "activityScheduledEventDetails",
     Shape::kActivityScheduled},
    {EventType::kActivityScheduleFailed, "ActivityScheduleFailed",
     "activityScheduleFailedEventDetails", Shape::kFailure},
    {EventType::kActivityStarted, "ActivityStarted", "activityStartedEventDetails",
     Shape::kActivityStarted},
    {EventType::kActivitySucceeded, "ActivitySucceeded", "activitySucceededEventDetails",
     Shape::kOutput},
    {EventType::kActivityFailed, "ActivityFailed", "activityFailedEventDetails", Shape::kFailure},
    {EventType::kActivityTimedOut, "ActivityTimedOut", "activityTimedOutEventDetails",
     Shape::kFailure},
    {EventType::kEvaluationFailed, "EvaluationFailed", "evaluationFailedEventDetails",
     Shape::kEvaluationFailed},
};

constexpr bool table_follows_enum() {
  for (std::size_t i = 0; i < std::size(kTypes); ++i) {
    if (static_cast<std::size_t>(kTypes[i].type) != i) return false;
  }
  return static_cast<std::size_t>(EventType::kEvaluationFailed) + 1 == std::size(kTypes);
}
static_assert(table_follows_enum(), "kTypes must list every EventType in enum order");

const TypeInfo& info(EventType type) { return kTypes[static_cast<std::size_t>(type)]; }

bool is_state_entered(EventType type) { return info(type).shape == Shape::kStateEntered; }

// AWS links an event to the one just before it, except for the pairs below:
// the second event of each is emitted together with the first and names the
// same predecessor. Where no recording shows the link (ExecutionTimedOut,
// events of branches or iterations running side by side), an event names
// the one appended just before it, so the order of emission decides.
bool emitted_alongside(EventType before, EventType type) {
  using T = EventType;
  switch (type) {
    case T::kMapIterationStarted:
      return before == T::kMapIterationSucceeded;
    case T::kMapStateExited:
      return before == T::kMapStateSucceeded;
    case T::kMapStateFailed:
    case T::kMapStateStarted:  // a retried Map starts again beside the failure
      return before == T::kMapIterationFailed;
    case T::kParallelStateFailed:
      return before == T::kTaskStateAborted;
    case T::kEvaluationFailed:
      return is_state_entered(before);
    default:
      return false;
  }
}

// Field helpers: each appends one member to the details under construction.
using FieldKind = EventDetail::Kind;

void add_text(EventDetails& out, std::string_view key, std::string_view text) {
  out.fields.push_back(EventDetail{key, FieldKind::kText, text, nullptr, 0});
}

// Payloads are bounded by the payload limit before they are recorded, so
// AWS's truncation never happens here.
void add_json_with_details(EventDetails& out, std::string_view key, std::string_view details_key,
                           const Value& payload) {
  out.fields.push_back(EventDetail{key, FieldKind::kJson, {}, &payload, 0});
  out.fields.push_back(EventDetail{details_key, FieldKind::kNotTruncated, {}, nullptr, 0});
}

void add_failure(EventDetails& out, const TaskError* failure) {
  if (failure == nullptr) return;
  if (failure->error) add_text(out, "error", *failure->error);
  if (failure->cause) add_text(out, "cause", *failure->cause);
}

void add_resource(EventDetails& out, const TaskEventResource* task) {
  if (task == nullptr) return;
  add_text(out, "resourceType", task->resource_type);
  add_text(out, "resource", task->resource);
}

void add_integer(EventDetails& out, std::string_view key, std::int64_t number) {
  out.fields.push_back(EventDetail{key, FieldKind::kInteger, {}, nullptr, number});
}

void add_limits(EventDetails& out, const TaskEventResource* task, bool with_heartbeat,
                bool with_credentials) {
  if (task == nullptr) return;
  if (task->timeout_seconds) add_integer(out, "timeoutInSeconds", *task->timeout_seconds);
  if (with_heartbeat && task->heartbeat_seconds) {
    add_integer(out, "heartbeatInSeconds", *task->heartbeat_seconds);
  }
  if (with_credentials && task->credentials_role_arn) {
    out.fields.push_back(
        EventDetail{"taskCredentials", FieldKind::kRoleArn, *task->credentials_role_arn, nullptr, 0});
  }
}

}  // namespace

EventDetails event_details(const HistoryEvent& event) {
  const TaskEventResource* task = event.task.get();
  const TaskError* failure = event.failure.get();
  EventDetails out;
  out.key = info(event.type).details;
  switch (info(event.type).shape) {
    case Shape::kNone:
      out.key = {};
      break;
    case Shape::kExecutionStarted:
      add_json_with_details(out, "input", "inputDetails", event.payload);
      add_text(out, "roleArn", event.name.view());
      break;
    case Shape::kStateEntered:
      add_text(out, "name", event.name.view());
      add_json_with_details(out, "input", "inputDetails", event.payload);
      break;
    case Shape::kStateExited:
      add_text(out, "name", event.name.view());
      add_json_with_details(out, "output", "outputDetails", event.payload);
      break;
    case Shape::kOutput:
      add_json_with_details(out, "output", "outputDetails", event.payload);
      break;
    case Shape::kFailure:
      add_failure(out, failure);
      break;
    case Shape::kAbort:
      // A recorded StopExecution without error or cause shows no details,
      // nor does a machine timeout (it has neither); the other failure events
      // show their details object even when it is empty.
      add_failure(out, failure);
      if (out.fields.empty()) out.key = {};
      break;
    case Shape::kEvaluationFailed:
      add_failure(out, failure);
      add_text(out, "state", event.name.view());
      break;
    case Shape::kLambdaScheduled:
      if (task != nullptr) add_text(out, "resource", task->resource);
      add_json_with_details(out, "input", "inputDetails", event.payload);
      add_limits(out, task, /*with_heartbeat=*/false, /*with_credentials=*/true);
      break;
    case Shape::kTaskScheduled:
      add_resource(out, task);
      if (task != nullptr) add_text(out, "region", task->region);
      out.fields.push_back(EventDetail{"parameters", FieldKind::kJson, {}, &event.payload, 0});
      add_limits(out, task, /*with_heartbeat=*/true, /*with_credentials=*/true);
      break;
    case Shape::kTaskResource:
      add_resource(out, task);
      break;
    case Shape::kTaskOutput:
      add_resource(out, task);
      add_json_with_details(out, "output", "outputDetails", event.payload);
      break;
    case Shape::kTaskFailure:
      add_resource(out, task);
      add_failure(out, failure);
      break;
    case Shape::kActivityScheduled:
      if (task != nullptr) add_text(out, "resource", task->resource);
      add_json_with_details(out, "input", "inputDetails", event.payload);
      add_limits(out, task, /*with_heartbeat=*/true, /*with_credentials=*/false);
      break;
    case Shape::kActivityStarted:
      if (!event.name.view().empty()) add_text(out, "workerName", event.name.view());
      break;
    case Shape::kMapStarted:
      add_integer(out, "length", event.number);
      break;
    case Shape::kMapIteration:
      add_integer(out, "index", event.number);
      add_text(out, "name", event.name.view());
      break;
    case Shape::kMapRunStarted:
      add_text(out, "mapRunArn", event.name.view());
      break;
  }
  return out;
}

namespace {

Value detail_value(const EventDetail& field) {
  switch (field.kind) {
    case FieldKind::kText:
      return Value::string(field.text);
    case FieldKind::kInteger:
      return Value::integer(field.number);
    case FieldKind::kJson:
      return Value::string(write_json(*field.json));
    case FieldKind::kNotTruncated:
      return Value::object({Member{"truncated", Value::boolean(false)}});
    case FieldKind::kRoleArn:
      return Value::object({Member{"roleArn", Value::string(field.text)}});
  }
  return Value();
}

}  // namespace

std::string_view event_type_name(EventType type) { return info(type).name; }

Value to_value(const HistoryEvent& event) {
  std::vector<Member> members;
  members.reserve(5);
  members.push_back(Member{"timestamp", Value::string(format_instant(event.timestamp))});
  members.push_back(Member{"type", Value::string(event_type_name(event.type))});
  members.push_back(Member{"id", Value::integer(event.id)});
  members.push_back(Member{"previousEventId", Value::integer(event.previous_event_id)});
  const EventDetails details = event_details(event);
  if (!details.key.empty()) {
    std::vector<Member> fields;
    fields.reserve(details.fields.size());
    for (const EventDetail& field : details.fields) {
      fields.push_back(Member{std::string(field.key), detail_value(field)});
    }
    members.push_back(Member{std::string(details.key), Value::object(std::move(fields))});
  }
  return Value::object(std::move(members));
}

Value to_value(const EventRange& events) {
  std::vector<Value> items;
  items.reserve(events.size());
  for (const HistoryEvent& event : events) items.push_back(to_value(event));
  return Value::array(std::move(items));
}

HistoryEvent make_event(EventType type, Instant at) {
  HistoryEvent event;
  event.type = type;
  event.timestamp = at;
  return event;
}

HistoryEvent make_execution_started(Instant at, Value input, SharedText role_arn) {
  HistoryEvent event = make_event(EventType::kExecutionStarted, at);
  event.payload = std::move(input);
  event.name = std::move(role_arn);
  return event;
}

HistoryEvent make_state_event(EventType type, Instant at, SharedText state_name, Value payload) {
  HistoryEvent event = make_event(type, at);
  event.name = std::move(state_name);
  event.payload = std::move(payload);
  return event;
}

HistoryEvent make_payload_event(EventType type, Instant at, Value payload,
                                std::shared_ptr<const TaskEventResource> task) {
  HistoryEvent event = make_event(type, at);
  event.payload = std::move(payload);
  event.task = std::move(task);
  return event;
}

HistoryEvent make_task_event(EventType type, Instant at, std::shared_ptr<const TaskEventResource> task) {
  HistoryEvent event = make_event(type, at);
  event.task = std::move(task);
  return event;
}

HistoryEvent make_failure_event(EventType type, Instant at, TaskError failure,
                                std::shared_ptr<const TaskEventResource> task, SharedText state_name) {
  HistoryEvent event = make_event(type, at);
  event.failure = std::make_shared<const TaskError>(std::move(failure));
  event.task = std::move(task);
  event.name = std::move(state_name);
  return event;
}

HistoryEvent make_map_started(Instant at, std::int32_t length) {
  HistoryEvent event = make_event(EventType::kMapStateStarted, at);
  event.number = length;
  return event;
}

HistoryEvent make_map_iteration(EventType type, Instant at, SharedText map_name,
                                std::int32_t index) {
  HistoryEvent event = make_event(type, at);
  event.name = std::move(map_name);
  event.number = index;
  return event;
}

std::int64_t History::append(HistoryEvent event) {
  const HistoryEvent* last = size_ == 0 ? nullptr : &at(size_ - 1);
  event.id = last_id() + 1;
  if (last == nullptr || event.type == EventType::kExecutionStarted ||
      event.type == EventType::kExecutionAborted) {
    event.previous_event_id = 0;
  } else if (last->type == EventType::kExecutionStarted && is_state_entered(event.type)) {
    event.previous_event_id = 0;  // the first state's entry
  } else if (emitted_alongside(last->type, event.type)) {
    event.previous_event_id = last->previous_event_id;
  } else {
    event.previous_event_id = last->id;
  }
  if ((size_ & (kChunkEvents - 1)) == 0) {
    chunks_.emplace_back();
    chunks_.back().reserve(kChunkEvents);
  }
  chunks_.back().push_back(std::move(event));
  return static_cast<std::int64_t>(++size_);
}

EventRange History::events_from(std::int64_t first_id) const {
  if (first_id < 1) first_id = 1;
  if (first_id > last_id()) return EventRange(this, size_, size_);
  return EventRange(this, static_cast<std::size_t>(first_id - 1), size_);
}

const HistoryEvent* History::find(std::int64_t id) const {
  if (id < 1 || id > last_id()) return nullptr;
  return &at(static_cast<std::size_t>(id - 1));
}

}  // namespace vorn::aws
