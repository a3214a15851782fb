#include "xvorn/context_object.hpp"

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

TEST(ContextObjectBuilder, EmptyBuilderGivesThreeEmptyObjects) {
  EXPECT_EQ(ContextObjectBuilder().build(), read(R"({"config": {}, "execution": {}, "state": {}})"));
}

TEST(ContextObjectBuilder, SettersFillTheirOwnObjectAndLastValueWins) {
  ContextObjectBuilder builder;
  builder.execution_id("e-0")
      .execution_start_time("not a time")
      .state_name("Work")
      .config_entry("region", Value("x"))
      .config_entry("id", Value(1))
      .execution_id("e-1")
      .config_entry("region", read("[1]"));
  EXPECT_EQ(builder.build(), read(R"({"config": {"id": 1, "region": [1]},
                                      "execution": {"id": "e-1", "start_time": "not a time"},
                                      "state": {"name": "Work"}})"));
}

TEST(ContextObject, StateNameReadsOnlyTheExpectedShape) {
  const struct {
    const char* value;
    std::optional<std::string_view> name;
  } cases[] = {
      {R"({"config": {}, "execution": {}, "state": {}})", std::nullopt},
      {R"({"state": {"name": "A"}})", "A"},
      {R"({"state": {"name": 1}})", std::nullopt},
      {R"({"state": 3})", std::nullopt},
      {R"({"name": "A"})", std::nullopt},
      {"[]", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContextObject(read(c.value)).state_name(), c.name) << c.value;
  }
}

TEST(ContextObject, SetStateNameAddsReplacesOrLeavesAlone) {
  const struct {
    const char* before;
    const char* after;
  } cases[] = {
      {R"({"config": {}, "execution": {}, "state": {}})",
       R"({"config": {}, "execution": {}, "state": {"name": "A"}})"},
      {R"({"state": {"name": "old", "x": 1}})", R"({"state": {"name": "A", "x": 1}})"},
      {R"({"config": {}})", R"({"config": {}, "state": {"name": "A"}})"},
      {R"({"state": 3})", R"({"state": 3})"},
      {R"({"state": null})", R"({"state": null})"},
      {"[1]", "[1]"},
      {"\"s\"", "\"s\""},
  };
  for (const auto& c : cases) {
    ContextObject context(read(c.before));
    context.set_state_name("A");
    EXPECT_EQ(context.value(), read(c.after)) << c.before;
  }
}

TEST(ContextObject, BuiltObjectRoundTripsTheStateName) {
  ContextObject context(ContextObjectBuilder().build());
  EXPECT_EQ(context.state_name(), std::nullopt);
  context.set_state_name("A");
  EXPECT_EQ(context.state_name(), "A");
  context.set_state_name("B");
  EXPECT_EQ(context.state_name(), "B");
  EXPECT_EQ(context.value(),
            read(R"({"config": {}, "execution": {}, "state": {"name": "B"}})"));
}

}  // namespace
}  // namespace xvorn
