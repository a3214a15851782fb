#include "vorn_build/validator.hpp"

#include <gtest/gtest.h>

#include "json/reader.hpp"

namespace vorn::build {
namespace {

constexpr const char* kPathHint = "\n  Hint: Paths must begin with \"$\" or \"$.\".";
constexpr const char* kConflictHint =
    "\n  Hint: A template cannot have both \"key\" and \"key.$\".";

std::string message(const Result<void, ValidationError>& result) {
  return result.ok() ? "ok" : to_string(result.error());
}

TEST(Validator, PathsBeginWithDollarAndDot) {
  for (const char* good : {"$", "$.a", "$.", "$.a[0].b"}) {
    EXPECT_EQ(message(validate_jsonpath("States.A", "InputPath", good)), "ok") << good;
  }
  for (std::string bad : {"$$.x", "$[0]", "a", "$a", " $"}) {
    EXPECT_EQ(message(validate_jsonpath("States.A", "InputPath", bad)),
              "invalid path \"" + bad + "\" in States.A.InputPath\n  Value: " + bad + kPathHint);
  }
}

// Only the top level is a template, and each reference key is checked fully
// (string, path, plain twin) before the next key in byte order.
TEST(Validator, TemplateRules) {
  struct Case {
    const char* value;
    std::string message;
  };
  const Case cases[] = {
      {R"({"x": {"a.$": 5}, "y": [{"b.$": "bad"}], "$": 1, "z": "q.$", ".$": "$"})", "ok"},
      {"null",
       "template must be a JSON object in States.T.Parameters\n"
       "  Hint: Parameters and ResultSelector must be JSON objects."},
      {R"({"b.$": 1, "a": 0, "a.$": "bad"})",
       std::string("invalid path \"bad\" in States.T.Parameters.a.$\n  Value: bad") + kPathHint},
      {R"({"": 0, ".$": "$"})",
       std::string("template has conflicting keys \"\" and \".$\" in States.T.Parameters\n"
                   "  Value: .$") +
           kConflictHint},
      {R"({"b.$": 1, "a": 0, "a.$": "$"})",
       std::string("template has conflicting keys \"a\" and \"a.$\" in States.T.Parameters\n"
                   "  Value: a.$") +
           kConflictHint},
      {R"({"b.$": 1})",
       "invalid template reference key \"b.$\" in States.T.Parameters.b.$: value must be a string "
       "(JSONPath)\n  Hint: Template reference keys (ending in \".$\") must have string values."},
  };
  for (const Case& c : cases) {
    auto value = json::read(c.value);
    ASSERT_TRUE(value.ok()) << c.value;
    EXPECT_EQ(message(validate_template("States.T", "Parameters", value.value())), c.message)
        << c.value;
  }
}

}  // namespace
}  // namespace vorn::build
