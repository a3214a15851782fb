#include "py_binding/py.hpp"

#include <cstdint>
#include <cstring>
#include <vector>

namespace pyvorn::py {

namespace {

std::string quoted_list(const std::vector<std::string_view>& names) {
  // CPython's own wording: 'a', 'a' and 'b', 'a', 'b' and 'c'.
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += (i + 1 == names.size()) ? (names.size() > 2 ? ", and " : " and ") : ", ";
    out += "'";
    out += names[i];
    out += "'";
  }
  return out;
}

void raise_type_error(std::string_view function_name, const std::string& detail) {
  raise(PyExc_TypeError, std::string(function_name) + "() " + detail);
}

}  // namespace

bool parse_arguments(std::string_view function_name, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, std::span<const char* const> names,
                     std::span<PyObject*> out, std::size_t required) {
  const std::size_t positional = static_cast<std::size_t>(nargs);
  if (positional > names.size()) {
    raise_type_error(function_name, "takes " + std::to_string(names.size()) +
                                        " positional argument" + (names.size() == 1 ? "" : "s") +
                                        " but " + std::to_string(positional) +
                                        (positional == 1 ? " was" : " were") + " given");
    return false;
  }
  for (std::size_t i = 0; i < names.size(); ++i) out[i] = i < positional ? args[i] : nullptr;

  const Py_ssize_t keyword_count = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < keyword_count; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    Py_ssize_t keyword_size = 0;
    const char* keyword_text = PyUnicode_AsUTF8AndSize(keyword, &keyword_size);
    if (keyword_text == nullptr) return false;
    const std::string_view keyword_view(keyword_text, static_cast<std::size_t>(keyword_size));
    std::size_t slot = names.size();
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (keyword_view == names[i]) slot = i;
    }
    if (slot == names.size()) {
      raise_type_error(function_name,
                       "got an unexpected keyword argument '" + std::string(keyword_view) + "'");
      return false;
    }
    if (out[slot] != nullptr) {
      raise_type_error(function_name,
                       "got multiple values for argument '" + std::string(keyword_view) + "'");
      return false;
    }
    out[slot] = args[nargs + k];
  }

  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < required; ++i) {
    if (out[i] == nullptr) missing.push_back(names[i]);
  }
  if (!missing.empty()) {
    raise_type_error(function_name,
                     "missing " + std::to_string(missing.size()) + " required positional argument" +
                         (missing.size() == 1 ? "" : "s") + ": " + quoted_list(missing));
    return false;
  }
  return true;
}

bool parse_tuple_arguments(std::string_view function_name, PyObject* args, PyObject* kwargs,
                           std::span<const char* const> names, std::span<PyObject*> out,
                           std::size_t required, std::size_t positional) {
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  if (static_cast<std::size_t>(nargs) > positional) {
    const auto given = static_cast<std::size_t>(nargs);
    raise_type_error(function_name, "takes " + std::to_string(positional) + " positional argument" +
                                        (positional == 1 ? "" : "s") + " but " +
                                        std::to_string(given) + (given == 1 ? " was" : " were") +
                                        " given");
    return false;
  }
  const Py_ssize_t keyword_count = kwargs == nullptr ? 0 : PyDict_GET_SIZE(kwargs);
  if (keyword_count == 0) {
    return parse_arguments(function_name, &PyTuple_GET_ITEM(args, 0), nargs, nullptr, names, out,
                           required);
  }
  // Laid out as a vectorcall would pass them: positional values, then the
  // keyword values, with the keyword names in a tuple.
  std::vector<PyObject*> values(&PyTuple_GET_ITEM(args, 0), &PyTuple_GET_ITEM(args, 0) + nargs);
  Ref kwnames = Ref::steal(PyTuple_New(keyword_count));
  if (!kwnames) return false;
  Py_ssize_t position = 0;
  Py_ssize_t k = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(kwargs, &position, &key, &value)) {
    PyTuple_SET_ITEM(kwnames.get(), k++, Py_NewRef(key));
    values.push_back(value);
  }
  return parse_arguments(function_name, values.data(), nargs, kwnames.get(), names, out, required);
}

PyObject* single_argument(std::string_view function_name, const char* name, PyObject* const* args,
                          Py_ssize_t nargs, PyObject* kwnames) {
  const char* const names[] = {name};
  PyObject* bound[] = {nullptr};
  if (!parse_arguments(function_name, args, nargs, kwnames, names, bound, 1)) return nullptr;
  return bound[0];
}

PyObject* single_tuple_argument(std::string_view function_name, const char* name, PyObject* args,
                                PyObject* kwargs) {
  const char* const names[] = {name};
  PyObject* bound[] = {nullptr};
  if (!parse_tuple_arguments(function_name, args, kwargs, names, bound, 1, 1)) return nullptr;
  return bound[0];
}

std::string type_name(PyObject* object) {
  Ref name = Ref::steal(PyType_GetQualName(Py_TYPE(object)));
  if (!name) {
    PyErr_Clear();
    return Py_TYPE(object)->tp_name;
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(name.get(), &size);
  if (text == nullptr) {
    PyErr_Clear();
    return Py_TYPE(object)->tp_name;
  }
  return std::string(text, static_cast<std::size_t>(size));
}

void raise_argument_type(const char* argument, PyObject* object, const char* target) {
  raise(PyExc_TypeError, std::string("argument '") + argument + "': '" + type_name(object) +
                             "' object cannot be converted to '" + target + "'");
}

std::optional<std::string_view> utf8_argument(PyObject* object, const char* argument) {
  if (!PyUnicode_Check(object)) {
    raise_argument_type(argument, object, "PyString");
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(object, &size);
  if (text == nullptr) return std::nullopt;
  return std::string_view(text, static_cast<std::size_t>(size));
}

bool dict_argument(PyObject* object, const char* argument) {
  if (PyDict_Check(object)) return true;
  raise_argument_type(argument, object, "PyDict");
  return false;
}

Ref new_str(std::string_view text) {
  const auto length = static_cast<Py_ssize_t>(text.size());
  if (!is_ascii(text)) return Ref::steal(PyUnicode_DecodeUTF8(text.data(), length, "replace"));
  // ASCII, by far the common case, is copied straight into a compact string.
  Ref str = Ref::steal(PyUnicode_New(length, 127));
  if (str && length > 0) std::memcpy(PyUnicode_1BYTE_DATA(str.get()), text.data(), text.size());
  return str;
}

bool is_ascii(std::string_view text) {
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, text.data() + i, sizeof chunk);
    if ((chunk & 0x8080808080808080ULL) != 0) return false;
  }
  for (; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  }
  return true;
}

void raise(PyObject* type, std::string_view message) {
  Ref text = new_str(message);
  if (text) PyErr_SetObject(type, text.get());
}

Ref fetch_exception() {
#if PY_VERSION_HEX >= 0x030C0000
  return Ref::steal(PyErr_GetRaisedException());
#else
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return {};
  PyErr_NormalizeException(&type, &value, &traceback);
  Ref exception = Ref::steal(value);
  if (exception && traceback != nullptr) PyException_SetTraceback(value, traceback);
  Py_DECREF(type);
  Py_XDECREF(traceback);
  return exception;
#endif
}

void restore_exception(Ref exception) {
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exception.release());
#else
  if (!exception) {
    PyErr_Clear();
    return;
  }
  PyObject* type = Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exception.get())));
  PyObject* traceback = PyException_GetTraceback(exception.get());  // new reference
  PyErr_Restore(type, exception.release(), traceback);
#endif
}

std::optional<SharedBorrow> SharedBorrow::acquire(BorrowFlag& flag) {
  if (!flag.shared_possible()) {
    PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
    return std::nullopt;
  }
  ++flag.state_;
  return SharedBorrow(flag);
}

SharedBorrow::~SharedBorrow() {
  if (flag_ != nullptr) --flag_->state_;
}

std::optional<ExclusiveBorrow> ExclusiveBorrow::acquire(BorrowFlag& flag) {
  if (!flag.exclusive_possible()) {
    PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    return std::nullopt;
  }
  flag.state_ = -1;
  return ExclusiveBorrow(flag);
}

ExclusiveBorrow::~ExclusiveBorrow() {
  if (flag_ != nullptr) flag_->state_ = 0;
}

bool add_to_module(PyObject* module, const char* name, Ref value) {
  if (!value) return false;
  return PyModule_AddObjectRef(module, name, value.get()) == 0;
}

bool add_function(PyObject* module, PyMethodDef& definition) {
  Ref module_name = Ref::steal(PyModule_GetNameObject(module));
  if (!module_name) return false;
  Ref function = Ref::steal(PyCFunction_NewEx(&definition, module, module_name.get()));
  return add_to_module(module, definition.ml_name, std::move(function));
}

}  // namespace pyvorn::py
