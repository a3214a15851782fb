#include "task_dispatch.hpp"

#include <chrono>
#include <string_view>
#include <vector>

#include "aws_run/lambda_invoke.hpp"
#include "aws_run/task_error.hpp"
#include "aws_run/task_resource.hpp"
#include "python_to_value.hpp"
#include "run_types.hpp"
#include "value_to_python.hpp"

namespace pyvorn::aws_binding {

namespace {

using vorn::aws::LambdaCauseStyle;
using vorn::aws::TaskCall;
using vorn::aws::TaskError;
using vorn::aws::TaskOutcome;

py::StaticString kByResource("_by_resource");
py::StaticString kByFunction("_by_function");
py::StaticString kDefault("_default");
py::StaticString kStateName("state_name");
py::StaticString kAttempt("attempt");
py::StaticString kExecutionName("execution_name");
py::StaticString kResource("resource");
py::StaticString kTaskToken("task_token");
py::StaticString kError("error");
py::StaticString kCause("cause");
py::StaticString kSeconds("seconds");
py::StaticString kValue("value");
py::StaticString kResponse("response");

// Only what AWS lets wait for a callback may answer Pending: a
// .waitForTaskToken or .sync integration, or an activity.
bool can_wait(const vorn::aws::TaskStep& step) {
  return step.target.kind == vorn::aws::ResourceKind::kActivity ||
         (step.target.kind == vorn::aws::ResourceKind::kServiceIntegration &&
          step.target.pattern != vorn::aws::IntegrationPattern::kRequestResponse);
}

py::Ref attribute(PyObject* object, py::StaticString& name) {
  PyObject* key = name.get();
  if (key == nullptr) return {};
  return py::Ref::steal(PyObject_GetAttr(object, key));
}

// A str or None attribute of a TaskFailed, as an optional text; false with
// TypeError set for anything else.
bool optional_text(PyObject* exception, py::StaticString& name, std::optional<std::string>& out) {
  py::Ref value = attribute(exception, name);
  if (!value) return false;
  if (value.get() == Py_None) return true;
  if (!PyUnicode_Check(value.get())) {
    py::raise(PyExc_TypeError, std::string("TaskFailed.") + PyUnicode_AsUTF8(name.get()) +
                                   " must be str or None, not " + py::type_name(value.get()));
    return false;
  }
  const auto text = py::utf8_argument(value.get(), PyUnicode_AsUTF8(name.get()));
  if (!text) return false;
  out = std::string(*text);
  return true;
}

// str(exception), or "" when even that fails (the failure is the task's
// to report, not ours to raise).
std::string message_of(PyObject* exception) {
  py::Ref text = py::Ref::steal(PyObject_Str(exception));
  Py_ssize_t size = 0;
  const char* data = text ? PyUnicode_AsUTF8AndSize(text.get(), &size) : nullptr;
  if (data == nullptr) {
    PyErr_Clear();
    return {};
  }
  return std::string(data, static_cast<std::size_t>(size));
}

// Each frame of the exception's traceback as Lambda's stackTrace shows it,
// which is traceback.format_tb's form.
std::vector<std::string> stack_frames(PyObject* exception) {
  std::vector<std::string> frames;
  py::Ref traceback = py::Ref::steal(PyException_GetTraceback(exception));
  if (!traceback) return frames;
  py::Ref module = py::Ref::steal(PyImport_ImportModule("traceback"));
  py::Ref lines = module ? py::Ref::steal(PyObject_CallMethod(module.get(), "format_tb", "O",
                                                              traceback.get()))
                         : py::Ref();
  if (!lines || !PyList_Check(lines.get())) {
    PyErr_Clear();
    return frames;
  }
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(lines.get()); ++i) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(PyList_GET_ITEM(lines.get(), i), &size);
    if (data == nullptr) {
      PyErr_Clear();
      continue;
    }
    frames.emplace_back(data, static_cast<std::size_t>(size));
  }
  return frames;
}

LambdaCauseStyle style_of(bool invoke) {
  return invoke ? LambdaCauseStyle::kInvoke : LambdaCauseStyle::kDirect;
}

// False with an exception set when the key or the item could not be made.
bool set_item(PyObject* dict, py::StaticString& key, PyObject* value) {
  PyObject* name = key.get();
  return name != nullptr && PyDict_SetItem(dict, name, value) == 0;
}

// The context dict of the step `texts` belong to, as its first attempt
// sees it but for the execution's name.
py::Ref context_template(const StepTexts& texts) {
  py::Ref context = py::Ref::steal(PyDict_New());
  py::Ref first_attempt = py::Ref::steal(PyLong_FromLong(0));
  const bool filled = context && first_attempt && texts.state_name && texts.resource &&
                      set_item(context.get(), kStateName, texts.state_name.get()) &&
                      set_item(context.get(), kAttempt, first_attempt.get()) &&
                      set_item(context.get(), kExecutionName, Py_None) &&
                      set_item(context.get(), kResource, texts.resource.get()) &&
                      set_item(context.get(), kTaskToken, Py_None);
  return filled ? context : py::Ref();
}

}  // namespace

std::optional<TaskDispatcher> TaskDispatcher::create(PyObject* handlers, std::uint64_t seed,
                                                     std::shared_ptr<StepTextCache> texts) {
  TaskDispatcher dispatcher;
  dispatcher.step_texts_ = std::move(texts);
  // Request ids come from their own stream, so that adding a Lambda call
  // does not shift the execution's jitter or tokens.
  dispatcher.request_ids_ = vorn::aws::RandomSource(seed ^ 0x5265717565737449ull);
  if (handlers == nullptr || handlers == Py_None) return dispatcher;
  PyObject* handlers_type = run_type(RunType::kHandlers);
  if (handlers_type == nullptr) return std::nullopt;
  const int is_handlers = PyObject_IsInstance(handlers, handlers_type);
  if (is_handlers < 0) return std::nullopt;
  if (is_handlers == 0) {
    py::raise_argument_type("handlers", handlers, "Handlers");
    return std::nullopt;
  }
  dispatcher.by_resource_ = attribute(handlers, kByResource);
  dispatcher.by_function_ = attribute(handlers, kByFunction);
  dispatcher.fallback_ = attribute(handlers, kDefault);
  if (!dispatcher.by_resource_ || !dispatcher.by_function_ || !dispatcher.fallback_) {
    return std::nullopt;
  }
  if (!PyDict_Check(dispatcher.by_resource_.get()) ||
      !PyDict_Check(dispatcher.by_function_.get())) {
    py::raise(PyExc_TypeError, "handlers: its tables were replaced by something else than dicts");
    return std::nullopt;
  }
  if (dispatcher.fallback_.get() == Py_None) dispatcher.fallback_ = py::Ref();
  return dispatcher;
}

const StepTexts* TaskDispatcher::texts_for(const TaskCall& call) {
  auto [entry, added] = step_texts_->try_emplace(call.task);
  StepTexts& texts = entry->second;
  if (added || !texts.resource) {
    const vorn::aws::TaskStep& step = *call.task;
    texts.resource = py::new_str(step.resource);
    texts.state_name = py::new_str(call.state_name);
    if (step.target.kind == vorn::aws::ResourceKind::kLambdaFunction) {
      texts.function_name = py::new_str(step.target.name);
    }
    texts.context = context_template(texts);
    const bool made =
        texts.resource && texts.state_name && texts.context &&
        (texts.function_name || step.target.kind != vorn::aws::ResourceKind::kLambdaFunction);
    if (!made) {
      step_texts_->erase(entry);
      return nullptr;
    }
  }
  return &texts;
}

std::optional<TaskDispatcher::Found> TaskDispatcher::find(const TaskCall& call,
                                                           const StepTexts& texts) {
  const vorn::aws::TaskStep& step = *call.task;
  // Lambda code is mostly registered by function name alone, which leaves
  // this table empty; a lookup there would only miss.
  if (by_resource_ && PyDict_GET_SIZE(by_resource_.get()) != 0) {
    if (PyObject* handler = PyDict_GetItemWithError(by_resource_.get(), texts.resource.get())) {
      return Found{py::Ref::borrow(handler), Mode::kService};
    }
    if (PyErr_Occurred()) return std::nullopt;
  }
  // A direct ARN names its function once for all attempts; a lambda:invoke
  // names it in each attempt's input.
  std::string function_name;
  py::Ref function_key = texts.function_name;
  Mode mode = function_key ? Mode::kLambdaDirect : Mode::kService;
  if (step.target.is_lambda_invoke() && call.input.is_object()) {
    const vorn::aws::Value* name = call.input.find("FunctionName");
    if (name != nullptr && name->is_string()) {
      function_name = vorn::aws::lambda_function_name(name->as_string());
      mode = Mode::kLambdaInvoke;
      if (!function_name.empty()) {
        function_key = py::new_str(function_name);
        if (!function_key) return std::nullopt;
      }
    }
  }
  if (by_function_ && function_key) {
    if (PyObject* handler = PyDict_GetItemWithError(by_function_.get(), function_key.get())) {
      return Found{py::Ref::borrow(handler), mode};
    }
    if (PyErr_Occurred()) return std::nullopt;
  }
  if (fallback_) return Found{fallback_, Mode::kService};
  PyObject* missing = run_type(RunType::kMissingHandler);
  if (missing == nullptr) return std::nullopt;
  const std::string& named = mode == Mode::kLambdaInvoke ? function_name : step.resource;
  py::Ref exception = py::Ref::steal(PyObject_CallFunction(missing, "s#", named.data(),
                                                           static_cast<Py_ssize_t>(named.size())));
  if (exception) PyErr_SetObject(missing, exception.get());
  return std::nullopt;
}

py::Ref TaskDispatcher::context_for(const TaskCall& call, const StepTexts& texts,
                                    PyObject* execution_name) {
  // Each attempt gets a dict of its own, which its handler may keep or
  // change. Copying the step's costs far less than filling a dict key by
  // key; only what differs from it is set.
  py::Ref context = py::Ref::steal(PyDict_Copy(texts.context.get()));
  if (!context || !set_item(context.get(), kExecutionName, execution_name)) return {};
  if (call.attempt != 0) {
    py::Ref attempt = py::Ref::steal(PyLong_FromLongLong(call.attempt));
    if (!attempt || !set_item(context.get(), kAttempt, attempt.get())) return {};
  }
  if (call.task_token) {
    py::Ref token = py::new_str(*call.task_token);
    if (!token || !set_item(context.get(), kTaskToken, token.get())) return {};
  }
  return context;
}

std::optional<TaskOutcome> TaskDispatcher::run(const TaskCall& call, PyObject* execution_name,
                                               bool real_clock) {
  const StepTexts* texts = texts_for(call);
  if (texts == nullptr) return std::nullopt;
  const auto found = find(call, *texts);
  if (!found) return std::nullopt;
  const bool invoke = found->mode == Mode::kLambdaInvoke;
  py::Ref event =
      to_python(invoke ? vorn::aws::lambda_invoke_event(call.input) : call.input, &event_keys_);
  py::Ref context = context_for(call, *texts, execution_name);
  if (!event || !context) return std::nullopt;
  // The handler may drop its table entry while it runs; hold it ourselves.
  const py::Ref handler = found->handler;
  const auto started = std::chrono::steady_clock::now();
  PyObject* arguments[] = {event.get(), context.get()};
  py::Ref result = py::Ref::steal(PyObject_Vectorcall(handler.get(), arguments, 2, nullptr));
  const vorn::aws::Duration wall =
      real_clock ? std::chrono::steady_clock::now() - started : vorn::aws::Duration(0);
  if (!result) return failure_of(found->mode);
  return outcome_of(std::move(result), found->mode, call, wall);
}

std::optional<TaskOutcome> TaskDispatcher::outcome_of(py::Ref result, Mode mode,
                                                      const TaskCall& call,
                                                      vorn::aws::Duration elapsed) {
  PyObject* elapsed_type = run_type(RunType::kElapsed);
  if (elapsed_type == nullptr) return std::nullopt;
  if (Py_IS_TYPE(result.get(), reinterpret_cast<PyTypeObject*>(elapsed_type))) {
    py::Ref seconds = attribute(result.get(), kSeconds);
    py::Ref value = attribute(result.get(), kValue);
    if (!seconds || !value) return std::nullopt;
    const double declared = PyFloat_AsDouble(seconds.get());
    if (declared == -1.0 && PyErr_Occurred()) return std::nullopt;
    // On the real clock the call's own time counts too: the longer one wins.
    const auto as_duration = std::chrono::duration_cast<vorn::aws::Duration>(
        std::chrono::duration<double>(std::min(declared, 9.2e9)));
    elapsed = std::max(elapsed, as_duration);
    result = std::move(value);
  }
  PyObject* pending_type = run_type(RunType::kPending);
  if (pending_type == nullptr) return std::nullopt;
  if (Py_IS_TYPE(result.get(), reinterpret_cast<PyTypeObject*>(pending_type))) {
    return pending_outcome(result.get(), call, elapsed);
  }
  auto converted = from_python(result.get());
  if (!converted.ok()) {
    if (converted.error().python_error || mode == Mode::kService) {
      raise_conversion_error(converted.error(), "the handler of '" + call.task->resource +
                                                    "' returned a value JSON cannot hold");
      return std::nullopt;
    }
    const std::string request_id = vorn::aws::random_uuid(request_ids_);
    return TaskOutcome::failed(vorn::aws::lambda_marshal_error(converted.error().message,
                                                               request_id,
                                                               style_of(mode == Mode::kLambdaInvoke)),
                               elapsed);
  }
  if (mode == Mode::kLambdaInvoke) {
    const std::string request_id = vorn::aws::random_uuid(request_ids_);
    return TaskOutcome::succeeded(
        vorn::aws::lambda_invoke_response(std::move(converted).value(), request_id), elapsed);
  }
  return TaskOutcome::succeeded(std::move(converted).value(), elapsed);
}

std::optional<TaskOutcome> TaskDispatcher::pending_outcome(PyObject* pending, const TaskCall& call,
                                                           vorn::aws::Duration elapsed) {
  if (!can_wait(*call.task)) {
    py::raise(PyExc_ValueError, "the handler of '" + call.task->resource +
                                    "' returned Pending, but only .waitForTaskToken and .sync "
                                    "integrations and activities wait for a callback");
    return std::nullopt;
  }
  py::Ref response = attribute(pending, kResponse);
  if (!response) return std::nullopt;
  auto converted = from_python(response.get());
  if (!converted.ok()) {
    raise_conversion_error(converted.error(), "the response of the handler of '" +
                                                  call.task->resource + "'");
    return std::nullopt;
  }
  return TaskOutcome::pending(std::move(converted).value(), elapsed);
}

std::optional<TaskOutcome> TaskDispatcher::failure_of(Mode mode) {
  // Only an Exception fails the task; KeyboardInterrupt, SystemExit and
  // their kin stop the run and reach the caller.
  if (!PyErr_ExceptionMatches(PyExc_Exception)) return std::nullopt;
  py::Ref exception = py::fetch_exception();
  PyObject* task_failed = run_type(RunType::kTaskFailed);
  if (task_failed == nullptr) return std::nullopt;
  const int is_task_failed = PyObject_IsInstance(exception.get(), task_failed);
  if (is_task_failed < 0) return std::nullopt;
  if (is_task_failed == 1) {
    TaskError failure;
    if (!optional_text(exception.get(), kError, failure.error) ||
        !optional_text(exception.get(), kCause, failure.cause)) {
      return std::nullopt;
    }
    return TaskOutcome::failed(std::move(failure));
  }
  const std::string type_name = Py_TYPE(exception.get())->tp_name;
  // The unqualified class name, as Lambda reports it ("ValueError", not
  // "builtins.ValueError"; "CustomException", not "handler.CustomException").
  const std::size_t dot = type_name.rfind('.');
  const std::string error_type = dot == std::string::npos ? type_name : type_name.substr(dot + 1);
  const std::vector<std::string> frames = stack_frames(exception.get());
  const std::string request_id = vorn::aws::random_uuid(request_ids_);
  return TaskOutcome::failed(vorn::aws::lambda_exception(error_type, message_of(exception.get()),
                                                         frames, request_id,
                                                         style_of(mode == Mode::kLambdaInvoke)));
}

int TaskDispatcher::traverse(visitproc visit, void* arg) {
  Py_VISIT(by_resource_.get());
  Py_VISIT(by_function_.get());
  Py_VISIT(fallback_.get());
  return 0;
}

void TaskDispatcher::clear() {
  by_resource_ = py::Ref();
  by_function_ = py::Ref();
  fallback_ = py::Ref();
}

}  // namespace pyvorn::aws_binding
