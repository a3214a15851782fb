#include "context_object.hpp"

#include <utility>
#include <vector>

namespace vorn::aws {

ExecutionContext make_execution_context(const ExecutionContextFields& fields) {
  std::vector<Member> execution;
  execution.reserve(6);
  execution.push_back({"Id", Value::string(fields.execution_id)});
  execution.push_back({"Input", fields.input});
  execution.push_back({"StartTime", Value::string(format_timestamp(fields.start_time))});
  execution.push_back({"Name", Value::string(fields.execution_name)});
  execution.push_back({"RoleArn", Value::string(fields.role_arn)});
  if (fields.redrive_count) {
    execution.push_back({"RedriveCount", Value::integer(*fields.redrive_count)});
  }
  std::vector<Member> state_machine;
  state_machine.reserve(2);
  state_machine.push_back({"Id", Value::string(fields.state_machine_id)});
  state_machine.push_back({"Name", Value::string(fields.state_machine_name)});
  ExecutionContext context;
  context.execution = Value::object(std::move(execution));
  context.state_machine = Value::object(std::move(state_machine));
  return context;
}

Value make_context_object(ExecutionContext& execution, const StateContextFields& state) {
  if (execution.last_entered_time != state.entered_time) {
    execution.last_entered_time = state.entered_time;
    execution.last_entered_text = Value::string(format_timestamp(state.entered_time));
  }
  std::vector<Member> state_members;
  state_members.reserve(3);
  state_members.push_back({"Name", Value::string(state.state_name)});
  state_members.push_back({"EnteredTime", execution.last_entered_text});
  if (state.retry_count) {
    state_members.push_back({"RetryCount", Value::integer(*state.retry_count)});
  }
  std::vector<Member> members;
  members.reserve(5);
  members.push_back({"Execution", execution.execution});
  members.push_back({"StateMachine", execution.state_machine});
  members.push_back({"State", Value::object(std::move(state_members))});
  if (state.task_token) {
    members.push_back({"Task", Value::object({{"Token", Value::string(*state.task_token)}})});
  }
  if (state.map_item) {
    std::vector<Member> item;
    item.reserve(2);
    item.push_back({"Index", Value::integer(state.map_item->index)});
    item.push_back({"Value", state.map_item->value});
    members.push_back({"Map", Value::object({{"Item", Value::object(std::move(item))}})});
  }
  return Value::object(std::move(members));
}

}  // namespace vorn::aws
