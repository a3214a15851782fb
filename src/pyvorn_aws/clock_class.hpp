// VirtualClock: the Python face of the clock executions run on by default.
// Several executions may share one; moving it (advance) is how a test lets
// time pass for a callback's timeout without waiting.
#pragma once

#include "aws_run/clock.hpp"
#include "py_binding/py.hpp"

namespace pyvorn::aws_binding {

PyTypeObject* virtual_clock_type();

// The system clock for clock="real": it sleeps with the interpreter lock
// released, so other Python threads run while an execution waits.
class UnlockedRealClock final : public vorn::aws::Clock {
 public:
  vorn::aws::Instant now() const override { return clock_.now(); }
  void sleep_until(vorn::aws::Instant wake) override;

 private:
  vorn::aws::RealClock clock_;
};

// The clock inside a VirtualClock object; null when `object` is not one.
vorn::aws::VirtualClock* virtual_clock_of(PyObject* object);

// A new VirtualClock object starting at `start`.
py::Ref new_virtual_clock(vorn::aws::Instant start);

}  // namespace pyvorn::aws_binding
