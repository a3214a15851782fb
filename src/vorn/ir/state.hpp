// The states of a machine and the rules they carry.
//
// Records borrow every text and list they hold (see state_machine.hpp for who
// keeps that storage alive). Where a field name is a C++ keyword it carries a
// trailing underscore: `catch_`, `default_`.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <variant>

#include "vorn/ir/id.hpp"
#include "vorn/ir/path.hpp"
#include "vorn/ir/template.hpp"

namespace vorn::ir {

// Continue with `target` after this state.
struct Next {
  StateId target;
};

// The machine completes after this state.
struct End {};

// Task and Pass states move on the same way, so they share one type.
using TaskTransition = std::variant<Next, End>;
using PassTransition = std::variant<Next, End>;

struct RetryPolicy {
  // Error names the rule applies to: StateErrorKind names or "*".
  std::span<const std::string_view> error_equals;
  // Total attempts allowed, the first one included.
  std::uint32_t max_attempts = 0;
  // Carried for generated programs; the dispatcher neither waits nor reads it.
  std::uint32_t interval_ms = 0;
  float backoff_rate = 0;
};

struct CatchBlock {
  std::span<const std::string_view> error_equals;
  StateId target;
};

struct TaskStateIr {
  HandlerId handler_id;
  // Handed to the handler registry with every call.
  SchemaId input_schema;
  SchemaId output_schema;
  TaskTransition transition;
  // In definition order; empty (never absent) when the state has none.
  std::span<const RetryPolicy> retry;
  std::span<const CatchBlock> catch_;
  std::optional<ValuePath> input_path;
  std::optional<ValuePath> output_path;
  ResultPathPolicy result_path;
  std::optional<TemplateIr> parameters;
  std::optional<TemplateIr> result_selector;
};

struct PassStateIr {
  SchemaId input_schema;
  SchemaId output_schema;
  // The encoded Result value, when the state has one.
  std::optional<std::span<const std::uint8_t>> result_data;
  PassTransition transition;
  std::optional<ValuePath> input_path;
  std::optional<ValuePath> output_path;
  ResultPathPolicy result_path;
  std::optional<TemplateIr> parameters;
};

struct ChoiceBranch {
  ConditionId condition;
  StateId target;
};

struct ChoiceStateIr {
  SchemaId input_schema;
  // Evaluated in this order; the first branch whose condition holds wins.
  std::span<const ChoiceBranch> branches;
  std::optional<StateId> default_;
};

struct SucceedStateIr {};

struct FailStateIr {
  std::string_view error_code;
  // The text the dispatcher reports.
  std::string_view message;
};

using StateKind =
    std::variant<TaskStateIr, PassStateIr, ChoiceStateIr, SucceedStateIr, FailStateIr>;

struct StateMetadata {
  std::string_view name;
  // The state's comment; empty when it has none.
  std::string_view doc;
};

struct StateIr {
  StateId id;
  StateKind kind;
  StateMetadata metadata;
};

}  // namespace vorn::ir
