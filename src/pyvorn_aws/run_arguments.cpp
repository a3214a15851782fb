#include "run_arguments.hpp"

#include <utility>

#include "aws_data/payload_size.hpp"
#include "aws_data/random_source.hpp"
#include "aws_run/data_flow_failure.hpp"
#include "python_to_value.hpp"

namespace pyvorn::aws_binding {

std::optional<std::uint64_t> seed_argument(PyObject* seed) {
  if (seed == nullptr) return 0;
  if (!PyLong_Check(seed) || PyBool_Check(seed)) {
    py::raise_argument_type("seed", seed, "int");
    return std::nullopt;
  }
  // The source takes 64 bits; a seed outside them is refused rather than
  // wrapped, which would make two different seeds give the same run.
  const unsigned long long bits = PyLong_AsUnsignedLongLong(seed);
  if (bits == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return std::nullopt;
    PyErr_Clear();
    py::raise(PyExc_ValueError, "seed must be between 0 and 2**64 - 1");
    return std::nullopt;
  }
  return bits;
}

std::optional<vorn::aws::Value> input_argument(PyObject* input) {
  // No input is an empty object, as StartExecution gives; None is JSON null.
  if (input == nullptr) return vorn::aws::Value::object();
  auto value = from_python(input);
  if (!value.ok()) {
    raise_conversion_error(value.error(), "input");
    return std::nullopt;
  }
  if (vorn::aws::compact_size_up_to(*value, vorn::aws::kMaxPayloadBytes) >
      vorn::aws::kMaxPayloadBytes) {
    py::raise(PyExc_ValueError, "input: larger than the " +
                                    std::to_string(vorn::aws::kMaxPayloadBytes) +
                                    " bytes AWS accepts as an execution's input");
    return std::nullopt;
  }
  return std::move(value).value();
}

std::optional<std::string> name_argument(PyObject* name, std::uint64_t seed) {
  if (name == nullptr || name == Py_None) {
    // Unnamed executions get a UUID, as StartExecution gives them; drawn
    // from the seed so a run is reproducible.
    vorn::aws::RandomSource names(seed ^ 0x4e616d6573ull);
    return vorn::aws::random_uuid(names);
  }
  const auto text = py::utf8_argument(name, "name");
  if (!text) return std::nullopt;
  if (!is_valid_execution_name(*text)) {
    py::raise(PyExc_ValueError, "Invalid Name: '" + std::string(*text) + "'");
    return std::nullopt;
  }
  return std::string(*text);
}

vorn::aws::ExecutionIdentity execution_identity(const MachineIdentity& machine, bool express,
                                                std::string name) {
  vorn::aws::ExecutionIdentity identity;
  identity.arn = "arn:aws:states:" + machine.region + ":" + machine.account + ":" +
                 (express ? "express:" : "execution:") + machine.name + ":" + name;
  identity.name = std::move(name);
  identity.machine_name = machine.name;
  identity.machine_arn = machine.arn();
  identity.role_arn = "arn:aws:iam::" + machine.account + ":role/service-role/StepFunctions-" +
                      machine.name + "-role";
  identity.region = machine.region;
  return identity;
}

}  // namespace pyvorn::aws_binding
