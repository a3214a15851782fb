// The context object: what "$$" paths read, shaped and ordered as AWS Step
// Functions shows it (Execution, StateMachine, State, then Task and Map where
// they apply; times as "YYYY-MM-DDThh:mm:ss.sssZ").
//
// The Execution and StateMachine members do not change during a run, so they
// are built once into an ExecutionContext and shared by every state's context
// object; per state only the small State (and Task, Map) members are new.
// The interpreter owns both structs below and fills them in; the Values
// returned share nothing mutable with them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "aws_data/timestamp.hpp"
#include "aws_data/value.hpp"

namespace vorn::aws {

struct ExecutionContextFields {
  std::string execution_id;  // arn:aws:states:<region>:<account>:execution:<machine>:<name>
  Value input;               // the execution's input, as it started
  Timestamp start_time;
  std::string execution_name;
  std::string role_arn;
  // Absent where AWS leaves it out (executions recorded before redrives existed).
  std::optional<std::int64_t> redrive_count = 0;
  std::string state_machine_id;
  std::string state_machine_name;
};

// The parts of the context object fixed for a whole execution, and the
// last state entry time written: on a virtual clock many states are entered
// at one instant, and writing a time costs more than the rest of the object.
struct ExecutionContext {
  Value execution;      // {"Id", "Input", "StartTime", "Name", "RoleArn"[, "RedriveCount"]}
  Value state_machine;  // {"Id", "Name"}
  std::optional<Timestamp> last_entered_time;
  Value last_entered_text;
};

ExecutionContext make_execution_context(const ExecutionContextFields& fields);

struct MapItemContext {
  std::int64_t index = 0;
  Value value;
};

struct StateContextFields {
  std::string state_name;
  Timestamp entered_time;
  std::optional<std::int64_t> retry_count;  // Task, Parallel and Map states only
  std::optional<std::string> task_token;    // callback and activity tasks only
  std::optional<MapItemContext> map_item;   // while a Map's ItemSelector is evaluated
};

// The whole "$$" object for one state; may update the entry time kept in
// `execution`.
Value make_context_object(ExecutionContext& execution, const StateContextFields& state);

}  // namespace vorn::aws
