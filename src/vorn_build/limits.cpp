#include "limits.hpp"

#include <string>
#include <string_view>
#include <unordered_set>

#include "base/template_key.hpp"
#include "schema.hpp"
#include "vorn/encode.hpp"

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

// Every literal member of a template is encoded on its own.
Checked check_template_literals(const std::string& location, const json::Value& template_value) {
  for (const json::Member& member : template_value.as_object()) {
    if (is_reference_key(member.key)) continue;
    const auto size = measure_value(member.value);
    if (!size.ok())
      return fail(too_large(location + "." + member.key, "template literal", size.error()));
  }
  return {};
}

// A schema's encoding is never larger than an encoding of a value it
// describes, node by node, so data that encodes has a schema that encodes
// too. A Pass state's Result is encoded whole and needs no second check; its
// Parameters are encoded literal by literal, so when the whole template does
// not encode, its schema is built and measured.
Checked check_parameters_schema(const std::string& location, const json::Value& data) {
  if (measure_value(data).ok()) return {};
  const std::optional<SchemaType> schema = extract_schema(data);
  if (!schema) return {};  // non-uniform data has no schema; the earlier steps refused it
  const auto size = measure_schema(*schema);
  if (!size.ok()) return fail(too_large(location, "schema", size.error()));
  return {};
}

Checked check_pass(const std::string& location, const PassStateAst& pass) {
  if (pass.result) {
    const auto size = measure_value(*pass.result);
    if (!size.ok()) return fail(too_large(location + ".Result", "Result", size.error()));
  }
  if (pass.parameters) {
    const std::string parameters = location + ".Parameters";
    VORN_TRY(check_template_literals(parameters, *pass.parameters));
    // The whole template, reference keys included, has a schema too.
    VORN_TRY(check_parameters_schema(parameters, *pass.parameters));
  }
  return {};
}

Checked check_task(const std::string& location, const TaskStateAst& task) {
  if (task.parameters)
    VORN_TRY(check_template_literals(location + ".Parameters", *task.parameters));
  if (task.result_selector) {
    VORN_TRY(check_template_literals(location + ".ResultSelector", *task.result_selector));
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
Checked check_limits(const AslAst& ast) {
  VORN_TRY(check_count("states", ast.states.size()));
  std::size_t rules = 0;
  for (const NamedState& named : ast.states) {
    if (const auto* choice = std::get_if<ChoiceStateAst>(&named.state))
      rules += choice->choices.size();
  }
  VORN_TRY(check_count("Choice rules", rules));
  for (const NamedState& named : ast.states) {
    const std::string location = "States." + named.name;
    if (const auto* task = std::get_if<TaskStateAst>(&named.state))
      VORN_TRY(check_task(location, *task));
    if (const auto* pass = std::get_if<PassStateAst>(&named.state))
      VORN_TRY(check_pass(location, *pass));
  }
  return check_schema_count(ast);
}

}  // namespace vorn::build
