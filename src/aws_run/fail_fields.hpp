// A Fail state's ErrorPath and CausePath: reference paths read from the
// state's raw input (or, for "$$" paths, the context object), or intrinsic
// calls evaluated over it, when the state runs, giving the error name and the
// cause it fails with.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "aws_data/intrinsic_call.hpp"
#include "aws_data/json_path.hpp"
#include "aws_data/random_source.hpp"
#include "aws_data/value.hpp"
#include "aws_run/data_flow_failure.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// What an ErrorPath or CausePath holds.
using FailFieldSource = std::variant<JsonPath, IntrinsicCall>;

bool fail_field_reads_context(const FailFieldSource& source);

// The string the field gives. A path that finds nothing, or a path or call
// that gives something other than a string, is a States.Runtime failure; a
// failing call fails as it would in a template. `field_name` ("ErrorPath",
// "CausePath") is what the cause names.
Result<std::string, DataFlowFailure> fail_field_text(const FailFieldSource& source,
                                                     std::string_view field_name,
                                                     const Value& raw_input, const Value& context,
                                                     RandomSource& random);

}  // namespace vorn::aws
