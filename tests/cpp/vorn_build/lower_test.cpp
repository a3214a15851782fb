#include "vorn_build/lower.hpp"

#include <gtest/gtest.h>

#include "vorn/encode.hpp"
#include "vorn_build/parser.hpp"
#include "vorn_build/schema.hpp"
#include "vorn_build/validator.hpp"

namespace vorn::build {
namespace {

LoweredStateMachine lower_text(const std::string& text) {
  auto ast = parse(text);
  EXPECT_TRUE(ast.ok()) << (ast.ok() ? "" : to_string(ast.error()));
  auto valid = validate(*ast);
  EXPECT_TRUE(valid.ok()) << (valid.ok() ? "" : to_string(valid.error()));
  return lower(*ast);
}

LoweredStateMachine lower_states(const std::string& start, const std::string& states) {
  return lower_text(R"({"StartAt":")" + start + R"(","States":{)" + states + "}}");
}

template <class Kind>
const Kind& kind_of(const LoweredStateMachine& machine, std::size_t id) {
  return std::get<Kind>(machine.states.at(id).kind);
}

LoweredValuePath field_path(std::initializer_list<const char*> names) {
  LoweredValuePath path;
  for (const char* name : names) path.segments.push_back(LoweredField{name});
  return path;
}

TEST(Lower, StatesAreNumberedInNameOrder) {
  const auto machine =
      lower_states("c", R"("b":{"Type":"Succeed"},"a":{"Type":"Succeed","Comment":"first"},
                                            "c":{"Type":"Pass","Next":"a"})");
  ASSERT_EQ(machine.states.size(), 3u);
  EXPECT_EQ(machine.states[0].name, "a");
  EXPECT_EQ(machine.states[0].doc, "first");
  EXPECT_EQ(machine.states[1].doc, "");
  EXPECT_EQ(machine.states[2].id, StateId{2});
  EXPECT_EQ(machine.start_at, StateId{2});
  EXPECT_EQ(kind_of<LoweredPass>(machine, 2).transition,
            LoweredTransition(LoweredNext{StateId{0}}));
}

TEST(Lower, HandlersAreDistinctResourcesInByteOrder) {
  const auto machine = lower_states("A", R"(
      "A":{"Type":"Task","Resource":"zeta","Next":"B"},
      "B":{"Type":"Task","Resource":"alpha","Next":"C"},
      "C":{"Type":"Task","Resource":"zeta","End":true})");
  EXPECT_EQ(machine.handler_names, (std::vector<std::string>{"alpha", "zeta"}));
  EXPECT_EQ(kind_of<LoweredTask>(machine, 0).handler_id, HandlerId{1});
  EXPECT_EQ(kind_of<LoweredTask>(machine, 1).handler_id, HandlerId{0});
  EXPECT_EQ(kind_of<LoweredTask>(machine, 2).handler_id, HandlerId{1});
}

TEST(Lower, SchemaTableStartsOpaqueAndSharesEqualEncodings) {
  const auto no_pass = lower_states("A", R"("A":{"Type":"Task","Resource":"r","End":true})");
  EXPECT_EQ(no_pass.schemas, (std::vector<LoweredSchema>{{SchemaId{0}, "opaque", {0xFF}}}));

  const auto machine = lower_states("P1", R"(
      "P2":{"Type":"Pass","Result":{"x":2},"End":true},
      "P1":{"Type":"Pass","Result":{"x":1},"Parameters":{"y.$":"$.y"},"Next":"P2"},
      "P3":{"Type":"Pass","End":true})");
  ASSERT_EQ(machine.schemas.size(), 3u);
  EXPECT_EQ(machine.schemas[1],
            (LoweredSchema{
                SchemaId{1}, "P1.Result", {0x01, 0x06, 0x00, 0x01, 0x00, 0x01, 0x00, 0x78, 0x04}}));
  EXPECT_EQ(machine.schemas[2].name, "P1.Parameters");
  EXPECT_EQ(kind_of<LoweredPass>(machine, 0).output_schema, SchemaId{1});
  EXPECT_EQ(kind_of<LoweredPass>(machine, 1).output_schema, SchemaId{1});
  // No Result: the opaque schema and no data.
  EXPECT_EQ(kind_of<LoweredPass>(machine, 2).output_schema, SchemaId{0});
  EXPECT_FALSE(kind_of<LoweredPass>(machine, 2).result_data.has_value());
  EXPECT_EQ(kind_of<LoweredPass>(machine, 0).result_data,
            (std::vector<std::uint8_t>{0x01, 0x0e, 0x00, 0x01, 0x00, 0x01, 0x00, 0x78, 0x04, 0x01,
                                       0, 0, 0, 0, 0, 0, 0}));
}

TEST(Lower, ResultOfNullStillHasData) {
  const auto machine = lower_states("P", R"("P":{"Type":"Pass","Result":[],"End":true})");
  EXPECT_EQ(kind_of<LoweredPass>(machine, 0).result_data,
            (std::vector<std::uint8_t>{0x02, 0x02, 0x00, 0x00, 0x00}));
  EXPECT_EQ(machine.schemas.at(1).encoded, (std::vector<std::uint8_t>{0x02, 0x01, 0x00, 0xFF}));
}

TEST(Lower, ConditionsAreNumberedAcrossTheMachine) {
  const auto machine = lower_states("A", R"(
      "B":{"Type":"Choice","Choices":[{"Variable":"$","BooleanEquals":true,"Next":"A"}]},
      "A":{"Type":"Choice","Choices":[{"Variable":"$.n","NumericEquals":-3,"Next":"B"},
                                      {"Variable":"$.s[1]","StringEquals":"x","Next":"A"}],
           "Default":"B"})");
  ASSERT_EQ(machine.conditions.size(), 3u);
  EXPECT_EQ(machine.conditions[0],
            (LoweredCondition{ConditionId{0}, LoweredNumericEquals{field_path({"n"}), -3}}));
  LoweredValuePath s1 = field_path({"s"});
  s1.segments.push_back(LoweredIndex{1});
  EXPECT_EQ(machine.conditions[1],
            (LoweredCondition{ConditionId{1}, LoweredStringEquals{s1, "x"}}));
  EXPECT_EQ(machine.conditions[2],
            (LoweredCondition{ConditionId{2}, LoweredBooleanEquals{{}, true}}));
  const auto& a = kind_of<LoweredChoice>(machine, 0);
  EXPECT_EQ(a.branches, (std::vector<LoweredChoiceBranch>{{ConditionId{0}, StateId{1}},
                                                          {ConditionId{1}, StateId{0}}}));
  EXPECT_EQ(a.default_, StateId{1});
  EXPECT_EQ(kind_of<LoweredChoice>(machine, 1).branches,
            (std::vector<LoweredChoiceBranch>{{ConditionId{2}, StateId{0}}}));
  EXPECT_FALSE(kind_of<LoweredChoice>(machine, 1).default_.has_value());
}

TEST(Lower, RetryDefaultsAndIntervalSaturation) {
  const auto machine = lower_states("T", R"("T":{"Type":"Task","Resource":"r","End":true,"Retry":[
      {"ErrorEquals":["A"]},
      {"ErrorEquals":["B","C"],"IntervalSeconds":0,"MaxAttempts":7,"BackoffRate":1.5},
      {"ErrorEquals":["D"],"IntervalSeconds":4294967},
      {"ErrorEquals":["E"],"IntervalSeconds":4294968},
      {"ErrorEquals":["F"],"IntervalSeconds":4294967295}],
      "Catch":[{"ErrorEquals":["*"],"Next":"T"}]})");
  const auto& task = kind_of<LoweredTask>(machine, 0);
  EXPECT_EQ(task.retry, (std::vector<LoweredRetryPolicy>{
                            {{"A"}, 3, 1000, 2.0f},
                            {{"B", "C"}, 7, 0, 1.5f},
                            {{"D"}, 3, 4294967000u, 2.0f},
                            {{"E"}, 3, 4294967295u, 2.0f},
                            {{"F"}, 3, 4294967295u, 2.0f},
                        }));
  EXPECT_EQ(task.catch_, (std::vector<LoweredCatchBlock>{{{"*"}, StateId{0}}}));
  EXPECT_EQ(task.transition, LoweredTransition(LoweredEnd{}));
}

TEST(Lower, PathsAndResultPaths) {
  const auto machine = lower_states("A", R"(
      "A":{"Type":"Pass","InputPath":"$","OutputPath":"$.out","ResultPath":"$","Next":"B"},
      "B":{"Type":"Pass","ResultPath":null,"Next":"C"},
      "C":{"Type":"Pass","ResultPath":"$.r.s","End":true},
      "D":{"Type":"Task","Resource":"r","InputPath":"$.in","End":true})");
  const auto& a = kind_of<LoweredPass>(machine, 0);
  EXPECT_FALSE(a.input_path.has_value());
  EXPECT_EQ(a.output_path, field_path({"out"}));
  EXPECT_EQ(a.result_path, LoweredResultPath(LoweredReplace{}));
  EXPECT_EQ(kind_of<LoweredPass>(machine, 1).result_path, LoweredResultPath(LoweredDiscard{}));
  EXPECT_EQ(kind_of<LoweredPass>(machine, 2).result_path,
            LoweredResultPath(LoweredPlace{field_path({"r", "s"})}));
  const auto& d = kind_of<LoweredTask>(machine, 3);
  EXPECT_EQ(d.input_path, field_path({"in"}));
  EXPECT_EQ(d.result_path, LoweredResultPath(LoweredReplace{}));
  EXPECT_EQ(d.input_schema, SchemaId{0});
  EXPECT_EQ(d.output_schema, SchemaId{0});
}

TEST(Lower, TemplatesSplitIntoReferencesAndEncodedLiterals) {
  const auto machine = lower_states("T", R"("T":{"Type":"Task","Resource":"r","End":true,
      "Parameters":{"b":1,"a.$":"$.x",".$":"$","n":{"k.$":"$.not.a.reference"}},
      "ResultSelector":{}})");
  const auto& task = kind_of<LoweredTask>(machine, 0);
  ASSERT_TRUE(task.parameters.has_value());
  const std::vector<LoweredTemplateEntry> expected = {
      LoweredReference{"", {}},
      LoweredReference{"a", field_path({"x"})},
      LoweredLiteral{"b", {0x04, 1, 0, 0, 0, 0, 0, 0, 0}},
      LoweredLiteral{"n", {0x01, 0x1b, 0x00, 0x01, 0x00, 0x03, 0x00, 'k', '.', '$',
                           0x03, 0x11, 0x00, '$',  '.',  'n',  'o',  't', '.', 'a',
                           '.',  'r',  'e',  'f',  'e',  'r',  'e',  'n', 'c', 'e'}},
  };
  EXPECT_EQ(task.parameters->entries, expected);
  ASSERT_TRUE(task.result_selector.has_value());
  EXPECT_TRUE(task.result_selector->entries.empty());
}

TEST(Lower, FailTextsDefaultToEmpty) {
  const auto machine =
      lower_states("A", R"("A":{"Type":"Fail"},"B":{"Type":"Fail","Error":"E","Cause":"why"})");
  EXPECT_EQ(kind_of<LoweredFail>(machine, 0), (LoweredFail{"", ""}));
  EXPECT_EQ(kind_of<LoweredFail>(machine, 1), (LoweredFail{"E", "why"}));
}

TEST(Lower, IsAPureFunctionOfTheDefinition) {
  const std::string text =
      R"({"StartAt":"A","States":{"A":{"Type":"Pass","Result":{"a":[1]},"End":true}}})";
  EXPECT_EQ(lower_text(text), lower_text(text));
}

// The bytes validation hands on must be exactly what encoding each value on
// its own gives, in the places lowering would have put them.
TEST(Lower, UsesValidationsEncodingsOfEveryStaticValue) {
  const std::string text = R"({"StartAt":"P","States":{
      "P":{"Type":"Pass","Result":{"z":[{"a":1.5},{"a":2.5}],"s":"x"},
           "Parameters":{"r.$":"$.in","lit":[[],[]],"n":null,"deep":{"k":[true]}},"Next":"Q"},
      "Q":{"Type":"Pass","Result":{"z":[{"a":0.5}],"s":"y"},"Next":"T"},
      "T":{"Type":"Task","Resource":"r","End":true,
           "Parameters":{"b":-1,"a.$":"$.x","c":"text","d":{"e.$":"$.no"}},
           "ResultSelector":{"k":{},"v.$":"$"}}}})";
  auto ast = parse(text);
  ASSERT_TRUE(ast.ok());
  EncodedStaticData encoded;
  ASSERT_TRUE(validate(*ast, encoded).ok());
  const LoweredStateMachine machine = lower(*ast, std::move(encoded));
  EXPECT_EQ(machine, lower(*ast));

  auto encoding = [](const json::Value& value) { return encode_value(value).value(); };
  auto schema_bytes = [](const json::Value& value) {
    return encode_schema(*extract_schema(value));
  };
  const auto& p = std::get<PassStateAst>(ast->states[0].state);
  const auto& q = std::get<PassStateAst>(ast->states[1].state);
  const auto& t = std::get<TaskStateAst>(ast->states[2].state);
  EXPECT_EQ(kind_of<LoweredPass>(machine, 0).result_data, encoding(*p.result));
  EXPECT_EQ(kind_of<LoweredPass>(machine, 1).result_data, encoding(*q.result));
  // P's and Q's results share one shape, so one schema; then P's Parameters.
  ASSERT_EQ(machine.schemas.size(), 3u);
  EXPECT_EQ(machine.schemas[1].name, "P.Result");
  EXPECT_EQ(machine.schemas[1].encoded, schema_bytes(*q.result));
  EXPECT_EQ(machine.schemas[2].name, "P.Parameters");
  EXPECT_EQ(machine.schemas[2].encoded, schema_bytes(*p.parameters));
  EXPECT_EQ(kind_of<LoweredPass>(machine, 1).output_schema, SchemaId{1});

  auto literals_of = [&](const json::Value& tmpl, const LoweredTemplate& lowered) {
    std::size_t checked = 0;
    ASSERT_EQ(lowered.entries.size(), tmpl.as_object().size());
    for (std::size_t i = 0; i < lowered.entries.size(); ++i) {
      const json::Member& member = tmpl.as_object().members()[i];
      if (const auto* literal = std::get_if<LoweredLiteral>(&lowered.entries[i])) {
        EXPECT_EQ(literal->key, member.key);
        EXPECT_EQ(literal->value, encoding(member.value)) << member.key;
        ++checked;
      }
    }
    EXPECT_GT(checked, 0u);
  };
  literals_of(*p.parameters, *kind_of<LoweredPass>(machine, 0).parameters);
  literals_of(*t.parameters, *kind_of<LoweredTask>(machine, 2).parameters);
  literals_of(*t.result_selector, *kind_of<LoweredTask>(machine, 2).result_selector);
}

}  // namespace
}  // namespace vorn::build
