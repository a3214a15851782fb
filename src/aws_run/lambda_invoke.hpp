// What arn:aws:states:::lambda:invoke answers around a function's result:
// the Lambda Invoke API's response as Step Functions passes it on.
#pragma once

#include <string_view>

#include "aws_data/value.hpp"

namespace vorn::aws {

// {"ExecutedVersion": "$LATEST", "Payload": <payload>, "SdkHttpMetadata":
// {...}, "SdkResponseMetadata": {"RequestId": <id>}, "StatusCode": 200}.
// The HTTP metadata holds only headers that stay the same from run to run,
// so a history is reproducible for a seed.
Value lambda_invoke_response(Value payload, std::string_view request_id);

// The event a lambda:invoke task hands its function: the "Payload" member of
// the task's input, or an empty object when there is none (Lambda's runtimes
// read an absent payload as {}).
Value lambda_invoke_event(const Value& task_input);

}  // namespace vorn::aws
