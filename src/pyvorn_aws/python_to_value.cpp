#include "python_to_value.hpp"

#include <cmath>
#include <vector>

#include "aws_data/read.hpp"

namespace pyvorn::aws_binding {

namespace {

using vorn::fail;
using vorn::aws::Member;
using vorn::aws::Value;
using Converted = vorn::Result<Value, ConversionError>;

ConversionError refusal(std::string message, bool value_error = false) {
  return ConversionError{std::move(message), value_error, false};
}

ConversionError pending_python_error() { return ConversionError{{}, false, true}; }

// The object's text through str() or repr(), for numbers only: both write
// digits that json.dumps would write too.
Converted number_from_python_text(PyObject* text_object) {
  if (text_object == nullptr) return fail(pending_python_error());
  py::Ref text = py::Ref::steal(text_object);
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text.get(), &size);
  if (data == nullptr) return fail(pending_python_error());
  auto number = Value::number_from_text({data, static_cast<std::size_t>(size)});
  if (!number.ok()) return fail(refusal(number.error()));
  return std::move(number).value();
}

Converted convert_int(PyObject* object) {
  int overflow = 0;
  const long long small = PyLong_AsLongLongAndOverflow(object, &overflow);
  if (overflow == 0) {
    if (small == -1 && PyErr_Occurred()) return fail(pending_python_error());
    return Value::integer(small);
  }
  // Beyond 64 bits: the exact decimal digits, which int.__str__ writes (an
  // int subclass's own __str__ is not asked).
  return number_from_python_text(PyLong_Type.tp_str(object));
}

Converted convert_float(PyObject* object) {
  const double d = PyFloat_AS_DOUBLE(object);
  if (!std::isfinite(d)) {
    return fail(refusal("Out of range float values are not JSON compliant: " +
                            std::string(std::isnan(d) ? "nan" : (d > 0 ? "inf" : "-inf")),
                        true));
  }
  char* text = PyOS_double_to_string(d, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
  if (text == nullptr) return fail(pending_python_error());
  auto number = Value::number_from_text(text);
  PyMem_Free(text);
  if (!number.ok()) return fail(refusal(number.error()));
  return std::move(number).value();
}

Converted convert_str(PyObject* object) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (data == nullptr) return fail(pending_python_error());
  return Value::string({data, static_cast<std::size_t>(size)});
}

Converted convert(PyObject* object, std::size_t depth);

Converted convert_sequence(PyObject* const* items, Py_ssize_t size, std::size_t depth) {
  std::vector<Value> values;
  values.reserve(static_cast<std::size_t>(size));
  for (Py_ssize_t i = 0; i < size; ++i) {
    auto item = convert(items[i], depth + 1);
    if (!item.ok()) return item;
    values.push_back(std::move(item).value());
  }
  return Value::array(std::move(values));
}

Converted convert_dict(PyObject* object, std::size_t depth) {
  std::vector<Member> members;
  members.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(object)));
  Py_ssize_t position = 0;
  PyObject* key = nullptr;
  PyObject* item = nullptr;
  while (PyDict_Next(object, &position, &key, &item)) {
    if (!PyUnicode_Check(key)) {
      return fail(refusal("keys must be str, not " + py::type_name(key)));
    }
    // The dict may be changed by nothing here: converting runs no Python
    // code (no __str__, __repr__ or __iter__ of the user's is called).
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(key, &size);
    if (data == nullptr) return fail(pending_python_error());
    auto value = convert(item, depth + 1);
    if (!value.ok()) return value;
    members.push_back(Member{std::string(data, static_cast<std::size_t>(size)),
                             std::move(value).value()});
  }
  return Value::object(std::move(members));
}

Converted convert(PyObject* object, std::size_t depth) {
  if (depth > vorn::aws::kMaxReadDepth) {
    return fail(refusal("value nested deeper than " +
                            std::to_string(vorn::aws::kMaxReadDepth) + " levels",
                        true));
  }
  if (object == Py_None) return Value::null();
  if (object == Py_True) return Value::boolean(true);
  if (object == Py_False) return Value::boolean(false);
  if (PyUnicode_Check(object)) return convert_str(object);
  if (PyLong_Check(object)) return convert_int(object);
  if (PyFloat_Check(object)) return convert_float(object);
  if (PyDict_Check(object)) return convert_dict(object, depth);
  if (PyList_Check(object)) {
    // A list's items may not move while we read them: nothing here runs
    // Python code that could change the list.
    return convert_sequence(PySequence_Fast_ITEMS(object), PyList_GET_SIZE(object), depth);
  }
  if (PyTuple_Check(object)) {
    return convert_sequence(PySequence_Fast_ITEMS(object), PyTuple_GET_SIZE(object), depth);
  }
  return fail(refusal("Object of type " + py::type_name(object) + " is not JSON serializable"));
}

}  // namespace

vorn::Result<Value, ConversionError> from_python(PyObject* object) { return convert(object, 0); }

void raise_conversion_error(const ConversionError& error, std::string_view what) {
  if (error.python_error) return;
  py::raise(error.value_error ? PyExc_ValueError : PyExc_TypeError,
            std::string(what) + ": " + error.message);
}

}  // namespace pyvorn::aws_binding
