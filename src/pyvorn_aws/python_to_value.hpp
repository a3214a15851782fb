// Python values into the AWS dialect's values, as json.dumps would write
// them: dicts (str keys only) in their order, lists and tuples, str, int of
// any size (exact digits), float (written as repr writes it, so 1.0 stays a
// float), bool and None. Anything else, a float that is not finite, a key
// that is not a str or nesting deeper than the reader accepts is refused
// with a message saying what and where.
#pragma once

#include <string>

#include "aws_data/value.hpp"
#include "base/result.hpp"
#include "py_binding/py.hpp"

namespace pyvorn::aws_binding {

// Refusals carry a message for a TypeError or ValueError; `value_error` says
// which (a value of the right type that JSON cannot write, as a NaN, is a
// ValueError, as json.dumps has it). A Python exception raised while reading
// (a str with lone surrogates, MemoryError) is left pending and flagged
// `python_error`.
struct ConversionError {
  std::string message;
  bool value_error = false;
  bool python_error = false;
};

vorn::Result<vorn::aws::Value, ConversionError> from_python(PyObject* object);

// Raises the refusal as a Python exception (or leaves the pending one).
void raise_conversion_error(const ConversionError& error, std::string_view what);

}  // namespace pyvorn::aws_binding
