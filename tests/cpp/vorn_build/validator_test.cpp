#include "vorn_build/validator.hpp"

#include <gtest/gtest.h>

#include "json/reader.hpp"
#include "vorn_build/parser.hpp"

namespace vorn::build {
namespace {

std::string message(const Result<void, ValidationError>& result) {
  return result.ok() ? "ok" : to_string(result.error());
}

std::string template_message(const std::string& text) {
  auto value = json::read(text);
  EXPECT_TRUE(value.ok()) << text;
  return message(validate_template("States.T", "Parameters", value.value()));
}

TEST(Validator, PathsBeginWithDollarAndDot) {
  for (const char* good : {"$", "$.a", "$.", "$.a[0].b", "$.$"}) {
    EXPECT_EQ(message(validate_jsonpath("States.A", "InputPath", good)), "ok") << good;
  }
  for (const char* bad : {"$$.x", "$[0]", "a", "$a", " $", "$ "}) {
    EXPECT_EQ(message(validate_jsonpath("States.A", "InputPath", bad)),
              "invalid path \"" + std::string(bad) +
                  "\" in States.A.InputPath\n"
                  "  Value: " +
                  bad + "\n  Hint: Paths must begin with \"$\" or \"$.\".");
  }
  EXPECT_EQ(message(validate_jsonpath("States.A", "OutputPath", "")),
            "invalid path \"\" in States.A.OutputPath\n"
            "  Value: \n"
            "  Hint: Paths must begin with \"$\" or \"$.\".");
}

TEST(Validator, TemplateRules) {
  struct Case {
    const char* value;
    const char* message;
  };
  const Case cases[] = {
      {R"({"a.$": "$.x", "b": 1, "c.$": "$"})", "ok"},
      // Only the top level is a template; nested data and plain keys are not looked at.
      {R"({"x": {"a.$": 5}, "y": [{"b.$": "bad"}], "$": 1, "z": "q.$"})", "ok"},
      {"[]",
       "template must be a JSON object in States.T.Parameters\n"
       "  Hint: Parameters and ResultSelector must be JSON objects."},
      {"null",
       "template must be a JSON object in States.T.Parameters\n"
       "  Hint: Parameters and ResultSelector must be JSON objects."},
      {R"({"a.$": 5})",
       "invalid template reference key \"a.$\" in States.T.Parameters.a.$: value must be a string "
       "(JSONPath)\n"
       "  Hint: Template reference keys (ending in \".$\") must have string values."},
      {R"({"a.$": "x"})",
       "invalid path \"x\" in States.T.Parameters.a.$\n"
       "  Value: x\n"
       "  Hint: Paths must begin with \"$\" or \"$.\"."},
      {R"({"a": 1, "a.$": "$.x"})",
       "template has conflicting keys \"a\" and \"a.$\" in States.T.Parameters\n"
       "  Value: a.$\n"
       "  Hint: A template cannot have both \"key\" and \"key.$\"."},
      // ".$" is a reference key whose plain twin is the empty key.
      {R"({".$": "$"})", "ok"},
      {R"({"": 1, ".$": "$"})",
       "template has conflicting keys \"\" and \".$\" in States.T.Parameters\n"
       "  Value: .$\n"
       "  Hint: A template cannot have both \"key\" and \"key.$\"."},
      // All checks of one key come before the next key, in key byte order.
      {R"({"b.$": 1, "a": 0, "a.$": "bad"})",
       "invalid path \"bad\" in States.T.Parameters.a.$\n"
       "  Value: bad\n"
       "  Hint: Paths must begin with \"$\" or \"$.\"."},
      {R"({"b.$": 1, "a": 0, "a.$": "$"})",
       "template has conflicting keys \"a\" and \"a.$\" in States.T.Parameters\n"
       "  Value: a.$\n"
       "  Hint: A template cannot have both \"key\" and \"key.$\"."},
  };
  for (const Case& c : cases) EXPECT_EQ(template_message(c.value), c.message) << c.value;
}

TEST(Validator, StateReferencesAreExact) {
  auto parsed =
      parse(R"({"StartAt":"A","States":{"A":{"Type":"Succeed"},"a.b":{"Type":"Succeed"}}})");
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(message(check_state_ref("States.X", "Next", "a.b", parsed.value())), "ok");
  EXPECT_EQ(message(check_state_ref("States.X", "Default", "a", parsed.value())),
            "transitions to unknown state \"a\" in States.X.Default\n"
            "  Value: a");
  EXPECT_EQ(message(check_state_ref("States.X", "Next", "A ", parsed.value())),
            "transitions to unknown state \"A \" in States.X.Next\n"
            "  Value: A ");
}

}  // namespace
}  // namespace vorn::build
