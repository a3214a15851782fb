#include "data_flow.hpp"

#include <utility>

#include "aws_data/placement.hpp"
#include "aws_run/payload_size.hpp"
#include "aws_run/template_evaluation.hpp"

namespace vorn::aws {

namespace {

DataFlowFailure invalid_path(const JsonPath& path, const PathMiss& miss) {
  return {DataFlowFailure::Kind::kRuntime,
          "Invalid path '" + std::string(path.text()) + "' : " + to_string(miss)};
}

// A selection that lies inside `document` (or is `document`) is no larger
// than it, so a document known to be within the limit needs no measuring.
struct Selected {
  Value value;
  bool inside_document = true;
};

// InputPath and OutputPath: absent keeps the whole, null gives {}, a path
// selects (from the context object for "$$").
Result<Selected, DataFlowFailure> select(const PathSetting& setting, const Value& document,
                                         const Value& context) {
  switch (setting.kind) {
    case PathSetting::Kind::kAbsent:
      return Selected{document, true};
    case PathSetting::Kind::kNull:
      return Selected{Value::object(), true};
    case PathSetting::Kind::kPath:
      break;
  }
  const JsonPath& path = setting.path;
  VORN_TRY_ASSIGN(Value found, read_path_field(path, document, context));
  // An indefinite path gathers its matches into a new array, and a deep scan
  // may gather one value many times over: only a definite one stays inside.
  return Selected{std::move(found), path.is_definite() && !path.is_context()};
}

// Whether `a` and `b` are one shared container node: a state that hands its
// input on unchanged (the plain Pass) then needs no measuring.
bool same_container(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  if (a.is_object()) return a.members().data() == b.members().data() && a.size() == b.size();
  if (a.is_array()) return a.items().data() == b.items().data() && a.size() == b.size();
  return false;
}

Result<Value, DataFlowFailure> finish(const StateDataFlow& flow, Selected output) {
  if (!output.inside_document) VORN_TRY(check_payload_size(output.value, flow.limit_subject));
  return std::move(output.value);
}

}  // namespace

std::string data_limit_cause(std::string_view subject) {
  return "The state/task '" + std::string(subject) +
         "' returned a result with a size exceeding the maximum number of bytes service limit.";
}

Result<void, DataFlowFailure> check_payload_size(const Value& payload, std::string_view subject) {
  if (compact_size_up_to(payload, kMaxPayloadBytes) <= kMaxPayloadBytes) return {};
  return fail(DataFlowFailure{DataFlowFailure::Kind::kDataLimit, data_limit_cause(subject)});
}

Result<Value, DataFlowFailure> read_path_field(const JsonPath& path, const Value& document,
                                               const Value& context) {
  auto found = path.evaluate(path.is_context() ? context : document);
  if (!found.ok()) return fail(invalid_path(path, found.error()));
  return std::move(found).value();
}

Result<Value, DataFlowFailure> effective_input(const StateDataFlow& flow, const Value& raw_input,
                                               const Value& context) {
  VORN_TRY_ASSIGN(Selected selected, select(flow.input_path, raw_input, context));
  // Bounding E bounds everything built from it, down to the input text a
  // failing template quotes.
  return finish(flow, std::move(selected));
}

Result<Value, DataFlowFailure> task_input(const StateDataFlow& flow, const Value& effective,
                                          const Value& context) {
  if (!flow.parameters) return effective;
  VORN_TRY_ASSIGN(Value input, evaluate_template(*flow.parameters, effective, context));
  VORN_TRY(check_payload_size(input, flow.limit_subject));
  return input;
}

Result<Value, DataFlowFailure> pass_result(const StateDataFlow& flow, const Value& raw_input,
                                           const Value& context) {
  if (flow.result) return *flow.result;
  VORN_TRY_ASSIGN(Value effective, effective_input(flow, raw_input, context));
  if (!flow.parameters) return effective;
  return evaluate_template(*flow.parameters, effective, context);
}

Result<void, DataFlowFailure> check_task_result(const StateDataFlow& flow, const Value& result) {
  return check_payload_size(result, flow.limit_subject);
}

Result<Value, DataFlowFailure> apply_result_path(const PathSetting& result_path,
                                                 const Value& raw_input, Value value) {
  switch (result_path.kind) {
    case PathSetting::Kind::kAbsent:
      return value;
    case PathSetting::Kind::kNull:
      return raw_input;
    case PathSetting::Kind::kPath:
      break;
  }
  auto placed = place(raw_input, result_path.path, std::move(value));
  if (!placed.ok()) {
    return fail(DataFlowFailure{DataFlowFailure::Kind::kPlacement, to_string(placed.error())});
  }
  return std::move(placed).value();
}

Result<Value, DataFlowFailure> state_output(const StateDataFlow& flow, const Value& raw_input,
                                            Value result, const Value& context) {
  if (flow.result_selector) {
    VORN_TRY_ASSIGN(result, evaluate_template(*flow.result_selector, result, context));
  }
  const bool result_dropped = flow.result_path.kind == PathSetting::Kind::kNull;
  VORN_TRY_ASSIGN(Value placed, apply_result_path(flow.result_path, raw_input, std::move(result)));
  VORN_TRY_ASSIGN(Selected output, select(flow.output_path, placed, context));
  // With the result dropped, the output lies inside the raw input, which
  // the caller guarantees is within the limit.
  output.inside_document =
      (output.inside_document && result_dropped) || same_container(output.value, raw_input);
  return finish(flow, std::move(output));
}

Result<Value, DataFlowFailure> pass_through_output(const StateDataFlow& flow,
                                                   const Value& effective, const Value& context) {
  VORN_TRY_ASSIGN(Selected output, select(flow.output_path, effective, context));
  return finish(flow, std::move(output));
}

}  // namespace vorn::aws
