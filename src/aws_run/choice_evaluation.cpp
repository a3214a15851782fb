#include "aws_run/choice_evaluation.hpp"

#include <compare>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

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

// What a path names in the input or the context object. A definite path is
// looked up in place (JsonPath::find_in builds no text and copies nothing):
// a Choice only needs to know that something is missing, so a test stays
// free of allocations.
class Lookup {
 public:
  Lookup(const JsonPath& path, const Value& input, const Value& context) {
    const Value& document = path.is_context() ? context : input;
    if (path.is_definite()) {
      value_ = path.find_in(document);
      return;
    }
    auto found = path.evaluate(document);
    if (found.ok()) {
      value_ = &storage_.emplace(std::move(found).value());
    } else {
      over_budget_ = found.error().kind == PathMiss::Kind::kTooMuchWork;
    }
  }
  Lookup(const Lookup&) = delete;
  Lookup& operator=(const Lookup&) = delete;

  // Null when the path names nothing.
  const Value* value() const { return value_; }
  // An indefinite path that gave up before it was done: it has no answer,
  // not even "absent".
  bool over_budget() const { return over_budget_; }

 private:
  std::optional<Value> storage_;  // an indefinite path's array of matches
  const Value* value_ = nullptr;
  bool over_budget_ = false;
};

ChoiceFailure unresolved(const JsonPath& path) {
  return {std::string(kChoiceRuntimeError), unresolved_choice_path_cause(path.text())};
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
  const Lookup variable(test.variable, input, context);
  if (test.kind == ChoiceTestKind::kIsPresent && !variable.over_budget()) {
    return literal && literal->is_bool() && (variable.value() != nullptr) == literal->as_bool();
  }
  if (variable.value() == nullptr) return fail(unresolved(test.variable));
  const Value& v = *variable.value();
  switch (test.kind) {
    case ChoiceTestKind::kIsNull:
    case ChoiceTestKind::kIsNumeric:
    case ChoiceTestKind::kIsString:
    case ChoiceTestKind::kIsBoolean:
    case ChoiceTestKind::kIsTimestamp:
      return literal && literal->is_bool() && type_test(test.kind, v) == literal->as_bool();
    case ChoiceTestKind::kStringMatches: {
      const auto* pattern = std::get_if<StringPattern>(&test.operand);
      return pattern && v.is_string() && pattern->matches(v.as_string());
    }
    case ChoiceTestKind::kTimestamp:
      if (const auto* instant = std::get_if<Timestamp>(&test.operand)) {
        const auto left = as_timestamp(v);
        return left && holds(test.comparison, *left <=> *instant);
      }
      break;
    default:
      break;
  }
  if (const auto* path = std::get_if<JsonPath>(&test.operand)) {
    const Lookup operand(*path, input, context);
    if (operand.value() == nullptr) return fail(unresolved(*path));
    return compare(test, v, *operand.value());
  }
  return literal && compare(test, v, *literal);
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
