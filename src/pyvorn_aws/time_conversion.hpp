// Instants to and from Python's datetime: histories and describe() give
// aware UTC datetimes at the milliseconds AWS keeps; a clock's start may be
// an aware datetime, a naive one (read as UTC) or AWS's timestamp text.
#pragma once

#include <optional>

#include "aws_run/clock.hpp"
#include "py_binding/py.hpp"

namespace pyvorn::aws_binding {

// A new aware datetime in UTC, truncated to milliseconds; null with
// OverflowError set for an instant outside datetime's years 1 to 9999.
py::Ref instant_to_datetime(vorn::aws::Instant at);

// The instant `object` names; nullopt with TypeError or ValueError set when
// it is neither a datetime nor timestamp text. `argument` names it in the
// message.
std::optional<vorn::aws::Instant> instant_from_python(PyObject* object, const char* argument);

}  // namespace pyvorn::aws_binding
