#include "limits.hpp"

#include <string>
#include <string_view>
#include <unordered_set>

#include "base/template_key.hpp"
#include "schema.hpp"
#include "vorn/encode.hpp"
#include "vorn/value_writer.hpp"

namespace vorn::build {

namespace {

using E = ValidationError;
using Checked = Result<void, ValidationError>;

Checked check_count(std::string_view what, std::size_t count) {
  if (count <= kMaxIds) return {};
  return fail(E{"States", std::nullopt,
                E::LimitExceeded{"too many " + std::string(what) + " for 16-bit ids",
                                 std::to_string(count) + ", at most " + std::to_string(kMaxIds)},
                hints::kLimitExceeded});
}

E too_large(std::string location, std::string_view what, const EncodeError& error) {
  return E{std::move(location), std::nullopt,
           E::LimitExceeded{std::string(what) + " too large for the binary value format",
                            to_string(error)},
           hints::kLimitExceeded};
}

// Encodes `value` into `out` when there is one to keep, else only measures
// it; the writer and the sizer refuse the same values. The encoding is made
// in one scratch buffer that keeps its capacity, then copied once into
// `out` at its final size, instead of growing a new vector for every value.
Result<void, EncodeError> encode_or_measure(const json::Value& value, EncodedBytes* out) {
  if (out == nullptr) {
    const auto size = measure_value(value);
    if (!size.ok()) return fail(size.error());
    return {};
  }
  thread_local EncodedBytes scratch;
  scratch.clear();
  ValueWriter writer(scratch);
  VORN_TRY(write_value(writer, value));
  out->assign(scratch.begin(), scratch.end());
  // A scratch buffer left large by one huge value is not kept for the rest
  // of the thread's life.
  constexpr std::size_t kKeptScratch = 1 << 20;
  if (scratch.capacity() > kKeptScratch) EncodedBytes().swap(scratch);
  return {};
}

// "States.{name}.{field}": locations are only spelled out once an error
// needs one.
std::string location_of(const NamedState& state, std::string_view field) {
  std::string location = "States." + state.name;
  location += '.';
  location += field;
  return location;
}

// Every literal member of a template (`field` of `state`) is encoded on its
// own.
Checked check_template_literals(const NamedState& state, std::string_view field,
                                const json::Value& template_value,
                                std::vector<EncodedBytes>* keep) {
  for (const json::Member& member : template_value.as_object()) {
    if (is_reference_key(member.key)) continue;
    EncodedBytes* out = nullptr;
    if (keep != nullptr) out = &keep->emplace_back();
    const auto encoded = encode_or_measure(member.value, out);
    if (!encoded.ok()) {
      return fail(too_large(location_of(state, field) + "." + member.key, "template literal",
                            encoded.error()));
    }
  }
  return {};
}

// A schema's encoding is never larger than an encoding of a value it
// describes, node by node, so a Result that encodes has a schema that
// encodes too. Parameters are encoded literal by literal, so their schema,
// built from the whole template, is measured.
Checked check_pass(const NamedState& state, const PassStateAst& pass, EncodedStateData* keep) {
  if (pass.result) {
    EncodedBytes* out = keep != nullptr ? &keep->result.emplace() : nullptr;
    const auto encoded = encode_or_measure(*pass.result, out);
    if (!encoded.ok()) {
      return fail(too_large(location_of(state, "Result"), "Result", encoded.error()));
    }
    if (keep != nullptr) keep->result_schema = encode_schema_of_uniform(*pass.result);
  }
  if (pass.parameters) {
    VORN_TRY(check_template_literals(state, "Parameters", *pass.parameters,
                                     keep != nullptr ? &keep->parameters : nullptr));
    // The whole template, reference keys included, has a schema too.
    const auto size = measure_schema_of_uniform(*pass.parameters);
    if (!size.ok()) {
      return fail(too_large(location_of(state, "Parameters"), "schema", size.error()));
    }
    if (keep != nullptr) keep->parameters_schema = encode_schema_of_uniform(*pass.parameters);
  }
  return {};
}

Checked check_task(const NamedState& state, const TaskStateAst& task, EncodedStateData* keep) {
  if (task.parameters) {
    VORN_TRY(check_template_literals(state, "Parameters", *task.parameters,
                                     keep != nullptr ? &keep->parameters : nullptr));
  }
  if (task.result_selector) {
    VORN_TRY(check_template_literals(state, "ResultSelector", *task.result_selector,
                                     keep != nullptr ? &keep->result_selector : nullptr));
  }
  return {};
}

// Only a machine with very many Pass data values can reach the limit, so the
// encodings are built only then.
Checked check_schema_count(const AslAst& ast) {
  std::size_t candidates = 1;  // the opaque schema
  for (const NamedState& named : ast.states) {
    if (const auto* pass = std::get_if<PassStateAst>(&named.state)) {
      candidates += (pass->result ? 1 : 0) + (pass->parameters ? 1 : 0);
    }
  }
  if (candidates <= kMaxIds) return {};
  std::unordered_set<std::string> distinct = {std::string(1, '\xff')};
  for (const NamedState& named : ast.states) {
    const auto* pass = std::get_if<PassStateAst>(&named.state);
    if (pass == nullptr) continue;
    for (const auto* data : {&pass->result, &pass->parameters}) {
      if (!*data) continue;
      if (const auto schema = extract_schema(**data)) {
        const std::vector<std::uint8_t> bytes = encode_schema(*schema);
        distinct.emplace(bytes.begin(), bytes.end());
      }
    }
  }
  return check_count("distinct schemas", distinct.size());
}

}  // namespace

// Distinct resources never outnumber Task states, so they fit whenever the
// states do.
Checked check_limits(const AslAst& ast, EncodedStaticData* keep) {
  VORN_TRY(check_count("states", ast.states.size()));
  std::size_t rules = 0;
  for (const NamedState& named : ast.states) {
    if (const auto* choice = std::get_if<ChoiceStateAst>(&named.state))
      rules += choice->choices.size();
  }
  VORN_TRY(check_count("Choice rules", rules));
  if (keep != nullptr) keep->states.assign(ast.states.size(), EncodedStateData{});
  for (std::size_t i = 0; i < ast.states.size(); ++i) {
    const NamedState& named = ast.states[i];
    const bool has_data = std::holds_alternative<TaskStateAst>(named.state) ||
                          std::holds_alternative<PassStateAst>(named.state);
    if (!has_data) continue;
    EncodedStateData* state_keep = keep != nullptr ? &keep->states[i] : nullptr;
    if (const auto* task = std::get_if<TaskStateAst>(&named.state))
      VORN_TRY(check_task(named, *task, state_keep));
    if (const auto* pass = std::get_if<PassStateAst>(&named.state))
      VORN_TRY(check_pass(named, *pass, state_keep));
  }
  return check_schema_count(ast);
}

}  // namespace vorn::build
