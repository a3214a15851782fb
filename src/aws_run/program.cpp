#include "aws_run/program.hpp"

#include "aws_run/fail_fields.hpp"

namespace vorn::aws {

std::string_view state_kind_name(StateKind kind) {
  switch (kind) {
    case StateKind::kTask: return "Task";
    case StateKind::kPass: return "Pass";
    case StateKind::kChoice: return "Choice";
    case StateKind::kWait: return "Wait";
    case StateKind::kSucceed: return "Succeed";
    case StateKind::kFail: return "Fail";
    case StateKind::kParallel: return "Parallel";
    case StateKind::kMap: return "Map";
  }
  return "Pass";
}

Result<TaskError, DataFlowFailure> fail_state_failure(const FailStep& step, const Value& raw_input,
                                                      const Value& context, RandomSource& random) {
  TaskError failure{step.error, step.cause};
  if (step.error_path) {
    auto text = fail_field_text(*step.error_path, "ErrorPath", raw_input, context, random);
    if (!text.ok()) return fail(std::move(text).error());
    failure.error = std::move(text).value();
  }
  if (step.cause_path) {
    auto text = fail_field_text(*step.cause_path, "CausePath", raw_input, context, random);
    if (!text.ok()) return fail(std::move(text).error());
    failure.cause = std::move(text).value();
  }
  return failure;
}

}  // namespace vorn::aws
