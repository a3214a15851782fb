#include "value_to_python.hpp"

#include <string>

namespace pyvorn::aws_binding {

namespace {

using vorn::aws::Kind;
using vorn::aws::Value;

// Integers of up to 18 digits, nearly all of them, fit an int64 and skip
// PyLong_FromString's general parse.
constexpr std::size_t kInt64SafeDigits = 18;

py::Ref number_to_python(const Value& value) {
  if (!value.is_integral()) return py::Ref::steal(PyFloat_FromDouble(value.number_value()));
  std::string_view text = value.number_text();
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.size() <= kInt64SafeDigits) {
    long long magnitude = 0;
    for (const char digit : text) magnitude = magnitude * 10 + (digit - '0');
    return py::Ref::steal(PyLong_FromLongLong(negative ? -magnitude : magnitude));
  }
  // PyLong_FromString needs a NUL-terminated text; integers of every length
  // come through exactly.
  const std::string digits(value.number_text());
  return py::Ref::steal(PyLong_FromString(digits.c_str(), nullptr, 10));
}

py::Ref container_to_python(const Value& value, KeyStrings* keys);

}  // namespace

py::Ref KeyStrings::get(std::string_view key) {
  const auto found = strings_.find(key);
  if (found != strings_.end()) return found->second;
  py::Ref text = py::new_str(key);
  if (text && strings_.size() < kMaxKeys && key.size() <= kMaxKeyBytes) {
    strings_.emplace(std::string(key), text);
  }
  return text;
}

py::Ref to_python(const Value& value, KeyStrings* keys) {
  switch (value.kind()) {
    case Kind::kNull:
      return py::Ref::borrow(Py_None);
    case Kind::kBool:
      return py::Ref::borrow(value.as_bool() ? Py_True : Py_False);
    case Kind::kNumber:
      return number_to_python(value);
    case Kind::kString:
      return py::new_str(value.as_string());
    case Kind::kArray:
    case Kind::kObject: {
      // Values may nest far deeper than Python's own json would read (a loop
      // can wrap its data once per state, up to the payload limit), so
      // converting them is bounded like any recursion in Python: a
      // RecursionError, never an exhausted C stack.
      if (Py_EnterRecursiveCall(" while converting a value to Python") != 0) return {};
      py::Ref converted = container_to_python(value, keys);
      Py_LeaveRecursiveCall();
      return converted;
    }
  }
  return {};
}

namespace {

py::Ref container_to_python(const Value& value, KeyStrings* keys) {
  switch (value.kind()) {
    case Kind::kArray: {
      const auto items = value.items();
      py::Ref list = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
      if (!list) return {};
      for (std::size_t i = 0; i < items.size(); ++i) {
        py::Ref item = to_python(items[i], keys);
        if (!item) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
      }
      return list;
    }
    case Kind::kObject: {
      py::Ref dict = py::Ref::steal(PyDict_New());
      if (!dict) return {};
      for (const vorn::aws::Member& member : value.members()) {
        py::Ref key = keys ? keys->get(member.key) : py::new_str(member.key);
        py::Ref item = to_python(member.value, keys);
        if (!key || !item || PyDict_SetItem(dict.get(), key.get(), item.get()) != 0) return {};
      }
      return dict;
    }
    default:
      return {};
  }
}

}  // namespace

}  // namespace pyvorn::aws_binding
