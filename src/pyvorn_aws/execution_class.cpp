#include "execution_class.hpp"

#include <new>
#include <optional>
#include <string>

#include "aws_data/payload_size.hpp"
#include "aws_data/write.hpp"
#include "aws_run/data_flow_failure.hpp"
#include "aws_run/execution.hpp"
#include "clock_class.hpp"
#include "history_to_python.hpp"
#include "python_to_value.hpp"
#include "run_arguments.hpp"
#include "run_types.hpp"
#include "task_dispatch.hpp"
#include "time_conversion.hpp"
#include "value_to_python.hpp"

namespace pyvorn::aws_binding {

namespace {

using vorn::aws::Execution;
using vorn::aws::ExecutionStatus;

struct ExecutionObject {
  PyObject_HEAD py::Ref machine;  // keeps the machine's ARN and program alive for describe()
  py::Ref clock_object;           // the VirtualClock it reads; null on the real clock
  std::unique_ptr<UnlockedRealClock> real_clock;
  std::unique_ptr<Execution> execution;
  TaskDispatcher tasks;
  py::Ref name;  // the execution's name as a str, for every handler's context
  py::BorrowFlag borrow;
};

ExecutionObject* as_execution(PyObject* object) {
  return reinterpret_cast<ExecutionObject*>(object);
}

py::StaticString kStatusNames[] = {
    py::StaticString("RUNNING"), py::StaticString("SUCCEEDED"), py::StaticString("FAILED"),
    py::StaticString("TIMED_OUT"), py::StaticString("ABORTED")};

PyObject* status_text(ExecutionStatus status) {
  PyObject* text = kStatusNames[static_cast<std::size_t>(status)].get();
  Py_XINCREF(text);
  return text;
}

py::Ref optional_str(const std::optional<std::string>& text) {
  return text ? py::new_str(*text) : py::Ref::borrow(Py_None);
}

// Keys are interned once; PyDict_SetItemString would make and intern a new
// str on every call.
bool set_item(PyObject* dict, py::StaticString& key, py::Ref value) {
  return value && key.get() != nullptr && PyDict_SetItem(dict, key.get(), value.get()) == 0;
}

py::StaticString kExecutionArn("executionArn");
py::StaticString kStateMachineArn("stateMachineArn");
py::StaticString kName("name");
py::StaticString kStatus("status");
py::StaticString kStartDate("startDate");
py::StaticString kStopDate("stopDate");
py::StaticString kInput("input");
py::StaticString kInputDetails("inputDetails");
py::StaticString kOutput("output");
py::StaticString kOutputDetails("outputDetails");
py::StaticString kIncluded("included");
py::StaticString kError("error");
py::StaticString kCause("cause");
py::StaticString kStateName("state_name");
py::StaticString kTaskToken("task_token");
py::StaticString kResource("resource");
py::StaticString kTimesOutAt("times_out_at");

// --- construction ---------------------------------------------------------

constexpr const char* kStartArguments[] = {"input", "handlers", "name", "clock", "seed"};

// The clock named by start_execution's `clock`; fills `self`'s clock members.
vorn::aws::Clock* clock_argument(ExecutionObject* self, PyObject* clock) {
  if (clock == nullptr || clock == Py_None) {
    self->clock_object = new_virtual_clock(vorn::aws::RealClock().now());
    return self->clock_object ? virtual_clock_of(self->clock_object.get()) : nullptr;
  }
  if (vorn::aws::VirtualClock* virtual_clock = virtual_clock_of(clock)) {
    self->clock_object = py::Ref::borrow(clock);
    return virtual_clock;
  }
  if (PyUnicode_Check(clock) && PyUnicode_CompareWithASCIIString(clock, "real") == 0) {
    self->real_clock = std::make_unique<UnlockedRealClock>();
    return self->real_clock.get();
  }
  py::raise(PyExc_TypeError, "argument 'clock': expected None, a VirtualClock or \"real\", got '" +
                                 py::type_name(clock) + "'");
  return nullptr;
}

// --- the run ---------------------------------------------------------------

std::optional<std::int64_t> max_steps_argument(PyObject* max_steps) {
  if (max_steps == nullptr || max_steps == Py_None) return -1;
  if (!PyLong_Check(max_steps) || PyBool_Check(max_steps)) {
    py::raise_argument_type("max_steps", max_steps, "int");
    return std::nullopt;
  }
  const long long value = PyLong_AsLongLong(max_steps);
  if (value == -1 && PyErr_Occurred()) return std::nullopt;
  if (value < 0) {
    py::raise(PyExc_ValueError, "max_steps must be >= 0 or None");
    return std::nullopt;
  }
  return value;
}

// Steps until the run ends, awaits someone else, or has entered
// `max_steps` states (no limit when negative). False with an exception set
// when a handler could not answer; the attempt is then still due.
bool advance(ExecutionObject* self, std::int64_t max_steps) {
  Execution& execution = *self->execution;
  const std::int64_t first = execution.states_entered();
  const bool real_clock = self->real_clock != nullptr;
  for (std::uint32_t steps = 1;; ++steps) {
    if (max_steps >= 0 && execution.states_entered() - first >= max_steps) return true;
    // A long run stays interruptible with Ctrl-C.
    if (steps % 4096 == 0 && PyErr_CheckSignals() != 0) return false;
    switch (execution.step()) {
      case Execution::Progress::kStepped:
        break;
      case Execution::Progress::kTaskDue: {
        auto outcome = self->tasks.run(*execution.task_call(), self->name.get(), real_clock);
        if (!outcome) return false;
        execution.finish_task(std::move(*outcome));
        break;
      }
      case Execution::Progress::kAwaitingCallback:
      case Execution::Progress::kEnded:
        return true;
    }
  }
}

constexpr const char* kRunArguments[] = {"max_steps"};

PyObject* run(PyObject* object, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    PyObject* given[1] = {};
    if (!py::parse_arguments("run", args, nargs, kwnames, kRunArguments, given, 0)) return nullptr;
    const auto max_steps = max_steps_argument(given[0]);
    if (!max_steps) return nullptr;
    ExecutionObject* self = as_execution(object);
    auto borrow = py::ExclusiveBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    if (!advance(self, *max_steps)) return nullptr;
    return status_text(self->execution->status());
  });
}

PyObject* step(PyObject* object, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    if (!py::parse_arguments("step", args, nargs, kwnames, {}, {}, 0)) return nullptr;
    ExecutionObject* self = as_execution(object);
    auto borrow = py::ExclusiveBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    Execution& execution = *self->execution;
    const std::int64_t next_id = execution.history().last_id() + 1;
    switch (execution.step()) {
      case Execution::Progress::kTaskDue: {
        auto outcome =
            self->tasks.run(*execution.task_call(), self->name.get(), self->real_clock != nullptr);
        if (!outcome) return nullptr;
        execution.finish_task(std::move(*outcome));
        break;
      }
      case Execution::Progress::kStepped:
      case Execution::Progress::kAwaitingCallback:
      case Execution::Progress::kEnded:
        break;
    }
    return events_to_python(execution.history().events_from(next_id)).release();
  });
}

constexpr const char* kStopArguments[] = {"error", "cause"};

std::optional<std::optional<std::string>> optional_text_argument(PyObject* value,
                                                                 const char* name) {
  if (value == nullptr || value == Py_None) return std::optional<std::string>();
  const auto text = py::utf8_argument(value, name);
  if (!text) return std::nullopt;
  return std::optional<std::string>(std::string(*text));
}

PyObject* stop(PyObject* object, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    PyObject* given[2] = {};
    if (!py::parse_arguments("stop", args, nargs, kwnames, kStopArguments, given, 0)) {
      return nullptr;
    }
    const auto error = optional_text_argument(given[0], "error");
    if (!error) return nullptr;
    const auto cause = optional_text_argument(given[1], "cause");
    if (!cause) return nullptr;
    ExecutionObject* self = as_execution(object);
    auto borrow = py::ExclusiveBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    self->execution->stop(*error, *cause);
    return status_text(self->execution->status());
  });
}

// --- callbacks -------------------------------------------------------------

// None for an accepted callback; otherwise raises what SendTask* answers.
PyObject* callback_answer(vorn::aws::CallbackResult result, std::string_view token) {
  switch (result) {
    case vorn::aws::CallbackResult::kAccepted:
      Py_RETURN_NONE;
    case vorn::aws::CallbackResult::kTaskDoesNotExist:
      if (PyObject* type = run_type(RunType::kTaskDoesNotExist)) {
        py::raise(type, "no task of this execution awaits the token '" + std::string(token) + "'");
      }
      return nullptr;
    case vorn::aws::CallbackResult::kTaskTimedOut:
      if (PyObject* type = run_type(RunType::kTaskTimedOut)) {
        py::raise(type, "the task of the token '" + std::string(token) + "' has timed out");
      }
      return nullptr;
  }
  return nullptr;
}

constexpr const char* kSuccessArguments[] = {"task_token", "output"};
constexpr const char* kFailureArguments[] = {"task_token", "error", "cause"};
constexpr const char* kHeartbeatArguments[] = {"task_token"};

PyObject* send_task_success(PyObject* object, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    PyObject* given[2] = {};
    if (!py::parse_arguments("send_task_success", args, nargs, kwnames, kSuccessArguments, given,
                             2)) {
      return nullptr;
    }
    const auto token = py::utf8_argument(given[0], "task_token");
    if (!token) return nullptr;
    auto output = from_python(given[1]);
    if (!output.ok()) {
      raise_conversion_error(output.error(), "output");
      return nullptr;
    }
    ExecutionObject* self = as_execution(object);
    auto borrow = py::ExclusiveBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    return callback_answer(
        self->execution->send_task_success(*token, std::move(output).value()), *token);
  });
}

PyObject* send_task_failure(PyObject* object, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    PyObject* given[3] = {};
    if (!py::parse_arguments("send_task_failure", args, nargs, kwnames, kFailureArguments, given,
                             1)) {
      return nullptr;
    }
    const auto token = py::utf8_argument(given[0], "task_token");
    if (!token) return nullptr;
    const auto error = optional_text_argument(given[1], "error");
    if (!error) return nullptr;
    const auto cause = optional_text_argument(given[2], "cause");
    if (!cause) return nullptr;
    ExecutionObject* self = as_execution(object);
    auto borrow = py::ExclusiveBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    return callback_answer(self->execution->send_task_failure(*token, *error, *cause), *token);
  });
}

PyObject* send_task_heartbeat(PyObject* object, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  return py::guard([&]() -> PyObject* {
    PyObject* given[1] = {};
    if (!py::parse_arguments("send_task_heartbeat", args, nargs, kwnames, kHeartbeatArguments,
                             given, 1)) {
      return nullptr;
    }
    const auto token = py::utf8_argument(given[0], "task_token");
    if (!token) return nullptr;
    ExecutionObject* self = as_execution(object);
    auto borrow = py::ExclusiveBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    return callback_answer(self->execution->send_task_heartbeat(*token), *token);
  });
}

// --- reading ---------------------------------------------------------------

template <class Read>
PyObject* read(PyObject* object, Read&& body) {
  return py::guard([&]() -> PyObject* {
    ExecutionObject* self = as_execution(object);
    auto borrow = py::SharedBorrow::acquire(self->borrow);
    if (!borrow) return nullptr;
    return body(*self->execution).release();
  });
}

PyObject* get_status(PyObject* object, void*) {
  return read(object, [](const Execution& e) { return py::Ref::steal(status_text(e.status())); });
}

PyObject* get_output(PyObject* object, void*) {
  return read(object, [](const Execution& e) {
    return e.status() == ExecutionStatus::kSucceeded ? to_python(e.output())
                                                     : py::Ref::borrow(Py_None);
  });
}

PyObject* get_error(PyObject* object, void*) {
  return read(object, [](const Execution& e) { return optional_str(e.failure().error); });
}

PyObject* get_cause(PyObject* object, void*) {
  return read(object, [](const Execution& e) { return optional_str(e.failure().cause); });
}

PyObject* get_history(PyObject* object, void*) {
  return read(object, [](const Execution& e) { return events_to_python(e.history().events()); });
}

PyObject* get_name(PyObject* object, void*) {
  return py::Ref::borrow(as_execution(object)->name.get()).release();
}

PyObject* get_arn(PyObject* object, void*) {
  return read(object, [](const Execution& e) { return py::new_str(e.identity().arn); });
}

PyObject* get_clock(PyObject* object, void*) {
  ExecutionObject* self = as_execution(object);
  return py::Ref::borrow(self->clock_object ? self->clock_object.get() : Py_None).release();
}

// The callback the execution awaits: its state, token, resource and, when
// it has one, the instant it times out; None when none is awaited.
PyObject* get_pending_task(PyObject* object, void*) {
  return read(object, [](const Execution& e) -> py::Ref {
    const vorn::aws::PendingTask* pending = e.pending_task();
    if (pending == nullptr) return py::Ref::borrow(Py_None);
    py::Ref dict = py::Ref::steal(PyDict_New());
    if (!dict) return {};
    const auto deadline = e.callback_deadline();
    const bool ok = set_item(dict.get(), kStateName, py::new_str(pending->state_name)) &&
                    set_item(dict.get(), kTaskToken, py::new_str(pending->task_token)) &&
                    set_item(dict.get(), kResource, py::new_str(pending->resource)) &&
                    set_item(dict.get(), kTimesOutAt,
                             deadline ? instant_to_datetime(*deadline) : py::Ref::borrow(Py_None));
    return ok ? dict : py::Ref();
  });
}

PyObject* get_states_entered(PyObject* object, void*) {
  return read(object, [](const Execution& e) {
    return py::Ref::steal(PyLong_FromLongLong(e.states_entered()));
  });
}


py::Ref included() {
  py::Ref details = py::Ref::steal(PyDict_New());
  if (!details || !set_item(details.get(), kIncluded, py::Ref::borrow(Py_True))) return {};
  return details;
}

// DescribeExecution's shape: members that AWS leaves out are left out.
py::Ref describe_execution(const Execution& e) {
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict) return {};
  const vorn::aws::EventRange events = e.history().events();
  PyObject* d = dict.get();
  const bool ok = set_item(d, kExecutionArn, py::new_str(e.identity().arn)) &&
                  set_item(d, kStateMachineArn, py::new_str(e.identity().machine_arn)) &&
                  set_item(d, kName, py::new_str(e.identity().name)) &&
                  set_item(d, kStatus, py::Ref::steal(status_text(e.status()))) &&
                  set_item(d, kStartDate, instant_to_datetime(e.start_time()));
  if (!ok) return {};
  if (e.status() != ExecutionStatus::kRunning &&
      !set_item(d, kStopDate, instant_to_datetime(events[events.size() - 1].timestamp))) {
    return {};
  }
  if (!set_item(d, kInput, py::new_str(vorn::aws::write_json(events[0].payload))) ||
      !set_item(d, kInputDetails, included())) {
    return {};
  }
  if (e.status() == ExecutionStatus::kSucceeded &&
      (!set_item(d, kOutput, py::new_str(vorn::aws::write_json(e.output()))) ||
       !set_item(d, kOutputDetails, included()))) {
    return {};
  }
  if (e.failure().error && !set_item(d, kError, py::new_str(*e.failure().error))) return {};
  if (e.failure().cause && !set_item(d, kCause, py::new_str(*e.failure().cause))) return {};
  return dict;
}

PyObject* describe(PyObject* object, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  if (!py::parse_arguments("describe", args, nargs, kwnames, {}, {}, 0)) return nullptr;
  return read(object, describe_execution);
}

PyObject* repr(PyObject* object) {
  return read(object, [](const Execution& e) {
    return py::new_str("<pyvorn.aws.Execution '" + e.identity().name + "' of '" +
                       e.identity().machine_name + "': " +
                       std::string(vorn::aws::execution_status_name(e.status())) + ", " +
                       std::to_string(e.states_entered()) + " states entered>");
  });
}

// --- lifetime --------------------------------------------------------------

int traverse(PyObject* object, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(object));
  return as_execution(object)->tasks.traverse(visit, arg);
}

// Only the handler tables can hold a cycle back to the execution (a handler
// closing over it); the clock and the machine never refer to executions, so
// they stay until dealloc and the run never sees its clock go.
int clear(PyObject* object) {
  as_execution(object)->tasks.clear();
  return 0;
}

void dealloc(PyObject* object) {
  PyObject_GC_UnTrack(object);
  ExecutionObject* self = as_execution(object);
  self->execution.reset();  // before the clock it borrows
  self->tasks.~TaskDispatcher();
  self->real_clock.~unique_ptr();
  self->execution.~unique_ptr();
  self->clock_object.~Ref();
  self->machine.~Ref();
  self->name.~Ref();
  PyTypeObject* type = Py_TYPE(object);
  type->tp_free(object);
  Py_DECREF(type);
}

PyMethodDef methods[] = {
    {"run", py::as_cfunction(run), METH_FASTCALL | METH_KEYWORDS,
     "run($self, max_steps=None)\n--\n\nRuns until the execution ends, awaits a callback, or has "
     "entered max_steps states; returns its status."},
    {"step", py::as_cfunction(step), METH_FASTCALL | METH_KEYWORDS,
     "step($self)\n--\n\nOne scheduler step; returns the history events it added."},
    {"stop", py::as_cfunction(stop), METH_FASTCALL | METH_KEYWORDS,
     "stop($self, error=None, cause=None)\n--\n\nEnds a running execution as ABORTED, as "
     "StopExecution does; returns its status."},
    {"send_task_success", py::as_cfunction(send_task_success), METH_FASTCALL | METH_KEYWORDS,
     "send_task_success($self, task_token, output)\n--\n\nFinishes the awaited task with "
     "output, as SendTaskSuccess does; the run goes on at the next run() or step()."},
    {"send_task_failure", py::as_cfunction(send_task_failure), METH_FASTCALL | METH_KEYWORDS,
     "send_task_failure($self, task_token, error=None, cause=None)\n--\n\nFails the awaited "
     "task, as SendTaskFailure does; its Retry and Catch see error and cause."},
    {"send_task_heartbeat", py::as_cfunction(send_task_heartbeat), METH_FASTCALL | METH_KEYWORDS,
     "send_task_heartbeat($self, task_token)\n--\n\nRestarts the awaited task's "
     "HeartbeatSeconds, as SendTaskHeartbeat does."},
    {"describe", py::as_cfunction(describe), METH_FASTCALL | METH_KEYWORDS,
     "describe($self)\n--\n\nThe execution in DescribeExecution's shape."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"status", get_status, nullptr,
     "\"RUNNING\", \"SUCCEEDED\", \"FAILED\", \"TIMED_OUT\" or \"ABORTED\".", nullptr},
    {"output", get_output, nullptr, "The final output of a SUCCEEDED execution, else None.",
     nullptr},
    {"error", get_error, nullptr, "The error name it failed or was stopped with, or None.",
     nullptr},
    {"cause", get_cause, nullptr, "The cause it failed or was stopped with, or None.", nullptr},
    {"history", get_history, nullptr,
     "Every event so far, shaped as GetExecutionHistory returns them.", nullptr},
    {"name", get_name, nullptr, "The execution's name.", nullptr},
    {"arn", get_arn, nullptr, "The execution's ARN.", nullptr},
    {"clock", get_clock, nullptr, "The VirtualClock it runs on, or None on the real clock.",
     nullptr},
    {"pending_task", get_pending_task, nullptr,
     "The callback it awaits ({'state_name', 'task_token', 'resource', 'times_out_at'}), or "
     "None.",
     nullptr},
    {"states_entered", get_states_entered, nullptr,
     "How many states it has entered (a Task's retries not counted again).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("One run of a StateMachine, made by start_execution().")},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(clear)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {0, nullptr},
};

PyType_Spec spec = {
    "pyvorn.aws.Execution",
    sizeof(ExecutionObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_HAVE_GC |
        Py_TPFLAGS_DISALLOW_INSTANTIATION,
    slots,
};

}  // namespace

PyTypeObject* execution_type() {
  static PyObject* type = nullptr;
  if (type == nullptr) type = PyType_FromSpec(&spec);
  return reinterpret_cast<PyTypeObject*>(type);
}

PyObject* start_execution(PyObject* machine, const MachineRuntime& runtime,
                          const MachineIdentity& identity, bool express, PyObject* const* args,
                          Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* given[5] = {};
  if (!py::parse_arguments("start_execution", args, nargs, kwnames, kStartArguments, given, 0)) {
    return nullptr;
  }
  if (nargs > 1) {
    py::raise(PyExc_TypeError, "start_execution() takes at most 1 positional argument");
    return nullptr;
  }
  const auto seed = seed_argument(given[4]);
  if (!seed) return nullptr;
  auto input = input_argument(given[0]);
  if (!input) return nullptr;
  auto name = name_argument(given[2], *seed);
  if (!name) return nullptr;
  auto tasks = TaskDispatcher::create(given[1], *seed, runtime.step_texts);
  if (!tasks) return nullptr;
  py::Ref name_object = py::new_str(*name);
  if (!name_object) return nullptr;

  PyTypeObject* type = execution_type();
  if (type == nullptr) return nullptr;
  py::Ref object = py::Ref::steal(type->tp_alloc(type, 0));
  if (!object) return nullptr;
  // Every member is built before anything below can run Python code (and
  // with it a collection that would traverse the object).
  ExecutionObject* self = as_execution(object.get());
  new (&self->machine) py::Ref(py::Ref::borrow(machine));
  new (&self->clock_object) py::Ref();
  new (&self->real_clock) std::unique_ptr<UnlockedRealClock>();
  new (&self->execution) std::unique_ptr<Execution>();
  new (&self->tasks) TaskDispatcher(std::move(*tasks));
  new (&self->name) py::Ref(std::move(name_object));
  new (&self->borrow) py::BorrowFlag();
  vorn::aws::Clock* clock = clock_argument(self, given[3]);
  if (clock == nullptr) return nullptr;

  self->execution = std::make_unique<Execution>(
      runtime.program, std::move(*input), execution_identity(identity, express, std::move(*name)),
      *clock, *seed);
  return object.release();
}

}  // namespace pyvorn::aws_binding
