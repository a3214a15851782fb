#include "lower_data_flow.hpp"

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "aws_data/payload_template.hpp"
#include "aws_run/template_evaluation.hpp"

namespace vorn::aws {

namespace {

std::string in_state(std::string_view state_name) {
  return " of the state '" + std::string(state_name) + "'";
}

// "$name" or "$name.field": a reference to a variable, which the checker
// accepts as AWS does and this toolkit cannot evaluate yet.
bool is_variable_reference(std::string_view text) {
  return text.size() > 1 && text[0] == '$' && text[1] != '.' && text[1] != '[' && text[1] != '$';
}

bool holds_variable_reference(const Value& node) {
  if (node.is_array()) {
    for (const Value& item : node.items()) {
      if (holds_variable_reference(item)) return true;
    }
  }
  if (!node.is_object()) return false;
  for (const Member& member : node.members()) {
    const bool dynamic = member.key.size() > 2 && member.key.ends_with(".$");
    if (dynamic && member.value.is_string() && is_variable_reference(member.value.as_string())) {
      return true;
    }
    if (holds_variable_reference(member.value)) return true;
  }
  return false;
}

bool setting_reads_context(const PathSetting& setting) {
  return setting.kind == PathSetting::Kind::kPath && setting.path.is_context();
}

bool template_reads(const std::optional<PayloadTemplate>& compiled) {
  return compiled && template_reads_context(*compiled);
}

// Which of the shared fields a state type has.
struct Fields {
  bool parameters = false;
  bool result_selector = false;
  bool result_path = false;
};

Result<StateDataFlow, LoweringError> lower(const State& state, const DataFlow& flow,
                                           Fields fields) {
  StateDataFlow out;
  out.limit_subject = state.name;
  VORN_TRY_ASSIGN(out.input_path, lower_path_field(flow.input_path, "InputPath", state.name));
  VORN_TRY_ASSIGN(out.output_path, lower_path_field(flow.output_path, "OutputPath", state.name));
  if (fields.result_path) {
    VORN_TRY_ASSIGN(out.result_path, lower_path_field(flow.result_path, "ResultPath", state.name));
  }
  if (fields.parameters) {
    VORN_TRY_ASSIGN(out.parameters, lower_template(flow.parameters, "Parameters", state.name));
  }
  if (fields.result_selector) {
    VORN_TRY_ASSIGN(out.result_selector,
                    lower_template(flow.result_selector, "ResultSelector", state.name));
  }
  out.reads_context = setting_reads_context(out.input_path) ||
                      setting_reads_context(out.output_path) || template_reads(out.parameters) ||
                      template_reads(out.result_selector);
  return out;
}

// The fields of an ARN: arn:<partition>:<service>:<region>:<account>:<rest>.
std::vector<std::string_view> arn_fields(std::string_view arn, std::size_t count) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < count) {
    const std::size_t colon = arn.find(':');
    if (colon == std::string_view::npos) break;
    fields.push_back(arn.substr(0, colon));
    arn.remove_prefix(colon + 1);
  }
  fields.push_back(arn);
  return fields;
}

}  // namespace

Result<std::optional<PayloadTemplate>, LoweringError> lower_template(
    const std::optional<Value>& written, std::string_view field_name, std::string_view state_name) {
  if (!written) return std::optional<PayloadTemplate>();
  auto compiled = compile_template(*written);
  if (!compiled.ok() && holds_variable_reference(*written)) {
    return fail(LoweringError{true, "The field '" + std::string(field_name) + "'" +
                                        in_state(state_name) +
                                        " reads a variable, which cannot run yet"});
  }
  if (!compiled.ok()) {
    return fail(LoweringError{
        false, "The field '" + std::string(field_name) + "'" + in_state(state_name) +
                   " is not a valid template: " + to_string(compiled.error().front())});
  }
  return std::optional<PayloadTemplate>(std::move(compiled).value());
}


std::string data_limit_subject_of_task(std::string_view resource) {
  const auto fields = arn_fields(resource, 6);
  if (fields.size() == 6 && fields[0] == "arn" && fields[2] == "states" && fields[3].empty() &&
      fields[4].empty()) {
    // "lambda:invoke" names "lambda"; "aws-sdk:s3:getObject" names "aws-sdk:s3",
    // as the resource type of the task's scheduling event does.
    const std::string_view integration = fields[5];
    const std::size_t last_colon = integration.rfind(':');
    if (last_colon != std::string_view::npos) return std::string(integration.substr(0, last_colon));
  }
  return std::string(resource);
}

Result<PathSetting, LoweringError> lower_path_field(const PathField& path_field,
                                                    std::string_view field_name,
                                                    std::string_view state_name) {
  if (path_field.is_absent()) return PathSetting::absent();
  if (path_field.is_null()) return PathSetting::null();
  auto path = JsonPath::parse(path_field.text());
  if (!path.ok()) {
    return fail(LoweringError{false, "The field '" + std::string(field_name) + "'" +
                                         in_state(state_name) +
                                         " is not a valid path: " + to_string(path.error())});
  }
  return PathSetting::of(std::move(path).value());
}

Result<std::optional<FailFieldSource>, LoweringError> lower_fail_path(
    const std::optional<std::string>& text, std::string_view field_name,
    std::string_view state_name) {
  if (!text) return std::optional<FailFieldSource>();
  if (!text->starts_with('$')) {
    auto call = parse_intrinsic_call(*text);
    if (!call.ok()) {
      return fail(LoweringError{
          false, "The field '" + std::string(field_name) + "'" + in_state(state_name) +
                     " is not a valid intrinsic call: " + to_string(call.error())});
    }
    return std::optional<FailFieldSource>(std::move(call).value());
  }
  VORN_TRY_ASSIGN(PathSetting setting,
                  lower_path_field(PathField::path(*text), field_name, state_name));
  return std::optional<FailFieldSource>(std::move(setting.path));
}

Result<StateDataFlow, LoweringError> lower_data_flow(const State& state) {
  if (state.query_language == QueryLanguage::kJsonata) {
    return fail(LoweringError{
        true, "The state '" + state.name + "' uses the JSONata query language, which cannot run"});
  }
  return std::visit(
      [&](const auto& fields) -> Result<StateDataFlow, LoweringError> {
        using T = std::decay_t<decltype(fields)>;
        if constexpr (std::is_same_v<T, TaskState>) {
          VORN_TRY_ASSIGN(StateDataFlow out, lower(state, fields.flow, {true, true, true}));
          out.limit_subject = data_limit_subject_of_task(fields.resource);
          return out;
        } else if constexpr (std::is_same_v<T, PassState>) {
          // A Result replaces InputPath and Parameters, which then never run:
          // Parameters is not even compiled, so nothing in it can refuse the state.
          const bool has_result = fields.result.has_value();
          VORN_TRY_ASSIGN(StateDataFlow out, lower(state, fields.flow, {!has_result, false, true}));
          if (has_result) {
            out.result = measured(*fields.result);
            out.reads_context = setting_reads_context(out.output_path);
          }
          return out;
        } else if constexpr (std::is_same_v<T, ParallelState> || std::is_same_v<T, MapState>) {
          // A Map's ItemSelector belongs to its iterations, not to this flow.
          return lower(state, fields.flow, {std::is_same_v<T, ParallelState>, true, true});
        } else if constexpr (std::is_same_v<T, FailState>) {
          StateDataFlow out;
          out.limit_subject = state.name;
          return out;
        } else {
          return lower(state, fields.flow, {});
        }
      },
      state.fields);
}

}  // namespace vorn::aws
