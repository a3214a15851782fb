#include "aws_run/task_resource.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vorn::aws {
namespace {

// Every field of a classification on one line, so a table row reads whole.
std::string describe(const TaskResource& r) {
  switch (r.kind) {
    case ResourceKind::kLambdaFunction:
      return "lambda " + r.region + " " + r.account + " " + r.name + " [" + r.qualifier + "]";
    case ResourceKind::kActivity: return "activity " + r.region + " " + r.account + " " + r.name;
    case ResourceKind::kServiceIntegration: {
      const char* pattern = r.pattern == IntegrationPattern::kRunJob ? "run-job"
                            : r.pattern == IntegrationPattern::kWaitForTaskToken
                                ? "callback"
                                : "request-response";
      return "service " + r.resource_type + " " + r.action + " " + pattern +
             (r.is_lambda_invoke() ? " (lambda invoke)" : "");
    }
    case ResourceKind::kOther: return "other";
  }
  return "?";
}

TEST(TaskResource, ClassifiesEveryFormARunnerMeets) {
  const struct {
    const char* resource;
    const char* expected;
  } rows[] = {
      {"arn:aws:lambda:us-east-1:123456789012:function:step1",
       "lambda us-east-1 123456789012 step1 []"},
      {"arn:aws:lambda:eu-west-1:123456789012:function:step1:live",
       "lambda eu-west-1 123456789012 step1 [live]"},
      {"arn:aws-cn:lambda:cn-north-1:123456789012:function:f:$LATEST",
       "lambda cn-north-1 123456789012 f [$LATEST]"},
      {"arn:aws:states:::lambda:invoke", "service lambda invoke request-response (lambda invoke)"},
      {"arn:aws:states:::lambda:invoke.waitForTaskToken",
       "service lambda invoke.waitForTaskToken callback (lambda invoke)"},
      {"arn:aws:states:::lambda:invokeAsync", "service lambda invokeAsync request-response"},
      {"arn:aws:states:::sqs:sendMessage.waitForTaskToken",
       "service sqs sendMessage.waitForTaskToken callback"},
      {"arn:aws:states:::states:startExecution.sync", "service states startExecution.sync run-job"},
      {"arn:aws:states:::states:startExecution.sync:2",
       "service states startExecution.sync:2 run-job"},
      {"arn:aws:states:::aws-sdk:s3:getObject", "service aws-sdk:s3 getObject request-response"},
      {"arn:aws:states:::dynamodb:putItem", "service dynamodb putItem request-response"},
      {"arn:aws:states:us-east-1:123456789012:activity:approve",
       "activity us-east-1 123456789012 approve"},
      // Near misses stay plain handler keys.
      {"arn:aws:lambda:us-east-1:123456789012:function:", "other"},
      {"arn:aws:lambda:us-east-1:123456789012:layer:x", "other"},
      {"arn:aws:states:::lambda", "other"},
      {"arn:aws:states:::aws-sdk:s3", "other"},
      {"arn:aws:states:us-east-1::lambda:invoke", "other"},
      {"arn:aws:states:::sqs:sendMessage:extra", "other"},
      {"service.handler3", "other"},
      {"", "other"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(describe(classify_resource(row.resource)), row.expected) << row.resource;
  }
}

TEST(TaskResource, ReadsTheFunctionNameInEveryFormLambdaAccepts) {
  const struct {
    const char* function_name;
    const char* expected;
  } rows[] = {
      {"my-function", "my-function"},
      {"my-function:v1", "my-function"},
      {"123456789012:function:my-function", "my-function"},
      {"123456789012:function:my-function:live", "my-function"},
      {"arn:aws:lambda:us-west-2:123456789012:function:my-function", "my-function"},
      {"arn:aws:lambda:us-west-2:123456789012:function:my-function:7", "my-function"},
      {"arn:aws:sqs:us-west-2:123456789012:queue", ""},
      {"a:b:c", ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(lambda_function_name(row.function_name), row.expected) << row.function_name;
  }
}

}  // namespace
}  // namespace vorn::aws
