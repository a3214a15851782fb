#include "ir_bridge.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "base/overloaded.hpp"

namespace pyvorn {

namespace {

namespace build = vorn::build;
namespace ir = vorn::ir;

// The lowered machine and everything its records point into. `lowered` is
// placed here before any record is made and never changes afterwards, so the
// views into its strings and byte vectors stay valid for the block's life.
struct IrBlock {
  explicit IrBlock(build::LoweredStateMachine machine)
      : lowered(std::move(machine)), arena(initial_arena_bytes(lowered)) {}

  // Enough for the top-level tables of a typical machine in one chunk; the
  // arena grows on its own for machines with many rules and paths.
  static std::size_t initial_arena_bytes(const build::LoweredStateMachine& machine) {
    const std::size_t names =
        machine.states.size() + machine.schemas.size() + machine.conditions.size() * 2 +
        machine.handler_names.size();
    return machine.states.size() * sizeof(ir::StateIr) +
           machine.schemas.size() * sizeof(ir::SchemaIr) +
           machine.conditions.size() * sizeof(ir::ConditionIr) +
           names * sizeof(std::string_view) + 512;
  }

  build::LoweredStateMachine lowered;
  IrArena arena;
  ir::StateMachineIr root;
};

std::string_view text(const std::string& owned) { return owned; }

std::span<const std::uint8_t> bytes(const std::vector<std::uint8_t>& owned) { return owned; }

// A list in the arena with `convert(item)` for each item of `lowered`.
template <class Out, class Range, class Convert>
std::span<Out> convert_list(const Range& lowered, IrArena& arena, Convert convert) {
  const auto out = arena.allocate<Out>(std::size(lowered));
  std::size_t i = 0;
  for (const auto& item : lowered) out[i++] = convert(item);
  return out;
}

std::span<const std::string_view> texts(const std::vector<std::string>& owned, IrArena& arena) {
  return convert_list<std::string_view>(owned, arena, text);
}

ir::ValuePath convert_path(const build::LoweredValuePath& path, IrArena& arena) {
  const auto segment = [](const build::LoweredPathSegment& lowered) {
    return std::visit(
        vorn::Overloaded{
            [](const build::LoweredField& field) -> ir::PathSegment {
              return ir::Field{text(field.name)};
            },
            [](const build::LoweredIndex& index) -> ir::PathSegment {
              return ir::Index{index.index};
            },
        },
        lowered);
  };
  return ir::ValuePath{convert_list<ir::PathSegment>(path.segments, arena, segment)};
}

std::optional<ir::ValuePath> convert_path(const std::optional<build::LoweredValuePath>& path,
                                          IrArena& arena) {
  if (!path) return std::nullopt;
  return convert_path(*path, arena);
}

ir::ResultPathPolicy convert_result_path(const build::LoweredResultPath& policy, IrArena& arena) {
  return std::visit(vorn::Overloaded{
                        [](const build::LoweredReplace&) -> ir::ResultPathPolicy {
                          return ir::Replace{};
                        },
                        [&](const build::LoweredPlace& place) -> ir::ResultPathPolicy {
                          return ir::Place{convert_path(place.path, arena)};
                        },
                        [](const build::LoweredDiscard&) -> ir::ResultPathPolicy {
                          return ir::Discard{};
                        },
                    },
                    policy);
}

std::optional<ir::TemplateIr> convert_template(const std::optional<build::LoweredTemplate>& lowered,
                                               IrArena& arena) {
  if (!lowered) return std::nullopt;
  return ir::TemplateIr{convert_list<ir::TemplateEntry>(
      lowered->entries, arena,
      [&](const build::LoweredTemplateEntry& entry) { return convert_template_entry(entry, arena); })};
}

// Task and Pass transitions have the same two variants.
ir::TaskTransition convert_transition(const build::LoweredTransition& transition) {
  return std::visit(
      vorn::Overloaded{
          [](const build::LoweredNext& next) -> ir::TaskTransition { return ir::Next{next.target}; },
          [](const build::LoweredEnd&) -> ir::TaskTransition { return ir::End{}; },
      },
      transition);
}

// The data-flow fields a Task and a Pass state have alike, by the same names
// on both sides.
template <class Out, class Lowered>
void convert_data_flow(const Lowered& lowered, Out& out, IrArena& arena) {
  out.input_schema = lowered.input_schema;
  out.output_schema = lowered.output_schema;
  out.transition = convert_transition(lowered.transition);
  out.input_path = convert_path(lowered.input_path, arena);
  out.output_path = convert_path(lowered.output_path, arena);
  out.result_path = convert_result_path(lowered.result_path, arena);
  out.parameters = convert_template(lowered.parameters, arena);
}

ir::TaskStateIr convert_task(const build::LoweredTask& task, IrArena& arena) {
  ir::TaskStateIr out;
  convert_data_flow(task, out, arena);
  out.handler_id = task.handler_id;
  out.retry = convert_list<ir::RetryPolicy>(task.retry, arena, [&](const auto& policy) {
    return convert_retry_policy(policy, arena);
  });
  out.catch_ = convert_list<ir::CatchBlock>(task.catch_, arena, [&](const auto& block) {
    return convert_catch_block(block, arena);
  });
  out.result_selector = convert_template(task.result_selector, arena);
  return out;
}

ir::PassStateIr convert_pass(const build::LoweredPass& pass, IrArena& arena) {
  ir::PassStateIr out;
  convert_data_flow(pass, out, arena);
  if (pass.result_data) out.result_data = bytes(*pass.result_data);
  return out;
}

ir::ChoiceStateIr convert_choice(const build::LoweredChoice& choice, IrArena& arena) {
  ir::ChoiceStateIr out;
  out.input_schema = choice.input_schema;
  out.branches = convert_list<ir::ChoiceBranch>(
      choice.branches, arena, [](const build::LoweredChoiceBranch& branch) {
        return ir::ChoiceBranch{branch.condition, branch.target};
      });
  out.default_ = choice.default_;
  return out;
}

}  // namespace

ir::StateIr convert_state(const build::LoweredState& state, IrArena& arena) {
  ir::StateIr out;
  out.id = state.id;
  out.metadata = ir::StateMetadata{text(state.name), text(state.doc)};
  out.kind = std::visit(
      vorn::Overloaded{
          [&](const build::LoweredTask& task) -> ir::StateKind { return convert_task(task, arena); },
          [&](const build::LoweredPass& pass) -> ir::StateKind { return convert_pass(pass, arena); },
          [&](const build::LoweredChoice& choice) -> ir::StateKind {
            return convert_choice(choice, arena);
          },
          [](const build::LoweredSucceed&) -> ir::StateKind { return ir::SucceedStateIr{}; },
          [](const build::LoweredFail& fail) -> ir::StateKind {
            return ir::FailStateIr{text(fail.error_code), text(fail.message)};
          },
      },
      state.kind);
  return out;
}

ir::ConditionIr convert_condition(const build::LoweredCondition& condition, IrArena& arena) {
  ir::ConditionIr out;
  out.id = condition.id;
  out.kind = std::visit(vorn::Overloaded{
                            [&](const build::LoweredNumericEquals& c) -> ir::ConditionKind {
                              return ir::NumericEqualsCond{convert_path(c.path, arena), c.value};
                            },
                            [&](const build::LoweredStringEquals& c) -> ir::ConditionKind {
                              return ir::StringEqualsCond{convert_path(c.path, arena),
                                                          text(c.value)};
                            },
                            [&](const build::LoweredBooleanEquals& c) -> ir::ConditionKind {
                              return ir::BooleanEqualsCond{convert_path(c.path, arena), c.value};
                            },
                        },
                        condition.kind);
  return out;
}

ir::TemplateEntry convert_template_entry(const build::LoweredTemplateEntry& entry,
                                         IrArena& arena) {
  return std::visit(vorn::Overloaded{
                        [](const build::LoweredLiteral& literal) -> ir::TemplateEntry {
                          return ir::Literal{text(literal.key), bytes(literal.value)};
                        },
                        [&](const build::LoweredReference& reference) -> ir::TemplateEntry {
                          return ir::Reference{text(reference.key),
                                               convert_path(reference.path, arena)};
                        },
                    },
                    entry);
}

ir::RetryPolicy convert_retry_policy(const build::LoweredRetryPolicy& policy, IrArena& arena) {
  return ir::RetryPolicy{texts(policy.error_equals, arena), policy.max_attempts,
                         policy.interval_ms, policy.backoff_rate};
}

ir::CatchBlock convert_catch_block(const build::LoweredCatchBlock& block, IrArena& arena) {
  return ir::CatchBlock{texts(block.error_equals, arena), block.target};
}

ir::SchemaIr convert_schema(const build::LoweredSchema& schema) {
  return ir::SchemaIr{schema.id, text(schema.name), bytes(schema.encoded)};
}

std::shared_ptr<const ir::StateMachineIr> build_ir(build::LoweredStateMachine lowered) {
  auto block = std::make_shared<IrBlock>(std::move(lowered));
  const build::LoweredStateMachine& machine = block->lowered;
  IrArena& arena = block->arena;
  ir::StateMachineIr& root = block->root;

  const auto states = convert_list<ir::StateIr>(
      machine.states, arena,
      [&](const build::LoweredState& state) { return convert_state(state, arena); });
  const auto schemas = convert_list<ir::SchemaIr>(machine.schemas, arena, convert_schema);
  const auto conditions = convert_list<ir::ConditionIr>(
      machine.conditions, arena,
      [&](const build::LoweredCondition& condition) { return convert_condition(condition, arena); });

  root.start_at = machine.start_at;
  root.states = states;
  root.schemas = schemas;
  root.conditions = conditions;
  root.metadata.state_names = convert_list<std::string_view>(
      states, arena, [](const ir::StateIr& state) { return state.metadata.name; });
  root.metadata.schema_names = convert_list<std::string_view>(
      schemas, arena, [](const ir::SchemaIr& schema) { return schema.name; });
  // Display texts only; a machine built at run time has none to show.
  root.metadata.condition_descriptions = arena.allocate<std::string_view>(conditions.size());
  root.metadata.handler_names = texts(machine.handler_names, arena);

  return std::shared_ptr<const ir::StateMachineIr>(block, &block->root);
}

}  // namespace pyvorn
