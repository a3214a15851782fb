// Helpers for tests that run the bridges inside an embedded interpreter.
#pragma once

#include <string>

#include "py_binding/py.hpp"

namespace pyvorn::testing {

// Evaluates a Python expression (with `enum` imported); null with the error
// printed if it fails.
py::Ref eval(const std::string& expression);

// Type name and message of the pending exception, which is cleared, as
// "TypeError: message"; empty if none is pending.
std::string take_error();

// Python equality, with exact types compared all the way down.
bool same_value(PyObject* a, PyObject* b);

}  // namespace pyvorn::testing
