// The dispatcher executes a machine one state per step: it applies the
// data-flow fields on encoded data, calls Task handlers through the registry,
// applies Retry and Catch rules, follows Choice rules, appends what happened
// to the journal and moves the execution context on.
//
// State data stays in the binary value format throughout; nothing is decoded.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/result.hpp"
#include "vorn/context_error.hpp"
#include "vorn/handler.hpp"
#include "vorn/ir/state_machine.hpp"
#include "vorn/journal.hpp"
#include "vorn/state_output.hpp"

namespace vorn {

// One machine's execution record.
struct ExecutionContext {
  // The machine's initial input, encoded.
  std::vector<std::uint8_t> input;
  // The sequence number of the next journal entry.
  std::uint64_t sequence = 0;
  // The state the next step executes; moves only when a step continues.
  ir::StateId current;
};

struct StepOutcome {
  // The machine goes on with `next`, which the context now names.
  struct Continue {
    ir::StateId next;
  };
  struct Completed {};

  std::variant<Continue, Completed> value;
};

struct StepError {
  // A handler failed and no retry or catcher applied, or a Fail state ran.
  struct HandlerFailed {
    StateError error;
  };
  struct JournalFailure {
    JournalError error;
  };
  // Declared for replaying journals; never produced.
  struct ReplayDivergence {};
  // The current state does not exist, a Choice names an unknown condition or
  // gets an input that is not a value, or no Choice rule matched and there is
  // no default. Carries the current state.
  struct InvalidTransition {
    ir::StateId state;
  };
  struct HandlerNotFound {
    ir::HandlerId handler;
  };
  // Declared; never produced.
  struct ContextFailure {
    ContextError error;
  };
  // A path, placement or template could not be applied, or its result would
  // exceed a limit of the value format. Carries the current state.
  struct PathResolutionFailed {
    ir::StateId state;
  };
  // The registry reported HandlerOutcome::Interrupted: nothing was recorded
  // and the host has its own reason to stop (a pending Python exception).
  struct Interrupted {};

  std::variant<HandlerFailed, JournalFailure, ReplayDivergence, InvalidTransition,
               HandlerNotFound, ContextFailure, PathResolutionFailed, Interrupted>
      value;
};

// The text form callers show: "HandlerNotFound(HandlerId(0))",
// "PathResolutionFailed(StateId(2))", "ReplayDivergence",
// HandlerFailed(StateError { kind: External, message: "ValueError: bad", side_effects: [] }).
std::string to_string(const StepError& error);

using StepResult = Result<StepOutcome, StepError>;

// True when one of `names` is the kind's name or "*". Exact and
// case-sensitive; any other name matches nothing.
bool error_matches(StateErrorKind kind, std::span<const std::string_view> names);

class Dispatcher {
 public:
  virtual ~Dispatcher() = default;
  virtual StepResult step(ExecutionContext& context, const ir::StateMachineIr& ir,
                          Journal& journal, const HandlerRegistry& registry) const = 0;
};

// Holds no state of its own: everything a step needs is in the context, the
// journal and the IR.
class DefaultDispatcher final : public Dispatcher {
 public:
  StepResult step(ExecutionContext& context, const ir::StateMachineIr& ir, Journal& journal,
                  const HandlerRegistry& registry) const override;
};

}  // namespace vorn
