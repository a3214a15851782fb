// The _pyvorn module: its attributes, registered in a fixed order that is part
// of the interface (it is the order of the module's attribute dictionary).
//
// Single-phase initialisation with a cached module object: initialising again
// in the same interpreter returns the same module, and an import from another
// (sub-)interpreter fails, since the module's types and caches are
// process-wide.
#include "compile.hpp"
#include "data_bridge.hpp"
#include "exceptions.hpp"
#include "lowered_ir.hpp"
#include "py_binding/cached_module.hpp"
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
  static py::ModuleCache cache;
  return py::cached_module(cache, module_def, register_attributes);
}

}  // namespace

}  // namespace pyvorn

PyMODINIT_FUNC PyInit__pyvorn() {
  return pyvorn::py::guard([] { return pyvorn::create_module(); });
}
