// Any bytes as a payload template (up to the first newline), a ResultPath
// (the next line) and a state input (the rest), run through a state's data
// flow: the template compiles or says why, evaluates over the input or fails
// with a cause, and its result is placed back into the input. Every output
// within the payload limit is JSON that reads back as the same value, and a
// placed result is found again at its path.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "aws_data/payload_size.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"
#include "aws_run/context_object.hpp"
#include "aws_run/data_flow.hpp"
#include "aws_run/template_evaluation.hpp"
#include "base/utf8.hpp"
#include "fuzz_input.hpp"

using vorn_fuzz::check;
namespace aws = vorn::aws;

namespace {

std::string_view next_line(std::string_view& input) {
  const std::size_t newline = input.find('\n');
  const std::string_view line = input.substr(0, newline);
  input = newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);
  return line;
}

const aws::Value& context() {
  static const aws::Value value = [] {
    aws::ExecutionContextFields fields;
    fields.execution_id = "arn:aws:states:us-east-1:123456789012:execution:M:e";
    fields.input = aws::read_json(R"({"input-value":[0,1.50]})").value();
    fields.execution_name = "e";
    fields.role_arn = "arn:aws:iam::123456789012:role/R";
    fields.state_machine_id = "arn:aws:states:us-east-1:123456789012:stateMachine:M";
    fields.state_machine_name = "M";
    aws::StateContextFields state;
    state.state_name = "S";
    state.retry_count = 0;
    aws::ExecutionContext execution = aws::make_execution_context(fields);
    return aws::make_context_object(execution, state);
  }();
  return value;
}

// A payload that left a step: within the limit, never larger than its
// bound, and JSON that reads back as the same value.
void check_payload(const aws::SizedValue& payload) {
  const std::string text = aws::write_json(payload.value);
  check(text.size() <= aws::kMaxPayloadBytes && text.size() <= payload.size_bound);
  check(aws::compact_size(payload.value) == text.size());
  check(aws::compact_size_up_to(payload.value, aws::kMaxPayloadBytes) == text.size());
  auto again = aws::read_json(text);
  // A template nests up to its own bound, and the input placed inside it may
  // nest as deep again: deeper than the reader takes, but still sound JSON.
  if (!again.ok() && again.error().problem == "nesting too deep") return;
  check(again.ok() && *again == payload.value);
}

void check_failure(const aws::DataFlowFailure& failure, const aws::StateDataFlow& flow) {
  check(!failure.cause.empty() && !failure.error_name().empty());
  if (failure.kind == aws::DataFlowFailure::Kind::kIntrinsicFailure) {
    check(flow.parameters && failure.cause.starts_with("The function States."));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view template_text = next_line(input);
  const std::string_view result_path_text = next_line(input);

  auto written = aws::read_json(template_text);
  if (!written.ok()) return 0;
  auto compiled = aws::compile_template(*written);
  if (!compiled.ok()) {
    check(!compiled.error().empty());
    for (const auto& fault : compiled.error()) check(!aws::to_string(fault).empty());
    return 0;
  }
  auto document = aws::read_json(input);
  const aws::Value raw =
      document.ok() ? *document : aws::read_json(R"({"a":[1,{"b":"c"}]})").value();

  aws::StateDataFlow flow;
  flow.parameters = *compiled;
  flow.limit_subject = "S";
  // A definition's paths come from JSON text, so they are always UTF-8.
  if (!vorn::is_valid_utf8(result_path_text)) return 0;
  auto result_path = aws::JsonPath::parse(result_path_text);
  if (result_path.ok()) flow.result_path = aws::PathSetting::of(*result_path);

  const std::size_t raw_size = aws::compact_size(raw);
  const std::size_t counted = aws::compact_size_up_to(raw, aws::kMaxPayloadBytes);
  check(raw_size > aws::kMaxPayloadBytes ? counted > aws::kMaxPayloadBytes : counted == raw_size);
  if (raw_size > aws::kMaxPayloadBytes) return 0;  // no state input is
  const aws::SizedValue state_input = aws::measured(raw);
  aws::RandomSource random;
  auto handler_input = aws::task_input(flow, state_input, context(), random);
  if (!handler_input.ok()) {
    check_failure(handler_input.error(), flow);
    return 0;
  }
  check_payload(*handler_input);

  auto output = aws::state_output(flow, state_input, *handler_input, context(), random);
  if (!output.ok()) {
    check_failure(output.error(), flow);
    // Only a path that names one place of the input can be refused by placement.
    check(output.error().kind != aws::DataFlowFailure::Kind::kPlacement || result_path.ok());
    return 0;
  }
  check_payload(*output);
  if (result_path.ok()) {
    auto found = result_path->evaluate(output->value);
    check(found.ok() && *found == handler_input->value);
  }
  return 0;
}
