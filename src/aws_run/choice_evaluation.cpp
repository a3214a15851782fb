#include "aws_run/choice_evaluation.hpp"

#include <compare>
#include <optional>

#include "aws_data/timestamp.hpp"
#include "aws_run/string_order.hpp"

namespace vorn::aws {

namespace {

bool holds(ChoiceComparison comparison, std::partial_ordering order) {
  switch (comparison) {
    case ChoiceComparison::kEquals:
      return order == 0;
    case ChoiceComparison::kLessThan:
      return order < 0;
    case ChoiceComparison::kGreaterThan:
      return order > 0;
    case ChoiceComparison::kLessThanEquals:
      return order <= 0;
    case ChoiceComparison::kGreaterThanEquals:
      return order >= 0;
  }
  return false;
}

Result<Value, ChoiceFailure> resolve(const JsonPath& path, const Value& input,
                                     const Value& context) {
  auto found = path.evaluate(path.is_context() ? context : input);
  if (!found.ok()) {
    return fail(
        ChoiceFailure{std::string(kChoiceRuntimeError), unresolved_choice_path_cause(path.text())});
  }
  return std::move(found).value();
}

std::optional<Timestamp> as_timestamp(const Value& value) {
  if (!value.is_string()) return std::nullopt;
  return parse_timestamp(value.as_string());
}

// An Is... test: whether `v` has the property, against the boolean expected.
bool type_test(ChoiceTestKind kind, const Value& v) {
  switch (kind) {
    case ChoiceTestKind::kIsNull:
      return v.is_null();
    case ChoiceTestKind::kIsNumeric:
      return v.is_number();
    case ChoiceTestKind::kIsString:
      return v.is_string();
    case ChoiceTestKind::kIsBoolean:
      return v.is_bool();
    case ChoiceTestKind::kIsTimestamp:
      return as_timestamp(v).has_value();
    default:
      return false;
  }
}

// Compares `v` with the operand's value `w` (a literal, or what a ...Path
// operand read). The builder has made sure the literal fits the kind.
bool compare(const ChoiceTest& test, const Value& v, const Value& w) {
  switch (test.kind) {
    case ChoiceTestKind::kString:
      return v.is_string() && w.is_string() &&
             holds(test.comparison, compare_utf16(v.as_string(), w.as_string()));
    case ChoiceTestKind::kNumeric:
      return v.is_number() && w.is_number() &&
             holds(test.comparison, v.number_value() <=> w.number_value());
    case ChoiceTestKind::kBoolean:
      return v.is_bool() && w.is_bool() && v.as_bool() == w.as_bool();
    case ChoiceTestKind::kTimestamp: {
      const auto left = as_timestamp(v);
      const auto right = as_timestamp(w);
      return left && right && holds(test.comparison, *left <=> *right);
    }
    default:
      return false;
  }
}

Result<bool, ChoiceFailure> run_test(const ChoiceTest& test, const Value& input,
                                     const Value& context) {
  const Value* literal = std::get_if<Value>(&test.operand);
  auto v = test.variable.evaluate(test.variable.is_context() ? context : input);
  if (test.kind == ChoiceTestKind::kIsPresent && literal && literal->is_bool()) {
    // Only a path that stopped for want of a value is absent; one that
    // outgrew the evaluation budget has no answer and fails below.
    if (v.ok() || v.error().kind != PathMiss::Kind::kTooMuchWork) {
      return v.ok() == literal->as_bool();
    }
  }
  if (!v.ok()) {
    return fail(ChoiceFailure{std::string(kChoiceRuntimeError),
                              unresolved_choice_path_cause(test.variable.text())});
  }
  switch (test.kind) {
    case ChoiceTestKind::kIsNull:
    case ChoiceTestKind::kIsNumeric:
    case ChoiceTestKind::kIsString:
    case ChoiceTestKind::kIsBoolean:
    case ChoiceTestKind::kIsTimestamp:
      return literal && literal->is_bool() && type_test(test.kind, *v) == literal->as_bool();
    case ChoiceTestKind::kIsPresent:
      return false;  // unreachable: the builder gives IsPresent a boolean
    case ChoiceTestKind::kStringMatches: {
      const auto* pattern = std::get_if<StringPattern>(&test.operand);
      return pattern && v->is_string() && pattern->matches(v->as_string());
    }
    case ChoiceTestKind::kTimestamp:
      if (const auto* instant = std::get_if<Timestamp>(&test.operand)) {
        const auto left = as_timestamp(*v);
        return left && holds(test.comparison, *left <=> *instant);
      }
      break;
    default:
      break;
  }
  if (const auto* path = std::get_if<JsonPath>(&test.operand)) {
    auto w = resolve(*path, input, context);
    if (!w.ok()) return fail(std::move(w).error());
    return compare(test, *v, *w);
  }
  return literal && compare(test, *v, *literal);
}

}  // namespace

std::string unresolved_choice_path_cause(std::string_view path) {
  return "Invalid path '" + std::string(path) +
         "': The choice state's condition path references an invalid value.";
}

std::string_view no_choice_matched_cause() {
  return "No choice rule matched and no Default was specified.";
}

// Walks the rule's nodes in their written order. After a test, the result
// climbs through the composite rules above it for as long as it settles
// them (a Not always, an And on false or after its last rule, an Or on true
// or after its last rule); the first one it does not settle continues with
// its next rule.
Result<bool, ChoiceFailure> evaluate_choice_rule(const ChoiceProgram& program, std::size_t index,
                                                 const Value& input, const Value& context) {
  if (index >= program.choices().size()) return false;
  const std::vector<ChoiceNode>& nodes = program.nodes();
  const std::uint32_t root = program.choices()[index].root;
  std::uint32_t at = root;
  while (true) {
    while (nodes[at].kind != ChoiceNode::Kind::kTest) ++at;  // a composite's first rule follows it
    auto tested = run_test(program.tests()[nodes[at].test], input, context);
    if (!tested.ok()) return fail(std::move(tested).error());
    bool result = *tested;
    std::uint32_t done = at;
    while (true) {
      if (done == root) return result;
      const std::uint32_t parent = nodes[done].parent;
      const ChoiceNode& above = nodes[parent];
      const bool was_last = nodes[done].end == above.end;
      if (above.kind == ChoiceNode::Kind::kNot) {
        result = !result;
      } else if (!was_last && result == (above.kind == ChoiceNode::Kind::kAnd)) {
        at = nodes[done].end;  // the next rule of this And or Or decides
        break;
      }
      done = parent;
    }
  }
}

Result<ChoiceDecision, ChoiceFailure> evaluate_choices(const ChoiceProgram& program,
                                                       const Value& input, const Value& context) {
  for (std::size_t i = 0; i < program.choices().size(); ++i) {
    auto matched = evaluate_choice_rule(program, i, input, context);
    if (!matched.ok()) return fail(std::move(matched).error());
    if (*matched) return ChoiceDecision{i, program.choices()[i].next};
  }
  if (program.default_next()) {
    return ChoiceDecision{ChoiceDecision::kDefault, *program.default_next()};
  }
  return fail(
      ChoiceFailure{std::string(kNoChoiceMatchedError), std::string(no_choice_matched_cause())});
}

}  // namespace vorn::aws
