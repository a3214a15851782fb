#include "xvorn/json_template.hpp"

#include <gtest/gtest.h>

#include "json/reader.hpp"

namespace xvorn {
namespace {

using vorn::json::Value;

Value read(std::string_view text) {
  auto value = vorn::json::read(text);
  EXPECT_TRUE(value.ok()) << text;
  return value.ok() ? std::move(value).value() : Value();
}

struct EvaluateCase {
  std::string template_text;
  std::string input;
  std::optional<std::string> expected;  // nullopt: nothing
};

class JsonTemplateEvaluate : public ::testing::TestWithParam<EvaluateCase> {};

TEST_P(JsonTemplateEvaluate, BuildsObjectOrNothing) {
  const EvaluateCase& c = GetParam();
  auto parsed = JsonTemplate::parse(read(c.template_text));
  ASSERT_TRUE(parsed.ok()) << to_string(parsed.error());
  const std::optional<Value> result = parsed->evaluate(read(c.input));
  if (!c.expected) {
    EXPECT_FALSE(result.has_value()) << c.template_text << " on " << c.input;
  } else {
    ASSERT_TRUE(result.has_value()) << c.template_text << " on " << c.input;
    EXPECT_EQ(*result, read(*c.expected));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonTemplateEvaluate,
    ::testing::Values(
        EvaluateCase{R"({"a.$": "$.x", "b": 1})", R"({"x": [1, 2]})", R"({"a": [1, 2], "b": 1})"},
        EvaluateCase{R"({"a.$": "$.x", "b": 1})", R"({"y": 0})", std::nullopt},
        // Nested ".$" keys are literal data.
        EvaluateCase{R"({"n": {"m.$": "$.x"}})", "7", R"({"n": {"m.$": "$.x"}})"},
        // The reference comes after the literal in key order and wins.
        EvaluateCase{R"({"k": 1, "k.$": "$.v"})", R"({"v": 2})", R"({"k": 2})"},
        EvaluateCase{"{}", "null", "{}"},
        // A key of just ".$" writes the empty key; "$" alone is literal.
        EvaluateCase{R"({".$": "$", "$": 0})", "[true]", R"({"": [true], "$": 0})"},
        // Reference roots are ignored: "$$" reads the same input.
        EvaluateCase{R"({"c.$": "$$.a"})", R"({"a": "x"})", R"({"c": "x"})"},
        // A null target is a value, not nothing.
        EvaluateCase{R"({"c.$": "$.a"})", R"({"a": null})", R"({"c": null})"},
        // Stripping ".$" may move a key before literals that came earlier.
        EvaluateCase{R"({"a-": 1, "a.$": "$[0]", "a0": 2})", "[3]", R"({"a": 3, "a-": 1, "a0": 2})"}));

struct ParseErrorCase {
  std::string template_text;
  std::string expected;
};

class JsonTemplateParse : public ::testing::TestWithParam<ParseErrorCase> {};

TEST_P(JsonTemplateParse, ReportsFirstBadKey) {
  auto parsed = JsonTemplate::parse(read(GetParam().template_text));
  ASSERT_FALSE(parsed.ok());
  EXPECT_EQ(to_string(parsed.error()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonTemplateParse,
    ::testing::Values(
        ParseErrorCase{"[1]", "NotObject"},
        ParseErrorCase{"\"$.a\"", "NotObject"},
        ParseErrorCase{R"({"a.$": 5})", R"(ReferenceNotString { key: "a.$" })"},
        ParseErrorCase{R"({"a.$": null})", R"(ReferenceNotString { key: "a.$" })"},
        ParseErrorCase{
            R"({"a.$": "x"})",
            R"(InvalidReference { key: "a.$", error: JsonPathError { position: 0, kind: MissingRoot } })"},
        ParseErrorCase{
            R"({"q\"\\\n.$": "$[x]"})",
            R"(InvalidReference { key: "q\"\\\n.$", error: JsonPathError { position: 2, kind: UnexpectedCharacter('x') } })"},
        // In key order "a.$" comes before "b.$".
        ParseErrorCase{R"({"b.$": 1, "a.$": "bad"})",
                       R"(InvalidReference { key: "a.$", error: JsonPathError { position: 0, kind: MissingRoot } })"}));

TEST(JsonTemplate, EntriesFollowKeyOrder) {
  auto parsed = JsonTemplate::parse(read(R"({"z": [1], "m.$": "$.q", ".$": "$"})"));
  ASSERT_TRUE(parsed.ok());
  ASSERT_EQ(parsed->size(), 3u);
  const auto& entries = parsed->entries();
  EXPECT_EQ(std::get<Reference>(entries[0]).key, "");
  EXPECT_EQ(std::get<Reference>(entries[1]).key, "m");
  EXPECT_EQ(to_string(std::get<Reference>(entries[1]).path),
            R"(JsonPath { root: Input, segments: [Field("q")] })");
  EXPECT_EQ(std::get<Literal>(entries[2]), (Literal{"z", read("[1]")}));
}

TEST(JsonTemplate, EvaluationCopiesAndKeepsTheTemplate) {
  auto parsed = JsonTemplate::parse(read(R"({"a": {"b": 1}, "c.$": "$"})"));
  ASSERT_TRUE(parsed.ok());
  const Value input = read("[1, 2]");
  const auto first = parsed->evaluate(input);
  const auto second = parsed->evaluate(input);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first, second);
  EXPECT_EQ(*first, read(R"({"a": {"b": 1}, "c": [1, 2]})"));
}

}  // namespace
}  // namespace xvorn
