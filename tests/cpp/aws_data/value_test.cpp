#include "aws_data/value.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include <string>
#include <vector>

namespace vorn::aws {
namespace {

Value num(std::string_view text) { return Value::number_from_text(text).value(); }
Value str(std::string s) { return Value::string(std::move(s)); }
Value obj(std::vector<Member> m) { return Value::object(std::move(m)); }
Value arr(std::vector<Value> v) { return Value::array(std::move(v)); }

struct NumberCase {
  std::string text;
  bool integral;
  double value;
};

TEST(AwsValue, NumbersKeepTheirWrittenForm) {
  const std::vector<NumberCase> cases = {
      {"0", true, 0},         {"-0", true, 0},          {"0.0", false, 0},
      {"1e2", false, 100},    {"1E+2", false, 100},     {"-1.5e-3", false, -0.0015},
      {"12345678901234567890123", true, 1.2345678901234568e22},
      {"1e400", false, HUGE_VAL}, {"-1e400", false, -HUGE_VAL}, {"1e-400", false, 0},
  };
  for (const auto& c : cases) {
    const Value v = num(c.text);
    EXPECT_EQ(v.kind(), Kind::kNumber) << c.text;
    EXPECT_EQ(v.number_text(), c.text);
    EXPECT_EQ(v.is_integral(), c.integral) << c.text;
    EXPECT_EQ(v.number_value(), c.value) << c.text;
  }
}

TEST(AwsValue, RefusesTextThatIsNotANumberLiteral) {
  for (std::string_view bad : {"", "-", "01", "1.", ".5", "+1", "1e", "1e+", "0x1", "1 ", "NaN",
                               "Infinity", "--1", "1.5.2"}) {
    const auto v = Value::number_from_text(bad);
    ASSERT_FALSE(v.ok()) << bad;
    EXPECT_EQ(v.error(), "not a JSON number: '" + std::string(bad) + "'");
  }
}

TEST(AwsValue, BuiltNumbersHaveShortestText) {
  EXPECT_EQ(Value::integer(-42).number_text(), "-42");
  EXPECT_TRUE(Value::integer(7).is_integral());
  EXPECT_EQ(Value::number(0.1).number_text(), "0.1");
  EXPECT_FALSE(Value::number(0.1).is_integral());
  EXPECT_EQ(Value::number(1e300).number_text(), "1e+300");
  EXPECT_TRUE(Value::number(std::nan("")).is_null());
}

struct EqualityCase {
  Value a, b;
  bool equal;
  const char* why;
};

TEST(AwsValue, EqualityIgnoresKeyOrderAndComparesNumbersByValue) {
  const std::vector<EqualityCase> cases = {
      {Value(), Value(), true, "nulls"},
      {Value(), Value::boolean(false), false, "kinds differ"},
      {Value::boolean(true), Value::boolean(true), true, "same bool"},
      {num("0"), num("0.0"), true, "0 == 0.0"},
      {num("-0"), num("0"), true, "-0 == 0"},
      {num("100"), num("1e2"), true, "written forms differ"},
      {num("1"), num("2"), false, "different integers"},
      {num("9007199254740993"), num("9007199254740992"), false, "integers compare exactly"},
      {num("123456789012345678901234567891"), num("123456789012345678901234567890"), false,
       "long integers compare by text"},
      {num("0.1"), num("0.10"), true, "same double"},
      {num("1"), str("1"), false, "number vs string"},
      {str("é"), str("é"), true, "same bytes"},
      {arr({num("1"), num("2")}), arr({num("2"), num("1")}), false, "array order matters"},
      {obj({{"a", num("1")}, {"b", num("2")}}), obj({{"b", num("2.0")}, {"a", num("1")}}), true,
       "key order ignored"},
      {obj({{"a", num("1")}}), obj({{"a", num("1")}, {"b", Value()}}), false, "extra key"},
      {obj({{"a", num("1")}}), obj({{"b", num("1")}}), false, "other key"},
      {arr({obj({{"x", arr({})}})}), arr({obj({{"x", arr({})}})}), true, "nested"},
      {arr({obj({{"x", arr({})}})}), arr({obj({{"x", obj({})}})}), false, "[] vs {}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.a == c.b, c.equal) << c.why;
    EXPECT_EQ(c.b == c.a, c.equal) << c.why << " (swapped)";
  }
}

TEST(AwsValue, WideObjectsCompareWithoutOrder) {
  std::vector<Member> forward, backward;
  for (int i = 0; i < 200; ++i) forward.push_back({std::to_string(i), Value::integer(i)});
  for (int i = 199; i >= 0; --i) backward.push_back({std::to_string(i), Value::integer(i)});
  EXPECT_EQ(obj(forward), obj(backward));
  backward[5].value = Value::integer(-1);
  EXPECT_NE(obj(forward), obj(backward));
}

TEST(AwsValue, RepeatedKeyReplacesInTheEarlierPlace) {
  for (int width : {3, 40}) {  // both the scan and the indexed path
    std::vector<Member> members{{"k", num("1")}, {"a", num("2")}};
    for (int i = 0; i < width; ++i) members.push_back({"f" + std::to_string(i), Value()});
    members.push_back({"k", num("3")});
    const Value v = obj(members);
    ASSERT_EQ(v.size(), static_cast<std::size_t>(width + 2));
    EXPECT_EQ(v.members()[0].key, "k");
    EXPECT_EQ(v.members()[0].value.number_text(), "3");
    EXPECT_EQ(v.members()[1].key, "a");
  }
}

TEST(AwsValue, CopiesShareUntilWritten) {
  Value a = obj({{"x", arr({num("1")})}, {"y", str("s")}});
  const Value b = a;
  EXPECT_EQ(a.members().data(), b.members().data());  // shared node
  a.set_member("z", Value::boolean(true));
  a.set_member("x", Value());
  EXPECT_EQ(b.size(), 2u);
  EXPECT_TRUE(b.find("x")->is_array());
  ASSERT_EQ(a.size(), 3u);
  EXPECT_EQ(a.members()[0].key, "x");
  EXPECT_TRUE(a.members()[0].value.is_null());
  EXPECT_EQ(a.members()[2].key, "z");
  Value c = b;
  c.mutable_members()[0].value.push_item(num("2"));
  EXPECT_EQ(b.find("x")->size(), 1u);  // the copy's write stays its own
  EXPECT_EQ(c.find("x")->size(), 2u);
  // A write into a value that is no container makes it an empty one first.
  c.mutable_members()[1].value.mutable_items();
  EXPECT_TRUE(c.find("y")->is_array());
  EXPECT_EQ(c.find("y")->size(), 0u);
  EXPECT_TRUE(b.find("y")->is_string());
}

TEST(AwsValue, DroppingAVeryDeepValueDoesNotRecurse) {
  Value v;
  for (int i = 0; i < 200000; ++i) v = i % 2 ? arr({std::move(v)}) : obj({{"a", std::move(v)}});
  Value copy = v;
  EXPECT_EQ(copy, v);  // shares the root: no walk
  v = Value();
  copy = Value();  // the last owner tears two hundred thousand levels down
  SUCCEED();
}

TEST(AwsValue, KindNames) {
  EXPECT_EQ(kind_name(Kind::kNull), "null");
  EXPECT_EQ(kind_name(Kind::kBool), "boolean");
  EXPECT_EQ(kind_name(Kind::kNumber), "number");
  EXPECT_EQ(kind_name(Kind::kString), "string");
  EXPECT_EQ(kind_name(Kind::kArray), "array");
  EXPECT_EQ(kind_name(Kind::kObject), "object");
}

}  // namespace
}  // namespace vorn::aws
