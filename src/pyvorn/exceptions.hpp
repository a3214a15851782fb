// The module's four exception types. Each is created once per process, on
// first use, and reused for every raise. Their qualified names say "pyvorn"
// (the public package), and all derive directly from Exception.
#pragma once

#include "py_binding/py.hpp"

namespace pyvorn {

// Borrowed references; null with an error set if creation failed.
PyObject* parse_error_type();
PyObject* validation_error_type();
PyObject* dispatch_error_type();
PyObject* json_path_error_type();

// Adds the four types to the module in their registration order.
bool add_exception_types(PyObject* module);

}  // namespace pyvorn
