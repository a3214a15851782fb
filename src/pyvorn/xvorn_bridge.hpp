// The xvorn library from Python: the JsonPath, JsonTemplate and ContextObject
// classes and the json_place function.
//
// Every Python value that goes in is converted to a JSON tree by the value
// bridge's rules and every result comes back through them, so the
// conversions' exceptions (TypeError, ValueError, OverflowError,
// RecursionError) surface unchanged. No object keeps a reference to anything
// passed in: each call works on its own converted copy. Reads take a shared
// borrow of the object; ContextObject's state_name setter takes it
// exclusively.
#pragma once

#include <string_view>

#include "py_binding/py.hpp"

namespace pyvorn {

// The classes, created on first use; null with an error set if that failed.
PyTypeObject* json_path_type();
PyTypeObject* json_template_type();
PyTypeObject* context_object_type();

extern PyMethodDef json_place_def;

// Raises JsonPathError with `message`, the rendering of a path or template
// error.
void raise_json_path_error(std::string_view message);

}  // namespace pyvorn
