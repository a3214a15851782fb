// JsonTemplate: one parsed template, immutable after construction.
#include <new>

#include "data_bridge.hpp"
#include "xvorn/json_template.hpp"
#include "xvorn_bridge.hpp"

namespace pyvorn {

namespace {

struct JsonTemplateObject {
  PyObject_HEAD py::BorrowFlag borrow;
  xvorn::JsonTemplate json_template;
};

JsonTemplateObject* as_template(PyObject* object) {
  return reinterpret_cast<JsonTemplateObject*>(object);
}

PyObject* new_template(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return py::guard([&]() -> PyObject* {
    PyObject* template_obj = py::single_tuple_argument("JsonTemplate", "template_obj", args, kwargs);
    if (template_obj == nullptr || !py::dict_argument(template_obj, "template_obj")) return nullptr;
    const auto value = py_to_json_value(template_obj);
    if (!value) return nullptr;
    auto parsed = xvorn::JsonTemplate::parse(*value);
    if (!parsed.ok()) {
      raise_json_path_error(xvorn::to_string(parsed.error()));
      return nullptr;
    }
    py::Ref object = py::Ref::steal(type->tp_alloc(type, 0));
    if (!object) return nullptr;
    JsonTemplateObject* self = as_template(object.get());
    new (&self->borrow) py::BorrowFlag();
    new (&self->json_template) xvorn::JsonTemplate(std::move(parsed).value());
    return object.release();
  });
}

void dealloc(PyObject* object) {
  JsonTemplateObject* self = as_template(object);
  self->json_template.~JsonTemplate();
  self->borrow.~BorrowFlag();
  PyTypeObject* type = Py_TYPE(object);
  type->tp_free(object);
  Py_DECREF(type);  // instances of heap types hold a reference to their type
}

PyObject* evaluate(PyObject* object, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    PyObject* input = py::single_argument("evaluate", "input", args, nargs, kwnames);
    if (input == nullptr) return nullptr;
    JsonTemplateObject* self = as_template(object);
    const auto borrow = py::SharedBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    const auto value = py_to_json_value(input);
    if (!value) return nullptr;
    const auto result = self->json_template.evaluate(*value);
    if (!result) Py_RETURN_NONE;
    return json_value_to_py(*result).release();
  });
}

PyObject* repr(PyObject* object) {
  return py::guard([&]() -> PyObject* {
    JsonTemplateObject* self = as_template(object);
    const auto borrow = py::SharedBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    return py::new_str("<JsonTemplate entries=" + std::to_string(self->json_template.size()) + ">")
        .release();
  });
}

PyMethodDef methods[] = {
    {"evaluate", py::as_cfunction(evaluate), METH_FASTCALL | METH_KEYWORDS,
     "evaluate($self, input)\n--\n\nEvaluate the template against input data."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("JsonTemplate(template_obj)\n--\n\n"
                                  "JSON template for constructing output objects from path "
                                  "references.")},
    {Py_tp_new, reinterpret_cast<void*>(new_template)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec spec = {
    "pyvorn.JsonTemplate",
    sizeof(JsonTemplateObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

}  // namespace

PyTypeObject* json_template_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) type = PyType_FromSpec(&spec);
  return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace pyvorn
