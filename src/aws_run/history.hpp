// History: an execution's events as AWS's GetExecutionHistory reports them.
//
// Events are appended as the execution runs and never change afterwards.
// Appending only moves references into place: a state's input or output is
// the execution's own Value (shared by refcount), names are shared texts,
// and the details few events carry sit behind shared pointers the caller
// builds once per task visit or failure. JSON text, timestamps and the
// API's object shape are produced only when the history is read, by
// to_value().
//
// The History assigns ids (1, 2, 3, ...) and previousEventId itself, so
// callers cannot link events differently from AWS. It is owned by one
// execution and used by one thread; events never move once appended.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "aws_data/shared_text.hpp"
#include "aws_data/value.hpp"
#include "aws_run/clock.hpp"
#include "aws_run/task_error.hpp"

namespace vorn::aws {

enum class EventType : std::uint8_t {
  kExecutionStarted,
  kExecutionSucceeded,
  kExecutionFailed,
  kExecutionAborted,
  kExecutionTimedOut,

  kTaskStateEntered,
  kTaskStateExited,
  kTaskStateAborted,
  kPassStateEntered,
  kPassStateExited,
  kChoiceStateEntered,
  kChoiceStateExited,
  kWaitStateEntered,
  kWaitStateExited,
  kWaitStateAborted,
  kSucceedStateEntered,
  kSucceedStateExited,
  kFailStateEntered,
  kParallelStateEntered,
  kParallelStateExited,
  kParallelStateAborted,
  kParallelStateStarted,
  kParallelStateSucceeded,
  kParallelStateFailed,
  kMapStateEntered,
  kMapStateExited,
  kMapStateAborted,
  kMapStateStarted,
  kMapStateSucceeded,
  kMapStateFailed,
  kMapIterationStarted,
  kMapIterationSucceeded,
  kMapIterationFailed,
  kMapIterationAborted,
  kMapRunStarted,
  kMapRunSucceeded,
  kMapRunFailed,
  kMapRunAborted,

  kLambdaFunctionScheduled,
  kLambdaFunctionScheduleFailed,
  kLambdaFunctionStarted,
  kLambdaFunctionStartFailed,
  kLambdaFunctionSucceeded,
  kLambdaFunctionFailed,
  kLambdaFunctionTimedOut,

  kTaskScheduled,
  kTaskStartFailed,
  kTaskStarted,
  kTaskSubmitFailed,
  kTaskSubmitted,
  kTaskSucceeded,
  kTaskFailed,
  kTaskTimedOut,

  kActivityScheduled,
  kActivityScheduleFailed,
  kActivityStarted,
  kActivitySucceeded,
  kActivityFailed,
  kActivityTimedOut,

  kEvaluationFailed,
};

// "ExecutionStarted", "PassStateEntered", ... as the API spells them.
std::string_view event_type_name(EventType type);

// What Lambda, Task and Activity events show of their task: one per Task visit,
// shared by the events of all its attempts. Each event type shows the
// members AWS shows for it (TaskScheduled the region, the Lambda and
// Activity events no resource type).
struct TaskEventResource {
  std::string resource_type;  // Task* events: "lambda", "sqs", "aws-sdk:s3", ...
  std::string resource;       // the function ARN, the action ("invoke"), the activity ARN
  std::string region;         // TaskScheduled
  // Shown on the scheduled event exactly when set, with the resolved value
  // of the ...Path forms.
  std::optional<std::int64_t> timeout_seconds;
  std::optional<std::int64_t> heartbeat_seconds;
  std::optional<std::string> credentials_role_arn;  // taskCredentials.roleArn
};

struct HistoryEvent {
  Instant timestamp;  // raw, for callers that convert it themselves
  std::int64_t id = 0;
  std::int64_t previous_event_id = 0;
  EventType type = EventType::kExecutionStarted;
  // MapIteration*: the item's index; MapStateStarted: the number of items.
  std::int32_t number = 0;
  // The state's name (...StateEntered/Exited, MapIteration*: the Map's,
  // EvaluationFailed); ExecutionStarted: the role ARN; ActivityStarted: the
  // worker's name; MapRunStarted: the map run's ARN.
  SharedText name;
  // The JSON the event shows as text: input (...StateEntered,
  // ExecutionStarted, LambdaFunctionScheduled, ActivityScheduled), output
  // (...StateExited, ...Succeeded, TaskSubmitted) or parameters
  // (TaskScheduled).
  Value payload;
  std::shared_ptr<const TaskEventResource> task;
  // Error and cause of the failure events (each shown only when present).
  std::shared_ptr<const TaskError> failure;
};

// One member of an event's details, for writers that shape events their own
// way (to_value here; the Python binding builds dicts straight from these).
// Every `key` (and EventDetails::key) views a constant text of static
// storage, so a writer may cache what it makes of a key by its address;
// `text` and `json` refer into the event and live as long as it does.
struct EventDetail {
  enum class Kind : std::uint8_t {
    kText,          // `text`
    kInteger,       // `number`
    kJson,          // `*json`, shown as its compact JSON text
    kNotTruncated,  // the object {"truncated": false}
    kRoleArn,       // the object {"roleArn": `text`}
  };
  std::string_view key;
  Kind kind = Kind::kText;
  std::string_view text;
  const Value* json = nullptr;
  std::int64_t number = 0;
};

// The details member of an event: its key ("stateEnteredEventDetails") and
// members in the order AWS writes them. `key` is empty when the event shows
// no details member at all.
struct EventDetails {
  std::string_view key;
  std::vector<EventDetail> fields;
};
EventDetails event_details(const HistoryEvent& event);

// The event as GetExecutionHistory shows it: timestamp, type, id,
// previousEventId, then the type's ...EventDetails member, if it has one.
// The timestamp is written as "2024-01-01T00:00:00.000Z".
Value to_value(const HistoryEvent& event);

// Builders for each family of events; History::append fills in the ids.
HistoryEvent make_event(EventType type, Instant at);
HistoryEvent make_execution_started(Instant at, Value input, SharedText role_arn);
// ...StateEntered (payload = the state's raw input) or ...StateExited
// (payload = its output).
HistoryEvent make_state_event(EventType type, Instant at, SharedText state_name, Value payload);
// Scheduled, Succeeded and Submitted events; `task` may be null for the
// execution's and Lambda's own ...Succeeded.
HistoryEvent make_payload_event(EventType type, Instant at, Value payload,
                                std::shared_ptr<const TaskEventResource> task = nullptr);
// TaskStarted: the resource alone.
HistoryEvent make_task_event(EventType type, Instant at, std::shared_ptr<const TaskEventResource> task);
// ...Failed, ...TimedOut, ExecutionAborted, EvaluationFailed (its
// `state_name` is the failing state's).
HistoryEvent make_failure_event(EventType type, Instant at, TaskError failure,
                                std::shared_ptr<const TaskEventResource> task = nullptr,
                                SharedText state_name = {});
HistoryEvent make_map_started(Instant at, std::int32_t length);
HistoryEvent make_map_iteration(EventType type, Instant at, SharedText map_name,
                                std::int32_t index);

class History;

// Consecutive events of a History, read in place. Valid while the History
// lives where it is (appending does not move recorded events; moving the
// History itself does invalidate its ranges).
class EventRange {
 public:
  class Iterator {
   public:
    using value_type = HistoryEvent;
    using difference_type = std::ptrdiff_t;
    const HistoryEvent& operator*() const;
    const HistoryEvent* operator->() const { return &**this; }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++index_;
      return before;
    }
    friend bool operator==(const Iterator&, const Iterator&) = default;

   private:
    friend class EventRange;
    Iterator(const History* history, std::size_t index) : history_(history), index_(index) {}
    const History* history_ = nullptr;
    std::size_t index_ = 0;
  };

  std::size_t size() const { return end_ - begin_; }
  bool empty() const { return begin_ == end_; }
  const HistoryEvent& operator[](std::size_t i) const;
  Iterator begin() const { return Iterator(history_, begin_); }
  Iterator end() const { return Iterator(history_, end_); }

 private:
  friend class History;
  EventRange(const History* history, std::size_t begin, std::size_t end)
      : history_(history), begin_(begin), end_(end) {}
  const History* history_;
  std::size_t begin_, end_;  // indexes: id - 1
};

Value to_value(const EventRange& events);

class History {
 public:
  History() = default;
  History(const History&) = delete;  // ranges point at their History
  History& operator=(const History&) = delete;
  History(History&&) = default;
  History& operator=(History&&) = default;

  // Appends `event` with the next id and the previousEventId AWS gives it
  // after the events already there; returns the id.
  std::int64_t append(HistoryEvent event);

  EventRange events() const { return EventRange(this, 0, size_); }
  // The events with ids `first_id` and later (empty past the end): what one
  // scheduler step added, when `first_id` is last_id() + 1 from before it.
  EventRange events_from(std::int64_t first_id) const;
  const HistoryEvent* find(std::int64_t id) const;
  std::int64_t last_id() const { return static_cast<std::int64_t>(size_); }
  bool empty() const { return size_ == 0; }

 private:
  friend class EventRange;
  // Events live in fixed-size chunks, so a long history grows without ever
  // moving what it holds (a vector's regrowth would copy every event and
  // fault in a fresh block each time), and each chunk stays small enough to
  // be reused from the allocator's free lists.
  static constexpr std::size_t kChunkShift = 8;
  static constexpr std::size_t kChunkEvents = std::size_t{1} << kChunkShift;

  const HistoryEvent& at(std::size_t index) const {
    return chunks_[index >> kChunkShift][index & (kChunkEvents - 1)];
  }

  // Each chunk is reserved at its full size when it is started and never
  // grows past it, so its events stay where they are; only the events
  // appended so far are ever constructed.
  std::vector<std::vector<HistoryEvent>> chunks_;
  std::size_t size_ = 0;
};

inline const HistoryEvent& EventRange::Iterator::operator*() const {
  return history_->at(index_);
}
inline const HistoryEvent& EventRange::operator[](std::size_t i) const {
  return history_->at(begin_ + i);
}

}  // namespace vorn::aws
