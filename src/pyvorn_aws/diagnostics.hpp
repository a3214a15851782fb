// Checker diagnostics out to Python, and the refusal that carries them.
#pragma once

#include <vector>

#include "aws_build/diagnostic.hpp"
#include "py_binding/py.hpp"

namespace pyvorn::aws_binding {

// pyvorn.aws.DefinitionError, a ValueError; a borrowed reference, made on
// first use (null with an exception set if that failed).
PyObject* definition_error_type();

// A list of dicts {"severity", "code", "message", "location", "line",
// "column"}; location, line and column are None when the diagnostic points
// nowhere.
py::Ref diagnostics_to_python(const std::vector<vorn::aws::Diagnostic>& diagnostics);

// Raises DefinitionError: str() is AWS's InvalidDefinition message, and the
// instance's `diagnostics` attribute the whole list (warnings included).
void raise_definition_error(const std::vector<vorn::aws::Diagnostic>& diagnostics);

}  // namespace pyvorn::aws_binding
