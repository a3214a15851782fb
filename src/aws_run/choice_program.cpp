#include "aws_run/choice_program.hpp"

#include <utility>

namespace vorn::aws {

namespace {

std::string_view operand_wanted(ChoiceTestKind kind) {
  switch (kind) {
    case ChoiceTestKind::kString:
      return "a String test compares with a string or a path";
    case ChoiceTestKind::kNumeric:
      return "a Numeric test compares with a number or a path";
    case ChoiceTestKind::kBoolean:
      return "a Boolean test compares with a boolean or a path";
    case ChoiceTestKind::kTimestamp:
      return "a Timestamp test compares with a timestamp or a path";
    case ChoiceTestKind::kStringMatches:
      return "a StringMatches test needs a pattern";
    default:
      return "an Is... test expects a boolean";
  }
}

bool operand_fits(ChoiceTestKind kind, const ChoiceOperand& operand) {
  const Value* literal = std::get_if<Value>(&operand);
  const bool is_path = std::holds_alternative<JsonPath>(operand);
  switch (kind) {
    case ChoiceTestKind::kString:
      return is_path || (literal && literal->is_string());
    case ChoiceTestKind::kNumeric:
      return is_path || (literal && literal->is_number());
    case ChoiceTestKind::kBoolean:
      return is_path || (literal && literal->is_bool());
    case ChoiceTestKind::kTimestamp:
      return is_path || std::holds_alternative<Timestamp>(operand);
    case ChoiceTestKind::kStringMatches:
      return std::holds_alternative<StringPattern>(operand);
    case ChoiceTestKind::kIsNull:
    case ChoiceTestKind::kIsPresent:
    case ChoiceTestKind::kIsNumeric:
    case ChoiceTestKind::kIsString:
    case ChoiceTestKind::kIsBoolean:
    case ChoiceTestKind::kIsTimestamp:
      return literal && literal->is_bool();
  }
  return false;
}

}  // namespace

void ChoiceProgramBuilder::misuse(std::string problem) {
  if (!problem_) problem_ = std::move(problem);
}

void ChoiceProgramBuilder::begin_choice(std::string next) {
  if (in_choice_) return misuse("a choice was begun inside another");
  in_choice_ = true;
  has_root_ = false;
  program_.choices_.push_back(
      {static_cast<std::uint32_t>(program_.nodes_.size()), std::move(next)});
}

bool ChoiceProgramBuilder::append(ChoiceNode node) {
  if (problem_) return false;
  if (!in_choice_) {
    misuse("a rule was added outside a choice");
    return false;
  }
  if (open_.empty()) {
    if (has_root_) {
      misuse("a choice was given a second rule");
      return false;
    }
    has_root_ = true;
  }
  if (program_.nodes_.size() >= kNoParent - 1) {
    misuse("a Choice state may hold at most " + std::to_string(kNoParent - 1) + " rules");
    return false;
  }
  if (!open_.empty()) {
    node.parent = open_.back().index;
    ++open_.back().children;
  }
  node.end = static_cast<std::uint32_t>(program_.nodes_.size()) + 1;
  program_.nodes_.push_back(node);
  return true;
}

void ChoiceProgramBuilder::open(ChoiceNode::Kind kind) {
  if (kind == ChoiceNode::Kind::kTest) return misuse("a test was opened as a composite rule");
  const auto index = static_cast<std::uint32_t>(program_.nodes_.size());
  if (append({kind, 0, kNoParent, 0})) open_.push_back({index, 0});
}

void ChoiceProgramBuilder::add_test(ChoiceTest test) {
  if (!operand_fits(test.kind, test.operand)) return misuse(std::string(operand_wanted(test.kind)));
  ChoiceNode node{ChoiceNode::Kind::kTest, 0, kNoParent,
                  static_cast<std::uint32_t>(program_.tests_.size())};
  if (append(node)) program_.tests_.push_back(std::move(test));
}

void ChoiceProgramBuilder::close() {
  if (problem_) return;
  if (open_.empty()) return misuse("a rule was closed that was not open");
  const OpenNode closing = open_.back();
  open_.pop_back();
  ChoiceNode& node = program_.nodes_[closing.index];
  if (node.kind == ChoiceNode::Kind::kNot && closing.children != 1) {
    return misuse("a Not holds exactly one rule");
  }
  if (closing.children == 0) return misuse("an And or Or holds at least one rule");
  node.end = static_cast<std::uint32_t>(program_.nodes_.size());
}

void ChoiceProgramBuilder::end_choice() {
  if (problem_) return;
  if (!in_choice_ || !open_.empty() || !has_root_) {
    return misuse("a choice was ended before its rule was complete");
  }
  in_choice_ = false;
}

void ChoiceProgramBuilder::set_default(std::string next) {
  program_.default_next_ = std::move(next);
}

Result<ChoiceProgram, std::string> ChoiceProgramBuilder::finish() && {
  if (!problem_ && in_choice_) misuse("a choice was not ended");
  if (problem_) return fail(std::move(*problem_));
  return std::move(program_);
}

}  // namespace vorn::aws
