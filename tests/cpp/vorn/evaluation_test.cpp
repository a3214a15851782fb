// Template and condition evaluation on encoded data.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "test_bytes.hpp"
#include "test_paths.hpp"
#include "vorn/data_view.hpp"
#include "vorn/decoder.hpp"
#include "vorn/encode.hpp"
#include "vorn/template_eval.hpp"
#include "vorn/value_store.hpp"

namespace vorn {
namespace {

using testing::ByteVector;
using testing::encoded;
using testing::hex;
using testing::segments;

constexpr std::uint8_t kTwo[] = {0x04, 0x02, 0, 0, 0, 0, 0, 0, 0};
constexpr std::uint8_t kNull[] = {0x06};
constexpr ir::PathSegment kX[] = {ir::Field{"x"}};
constexpr ir::PathSegment kMissing[] = {ir::Field{"nope"}};
constexpr ir::PathSegment kListSecond[] = {ir::Field{"list"}, ir::Index{1}};
constexpr ir::PathSegment kFirst[] = {ir::Index{0}};

TEST(EvaluateTemplate, BuildsAnObjectInKeyOrder) {
  struct Case {
    std::vector<ir::TemplateEntry> entries;
    ByteVector input;
    std::optional<ByteVector> expected;
  };
  const ByteVector input = encoded(R"({"list":["a","b"],"x":true})");
  const Case cases[] = {
      {{ir::Literal{"b", kTwo}, ir::Reference{"a", {kX}}},
       encoded(R"({"x":true})"),
       encoded(R"({"a":true,"b":2})")},
      // Key order is by bytes, not by the order of the entries.
      {{ir::Literal{"b", kNull}, ir::Literal{"B", kNull}, ir::Literal{"a", kNull},
        ir::Literal{"", kNull}, ir::Literal{"ab", kNull}},
       input,
       encoded(R"({"":null,"B":null,"a":null,"ab":null,"b":null})")},
      {{ir::Reference{"second", {kListSecond}}, ir::Reference{"all", {}}},
       input,
       encoded(R"({"all":{"list":["a","b"],"x":true},"second":"b"})")},
      // The empty path copies the input value alone, not what follows it.
      {{ir::Reference{"v", {}}}, hex("06 06 06"), encoded(R"({"v":null})")},
      {{}, input, hex("01 02 00 00 00")},
      // Equal keys are all written, in stored order.
      {{ir::Literal{"k", kTwo}, ir::Literal{"k", kNull}},
       input,
       hex("01 12 00 02 00 01 00 6b 04 02 00 00 00 00 00 00 00 01 00 6b 06")},
      // One unresolved reference and there is no object at all.
      {{ir::Literal{"a", kTwo}, ir::Reference{"b", {kMissing}}}, input, std::nullopt},
      {{ir::Reference{"b", {kX}}}, encoded("[1]"), std::nullopt},
      // Not a value, or a referenced value cut short.
      {{ir::Literal{"a", kTwo}}, ByteVector{}, std::nullopt},
      {{}, hex("09"), std::nullopt},
      {{ir::Reference{"v", {kX}}}, hex("01 0b 00 01 00 01 00 78 03 09 00 61"), std::nullopt},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(evaluate_template(ir::TemplateIr{c.entries}, c.input), c.expected) << "case " << i;
  }
}

TEST(EvaluateTemplate, LargeTemplatesAndTheBodyLimit) {
  // More entries than fit the stack buffer, given in reverse order.
  std::vector<std::string> keys;
  for (int i = 0; i < 40; ++i) keys.push_back(std::to_string(100 + i).insert(0, 1, 'k'));
  std::vector<ir::TemplateEntry> entries;
  for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
    entries.push_back(ir::Literal{*key, kNull});
  }
  std::string expected = "{";
  for (const std::string& key : keys) {
    if (expected.size() > 1) expected += ',';
    expected += '"';
    expected += key;
    expected += "\":null";
  }
  expected += '}';
  EXPECT_EQ(evaluate_template(ir::TemplateIr{entries}, encoded("0")), encoded(expected));

  // Two references to a string of 40 000 bytes cannot share one object.
  std::string text = "{\"x\":\"";
  text.append(40000, 's');
  text += "\"}";
  const ByteVector input = encoded(text);
  const ir::TemplateEntry once[] = {ir::Reference{"a", {kX}}};
  const ir::TemplateEntry twice[] = {ir::Reference{"a", {kX}}, ir::Reference{"b", {kX}}};
  EXPECT_TRUE(evaluate_template(ir::TemplateIr{once}, input).has_value());
  EXPECT_FALSE(evaluate_template(ir::TemplateIr{twice}, input).has_value());
}

// The object around a referenced value is one level deeper than the value:
// a template over the deepest input the format allows has no room for it.
TEST(EvaluateTemplate, ObjectsStayWithinTheNestingLimit) {
  constexpr ir::TemplateEntry kWhole[] = {ir::Reference{"all", {}}};
  constexpr ir::TemplateEntry kInner[] = {ir::Reference{"first", {kFirst}}};
  struct Case {
    std::span<const ir::TemplateEntry> entries;
    std::size_t input_levels;
    bool resolved;
  };
  const Case cases[] = {
      {kWhole, kMaxNestingDepth - 1, true},
      {kWhole, kMaxNestingDepth, false},
      {kInner, kMaxNestingDepth, true},
  };
  for (const Case& c : cases) {
    const ByteVector input = testing::nested_arrays(c.input_levels);
    const auto object = evaluate_template(ir::TemplateIr{c.entries}, input);
    ASSERT_EQ(object.has_value(), c.resolved) << c.input_levels;
    if (object) {
      EXPECT_TRUE(decode_value(*object).ok()) << c.input_levels;
    }
  }
}

TEST(EvaluateCondition, EqualityWithoutCoercion) {
  struct Case {
    ir::ConditionKind kind;
    const char* path;
    const char* input;
    bool expected;
  };
  const Case cases[] = {
      {ir::NumericEqualsCond{{}, 3}, "n", R"({"n":3})", true},
      {ir::NumericEqualsCond{{}, 3}, "n", R"({"n":3.0})", false},
      {ir::NumericEqualsCond{{}, 3}, "n", R"({"n":"3"})", false},
      {ir::NumericEqualsCond{{}, -9223372036854775807 - 1}, "n", R"({"n":-9223372036854775808})",
       true},
      {ir::NumericEqualsCond{{}, 3}, "m", R"({"n":3})", false},
      {ir::StringEqualsCond{{}, "ok"}, "s", R"({"s":"ok"})", true},
      {ir::StringEqualsCond{{}, "ok"}, "s", R"({"s":"OK"})", false},
      {ir::StringEqualsCond{{}, "ok"}, "s", R"({"s":"ok "})", false},
      {ir::StringEqualsCond{{}, ""}, "s", R"({"s":""})", true},
      {ir::StringEqualsCond{{}, "ok"}, "s", R"({"s":null})", false},
      {ir::BooleanEqualsCond{{}, true}, "b", R"({"b":true})", true},
      {ir::BooleanEqualsCond{{}, true}, "b", R"({"b":1})", false},
      {ir::BooleanEqualsCond{{}, false}, "b", R"({"b":false})", true},
      {ir::BooleanEqualsCond{{}, false}, "b", R"({})", false},
      {ir::BooleanEqualsCond{{}, true}, "", "true", true},
      {ir::StringEqualsCond{{}, "y"}, "a[1].k", R"({"a":[{"k":"x"},{"k":"y"}]})", true},
      {ir::StringEqualsCond{{}, "y"}, "a[2].k", R"({"a":[{"k":"x"},{"k":"y"}]})", false},
  };
  for (const Case& c : cases) {
    const auto path_segments = segments(c.path);
    ir::ConditionIr condition{ir::ConditionId{0}, c.kind};
    std::visit([&](auto& test) { test.path = ir::ValuePath{path_segments}; }, condition.kind);
    const ByteVector input = encoded(c.input);
    EXPECT_EQ(evaluate_condition(condition, *DataView::from(input)), c.expected)
        << c.path << " on " << c.input;
  }

  // A boolean byte of 2 is true; a string that is not UTF-8 equals nothing.
  const ir::ConditionIr is_true{ir::ConditionId{0}, ir::BooleanEqualsCond{{}, true}};
  EXPECT_TRUE(evaluate_condition(is_true, *DataView::from(hex("05 02"))));
  const ir::ConditionIr is_text{ir::ConditionId{0}, ir::StringEqualsCond{{}, "\xff"}};
  EXPECT_FALSE(evaluate_condition(is_text, *DataView::from(hex("03 01 00 ff"))));
}

}  // namespace
}  // namespace vorn
