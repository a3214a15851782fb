// Any bytes as a definition: parse, validate, and for what is accepted lower
// and generate, the way the extension does (validation's encodings handed to
// lowering, the source measured and then written in place). Each stage
// either succeeds or reports one error; a lowered machine only refers to
// records it holds, every byte string it embeds is a well-formed encoded
// value, lowering and generation are deterministic, and every width the
// source can be written in holds the same text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "base/key_order.hpp"
#include "vorn/decoder.hpp"
#include "vorn_build/codegen.hpp"
#include "vorn_build/lower.hpp"
#include "vorn_build/parser.hpp"
#include "vorn_build/validator.hpp"
#include "fuzz_input.hpp"

namespace {

using namespace vorn::build;

using vorn_fuzz::check;

void check_encoded(const std::vector<std::uint8_t>& bytes) {
  check(vorn::decode_value(bytes).ok());
  check(vorn::encoded_data_size(bytes) == bytes.size());
}

void check_template(const std::optional<LoweredTemplate>& lowered) {
  if (!lowered) return;
  for (const auto& entry : lowered->entries) {
    if (const auto* literal = std::get_if<LoweredLiteral>(&entry)) check_encoded(literal->value);
  }
}

void check_machine(const LoweredStateMachine& machine) {
  const std::size_t states = machine.states.size();
  check(machine.start_at.value < states);
  auto check_transition = [&](const LoweredTransition& transition) {
    if (const auto* next = std::get_if<LoweredNext>(&transition)) check(next->target.value < states);
  };
  auto check_schema = [&](SchemaId id) { check(id.value < machine.schemas.size()); };
  for (std::size_t i = 0; i < machine.schemas.size(); ++i) check(machine.schemas[i].id.value == i);
  for (std::size_t i = 0; i < machine.conditions.size(); ++i) {
    check(machine.conditions[i].id.value == i);
  }
  for (std::size_t i = 0; i < states; ++i) {
    const LoweredState& state = machine.states[i];
    check(state.id.value == i);
    if (i > 0) check(vorn::key_less(machine.states[i - 1].name, state.name));
    std::visit(
        [&](const auto& kind) {
          using Kind = std::decay_t<decltype(kind)>;
          if constexpr (std::is_same_v<Kind, LoweredTask>) {
            check(kind.handler_id.value < machine.handler_names.size());
            check_schema(kind.input_schema);
            check_schema(kind.output_schema);
            check_transition(kind.transition);
            for (const auto& block : kind.catch_) check(block.target.value < states);
            check_template(kind.parameters);
            check_template(kind.result_selector);
          } else if constexpr (std::is_same_v<Kind, LoweredPass>) {
            check_schema(kind.input_schema);
            check_schema(kind.output_schema);
            check_transition(kind.transition);
            if (kind.result_data) check_encoded(*kind.result_data);
            check_template(kind.parameters);
          } else if constexpr (std::is_same_v<Kind, LoweredChoice>) {
            check_schema(kind.input_schema);
            for (const auto& branch : kind.branches) {
              check(branch.condition.value < machine.conditions.size());
              check(branch.target.value < states);
            }
            if (kind.default_) check(kind.default_->value < states);
          }
        },
        state.kind);
  }
}

// Text read from JSON is UTF-8, so the source can be written as code points;
// re-encoded, they must give the UTF-8 text generate() returned.
void check_source_widths(const LoweredStateMachine& machine, const std::string& source) {
  const SourceExtent extent = measure_source(machine);
  check(extent.valid_utf8 && extent.utf8_bytes == source.size());
  std::vector<std::uint32_t> units(extent.code_points);
  check(write_source(machine, std::span<std::uint32_t>(units)));
  std::size_t at = 0;
  for (const std::uint32_t unit : units) {
    char bytes[4];
    std::size_t length = 1;
    if (unit < 0x80) {
      bytes[0] = static_cast<char>(unit);
    } else if (unit < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (unit >> 6));
      bytes[1] = static_cast<char>(0x80 | (unit & 0x3F));
      length = 2;
    } else if (unit < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (unit >> 12));
      bytes[1] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (unit & 0x3F));
      length = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (unit >> 18));
      bytes[1] = static_cast<char>(0x80 | ((unit >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (unit & 0x3F));
      length = 4;
    }
    check(source.compare(at, length, bytes, length) == 0);
    at += length;
  }
  check(at == source.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto ast = parse(text);
  if (!ast.ok()) {
    check(!to_string(ast.error()).empty());
    return 0;
  }
  EncodedStaticData encoded;
  auto valid = validate(*ast, encoded);
  if (!valid.ok()) {
    check(!to_string(valid.error()).empty());
    return 0;
  }
  const LoweredStateMachine machine = lower(*ast, std::move(encoded));
  check(machine.states.size() == ast->states.size());
  check_machine(machine);
  check(lower(*ast) == machine);
  const std::string source = generate(machine);
  check(!source.empty());
  check(generate(machine) == source);
  check_source_widths(machine, source);
  return 0;
}
