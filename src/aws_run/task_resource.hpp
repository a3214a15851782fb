// TaskResource: what a Task's `Resource` text names, as the runner needs it
// to pick a handler and to shape the history: a Lambda function called
// directly by its ARN, an optimised service integration
// ("arn:aws:states:::lambda:invoke", "...:sqs:sendMessage.waitForTaskToken",
// "...:aws-sdk:s3:getObject"), an activity, or any other text, which a
// caller may still register a handler for.
//
// A TaskResource owns copies of the pieces it names; it does not refer to the
// text it was read from.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorn::aws {

enum class ResourceKind : std::uint8_t {
  kLambdaFunction,      // arn:aws:lambda:<region>:<account>:function:<name>[:<qualifier>]
  kServiceIntegration,  // arn:aws:states:::<service>:<action>[.<pattern>]
  kActivity,            // arn:aws:states:<region>:<account>:activity:<name>
  kOther,
};

// How a service integration waits for its service.
enum class IntegrationPattern : std::uint8_t {
  kRequestResponse,   // no suffix: the API's response is the result
  kRunJob,            // ".sync" or ".sync:2": the job's end is the result
  kWaitForTaskToken,  // ".waitForTaskToken": a callback sends the result
};

struct TaskResource {
  ResourceKind kind = ResourceKind::kOther;
  // kLambdaFunction and kActivity: from the ARN; empty where the ARN has none.
  std::string region;
  std::string account;
  std::string name;       // the function's or the activity's name
  std::string qualifier;  // kLambdaFunction: a version or alias, or empty
  // kServiceIntegration: the history's "resourceType" ("lambda", "sqs",
  // "aws-sdk:s3") and "resource" (the action with its suffix, e.g. "invoke",
  // "sendMessage.waitForTaskToken", "startExecution.sync").
  std::string resource_type;
  std::string action;
  IntegrationPattern pattern = IntegrationPattern::kRequestResponse;

  // A service integration that calls Lambda ("lambda:invoke" in any pattern),
  // whose handler input names the function in its "FunctionName".
  bool is_lambda_invoke() const;
};

TaskResource classify_resource(std::string_view resource);

// The function a Lambda "FunctionName" names, as Lambda accepts it: a bare
// name ("my-function"), a name with a qualifier ("my-function:v1"), a partial
// ARN ("123456789012:function:my-function") or a full function ARN, each
// with or without a qualifier. Empty when the text names no function.
std::string lambda_function_name(std::string_view function_name);

}  // namespace vorn::aws
