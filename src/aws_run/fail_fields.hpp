// A Fail state's ErrorPath and CausePath: reference paths read from the
// state's raw input (or, for "$$" paths, the context object) when the state
// runs, giving the error name and the cause it fails with.
#pragma once

#include <string>
#include <string_view>

#include "aws_data/json_path.hpp"
#include "aws_data/value.hpp"
#include "aws_run/data_flow_failure.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// The string at `path`. A path that finds nothing, or finds something other
// than a string, is a States.Runtime failure; `field_name` ("ErrorPath",
// "CausePath") is what its cause names.
Result<std::string, DataFlowFailure> fail_field_text(const JsonPath& path,
                                                     std::string_view field_name,
                                                     const Value& raw_input, const Value& context);

}  // namespace vorn::aws
