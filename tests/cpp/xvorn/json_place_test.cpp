#include "xvorn/json_place.hpp"

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

struct PlaceCase {
  std::string root;
  std::string path;
  std::optional<std::string> expected;  // nullopt: cannot be reached
};

class JsonPlace : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(JsonPlace, PlacesFiveOrGivesNothing) {
  const PlaceCase& c = GetParam();
  auto path = JsonPath::parse(c.path);
  ASSERT_TRUE(path.ok());
  const Value root = read(c.root);
  const Value before = root;

  const auto copied = json_place(root, path->segments(), Value(5));
  const auto moved = json_place(Value(root), path->segments(), Value(5));
  EXPECT_EQ(root, before) << "the input changed";
  EXPECT_EQ(copied, moved);
  if (!c.expected) {
    EXPECT_FALSE(copied.has_value()) << c.path << " in " << c.root;
  } else {
    ASSERT_TRUE(copied.has_value()) << c.path << " in " << c.root;
    EXPECT_EQ(*copied, read(*c.expected));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonPlace,
    ::testing::Values(PlaceCase{R"({"a": {"c": 1}})", "$.a.b", R"({"a": {"b": 5, "c": 1}})"},
                      PlaceCase{"{}", "$.a.b", std::nullopt},
                      PlaceCase{R"({"a": 3})", "$.a.b", std::nullopt},
                      PlaceCase{"[0, 0]", "$[1]", "[0, 5]"},
                      PlaceCase{"[0, 0]", "$[2]", std::nullopt},
                      PlaceCase{"[]", "$[0]", std::nullopt},
                      PlaceCase{R"({"x": 1})", "$", "5"},
                      PlaceCase{"null", "$$", "5"},
                      PlaceCase{R"({"a": 1})", "$$.a", R"({"a": 5})"},
                      PlaceCase{"{}", "$.new", R"({"new": 5})"},
                      PlaceCase{R"({"a": [{"b": [0, {"c": 0}]}]})", "$.a[0].b[1].c",
                                R"({"a": [{"b": [0, {"c": 5}]}]})"},
                      PlaceCase{R"({"a": [{"b": [0]}]})", "$.a[0].b[1]", std::nullopt},
                      PlaceCase{R"({"a": [1]})", "$.a.b", std::nullopt},
                      PlaceCase{R"({"a": {"b": 1}})", "$.a[0]", std::nullopt},
                      PlaceCase{R"("text")", "$.a", std::nullopt},
                      PlaceCase{"[[1, 2], [3]]", "$[1][0]", "[[1, 2], [5]]"}));

TEST(JsonPlace, LongUnreachablePathIsSafe) {
  std::string path = "$";
  for (int i = 0; i < 200000; ++i) path += ".a";
  auto parsed = JsonPath::parse(path);
  ASSERT_TRUE(parsed.ok());
  EXPECT_FALSE(json_place(read(R"({"a": {"a": 1}})"), parsed->segments(), Value(5)).has_value());
}

}  // namespace
}  // namespace xvorn
