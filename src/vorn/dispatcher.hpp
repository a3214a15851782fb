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
#include "vorn/handler.hpp"
#include "vorn/ir/state_machine.hpp"
#include "vorn/journal.hpp"
#include "vorn/state_output.hpp"
#include "vorn/step_error.hpp"

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
