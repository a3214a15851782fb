#include "embedded_python.hpp"

#include <gtest/gtest.h>

namespace pyvorn::testing {

namespace {

PyObject* globals() {
  static PyObject* dict = [] {
    PyObject* d = PyDict_New();
    PyDict_SetItemString(d, "__builtins__", PyEval_GetBuiltins());
    PyRun_String(
        "import enum\n"
        "class Color(enum.IntEnum):\n    RED = 7\n"
        "class MyDict(dict): pass\n"
        "class IdentityKey(str):\n    __eq__ = object.__eq__\n    __hash__ = object.__hash__\n"
        "def same(a, b):\n"
        "    if type(a) is not type(b): return False\n"
        "    if isinstance(a, list): return len(a) == len(b) and all(map(same, a, b))\n"
        "    if isinstance(a, dict): return list(a) == list(b) and all(same(a[k], b[k]) for k in "
        "a)\n"
        "    return a == b\n",
        Py_file_input, d, d);
    return d;
  }();
  return dict;
}

}  // namespace

py::Ref eval(const std::string& expression) {
  py::Ref result =
      py::Ref::steal(PyRun_String(expression.c_str(), Py_eval_input, globals(), globals()));
  if (!result) PyErr_Print();
  return result;
}

std::string take_error() {
  py::Ref error = py::fetch_exception();
  if (!error) return "";
  py::Ref text = py::Ref::steal(PyObject_Str(error.get()));
  return std::string(Py_TYPE(error.get())->tp_name) + ": " + PyUnicode_AsUTF8(text.get());
}

bool same_value(PyObject* a, PyObject* b) {
  py::Ref same = py::Ref::steal(PyDict_GetItemString(globals(), "same"));
  Py_XINCREF(same.get());
  py::Ref result = py::Ref::steal(PyObject_CallFunctionObjArgs(same.get(), a, b, nullptr));
  return result && result.get() == Py_True;
}

}  // namespace pyvorn::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  Py_Initialize();
  const int status = RUN_ALL_TESTS();
  Py_Finalize();
  return status;
}

// Under AddressSanitizer: the embedded interpreter keeps allocations until the
// process exits by design, so leak reports would be noise.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "detect_leaks=0";
}
