// AWS-dialect values out to Python, keeping what the dialect keeps: objects
// become dicts in member order, integers of any length become ints (from
// their written digits), other numbers floats.
#pragma once

#include "aws_data/value.hpp"
#include "py_binding/py.hpp"

namespace pyvorn::aws_binding {

// A new object; null with an exception set on failure.
py::Ref to_python(const vorn::aws::Value& value);

}  // namespace pyvorn::aws_binding
