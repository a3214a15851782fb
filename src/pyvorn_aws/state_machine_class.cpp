// StateMachine: a checked AWS-dialect definition under a machine name, in a
// region and account. Immutable once made, so no access flag is needed.
//
// Construction refuses, with DefinitionError, everything AWS's
// CreateStateMachine refuses: the definition's errors and a malformed name.
// Warnings (UNSUPPORTED_FEATURE among them) are kept on the machine.
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "aws_build/check.hpp"
#include "aws_build/lower_program.hpp"
#include "diagnostics.hpp"
#include "execution_class.hpp"
#include "machine_identity.hpp"
#include "module_functions.hpp"
#include "state_test_method.hpp"
#include "value_to_python.hpp"

namespace pyvorn::aws_binding {

namespace {

using vorn::aws::Diagnostic;

struct StateMachineObject {
  PyObject_HEAD MachineIdentity identity;
  vorn::aws::Definition definition;
  vorn::aws::Value document;  // the definition's JSON, members in written order
  std::vector<std::string> state_names;
  std::vector<Diagnostic> diagnostics;  // warnings only: errors refuse the machine
  bool express = false;                 // type "EXPRESS" rather than "STANDARD"
  // What executions run, lowered on the first start: a machine that is only
  // checked never pays for it, and one using what cannot run yet is still
  // a valid machine.
  std::optional<MachineRuntime> runtime;
};

StateMachineObject* as_machine(PyObject* object) {
  return reinterpret_cast<StateMachineObject*>(object);
}

constexpr const char* kArgumentNames[] = {"text", "name", "region", "account", "type"};

// "STANDARD" or "EXPRESS", as CreateStateMachine spells them.
std::optional<bool> express_argument(PyObject* type) {
  if (type == nullptr) return false;
  const auto text = py::utf8_argument(type, "type");
  if (!text) return std::nullopt;
  if (*text == "STANDARD" || *text == "EXPRESS") return *text == "EXPRESS";
  py::raise(PyExc_ValueError,
            "type must be \"STANDARD\" or \"EXPRESS\", got '" + std::string(*text) + "'");
  return std::nullopt;
}

PyObject* new_machine(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return py::guard([&]() -> PyObject* {
    PyObject* given[5] = {};
    if (!py::parse_tuple_arguments("StateMachine", args, kwargs, kArgumentNames, given, 1, 1)) {
      return nullptr;
    }
    const auto express = express_argument(given[4]);
    if (!express) return nullptr;
    const auto text = py::utf8_argument(given[0], "text");
    if (!text) return nullptr;
    std::string_view texts[3] = {"StateMachine", "us-east-1", "123456789012"};
    for (int i = 0; i < 3; ++i) {
      if (given[i + 1] == nullptr) continue;
      const auto value = py::utf8_argument(given[i + 1], kArgumentNames[i + 1]);
      if (!value) return nullptr;
      texts[i] = *value;
    }
    auto identity = make_identity(texts[0], texts[1], texts[2]);
    if (!identity.ok()) {
      if (identity.error().diagnostic) {
        raise_definition_error({*identity.error().diagnostic});
      } else {
        py::raise(PyExc_ValueError, identity.error().message);
      }
      return nullptr;
    }

    vorn::aws::CheckOutcome outcome = vorn::aws::check_definition(*text);
    if (!outcome.definition) {
      raise_definition_error(outcome.diagnostics);
      return nullptr;
    }

    py::Ref object = py::Ref::steal(type->tp_alloc(type, 0));
    if (!object) return nullptr;
    StateMachineObject* self = as_machine(object.get());
    // Members are built in place one by one, each from a value already made,
    // so no step between them can fail and leave one unconstructed.
    new (&self->identity) MachineIdentity(std::move(identity).value());
    new (&self->definition) vorn::aws::Definition(std::move(*outcome.definition));
    new (&self->document) vorn::aws::Value(std::move(outcome.document));
    new (&self->state_names) std::vector<std::string>(vorn::aws::all_state_names(self->definition));
    new (&self->diagnostics) std::vector<Diagnostic>(std::move(outcome.diagnostics));
    self->express = *express;
    new (&self->runtime) std::optional<MachineRuntime>();
    return object.release();
  });
}

void dealloc(PyObject* object) {
  StateMachineObject* self = as_machine(object);
  self->runtime.~optional();
  self->diagnostics.~vector();
  self->state_names.~vector();
  self->document.~Value();
  self->definition.~Definition();
  self->identity.~MachineIdentity();
  PyTypeObject* type = Py_TYPE(object);
  type->tp_free(object);
  Py_DECREF(type);  // instances of heap types hold a reference to their type
}

PyObject* repr(PyObject* object) {
  return py::guard([&]() -> PyObject* {
    const StateMachineObject* self = as_machine(object);
    const std::size_t count = self->state_names.size();
    return py::new_str("<pyvorn.aws.StateMachine '" + self->identity.name + "': " +
                       std::to_string(count) + (count == 1 ? " state" : " states") +
                       ", starts at '" + self->definition.scope.start_at + "'>")
        .release();
  });
}

PyObject* get_name(PyObject* object, void*) {
  return py::guard([&] { return py::new_str(as_machine(object)->identity.name).release(); });
}

PyObject* get_region(PyObject* object, void*) {
  return py::guard([&] { return py::new_str(as_machine(object)->identity.region).release(); });
}

PyObject* get_account(PyObject* object, void*) {
  return py::guard([&] { return py::new_str(as_machine(object)->identity.account).release(); });
}

PyObject* get_arn(PyObject* object, void*) {
  return py::guard([&] { return py::new_str(as_machine(object)->identity.arn()).release(); });
}

PyObject* get_start_at(PyObject* object, void*) {
  return py::guard(
      [&] { return py::new_str(as_machine(object)->definition.scope.start_at).release(); });
}

PyObject* get_state_names(PyObject* object, void*) {
  return py::guard([&]() -> PyObject* {
    const auto& names = as_machine(object)->state_names;
    py::Ref tuple = py::Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(names.size())));
    if (!tuple) return nullptr;
    for (std::size_t i = 0; i < names.size(); ++i) {
      py::Ref name = py::new_str(names[i]);
      if (!name) return nullptr;
      PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), name.release());
    }
    return tuple.release();
  });
}

// A new dict on every access: the caller may change it without touching the
// machine.
PyObject* get_definition(PyObject* object, void*) {
  return py::guard([&] { return to_python(as_machine(object)->document).release(); });
}

PyObject* get_diagnostics(PyObject* object, void*) {
  return py::guard(
      [&] { return diagnostics_to_python(as_machine(object)->diagnostics).release(); });
}

PyObject* get_type(PyObject* object, void*) {
  return py::guard([&] {
    return py::new_str(as_machine(object)->express ? "EXPRESS" : "STANDARD").release();
  });
}

// The machine's runtime, lowered on first use; null with DefinitionError
// set when the machine uses what cannot run yet.
const MachineRuntime* runtime_of(StateMachineObject* self) {
  if (!self->runtime) {
    auto program = vorn::aws::lower_program(self->definition);
    if (!program.ok()) {
      raise_definition_error(program.error());
      return nullptr;
    }
    self->runtime =
        MachineRuntime{std::make_shared<const vorn::aws::Program>(std::move(program).value()),
                       std::make_shared<StepTextCache>()};
  }
  return &*self->runtime;
}

PyObject* start(PyObject* object, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    StateMachineObject* self = as_machine(object);
    const MachineRuntime* runtime = runtime_of(self);
    if (runtime == nullptr) return nullptr;
    return start_execution(object, *runtime, self->identity, self->express, args, nargs, kwnames);
  });
}

PyObject* test(PyObject* object, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    StateMachineObject* self = as_machine(object);
    const MachineRuntime* runtime = runtime_of(self);
    if (runtime == nullptr) return nullptr;
    return test_state(*runtime, self->identity, self->express, args, nargs, kwnames);
  });
}

PyMethodDef methods[] = {
    {"start_execution", py::as_cfunction(start), METH_FASTCALL | METH_KEYWORDS,
     "start_execution($self, input={}, *, handlers=None, name=None, clock=None, seed=0)\n--\n\n"
     "Starts an execution in this process and returns it, not yet stepped. Raises "
     "DefinitionError when the machine uses what cannot run yet."},
    {"test_state", py::as_cfunction(test), METH_FASTCALL | METH_KEYWORDS,
     "test_state($self, state_name, input, *, handlers=None, inspection_level='INFO', seed=0)\n"
     "--\n\n"
     "Runs one state on input as AWS's TestState API does and returns its response: output, "
     "error, cause, inspectionData (DEBUG and TRACE), nextState and status."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"type", get_type, nullptr, "\"STANDARD\" or \"EXPRESS\".", nullptr},
    {"name", get_name, nullptr, "The machine's name.", nullptr},
    {"region", get_region, nullptr, "The AWS region the machine's ARNs name.", nullptr},
    {"account", get_account, nullptr, "The AWS account the machine's ARNs name.", nullptr},
    {"arn", get_arn, nullptr, "arn:aws:states:<region>:<account>:stateMachine:<name>.", nullptr},
    {"start_at", get_start_at, nullptr, "The state the machine starts at.", nullptr},
    {"state_names", get_state_names, nullptr,
     "Every state's name, nested scopes included, in definition order.", nullptr},
    {"definition", get_definition, nullptr,
     "The definition as a new dict, members in written order.", nullptr},
    {"diagnostics", get_diagnostics, nullptr,
     "The warnings the check found (UNSUPPORTED_FEATURE among them).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>(
                    "StateMachine(text, *, name='StateMachine', region='us-east-1', "
                    "account='123456789012', type='STANDARD')\n--\n\n"
                    "A definition checked as AWS Step Functions checks it; raises "
                    "DefinitionError when AWS would refuse it.")},
    {Py_tp_new, reinterpret_cast<void*>(new_machine)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {
    "pyvorn.aws.StateMachine",
    sizeof(StateMachineObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

}  // namespace

PyTypeObject* state_machine_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) type = PyType_FromSpec(&spec);
  return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace pyvorn::aws_binding
