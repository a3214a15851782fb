// Why a step could not go on, and the text form callers show for it.
#pragma once

#include <string>
#include <variant>

#include "vorn/context_error.hpp"
#include "vorn/ir/id.hpp"
#include "vorn/journal.hpp"
#include "vorn/state_output.hpp"

namespace vorn {

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

}  // namespace vorn
