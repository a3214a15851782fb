#include "aws_build/check.hpp"

#include <algorithm>
#include <numeric>

#include "aws_build/checker.hpp"
#include "aws_build/messages.hpp"
#include "aws_data/read.hpp"

namespace vorn::aws {

namespace {

Diagnostic unlocated(std::string_view code, std::string message) {
  return Diagnostic{Severity::kError, std::string(code), std::move(message), {}, 0, 0};
}

bool is_blank(std::string_view text) {
  return text.find_first_not_of(" \t\n\r") == std::string_view::npos;
}

// A JSON fault: where the reader stopped, in Jackson's words of place.
Diagnostic read_fault(std::string_view text, const ReadError& error) {
  const bool too_deep = error.problem == "nesting too deep";
  Diagnostic d{Severity::kError,
               std::string(too_deep ? code::kTooDeeplyNested : code::kInvalidJson),
               too_deep ? message::too_deeply_nested(kMaxReadDepth) : error.problem,
               message::json_source_location(text, error.line, error.column),
               error.line,
               error.column};
  return d;
}

void check_machine(Checker& checker, const Value& root, Definition& out) {
  const Location at;
  checker.allowed_fields(
      root, {"StartAt", "States", "Comment", "Version", "TimeoutSeconds", "QueryLanguage"}, at,
      /*assign_allowed=*/false);
  out.comment = checker.string_field(root, "Comment", at);
  out.version = checker.string_field(root, "Version", at);
  out.timeout_seconds = checker.integer_field(root, "TimeoutSeconds", at, 1, kMaxSeconds);
  out.query_language = checker.machine_language();
  if (out.query_language == QueryLanguage::kJsonata) {
    checker.unsupported("JSONata", at.member("QueryLanguage"));
  }
  check_scope(checker, root, at, out.scope);
}

// Lines and columns for every diagnostic in one pass over the text, then
// the diagnostics in the order their places appear in it; those without a
// location (a scope without an end) close the list, as AWS lists them.
void place_and_order(std::string_view text, Checker& checker, std::vector<Diagnostic>& out) {
  std::vector<Diagnostic>& found = checker.diagnostics();
  const std::vector<SourcePosition> positions = find_source_positions(text, checker.paths());
  std::vector<std::size_t> order(found.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const bool a_unlocated = found[a].location.empty(), b_unlocated = found[b].location.empty();
    if (a_unlocated != b_unlocated) return b_unlocated;
    return positions[a].offset < positions[b].offset;
  });
  out.reserve(found.size());
  for (std::size_t i : order) {
    found[i].line = positions[i].line;
    found[i].column = positions[i].column;
    out.push_back(std::move(found[i]));
  }
}

}  // namespace

CheckOutcome check_definition(std::string_view text) {
  CheckOutcome outcome;
  if (is_blank(text)) {
    outcome.diagnostics.push_back(unlocated(code::kSchema, message::definition_not_object()));
    return outcome;
  }
  auto read = read_json(text);
  if (!read.ok()) {
    outcome.diagnostics.push_back(read_fault(text, read.error()));
    return outcome;
  }
  outcome.document = std::move(*read);
  const Value& root = outcome.document;
  if (!root.is_object()) {
    Diagnostic d = unlocated(code::kSchema, message::definition_not_object());
    const SourcePath at_root;
    const SourcePosition where = find_source_positions(text, {&at_root, 1}).front();
    d.line = where.line;
    d.column = where.column;
    outcome.diagnostics.push_back(std::move(d));
    return outcome;
  }

  // The machine's language decides how every state without its own is read.
  const Value* language = root.find("QueryLanguage");
  const bool jsonata = language != nullptr && language->is_string() &&
                       language->as_string() == "JSONata";
  Checker checker(jsonata ? QueryLanguage::kJsonata : QueryLanguage::kJsonPath);
  if (language != nullptr && !jsonata) {
    checker.enum_field(root, "QueryLanguage", Location(), {"JSONPath", "JSONata"});
  }
  Definition definition;
  check_machine(checker, root, definition);

  if (!checker.diagnostics().empty()) place_and_order(text, checker, outcome.diagnostics);
  if (!checker.failed()) outcome.definition = std::move(definition);
  return outcome;
}

}  // namespace vorn::aws
