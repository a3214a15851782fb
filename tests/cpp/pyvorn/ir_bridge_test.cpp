#include "pyvorn/ir_bridge.hpp"

#include <gtest/gtest.h>

#include "base/overloaded.hpp"
#include "vorn_build/lowered_samples.hpp"

namespace pyvorn {
namespace {

namespace build = vorn::build;
namespace ir = vorn::ir;
using vorn::Overloaded;

// Reads a runtime IR back into the lowered form, so that a round trip can be
// compared with the machine it came from field by field.
struct Lift {
  std::string text(std::string_view view) { return std::string(view); }
  std::vector<std::uint8_t> bytes(std::span<const std::uint8_t> view) {
    return {view.begin(), view.end()};
  }
  std::vector<std::string> texts(std::span<const std::string_view> views) {
    return {views.begin(), views.end()};
  }

  build::LoweredValuePath path(const ir::ValuePath& path) {
    build::LoweredValuePath out;
    for (const ir::PathSegment& segment : path.segments) {
      out.segments.push_back(std::visit(
          Overloaded{
              [&](const ir::Field& f) -> build::LoweredPathSegment {
                return build::LoweredField{text(f.name)};
              },
              [](const ir::Index& i) -> build::LoweredPathSegment {
                return build::LoweredIndex{i.index};
              },
          },
          segment));
    }
    return out;
  }
  std::optional<build::LoweredValuePath> path(const std::optional<ir::ValuePath>& p) {
    if (!p) return std::nullopt;
    return path(*p);
  }
  build::LoweredResultPath result_path(const ir::ResultPathPolicy& policy) {
    return std::visit(
        Overloaded{
            [](const ir::Replace&) -> build::LoweredResultPath { return build::LoweredReplace{}; },
            [&](const ir::Place& p) -> build::LoweredResultPath {
              return build::LoweredPlace{path(p.path)};
            },
            [](const ir::Discard&) -> build::LoweredResultPath { return build::LoweredDiscard{}; },
        },
        policy);
  }
  std::optional<build::LoweredTemplate> template_of(const std::optional<ir::TemplateIr>& t) {
    if (!t) return std::nullopt;
    build::LoweredTemplate out;
    for (const ir::TemplateEntry& entry : t->entries) {
      out.entries.push_back(std::visit(
          Overloaded{
              [&](const ir::Literal& l) -> build::LoweredTemplateEntry {
                return build::LoweredLiteral{text(l.key), bytes(l.value)};
              },
              [&](const ir::Reference& r) -> build::LoweredTemplateEntry {
                return build::LoweredReference{text(r.key), path(r.path)};
              },
          },
          entry));
    }
    return out;
  }
  build::LoweredTransition transition(const ir::TaskTransition& t) {
    if (const auto* next = std::get_if<ir::Next>(&t)) return build::LoweredNext{next->target};
    return build::LoweredEnd{};
  }

  build::LoweredStateKind kind(const ir::StateKind& kind) {
    return std::visit(
        Overloaded{
            [&](const ir::TaskStateIr& t) -> build::LoweredStateKind {
              build::LoweredTask out;
              out.handler_id = t.handler_id;
              out.input_schema = t.input_schema;
              out.output_schema = t.output_schema;
              out.transition = transition(t.transition);
              for (const auto& r : t.retry) {
                out.retry.push_back(
                    {texts(r.error_equals), r.max_attempts, r.interval_ms, r.backoff_rate});
              }
              for (const auto& c : t.catch_) out.catch_.push_back({texts(c.error_equals), c.target});
              out.input_path = path(t.input_path);
              out.output_path = path(t.output_path);
              out.result_path = result_path(t.result_path);
              out.parameters = template_of(t.parameters);
              out.result_selector = template_of(t.result_selector);
              return out;
            },
            [&](const ir::PassStateIr& p) -> build::LoweredStateKind {
              build::LoweredPass out;
              out.input_schema = p.input_schema;
              out.output_schema = p.output_schema;
              if (p.result_data) out.result_data = bytes(*p.result_data);
              out.transition = transition(p.transition);
              out.input_path = path(p.input_path);
              out.output_path = path(p.output_path);
              out.result_path = result_path(p.result_path);
              out.parameters = template_of(p.parameters);
              return out;
            },
            [&](const ir::ChoiceStateIr& c) -> build::LoweredStateKind {
              build::LoweredChoice out;
              out.input_schema = c.input_schema;
              for (const auto& b : c.branches) out.branches.push_back({b.condition, b.target});
              out.default_ = c.default_;
              return out;
            },
            [](const ir::SucceedStateIr&) -> build::LoweredStateKind {
              return build::LoweredSucceed{};
            },
            [&](const ir::FailStateIr& f) -> build::LoweredStateKind {
              return build::LoweredFail{text(f.error_code), text(f.message)};
            },
        },
        kind);
  }

  build::LoweredStateMachine machine(const ir::StateMachineIr& machine) {
    build::LoweredStateMachine out;
    out.start_at = machine.start_at;
    for (const ir::StateIr& s : machine.states) {
      out.states.push_back(
          {s.id, text(s.metadata.name), text(s.metadata.doc), kind(s.kind)});
    }
    for (const ir::SchemaIr& s : machine.schemas) {
      out.schemas.push_back({s.id, text(s.name), bytes(s.encoded)});
    }
    for (const ir::ConditionIr& c : machine.conditions) {
      out.conditions.push_back(
          {c.id, std::visit(Overloaded{
                                [&](const ir::NumericEqualsCond& n) -> build::LoweredComparison {
                                  return build::LoweredNumericEquals{path(n.path), n.value};
                                },
                                [&](const ir::StringEqualsCond& s) -> build::LoweredComparison {
                                  return build::LoweredStringEquals{path(s.path), text(s.value)};
                                },
                                [&](const ir::BooleanEqualsCond& b) -> build::LoweredComparison {
                                  return build::LoweredBooleanEquals{path(b.path), b.value};
                                },
                            },
                            c.kind)});
    }
    out.handler_names = texts(machine.metadata.handler_names);
    return out;
  }
};

TEST(IrBridge, RecordsHoldWhatTheLoweredMachineHeld) {
  const build::LoweredStateMachine samples[] = {
      build::samples::every_field_present(),
      build::samples::succeed_only(),
      build::samples::empty_machine(),
  };
  for (const auto& sample : samples) {
    const auto machine = build_ir(sample);
    EXPECT_EQ(Lift().machine(*machine), sample);

    const ir::IrMetadata& metadata = machine->metadata;
    ASSERT_EQ(metadata.state_names.size(), sample.states.size());
    for (std::size_t i = 0; i < sample.states.size(); ++i) {
      // The same text as the state's own name, not a copy of it.
      EXPECT_EQ(metadata.state_names[i].data(), machine->states[i].metadata.name.data());
      EXPECT_EQ(metadata.state_names[i], sample.states[i].name);
    }
    ASSERT_EQ(metadata.schema_names.size(), sample.schemas.size());
    for (std::size_t i = 0; i < sample.schemas.size(); ++i) {
      EXPECT_EQ(metadata.schema_names[i].data(), machine->schemas[i].name.data());
    }
    ASSERT_EQ(metadata.condition_descriptions.size(), sample.conditions.size());
    for (std::string_view description : metadata.condition_descriptions) {
      EXPECT_TRUE(description.empty());
    }
  }
}

TEST(IrBridge, TextsAndBytesAreTakenOverWithoutCopying) {
  build::LoweredStateMachine lowered = build::samples::every_field_present();
  // Long enough to live on the heap, where a move keeps the buffer.
  lowered.states[4].kind = build::LoweredFail{"Boom", std::string(200, 'm')};
  lowered.schemas[1].encoded.resize(300, 0x06);
  const char* message = std::get<build::LoweredFail>(lowered.states[4].kind).message.data();
  const std::uint8_t* encoded = lowered.schemas[1].encoded.data();

  const auto machine = build_ir(std::move(lowered));
  EXPECT_EQ(std::get<ir::FailStateIr>(machine->states[4].kind).message.data(), message);
  EXPECT_EQ(machine->schemas[1].encoded.data(), encoded);
}

TEST(IrBridge, TheIrLivesAsLongAsItsLastHolder) {
  std::weak_ptr<const ir::StateMachineIr> watch;
  std::shared_ptr<const ir::StateMachineIr> kept;
  {
    const auto machine = build_ir(build::samples::every_field_present());
    watch = machine;
    kept = machine;
  }
  ASSERT_FALSE(watch.expired());
  // Still readable through the remaining holder (AddressSanitizer checks it).
  EXPECT_EQ(Lift().machine(*kept), build::samples::every_field_present());
  kept.reset();
  EXPECT_TRUE(watch.expired());
}

TEST(IrBridge, BuildingTwiceGivesIndependentEqualIrs) {
  const auto first = build_ir(build::samples::every_field_present());
  const auto second = build_ir(build::samples::every_field_present());
  EXPECT_NE(first->states.data(), second->states.data());
  EXPECT_NE(first->metadata.state_names[0].data(), second->metadata.state_names[0].data());
  EXPECT_EQ(Lift().machine(*first), Lift().machine(*second));
}

TEST(IrBridge, ArenaGrowsBeyondItsFirstChunk) {
  // Many small lists in a machine whose estimate is tiny.
  build::LoweredStateMachine lowered = build::samples::succeed_only();
  lowered.conditions.clear();
  for (std::uint16_t i = 0; i < 2000; ++i) {
    std::string value = std::to_string(i);  // not "v" + ...: GCC 12 warns falsely on that
    value.insert(value.begin(), 'v');
    lowered.conditions.push_back(
        {ir::ConditionId{i},
         build::LoweredStringEquals{build::samples::path({build::LoweredField{"k"},
                                                          build::LoweredIndex{i}}),
                                    value}});
  }
  const auto machine = build_ir(lowered);
  EXPECT_EQ(Lift().machine(*machine), lowered);
}

}  // namespace
}  // namespace pyvorn
