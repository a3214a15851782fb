#include "data_flow.hpp"

#include <utility>

#include "aws_data/payload_size.hpp"
#include "aws_data/placement.hpp"
#include "aws_data/write.hpp"
#include "aws_run/template_evaluation.hpp"

namespace vorn::aws {

namespace {

DataFlowFailure invalid_path(const JsonPath& path, const PathMiss& miss) {
  return {DataFlowFailure::Kind::kRuntime,
          "Invalid path '" + std::string(path.text()) + "' : " + to_string(miss)};
}

DataFlowFailure data_limit(std::string_view subject) {
  return {DataFlowFailure::Kind::kDataLimit, data_limit_cause(subject)};
}

std::size_t saturating_add(std::size_t a, std::size_t b) {
  return a > SizedValue::kUnknownSize - b ? SizedValue::kUnknownSize : a + b;
}

// A value whose size nothing bounds yet, counted only as far as the limit:
// the bound is exact when it fits, unknown when it does not.
SizedValue counted(Value value) {
  const std::size_t size = compact_size_up_to(value, kMaxPayloadBytes);
  return {std::move(value), size <= kMaxPayloadBytes ? size : SizedValue::kUnknownSize};
}

// The most a placement at `path` can add besides the value placed: per
// member step the key (each byte escaped at worst to six), its quotes, colon
// and comma, and the braces of an object the step may create.
std::size_t placement_overhead(const JsonPath& path) {
  std::size_t overhead = 0;
  for (const PathStep& step : path.steps()) {
    if (step.kind == PathStep::Kind::kMember) overhead += 6 * step.names[0].size() + 6;
  }
  return overhead;
}

// InputPath and OutputPath: absent keeps the whole, null gives {}, a path
// selects (from the context object for "$$"). A definite selection lies
// inside the document and keeps its bound; an indefinite one gathers its
// matches into a new array, repeating them under a deep scan, so it is counted.
Result<SizedValue, DataFlowFailure> select(const PathSetting& setting, const SizedValue& document,
                                           const Value& context) {
  switch (setting.kind) {
    case PathSetting::Kind::kAbsent:
      return document;
    case PathSetting::Kind::kNull:
      return SizedValue{Value::object(), 2};
    case PathSetting::Kind::kPath:
      break;
  }
  const JsonPath& path = setting.path;
  VORN_TRY_ASSIGN(Value found, read_path_field(path, document.value, context));
  if (path.is_definite() && !path.is_context())
    return SizedValue{std::move(found), document.size_bound};
  return counted(std::move(found));
}

// The size limit on a payload leaving a step: free while its bound is
// within the limit, a count (which tightens the bound) otherwise.
Result<SizedValue, DataFlowFailure> within_limit(SizedValue payload, std::string_view subject) {
  if (payload.size_bound <= kMaxPayloadBytes) return payload;
  SizedValue recounted = counted(std::move(payload.value));
  if (recounted.size_bound > kMaxPayloadBytes) return fail(data_limit(subject));
  return recounted;
}

}  // namespace

SizedValue measured(Value value) {
  const std::size_t size = compact_size(value);
  return {std::move(value), size};
}

Result<SizedValue, DataFlowFailure> checked_payload(Value value, std::string_view subject) {
  return within_limit(SizedValue{std::move(value), SizedValue::kUnknownSize}, subject);
}

std::string data_limit_cause(std::string_view subject) {
  return "The state/task '" + std::string(subject) +
         "' returned a result with a size exceeding the maximum number of bytes service limit.";
}

Result<void, DataFlowFailure> check_payload_size(const Value& payload, std::string_view subject) {
  if (compact_size_up_to(payload, kMaxPayloadBytes) <= kMaxPayloadBytes) return {};
  return fail(data_limit(subject));
}

Result<Value, DataFlowFailure> read_path_field(const JsonPath& path, const Value& document,
                                               const Value& context) {
  auto found = path.evaluate(path.is_context() ? context : document);
  if (!found.ok()) return fail(invalid_path(path, found.error()));
  return std::move(found).value();
}

Result<SizedValue, DataFlowFailure> effective_input(const StateDataFlow& flow,
                                                    const SizedValue& raw_input,
                                                    const Value& context) {
  VORN_TRY_ASSIGN(SizedValue selected, select(flow.input_path, raw_input, context));
  // Bounding E bounds everything built from it, down to the input text a
  // failing template quotes.
  return within_limit(std::move(selected), flow.limit_subject);
}

Result<SizedValue, DataFlowFailure> task_input(const StateDataFlow& flow,
                                               const SizedValue& effective, const Value& context,
                                               RandomSource& random) {
  if (!flow.parameters) return effective;
  VORN_TRY_ASSIGN(Value input,
                  evaluate_template(*flow.parameters, effective.value, context, random));
  return within_limit(counted(std::move(input)), flow.limit_subject);
}

Result<SizedValue, DataFlowFailure> pass_result(const StateDataFlow& flow,
                                                const SizedValue& raw_input, const Value& context,
                                                RandomSource& random) {
  if (flow.result) return *flow.result;
  VORN_TRY_ASSIGN(SizedValue effective, effective_input(flow, raw_input, context));
  return pass_parameters(flow, effective, context, random);
}

Result<SizedValue, DataFlowFailure> pass_parameters(const StateDataFlow& flow,
                                                    const SizedValue& effective,
                                                    const Value& context, RandomSource& random) {
  if (!flow.parameters) return effective;
  VORN_TRY_ASSIGN(Value result,
                  evaluate_template(*flow.parameters, effective.value, context, random));
  return counted(std::move(result));
}

Result<SizedValue, DataFlowFailure> check_task_result(const StateDataFlow& flow, Value result) {
  return checked_payload(std::move(result), flow.limit_subject);
}

Result<SizedValue, DataFlowFailure> apply_result_path(const PathSetting& result_path,
                                                      const SizedValue& raw_input,
                                                      SizedValue value) {
  switch (result_path.kind) {
    case PathSetting::Kind::kAbsent:
      return value;
    case PathSetting::Kind::kNull:
      return raw_input;
    case PathSetting::Kind::kPath:
      break;
  }
  // Replacing a member or element removes at least as much as nothing, so
  // the input's bound, the value's and the keys a walk may create bound the whole.
  const std::size_t bound = saturating_add(saturating_add(raw_input.size_bound, value.size_bound),
                                           placement_overhead(result_path.path));
  auto placed = place(raw_input.value, result_path.path, std::move(value.value));
  if (!placed.ok()) {
    return fail(DataFlowFailure{DataFlowFailure::Kind::kPlacement, to_string(placed.error())});
  }
  return SizedValue{std::move(placed).value(), bound};
}

Result<SizedValue, DataFlowFailure> state_output(const StateDataFlow& flow,
                                                 const SizedValue& raw_input, SizedValue result,
                                                 const Value& context, RandomSource& random) {
  VORN_TRY_ASSIGN(SizedValue selected, selected_result(flow, std::move(result), context, random));
  VORN_TRY_ASSIGN(SizedValue placed,
                  apply_result_path(flow.result_path, raw_input, std::move(selected)));
  return pass_through_output(flow, placed, context);
}

Result<SizedValue, DataFlowFailure> selected_result(const StateDataFlow& flow, SizedValue result,
                                                    const Value& context, RandomSource& random) {
  if (!flow.result_selector) return result;
  VORN_TRY_ASSIGN(Value selected,
                  evaluate_template(*flow.result_selector, result.value, context, random));
  return counted(std::move(selected));
}

Result<SizedValue, DataFlowFailure> pass_through_output(const StateDataFlow& flow,
                                                        const SizedValue& effective,
                                                        const Value& context) {
  VORN_TRY_ASSIGN(SizedValue output, select(flow.output_path, effective, context));
  return within_limit(std::move(output), flow.limit_subject);
}

}  // namespace vorn::aws
