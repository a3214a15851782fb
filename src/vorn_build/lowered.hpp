// The lowered machine: the compiler's self-contained output, in which states,
// Task handlers, Choice conditions and schemas are numbered (an id equals the
// record's position in its list), paths are split into segments, and Pass
// results and template literals are already encoded in the binary value
// format. It owns every string, byte string and list it holds and shares
// nothing with the definition it came from. The code generator reads it; the
// IR bridge turns it into runtime IR.
//
// Where a field name is a C++ keyword it carries a trailing underscore:
// `catch_`, `default_`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "vorn/ir/id.hpp"

namespace vorn::build {

using ir::ConditionId;
using ir::HandlerId;
using ir::SchemaId;
using ir::StateId;

// An object member, by key.
struct LoweredField {
  std::string name;
  bool operator==(const LoweredField&) const = default;
};

// An array element, zero-based.
struct LoweredIndex {
  std::uint16_t index = 0;
  bool operator==(const LoweredIndex&) const = default;
};

using LoweredPathSegment = std::variant<LoweredField, LoweredIndex>;

// No segments names the whole value.
struct LoweredValuePath {
  std::vector<LoweredPathSegment> segments;
  bool operator==(const LoweredValuePath&) const = default;
};

// The three ResultPath policies: the result replaces the input, is placed
// into the input at a path, or is dropped so the input passes on.
struct LoweredReplace {
  bool operator==(const LoweredReplace&) const = default;
};
struct LoweredPlace {
  LoweredValuePath path;
  bool operator==(const LoweredPlace&) const = default;
};
struct LoweredDiscard {
  bool operator==(const LoweredDiscard&) const = default;
};

using LoweredResultPath = std::variant<LoweredReplace, LoweredPlace, LoweredDiscard>;

// A template member whose value is a constant, encoded.
struct LoweredLiteral {
  std::string key;
  std::vector<std::uint8_t> value;
  bool operator==(const LoweredLiteral&) const = default;
};

// A template member read from the input: `key` without its ".$" suffix.
struct LoweredReference {
  std::string key;
  LoweredValuePath path;
  bool operator==(const LoweredReference&) const = default;
};

using LoweredTemplateEntry = std::variant<LoweredLiteral, LoweredReference>;

// Entries in ascending order of the keys as written (before ".$" is removed).
struct LoweredTemplate {
  std::vector<LoweredTemplateEntry> entries;
  bool operator==(const LoweredTemplate&) const = default;
};

// How a Task or Pass state moves on: to a state, or the machine completes.
struct LoweredNext {
  StateId target;
  bool operator==(const LoweredNext&) const = default;
};
struct LoweredEnd {
  bool operator==(const LoweredEnd&) const = default;
};

using LoweredTransition = std::variant<LoweredNext, LoweredEnd>;

struct LoweredRetryPolicy {
  std::vector<std::string> error_equals;
  std::uint32_t max_attempts = 0;
  std::uint32_t interval_ms = 0;
  float backoff_rate = 0;
  bool operator==(const LoweredRetryPolicy&) const = default;
};

struct LoweredCatchBlock {
  std::vector<std::string> error_equals;
  StateId target;
  bool operator==(const LoweredCatchBlock&) const = default;
};

struct LoweredTask {
  HandlerId handler_id;
  SchemaId input_schema;
  SchemaId output_schema;
  LoweredTransition transition;
  std::vector<LoweredRetryPolicy> retry;
  std::vector<LoweredCatchBlock> catch_;
  std::optional<LoweredValuePath> input_path;
  std::optional<LoweredValuePath> output_path;
  LoweredResultPath result_path;
  std::optional<LoweredTemplate> parameters;
  std::optional<LoweredTemplate> result_selector;
  bool operator==(const LoweredTask&) const = default;
};

struct LoweredPass {
  SchemaId input_schema;
  SchemaId output_schema;
  // The encoded Result, when the state has one.
  std::optional<std::vector<std::uint8_t>> result_data;
  LoweredTransition transition;
  std::optional<LoweredValuePath> input_path;
  std::optional<LoweredValuePath> output_path;
  LoweredResultPath result_path;
  std::optional<LoweredTemplate> parameters;
  bool operator==(const LoweredPass&) const = default;
};

struct LoweredChoiceBranch {
  ConditionId condition;
  StateId target;
  bool operator==(const LoweredChoiceBranch&) const = default;
};

struct LoweredChoice {
  SchemaId input_schema;
  std::vector<LoweredChoiceBranch> branches;
  std::optional<StateId> default_;
  bool operator==(const LoweredChoice&) const = default;
};

struct LoweredSucceed {
  bool operator==(const LoweredSucceed&) const = default;
};

struct LoweredFail {
  // Empty when the definition gives no Error / Cause.
  std::string error_code;
  std::string message;
  bool operator==(const LoweredFail&) const = default;
};

using LoweredStateKind =
    std::variant<LoweredTask, LoweredPass, LoweredChoice, LoweredSucceed, LoweredFail>;

struct LoweredState {
  StateId id;
  std::string name;
  // The state's Comment, or empty.
  std::string doc;
  LoweredStateKind kind;
  bool operator==(const LoweredState&) const = default;
};

struct LoweredNumericEquals {
  LoweredValuePath path;
  std::int64_t value = 0;
  bool operator==(const LoweredNumericEquals&) const = default;
};

struct LoweredStringEquals {
  LoweredValuePath path;
  std::string value;
  bool operator==(const LoweredStringEquals&) const = default;
};

struct LoweredBooleanEquals {
  LoweredValuePath path;
  bool value = false;
  bool operator==(const LoweredBooleanEquals&) const = default;
};

using LoweredComparison =
    std::variant<LoweredNumericEquals, LoweredStringEquals, LoweredBooleanEquals>;

struct LoweredCondition {
  ConditionId id;
  LoweredComparison kind;
  bool operator==(const LoweredCondition&) const = default;
};

struct LoweredSchema {
  SchemaId id;
  std::string name;
  std::vector<std::uint8_t> encoded;
  bool operator==(const LoweredSchema&) const = default;
};

struct LoweredStateMachine {
  StateId start_at;
  // In ascending name order; position = id.
  std::vector<LoweredState> states;
  // The opaque schema first; position = id.
  std::vector<LoweredSchema> schemas;
  // One per Choice branch across the machine; position = id.
  std::vector<LoweredCondition> conditions;
  // Distinct Task resources in ascending byte order; position = HandlerId.
  std::vector<std::string> handler_names;
  bool operator==(const LoweredStateMachine&) const = default;
};

}  // namespace vorn::build
