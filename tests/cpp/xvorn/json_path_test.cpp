#include "xvorn/json_path.hpp"

#include <gtest/gtest.h>

#include "json/reader.hpp"

namespace xvorn {
namespace {

using vorn::json::Value;

std::string parse_text(std::string_view expression) {
  auto path = JsonPath::parse(expression);
  return path.ok() ? to_string(*path) : to_string(path.error());
}

struct ParseCase {
  std::string expression;
  std::string expected;  // the rendering of the path or of the error
};

class JsonPathParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(JsonPathParse, RendersPathOrError) {
  EXPECT_EQ(parse_text(GetParam().expression), GetParam().expected)
      << "expression: " << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, JsonPathParse,
    ::testing::Values(
        ParseCase{"$", "JsonPath { root: Input, segments: [] }"},
        ParseCase{"$$", "JsonPath { root: Context, segments: [] }"},
        ParseCase{"$.a[0]", "JsonPath { root: Input, segments: [Field(\"a\"), Index(0)] }"},
        ParseCase{"$.a.b_c-d[3]['x y'][\"q\"]",
                  "JsonPath { root: Input, segments: [Field(\"a\"), Field(\"b_c-d\"), Index(3), "
                  "Field(\"x y\"), Field(\"q\")] }"},
        ParseCase{"$$.execution.id",
                  "JsonPath { root: Context, segments: [Field(\"execution\"), Field(\"id\")] }"},
        ParseCase{"$['']", "JsonPath { root: Input, segments: [Field(\"\")] }"},
        ParseCase{"$._9", "JsonPath { root: Input, segments: [Field(\"_9\")] }"},
        // Quoted names take anything up to the matching quote, with no escapes.
        ParseCase{"$[\"it's\"]", "JsonPath { root: Input, segments: [Field(\"it's\")] }"},
        ParseCase{"$['say \"hi\"']",
                  "JsonPath { root: Input, segments: [Field(\"say \\\"hi\\\"\")] }"},
        ParseCase{"$['a\\']", "JsonPath { root: Input, segments: [Field(\"a\\\\\")] }"},
        ParseCase{"$['.$[]']", "JsonPath { root: Input, segments: [Field(\".$[]\")] }"},
        // Leading zeros are allowed; the index is 64 bits wide.
        ParseCase{"$[007]", "JsonPath { root: Input, segments: [Index(7)] }"},
        ParseCase{"$[000000000000000000000000000018446744073709551615]",
                  "JsonPath { root: Input, segments: [Index(18446744073709551615)] }"}));

INSTANTIATE_TEST_SUITE_P(
    Refused, JsonPathParse,
    ::testing::Values(
        ParseCase{"", "JsonPathError { position: 0, kind: EmptyExpression }"},
        ParseCase{"a", "JsonPathError { position: 0, kind: MissingRoot }"},
        ParseCase{"x$", "JsonPathError { position: 0, kind: MissingRoot }"},
        ParseCase{"$a", "JsonPathError { position: 1, kind: UnexpectedCharacter('a') }"},
        ParseCase{"$$$", "JsonPathError { position: 2, kind: UnexpectedCharacter('$') }"},
        ParseCase{"$ ", "JsonPathError { position: 1, kind: UnexpectedCharacter(' ') }"},
        ParseCase{"$.a b", "JsonPathError { position: 3, kind: UnexpectedCharacter(' ') }"},
        ParseCase{"$.", "JsonPathError { position: 2, kind: EmptyFieldName }"},
        ParseCase{"$.1a", "JsonPathError { position: 2, kind: EmptyFieldName }"},
        ParseCase{"$..a", "JsonPathError { position: 2, kind: EmptyFieldName }"},
        ParseCase{"$.-a", "JsonPathError { position: 2, kind: EmptyFieldName }"},
        ParseCase{"$[", "JsonPathError { position: 1, kind: UnterminatedBracket }"},
        ParseCase{"$[0", "JsonPathError { position: 2, kind: UnterminatedBracket }"},
        ParseCase{"$[12", "JsonPathError { position: 3, kind: UnterminatedBracket }"},
        ParseCase{"$[0x]", "JsonPathError { position: 3, kind: UnterminatedBracket }"},
        ParseCase{"$['a", "JsonPathError { position: 2, kind: UnterminatedString }"},
        ParseCase{"$['", "JsonPathError { position: 2, kind: UnterminatedString }"},
        ParseCase{"$[\"a'", "JsonPathError { position: 2, kind: UnterminatedString }"},
        ParseCase{"$['a'", "JsonPathError { position: 4, kind: UnterminatedBracket }"},
        ParseCase{"$['a'x", "JsonPathError { position: 5, kind: UnterminatedBracket }"},
        ParseCase{"$[]", "JsonPathError { position: 1, kind: EmptyBracketExpression }"},
        ParseCase{"$.a[]", "JsonPathError { position: 3, kind: EmptyBracketExpression }"},
        ParseCase{"$[-1]", "JsonPathError { position: 2, kind: UnexpectedCharacter('-') }"},
        ParseCase{"$[*]", "JsonPathError { position: 2, kind: UnexpectedCharacter('*') }"},
        ParseCase{"$[ 0]", "JsonPathError { position: 2, kind: UnexpectedCharacter(' ') }"},
        ParseCase{"$[99999999999999999999]", "JsonPathError { position: 2, kind: InvalidIndex }"},
        ParseCase{"$.a[18446744073709551616]",
                  "JsonPathError { position: 4, kind: InvalidIndex }"},
        // The first problem wins; later ones are never reached.
        ParseCase{"$.a.[0]x", "JsonPathError { position: 4, kind: EmptyFieldName }"}));

// Positions count bytes; characters are reported whole.
INSTANTIATE_TEST_SUITE_P(
    MultiByte, JsonPathParse,
    ::testing::Values(
        ParseCase{"$\xc3\xa9", "JsonPathError { position: 1, kind: UnexpectedCharacter('\xc3\xa9') }"},
        ParseCase{"$['\xc3\xa9'].\xe2\x82\xac",
                  "JsonPathError { position: 8, kind: EmptyFieldName }"},
        ParseCase{"$['\xc3\xa9']\xf0\x9f\x98\x80",
                  "JsonPathError { position: 7, kind: UnexpectedCharacter('\xf0\x9f\x98\x80') }"},
        ParseCase{"$[\xe2\x82\xac]",
                  "JsonPathError { position: 2, kind: UnexpectedCharacter('\xe2\x82\xac') }"},
        ParseCase{"$['\xc3\xa9'", "JsonPathError { position: 5, kind: UnterminatedBracket }"},
        // Bytes that are not UTF-8 are named as U+FFFD.
        ParseCase{"$\xff", "JsonPathError { position: 1, kind: UnexpectedCharacter('\xef\xbf\xbd') }"},
        ParseCase{"$\xc3", "JsonPathError { position: 1, kind: UnexpectedCharacter('\xef\xbf\xbd') }"},
        ParseCase{"$\xed\xa0\x80",
                  "JsonPathError { position: 1, kind: UnexpectedCharacter('\xef\xbf\xbd') }"}));

// The escapes of quoted names and characters.
INSTANTIATE_TEST_SUITE_P(
    Escapes, JsonPathParse,
    ::testing::Values(
        ParseCase{"$['\t\n\r\x01\x1f\x7f\xc2\x85\xc2\xa0']",
                  "JsonPath { root: Input, segments: [Field(\"\\t\\n\\r\\u{1}\\u{1f}\\u{7f}\\u{85}"
                  "\xc2\xa0\")] }"},
        ParseCase{std::string("$['\0']", 6), "JsonPath { root: Input, segments: [Field(\"\\u{0}\")] }"},
        ParseCase{"$\t", "JsonPathError { position: 1, kind: UnexpectedCharacter('\\t') }"},
        ParseCase{"$\n", "JsonPathError { position: 1, kind: UnexpectedCharacter('\\n') }"},
        ParseCase{"$\r", "JsonPathError { position: 1, kind: UnexpectedCharacter('\\r') }"},
        ParseCase{"$'", "JsonPathError { position: 1, kind: UnexpectedCharacter('\\'') }"},
        ParseCase{"$\\", "JsonPathError { position: 1, kind: UnexpectedCharacter('\\\\') }"},
        ParseCase{"$\"", "JsonPathError { position: 1, kind: UnexpectedCharacter('\"') }"},
        ParseCase{"$\x1b", "JsonPathError { position: 1, kind: UnexpectedCharacter('\\u{1b}') }"},
        ParseCase{std::string("$\0", 2),
                  "JsonPathError { position: 1, kind: UnexpectedCharacter('\\u{0}') }"},
        ParseCase{"$\xc2\x9f",
                  "JsonPathError { position: 1, kind: UnexpectedCharacter('\\u{9f}') }"}));

TEST(JsonPath, ParseKeepsRootAndSegments) {
  auto path = JsonPath::parse("$$['k'][2]");
  ASSERT_TRUE(path.ok());
  EXPECT_EQ(path->root(), PathRoot::Context);
  EXPECT_EQ(path->segments(), (std::vector<Segment>{Field{"k"}, Index{2}}));

  auto error = JsonPath::parse("$[x]");
  ASSERT_FALSE(error.ok());
  EXPECT_EQ(error.error(),
            (JsonPathError{2, JsonPathErrorKind::UnexpectedCharacter, U'x'}));
}

Value read(std::string_view text) {
  auto value = vorn::json::read(text);
  EXPECT_TRUE(value.ok()) << text;
  return value.ok() ? std::move(value).value() : Value();
}

struct ResolveCase {
  std::string expression;
  std::string document;
  std::optional<std::string> expected;  // JSON text of the target; nullopt: nothing
};

class JsonPathResolve : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(JsonPathResolve, FindsTargetOrNothing) {
  const ResolveCase& c = GetParam();
  auto path = JsonPath::parse(c.expression);
  ASSERT_TRUE(path.ok());
  const Value document = read(c.document);
  const Value* target = path->resolve(document);
  if (!c.expected) {
    EXPECT_EQ(target, nullptr) << c.expression << " on " << c.document;
  } else {
    ASSERT_NE(target, nullptr) << c.expression << " on " << c.document;
    EXPECT_EQ(*target, read(*c.expected));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonPathResolve,
    ::testing::Values(ResolveCase{"$.a[1]", R"({"a": [10, 20]})", "20"},
                      ResolveCase{"$.a[1]", R"({"a": [10]})", std::nullopt},
                      ResolveCase{"$.a[1]", R"({"a": {"1": 5}})", std::nullopt},
                      ResolveCase{"$$.x", R"({"x": 1})", "1"},
                      ResolveCase{"$", "[1, 2]", "[1, 2]"},
                      ResolveCase{"$.a", R"({"a": null})", "null"},
                      ResolveCase{"$.A", R"({"a": 1})", std::nullopt},
                      ResolveCase{"$.a", "[1]", std::nullopt},
                      ResolveCase{"$[0]", R"({"0": 1})", std::nullopt},
                      ResolveCase{"$[0].b", R"([{"b": 1.0}])", "1.0"},
                      ResolveCase{"$['']", R"({"": "empty"})", "\"empty\""},
                      ResolveCase{"$.a.b", R"({"a": "text"})", std::nullopt},
                      ResolveCase{"$[18446744073709551615]", "[1]", std::nullopt}));

TEST(JsonPath, ResolvePointsIntoTheValue) {
  const Value document = read(R"({"a": {"b": [1, 2]}})");
  auto path = JsonPath::parse("$.a.b");
  ASSERT_TRUE(path.ok());
  EXPECT_EQ(path->resolve(document), document.as_object().find("a")->as_object().find("b"));
}

}  // namespace
}  // namespace xvorn
