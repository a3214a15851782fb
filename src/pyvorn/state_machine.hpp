// StateMachine: the Python class that runs a machine in process.
//
// An object owns its execution context, its journal and its handler
// registry, and shares the runtime IR with every other machine built from the
// same lowered form (the IR goes with the last of them). step() runs one
// dispatcher step, run() steps until the machine stops; both report results,
// failures included, as dicts and raise only for an interrupt (a signal, or a
// handler's KeyboardInterrupt or SystemExit), which leaves the machine as it
// was before that step.
//
// step, run and register_handler take the object exclusively; the properties
// and repr share it. run() lets other threads run every so many steps, as the
// interpreter does between bytecodes; the machine stays taken meanwhile. A handler that uses its own machine therefore gets
// RuntimeError("Already borrowed") or RuntimeError("Already mutably
// borrowed") at once. The object takes part in garbage collection through its
// registered callables.
#pragma once

#include "py_binding/py.hpp"

namespace pyvorn {

// The class, created on first use; null with an error set if that failed.
PyTypeObject* state_machine_type();

}  // namespace pyvorn
