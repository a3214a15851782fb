#include "run_types.hpp"

namespace pyvorn::aws_binding {

PyObject* run_type(RunType which) {
  static constexpr const char* kNames[] = {"Handlers", "TaskFailed",       "MissingHandler",
                                           "Elapsed",  "Pending",          "TaskDoesNotExist",
                                           "TaskTimedOut"};
  static PyObject* types[std::size(kNames)] = {};
  const auto index = static_cast<std::size_t>(which);
  if (types[index] == nullptr) {
    py::Ref module = py::Ref::steal(PyImport_ImportModule("pyvorn.aws._tasks"));
    if (!module) return nullptr;
    types[index] = PyObject_GetAttrString(module.get(), kNames[index]);
  }
  return types[index];
}

}  // namespace pyvorn::aws_binding
