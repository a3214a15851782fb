#include "state_machine.hpp"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "compile.hpp"
#include "data_bridge.hpp"
#include "handler_bridge.hpp"
#include "ir_bridge.hpp"
#include "lowered_ir.hpp"
#include "vorn/decoder.hpp"
#include "vorn/dispatcher.hpp"
#include "vorn/journal.hpp"
#include "vorn_build/lower.hpp"

namespace pyvorn {

namespace {

namespace ir = vorn::ir;

// Everything a machine owns. Members go in reverse order: the registry, which
// borrows the IR's handler names, before the IR.
struct Machine {
  std::shared_ptr<const ir::StateMachineIr> ir;
  vorn::ExecutionContext context;
  vorn::VecJournal journal;
  PyHandlerRegistry registry;
};

// Moved into a freshly allocated object, where nothing may fail any more.
static_assert(std::is_nothrow_move_constructible_v<Machine>);

struct StateMachineObject {
  PyObject_HEAD py::BorrowFlag borrow;
  Machine machine;
};

StateMachineObject* as_machine(PyObject* object) {
  return reinterpret_cast<StateMachineObject*>(object);
}

const vorn::DefaultDispatcher dispatcher;

py::StaticString key_status("status");
py::StaticString key_next_state("next_state");
py::StaticString key_output("output");
py::StaticString key_error("error");
py::StaticString key_state_name("state_name");
py::StaticString key_state_id("state_id");
py::StaticString key_attempt("attempt");
py::StaticString status_continue("continue");
py::StaticString status_completed("completed");
py::StaticString status_fatal("fatal");

// The encoding of the empty object: the input of a machine given none.
constexpr std::uint8_t kEmptyObject[] = {0x01, 0x02, 0x00, 0x00, 0x00};

// Sets dict[key] = value, taking over `value` (a new reference, or null after
// a failed call). False with an error set when anything is null or fails.
bool set_item(PyObject* dict, py::StaticString& key, py::Ref value) {
  PyObject* key_object = key.get();
  return key_object != nullptr && value && PyDict_SetItem(dict, key_object, value.get()) == 0;
}

py::Ref borrowed(py::StaticString& text) { return py::Ref::borrow(text.get()); }

// Decodes `bytes` into `dict[key]`. Bytes that do not decode leave the key
// out; only an interpreter failure (MemoryError) is an error.
bool set_decoded(PyObject* dict, py::StaticString& key, vorn::Bytes bytes) {
  if (bytes.empty()) return true;
  vorn::DecodeStatus status = vorn::DecodeStatus::InvalidData;
  py::Ref value = decode_to_py(bytes, status);
  if (status == vorn::DecodeStatus::InvalidData) return true;
  return set_item(dict, key, std::move(value));
}

// The machine's encoded initial input, or nullopt with the conversion's
// exception set. `initial_input` is null (not given), None or a dict.
std::optional<std::vector<std::uint8_t>> encode_initial_input(PyObject* initial_input) {
  if (initial_input == nullptr || initial_input == Py_None) {
    return std::vector<std::uint8_t>(std::begin(kEmptyObject), std::end(kEmptyObject));
  }
  std::vector<std::uint8_t> bytes;
  if (!encode_py_value(initial_input, bytes)) return std::nullopt;
  return bytes;
}

bool check_initial_input(PyObject* initial_input) {
  if (initial_input == nullptr || initial_input == Py_None || PyDict_Check(initial_input)) {
    return true;
  }
  py::raise_argument_type("initial_input", initial_input, "PyDict");
  return false;
}

// A new machine at the IR's start state with an empty journal and no
// handlers; null with the conversion's exception set if `initial_input` does
// not convert.
PyObject* new_machine(std::shared_ptr<const ir::StateMachineIr> machine_ir,
                      PyObject* initial_input) {
  auto input = encode_initial_input(initial_input);
  if (!input) return nullptr;
  const ir::StateId start = machine_ir->start_at;
  const auto handler_names = machine_ir->metadata.handler_names;
  Machine machine{std::move(machine_ir), vorn::ExecutionContext{std::move(*input), 0, start}, {},
                  PyHandlerRegistry(handler_names)};

  PyTypeObject* type = state_machine_type();
  if (type == nullptr) return nullptr;
  PyObject* object = type->tp_alloc(type, 0);
  if (object == nullptr) return nullptr;
  StateMachineObject* self = as_machine(object);
  new (&self->borrow) py::BorrowFlag();
  new (&self->machine) Machine(std::move(machine));
  return object;
}

// The dict step() and run() return for one dispatcher result; null with the
// exception pending when the step was interrupted.
PyObject* step_result_to_py(const Machine& machine, const vorn::StepResult& result) {
  if (!result.ok() && std::holds_alternative<vorn::StepError::Interrupted>(result.error().value)) {
    // The registry left the handler's exception pending for us to raise.
    if (!PyErr_Occurred()) {
      PyErr_SetString(PyExc_SystemError, "a step was interrupted without an exception");
    }
    return nullptr;
  }
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  if (!result.ok()) {
    if (!set_item(dict.get(), key_status, borrowed(status_fatal)) ||
        !set_item(dict.get(), key_error, py::new_str(vorn::to_string(result.error())))) {
      return nullptr;
    }
    return dict.release();
  }
  if (const auto* next = std::get_if<vorn::StepOutcome::Continue>(&result.value().value)) {
    if (!set_item(dict.get(), key_status, borrowed(status_continue)) ||
        !set_item(dict.get(), key_next_state, py::Ref::steal(PyLong_FromLong(next->next.value)))) {
      return nullptr;
    }
    return dict.release();
  }
  if (!set_item(dict.get(), key_status, borrowed(status_completed))) return nullptr;
  const vorn::JournalEntry* last = machine.journal.last();
  if (last != nullptr && last->output && !set_decoded(dict.get(), key_output, *last->output)) {
    return nullptr;
  }
  return dict.release();
}

std::string_view state_name(const Machine& machine, ir::StateId state) {
  const auto names = machine.ir->metadata.state_names;
  return state.value < names.size() ? names[state.value] : std::string_view("?");
}

PyObject* str_list(std::span<const std::string_view> texts) {
  py::Ref list = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(texts.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    py::Ref text = py::new_str(texts[i]);
    if (!text) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), text.release());
  }
  return list.release();
}

py::Ref journal_entry_to_py(const Machine& machine, const vorn::JournalEntry& entry) {
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict ||
      !set_item(dict.get(), key_state_name, py::new_str(state_name(machine, entry.state_id))) ||
      !set_item(dict.get(), key_state_id, py::Ref::steal(PyLong_FromLong(entry.state_id.value))) ||
      !set_item(dict.get(), key_attempt, py::Ref::steal(PyLong_FromUnsignedLong(entry.attempt)))) {
    return {};
  }
  if (entry.output && !set_decoded(dict.get(), key_output, *entry.output)) return {};
  if (entry.error && !set_item(dict.get(), key_error, py::new_str(entry.error->message))) return {};
  return dict;
}

// --- construction -----------------------------------------------------------

PyObject* construct(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  return py::guard([&]() -> PyObject* {
    static const char* const names[] = {"asl_json", "initial_input"};
    PyObject* bound[] = {nullptr, nullptr};
    if (!py::parse_tuple_arguments("StateMachine", args, kwargs, names, bound, 1, 2)) return nullptr;
    const auto text = py::utf8_argument(bound[0], "asl_json");
    if (!text || !check_initial_input(bound[1])) return nullptr;
    auto machine = parse_and_lower(*text);
    if (!machine) return nullptr;
    return new_machine(build_ir(std::move(*machine)), bound[1]);
  });
}

PyObject* from_lowered(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    static const char* const names[] = {"lowered", "initial_input"};
    PyObject* bound[] = {nullptr, nullptr};
    if (!py::parse_arguments("from_lowered", args, nargs, kwnames, names, bound, 1)) {
      return nullptr;
    }
    if (!is_lowered_ir(bound[0])) {
      if (!PyErr_Occurred()) py::raise_argument_type("lowered", bound[0], "LoweredIr");
      return nullptr;
    }
    if (!check_initial_input(bound[1])) return nullptr;
    // From here on the handle is consumed, whatever happens next.
    auto lowered = take_lowered(bound[0]);
    if (!lowered) return nullptr;
    return new_machine(build_ir(std::move(*lowered)), bound[1]);
  });
}

// --- methods ----------------------------------------------------------------

PyObject* register_handler(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    static const char* const names[] = {"resource", "callable"};
    PyObject* bound[] = {nullptr, nullptr};
    if (!py::parse_arguments("register_handler", args, nargs, kwnames, names, bound, 2)) {
      return nullptr;
    }
    StateMachineObject* machine = as_machine(self);
    const auto borrow = py::ExclusiveBorrow::acquire(machine->borrow);
    if (!borrow) return nullptr;
    const auto resource = py::utf8_argument(bound[0], "resource");
    if (!resource) return nullptr;
    machine->machine.registry.register_handler(*resource, py::Ref::borrow(bound[1]));
    Py_RETURN_NONE;
  });
}

PyObject* step(PyObject* self, PyObject*) {
  return py::guard([&]() -> PyObject* {
    StateMachineObject* object = as_machine(self);
    const auto borrow = py::ExclusiveBorrow::acquire(object->borrow);
    if (!borrow) return nullptr;
    Machine& machine = object->machine;
    const vorn::StepResult result =
        dispatcher.step(machine.context, *machine.ir, machine.journal, machine.registry);
    return step_result_to_py(machine, result);
  });
}

// How many steps run() takes between two chances for other threads to run.
// Steps of Pass and Choice states run no Python code, so without these a
// watchdog timer or a server thread would wait for the whole run. Letting go
// of the interpreter lock and taking it back costs a few Pass steps when no
// thread waits, so once in this many steps it is lost in the noise, while a
// thread that asks for its turn (which the interpreter lets it do after
// sys.getswitchinterval(), 5 ms) waits about a fifth of a millisecond more.
constexpr unsigned kStepsBetweenOtherThreads = 1024;

PyObject* run(PyObject* self, PyObject*) {
  return py::guard([&]() -> PyObject* {
    StateMachineObject* object = as_machine(self);
    const auto borrow = py::ExclusiveBorrow::acquire(object->borrow);
    if (!borrow) return nullptr;
    Machine& machine = object->machine;
    unsigned steps_to_other_threads = kStepsBetweenOtherThreads;
    for (;;) {
      const vorn::StepResult result =
          dispatcher.step(machine.context, *machine.ir, machine.journal, machine.registry);
      if (!result.ok() || !std::holds_alternative<vorn::StepOutcome::Continue>(result->value)) {
        return step_result_to_py(machine, result);
      }
      // Between steps the machine is consistent, and it stays borrowed while
      // the lock is let go: another thread can neither step it nor read it.
      if (--steps_to_other_threads == 0) {
        steps_to_other_threads = kStepsBetweenOtherThreads;
        Py_BEGIN_ALLOW_THREADS
        Py_END_ALLOW_THREADS
      }
      // A machine may loop forever; this is where Ctrl-C (or a signal
      // handler that raises, perhaps at another thread's request) stops it.
      if (PyErr_CheckSignals() != 0) return nullptr;
    }
  });
}

// --- properties -------------------------------------------------------------

// Runs `read` on the machine under a shared borrow.
template <class Read>
PyObject* read_machine(PyObject* self, Read read) {
  return py::guard([&]() -> PyObject* {
    StateMachineObject* object = as_machine(self);
    const auto borrow = py::SharedBorrow::acquire(object->borrow);
    if (!borrow) return nullptr;
    return read(object->machine);
  });
}

// The journal's entries from position `from` on, as a new list (empty when
// `from` is at or past the end).
PyObject* journal_list(const Machine& machine, std::size_t from) {
  const auto& entries = machine.journal.entries();
  const std::size_t first = std::min(from, entries.size());
  py::Ref list = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(entries.size() - first)));
  if (!list) return nullptr;
  for (std::size_t i = first; i < entries.size(); ++i) {
    py::Ref entry = journal_entry_to_py(machine, entries[i]);
    if (!entry) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i - first), entry.release());
  }
  return list.release();
}

PyObject* get_journal(PyObject* self, void*) {
  return read_machine(self, [](const Machine& machine) { return journal_list(machine, 0); });
}

// journal[index:] without converting the entries before `index`: what a
// caller that follows a run step by step (the command line's --trace) reads
// after each step, so that following n steps costs n conversions, not n^2/2.
PyObject* journal_since(PyObject* self, PyObject* index) {
  const Py_ssize_t from = PyLong_AsSsize_t(index);
  if (from == -1 && PyErr_Occurred()) return nullptr;
  if (from < 0) {
    PyErr_SetString(PyExc_ValueError, "journal index must not be negative");
    return nullptr;
  }
  return read_machine(self, [from](const Machine& machine) {
    return journal_list(machine, static_cast<std::size_t>(from));
  });
}

PyObject* get_handler_names(PyObject* self, void*) {
  return read_machine(self, [](const Machine& machine) {
    return str_list(machine.ir->metadata.handler_names);
  });
}

PyObject* get_state_names(PyObject* self, void*) {
  return read_machine(self, [](const Machine& machine) {
    return str_list(machine.ir->metadata.state_names);
  });
}

PyObject* get_current_state(PyObject* self, void*) {
  return read_machine(self, [](const Machine& machine) {
    return PyLong_FromLong(machine.context.current.value);
  });
}

PyObject* repr(PyObject* self) {
  return read_machine(self, [](const Machine& machine) {
    std::string text = "<StateMachine states=";
    text += std::to_string(machine.ir->states.size());
    text += " current=\"";
    text += state_name(machine, machine.context.current);
    text += "\">";
    return py::new_str(text).release();
  });
}

// --- life cycle -------------------------------------------------------------

int traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  return as_machine(self)->machine.registry.traverse(visit, arg);
}

int clear(PyObject* self) {
  as_machine(self)->machine.registry.clear();
  return 0;
}

void dealloc(PyObject* self) {
  PyObject_GC_UnTrack(self);
  StateMachineObject* object = as_machine(self);
  // Releasing the callables may run Python code; the object is out of the
  // collector's reach by now.
  object->machine.~Machine();
  object->borrow.~BorrowFlag();
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);  // instances of heap types hold a reference to their type
}

PyMethodDef methods[] = {
    {"from_lowered", py::as_cfunction(from_lowered), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "from_lowered(lowered, initial_input=None)\n--\n\n"
     "Create a StateMachine from a LoweredIr handle (consumes it)."},
    {"register_handler", py::as_cfunction(register_handler), METH_FASTCALL | METH_KEYWORDS,
     "register_handler($self, resource, callable)\n--\n\n"
     "Register a Python callable as a handler for the given resource name."},
    {"step", step, METH_NOARGS,
     "step($self)\n--\n\nExecute one step. Returns a dict with status and details."},
    {"run", run, METH_NOARGS,
     "run($self)\n--\n\nRun to completion. Returns a dict with status and output."},
    {"_journal_since", journal_since, METH_O,
     "_journal_since($self, index, /)\n--\n\n"
     "Journal entries from position index on, as journal[index:] gives them."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"journal", get_journal, nullptr, "Journal entries as a list of dicts.", nullptr},
    {"handler_names", get_handler_names, nullptr, "Handler resource names from the IR.", nullptr},
    {"state_names", get_state_names, nullptr, "State names from the IR.", nullptr},
    {"current_state", get_current_state, nullptr, "Current state ID.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr const char* kDoc =
    "StateMachine(asl_json, initial_input=None)\n--\n\nThe main state machine runtime.";

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>(kDoc)},
    {Py_tp_new, reinterpret_cast<void*>(construct)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(clear)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {
    "pyvorn.StateMachine",
    sizeof(StateMachineObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

}  // namespace

PyTypeObject* state_machine_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) type = PyType_FromSpec(&spec);
  return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace pyvorn
