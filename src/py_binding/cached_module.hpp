// Single-phase initialisation with a cached module object, for an extension
// whose types and caches are process-wide: initialising again in the same
// interpreter returns the same module, and an import from another
// (sub-)interpreter fails with ImportError.
#pragma once

#include <Python.h>

#include <cstdint>

namespace pyvorn::py {

// One extension module's object and the interpreter that created it. The
// interpreter is kept by id, never reused, not by address: a destroyed
// interpreter's memory may hold the next one, which must not be handed the
// dead module.
struct ModuleCache {
  PyObject* module = nullptr;
  std::int64_t owner = -1;
};

// The cached module (a new reference), created from `definition` and filled
// by `register_attributes` on first use; null with an exception set on failure.
PyObject* cached_module(ModuleCache& cache, PyModuleDef& definition,
                        bool (*register_attributes)(PyObject* module));

}  // namespace pyvorn::py
