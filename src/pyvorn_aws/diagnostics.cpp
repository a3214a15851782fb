#include "diagnostics.hpp"

namespace pyvorn::aws_binding {

namespace {

using vorn::aws::Diagnostic;

py::StaticString key_severity("severity");
py::StaticString key_code("code");
py::StaticString key_message("message");
py::StaticString key_location("location");
py::StaticString key_line("line");
py::StaticString key_column("column");

bool set(PyObject* dict, py::StaticString& key, py::Ref value) {
  return value && key.get() != nullptr && PyDict_SetItem(dict, key.get(), value.get()) == 0;
}

py::Ref position(std::size_t n) {
  return n == 0 ? py::Ref::borrow(Py_None) : py::Ref::steal(PyLong_FromSize_t(n));
}

py::Ref diagnostic_to_python(const Diagnostic& d) {
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict) return {};
  const bool ok =
      set(dict.get(), key_severity, py::new_str(vorn::aws::severity_name(d.severity))) &&
      set(dict.get(), key_code, py::new_str(d.code)) &&
      set(dict.get(), key_message, py::new_str(d.message)) &&
      set(dict.get(), key_location,
          d.location.empty() ? py::Ref::borrow(Py_None) : py::new_str(d.location)) &&
      set(dict.get(), key_line, position(d.line)) &&
      set(dict.get(), key_column, position(d.column));
  return ok ? dict : py::Ref();
}

}  // namespace

PyObject* definition_error_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) {
    type = PyErr_NewExceptionWithDoc(
        "pyvorn.aws.DefinitionError",
        "A definition AWS Step Functions would refuse; `diagnostics` lists every problem.",
        PyExc_ValueError, nullptr);
  }
  return type;
}

py::Ref diagnostics_to_python(const std::vector<Diagnostic>& diagnostics) {
  py::Ref list = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(diagnostics.size())));
  if (!list) return {};
  for (std::size_t i = 0; i < diagnostics.size(); ++i) {
    py::Ref item = diagnostic_to_python(diagnostics[i]);
    if (!item) return {};
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
  }
  return list;
}

void raise_definition_error(const std::vector<Diagnostic>& diagnostics) {
  PyObject* type = definition_error_type();
  if (type == nullptr) return;
  py::Ref message = py::new_str(vorn::aws::invalid_definition_message(diagnostics));
  py::Ref list = diagnostics_to_python(diagnostics);
  if (!message || !list) return;
  py::Ref error = py::Ref::steal(PyObject_CallOneArg(type, message.get()));
  if (!error || PyObject_SetAttrString(error.get(), "diagnostics", list.get()) != 0) return;
  PyErr_SetObject(type, error.get());
}

}  // namespace pyvorn::aws_binding
