#include <gtest/gtest.h>

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "vorn/ir/state_machine.hpp"

namespace vorn::ir {
namespace {

static_assert(!std::is_convertible_v<StateId, HandlerId>);
static_assert(!std::is_convertible_v<ConditionId, StateId>);
static_assert(!std::equality_comparable_with<StateId, SchemaId>);
static_assert(StateId{1} < StateId{2} && StateId{3} == StateId{3});

// A machine written by hand as static tables, the way a program embeds one:
// Fetch (Task) -> Route (Choice) -> Done (Succeed) or Failed (Fail).
constexpr std::string_view kAll[] = {"States.ALL"};
constexpr RetryPolicy kFetchRetry[] = {{kAll, 3, 1000, 2.0f}};
constexpr CatchBlock kFetchCatch[] = {{kAll, StateId{1}}};
constexpr PathSegment kItemsPath[] = {Field{"items"}, Index{0}};
constexpr PathSegment kIdPath[] = {Field{"id"}};
constexpr std::uint8_t kTrue[] = {0x01};
constexpr TemplateEntry kFetchParams[] = {
    Reference{"first", {kItemsPath}},
    Literal{"flag", kTrue},
};
constexpr ChoiceBranch kRouteBranches[] = {{ConditionId{0}, StateId{0}}};
constexpr std::uint8_t kOpaque[] = {0xFF};

constexpr StateIr kStates[] = {
    {StateId{0}, SucceedStateIr{}, {"Done", ""}},
    {StateId{1}, FailStateIr{"Boom", "it broke"}, {"Failed", ""}},
    {StateId{2},
     TaskStateIr{
         .handler_id = HandlerId{0},
         .input_schema = SchemaId{0},
         .output_schema = SchemaId{0},
         .transition = Next{StateId{3}},
         .retry = kFetchRetry,
         .catch_ = kFetchCatch,
         .input_path = ValuePath{kItemsPath},
         .output_path = std::nullopt,
         .result_path = Place{{kIdPath}},
         .parameters = TemplateIr{kFetchParams},
         .result_selector = std::nullopt,
     },
     {"Fetch", "calls the fetcher"}},
    {StateId{3}, ChoiceStateIr{SchemaId{0}, kRouteBranches, StateId{1}}, {"Route", ""}},
};
constexpr SchemaIr kSchemas[] = {{SchemaId{0}, "opaque", kOpaque}};
constexpr ConditionIr kConditions[] = {{ConditionId{0}, StringEqualsCond{{kIdPath}, "ok"}}};
constexpr std::string_view kStateNames[] = {"Done", "Failed", "Fetch", "Route"};
constexpr std::string_view kSchemaNames[] = {"opaque"};
constexpr std::string_view kDescriptions[] = {"$.id == \"ok\""};
constexpr std::string_view kHandlers[] = {"fetch"};

constexpr StateMachineIr kMachine{
    StateId{2},
    kStates,
    kSchemas,
    kConditions,
    {kStateNames, kSchemaNames, kDescriptions, kHandlers},
};

// The whole tree is a compile-time constant: nothing is built at start-up.
static_assert(kMachine.states.size() == 4);
static_assert(std::get<TaskStateIr>(kMachine.states[2].kind).retry[0].max_attempts == 3);

TEST(StateMachineIr, StaticTablesAreReadInPlace) {
  const StateIr* fetch = kMachine.state(kMachine.start_at);
  ASSERT_EQ(fetch, &kStates[2]);
  EXPECT_EQ(fetch->metadata.name, "Fetch");
  const auto& task = std::get<TaskStateIr>(fetch->kind);
  EXPECT_EQ(kMachine.metadata.handler_names[task.handler_id.value], "fetch");
  EXPECT_EQ(std::get<Next>(task.transition).target, StateId{3});
  EXPECT_EQ(task.catch_[0].target, StateId{1});
  ASSERT_TRUE(task.input_path.has_value());
  EXPECT_EQ(task.input_path->segments.data(), kItemsPath);
  EXPECT_EQ(std::get<Field>(std::get<Place>(task.result_path).path.segments[0]).name, "id");
  EXPECT_EQ(std::get<Reference>(task.parameters->entries[0]).key, "first");
  EXPECT_EQ(std::get<Literal>(task.parameters->entries[1]).value.data(), kTrue);

  const auto& route = std::get<ChoiceStateIr>(kMachine.state(StateId{3})->kind);
  EXPECT_EQ(route.default_, StateId{1});
  const ConditionIr* condition = kMachine.condition(route.branches[0].condition);
  ASSERT_NE(condition, nullptr);
  EXPECT_EQ(std::get<StringEqualsCond>(condition->kind).value, "ok");
}

TEST(StateMachineIr, LookupsAreByIdAndAbsentForUnknownIds) {
  // Ids normally equal positions; the lookups must not rely on it.
  const StateIr states[] = {
      {StateId{7}, SucceedStateIr{}, {"a", ""}},
      {StateId{4}, SucceedStateIr{}, {"b", ""}},
      {StateId{4}, SucceedStateIr{}, {"c", ""}},
  };
  const ConditionIr conditions[] = {{ConditionId{3}, BooleanEqualsCond{{}, true}}};
  const StateMachineIr machine{StateId{7}, states, {}, conditions, {}};

  EXPECT_EQ(machine.state(StateId{4}), &states[1]);
  EXPECT_EQ(machine.state(StateId{7}), &states[0]);
  EXPECT_EQ(machine.state(StateId{0}), nullptr);
  EXPECT_EQ(machine.state(StateId{65535}), nullptr);
  EXPECT_EQ(machine.condition(ConditionId{3}), &conditions[0]);
  EXPECT_EQ(machine.condition(ConditionId{0}), nullptr);
  EXPECT_EQ(StateMachineIr{}.state(StateId{0}), nullptr);
  EXPECT_EQ(StateMachineIr{}.condition(ConditionId{0}), nullptr);
}

// An IR built at run time: owned storage in one block at fixed addresses, the
// records viewing into it, the root shared with the block's lifetime.
struct OwnedIr {
  std::vector<std::string> names;
  std::vector<std::string_view> name_views;
  std::vector<std::uint8_t> schema_bytes;
  std::vector<SchemaIr> schemas;
  std::vector<StateIr> states;
  StateMachineIr root;
};

std::shared_ptr<const StateMachineIr> build_owned(std::vector<std::string> names) {
  auto block = std::make_shared<OwnedIr>();
  block->names = std::move(names);
  block->name_views.assign(block->names.begin(), block->names.end());
  block->schema_bytes = {0xFF};
  block->schemas.push_back({SchemaId{0}, "opaque", block->schema_bytes});
  for (std::size_t i = 0; i < block->names.size(); ++i) {
    const auto id = StateId{static_cast<std::uint16_t>(i)};
    block->states.push_back({id, SucceedStateIr{}, {block->name_views[i], ""}});
  }
  block->root = {StateId{0}, block->states, block->schemas, {}, {block->name_views, {}, {}, {}}};
  return {block, &block->root};
}

TEST(StateMachineIr, RuntimeBuiltRecordsViewOneSharedStorageBlock) {
  // Views are taken only once the storage sits in the block for good; a short
  // name lives inside its string object, so moving that string would move it.
  std::shared_ptr<const StateMachineIr> ir =
      build_owned({"a", "a state name far too long to be stored inline"});
  std::weak_ptr<const StateMachineIr> watch = ir;

  ASSERT_EQ(ir->states.size(), 2u);
  EXPECT_EQ(ir->state(StateId{1})->metadata.name, "a state name far too long to be stored inline");
  for (std::size_t i = 0; i < ir->states.size(); ++i) {
    EXPECT_EQ(ir->states[i].metadata.name.data(), ir->metadata.state_names[i].data());
  }
  EXPECT_EQ(ir->schemas[0].encoded[0], 0xFF);

  std::shared_ptr<const StateMachineIr> second_user = ir;
  ir.reset();
  EXPECT_FALSE(watch.expired());
  EXPECT_EQ(second_user->state(StateId{0})->metadata.name, "a");
  second_user.reset();
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace vorn::ir
