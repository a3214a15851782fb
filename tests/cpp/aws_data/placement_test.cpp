#include "aws_data/placement.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aws_data/read.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {
namespace {

std::string placed(std::string_view input, std::string_view path, std::string_view value) {
  const Value in = read_json(input).value();
  auto result = place(in, JsonPath::parse(path).value(), read_json(value).value());
  return result.ok() ? write_json(*result) : "error: " + to_string(result.error());
}

struct Case {
  std::string input, path, value, expected;
};

TEST(AwsPlacement, PlacesLikeResultPath) {
  const std::vector<Case> cases = {
      {R"({"a":1})", "$", R"([2])", R"([2])"},
      {R"("s")", "$", R"({"k":0.0})", R"({"k":0.0})"},
      {R"({"a":1,"b":2})", "$.c", "3", R"({"a":1,"b":2,"c":3})"},
      {R"({"a":1,"b":2})", "$.a", "3", R"({"a":3,"b":2})"},
      {R"({"Values":[1],"Iterations":2})", "$.Values", "[9]", R"({"Values":[9],"Iterations":2})"},
      {R"({"functionName":"f"})", "$.enigma.mystery", R"({"riddle":"r"})",
       R"({"functionName":"f","enigma":{"mystery":{"riddle":"r"}}})"},
      {R"({"a":{"x":1}})", "$.a.y.z", "0", R"({"a":{"x":1,"y":{"z":0}}})"},
      {R"({"a":[{"b":1},{"b":2}]})", "$.a[1].b", "5", R"({"a":[{"b":1},{"b":5}]})"},
      {R"({"a":[{"b":1},{"b":2}]})", "$.a[-2].c", "5", R"({"a":[{"b":1,"c":5},{"b":2}]})"},
      {R"({"a":[1,2]})", "$.a[0]", "null", R"({"a":[null,2]})"},
      {R"({"x y":{}})", "$['x y']['q']", "true", R"({"x y":{"q":true}})"},
      // failures
      {R"("s")", "$.x", "1",
       "error: Invalid path '$.x' : Expected to find an object with property ['x'] in path $ but "
       "found a string"},
      {R"({"a":[1]})", "$.a.b", "1",
       "error: Invalid path '$.a.b' : Expected to find an object with property ['b'] in path "
       "$['a'] but found an array"},
      {R"({"a":{}})", "$.a[0]", "1",
       "error: Invalid path '$.a[0]' : Expected to find an array with index [0] in path $['a'] "
       "but found an object"},
      {R"({})", "$.a[0]", "1",
       "error: Invalid path '$.a[0]' : Expected to find an array with index [0] in path $['a'] "
       "but found an object"},
      {R"({"a":[1]})", "$.a[1]", "1",
       "error: Invalid path '$.a[1]' : Index out of bounds when evaluating path $['a'][1]"},
      {R"({"a":[1]})", "$.a[-2].b", "1",
       "error: Invalid path '$.a[-2].b' : Index out of bounds when evaluating path $['a'][-2]"},
      {R"({})", "$$.a", "1",
       "error: Invalid path '$$.a' : A result can only be placed at a reference path"},
      {R"({})", "$.a[*]", "1",
       "error: Invalid path '$.a[*]' : A result can only be placed at a reference path"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(placed(c.input, c.path, c.value), c.expected) << c.input << " " << c.path;
  }
}

TEST(AwsPlacement, LeavesTheInputAloneAndSharesTheRest) {
  const Value input = read_json(R"({"keep":{"big":[1,2,3]},"a":{"b":1}})").value();
  const std::string before = write_json(input);
  const Value out = place(input, JsonPath::parse("$.a.b").value(), Value::integer(2)).value();
  EXPECT_EQ(write_json(input), before);
  EXPECT_EQ(write_json(out), R"({"keep":{"big":[1,2,3]},"a":{"b":2}})");
  // The untouched member is the same node, not a copy.
  EXPECT_EQ(out.find("keep")->members().data(), input.find("keep")->members().data());
}

// After placing, the value is found where it was placed.
TEST(AwsPlacement, PlacedValueIsFoundThere) {
  const Value input = read_json(R"({"a":{"b":[{},{"c":1}]},"d":"x"})").value();
  for (std::string_view path : {"$.a", "$.a.b[1].c", "$.a.b[0].new", "$.n.m.o", "$.a.b[-1]",
                                "$['d2']", "$.a.b[1].z.y"}) {
    const JsonPath p = JsonPath::parse(path).value();
    const Value v = read_json(R"({"placed":[0.0]})").value();
    auto out = place(input, p, v);
    ASSERT_TRUE(out.ok()) << path;
    auto found = p.evaluate(*out);
    ASSERT_TRUE(found.ok()) << path;
    EXPECT_EQ(write_json(*found), R"({"placed":[0.0]})") << path;
  }
}

// The two data-flow cases: a Pass state's Parameters output placed at $.modifiedData.
TEST(AwsPlacement, AppendsAfterExistingKeys) {
  const std::string input =
      R"({"initialData":{"fieldFromInput":"value from input","otherField":"other"},)"
      R"("unrelatedData":{"someOtherField":1234}})";
  EXPECT_EQ(placed(input, "$.modifiedData", R"({"resultKey":"result value"})"),
            input.substr(0, input.size() - 1) + R"(,"modifiedData":{"resultKey":"result value"}})");
}

}  // namespace
}  // namespace vorn::aws
