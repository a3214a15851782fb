#include "aws_build/choice_rule.hpp"

#include <array>
#include <cstddef>
#include <utility>

#include "aws_data/json_path.hpp"
#include "aws_data/read.hpp"
#include "aws_data/timestamp.hpp"

namespace vorn::aws {

namespace {

// What a comparison operator's operand must be when the definition is created.
enum class Operand : std::uint8_t { kString, kPattern, kNumber, kBoolean, kTimestamp, kPath };

struct OperatorInfo {
  ChoiceOperator op;
  std::string_view name;
  Operand operand;
};

using Op = ChoiceOperator;

// In the enum's order, so an operator's entry is found by its value.
constexpr std::array<OperatorInfo, 39> kOperators = {{
    {Op::kStringEquals, "StringEquals", Operand::kString},
    {Op::kStringEqualsPath, "StringEqualsPath", Operand::kPath},
    {Op::kStringLessThan, "StringLessThan", Operand::kString},
    {Op::kStringLessThanPath, "StringLessThanPath", Operand::kPath},
    {Op::kStringGreaterThan, "StringGreaterThan", Operand::kString},
    {Op::kStringGreaterThanPath, "StringGreaterThanPath", Operand::kPath},
    {Op::kStringLessThanEquals, "StringLessThanEquals", Operand::kString},
    {Op::kStringLessThanEqualsPath, "StringLessThanEqualsPath", Operand::kPath},
    {Op::kStringGreaterThanEquals, "StringGreaterThanEquals", Operand::kString},
    {Op::kStringGreaterThanEqualsPath, "StringGreaterThanEqualsPath", Operand::kPath},
    {Op::kStringMatches, "StringMatches", Operand::kPattern},
    {Op::kNumericEquals, "NumericEquals", Operand::kNumber},
    {Op::kNumericEqualsPath, "NumericEqualsPath", Operand::kPath},
    {Op::kNumericLessThan, "NumericLessThan", Operand::kNumber},
    {Op::kNumericLessThanPath, "NumericLessThanPath", Operand::kPath},
    {Op::kNumericGreaterThan, "NumericGreaterThan", Operand::kNumber},
    {Op::kNumericGreaterThanPath, "NumericGreaterThanPath", Operand::kPath},
    {Op::kNumericLessThanEquals, "NumericLessThanEquals", Operand::kNumber},
    {Op::kNumericLessThanEqualsPath, "NumericLessThanEqualsPath", Operand::kPath},
    {Op::kNumericGreaterThanEquals, "NumericGreaterThanEquals", Operand::kNumber},
    {Op::kNumericGreaterThanEqualsPath, "NumericGreaterThanEqualsPath", Operand::kPath},
    {Op::kBooleanEquals, "BooleanEquals", Operand::kBoolean},
    {Op::kBooleanEqualsPath, "BooleanEqualsPath", Operand::kPath},
    {Op::kTimestampEquals, "TimestampEquals", Operand::kTimestamp},
    {Op::kTimestampEqualsPath, "TimestampEqualsPath", Operand::kPath},
    {Op::kTimestampLessThan, "TimestampLessThan", Operand::kTimestamp},
    {Op::kTimestampLessThanPath, "TimestampLessThanPath", Operand::kPath},
    {Op::kTimestampGreaterThan, "TimestampGreaterThan", Operand::kTimestamp},
    {Op::kTimestampGreaterThanPath, "TimestampGreaterThanPath", Operand::kPath},
    {Op::kTimestampLessThanEquals, "TimestampLessThanEquals", Operand::kTimestamp},
    {Op::kTimestampLessThanEqualsPath, "TimestampLessThanEqualsPath", Operand::kPath},
    {Op::kTimestampGreaterThanEquals, "TimestampGreaterThanEquals", Operand::kTimestamp},
    {Op::kTimestampGreaterThanEqualsPath, "TimestampGreaterThanEqualsPath", Operand::kPath},
    {Op::kIsNull, "IsNull", Operand::kBoolean},
    {Op::kIsPresent, "IsPresent", Operand::kBoolean},
    {Op::kIsNumeric, "IsNumeric", Operand::kBoolean},
    {Op::kIsString, "IsString", Operand::kBoolean},
    {Op::kIsBoolean, "IsBoolean", Operand::kBoolean},
    {Op::kIsTimestamp, "IsTimestamp", Operand::kBoolean},
}};

constexpr bool table_follows_enum() {
  for (std::size_t i = 0; i < kOperators.size(); ++i) {
    if (static_cast<std::size_t>(kOperators[i].op) != i) return false;
  }
  return true;
}
static_assert(table_follows_enum(), "kOperators must list the operators in the enum's order");

const OperatorInfo& info(ChoiceOperator op) { return kOperators[static_cast<std::size_t>(op)]; }

// Every text a rule's problems are reported with. AWS's words for these are
// not known; they follow the wording AWS uses for its other schema problems.
namespace says {

std::string field_list(const std::vector<std::string_view>& fields) {
  std::string text = "[";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) text += ", ";
    text += fields[i];
  }
  return text + "]";
}

std::string required(std::string_view field) {
  return "These fields are required: [" + std::string(field) + "]";
}
std::string one_of_required() {
  return "One of these fields is required: [Variable, And, Or, Not]";
}
std::string operator_required() {
  return "A comparison operator is required with the field 'Variable'";
}
std::string only_one_of(const std::vector<std::string_view>& fields) {
  return "Only one of these fields is allowed: " + field_list(fields);
}
std::string not_supported(std::string_view field) {
  return "Field '" + std::string(field) + "' is not supported";
}
std::string must_be(std::string_view field, std::string_view what) {
  return "The field '" + std::string(field) + "' must be " + std::string(what);
}
std::string must_be_object() { return "Value must be an object"; }
std::string empty() { return "Value cannot be empty"; }
std::string invalid_path(std::string_view field) {
  return "The value for the field '" + std::string(field) + "' must be a valid JSONPath";
}
std::string invalid_timestamp() { return "String does not match RFC3339 timestamp"; }
std::string invalid_pattern() {
  return "The value for the field 'StringMatches' must be a valid pattern: a backslash may "
         "only escape '*' or '\\'";
}
std::string too_deep() {
  return "Choice rules may be nested at most " + std::to_string(kMaxReadDepth) + " deep";
}

}  // namespace says

bool is_valid_path(const Value& value) {
  return value.is_string() &&
         (is_plain_path(value.as_string()) || JsonPath::parse(value.as_string()).ok());
}

// Only "\*" and "\\" are escapes; any other backslash, a lone trailing one
// included, makes the pattern unusable.
bool is_valid_pattern(std::string_view pattern) {
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '\\') continue;
    if (i + 1 == pattern.size()) return false;
    if (pattern[i + 1] != '*' && pattern[i + 1] != '\\') return false;
    ++i;
  }
  return true;
}

// Reads one rule object and the rules nested in it, collecting every problem.
class RuleReader {
 public:
  explicit RuleReader(std::vector<Diagnostic>& out) : out_(out) {}

  std::optional<ChoiceRule> read(const Value& rule, const std::string& location, bool top_level,
                                 std::size_t depth) {
    if (depth > kMaxReadDepth) {
      out_.push_back({Severity::kError, std::string(code::kTooDeeplyNested), says::too_deep(),
                      location});
      return std::nullopt;
    }
    if (!rule.is_object()) {
      report(location, says::must_be_object());
      return std::nullopt;
    }
    const std::size_t problems_before = out_.size();
    ChoiceRule result;
    // The fields that say what kind of expression this is, as written.
    std::vector<std::string_view> expression_fields;
    bool has_variable = false;
    bool has_operator = false;
    bool has_next = false;

    for (const Member& member : rule.members()) {
      const std::string& field = member.key;
      const Value& value = member.value;
      const std::string at = location + "/" + field;
      if (field == "Comment") {
        if (!value.is_string()) report(at, says::must_be(field, "a string"));
      } else if (field == "Next") {
        has_next = true;
        if (!top_level) {
          report(location, says::not_supported(field));
        } else if (!value.is_string()) {
          report(at, says::must_be(field, "a string"));
        } else if (value.as_string().empty()) {
          report(at, says::empty());
        } else {
          result.next = std::string(value.as_string());
        }
      } else if (field == "Variable") {
        has_variable = true;
        if (!value.is_string()) {
          report(at, says::must_be(field, "a string"));
        } else if (!is_valid_path(value)) {
          report(at, says::invalid_path(field));
        } else {
          result.variable = std::string(value.as_string());
        }
      } else if (field == "And" || field == "Or") {
        expression_fields.push_back(field);
        result.kind = field == "And" ? ChoiceRule::Kind::kAnd : ChoiceRule::Kind::kOr;
        read_list(field, value, at, result.children, depth);
      } else if (field == "Not") {
        expression_fields.push_back(field);
        result.kind = ChoiceRule::Kind::kNot;
        if (auto inner = read(value, at, false, depth + 1)) {
          result.children.assign(1, std::move(*inner));
        }
      } else if (auto op = choice_operator_from_name(field)) {
        expression_fields.push_back(info(*op).name);
        has_operator = true;
        result.kind = ChoiceRule::Kind::kCompare;
        result.op = *op;
        result.operand = value;
        check_operand(info(*op), value, at);
      } else {
        report(location, says::not_supported(field));
      }
    }

    if (expression_fields.size() > 1) {
      report(location, says::only_one_of(expression_fields));
    } else if (expression_fields.empty()) {
      report(location, has_variable ? says::operator_required() : says::one_of_required());
    } else if (has_operator && !has_variable) {
      report(location, says::required("Variable"));
    }
    if (has_variable && !has_operator && !expression_fields.empty()) {
      report(location, says::not_supported("Variable"));
    }
    if (top_level && !has_next) report(location, says::required("Next"));

    if (out_.size() != problems_before) return std::nullopt;
    return result;
  }

 private:
  void report(const std::string& location, std::string message) {
    out_.push_back({Severity::kError, std::string(code::kSchema), std::move(message), location});
  }

  void read_list(std::string_view field, const Value& value, const std::string& at,
                 std::vector<ChoiceRule>& children, std::size_t depth) {
    if (!value.is_array()) {
      report(at, says::must_be(field, "an array"));
      return;
    }
    if (value.size() == 0) {
      report(at, says::empty());
      return;
    }
    children.clear();
    const auto items = value.items();
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::string element_at = at + "[" + std::to_string(i) + "]";
      if (auto child = read(items[i], element_at, false, depth + 1)) {
        children.push_back(std::move(*child));
      }
    }
  }

  void check_operand(const OperatorInfo& op, const Value& value, const std::string& at) {
    switch (op.operand) {
      case Operand::kString:
        if (!value.is_string()) report(at, says::must_be(op.name, "a string"));
        return;
      case Operand::kNumber:
        if (!value.is_number()) report(at, says::must_be(op.name, "a number"));
        return;
      case Operand::kBoolean:
        if (!value.is_bool()) report(at, says::must_be(op.name, "a boolean"));
        return;
      case Operand::kPattern:
        if (!value.is_string()) {
          report(at, says::must_be(op.name, "a string"));
        } else if (!is_valid_pattern(value.as_string())) {
          report(at, says::invalid_pattern());
        }
        return;
      case Operand::kTimestamp:
        if (!value.is_string()) {
          report(at, says::must_be(op.name, "a string"));
        } else if (!parse_timestamp(value.as_string())) {
          report(at, says::invalid_timestamp());
        }
        return;
      case Operand::kPath:
        if (!value.is_string()) {
          report(at, says::must_be(op.name, "a string"));
        } else if (!is_valid_path(value)) {
          report(at, says::invalid_path(op.name));
        }
        return;
    }
  }

  std::vector<Diagnostic>& out_;
};

}  // namespace

std::string_view choice_operator_name(ChoiceOperator op) { return info(op).name; }

std::optional<ChoiceOperator> choice_operator_from_name(std::string_view name) {
  for (const OperatorInfo& entry : kOperators) {
    if (entry.name == name) return entry.op;
  }
  return std::nullopt;
}

bool is_path_operator(ChoiceOperator op) { return info(op).operand == Operand::kPath; }

std::optional<ChoiceRule> read_choice_rule(const Value& rule, std::string_view location,
                                           bool top_level, std::vector<Diagnostic>& out) {
  return RuleReader(out).read(rule, std::string(location), top_level, 0);
}

}  // namespace vorn::aws
