// The _pyvorn module: its attributes, registered in a fixed order that is part
// of the interface (it is the order of the module's attribute dictionary).
//
// Single-phase initialisation with a cached module object: initialising again
// in the same interpreter returns the same module, and an import from another
// (sub-)interpreter fails, since the module's types and caches are
// process-wide.
#include <cstdint>

#include "compile.hpp"
#include "data_bridge.hpp"
#include "exceptions.hpp"
#include "lowered_ir.hpp"
#include "py_binding/py.hpp"
#include "state_machine.hpp"
#include "xvorn_bridge.hpp"

namespace pyvorn {

namespace {

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_pyvorn", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

bool add_type(PyObject* module, const char* name, PyTypeObject* type) {
  return py::add_to_module(module, name, py::Ref::borrow(reinterpret_cast<PyObject*>(type)));
}

bool register_attributes(PyObject* module) {
  return py::add_to_module(module, "__version__", py::new_str("0.1.0")) &&
         add_exception_types(module) &&                       //
         py::add_function(module, encode_value_def) &&        //
         py::add_function(module, decode_value_def) &&        //
         add_type(module, "LoweredIr", lowered_ir_type()) &&  //
         py::add_function(module, validate_def) &&            //
         py::add_function(module, lower_def) &&               //
         py::add_function(module, generate_def) &&            //
         py::add_function(module, compile_def) &&                         //
         add_type(module, "StateMachine", state_machine_type()) &&        //
         add_type(module, "JsonPath", json_path_type()) &&                //
         add_type(module, "JsonTemplate", json_template_type()) &&        //
         add_type(module, "ContextObject", context_object_type()) &&      //
         py::add_function(module, json_place_def);
}

PyObject* create_module() {
  static PyObject* module = nullptr;
  // By id, never reused, not by address: a destroyed interpreter's memory
  // may hold the next one, which must not be handed the dead module.
  static std::int64_t owner = -1;
  const std::int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (current < 0) return nullptr;
  if (module != nullptr) {
    if (current != owner) {
      PyErr_SetString(PyExc_ImportError, "_pyvorn cannot be imported in a sub-interpreter");
      return nullptr;
    }
    return Py_NewRef(module);
  }
  py::Ref created = py::Ref::steal(PyModule_Create(&module_def));
  if (!created || !register_attributes(created.get())) return nullptr;
  module = created.release();
  owner = current;
  return Py_NewRef(module);
}

}  // namespace

}  // namespace pyvorn

PyMODINIT_FUNC PyInit__pyvorn() {
  return pyvorn::py::guard([] { return pyvorn::create_module(); });
}
