// ContextObject: one context value; only its state name changes after
// construction.
#include <new>
#include <optional>
#include <string>

#include "data_bridge.hpp"
#include "xvorn/context_object.hpp"
#include "xvorn_bridge.hpp"

namespace pyvorn {

namespace {

struct ContextObjectObject {
  PyObject_HEAD py::BorrowFlag borrow;
  xvorn::ContextObject context;
};

ContextObjectObject* as_context(PyObject* object) {
  return reinterpret_cast<ContextObjectObject*>(object);
}

// The text of an optional str parameter: nullopt inside when it is absent or
// None. The outer nullopt means an error is set.
std::optional<std::optional<std::string_view>> optional_text(PyObject* object, const char* name) {
  if (object == nullptr || object == Py_None) return std::optional<std::string_view>();
  const auto text = py::utf8_argument(object, name);
  if (!text) return std::nullopt;
  return std::optional<std::string_view>(*text);
}

PyObject* new_context(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return py::guard([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"execution_id", "start_time", "state_name", "config"};
    PyObject* bound[4] = {};
    if (!py::parse_tuple_arguments("ContextObject", args, kwargs, kNames, bound, 0, 0)) {
      return nullptr;
    }
    const auto execution_id = optional_text(bound[0], "execution_id");
    if (!execution_id) return nullptr;
    const auto start_time = optional_text(bound[1], "start_time");
    if (!start_time) return nullptr;
    const auto state_name = optional_text(bound[2], "state_name");
    if (!state_name) return nullptr;
    PyObject* config = bound[3] == Py_None ? nullptr : bound[3];
    if (config != nullptr && !py::dict_argument(config, "config")) return nullptr;

    xvorn::ContextObjectBuilder builder;
    if (*execution_id) builder.execution_id(std::string(**execution_id));
    if (*start_time) builder.execution_start_time(std::string(**start_time));
    if (*state_name) builder.state_name(std::string(**state_name));
    if (config != nullptr) {
      auto entries = py_to_json_value(config);
      if (!entries) return nullptr;
      for (auto& member : entries->as_object().members()) {
        builder.config_entry(std::move(member.key), std::move(member.value));
      }
    }

    py::Ref object = py::Ref::steal(type->tp_alloc(type, 0));
    if (!object) return nullptr;
    ContextObjectObject* self = as_context(object.get());
    new (&self->borrow) py::BorrowFlag();
    new (&self->context) xvorn::ContextObject(builder.build());
    return object.release();
  });
}

void dealloc(PyObject* object) {
  ContextObjectObject* self = as_context(object);
  self->context.~ContextObject();
  self->borrow.~BorrowFlag();
  PyTypeObject* type = Py_TYPE(object);
  type->tp_free(object);
  Py_DECREF(type);  // instances of heap types hold a reference to their type
}

PyObject* get_state_name(PyObject* object, void*) {
  return py::guard([&]() -> PyObject* {
    ContextObjectObject* self = as_context(object);
    const auto borrow = py::SharedBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    const auto name = self->context.state_name();
    if (!name) Py_RETURN_NONE;
    return py::new_str(*name).release();
  });
}

int set_state_name(PyObject* object, PyObject* value, void*) {
  return py::guard(
      [&]() -> int {
        if (value == nullptr) {
          PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
          return -1;
        }
        const auto name = py::utf8_argument(value, "name");
        if (!name) return -1;
        ContextObjectObject* self = as_context(object);
        const auto borrow = py::ExclusiveBorrow::acquire(self->borrow);
        if (!borrow) return -1;
        self->context.set_state_name(std::string(*name));
        return 0;
      },
      -1);
}

PyObject* value(PyObject* object, PyObject*) {
  return py::guard([&]() -> PyObject* {
    ContextObjectObject* self = as_context(object);
    const auto borrow = py::SharedBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    return json_value_to_py(self->context.value()).release();
  });
}

PyObject* repr(PyObject* object) {
  return py::guard([&]() -> PyObject* {
    ContextObjectObject* self = as_context(object);
    const auto borrow = py::SharedBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    const auto name = self->context.state_name();
    std::string text = "<ContextObject state_name=\"";
    text += name ? *name : std::string_view("(none)");
    text += "\">";
    return py::new_str(text).release();
  });
}

PyMethodDef methods[] = {
    {"value", value, METH_NOARGS,
     "value($self)\n--\n\nGet the full context as a Python dict."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"state_name", get_state_name, set_state_name, "Get current state name.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("ContextObject(*, execution_id=None, start_time=None, "
                                  "state_name=None, config=None)\n--\n\n"
                                  "Context object for $$ path resolution.")},
    {Py_tp_new, reinterpret_cast<void*>(new_context)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {
    "pyvorn.ContextObject",
    sizeof(ContextObjectObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

}  // namespace

PyTypeObject* context_object_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) type = PyType_FromSpec(&spec);
  return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace pyvorn
