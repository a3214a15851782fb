// The Python classes that handlers and their callers share with the runner
// (pyvorn.aws.Handlers, TaskFailed, MissingHandler, Elapsed, Pending and the
// callbacks' TaskDoesNotExist and TaskTimedOut). They
// are plain Python, defined in pyvorn.aws._tasks, and looked up once.
#pragma once

#include "py_binding/py.hpp"

namespace pyvorn::aws_binding {

enum class RunType {
  kHandlers,
  kTaskFailed,
  kMissingHandler,
  kElapsed,
  kPending,
  kTaskDoesNotExist,
  kTaskTimedOut,
};

// A borrowed reference kept for the life of the process; null with an
// exception set when pyvorn.aws._tasks cannot be imported.
PyObject* run_type(RunType which);

}  // namespace pyvorn::aws_binding
