// HandlerRegistry: how the dispatcher reaches the code behind Task states.
// The engine is written against this interface only; the Python extension
// implements it with registered callables.
#pragma once

#include <variant>

#include "vorn/ir/id.hpp"
#include "vorn/ir/state_machine.hpp"
#include "vorn/state_output.hpp"
#include "vorn/value_format.hpp"

namespace vorn {

// What the dispatcher hands the registry for one Task call. `input` and `ir`
// are borrowed for the call only.
struct HandlerContext {
  // The handler's input (after InputPath and Parameters), encoded.
  Bytes input;
  ir::SchemaId input_schema;
  const ir::StateMachineIr& ir;
  ir::StateId state_id;
  // Always false: there is no replay mode.
  bool replay = false;
};

struct HandlerOutcome {
  // No handler is registered for the id.
  struct NotFound {};
  struct Failed {
    StateError error;
  };
  struct Succeeded {
    StateOutput output;
  };
  // The host asked to stop the step before the handler produced an outcome
  // (in Python: a KeyboardInterrupt, SystemExit or other BaseException that
  // is not an Exception, which the host re-raises). The attempt is not
  // recorded and the machine stays where it was.
  struct Interrupted {};

  std::variant<NotFound, Failed, Succeeded, Interrupted> value;
};

class HandlerRegistry {
 public:
  virtual ~HandlerRegistry() = default;
  // Called once per Task attempt, synchronously, on the dispatcher's thread.
  virtual HandlerOutcome execute(ir::HandlerId handler, const HandlerContext& context) const = 0;
};

}  // namespace vorn
