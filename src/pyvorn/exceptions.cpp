#include "exceptions.hpp"

namespace pyvorn {

namespace {

PyObject* exception_type(PyObject*& cache, const char* qualified_name, const char* doc) {
  if (cache == nullptr) {
    cache = PyErr_NewExceptionWithDoc(qualified_name, doc, PyExc_Exception, nullptr);
  }
  return cache;
}

}  // namespace

PyObject* parse_error_type() {
  static PyObject* type = nullptr;
  return exception_type(type, "pyvorn.ParseError", "ASL JSON parsing failed.");
}

PyObject* validation_error_type() {
  static PyObject* type = nullptr;
  return exception_type(type, "pyvorn.ValidationError", "ASL validation failed.");
}

PyObject* dispatch_error_type() {
  static PyObject* type = nullptr;
  return exception_type(type, "pyvorn.DispatchError", "State dispatch failed.");
}

PyObject* json_path_error_type() {
  static PyObject* type = nullptr;
  return exception_type(type, "pyvorn.JsonPathError", "JSONPath expression is invalid.");
}

bool add_exception_types(PyObject* module) {
  return py::add_to_module(module, "ParseError", py::Ref::borrow(parse_error_type())) &&
         py::add_to_module(module, "ValidationError", py::Ref::borrow(validation_error_type())) &&
         py::add_to_module(module, "DispatchError", py::Ref::borrow(dispatch_error_type())) &&
         py::add_to_module(module, "JsonPathError", py::Ref::borrow(json_path_error_type()));
}

}  // namespace pyvorn
