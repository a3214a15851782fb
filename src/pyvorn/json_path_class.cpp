// JsonPath: one parsed path, immutable after construction.
//
// resolve() does not build the whole document as a JSON tree: it walks the
// Python objects once, checking every value as the conversion would (so it
// raises what converting the document would raise, wherever that sits), and
// converts only the target.
#include <new>
#include <vector>

#include "data_bridge.hpp"
#include "exceptions.hpp"
#include "xvorn/json_path.hpp"
#include "xvorn_bridge.hpp"

namespace pyvorn {

namespace {

struct JsonPathObject {
  PyObject_HEAD py::BorrowFlag borrow;
  xvorn::JsonPath path;
  // The segments as value-bridge steps; field names are views into `path`.
  std::vector<ValueStep> steps;
};

JsonPathObject* as_path(PyObject* object) {
  return reinterpret_cast<JsonPathObject*>(object);
}

std::vector<ValueStep> steps_of(const xvorn::JsonPath& path) {
  std::vector<ValueStep> steps;
  steps.reserve(path.segments().size());
  for (const xvorn::Segment& segment : path.segments()) {
    if (const auto* field = std::get_if<xvorn::Field>(&segment)) {
      steps.emplace_back(std::string_view(field->name));
    } else {
      steps.emplace_back(std::get<xvorn::Index>(segment).index);
    }
  }
  return steps;
}

PyObject* new_path(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return py::guard([&]() -> PyObject* {
    PyObject* expr = py::single_tuple_argument("JsonPath", "expr", args, kwargs);
    if (expr == nullptr) return nullptr;
    const auto expression = py::utf8_argument(expr, "expr");
    if (!expression) return nullptr;
    auto parsed = xvorn::JsonPath::parse(*expression);
    if (!parsed.ok()) {
      raise_json_path_error(xvorn::to_string(parsed.error()));
      return nullptr;
    }
    py::Ref object = py::Ref::steal(type->tp_alloc(type, 0));
    if (!object) return nullptr;
    JsonPathObject* self = as_path(object.get());
    new (&self->borrow) py::BorrowFlag();
    new (&self->path) xvorn::JsonPath(std::move(parsed).value());
    // Every member is alive before anything can throw, so a failure leaves
    // an object that deallocates cleanly. The views must point into the
    // object's own path, so the steps are made once it is in place.
    new (&self->steps) std::vector<ValueStep>();
    self->steps = steps_of(self->path);
    return object.release();
  });
}

void dealloc(PyObject* object) {
  JsonPathObject* self = as_path(object);
  self->steps.~vector();
  self->path.~JsonPath();
  self->borrow.~BorrowFlag();
  PyTypeObject* type = Py_TYPE(object);
  type->tp_free(object);
  Py_DECREF(type);  // instances of heap types hold a reference to their type
}

PyObject* resolve(PyObject* object, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    PyObject* root = py::single_argument("resolve", "root", args, nargs, kwnames);
    if (root == nullptr) return nullptr;
    JsonPathObject* self = as_path(object);
    const auto borrow = py::SharedBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    py::Ref target;
    if (!py_value_at(root, self->steps, target)) return nullptr;
    if (!target) Py_RETURN_NONE;
    return target.release();
  });
}

PyObject* get_root(PyObject* object, void*) {
  JsonPathObject* self = as_path(object);
  const auto borrow = py::SharedBorrow::acquire(self->borrow);
  if (!borrow) return nullptr;
  return py::new_str(self->path.root() == xvorn::PathRoot::Input ? "$" : "$$").release();
}

PyObject* repr(PyObject* object) {
  return py::guard([&]() -> PyObject* {
    JsonPathObject* self = as_path(object);
    const auto borrow = py::SharedBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    return py::new_str("<JsonPath " + xvorn::to_string(self->path) + ">").release();
  });
}

PyMethodDef methods[] = {
    {"resolve", py::as_cfunction(resolve), METH_FASTCALL | METH_KEYWORDS,
     "resolve($self, root)\n--\n\nResolve this path against a Python value."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"root", get_root, nullptr, "Root of the path expression (\"$\" or \"$$\").", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>(
                    "JsonPath(expr)\n--\n\nJSONPath expression for resolving values within state data.")},
    {Py_tp_new, reinterpret_cast<void*>(new_path)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {
    "pyvorn.JsonPath",
    sizeof(JsonPathObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

}  // namespace

PyTypeObject* json_path_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) type = PyType_FromSpec(&spec);
  return reinterpret_cast<PyTypeObject*>(type);
}

void raise_json_path_error(std::string_view message) {
  PyObject* type = json_path_error_type();
  if (type != nullptr) py::raise(type, message);
}

}  // namespace pyvorn
