// Execution: one run of a StateMachine in this process, stepped by the
// caller (run(), step()) on a virtual or real clock, with the machine's
// Tasks answered by Python handlers.
#pragma once

#include <memory>

#include "aws_run/program.hpp"
#include "machine_identity.hpp"
#include "py_binding/py.hpp"
#include "task_dispatch.hpp"

namespace pyvorn::aws_binding {

PyTypeObject* execution_type();

// StateMachine.start_execution(input=None, *, handlers=None, name=None,
// clock=None, seed=0): the new Execution, with ExecutionStarted recorded.
// What a machine's executions share: its program and the texts its Tasks
// hand to handlers.
struct MachineRuntime {
  std::shared_ptr<const vorn::aws::Program> program;
  std::shared_ptr<StepTextCache> step_texts;
};

PyObject* start_execution(PyObject* machine, const MachineRuntime& runtime,
                          const MachineIdentity& identity, bool express, PyObject* const* args,
                          Py_ssize_t nargs, PyObject* kwnames);

}  // namespace pyvorn::aws_binding
