#include "history_to_python.hpp"

#include "time_conversion.hpp"
#include "value_to_python.hpp"

namespace pyvorn::aws_binding {

namespace {

py::StaticString kTimestamp("timestamp");

py::Ref event_to_python(const vorn::aws::HistoryEvent& event) {
  py::Ref dict = to_python(vorn::aws::to_value(event));
  py::Ref timestamp = instant_to_datetime(event.timestamp);
  if (!dict || !timestamp || kTimestamp.get() == nullptr ||
      PyDict_SetItem(dict.get(), kTimestamp.get(), timestamp.get()) != 0) {
    return {};
  }
  return dict;
}

}  // namespace

py::Ref events_to_python(const vorn::aws::EventRange& events) {
  py::Ref list = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(events.size())));
  if (!list) return {};
  Py_ssize_t index = 0;
  for (const vorn::aws::HistoryEvent& event : events) {
    py::Ref item = event_to_python(event);
    if (!item) return {};
    PyList_SET_ITEM(list.get(), index++, item.release());
  }
  return list;
}

}  // namespace pyvorn::aws_binding
