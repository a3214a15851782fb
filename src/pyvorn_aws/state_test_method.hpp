// StateMachine.test_state: one state of the machine run on an input, as AWS
// Step Functions' TestState API runs it, with its Task answered by Python
// handlers; the answer comes back in TestState's response shape.
#pragma once

#include "execution_class.hpp"
#include "machine_identity.hpp"
#include "py_binding/py.hpp"

namespace pyvorn::aws_binding {

// test_state(state_name, input, *, handlers=None, inspection_level="INFO",
// seed=0): the response dict; null with an exception set for a bad argument
// or when a handler raised what is no task failure.
PyObject* test_state(const MachineRuntime& runtime, const MachineIdentity& identity, bool express,
                     PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace pyvorn::aws_binding
