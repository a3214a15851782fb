#include "lower.hpp"

#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "base/overloaded.hpp"
#include "base/template_key.hpp"
#include "limits.hpp"
#include "schema.hpp"
#include "value_path.hpp"
#include "vorn/encode.hpp"

namespace vorn::build {

namespace {

// Validation has refused everything that does not fit; failing here is a bug.
std::vector<std::uint8_t> encode_validated(const json::Value& value) {
  auto encoded = encode_value(value);
  if (!encoded.ok()) throw std::logic_error("lowering met data validation should have refused");
  return std::move(encoded).value();
}

// A template whose literal values validation has already encoded, in order.
LoweredTemplate lower_template(const json::Value& template_value,
                               std::vector<EncodedBytes>&& literals) {
  LoweredTemplate lowered;
  lowered.entries.reserve(template_value.as_object().size());
  std::size_t next_literal = 0;
  for (const json::Member& member : template_value.as_object()) {
    if (is_reference_key(member.key)) {
      lowered.entries.push_back(LoweredReference{std::string(reference_base(member.key)),
                                                 parse_value_path(member.value.as_string())});
    } else {
      if (next_literal == literals.size())
        throw std::logic_error("lowering met a template literal validation did not encode");
      lowered.entries.push_back(LoweredLiteral{member.key, std::move(literals[next_literal++])});
    }
  }
  return lowered;
}

std::optional<LoweredTemplate> lower_template(const std::optional<json::Value>& template_value,
                                              std::vector<EncodedBytes>&& literals) {
  if (!template_value) return std::nullopt;
  return lower_template(*template_value, std::move(literals));
}

// The encodings a state's lowering takes; validation must have made them.
EncodedBytes take_encoding(std::optional<EncodedBytes>& encoded) {
  if (!encoded) throw std::logic_error("lowering met static data validation did not encode");
  return std::move(*encoded);
}

class Lowering {
 public:
  Lowering(const AslAst& ast, EncodedStaticData&& encoded)
      : ast_(ast), states_(ast), encoded_(std::move(encoded)) {
    if (encoded_.states.size() != ast_.states.size())
      throw std::logic_error("lowering met static data of another definition");
  }

  LoweredStateMachine run() {
    number_handlers();
    build_schema_table();
    number_conditions();
    for (std::size_t i = 0; i < ast_.states.size(); ++i) {
      const NamedState& named = ast_.states[i];
      machine_.states.push_back(LoweredState{StateId{static_cast<std::uint16_t>(i)}, named.name,
                                             doc_of(named.state), lower_kind(i, named.state)});
    }
    machine_.start_at = state_id(ast_.start_at);
    return std::move(machine_);
  }

 private:
  StateId state_id(std::string_view name) const {
    const auto index = states_.find(name);
    if (!index) throw std::logic_error("lowering met a transition validation should have refused");
    return StateId{static_cast<std::uint16_t>(*index)};
  }

  void number_handlers() {
    std::map<std::string_view, HandlerId> resources;
    for (const NamedState& named : ast_.states) {
      if (const auto* task = std::get_if<TaskStateAst>(&named.state))
        resources[task->resource] = {};
    }
    for (auto& [resource, id] : resources) {
      id = HandlerId{static_cast<std::uint16_t>(machine_.handler_names.size())};
      machine_.handler_names.emplace_back(resource);
    }
    handler_ids_ = std::move(resources);
  }

  // Identical encodings share one entry, which keeps the name and id of the
  // state that registered it first.
  SchemaId register_schema(EncodedBytes encoded, std::string name) {
    std::string key(encoded.begin(), encoded.end());
    if (auto found = schema_ids_.find(key); found != schema_ids_.end()) return found->second;
    const SchemaId id{static_cast<std::uint16_t>(machine_.schemas.size())};
    machine_.schemas.push_back(LoweredSchema{id, std::move(name), std::move(encoded)});
    schema_ids_.emplace(std::move(key), id);
    return id;
  }

  // Validation has refused Pass data without a schema (non-uniform arrays),
  // so every Result and Parameters value has one.
  void build_schema_table() {
    const std::vector<std::uint8_t> any = encode_schema(SchemaType{SchemaType::Any{}});
    machine_.schemas.push_back(LoweredSchema{SchemaId{0}, "opaque", any});
    schema_ids_.emplace(std::string(any.begin(), any.end()), SchemaId{0});
    for (std::size_t i = 0; i < ast_.states.size(); ++i) {
      const auto* pass = std::get_if<PassStateAst>(&ast_.states[i].state);
      if (pass == nullptr) continue;
      const std::string& name = ast_.states[i].name;
      EncodedStateData& encoded = encoded_.states[i];
      if (pass->result) {
        result_schemas_[i] =
            register_schema(take_encoding(encoded.result_schema), name + ".Result");
      }
      if (pass->parameters) {
        register_schema(take_encoding(encoded.parameters_schema), name + ".Parameters");
      }
    }
  }

  void number_conditions() {
    for (const NamedState& named : ast_.states) {
      const auto* choice = std::get_if<ChoiceStateAst>(&named.state);
      if (choice == nullptr) continue;
      for (const ChoiceRuleAst& rule : choice->choices) {
        const ConditionId id{static_cast<std::uint16_t>(machine_.conditions.size())};
        LoweredValuePath path = parse_value_path(rule.variable);
        LoweredComparison comparison =
            std::visit(Overloaded{
                           [&](const NumericEqualsOp& op) -> LoweredComparison {
                             return LoweredNumericEquals{std::move(path), op.value};
                           },
                           [&](const StringEqualsOp& op) -> LoweredComparison {
                             return LoweredStringEquals{std::move(path), op.value};
                           },
                           [&](const BooleanEqualsOp& op) -> LoweredComparison {
                             return LoweredBooleanEquals{std::move(path), op.value};
                           },
                       },
                       rule.op);
        machine_.conditions.push_back(LoweredCondition{id, std::move(comparison)});
      }
    }
  }

  static std::string doc_of(const StateAst& state) {
    return std::visit([](const auto& s) { return s.comment.value_or(""); }, state);
  }

  LoweredTransition transition(const std::optional<std::string>& next) const {
    if (next) return LoweredNext{state_id(*next)};
    return LoweredEnd{};
  }

  // Absent, or exactly "$", selects the whole value: no path at all.
  static std::optional<LoweredValuePath> opt_path(const std::optional<std::string>& path) {
    if (!path || *path == "$") return std::nullopt;
    return parse_value_path(*path);
  }

  static LoweredResultPath result_path(const ResultPathAst& path) {
    return std::visit(
        Overloaded{
            [](const ResultPathUnset&) -> LoweredResultPath { return LoweredReplace{}; },
            [](const ResultPathNull&) -> LoweredResultPath { return LoweredDiscard{}; },
            [](const ResultPathText& text) -> LoweredResultPath {
              if (text.path == "$") return LoweredReplace{};
              return LoweredPlace{parse_value_path(text.path)};
            },
        },
        path);
  }

  static LoweredRetryPolicy lower_retry(const RetryAst& retry) {
    // Seconds to milliseconds saturates: the field is 32 bits wide.
    constexpr std::uint64_t kMaxInterval = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t interval_ms = kDefaultIntervalMs;
    if (retry.interval_seconds) {
      const std::uint64_t ms = std::uint64_t{*retry.interval_seconds} * 1000;
      interval_ms = static_cast<std::uint32_t>(ms > kMaxInterval ? kMaxInterval : ms);
    }
    return LoweredRetryPolicy{retry.error_equals, retry.max_attempts.value_or(kDefaultMaxAttempts),
                              interval_ms, retry.backoff_rate.value_or(kDefaultBackoffRate)};
  }

  LoweredCatchBlock lower_catch(const CatchAst& catcher) const {
    return LoweredCatchBlock{catcher.error_equals, state_id(catcher.next)};
  }

  LoweredStateKind lower_kind(std::size_t index, const StateAst& state) {
    return std::visit(
        Overloaded{
            [&](const TaskStateAst& task) -> LoweredStateKind {
              EncodedStateData& encoded = encoded_.states[index];
              LoweredTask lowered{handler_ids_.at(task.resource),
                                  SchemaId{0},
                                  SchemaId{0},
                                  transition(task.next),
                                  {},
                                  {},
                                  opt_path(task.input_path),
                                  opt_path(task.output_path),
                                  result_path(task.result_path),
                                  lower_template(task.parameters, std::move(encoded.parameters)),
                                  lower_template(task.result_selector,
                                                 std::move(encoded.result_selector))};
              for (const RetryAst& retry : task.retry) lowered.retry.push_back(lower_retry(retry));
              for (const CatchAst& catcher : task.catch_)
                lowered.catch_.push_back(lower_catch(catcher));
              return lowered;
            },
            [&](const PassStateAst& pass) -> LoweredStateKind {
              EncodedStateData& encoded = encoded_.states[index];
              const auto schema = result_schemas_.find(index);
              return LoweredPass{
                  SchemaId{0},
                  schema == result_schemas_.end() ? SchemaId{0} : schema->second,
                  pass.result ? std::optional(take_encoding(encoded.result)) : std::nullopt,
                  transition(pass.next),
                  opt_path(pass.input_path),
                  opt_path(pass.output_path),
                  result_path(pass.result_path),
                  lower_template(pass.parameters, std::move(encoded.parameters))};
            },
            [&](const ChoiceStateAst& choice) -> LoweredStateKind {
              LoweredChoice lowered{SchemaId{0}, {}, std::nullopt};
              for (const ChoiceRuleAst& rule : choice.choices) {
                lowered.branches.push_back(
                    LoweredChoiceBranch{ConditionId{static_cast<std::uint16_t>(next_condition_++)},
                                        state_id(rule.next)});
              }
              if (choice.default_) lowered.default_ = state_id(*choice.default_);
              return lowered;
            },
            [](const SucceedStateAst&) -> LoweredStateKind { return LoweredSucceed{}; },
            [](const FailStateAst& fail_state) -> LoweredStateKind {
              return LoweredFail{fail_state.error.value_or(""), fail_state.cause.value_or("")};
            },
        },
        state);
  }

  const AslAst& ast_;
  const StateIndex states_;
  EncodedStaticData encoded_;
  LoweredStateMachine machine_;
  std::map<std::string_view, HandlerId> handler_ids_;
  std::unordered_map<std::string, SchemaId> schema_ids_;
  std::unordered_map<std::size_t, SchemaId> result_schemas_;  // by state position
  // Choice states are visited in name order both when numbering conditions
  // and when lowering states, so the running count meets the same rules.
  std::size_t next_condition_ = 0;
};

}  // namespace

std::optional<LoweredTemplate> lower_opt_template(
    const std::optional<json::Value>& template_value) {
  if (!template_value) return std::nullopt;
  LoweredTemplate lowered;
  for (const json::Member& member : template_value->as_object()) {
    if (is_reference_key(member.key)) {
      lowered.entries.push_back(LoweredReference{std::string(reference_base(member.key)),
                                                 parse_value_path(member.value.as_string())});
    } else {
      lowered.entries.push_back(LoweredLiteral{member.key, encode_validated(member.value)});
    }
  }
  return lowered;
}

LoweredStateMachine lower(const AslAst& ast) {
  EncodedStaticData encoded;
  if (!check_limits(ast, &encoded).ok())
    throw std::logic_error("lowering met data validation should have refused");
  return lower(ast, std::move(encoded));
}

LoweredStateMachine lower(const AslAst& ast, EncodedStaticData encoded) {
  return Lowering(ast, std::move(encoded)).run();
}

}  // namespace vorn::build
