// Evaluating a compiled payload template (Parameters, ResultSelector,
// ItemSelector) against the value it reads and the context object.
//
// A ".$" member's path reads the template's input, or the context object for
// a "$$" path; every other member is kept as written, and members come out in
// the template's order. Literal subtrees are shared with the template, so an
// evaluation allocates only for the objects and arrays that hold dynamic
// members. Neither the template nor the inputs are changed.
#pragma once

#include "aws_data/payload_template.hpp"
#include "aws_data/value.hpp"
#include "aws_run/data_flow_failure.hpp"
#include "base/result.hpp"

namespace vorn::aws {

// The payload the template describes. A definite path that finds nothing is a
// States.Runtime failure quoting the path, the member's written key and the
// input as compact JSON. An intrinsic call is not evaluated here: it fails
// with kIntrinsicCall (definitions holding one are refused before they run).
Result<Value, DataFlowFailure> evaluate_template(const PayloadTemplate& payload_template,
                                                 const Value& input, const Value& context);

// Whether any ".$" member of the template is a "$$" path, so a caller can
// skip building the context object for templates that never read it.
bool template_reads_context(const PayloadTemplate& payload_template);

// Whether the template holds an intrinsic call anywhere.
bool template_has_intrinsic_call(const PayloadTemplate& payload_template);

}  // namespace vorn::aws
