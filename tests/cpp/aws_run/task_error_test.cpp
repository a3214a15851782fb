// How failures are named: the Lambda error JSON byte for byte (it is the
// cause users compare against), and the fixed texts of AWS's own failures.
#include "aws_run/task_error.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorn::aws {
namespace {

struct LambdaCase {
  std::string label;
  std::string type_name, message;
  std::vector<std::string> frames;
  LambdaCauseStyle style;
  std::string expected_cause;
};

TEST(TaskError, LambdaExceptionCauseIsLambdasJson) {
  const std::vector<LambdaCase> cases = {
      {"recorded direct raise", "Exception", "Some exception was raised.",
       {"  File \"/var/task/handler.py\", line 2, in handler\n"
        "    raise Exception(\"Some exception was raised.\")\n"},
       LambdaCauseStyle::kDirect,
       R"({"errorMessage": "Some exception was raised.", "errorType": "Exception", )"
       R"("requestId": "req-1", "stackTrace": ["  File \"/var/task/handler.py\", line 2, )"
       R"(in handler\n    raise Exception(\"Some exception was raised.\")\n"]})"},
      {"class without a message", "CustomException", "", {}, LambdaCauseStyle::kDirect,
       R"({"errorMessage": "", "errorType": "CustomException", "requestId": "req-1", )"
       R"("stackTrace": []})"},
      {"lambda:invoke is compact", "Exception", "Some exception was raised.", {"f1\n", "f2\n"},
       LambdaCauseStyle::kInvoke,
       R"({"errorMessage":"Some exception was raised.","errorType":"Exception",)"
       R"("requestId":"req-1","stackTrace":["f1\n","f2\n"]})"},
      {"frames apart by Python's separator", "E", "m", {"a\n", "b"}, LambdaCauseStyle::kDirect,
       R"({"errorMessage": "m", "errorType": "E", "requestId": "req-1", )"
       R"("stackTrace": ["a\n", "b"]})"},
      {"escaped as json.dumps does", "E", "caf\u00e9 \u2603 \U0001F600 \x01\x7f\t\"\\/", {},
       LambdaCauseStyle::kDirect,
       R"({"errorMessage": "caf\u00e9 \u2603 \ud83d\ude00 \u0001\u007f\t\"\\/", )"
       R"("errorType": "E", "requestId": "req-1", "stackTrace": []})"},
      {"bytes that are not UTF-8", "E", "a\xff\xc3", {}, LambdaCauseStyle::kInvoke,
       R"({"errorMessage":"a\ufffd\ufffd","errorType":"E","requestId":"req-1","stackTrace":[]})"},
  };
  for (const LambdaCase& c : cases) {
    const TaskError failure =
        lambda_exception(c.type_name, c.message, c.frames, "req-1", c.style);
    EXPECT_EQ(failure.error, c.type_name) << c.label;
    EXPECT_EQ(failure.cause, c.expected_cause) << c.label;
  }
}

TEST(TaskError, AwsOwnFailuresHaveFixedTexts) {
  struct Case {
    std::string label;
    TaskError failure;
    TaskError expected;
  };
  const std::vector<Case> cases = {
      {"timeout has no cause", task_timed_out(), {"States.Timeout", std::nullopt}},
      {"oversize result", data_limit_exceeded("arn:aws:lambda:us-east-1:000000000000:function:f"),
       {"States.DataLimitExceeded",
        "The state/task 'arn:aws:lambda:us-east-1:000000000000:function:f' returned a result "
        "with a size exceeding the maximum number of bytes service limit."}},
      {"run-time failure carries the prefix",
       runtime_error({"task", 2}, "Invalid path '$.x' : No results for path: $['x']"),
       {"States.Runtime",
        "An error occurred while executing the state 'task' (entered at the event id #2). "
        "Invalid path '$.x' : No results for path: $['x']"}},
      {"unserialisable return value",
       lambda_marshal_error("Object of type set is not JSON serializable", "r",
                            LambdaCauseStyle::kInvoke),
       {"Runtime.MarshalError",
        R"({"errorMessage":"Unable to marshal response: Object of type set is not JSON )"
        R"(serializable","errorType":"Runtime.MarshalError","requestId":"r","stackTrace":[]})"}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.failure, c.expected) << c.label;
}

TEST(TaskError, OnlyStatesRuntimeIsUncatchable) {
  EXPECT_TRUE(is_uncatchable({"States.Runtime", "x"}));
  for (const TaskError& failure :
       std::vector<TaskError>{{std::nullopt, std::nullopt},
                              {"States.Timeout", std::nullopt},
                              {"States.DataLimitExceeded", "c"},
                              {"states.runtime", std::nullopt},
                              {"States.Runtime ", std::nullopt}}) {
    EXPECT_FALSE(is_uncatchable(failure)) << failure.error.value_or("(absent)");
  }
}

}  // namespace
}  // namespace vorn::aws
