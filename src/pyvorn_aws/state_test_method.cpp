#include "state_test_method.hpp"

#include <chrono>
#include <optional>
#include <string>

#include "aws_data/write.hpp"
#include "aws_run/clock.hpp"
#include "aws_run/state_test.hpp"
#include "run_arguments.hpp"
#include "task_dispatch.hpp"

namespace pyvorn::aws_binding {

namespace {

using vorn::aws::StateInspection;
using vorn::aws::StateTestResult;

constexpr const char* kArgumentNames[] = {"state_name", "input", "handlers", "inspection_level",
                                          "seed"};

py::StaticString kOutput("output");
py::StaticString kError("error");
py::StaticString kCause("cause");
py::StaticString kInspectionData("inspectionData");
py::StaticString kNextState("nextState");
py::StaticString kStatus("status");
py::StaticString kInput("input");
py::StaticString kAfterInputPath("afterInputPath");
py::StaticString kAfterParameters("afterParameters");
py::StaticString kResult("result");
py::StaticString kAfterResultSelector("afterResultSelector");
py::StaticString kAfterResultPath("afterResultPath");
py::StaticString kErrorDetails("errorDetails");
py::StaticString kRetryIndex("retryIndex");
py::StaticString kRetryBackoff("retryBackoffIntervalSeconds");
py::StaticString kCatchIndex("catchIndex");

bool set_item(PyObject* dict, py::StaticString& key, py::Ref value) {
  return value && key.get() != nullptr && PyDict_SetItem(dict, key.get(), value.get()) == 0;
}

// TestState hands every payload back as JSON text, compact as AWS writes it.
bool set_json(PyObject* dict, py::StaticString& key, const std::optional<vorn::aws::Value>& value) {
  return !value || set_item(dict, key, py::new_str(vorn::aws::write_json(*value)));
}

bool set_text(PyObject* dict, py::StaticString& key, const std::optional<std::string>& text) {
  return !text || set_item(dict, key, py::new_str(*text));
}

bool set_int(PyObject* dict, py::StaticString& key, long long value) {
  return set_item(dict, key, py::Ref::steal(PyLong_FromLongLong(value)));
}

// INFO shows no inspection data; TRACE adds the HTTP exchange of an HTTP
// Task to DEBUG's, and no Task here speaks HTTP, so it reads as DEBUG.
std::optional<bool> inspects_argument(PyObject* level) {
  if (level == nullptr) return false;
  const auto text = py::utf8_argument(level, "inspection_level");
  if (!text) return std::nullopt;
  if (*text == "INFO") return false;
  if (*text == "DEBUG" || *text == "TRACE") return true;
  py::raise(PyExc_ValueError, "inspection_level must be \"INFO\", \"DEBUG\" or \"TRACE\", got '" +
                                  std::string(*text) + "'");
  return std::nullopt;
}

py::Ref error_details(const StateInspection& inspection) {
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict) return {};
  PyObject* d = dict.get();
  if (inspection.retry_index) {
    // AWS gives whole seconds; a retry's first delay is IntervalSeconds or
    // MaxDelaySeconds, both whole, unless jitter drew a fraction of it.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        inspection.retry_backoff.value_or(vorn::aws::RetryDelay{0}));
    if (!set_int(d, kRetryIndex, static_cast<long long>(*inspection.retry_index)) ||
        !set_int(d, kRetryBackoff, seconds.count())) {
      return {};
    }
  }
  if (inspection.catch_index &&
      !set_int(d, kCatchIndex, static_cast<long long>(*inspection.catch_index))) {
    return {};
  }
  return dict;
}

py::Ref inspection_data(const StateInspection& inspection) {
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict) return {};
  PyObject* d = dict.get();
  const bool ok = set_json(d, kInput, inspection.input) &&
                  set_json(d, kAfterInputPath, inspection.after_input_path) &&
                  set_json(d, kAfterParameters, inspection.after_parameters) &&
                  set_json(d, kResult, inspection.result) &&
                  set_json(d, kAfterResultSelector, inspection.after_result_selector) &&
                  set_json(d, kAfterResultPath, inspection.after_result_path);
  if (!ok) return {};
  if ((inspection.retry_index || inspection.catch_index) &&
      !set_item(d, kErrorDetails, error_details(inspection))) {
    return {};
  }
  return dict;
}

// TestState's response: members AWS leaves out are left out.
py::Ref response(const StateTestResult& result, bool inspects) {
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict) return {};
  PyObject* d = dict.get();
  const bool ok =
      set_json(d, kOutput, result.output) && set_text(d, kError, result.failure.error) &&
      set_text(d, kCause, result.failure.cause) &&
      (!inspects || set_item(d, kInspectionData, inspection_data(result.inspection))) &&
      set_text(d, kNextState, result.next_state) &&
      set_item(d, kStatus, py::new_str(vorn::aws::state_test_status_name(result.status)));
  return ok ? std::move(dict) : py::Ref();
}

}  // namespace

PyObject* test_state(const MachineRuntime& runtime, const MachineIdentity& identity, bool express,
                     PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* given[5] = {};
  if (!py::parse_arguments("test_state", args, nargs, kwnames, kArgumentNames, given, 2)) {
    return nullptr;
  }
  if (nargs > 2) {
    py::raise(PyExc_TypeError, "test_state() takes at most 2 positional arguments");
    return nullptr;
  }
  const auto state_name = py::utf8_argument(given[0], "state_name");
  if (!state_name) return nullptr;
  // The program is shared with executions and outlives this call even if a
  // handler drops the machine.
  std::shared_ptr<const vorn::aws::Program> program = runtime.program;
  const auto index = vorn::aws::find_top_level_state(*program, *state_name);
  if (!index) {
    py::raise(PyExc_ValueError, "state_name: the machine '" + identity.name +
                                    "' has no state named '" + std::string(*state_name) + "'");
    return nullptr;
  }
  const auto inspects = inspects_argument(given[3]);
  if (!inspects) return nullptr;
  const auto seed = seed_argument(given[4]);
  if (!seed) return nullptr;
  auto input = input_argument(given[1]);
  if (!input) return nullptr;
  auto name = name_argument(nullptr, *seed);
  if (!name) return nullptr;
  auto tasks = TaskDispatcher::create(given[2], *seed, runtime.step_texts);
  if (!tasks) return nullptr;
  py::Ref name_object = py::new_str(*name);
  if (!name_object) return nullptr;

  vorn::aws::StateTestSetup setup{execution_identity(identity, express, std::move(*name)),
                                  vorn::aws::RealClock().now(), *seed};
  // Handler time is not measured: as on start_execution's virtual clock, only
  // an Elapsed answer takes time, so a test never depends on the machine's speed.
  const auto result = vorn::aws::run_state_test(
      *program, *index, std::move(*input), setup,
      [&](const vorn::aws::TaskCall& call) -> std::optional<vorn::aws::TaskOutcome> {
        auto outcome = tasks->run(call, name_object.get(), false);
        // TestState calls a task once and reports what it answered; a
        // submitted task would never answer.
        if (outcome && outcome->kind == vorn::aws::TaskOutcome::Kind::kPending) {
          py::raise(PyExc_ValueError, "test_state: the handler of '" + call.task->resource +
                                          "' returned Pending; TestState runs no callback, so "
                                          "answer with the callback's output instead");
          return std::nullopt;
        }
        return outcome;
      });
  if (!result) return nullptr;
  return response(*result, *inspects).release();
}

}  // namespace pyvorn::aws_binding
