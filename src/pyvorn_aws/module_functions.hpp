// What the _aws module registers, defined beside the code they run.
#pragma once

#include "py_binding/py.hpp"

namespace pyvorn::aws_binding {

extern PyMethodDef validate_def;

// The StateMachine type, made ready on first use (null with an exception set
// if that failed).
PyTypeObject* state_machine_type();

}  // namespace pyvorn::aws_binding
