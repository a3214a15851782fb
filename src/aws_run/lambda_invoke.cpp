#include "aws_run/lambda_invoke.hpp"

#include <string>
#include <vector>

namespace vorn::aws {

namespace {

Value header_list(std::string_view text) { return Value::array({Value::string(text)}); }

}  // namespace

Value lambda_invoke_response(Value payload, std::string_view request_id) {
  constexpr std::string_view kJson = "application/json";
  constexpr std::string_view kLatest = "$LATEST";
  Value all_headers = Value::object({
      {"Content-Type", header_list(kJson)},
      {"X-Amz-Executed-Version", header_list(kLatest)},
      {"x-amzn-RequestId", header_list(request_id)},
  });
  Value headers = Value::object({
      {"Content-Type", Value::string(kJson)},
      {"X-Amz-Executed-Version", Value::string(kLatest)},
      {"x-amzn-RequestId", Value::string(request_id)},
  });
  return Value::object({
      {"ExecutedVersion", Value::string(kLatest)},
      {"Payload", std::move(payload)},
      {"SdkHttpMetadata", Value::object({{"AllHttpHeaders", std::move(all_headers)},
                                         {"HttpHeaders", std::move(headers)},
                                         {"HttpStatusCode", Value::integer(200)}})},
      {"SdkResponseMetadata", Value::object({{"RequestId", Value::string(request_id)}})},
      {"StatusCode", Value::integer(200)},
  });
}

Value lambda_invoke_event(const Value& task_input) {
  if (task_input.is_object()) {
    if (const Value* payload = task_input.find("Payload")) return *payload;
  }
  return Value::object();
}

}  // namespace vorn::aws
