// Hand-made lowered machines shared by the code generator's text tests and
// its compile check.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>

#include "vorn_build/lowered.hpp"

namespace vorn::build::samples {

inline LoweredValuePath path(std::initializer_list<LoweredPathSegment> segments) {
  return {segments};
}

inline LoweredSchema opaque_schema() {
  return {SchemaId{0}, "opaque", {0xFF}};
}

inline LoweredStateMachine succeed_only() {
  LoweredStateMachine machine;
  machine.states.push_back({StateId{0}, "Done", "", LoweredSucceed{}});
  machine.schemas.push_back(opaque_schema());
  return machine;
}

// No states, schemas, conditions or handlers: every table and list is empty.
inline LoweredStateMachine empty_machine() {
  return {};
}

// One state of every kind with every optional field present.
inline LoweredStateMachine every_field_present() {
  LoweredStateMachine machine;
  machine.start_at = StateId{2};
  machine.handler_names = {"arn:fetch"};
  machine.schemas = {opaque_schema(), {SchemaId{1}, "Publish.Result", {0x07, 0x01, 0x00}}};

  LoweredChoice check{
      SchemaId{0},
      {{ConditionId{0}, StateId{2}}, {ConditionId{1}, StateId{4}}, {ConditionId{2}, StateId{1}}},
      StateId{3}};
  LoweredTask fetch;
  fetch.handler_id = HandlerId{0};
  fetch.transition = LoweredNext{StateId{0}};
  fetch.retry = {{{"States.Timeout", "External"}, 5, 1500, 1.5f}, {{"*"}, 1, 0, 2.0f}};
  fetch.catch_ = {{{"States.ALL"}, StateId{4}}};
  fetch.input_path = path({LoweredField{"in"}});
  fetch.output_path = path({LoweredField{"items"}, LoweredIndex{2}});
  fetch.result_path = LoweredPlace{path({LoweredField{"out"}})};
  fetch.parameters = LoweredTemplate{{LoweredReference{"id", path({LoweredField{"id"}})},
                                      LoweredLiteral{"mode", {0x05, 0x01, 0x00, 0x61}}}};
  fetch.result_selector = LoweredTemplate{{LoweredLiteral{"k", {0x06}}}};
  LoweredPass publish;
  publish.output_schema = SchemaId{1};
  publish.result_data = std::vector<std::uint8_t>{0x07, 0x01, 0x00};
  publish.transition = LoweredEnd{};
  publish.input_path = path({});
  publish.output_path = path({LoweredIndex{0}});
  publish.result_path = LoweredDiscard{};
  publish.parameters = LoweredTemplate{{LoweredReference{"all", path({})}}};

  machine.states = {
      {StateId{0}, "Check", "routes on the result", check},
      {StateId{1}, "Done", "", LoweredSucceed{}},
      {StateId{2}, "Fetch", "", fetch},
      {StateId{3}, "Publish", "", publish},
      {StateId{4}, "Stop", "", LoweredFail{"Boom", "went wrong"}},
  };
  machine.conditions = {
      {ConditionId{0}, LoweredNumericEquals{path({LoweredField{"n"}}), -7}},
      {ConditionId{1}, LoweredBooleanEquals{path({LoweredField{"ok"}, LoweredIndex{0}}), true}},
      {ConditionId{2}, LoweredStringEquals{path({LoweredField{"s"}}), "x"}},
  };
  return machine;
}

// One state of every kind with every optional field absent and every list
// empty.
inline LoweredStateMachine every_field_absent() {
  LoweredStateMachine machine;
  machine.handler_names = {"h"};
  machine.schemas = {opaque_schema()};
  LoweredTask task;
  task.transition = LoweredEnd{};
  LoweredPass pass;
  pass.transition = LoweredNext{StateId{0}};
  machine.states = {
      {StateId{0}, "a", "", task},
      {StateId{1}, "b", "", pass},
      {StateId{2}, "c", "", LoweredChoice{}},
      {StateId{3}, "d", "", LoweredFail{}},
  };
  return machine;
}

// Text that a literal must carry intact: quotes, backslashes, every ASCII
// control character and non-ASCII characters.
inline std::string awkward_text() {
  std::string text = "q\"b\\s/'{}#";
  for (int c = 0; c < 0x20; ++c) text += static_cast<char>(c);
  text += '\x7f';
  text += "\xC3\xA9 \xE2\x80\xA8 \xF0\x9F\x98\x80 \\n \\\" \\";
  text += "\xE2\x80\xAE\xE2\x81\xA9";  // bidirectional controls, refused raw by rustc
  return text;
}

// Every text field carries awkward text.
inline LoweredStateMachine awkward_texts() {
  const std::string text = awkward_text();
  LoweredStateMachine machine;
  machine.handler_names = {text, text + "2"};
  machine.schemas = {{SchemaId{0}, text, {0xFF}}};
  LoweredTask task;
  task.handler_id = HandlerId{1};
  task.transition = LoweredNext{StateId{1}};
  task.retry = {{{text, "*"}, 3, 1000, 2.0f}};
  task.catch_ = {{{text}, StateId{1}}};
  task.input_path = path({LoweredField{text}, LoweredIndex{1}, LoweredField{""}});
  task.result_path = LoweredPlace{path({LoweredField{text}})};
  task.parameters = LoweredTemplate{
      {LoweredLiteral{text, {0x06}}, LoweredReference{text, path({LoweredField{text}})}}};
  LoweredChoice choice{SchemaId{0}, {{ConditionId{0}, StateId{0}}}, std::nullopt};
  machine.states = {
      {StateId{0}, text, text, task},
      {StateId{1}, text + "!", "", LoweredFail{text, text}},
      {StateId{2}, "\"", "\\", choice},
  };
  machine.conditions = {{ConditionId{0}, LoweredStringEquals{path({LoweredField{text}}), text}}};
  return machine;
}

// Numbers at the edges of their types, an empty template and empty bytes.
inline LoweredStateMachine extreme_numbers() {
  constexpr std::uint16_t kMax16 = std::numeric_limits<std::uint16_t>::max();
  constexpr std::uint32_t kMax32 = std::numeric_limits<std::uint32_t>::max();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  LoweredStateMachine machine;
  machine.start_at = StateId{kMax16};
  LoweredTask task;
  task.handler_id = HandlerId{kMax16};
  task.input_schema = SchemaId{kMax16};
  task.output_schema = SchemaId{kMax16};
  task.transition = LoweredNext{StateId{kMax16}};
  for (float rate :
       {3.4e38f, std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min(), -0.0f,
        1e-10f, kInf, -kInf, std::numeric_limits<float>::quiet_NaN()}) {
    task.retry.push_back({{}, kMax32, kMax32, rate});
  }
  task.output_path = path({LoweredIndex{kMax16}});
  task.parameters = LoweredTemplate{};
  task.result_selector = LoweredTemplate{{LoweredLiteral{"", {}}}};
  LoweredPass pass;
  pass.result_data = std::vector<std::uint8_t>{};
  pass.transition = LoweredEnd{};
  machine.states = {
      {StateId{kMax16}, "t", "", task},
      {StateId{0}, "p", "", pass},
      {StateId{1}, "c", "",
       LoweredChoice{SchemaId{0},
                     {{ConditionId{0}, StateId{0}}, {ConditionId{kMax16}, StateId{kMax16}}},
                     StateId{kMax16}}},
  };
  machine.conditions = {
      {ConditionId{0}, LoweredNumericEquals{path({}), std::numeric_limits<std::int64_t>::min()}},
      {ConditionId{kMax16},
       LoweredNumericEquals{path({}), std::numeric_limits<std::int64_t>::max()}},
      {ConditionId{2}, LoweredBooleanEquals{path({}), false}},
  };
  return machine;
}

}  // namespace vorn::build::samples
