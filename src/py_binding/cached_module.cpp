#include "py_binding/cached_module.hpp"

#include <string>

#include "py_binding/py.hpp"

namespace pyvorn::py {

PyObject* cached_module(ModuleCache& cache, PyModuleDef& definition,
                        bool (*register_attributes)(PyObject* module)) {
  const std::int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (current < 0) return nullptr;
  if (cache.module != nullptr) {
    if (current != cache.owner) {
      const std::string message =
          std::string(definition.m_name) + " cannot be imported in a sub-interpreter";
      PyErr_SetString(PyExc_ImportError, message.c_str());
      return nullptr;
    }
    return Py_NewRef(cache.module);
  }
  Ref created = Ref::steal(PyModule_Create(&definition));
  if (!created || !register_attributes(created.get())) return nullptr;
  cache.module = created.release();
  cache.owner = current;
  return Py_NewRef(cache.module);
}

}  // namespace pyvorn::py
