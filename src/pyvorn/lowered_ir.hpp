// LoweredIr: the Python handle that owns a lowered machine until
// StateMachine.from_lowered() takes it out, after which it is consumed for
// good. Reads (generate, the properties, len, repr) share the handle; taking
// the machine out needs it exclusively.
#pragma once

#include <optional>

#include "py_binding/py.hpp"
#include "vorn_build/lowered.hpp"

namespace pyvorn {

// The class, created on first use; null with an error set if that failed.
PyTypeObject* lowered_ir_type();

// A new, filled handle owning `machine`.
py::Ref new_lowered_ir(vorn::build::LoweredStateMachine machine);

bool is_lowered_ir(PyObject* object);

// A shared read of a handle's machine, held while the object lives.
class LoweredRead {
 public:
  // `handle` must be a LoweredIr. nullopt with RuntimeError set when it is
  // consumed or exclusively borrowed.
  static std::optional<LoweredRead> acquire(PyObject* handle);

  const vorn::build::LoweredStateMachine& machine() const { return *machine_; }

 private:
  LoweredRead(py::SharedBorrow borrow, const vorn::build::LoweredStateMachine& machine)
      : borrow_(std::move(borrow)), machine_(&machine) {}

  py::SharedBorrow borrow_;
  const vorn::build::LoweredStateMachine* machine_;
};

// Takes the machine out of `handle` (a LoweredIr), leaving it consumed.
// nullopt with RuntimeError set when it already was, or is borrowed.
std::optional<vorn::build::LoweredStateMachine> take_lowered(PyObject* handle);

}  // namespace pyvorn
