#include "aws_data/intrinsic_call.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "aws_data/write.hpp"

namespace vorn::aws {
namespace {

std::string rendered(const IntrinsicCall& call);

std::string rendered(const IntrinsicArgument& argument) {
  switch (argument.kind) {
    case IntrinsicArgument::Kind::kLiteral: return write_json(argument.literal);
    case IntrinsicArgument::Kind::kPath: return std::string(argument.path.text());
    case IntrinsicArgument::Kind::kCall: return rendered(*argument.call);
  }
  return "?";
}

// A parsed call in one line: literals as JSON, paths as written, nested calls
// inline, and a States.Format template's pieces in brackets after the name.
std::string rendered(const IntrinsicCall& call) {
  std::string out(intrinsic_function_name(call.function));
  if (call.format) {
    out += '[';
    for (std::size_t i = 0; i < call.format->pieces.size(); ++i) {
      out += (i > 0 ? "," : "") + write_json(Value::string(call.format->pieces[i]));
    }
    out += ']';
  }
  out += '(';
  for (std::size_t i = 0; i < call.arguments.size(); ++i) {
    out += (i > 0 ? ", " : "") + rendered(call.arguments[i]);
  }
  return out + ')';
}

std::string parsed(std::string_view text) {
  auto call = parse_intrinsic_call(text);
  if (!call.ok()) return "error: " + to_string(call.error());
  return rendered(*call);
}

struct Case {
  std::string text;
  std::string expected;
};

const char* const kNested =
    "States.ArrayGetItem(States.StringSplit($$.StateMachine.Name, '-'), "
    "States.MathAdd(States.ArrayLength(States.StringSplit($$.StateMachine.Name, '-')), -1))";

TEST(IntrinsicCall, ParsesEveryFunctionWithItsArity) {
  const std::vector<Case> cases = {
      {"States.Format('Formatting argument {}.', $.FunctionInput)",
       R"(States.Format["Formatting argument ","."]("Formatting argument {}.", $.FunctionInput))"},
      {"States.Format('plain')", R"(States.Format["plain"]("plain"))"},
      {"States.Format($.template, 1, $.b)", "States.Format($.template, 1, $.b)"},
      {"States.StringToJson('{\"a\": [1]}')", R"(States.StringToJson("{\"a\": [1]}"))"},
      {"States.JsonToString($$)", "States.JsonToString($$)"},
      {"States.Array()", "States.Array()"},
      {"States.Array(1, 'a', true, false, null, $.x)",
       R"(States.Array(1, "a", true, false, null, $.x))"},
      {"States.ArrayPartition($.a, 2)", "States.ArrayPartition($.a, 2)"},
      {"States.ArrayContains($.a, $.b)", "States.ArrayContains($.a, $.b)"},
      {"States.ArrayRange(0, 10, 3)", "States.ArrayRange(0, 10, 3)"},
      {"States.ArrayRange(0, 999, 1)", "States.ArrayRange(0, 999, 1)"},
      {"States.ArrayRange(9, 0, -3)", "States.ArrayRange(9, 0, -3)"},
      {"States.ArrayGetItem($.a, 5)", "States.ArrayGetItem($.a, 5)"},
      {"States.ArrayLength($.a)", "States.ArrayLength($.a)"},
      {"States.ArrayUnique(States.Array(1, 1))", "States.ArrayUnique(States.Array(1, 1))"},
      {"States.Base64Encode('Data to encode')", R"(States.Base64Encode("Data to encode"))"},
      {"States.Base64Decode('RGF0YSB0byBlbmNvZGU=')",
       R"(States.Base64Decode("RGF0YSB0byBlbmNvZGU="))"},
      {"States.Hash('input data', 'SHA-512')", R"(States.Hash("input data", "SHA-512"))"},
      {"States.Hash($.data, $.algorithm)", "States.Hash($.data, $.algorithm)"},
      {"States.JsonMerge($.a, $.b, false)", "States.JsonMerge($.a, $.b, false)"},
      {"States.MathRandom(12.5, 44.51)", "States.MathRandom(12.5, 44.51)"},
      {"States.MathRandom(0, 999, 3)", "States.MathRandom(0, 999, 3)"},
      {"States.MathAdd(1.49, -2147483648)", "States.MathAdd(1.49, -2147483648)"},
      {"States.StringSplit('a,b', ',')", R"(States.StringSplit("a,b", ","))"},
      {"States.UUID()", "States.UUID()"},
      // nesting, as recorded
      {kNested,
       R"(States.ArrayGetItem(States.StringSplit($$.StateMachine.Name, "-"), )"
       R"(States.MathAdd(States.ArrayLength(States.StringSplit($$.StateMachine.Name, "-")), -1)))"},
      {"States.JsonMerge(States.StringToJson('{\"constant_in_literal\": \"false\"}'), "
       "$$.Execution.Input.input_field, false)",
       R"(States.JsonMerge(States.StringToJson("{\"constant_in_literal\": \"false\"}"), )"
       R"($$.Execution.Input.input_field, false))"},
      // spaces around arguments, number forms
      {"States.Array(  1 ,'a'  ,$.b )", R"(States.Array(1, "a", $.b))"},
      {"States.Array(-1, 1.5, 1e2, -0, 0.0)", "States.Array(-1, 1.5, 1e2, -0, 0.0)"},
      // a path argument runs to the first ',' or ')' outside brackets and quotes
      {"States.Array($['a,b'], $.x[?(@.k == 'y)')], $[0], $..c[*])",
       "States.Array($['a,b'], $.x[?(@.k == 'y)')], $[0], $..c[*])"},
      // escapes; braces are plain characters outside a Format template
      {R"(States.Array('it\'s', 'back\\slash', '\{\}', '{}', 'a"b'))",
       R"(States.Array("it's", "back\\slash", "{}", "{}", "a\"b"))"},
      {R"(States.Format('\{{}\} \\{}', 1, 2))",
       R"(States.Format["{","} \\",""]("{{}} \\{}", 1, 2))"},
      {"States.StringSplit('Hello\nWorld', '\n')",
       R"(States.StringSplit("Hello\nWorld", "\n"))"},
      {"States.Format('{}{}', States.Format('{}', 1), 2)",
       R"(States.Format["","",""]("{}{}", States.Format["",""]("{}", 1), 2))"},
  };
  for (const Case& c : cases) EXPECT_EQ(parsed(c.text), c.expected) << c.text;
}

TEST(IntrinsicCall, RefusesWithPosition) {
  // States.Array around `uuids` calls of States.UUID.
  const auto calls = [](int uuids) {
    std::string text = "States.Array(";
    for (int i = 0; i < uuids; ++i) text += i > 0 ? ", States.UUID()" : "States.UUID()";
    return text + ")";
  };
  const std::string ten_calls = calls(9);
  const std::string eleven_calls = calls(10);
  const std::vector<Case> cases = {
      // names and counts
      {"States.Nope()", "unknown intrinsic function 'States.Nope' at position 0"},
      {"States.format('x')", "unknown intrinsic function 'States.format' at position 0"},
      {"States.ArrayLength($.a, $.b)", "States.ArrayLength takes 1 argument, got 2 at position 0"},
      {"States.UUID(1)", "States.UUID takes 0 arguments, got 1 at position 0"},
      {"States.MathRandom(1)", "States.MathRandom takes 2 or 3 arguments, got 1 at position 0"},
      {"States.Format()", "States.Format takes at least 1 argument, got 0 at position 0"},
      {"States.Array(States.JsonMerge($.a))",
       "States.JsonMerge takes 3 arguments, got 1 at position 13"},
      {"States.Format('{} and {}', 1)",
       "the States.Format template has 2 placeholders but is given 1 value at position 0"},
      {"States.Format('x', 1)",
       "the States.Format template has 0 placeholders but is given 1 value at position 0"},
      {eleven_calls, "more than 10 intrinsic calls in one field at position 148"},
      // the Format template's braces
      {"States.Format('{', 1)",
       "a lone '{' in the States.Format template; write \\{ for a brace at position 15"},
      {"States.Format('{x}', 1)",
       "a lone '{' in the States.Format template; write \\{ for a brace at position 15"},
      {"States.Format('a}')",
       "a lone '}' in the States.Format template; write \\} for a brace at position 16"},
      // escapes, as in a recorded refusal
      {R"(States.Format('He said, \"Hello, {}!\"', 'Test \"Name\" Here'))",
       R"(invalid escape '\"' in a string literal; only \', \{, \} and \\ are allowed at position 24)"},
      {R"(States.Array('\n'))",
       R"(invalid escape '\n' in a string literal; only \', \{, \} and \\ are allowed at position 14)"},
      // literals that can never work
      {"States.Hash($.a, 'SHA-2')",
       "unknown hash algorithm 'SHA-2'; States.Hash takes MD5, SHA-1, SHA-256, SHA-384 or SHA-512 "
       "at position 17"},
      {"States.JsonMerge($.a, $.b, true)",
       "States.JsonMerge merges only shallowly: its third argument must be false at position 27"},
      {"States.JsonMerge($.a, $.b, 'false')",
       "argument 3 of States.JsonMerge must be a boolean, not a string at position 27"},
      {"States.JsonMerge('{}', $.b, false)",
       "argument 1 of States.JsonMerge must be an object, not a string at position 17"},
      {"States.ArrayLength(States.UUID())",
       "argument 1 of States.ArrayLength must be an array, not a string from States.UUID at "
       "position 19"},
      {"States.Format(1)", "argument 1 of States.Format must be a string, not a number at position 14"},
      {"States.MathAdd('1', 2)",
       "argument 1 of States.MathAdd must be a number, not a string at position 15"},
      {"States.MathAdd(2147483647.5, 0)",
       "States.MathAdd takes numbers from -2147483648 to 2147483647 at position 15"},
      {"States.ArrayPartition($.a, 0.4)",
       "the chunk size of States.ArrayPartition must be at least 1 at position 27"},
      {"States.ArrayRange(0, 10, 0)", "the step of States.ArrayRange must not be 0 at position 25"},
      {"States.ArrayRange(0, 1000, 1)",
       "States.ArrayRange would give more than 1000 elements at position 0"},
      {"States.ArrayGetItem($.a, -1)",
       "the index of States.ArrayGetItem must not be negative at position 25"},
      {"States.MathRandom(5, 5)",
       "the start of States.MathRandom must be less than its end at position 18"},
      {"States.Base64Encode('" + std::string(10'001, 'x') + "')",
       "States.Base64Encode takes strings of at most 10000 characters at position 20"},
      // syntax
      {"", "expected a function name at position 0"},
      {" States.UUID()", "expected a function name at position 0"},
      {"States.UUID", "expected '(' after the function name at position 11"},
      {"States.UUID() ", "unexpected text after the call at position 13"},
      {"States.UUID())", "unexpected text after the call at position 13"},
      {"States.Array(1", "missing ')' at position 14"},
      {"States.Array(1 2)", "expected ',' or ')' at position 15"},
      {"States.Array(1,)",
       "expected an argument: a string in single quotes, a number, true, false, null, a path or a "
       "call at position 15"},
      {"States.Array(1,", "expected an argument at position 15"},
      {"States.Array('a)", "unterminated string literal at position 13"},
      {R"(States.Array('a\)", "unterminated string literal at position 13"},
      {"States.Array(1.)", "invalid number '1.' at position 13"},
      {"States.Array(truth)",
       "expected an argument: a string in single quotes, a number, true, false, null, a path or a "
       "call at position 13"},
      {"States.Array($.a[0)", "unterminated '[' in the path at position 13"},
      {"States.Array($['a)", "unterminated quoted name in the path at position 15"},
      {"States.Array($.a-b)",
       "a member name in a path argument may hold only letters, digits and '_'; write other names "
       "in brackets, e.g. $['my-name'] at position 16"},
      {"States.Array($.)", "invalid path: expected a member name at position 15"},
  };
  for (const Case& c : cases) EXPECT_EQ(parsed(c.text), "error: " + c.expected) << c.text;
  EXPECT_EQ(count_calls(*parse_intrinsic_call(ten_calls)), 10u);
}

TEST(IntrinsicCall, NamesMapBothWays) {
  std::set<std::string_view> names;
  for (std::size_t i = 0; i < kIntrinsicFunctionCount; ++i) {
    const auto function = static_cast<IntrinsicFunction>(i);
    const std::string_view name = intrinsic_function_name(function);
    EXPECT_TRUE(name.starts_with("States.")) << name;
    EXPECT_EQ(intrinsic_function_named(name), function) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), kIntrinsicFunctionCount);
  EXPECT_EQ(intrinsic_function_named("States.Nope"), std::nullopt);
  EXPECT_EQ(intrinsic_function_named("Format"), std::nullopt);
}

TEST(IntrinsicCall, TellsAttemptedCallsFromPaths) {
  const std::vector<std::pair<std::string_view, bool>> cases = {
      {"States.Format('x')", true}, {"Foo.bar_2(", true}, {"States.Nope()", true},
      {"$.a(", false},  {"(x)", false},   {"States.UUID", false},
      {"States Format()", false},  {"", false},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(looks_like_intrinsic_call(text), expected) << text;
  }
}

}  // namespace
}  // namespace vorn::aws
