// Times the data-flow steps a state runs (InputPath through the size
// limit) on small payloads, the context object, and the payload size count
// on a large payload beside compact_size, the full count it bounds.
// Usage: data_flow_steps
#include <chrono>
#include <cstdio>
#include <string>

#include "aws_data/payload_size.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"
#include "aws_run/context_object.hpp"
#include "aws_run/data_flow.hpp"

namespace aws = vorn::aws;

namespace {

// The best of five rounds, in nanoseconds per call.
template <class Work>
double best_ns(int calls, Work&& work) {
  double best = 1e300;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) work();
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    if (took.count() / calls < best) best = took.count() / calls;
  }
  return best;
}

aws::Value json(const char* text) {
  return aws::read_json(text).value();
}

aws::PathSetting path(const char* text) {
  return aws::PathSetting::of(aws::JsonPath::parse(text).value());
}

}  // namespace

int main() {
  const aws::SizedValue input = aws::measured(
      json(R"({"order":{"id":17,"items":[1,2,3]},"customer":"c-1","flags":{"a":true}})"));
  const aws::Value no_context;
  std::size_t sink = 0;

  aws::StateDataFlow plain;
  aws::StateDataFlow with_result;
  with_result.result = aws::measured(json(R"({"status":"ok","n":1})"));
  with_result.result_path = path("$.r");
  aws::StateDataFlow with_parameters;
  with_parameters.parameters =
      aws::compile_template(json(R"({"id.$":"$.order.id","c.$":"$.customer","k":1})")).value();
  with_parameters.result_path = path("$.out");
  aws::RandomSource random;
  const auto pass = [&](const aws::StateDataFlow& flow) {
    auto result = aws::pass_result(flow, input, no_context, random);
    sink +=
        aws::state_output(flow, input, std::move(result).value(), no_context, random)->value.size();
  };
  std::printf("Pass, no fields:               %6.0f ns\n", best_ns(200000, [&] { pass(plain); }));
  std::printf("Pass, Result + ResultPath:     %6.0f ns\n",
              best_ns(200000, [&] { pass(with_result); }));
  std::printf("Pass, Parameters + ResultPath: %6.0f ns\n",
              best_ns(200000, [&] { pass(with_parameters); }));

  aws::ExecutionContextFields fields;
  fields.execution_id = "arn:aws:states:us-east-1:123456789012:execution:Machine:run-1";
  fields.input = input.value;
  fields.execution_name = "run-1";
  fields.role_arn = "arn:aws:iam::123456789012:role/StepFunctionsLocal";
  fields.state_machine_id = "arn:aws:states:us-east-1:123456789012:stateMachine:Machine";
  fields.state_machine_name = "Machine";
  aws::ExecutionContext execution = aws::make_execution_context(fields);
  aws::StateContextFields state;
  state.state_name = "State1";
  std::printf("context object:                %6.0f ns\n",
              best_ns(200000, [&] { sink += aws::make_context_object(execution, state).size(); }));

  std::string big = "[";
  for (int i = 0; i < 2000; ++i) {
    big += (i ? "," : "") + std::string(R"({"id":)") + std::to_string(i) +
           R"(,"name":"item number )" + std::to_string(i) + R"(","tags":["a","b\n"]})";
  }
  big += "]";
  const aws::Value large = aws::read_json(big).value();
  std::printf("size of %zu bytes: bounded %.0f ns, compact_size %.0f ns\n", big.size(),
              best_ns(200, [&] { sink += aws::compact_size_up_to(large, aws::kMaxPayloadBytes); }),
              best_ns(200, [&] { sink += aws::compact_size(large); }));
  return sink == 0;  // keeps the work from being optimized away
}
