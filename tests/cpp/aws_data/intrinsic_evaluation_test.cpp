#include "aws_data/intrinsic_evaluation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "aws_data/read.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {
namespace {

const char* const kContext =
    R"({"StateMachine":{"Id":"arn:aws:states:us-east-1:1:stateMachine:order-flow-v2",)"
    R"("Name":"order-flow-v2"},"Execution":{"Input":{"input_field":)"
    R"({"constant_input_field":"constant_value"}}}})";

// The call's value as compact JSON; "failed: <reason>" when the function
// failed, "missing: <path>" when a path argument found nothing.
std::string evaluated(std::string_view call_text, std::string_view input) {
  auto call = parse_intrinsic_call(call_text);
  if (!call.ok()) return "unparsed: " + to_string(call.error());
  RandomSource random(7);
  auto value =
      evaluate_intrinsic_call(*call, read_json(input).value(), read_json(kContext).value(), random);
  if (value.ok()) return write_json(*value);
  if (value.error().kind == IntrinsicFailure::Kind::kPathNotFound) {
    return "missing: " + value.error().path;
  }
  return "failed: " + value.error().reason;
}

struct Row {
  std::string call, input, expected;
};

void check_rows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    EXPECT_EQ(evaluated(row.call, row.input), row.expected) << row.call << " on " << row.input;
  }
}

TEST(IntrinsicEvaluation, FormatRendersValuesAsAwsShowsThem) {
  check_rows({
      {"States.Format('Formatting argument {}.', $.x)", R"({"x":null})",
       R"("Formatting argument null.")"},
      {"States.Format('Formatting argument {}.', $.x)", R"({"x":1.1})",
       R"("Formatting argument 1.1.")"},
      {"States.Format('fst={} and snd={}.', $.x.fst, $.x.snd)",
       R"({"x":{"fst":{"Arg1":1,"Arg2":[]},"snd":{"Arg1":1,"Arg2":[]}}})",
       R"("fst={Arg1=1, Arg2=[]} and snd={Arg1=1, Arg2=[]}.")"},
      // Strings go in raw, JSON-looking ones too; arrays as Java lists.
      {"States.Format('[{}][{}][{}]', $.a, $.b, $.c)", R"({"a":"","b":" ","c":"{\"k\":1}"})",
       R"("[][ ][{\"k\":1}]")"},
      {"States.Format('{}|{}', $.a, $.b)", R"({"a":[true,"s",[1e2]],"b":false})",
       R"("[true, s, [1e2]]|false")"},
      {"States.Format('\\{{}\\} \\'q\\' \\\\', 7)", "{}", R"("{7} 'q' \\")"},
      {"States.Format('{}', $$.StateMachine)", "{}",
       R"("{Id=arn:aws:states:us-east-1:1:stateMachine:order-flow-v2, Name=order-flow-v2}")"},
      // A template from the data is read like a literal's text.
      {"States.Format($.t, 1, 2)", R"({"t":"a{}b\\{{}\\}"})", R"("a1b{2}")"},
      {"States.Format($.t, 1)", R"({"t":"no placeholders"})",
       "failed: the template has 0 placeholders but is given 1 value"},
      {"States.Format($.t)", R"({"t":3})",
       "failed: argument 1 of States.Format must be a string, not a number"},
      {"States.Format('{}', $.nothing)", "{}", "missing: $.nothing"},
  });
}

TEST(IntrinsicEvaluation, JsonTextFunctions) {
  check_rows({
      {"States.StringToJson($.x)", R"({"x":""})", "null"},
      {"States.StringToJson($.x)", R"({"x":" "})", "null"},
      {"States.StringToJson($.x)", R"({"x":"null"})", "null"},
      {"States.StringToJson($.x)", R"({"x":"-0"})", "0"},
      {"States.StringToJson($.x)", R"({"x":"1.1"})", "1.1"},
      {"States.StringToJson($.x)", R"({"x":"\"HelloWorld\""})", R"("HelloWorld")"},
      {"States.StringToJson($.x)", R"({"x":"[1, {\"a\": [-0]}]"})", R"([1,{"a":[0]}])"},
      {"States.StringToJson($.x)", R"({"x":"{\"a\":"})",
       "failed: argument 1 is not JSON text: unexpected character at line 1 column 6"},
      {"States.StringToJson($.x)", R"({"x":{}})",
       "failed: argument 1 of States.StringToJson must be a string, not an object"},
      {"States.JsonToString($.x)", R"({"x":null})", R"("null")"},
      {"States.JsonToString($.x)", R"({"x":"HelloWorld"})", R"("\"HelloWorld\"")"},
      {"States.JsonToString($.x)", R"({"x":[1, 2, "HelloWorld"]})", R"("[1,2,\"HelloWorld\"]")"},
      {"States.JsonToString($.x)", R"({"x":{"Arg1": 1, "Arg2": []}})",
       R"("{\"Arg1\":1,\"Arg2\":[]}")"},
      {"States.JsonMerge($.a, $.b, false)",
       R"({"a":{"a":{"a1":1,"a2":2},"b":2,"d":3},"b":{"a":{"a3":1,"a4":2},"c":3,"d":4}})",
       R"({"a":{"a3":1,"a4":2},"b":2,"c":3,"d":4})"},
      {"States.JsonMerge(States.StringToJson('{\"constant_in_literal\": \"false\"}'), "
       "$$.Execution.Input.input_field, false)",
       "{}", R"({"constant_input_field":"constant_value","constant_in_literal":"false"})"},
      {"States.JsonMerge($.a, $.a, $.deep)", R"({"a":{},"deep":true})",
       "failed: a deep merge is not supported: argument 3 must be false"},
      {"States.JsonMerge($.a, $.b, false)", R"({"a":{},"b":[]})",
       "failed: argument 2 of States.JsonMerge must be an object, not an array"},
  });
}

TEST(IntrinsicEvaluation, ArrayFunctions) {
  check_rows({
      {"States.Array()", "{}", "[]"},
      {"States.Array($.a, $.b, null, 'x', 1)", R"({"a":{"k":[]},"b":null})",
       R"([{"k":[]},null,null,"x",1])"},
      {"States.ArrayPartition($.a, 2)", R"({"a":[]})", "[]"},
      {"States.ArrayPartition($.a, 2)", R"({"a":[0,1,2]})", "[[0,1],[2]]"},
      {"States.ArrayPartition($.a, $.n)", R"({"a":[0,1,2,3],"n":3})", "[[0,1,2],[3]]"},
      {"States.ArrayPartition($.a, 2.5)", R"({"a":[0,1,2,3]})", "[[0,1,2],[3]]"},
      {"States.ArrayPartition($.a, 9)", R"({"a":[0,1,2,3]})", "[[0,1,2,3]]"},
      {"States.ArrayPartition($.a, $.n)", R"({"a":[0],"n":0})",
       "failed: argument 2 of States.ArrayPartition must be from 1 to 2147483647, not 0"},
      {"States.ArrayContains($.a, $.v)", R"({"a":[[1,2,3],2],"v":[1,2,3]})", "true"},
      {"States.ArrayContains($.a, $.v)", R"({"a":[{"1":2,"2":[]}],"v":{"2":[],"1":2}})", "true"},
      {"States.ArrayContains($.a, $.v)", R"({"a":[],"v":null})", "false"},
      {"States.ArrayContains($.a, false)", R"({"a":[true,false]})", "true"},
      {"States.ArrayContains($.a, 1)", R"({"a":[1.0]})", "true"},
      {"States.ArrayContains($.a, 1)", R"({"a":"1"})",
       "failed: argument 1 of States.ArrayContains must be an array, not a string"},
      {"States.ArrayRange(0, 9, 3)", "{}", "[0,3,6,9]"},
      {"States.ArrayRange(0, 10, 3)", "{}", "[0,3,6,9]"},
      {"States.ArrayRange(1, 9, 9)", "{}", "[1]"},
      {"States.ArrayRange(1, 9, 2)", "{}", "[1,3,5,7,9]"},
      {"States.ArrayRange(5, 5, 1)", "{}", "[5]"},
      {"States.ArrayRange(5, 0, -2)", "{}", "[5,3,1]"},
      {"States.ArrayRange(0, 5, -1)", "{}", "[]"},
      {"States.ArrayRange($.a, $.b, $.c)", R"({"a":0.5,"b":2.4,"c":1})", "[1,2]"},
      {"States.ArrayRange(0, 3, $.c)", R"({"c":0.4})", "failed: the step must not be 0"},
      {"States.ArrayRange(0, $.b, 1)", R"({"b":1000})",
       "failed: the range would hold 1001 items, more than 1000"},
      {"States.ArrayRange(0, $.b, 1)", R"({"b":999})",
       evaluated("States.ArrayRange(0, 999, 1)", "{}")},
      {"States.ArrayGetItem($.a, 5)", R"({"a":[1,2,3,4,5,6,7,8,9]})", "6"},
      {"States.ArrayGetItem($.a, $.i)", R"({"a":[1,2,3],"i":3})",
       "failed: the index 3 is out of range for an array of 3 items"},
      {"States.ArrayGetItem($.a, $.i)", R"({"a":[1,2,3],"i":-1})",
       "failed: the index -1 is out of range for an array of 3 items"},
      {"States.ArrayGetItem($.a, $.i)", R"({"a":[1,2,3],"i":1.5})",
       "failed: the index must be a whole number, not 1.5"},
      {"States.ArrayGetItem(States.StringSplit($$.StateMachine.Name, '-'), 0)", "{}", R"("order")"},
      {"States.ArrayGetItem(States.StringSplit($$.StateMachine.Name, '-'), "
       "States.MathAdd(States.ArrayLength(States.StringSplit($$.StateMachine.Name, '-')), -1))",
       "{}", R"("v2")"},
      {"States.ArrayLength($.a)", R"({"a":[1,2,3,4,5,6,7,8,9]})", "9"},
      {"States.ArrayLength($.a)", R"({"a":{}})",
       "failed: argument 1 of States.ArrayLength must be an array, not an object"},
      {"States.ArrayUnique($.a)", R"({"a":[1,2,3,3,3,3,3,3,4]})", "[1,2,3,4]"},
      {"States.ArrayUnique($.a)",
       R"({"a":[1,1.0,1e0,-0,0,"1",{"a":1,"b":2},{"b":2,"a":1},[1],[1]]})",
       R"([1,-0,"1",{"a":1,"b":2},[1]])"},
  });
}

TEST(IntrinsicEvaluation, EncodingAndHashes) {
  check_rows({
      {"States.Base64Encode($.x)", R"({"x":""})", R"("")"},
      {"States.Base64Encode($.x)", R"({"x":"Data to encode"})", R"("RGF0YSB0byBlbmNvZGU=")"},
      {"States.Base64Encode($.x)", R"({"x":"é€"})", R"("w6nigqw=")"},
      {"States.Base64Decode($.x)", R"({"x":""})", R"("")"},
      {"States.Base64Decode($.x)", R"({"x":"RGF0YSB0byBlbmNvZGU="})", R"("Data to encode")"},
      {"States.Base64Decode($.x)", R"({"x":"RGF0YSB0byBlbmNvZGU"})", R"("Data to encode")"},
      {"States.Base64Decode($.x)", R"({"x":"w6nigqw="})", R"("é€")"},
      {"States.Base64Decode($.x)", R"({"x":"RGF0 YQ=="})",
       "failed: argument 1 is not valid Base64"},
      {"States.Base64Decode($.x)", R"({"x":"R=F0"})", "failed: argument 1 is not valid Base64"},
      {"States.Base64Decode($.x)", R"({"x":"R"})", "failed: argument 1 is not valid Base64"},
      {"States.Base64Decode($.x)", R"({"x":"/w=="})",
       "failed: the decoded bytes are not UTF-8 text"},
      {"States.Hash($.x, 'MD5')", R"({"x":"input data"})", R"("812f45842bc6d66ee14572ce20db8e86")"},
      {"States.Hash($.x, $.a)", R"({"x":"input data","a":"SHA-1"})",
       R"("aaff4a450a104cd177d28d18d74485e8cae074b7")"},
      {"States.Hash($.x, 'SHA-256')", R"({"x":"input data"})",
       R"("b4a697a057313163aee33cd8d40c66e9f0f177e00cac2de32475ffff6169c3e3")"},
      {"States.Hash($.x, 'SHA-384')", R"({"x":"input data"})",
       R"("d28a7d5cf25a74f11a50a18452b75e04bb3d70c9dd0510d6123aa008c756511b87525bdc835ebb27e1)"
       R"(fb9e9374a15562")"},
      {"States.Hash($.x, 'SHA-512')", R"({"x":"input data"})",
       R"("6ce4adb348546d4f449c4d25aad9a7c9cb711d9e91982d3f0b29ca2f3f47d4ce2deba23bf2954f0f1d)"
       R"(593fc50283731a533d30d425402d4f91316d871303aac4")"},
      // Other data is hashed as its compact JSON text.
      {"States.Hash($.x, 'MD5')", R"({"x":{"a": [1, 2]}})",
       evaluated("States.Hash('{\"a\":[1,2]}', 'MD5')", "{}")},
      {"States.Hash($.x, $.a)", R"({"x":"d","a":"sha-256"})",
       "failed: unknown hash algorithm 'sha-256'; the algorithms are MD5, SHA-1, SHA-256, SHA-384 "
       "and SHA-512"},
  });
  // The length limits count characters, not bytes.
  const std::string at_limit(kMaxIntrinsicStringLength, 'a');
  const std::string over_limit(kMaxIntrinsicStringLength + 1, 'a');
  std::string wide;
  for (std::size_t i = 0; i < kMaxIntrinsicStringLength; ++i) wide += "é";
  const auto input = [](const std::string& text) {
    return write_json(Value::object({Member{"x", Value::string(text)}}));
  };
  EXPECT_EQ(evaluated("States.Hash($.x, 'MD5')", input(wide)).size(), 34u);
  EXPECT_EQ(evaluated("States.Base64Encode($.x)", input(at_limit)).size(), 2u + 13336u);
  EXPECT_EQ(evaluated("States.Base64Encode($.x)", input(over_limit)),
            "failed: argument 1 is 10001 characters long; at most 10000 are allowed");
}

TEST(IntrinsicEvaluation, MathFunctions) {
  check_rows({
      {"States.MathAdd($.a, $.b)", R"({"a":1.49,"b":1.5})", "3"},
      {"States.MathAdd($.a, $.b)", R"({"a":1.5,"b":1.51})", "4"},
      {"States.MathAdd($.a, $.b)", R"({"a":-1.49,"b":-1.5})", "-2"},
      {"States.MathAdd($.a, $.b)", R"({"a":-1.5,"b":-1.51})", "-3"},
      {"States.MathAdd($.a, 0)", R"({"a":0.5})", "1"},
      {"States.MathAdd($.a, 0)", R"({"a":2.5})", "3"},
      {"States.MathAdd($.a, 0)", R"({"a":-0.5})", "0"},
      {"States.MathAdd($.a, 0)", R"({"a":-2.5})", "-2"},
      {"States.MathAdd($.a, 0.5)", R"({"a":-0.5})", "1"},
      {"States.MathAdd(-9, 3)", "{}", "-6"},
      {"States.MathAdd($.a, $.a)", R"({"a":2147483647})", "4294967294"},
      {"States.MathAdd($.a, 1)", R"({"a":2147483648})",
       "failed: argument 1 of States.MathAdd must be from -2147483648 to 2147483647, not "
       "2147483648"},
      {"States.MathAdd($.a, 1)", R"({"a":"1"})",
       "failed: argument 1 of States.MathAdd must be a number, not a string"},
      {"States.MathRandom($.a, $.b)", R"({"a":5,"b":5})",
       "failed: the start 5 must be less than the end 5"},
  });
  // A seeded call gives the same number whatever the execution's source;
  // an unseeded one draws from that source.
  const auto drawn = [](const char* call, std::uint64_t source_seed) {
    RandomSource random(source_seed);
    return write_json(
        evaluate_intrinsic_call(parse_intrinsic_call(call).value(), Value(), Value(), random)
            .value());
  };
  EXPECT_EQ(drawn("States.MathRandom(0, 1000000, 3)", 1),
            drawn("States.MathRandom(0, 1000000, 3)", 2));
  EXPECT_NE(drawn("States.MathRandom(0, 1000000)", 1), drawn("States.MathRandom(0, 1000000)", 2));
  for (const char* call : {"States.MathRandom(12.5, 44.51)", "States.MathRandom(9999, 99999)",
                           "States.MathRandom(-99999, -9999)", "States.MathRandom(0, 1)"}) {
    const auto parsed = parse_intrinsic_call(call).value();
    const double low = std::floor(parsed.arguments[0].literal.number_value() + 0.5);
    const double high = std::floor(parsed.arguments[1].literal.number_value() + 0.5);
    RandomSource random(11);
    for (int i = 0; i < 200; ++i) {
      const Value n = evaluate_intrinsic_call(parsed, Value(), Value(), random).value();
      ASSERT_TRUE(n.is_integral()) << call;
      ASSERT_GE(n.number_value(), low) << call;
      ASSERT_LT(n.number_value(), high) << call;
    }
  }
}

TEST(IntrinsicEvaluation, StringSplitAndUuid) {
  check_rows({
      {"States.StringSplit($.s, ',')", R"({"s":" , "})", R"([" "," "])"},
      {"States.StringSplit($.s, ',')", R"({"s":", , ,"})", R"([" "," "])"},
      {"States.StringSplit($.s, ',')", R"({"s":",,,,"})", "[]"},
      {"States.StringSplit($.s, ',')", R"({"s":" "})", R"([" "])"},
      {"States.StringSplit($.s, '.+,=')", R"({"s":"This.is+a,test=string"})",
       R"(["This","is","a","test","string"])"},
      {"States.StringSplit($.s, $.d)", R"({"s":"split on T and \nnew line","d":"T\n"})",
       R"(["split on "," and ","new line"])"},
      {"States.StringSplit($.s, 'é')", R"({"s":"aébéc"})", R"(["a","b","c"])"},
      {"States.StringSplit($.s, '')", R"({"s":"abc"})", R"(["abc"])"},
      {"States.StringSplit($.s, ',')", R"({"s":1})",
       "failed: argument 1 of States.StringSplit must be a string, not a number"},
  });
  const std::string uuid = evaluated("States.UUID()", "{}");
  ASSERT_EQ(uuid.size(), 38u) << uuid;
  EXPECT_EQ(uuid[15], '4') << uuid;  // version 4
  EXPECT_NE(std::string_view("89ab").find(uuid[20]), std::string_view::npos) << uuid;
}

TEST(IntrinsicEvaluation, NoBuiltValueOutgrowsTheLimit) {
  // A 200 KiB string twice over: the data a field holds could never be a payload.
  const std::string big(200'000, 'x');
  const std::string input = write_json(Value::object({Member{"s", Value::string(big)}}));
  const std::string too_long = "failed: the result would be longer than 262144 bytes";
  EXPECT_EQ(evaluated("States.Format('{}{}', $.s, $.s)", input), too_long);
  EXPECT_EQ(evaluated("States.Array($.s, $.s)", input), too_long);
  EXPECT_EQ(evaluated("States.JsonToString(States.Array($.s))", input).size(), 200'000u + 8u);
  EXPECT_EQ(evaluated("States.Format('{}', States.Array($.s, 1))", input).size(), 200'000u + 7u);
}

}  // namespace
}  // namespace vorn::aws
