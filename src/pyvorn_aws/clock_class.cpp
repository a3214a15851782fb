#include "clock_class.hpp"

#include <cmath>
#include <new>

#include "time_conversion.hpp"

namespace pyvorn::aws_binding {

namespace {

using vorn::aws::Instant;

struct ClockObject {
  PyObject_HEAD vorn::aws::VirtualClock clock;
};

ClockObject* as_clock(PyObject* object) { return reinterpret_cast<ClockObject*>(object); }

constexpr const char* kArgumentNames[] = {"start"};

PyObject* new_clock(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return py::guard([&]() -> PyObject* {
    PyObject* given[1] = {};
    if (!py::parse_tuple_arguments("VirtualClock", args, kwargs, kArgumentNames, given, 0, 1)) {
      return nullptr;
    }
    Instant start = vorn::aws::RealClock().now();
    if (given[0] != nullptr && given[0] != Py_None) {
      const auto instant = instant_from_python(given[0], "start");
      if (!instant) return nullptr;
      start = *instant;
    }
    PyObject* object = type->tp_alloc(type, 0);
    if (object == nullptr) return nullptr;
    new (&as_clock(object)->clock) vorn::aws::VirtualClock(start);
    return object;
  });
}

void dealloc(PyObject* object) {
  as_clock(object)->clock.~VirtualClock();
  PyTypeObject* type = Py_TYPE(object);
  type->tp_free(object);
  Py_DECREF(type);
}

PyObject* get_now(PyObject* object, void*) {
  return py::guard([&] { return instant_to_datetime(as_clock(object)->clock.now()).release(); });
}

PyObject* advance(PyObject* object, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    PyObject* seconds = py::single_argument("advance", "seconds", args, nargs, kwnames);
    if (seconds == nullptr) return nullptr;
    const double value = PyFloat_AsDouble(seconds);
    if (value == -1.0 && PyErr_Occurred()) return nullptr;
    if (!(value >= 0) || !std::isfinite(value)) {
      py::raise(PyExc_ValueError, "seconds must be a finite number >= 0");
      return nullptr;
    }
    // A span beyond what a Duration holds saturates at the clock's end.
    constexpr double kMaxSeconds = 9.2e9;
    const auto delta = std::chrono::duration_cast<vorn::aws::Duration>(
        std::chrono::duration<double>(std::min(value, kMaxSeconds)));
    as_clock(object)->clock.advance_by(delta);
    Py_RETURN_NONE;
  });
}

PyObject* repr(PyObject* object) {
  return py::guard([&] {
    return py::new_str("<pyvorn.aws.VirtualClock at " +
                       vorn::aws::format_instant(as_clock(object)->clock.now()) + ">")
        .release();
  });
}

PyMethodDef methods[] = {
    {"advance", py::as_cfunction(advance), METH_FASTCALL | METH_KEYWORDS,
     "advance($self, seconds)\n--\n\nMoves the clock forward; executions on it see the time pass "
     "at their next step."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"now", get_now, nullptr, "The clock's time, an aware datetime in UTC.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>(
                    "VirtualClock(start=None)\n--\n\n"
                    "A clock that never sleeps: Wait states, retry delays and timeouts jump "
                    "it forward. Starts at `start` (a datetime, naive ones read as UTC, or "
                    "AWS's timestamp text), or now.")},
    {Py_tp_new, reinterpret_cast<void*>(new_clock)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {
    "pyvorn.aws.VirtualClock",
    sizeof(ClockObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

}  // namespace

void UnlockedRealClock::sleep_until(vorn::aws::Instant wake) {
  if (clock_.now() >= wake) return;
  Py_BEGIN_ALLOW_THREADS clock_.sleep_until(wake);
  Py_END_ALLOW_THREADS
}

PyTypeObject* virtual_clock_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) type = PyType_FromSpec(&spec);
  return reinterpret_cast<PyTypeObject*>(type);
}

vorn::aws::VirtualClock* virtual_clock_of(PyObject* object) {
  PyTypeObject* type = virtual_clock_type();
  if (type == nullptr || !PyObject_TypeCheck(object, type)) return nullptr;
  return &as_clock(object)->clock;
}

py::Ref new_virtual_clock(Instant start) {
  PyTypeObject* type = virtual_clock_type();
  if (type == nullptr) return {};
  py::Ref object = py::Ref::steal(type->tp_alloc(type, 0));
  if (!object) return {};
  new (&as_clock(object.get())->clock) vorn::aws::VirtualClock(start);
  return object;
}

}  // namespace pyvorn::aws_binding
