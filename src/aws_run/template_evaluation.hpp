// Evaluating a compiled payload template (Parameters, ResultSelector,
// ItemSelector) against the value it reads and the context object.
//
// A ".$" member's path reads the template's input, or the context object for
// a "$$" path; every other member is kept as written, and members come out in
// the template's order. Literal subtrees are shared with the template, so an
// evaluation allocates only for the objects and arrays that hold dynamic
// members. Neither the template nor the inputs are changed.
#pragma once

#include <string_view>

#include "aws_data/intrinsic_call.hpp"
#include "aws_data/payload_template.hpp"
#include "aws_data/random_source.hpp"
#include "aws_data/value.hpp"
#include "aws_run/data_flow_failure.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// The payload the template describes. A definite path that finds nothing,
// in a member or as an intrinsic call's argument, is a States.Runtime failure
// quoting the path, the member's written key and the input as compact JSON.
// An intrinsic function that fails is a States.IntrinsicFailure naming the
// function and the member. UUID and MathRandom draw from `random`.
Result<Value, DataFlowFailure> evaluate_template(const PayloadTemplate& payload_template,
                                                 const Value& input, const Value& context,
                                                 RandomSource& random);

// One intrinsic call standing alone as a field's value (a Fail state's
// ErrorPath or CausePath), failing as a template member named `field_name`
// would.
Result<Value, DataFlowFailure> evaluate_call_field(const IntrinsicCall& call,
                                                   std::string_view field_name, const Value& input,
                                                   const Value& context, RandomSource& random);

// Whether any ".$" member of the template is a "$$" path, so a caller can
// skip building the context object for templates that never read it.
bool template_reads_context(const PayloadTemplate& payload_template);

}  // namespace vorn::aws
