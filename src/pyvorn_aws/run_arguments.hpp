// The arguments StateMachine.start_execution and StateMachine.test_state
// share, read as both read them, and the identity a run shows in $$ and its
// ARNs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "aws_data/value.hpp"
#include "aws_run/execution.hpp"
#include "machine_identity.hpp"
#include "py_binding/py.hpp"

namespace pyvorn::aws_binding {

// Any int; its low 64 bits seed the run. Absent is 0.
std::optional<std::uint64_t> seed_argument(PyObject* seed);

// A run's input: any JSON value within the payload limit (ValueError past
// it). Absent is an empty object, as StartExecution gives; None is null.
std::optional<vorn::aws::Value> input_argument(PyObject* input);

// The given execution name, checked as AWS checks it; absent or None draws a
// UUID from the seed, so an unnamed run is still reproducible.
std::optional<std::string> name_argument(PyObject* name, std::uint64_t seed);

// The run's name, ARNs and role under the machine's name, region and account.
vorn::aws::ExecutionIdentity execution_identity(const MachineIdentity& machine, bool express,
                                                std::string name);

}  // namespace pyvorn::aws_binding
