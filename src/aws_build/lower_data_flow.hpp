// Lowering a checked state's data-flow fields (InputPath, Parameters,
// Result, ResultSelector, ResultPath, OutputPath) into the StateDataFlow the
// interpreter runs, parsing every path and compiling every template once.
//
// The state must come from a Definition the checker accepted; what it could
// not have accepted is still reported, never assumed away. The returned flow
// owns its paths and templates and shares literal payloads with the state.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "aws_build/definition.hpp"
#include "aws_run/data_flow.hpp"
#include "aws_run/fail_fields.hpp"
#include "base/result.hpp"

namespace vorn::aws {

struct LoweringError {
  // Set when the state uses something this toolkit cannot run yet (an
  // intrinsic function, a JSONata state); the definition itself is valid.
  bool unsupported = false;
  std::string message;
};

Result<StateDataFlow, LoweringError> lower_data_flow(const State& state);

// A payload template field (`field_name`: "Parameters", "Credentials"),
// compiled once; absent stays absent. An intrinsic call in it is refused as
// unsupported for now.
Result<std::optional<PayloadTemplate>, LoweringError> lower_template(
    const std::optional<Value>& written, std::string_view field_name, std::string_view state_name);

// A catcher's ResultPath, or any of a state's path fields on its own.
// `field_name` names it in the error: "ResultPath".
Result<PathSetting, LoweringError> lower_path_field(const PathField& path_field,
                                                    std::string_view field_name,
                                                    std::string_view state_name);

// A Fail state's ErrorPath or CausePath (`field_name`): a path or an
// intrinsic call, parsed once; absent stays absent.
Result<std::optional<FailFieldSource>, LoweringError> lower_fail_path(
    const std::optional<std::string>& text, std::string_view field_name,
    std::string_view state_name);

// What a States.DataLimitExceeded cause names for a Task with this
// resource: the function ARN of a direct Lambda resource, the service of an
// "arn:aws:states:::<service>:<action>" integration, else the resource.
std::string data_limit_subject_of_task(std::string_view resource);

}  // namespace vorn::aws
