#include "history_to_python.hpp"

#include <string>
#include <unordered_map>

#include "aws_data/write.hpp"
#include "time_conversion.hpp"

namespace pyvorn::aws_binding {

namespace {

using vorn::aws::EventDetail;

// Keys and type names are constant texts of the history's own tables and
// literals, each at a fixed address: each becomes an interned str once,
// found again by that address, so building an event's dict neither
// allocates nor hashes a key.
PyObject* fixed_text(std::string_view text) {
  static std::unordered_map<const char*, PyObject*> texts;
  auto found = texts.find(text.data());
  if (found != texts.end()) return found->second;
  PyObject* object = PyUnicode_InternFromString(std::string(text).c_str());
  if (object != nullptr) texts.emplace(text.data(), object);
  return object;
}

bool put(PyObject* dict, std::string_view key, py::Ref value) {
  PyObject* key_object = fixed_text(key);
  return value && key_object != nullptr && PyDict_SetItem(dict, key_object, value.get()) == 0;
}

py::Ref one_member_dict(std::string_view key, py::Ref value) {
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict || !put(dict.get(), key, std::move(value))) return {};
  return dict;
}

py::Ref detail_value(const EventDetail& field) {
  switch (field.kind) {
    case EventDetail::Kind::kText:
      return py::new_str(field.text);
    case EventDetail::Kind::kInteger:
      return py::Ref::steal(PyLong_FromLongLong(field.number));
    case EventDetail::Kind::kJson:
      return py::new_str(vorn::aws::write_json(*field.json));
    case EventDetail::Kind::kNotTruncated:
      return one_member_dict("truncated", py::Ref::borrow(Py_False));
    case EventDetail::Kind::kRoleArn:
      return one_member_dict("roleArn", py::new_str(field.text));
  }
  return {};
}

// Events recorded at one instant (most of them, on a virtual clock) share
// one datetime object; datetimes are immutable.
class TimestampCache {
 public:
  py::Ref get(vorn::aws::Instant at) {
    if (!last_ || at != at_) {
      last_ = instant_to_datetime(at);
      at_ = at;
    }
    return last_;
  }

 private:
  py::Ref last_;
  vorn::aws::Instant at_;
};

py::Ref event_to_python(const vorn::aws::HistoryEvent& event, TimestampCache& timestamps) {
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict) return {};
  PyObject* d = dict.get();
  if (!put(d, "timestamp", timestamps.get(event.timestamp)) ||
      !put(d, "type", py::Ref::borrow(fixed_text(vorn::aws::event_type_name(event.type)))) ||
      !put(d, "id", py::Ref::steal(PyLong_FromLongLong(event.id))) ||
      !put(d, "previousEventId", py::Ref::steal(PyLong_FromLongLong(event.previous_event_id)))) {
    return {};
  }
  const vorn::aws::EventDetails details = vorn::aws::event_details(event);
  if (details.key.empty()) return dict;
  py::Ref fields = py::Ref::steal(PyDict_New());
  if (!fields) return {};
  for (const EventDetail& field : details.fields) {
    if (!put(fields.get(), field.key, detail_value(field))) return {};
  }
  if (!put(d, details.key, std::move(fields))) return {};
  return dict;
}

}  // namespace

py::Ref events_to_python(const vorn::aws::EventRange& events) {
  py::Ref list = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(events.size())));
  if (!list) return {};
  TimestampCache timestamps;
  Py_ssize_t index = 0;
  for (const vorn::aws::HistoryEvent& event : events) {
    py::Ref item = event_to_python(event, timestamps);
    if (!item) return {};
    PyList_SET_ITEM(list.get(), index++, item.release());
  }
  return list;
}

}  // namespace pyvorn::aws_binding
