// The host binding layer: the small set of CPython helpers every function and
// class of the module is written with.
//
// - Ref owns one strong reference, so no path leaks or double-frees.
// - parse_arguments() takes METH_FASTCALL | METH_KEYWORDS arguments by
//   position or keyword and refuses missing, surplus and unknown ones.
// - The argument converters raise the one TypeError form callers rely on:
//   "argument '{name}': '{type}' object cannot be converted to '{target}'".
// - BorrowFlag and its guards give each object shared-read / exclusive-write
//   access that fails at once ("Already borrowed") instead of waiting.
// - fetch_exception() / restore_exception() hold a raised exception as one
//   object on every supported Python.
// - guard() keeps C++ exceptions (only allocation failure is expected) from
//   crossing into Python.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <initializer_list>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace pyvorn::py {

class Ref {
 public:
  Ref() = default;
  // Takes over a new reference (which may be null, after a failed call).
  static Ref steal(PyObject* object) { return Ref(object); }
  // Adds a reference of our own to a borrowed one.
  static Ref borrow(PyObject* object) {
    Py_XINCREF(object);
    return Ref(object);
  }

  Ref(const Ref& other) : object_(other.object_) { Py_XINCREF(object_); }
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~Ref() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  // Hands the reference to the caller (for returning it to the interpreter).
  PyObject* release() { return std::exchange(object_, nullptr); }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  explicit Ref(PyObject* object) : object_(object) {}
  PyObject* object_ = nullptr;
};

// Signature of a METH_FASTCALL | METH_KEYWORDS function or method.
using FastcallFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

inline PyCFunction as_cfunction(FastcallFunction function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// Binds the call's arguments to `names`, in order, storing borrowed
// references in `out` (same length as `names`). The first `required` names
// must be given; the rest are left null when absent. Returns false with a
// TypeError set when the call does not fit.
bool parse_arguments(std::string_view function_name, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, std::span<const char* const> names,
                     std::span<PyObject*> out, std::size_t required);

// The same for a call made with an argument tuple and a keyword dict (may be
// null), as a class's tp_new receives it. Only the first `positional` names
// may be given by position; the others are keyword-only.
bool parse_tuple_arguments(std::string_view function_name, PyObject* args, PyObject* kwargs,
                           std::span<const char* const> names, std::span<PyObject*> out,
                           std::size_t required, std::size_t positional);

// The one required argument `name` of a function that takes exactly one, by
// position or keyword (a borrowed reference); null with TypeError set when
// the call does not fit.
PyObject* single_argument(std::string_view function_name, const char* name, PyObject* const* args,
                          Py_ssize_t nargs, PyObject* kwnames);

// The same for a class's tp_new, called with an argument tuple and a keyword
// dict (may be null).
PyObject* single_tuple_argument(std::string_view function_name, const char* name, PyObject* args,
                                PyObject* kwargs);

// The qualified name of an object's type ("int", "LoweredIr", ...).
std::string type_name(PyObject* object);

// Raises TypeError "argument '{name}': '{type}' object cannot be converted to '{target}'".
void raise_argument_type(const char* argument, PyObject* object, const char* target);

// The UTF-8 text of a str argument; the view lives as long as the object.
// Raises the standard TypeError (target 'PyString') for anything else, and the
// interpreter's UnicodeEncodeError for text holding lone surrogates.
std::optional<std::string_view> utf8_argument(PyObject* object, const char* argument);

// Whether a dict argument is a dict (or of a subclass); raises the standard
// TypeError (target 'PyDict') when it is not.
bool dict_argument(PyObject* object, const char* argument);

// A new str from UTF-8 text; invalid bytes, which our texts never hold,
// would become U+FFFD rather than failing.
Ref new_str(std::string_view text);

bool is_ascii(std::string_view text);

// A str made on first use and kept for the life of the process, for the keys
// and fixed values of dicts the module builds again and again. get() is null
// with MemoryError set if making it failed; it is tried again next time.
class StaticString {
 public:
  explicit constexpr StaticString(const char* text) : text_(text) {}
  PyObject* get() {
    if (object_ == nullptr) object_ = PyUnicode_InternFromString(text_);
    return object_;
  }

 private:
  const char* text_;
  PyObject* object_ = nullptr;
};

// Raises `type` with `message` as its one argument. Works for messages that
// hold NUL characters, which C-string based raising would cut short.
void raise(PyObject* type, std::string_view message);

// The pending exception as one object, cleared (null when none is pending),
// and making one pending again (a null Ref just clears). Python 3.12 has this
// as PyErr_GetRaisedException / PyErr_SetRaisedException; on 3.11 the
// fetched triple is normalised into the same single object. Normalising may
// create the exception instance, and with it start a garbage collection.
Ref fetch_exception();
void restore_exception(Ref exception);

// Per-object access state: any number of shared borrows, or one exclusive.
class BorrowFlag {
 public:
  bool shared_possible() const { return state_ >= 0; }
  bool exclusive_possible() const { return state_ == 0; }

 private:
  friend class SharedBorrow;
  friend class ExclusiveBorrow;
  Py_ssize_t state_ = 0;  // > 0: shared count, -1: exclusive
};

// Held for the duration of a read. acquire() raises
// RuntimeError("Already mutably borrowed") when a writer holds the object.
class SharedBorrow {
 public:
  static std::optional<SharedBorrow> acquire(BorrowFlag& flag);
  SharedBorrow(SharedBorrow&& other) noexcept : flag_(std::exchange(other.flag_, nullptr)) {}
  SharedBorrow& operator=(SharedBorrow&&) = delete;
  ~SharedBorrow();

 private:
  explicit SharedBorrow(BorrowFlag& flag) : flag_(&flag) {}
  BorrowFlag* flag_;
};

// Held for the duration of a mutation. acquire() raises
// RuntimeError("Already borrowed") when anyone else holds the object.
class ExclusiveBorrow {
 public:
  static std::optional<ExclusiveBorrow> acquire(BorrowFlag& flag);
  ExclusiveBorrow(ExclusiveBorrow&& other) noexcept : flag_(std::exchange(other.flag_, nullptr)) {}
  ExclusiveBorrow& operator=(ExclusiveBorrow&&) = delete;
  ~ExclusiveBorrow();

 private:
  explicit ExclusiveBorrow(BorrowFlag& flag) : flag_(&flag) {}
  BorrowFlag* flag_;
};

// Runs an entry point's body, turning an escaping C++ exception into a Python
// error and `error_value` (nullptr for object results, -1 for lengths).
//
// One unwinding is let through: a thread that takes the interpreter lock back
// once the interpreter is finalizing (a daemon thread still in a handler, or
// in run() between steps) is ended by pthread_exit, which unwinds the stack;
// swallowing that aborts the process instead. That unwinding is no C++
// exception, so no exception_ptr can hold it, which is how it is told apart
// (catching abi::__forced_unwind by name would do, but binds a reference to
// no object, which UBSan reports).
template <class Body, class R = std::invoke_result_t<Body>>
R guard(Body&& body, R error_value = R{}) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_SystemError, e.what());
  } catch (...) {
    if (!std::current_exception()) throw;
    PyErr_SetString(PyExc_SystemError, "unexpected C++ exception");
  }
  return error_value;
}

// Adds `value` (a new reference, consumed) to `module` under `name`.
bool add_to_module(PyObject* module, const char* name, Ref value);

// Creates a builtin function bound to `module` and adds it under its name.
// `definition` must outlive the module (static storage).
bool add_function(PyObject* module, PyMethodDef& definition);

}  // namespace pyvorn::py
