// History events out to Python in GetExecutionHistory's shape, with each
// "timestamp" an aware datetime (as boto3 gives it) instead of text.
#pragma once

#include "aws_run/history.hpp"
#include "py_binding/py.hpp"

namespace pyvorn::aws_binding {

// A new list of dicts; null with an exception set on failure.
py::Ref events_to_python(const vorn::aws::EventRange& events);

}  // namespace pyvorn::aws_binding
