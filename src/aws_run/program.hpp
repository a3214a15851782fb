// Program: a definition lowered for running. Each state is numbered within
// its scope and leads to others by index; its paths are parsed, its
// templates compiled and its rules flattened once, so a step of an
// execution only follows ready data.
//
// Scope 0 is the machine's own; Parallel branches and Map processors will
// each be a scope of their own, run as frames beside their parent's, so no
// state of any depth needs the C++ stack of the one that started it.
//
// A Program is immutable once built and shared (through shared_ptr) by every
// execution of its machine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "aws_data/json_path.hpp"
#include "aws_run/catch_policy.hpp"
#include "aws_run/choice_program.hpp"
#include "aws_run/data_flow.hpp"
#include "aws_run/fail_fields.hpp"
#include "aws_run/retry_policy.hpp"
#include "aws_run/task_error.hpp"
#include "aws_run/task_resource.hpp"
#include "aws_run/wait_evaluation.hpp"
#include "base/result.hpp"

namespace vorn::aws {

enum class StateKind : std::uint8_t {
  kTask, kPass, kChoice, kWait, kSucceed, kFail, kParallel, kMap
};

// "Task", "Pass", ...: the prefix of the state's history events.
std::string_view state_kind_name(StateKind kind);

// No state: the end of a scope (End: true), or a Choice without Default.
inline constexpr std::uint32_t kNoState = UINT32_MAX;

struct TaskStep {
  std::string resource;  // as written: what handlers are registered under
  TaskResource target;   // what the resource names
  std::optional<std::int64_t> timeout_seconds;
  std::optional<JsonPath> timeout_seconds_path;
  std::optional<std::int64_t> heartbeat_seconds;
  std::optional<JsonPath> heartbeat_seconds_path;
  // Credentials, a template whose "RoleArn" the scheduled event shows; the
  // role is never assumed.
  std::optional<PayloadTemplate> credentials;
  std::vector<RetryRule> retry;
  std::vector<CatchRule> catch_rules;
  std::vector<std::uint32_t> catch_targets;  // the state each catcher leads to
};

struct ChoiceStep {
  ChoiceProgram rules;
  std::vector<std::uint32_t> targets;  // the state each choice leads to
  std::uint32_t default_target = kNoState;
};

struct WaitStep {
  WaitTiming timing;
};

struct FailStep {
  std::optional<std::string> error;
  std::optional<std::string> cause;
  std::optional<FailFieldSource> error_path;
  std::optional<FailFieldSource> cause_path;
};

// The error and cause a Fail state fails with: its Error and Cause, or what
// its ErrorPath and CausePath give over the raw input (or $$).
Result<TaskError, DataFlowFailure> fail_state_failure(const FailStep& step, const Value& raw_input,
                                                      const Value& context, RandomSource& random);

struct ProgramState {
  std::string name;
  StateKind kind = StateKind::kPass;
  std::uint32_t next = kNoState;  // Next; kNoState for End and for states that never go on
  StateDataFlow flow;
  std::variant<std::monostate, TaskStep, ChoiceStep, WaitStep, FailStep> step;
  // Some path, template or rule of the state reads "$$", which is then built
  // for it; most states never need it.
  bool reads_context = false;
};

struct ProgramScope {
  std::uint32_t start = 0;
  std::vector<ProgramState> states;
};

struct Program {
  std::vector<ProgramScope> scopes;  // [0]: the machine's own
  std::optional<std::int64_t> timeout_seconds;
};

}  // namespace vorn::aws
