// Any bytes as a Choice rule (the first byte says whether it is a top-level
// one, the rest is JSON): a rule comes back exactly when no problem was
// reported, every problem sits at or below the rule's location, and an
// accepted tree has the shape its kind promises.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "aws_build/choice_rule.hpp"
#include "aws_data/json_path.hpp"
#include "aws_data/read.hpp"
#include "aws_data/timestamp.hpp"
#include "fuzz_input.hpp"

using vorn_fuzz::check;
namespace aws = vorn::aws;

namespace {

constexpr std::string_view kAt = "/States/C/Choices[0]";

void check_tree(const aws::ChoiceRule& rule, bool top_level) {
  check(top_level != rule.next.empty());
  switch (rule.kind) {
    case aws::ChoiceRule::Kind::kAnd:
    case aws::ChoiceRule::Kind::kOr:
      check(!rule.children.empty());
      break;
    case aws::ChoiceRule::Kind::kNot:
      check(rule.children.size() == 1);
      break;
    case aws::ChoiceRule::Kind::kCompare: {
      check(rule.children.empty() && aws::JsonPath::parse(rule.variable).ok());
      const std::string_view name = aws::choice_operator_name(rule.op);
      if (aws::is_path_operator(rule.op)) {
        check(rule.operand.is_string() && aws::JsonPath::parse(rule.operand.as_string()).ok());
      } else if (name.starts_with("Timestamp")) {
        check(rule.operand.is_string() &&
              aws::parse_timestamp(rule.operand.as_string()).has_value());
      } else if (name.starts_with("String")) {
        check(rule.operand.is_string());
      } else if (name.starts_with("Numeric")) {
        check(rule.operand.is_number());
      } else {
        check(rule.operand.is_bool());
      }
      break;
    }
  }
  for (const aws::ChoiceRule& child : rule.children) check_tree(child, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool top_level = data[0] & 1;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  auto value = aws::read_json(text);
  if (!value.ok()) return 0;

  std::vector<aws::Diagnostic> out;
  const auto rule = aws::read_choice_rule(*value, kAt, top_level, out);
  check(rule.has_value() == out.empty());
  for (const aws::Diagnostic& d : out) {
    check(d.severity == aws::Severity::kError && !d.message.empty());
    check(d.code == aws::code::kSchema || d.code == aws::code::kTooDeeplyNested);
    check(d.location.starts_with(kAt));
  }
  if (rule) check_tree(*rule, top_level);
  return 0;
}
