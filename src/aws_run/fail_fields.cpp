#include "fail_fields.hpp"

#include "aws_data/write.hpp"

namespace vorn::aws {

Result<std::string, DataFlowFailure> fail_field_text(const JsonPath& path,
                                                     std::string_view field_name,
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

}  // namespace vorn::aws
