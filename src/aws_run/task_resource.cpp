#include "aws_run/task_resource.hpp"

#include <vector>

namespace vorn::aws {

namespace {

// The text split at every ':' (ARN fields are separated by colons; none of
// the fields we read can hold one).
std::vector<std::string_view> split_fields(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t colon = text.find(':', start);
    fields.push_back(text.substr(start, colon - start));
    if (colon == std::string_view::npos) return fields;
    start = colon + 1;
  }
}

bool is_lambda_function_arn(const std::vector<std::string_view>& f) {
  // arn : partition : lambda : region : account : function : name [: qualifier]
  return (f.size() == 7 || f.size() == 8) && f[0] == "arn" && f[2] == "lambda" &&
         f[5] == "function" && !f[6].empty();
}

IntegrationPattern split_pattern(std::string_view action) {
  if (action.ends_with(".waitForTaskToken")) return IntegrationPattern::kWaitForTaskToken;
  if (action.ends_with(".sync") || action.ends_with(".sync:2")) return IntegrationPattern::kRunJob;
  return IntegrationPattern::kRequestResponse;
}

}  // namespace

bool TaskResource::is_lambda_invoke() const {
  return kind == ResourceKind::kServiceIntegration && resource_type == "lambda" &&
         (action == "invoke" || action.starts_with("invoke."));
}

TaskResource classify_resource(std::string_view resource) {
  TaskResource out;
  const std::vector<std::string_view> f = split_fields(resource);
  if (is_lambda_function_arn(f)) {
    out.kind = ResourceKind::kLambdaFunction;
    out.region = f[3];
    out.account = f[4];
    out.name = f[6];
    if (f.size() == 8) out.qualifier = f[7];
    return out;
  }
  // arn : partition : states : region : account : activity : name
  if (f.size() == 7 && f[0] == "arn" && f[2] == "states" && f[5] == "activity" && !f[6].empty()) {
    out.kind = ResourceKind::kActivity;
    out.region = f[3];
    out.account = f[4];
    out.name = f[6];
    return out;
  }
  // arn : partition : states : (empty) : (empty) : service : action, where an
  // SDK integration's service is "aws-sdk:<service>" and ".sync:2" adds a field.
  if (f.size() >= 7 && f[0] == "arn" && f[2] == "states" && f[3].empty() && f[4].empty() &&
      !f[5].empty()) {
    const bool sdk = f[5] == "aws-sdk";
    const std::size_t action_field = sdk ? 7 : 6;
    if (f.size() <= action_field || f[action_field].empty()) return out;
    const std::size_t rest_start =
        static_cast<std::size_t>(f[action_field].data() - resource.data());
    const std::string_view action = resource.substr(rest_start);
    const bool versioned_sync = f.size() == action_field + 2 && action.ends_with(".sync:2");
    if (f.size() != action_field + 1 && !versioned_sync) return out;
    out.kind = ResourceKind::kServiceIntegration;
    out.resource_type = sdk ? "aws-sdk:" + std::string(f[6]) : std::string(f[5]);
    out.action = action;
    out.pattern = split_pattern(action);
    return out;
  }
  return out;
}

std::string lambda_function_name(std::string_view function_name) {
  const std::vector<std::string_view> f = split_fields(function_name);
  if (f[0] == "arn") return is_lambda_function_arn(f) ? std::string(f[6]) : std::string();
  // account : function : name [: qualifier]
  if ((f.size() == 3 || f.size() == 4) && f[1] == "function") return std::string(f[2]);
  // name [: qualifier]
  if (f.size() <= 2) return std::string(f[0]);
  return std::string();
}

}  // namespace vorn::aws
