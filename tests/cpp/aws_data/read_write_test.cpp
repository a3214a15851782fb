#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aws_data/read.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {
namespace {

std::string reread(std::string_view text) {
  auto v = read_json(text);
  return v.ok() ? write_json(*v) : "error: " + to_string(v.error());
}

struct TextCase {
  std::string text;
  std::string compact;  // the written text, or "error: " and the message
};

TEST(AwsReadWrite, ReadsAndWritesCompactly) {
  using namespace std::string_literals;
  const std::vector<TextCase> cases = {
      {"null", "null"},
      {" true ", "true"},
      {"0.0", "0.0"},
      {"-0", "-0"},
      {"1e2", "1e2"},
      {"1E+2", "1E+2"},
      {"12345678901234567890123456789", "12345678901234567890123456789"},
      {"0.1000000000000000055511151231257827021181583404541015625",
       "0.1000000000000000055511151231257827021181583404541015625"},
      {"{ \"b\" : 1 , \"a\" : [ true , null ] }", "{\"b\":1,\"a\":[true,null]}"},
      {"{\"k\":1,\"a\":2,\"k\":3}", "{\"k\":3,\"a\":2}"},
      {"[]", "[]"},
      {"{}", "{}"},
      {"[[],{},[{}]]", "[[],{},[{}]]"},
      {"\"\\u00e9\\u20AC\\ud83d\\ude00\"", "\"é€😀\""},
      {"\"é€😀\"", "\"é€😀\""},
      {"\"\\/\"", "\"/\""},
      {"\"\\\"\\\\\\b\\f\\n\\r\\t\"", "\"\\\"\\\\\\b\\f\\n\\r\\t\""},
      {"\"\\u0000\\u0001\\u001f\\u007f\"", "\"\\u0000\\u0001\\u001F\x7f\""s},
      {"\"Test\\\\\\\"\\\"Name\\\"\"", "\"Test\\\\\\\"\\\"Name\\\"\""},
      // faults
      {"", "error: empty text at line 1 column 1"},
      {"  ", "error: empty text at line 1 column 3"},
      // Positions are where the fault shows: after "nul", after the string.
      {"nul", "error: unexpected character at line 1 column 4"},
      {"{\"a\":1,}", "error: expected a member name at line 1 column 8"},
      {"[1 2]", "error: expected ',' or ']' at line 1 column 4"},
      {"{\"a\" 1}", "error: expected ':' at line 1 column 6"},
      {"{\n  \"é\": tru\n}", "error: unexpected character at line 2 column 11"},
      {"1 2", "error: text after the value at line 1 column 3"},
      {"01", "error: text after the value at line 1 column 2"},
      {"1.", "error: expected digits after '.' at line 1 column 3"},
      {"1e", "error: expected digits in the exponent at line 1 column 3"},
      {"\"abc", "error: unterminated string at line 1 column 5"},
      {"\"\\x\"", "error: bad escape at line 1 column 2"},
      {"\"\\ud800\"", "error: lone surrogate in a \\u escape at line 1 column 2"},
      {"\"\\udc00\"", "error: lone surrogate in a \\u escape at line 1 column 9"},
      {"[1]\0"s, "error: NUL byte at line 1 column 4"},
      {"\"a\0b\""s, "error: NUL byte at line 1 column 3"},
      {"\"\xff\"", "error: invalid UTF-8 at line 1 column 2"},
      {"\"\xed\xa0\x80\"", "error: invalid UTF-8 at line 1 column 2"},
      {"\"\x01\"", "error: raw control character in a string at line 1 column 2"},
      {"[\"ok\",\n\"\x1f\"]", "error: raw control character in a string at line 2 column 2"},
      {"1e400", "error: number too big at line 1 column 1"},
  };
  for (const auto& c : cases) EXPECT_EQ(reread(c.text), c.compact) << "text: " << c.text;
}

TEST(AwsReadWrite, DepthIsBounded) {
  const std::string ok = std::string(kMaxReadDepth, '[') + std::string(kMaxReadDepth, ']');
  EXPECT_EQ(reread(ok), ok);
  const std::string deep = "[" + ok + "]";
  EXPECT_EQ(reread(deep), "error: nesting too deep at line 1 column 1001");
}

// The size of the compact text, computed without building it, over every
// value the reading cases produce and a few built by hand.
TEST(AwsReadWrite, CompactSizeIsTheWrittenLength) {
  std::vector<Value> values;
  for (std::string_view text :
       {"null", "[1,-0.0,1e2]", "{\"é\":\"\\u0001\\n\\\"\",\"b\":[[],{}]}", "\"😀\"",
        "{\"a\":{\"b\":{\"c\":[true,false,null,\"x\"]}}}"}) {
    values.push_back(read_json(text).value());
  }
  values.push_back(Value::string(std::string(1000, '\x02')));
  values.push_back(Value::object({{"Arg1", Value::string(std::string(263168, 'a'))}}));
  for (const Value& v : values) EXPECT_EQ(compact_size(v), write_json(v).size()) << write_json(v);
  // The payload of a too-large Pass result is measured on exactly this text.
  EXPECT_EQ(compact_size(values.back()), 263168u + 11u);
}

TEST(AwsReadWrite, WritingIsIterative) {
  Value v;
  for (int i = 0; i < 100000; ++i) v = Value::array({std::move(v)});
  const std::string text = write_json(v);
  EXPECT_EQ(text.size(), 200000u + 4u);
  EXPECT_EQ(compact_size(v), text.size());
}

// Reading what was written gives an equal value with the same text.
TEST(AwsReadWrite, RoundTrips) {
  for (std::string_view text :
       {"{\"z\":1,\"a\":[0.0,-0,1E5,{\"\":\"\\t\"}],\"m\":{\"k\":null}}", "[\"\\u001F\"]",
        "\"\\u2028 \\\\ / é\"", "[1.5e-7,123456789012345678901234567890]"}) {
    const Value first = read_json(text).value();
    const std::string written = write_json(first);
    const Value second = read_json(written).value();
    EXPECT_EQ(first, second) << text;
    EXPECT_EQ(write_json(second), written) << text;
  }
}

}  // namespace
}  // namespace vorn::aws
