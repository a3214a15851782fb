// TaskDispatcher: runs an execution's Task attempts on the Python handlers
// it was started with (a pyvorn.aws.Handlers), and turns what they return or
// raise into the attempt's outcome as AWS would have reported it.
//
// Handlers are found by the Task's Resource text first, then, for Lambda
// code, by function name (a direct function ARN, or the FunctionName of a
// lambda:invoke), then the default. Lambda code is wrapped as AWS wraps it:
// lambda:invoke answers the Invoke API's response around the returned
// value, and an exception becomes Lambda's error JSON (compact for
// lambda:invoke, with spaces otherwise).
//
// A handler of a .waitForTaskToken or .sync integration or of an activity
// may answer Pending: the attempt is then submitted and awaits a callback.
//
// The dispatcher holds strong references to the handler tables, so handlers
// added after a MissingHandler are seen by the next attempt.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "aws_data/random_source.hpp"
#include "aws_run/execution.hpp"
#include "py_binding/py.hpp"
#include "value_to_python.hpp"

namespace pyvorn::aws_binding {

// The objects a Task's attempts hand out again and again, made on its
// first attempt: the str of its Resource text, of its state's name and, for
// a direct Lambda ARN, of the function's name; and the context dict every
// attempt's is copied from, whose keys are in place and whose values are
// the step's, attempt 0, and None for the execution's name and the token.
// One cache serves every execution of a machine, whose program (and so each
// TaskStep's address) never changes.
struct StepTexts {
  py::Ref resource;
  py::Ref state_name;
  py::Ref function_name;
  py::Ref context;
};
using StepTextCache = std::unordered_map<const vorn::aws::TaskStep*, StepTexts>;

class TaskDispatcher {
 public:
  // Reads the tables of a pyvorn.aws.Handlers; nullopt with TypeError set
  // when `handlers` is not one. None gives a dispatcher with no handlers.
  static std::optional<TaskDispatcher> create(PyObject* handlers, std::uint64_t seed,
                                              std::shared_ptr<StepTextCache> texts);

  // Runs the attempt `call` describes. nullopt with a Python exception set
  // when there is no outcome to report: no handler answers the resource
  // (MissingHandler), the handler raised something that is no task failure
  // (KeyboardInterrupt, SystemExit), or it broke the handler contract (a
  // response that is not JSON from a non-Lambda handler, Pending where the
  // task cannot wait). The attempt is then still due.
  std::optional<vorn::aws::TaskOutcome> run(const vorn::aws::TaskCall& call,
                                            PyObject* execution_name, bool real_clock);

  int traverse(visitproc visit, void* arg);
  void clear();

 private:
  enum class Mode : std::uint8_t { kService, kLambdaDirect, kLambdaInvoke };
  struct Found {
    // Held strongly from the lookup on: building the handler's arguments
    // allocates, a collection may run a finalizer, and that may change the
    // table the handler came from.
    py::Ref handler;
    Mode mode = Mode::kService;
  };
  std::optional<Found> find(const vorn::aws::TaskCall& call, const StepTexts& texts);
  const StepTexts* texts_for(const vorn::aws::TaskCall& call);
  py::Ref context_for(const vorn::aws::TaskCall& call, const StepTexts& texts,
                      PyObject* execution_name);
  std::optional<vorn::aws::TaskOutcome> outcome_of(py::Ref result, Mode mode,
                                                   const vorn::aws::TaskCall& call,
                                                   vorn::aws::Duration elapsed);
  std::optional<vorn::aws::TaskOutcome> pending_outcome(PyObject* pending,
                                                        const vorn::aws::TaskCall& call,
                                                        vorn::aws::Duration elapsed);
  std::optional<vorn::aws::TaskOutcome> failure_of(Mode mode);

  py::Ref by_resource_;
  py::Ref by_function_;
  py::Ref fallback_;
  vorn::aws::RandomSource request_ids_{0};
  // The keys of the events handed to handlers, which mostly repeat.
  KeyStrings event_keys_;
  std::shared_ptr<StepTextCache> step_texts_;
};

}  // namespace pyvorn::aws_binding
