#include "aws_build/lower_choice.hpp"

#include <optional>
#include <utility>

#include "aws_data/json_path.hpp"
#include "aws_data/timestamp.hpp"
#include "aws_run/string_pattern.hpp"

namespace vorn::aws {

namespace {

struct TestShape {
  ChoiceTestKind kind;
  ChoiceComparison comparison;
};

TestShape shape_of(ChoiceOperator op) {
  using Op = ChoiceOperator;
  using K = ChoiceTestKind;
  using C = ChoiceComparison;
  switch (op) {
    case Op::kStringEquals:
    case Op::kStringEqualsPath:
      return {K::kString, C::kEquals};
    case Op::kStringLessThan:
    case Op::kStringLessThanPath:
      return {K::kString, C::kLessThan};
    case Op::kStringGreaterThan:
    case Op::kStringGreaterThanPath:
      return {K::kString, C::kGreaterThan};
    case Op::kStringLessThanEquals:
    case Op::kStringLessThanEqualsPath:
      return {K::kString, C::kLessThanEquals};
    case Op::kStringGreaterThanEquals:
    case Op::kStringGreaterThanEqualsPath:
      return {K::kString, C::kGreaterThanEquals};
    case Op::kStringMatches:
      return {K::kStringMatches, C::kEquals};
    case Op::kNumericEquals:
    case Op::kNumericEqualsPath:
      return {K::kNumeric, C::kEquals};
    case Op::kNumericLessThan:
    case Op::kNumericLessThanPath:
      return {K::kNumeric, C::kLessThan};
    case Op::kNumericGreaterThan:
    case Op::kNumericGreaterThanPath:
      return {K::kNumeric, C::kGreaterThan};
    case Op::kNumericLessThanEquals:
    case Op::kNumericLessThanEqualsPath:
      return {K::kNumeric, C::kLessThanEquals};
    case Op::kNumericGreaterThanEquals:
    case Op::kNumericGreaterThanEqualsPath:
      return {K::kNumeric, C::kGreaterThanEquals};
    case Op::kBooleanEquals:
    case Op::kBooleanEqualsPath:
      return {K::kBoolean, C::kEquals};
    case Op::kTimestampEquals:
    case Op::kTimestampEqualsPath:
      return {K::kTimestamp, C::kEquals};
    case Op::kTimestampLessThan:
    case Op::kTimestampLessThanPath:
      return {K::kTimestamp, C::kLessThan};
    case Op::kTimestampGreaterThan:
    case Op::kTimestampGreaterThanPath:
      return {K::kTimestamp, C::kGreaterThan};
    case Op::kTimestampLessThanEquals:
    case Op::kTimestampLessThanEqualsPath:
      return {K::kTimestamp, C::kLessThanEquals};
    case Op::kTimestampGreaterThanEquals:
    case Op::kTimestampGreaterThanEqualsPath:
      return {K::kTimestamp, C::kGreaterThanEquals};
    case Op::kIsNull:
      return {K::kIsNull, C::kEquals};
    case Op::kIsPresent:
      return {K::kIsPresent, C::kEquals};
    case Op::kIsNumeric:
      return {K::kIsNumeric, C::kEquals};
    case Op::kIsString:
      return {K::kIsString, C::kEquals};
    case Op::kIsBoolean:
      return {K::kIsBoolean, C::kEquals};
    case Op::kIsTimestamp:
      return {K::kIsTimestamp, C::kEquals};
  }
  return {K::kIsPresent, C::kEquals};
}

Result<JsonPath, std::string> parse_path(const std::string& text, std::string_view field) {
  auto path = JsonPath::parse(text);
  if (!path.ok()) {
    return fail("The value for the field '" + std::string(field) + "' is not a valid path ('" +
                text + "': " + to_string(path.error()) + ")");
  }
  return std::move(path).value();
}

// The operand as the program keeps it; the literal's type is left for the
// builder to judge against the operator.
Result<ChoiceOperand, std::string> lower_operand(const ChoiceRule& rule, TestShape shape) {
  const std::string_view name = choice_operator_name(rule.op);
  if (is_path_operator(rule.op)) {
    if (!rule.operand.is_string())
      return fail("The field '" + std::string(name) + "' must hold a path");
    VORN_TRY_ASSIGN(JsonPath path, parse_path(std::string(rule.operand.as_string()), name));
    return ChoiceOperand(std::move(path));
  }
  if (shape.kind == ChoiceTestKind::kTimestamp && rule.operand.is_string()) {
    const auto instant = parse_timestamp(rule.operand.as_string());
    if (!instant) {
      return fail("The field '" + std::string(name) + "' holds no timestamp: '" +
                  std::string(rule.operand.as_string()) + "'");
    }
    return ChoiceOperand(*instant);
  }
  if (shape.kind == ChoiceTestKind::kStringMatches && rule.operand.is_string()) {
    VORN_TRY_ASSIGN(StringPattern pattern, StringPattern::parse(rule.operand.as_string()));
    return ChoiceOperand(std::move(pattern));
  }
  return ChoiceOperand(rule.operand);
}

class ChoiceLowering {
 public:
  Result<void, std::string> lower_rule(const ChoiceRule& rule, std::size_t depth) {
    if (depth > kMaxChoiceNesting) {
      return fail("Choice rules may be nested at most " + std::to_string(kMaxChoiceNesting) +
                  " deep");
    }
    if (rule.kind == ChoiceRule::Kind::kCompare) return lower_test(rule);
    builder_.open(rule.kind == ChoiceRule::Kind::kAnd  ? ChoiceNode::Kind::kAnd
                  : rule.kind == ChoiceRule::Kind::kOr ? ChoiceNode::Kind::kOr
                                                       : ChoiceNode::Kind::kNot);
    for (const ChoiceRule& child : rule.children) VORN_TRY(lower_rule(child, depth + 1));
    builder_.close();
    return {};
  }

  ChoiceProgramBuilder& builder() { return builder_; }

 private:
  Result<void, std::string> lower_test(const ChoiceRule& rule) {
    const TestShape shape = shape_of(rule.op);
    ChoiceTest test;
    test.kind = shape.kind;
    test.comparison = shape.comparison;
    VORN_TRY_ASSIGN(test.variable, parse_path(rule.variable, "Variable"));
    VORN_TRY_ASSIGN(test.operand, lower_operand(rule, shape));
    builder_.add_test(std::move(test));
    return {};
  }

  ChoiceProgramBuilder builder_;
};

}  // namespace

Result<ChoiceProgram, std::string> lower_choice_state(const ChoiceState& state) {
  ChoiceLowering lowering;
  for (std::size_t i = 0; i < state.choices.size(); ++i) {
    const ChoiceRule& rule = state.choices[i];
    lowering.builder().begin_choice(rule.next);
    auto lowered = lowering.lower_rule(rule, 0);
    if (!lowered.ok()) {
      return fail("Choices[" + std::to_string(i) + "]: " + std::move(lowered).error());
    }
    lowering.builder().end_choice();
    if (!lowering.builder().ok()) {
      return fail("Choices[" + std::to_string(i) +
                  "]: " + std::move(lowering.builder()).finish().error());
    }
  }
  if (state.default_target) lowering.builder().set_default(*state.default_target);
  return std::move(lowering.builder()).finish();
}

}  // namespace vorn::aws
