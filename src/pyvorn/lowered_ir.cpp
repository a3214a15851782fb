#include "lowered_ir.hpp"

#include <new>
#include <string>
#include <utility>

namespace pyvorn {

namespace {

using vorn::build::LoweredStateMachine;

constexpr const char* kConsumed = "LoweredIr has already been consumed";

struct LoweredIrObject {
  PyObject_HEAD py::BorrowFlag borrow;
  std::optional<LoweredStateMachine> machine;  // empty once consumed
};

LoweredIrObject* as_handle(PyObject* object) {
  return reinterpret_cast<LoweredIrObject*>(object);
}

PyObject* refuse_construction(PyTypeObject*, PyObject*, PyObject*) {
  PyErr_SetString(PyExc_TypeError, "No constructor defined for LoweredIr");
  return nullptr;
}

void dealloc(PyObject* object) {
  LoweredIrObject* handle = as_handle(object);
  handle->machine.~optional();
  handle->borrow.~BorrowFlag();
  PyTypeObject* type = Py_TYPE(object);
  type->tp_free(object);
  Py_DECREF(type);  // instances of heap types hold a reference to their type
}

PyObject* str_list(std::size_t count, auto&& text_at) {
  py::Ref list = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(count)));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    py::Ref text = py::new_str(text_at(i));
    if (!text) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), text.release());
  }
  return list.release();
}

PyObject* get_handler_names(PyObject* object, void*) {
  return py::guard([&]() -> PyObject* {
    const auto read = LoweredRead::acquire(object);
    if (!read) return nullptr;
    const auto& names = read->machine().handler_names;
    return str_list(names.size(), [&](std::size_t i) -> const std::string& { return names[i]; });
  });
}

PyObject* get_state_names(PyObject* object, void*) {
  return py::guard([&]() -> PyObject* {
    const auto read = LoweredRead::acquire(object);
    if (!read) return nullptr;
    const auto& states = read->machine().states;
    return str_list(states.size(),
                    [&](std::size_t i) -> const std::string& { return states[i].name; });
  });
}

Py_ssize_t length(PyObject* object) {
  const auto read = LoweredRead::acquire(object);
  if (!read) return -1;
  return static_cast<Py_ssize_t>(read->machine().states.size());
}

PyObject* repr(PyObject* object) {
  return py::guard([&]() -> PyObject* {
    LoweredIrObject* handle = as_handle(object);
    const auto borrow = py::SharedBorrow::acquire(handle->borrow);
    if (!borrow) return nullptr;
    if (!handle->machine) return py::new_str("<LoweredIr (consumed)>").release();
    return py::new_str("<LoweredIr states=" + std::to_string(handle->machine->states.size()) + ">")
        .release();
  });
}

PyGetSetDef getset[] = {
    {"handler_names", get_handler_names, nullptr, "List of handler resource names.", nullptr},
    {"state_names", get_state_names, nullptr, "List of state names.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc,
     const_cast<char*>("Opaque handle to a lowered state machine.\n\n"
                       "Wraps `Option<LoweredStateMachine>` so it can be consumed (`.take()`)\n"
                       "when handed to `StateMachine.from_lowered()`.")},
    {Py_tp_new, reinterpret_cast<void*>(refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_getset, getset},
    {Py_sq_length, reinterpret_cast<void*>(length)},
    {0, nullptr},
};

PyType_Spec spec = {
    "pyvorn.LoweredIr",
    sizeof(LoweredIrObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

}  // namespace

PyTypeObject* lowered_ir_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) type = PyType_FromSpec(&spec);
  return reinterpret_cast<PyTypeObject*>(type);
}

bool is_lowered_ir(PyObject* object) {
  PyTypeObject* type = lowered_ir_type();
  return type != nullptr && PyObject_TypeCheck(object, type);
}

py::Ref new_lowered_ir(LoweredStateMachine machine) {
  PyTypeObject* type = lowered_ir_type();
  if (type == nullptr) return {};
  py::Ref object = py::Ref::steal(type->tp_alloc(type, 0));
  if (!object) return object;
  LoweredIrObject* handle = as_handle(object.get());
  new (&handle->borrow) py::BorrowFlag();
  new (&handle->machine) std::optional<LoweredStateMachine>(std::move(machine));
  return object;
}

std::optional<LoweredRead> LoweredRead::acquire(PyObject* handle) {
  LoweredIrObject* object = as_handle(handle);
  auto borrow = py::SharedBorrow::acquire(object->borrow);
  if (!borrow) return std::nullopt;
  if (!object->machine) {
    PyErr_SetString(PyExc_RuntimeError, kConsumed);
    return std::nullopt;
  }
  return LoweredRead(std::move(*borrow), *object->machine);
}

std::optional<LoweredStateMachine> take_lowered(PyObject* object) {
  LoweredIrObject* handle = as_handle(object);
  const auto borrow = py::ExclusiveBorrow::acquire(handle->borrow);
  if (!borrow) return std::nullopt;
  if (!handle->machine) {
    PyErr_SetString(PyExc_RuntimeError, kConsumed);
    return std::nullopt;
  }
  std::optional<LoweredStateMachine> taken = std::move(handle->machine);
  handle->machine.reset();
  return taken;
}

}  // namespace pyvorn
