// The pyvorn._aws module: the AWS dialect's native half. pyvorn.aws re-exports
// it; nothing here is reachable through _pyvorn.
//
// Single-phase initialisation with a cached module object, as _pyvorn does:
// its types and caches are process-wide, so a sub-interpreter import fails.
#include "clock_class.hpp"
#include "diagnostics.hpp"
#include "execution_class.hpp"
#include "module_functions.hpp"
#include "py_binding/cached_module.hpp"

namespace pyvorn::aws_binding {

namespace {

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "pyvorn._aws", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

bool register_attributes(PyObject* module) {
  PyObject* error_type = definition_error_type();
  PyTypeObject* machine_type = state_machine_type();
  PyTypeObject* clock_type = virtual_clock_type();
  PyTypeObject* run_type = execution_type();
  return error_type != nullptr && machine_type != nullptr && clock_type != nullptr &&
         run_type != nullptr &&
         py::add_to_module(module, "VirtualClock",
                           py::Ref::borrow(reinterpret_cast<PyObject*>(clock_type))) &&
         py::add_to_module(module, "Execution",
                           py::Ref::borrow(reinterpret_cast<PyObject*>(run_type))) &&
         py::add_to_module(module, "DefinitionError", py::Ref::borrow(error_type)) &&
         py::add_function(module, validate_def) &&
         py::add_to_module(module, "StateMachine",
                           py::Ref::borrow(reinterpret_cast<PyObject*>(machine_type)));
}

PyObject* create_module() {
  static py::ModuleCache cache;
  return py::cached_module(cache, module_def, register_attributes);
}

}  // namespace

}  // namespace pyvorn::aws_binding

PyMODINIT_FUNC PyInit__aws() {
  return pyvorn::py::guard([] { return pyvorn::aws_binding::create_module(); });
}
