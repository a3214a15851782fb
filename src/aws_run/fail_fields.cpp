#include "fail_fields.hpp"

#include "aws_data/write.hpp"
#include "aws_run/template_evaluation.hpp"

namespace vorn::aws {

namespace {

Result<std::string, DataFlowFailure> path_text(const JsonPath& path, std::string_view field_name,
                                               const Value& raw_input, const Value& context) {
  auto found = path.evaluate(path.is_context() ? context : raw_input);
  const std::string quoted_path = "The JSONPath '" + std::string(path.text()) +
                                  "' specified for the field '" + std::string(field_name) + "'";
  if (!found.ok()) {
    return fail(DataFlowFailure{
        DataFlowFailure::Kind::kRuntime,
        quoted_path + " could not be found in the input '" + write_json(raw_input) + "'"});
  }
  if (!found->is_string()) {
    // AWS has not been seen to meet this; the wording follows the missing case.
    return fail(DataFlowFailure{DataFlowFailure::Kind::kRuntime,
                                quoted_path + " must resolve to a string, but it resolved to " +
                                    std::string(kind_name(found->kind()))});
  }
  return std::string(found->as_string());
}

Result<std::string, DataFlowFailure> call_text(const IntrinsicCall& call,
                                               std::string_view field_name, const Value& raw_input,
                                               const Value& context, RandomSource& random) {
  VORN_TRY_ASSIGN(Value value, evaluate_call_field(call, field_name, raw_input, context, random));
  if (!value.is_string()) {
    return fail(DataFlowFailure{DataFlowFailure::Kind::kRuntime,
                                "The function " +
                                    std::string(intrinsic_function_name(call.function)) +
                                    " specified for the field '" + std::string(field_name) +
                                    "' must resolve to a string, but it resolved to " +
                                    std::string(kind_name(value.kind()))});
  }
  return std::string(value.as_string());
}

}  // namespace

bool fail_field_reads_context(const FailFieldSource& source) {
  if (const auto* path = std::get_if<JsonPath>(&source)) return path->is_context();
  return call_reads_context(std::get<IntrinsicCall>(source));
}

Result<std::string, DataFlowFailure> fail_field_text(const FailFieldSource& source,
                                                     std::string_view field_name,
                                                     const Value& raw_input, const Value& context,
                                                     RandomSource& random) {
  if (const auto* path = std::get_if<JsonPath>(&source)) {
    return path_text(*path, field_name, raw_input, context);
  }
  return call_text(std::get<IntrinsicCall>(source), field_name, raw_input, context, random);
}

}  // namespace vorn::aws
