// Any bytes as a Choice rule and an input to run it on: a flag byte (odd:
// the state has a Default), the rule's JSON, a NUL byte, the input's JSON.
// A rule the reader accepts must lower, and evaluating it must end in a
// decision or in one of the two failures a Choice state can have, the same
// on every run; the rule wrapped in a Not must decide the other way or fail
// the same way.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "aws_build/choice_rule.hpp"
#include "aws_build/lower_choice.hpp"
#include "aws_data/read.hpp"
#include "aws_run/choice_evaluation.hpp"
#include "fuzz_input.hpp"

using vorn_fuzz::check;
namespace aws = vorn::aws;

namespace {

constexpr std::string_view kAt = "/States/C/Choices[0]";

aws::Value context_for(const aws::Value& input) {
  return aws::Value::object({
      {"Execution", aws::Value::object({{"Input", input}, {"Name", aws::Value::string("run")}})},
      {"State",
       aws::Value::object({{"Name", aws::Value::string("C")},
                           {"EnteredTime", aws::Value::string("2024-01-01T00:00:00.000Z")}})},
  });
}

void check_failure(const aws::ChoiceFailure& failure, bool has_default) {
  if (failure.error == aws::kNoChoiceMatchedError) {
    check(!has_default && failure.cause == aws::no_choice_matched_cause());
    return;
  }
  check(failure.error == aws::kChoiceRuntimeError);
  check(failure.cause.starts_with("Invalid path '") &&
        failure.cause.ends_with("': The choice state's condition path references an invalid "
                                "value."));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool has_default = data[0] & 1;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = text.find('\0');
  const std::string_view rule_text = text.substr(0, split);
  const std::string_view input_text =
      split == std::string_view::npos ? std::string_view("{}") : text.substr(split + 1);

  auto rule_json = aws::read_json(rule_text);
  auto input = aws::read_json(input_text);
  if (!rule_json.ok() || !input.ok()) return 0;
  std::vector<aws::Diagnostic> out;
  auto rule = aws::read_choice_rule(*rule_json, kAt, false, out);
  if (!rule) return 0;

  aws::ChoiceState state;
  state.choices.push_back(*rule);
  state.choices.back().next = "Matched";
  if (has_default) state.default_target = "Default";
  auto program = aws::lower_choice_state(state);
  check(program.ok());

  const aws::Value context = context_for(*input);
  const auto decision = aws::evaluate_choices(*program, *input, context);
  const auto again = aws::evaluate_choices(*program, *input, context);
  check(decision.ok() == again.ok());
  if (decision.ok()) {
    check(decision->choice == again->choice && decision->next == again->next);
    if (decision->choice == 0) {
      check(decision->next == "Matched");
    } else {
      check(has_default && decision->choice == aws::ChoiceDecision::kDefault &&
            decision->next == "Default");
    }
  } else {
    check(decision.error() == again.error());
    check_failure(decision.error(), has_default);
  }

  aws::ChoiceRule negated;
  negated.kind = aws::ChoiceRule::Kind::kNot;
  negated.children.push_back(std::move(*rule));
  negated.next = "Matched";
  state.choices.assign(1, std::move(negated));
  const auto negated_program = aws::lower_choice_state(state);
  if (!negated_program.ok()) return 0;  // the Not made it one level too deep
  const auto plain = aws::evaluate_choice_rule(*program, 0, *input, context);
  const auto inverse = aws::evaluate_choice_rule(*negated_program, 0, *input, context);
  check(plain.ok() == inverse.ok());
  if (plain.ok()) {
    check(*plain != *inverse);
  } else {
    check(plain.error() == inverse.error());
  }
  return 0;
}
