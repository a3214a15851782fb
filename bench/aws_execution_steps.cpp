// Times the AWS dialect's interpreter per state entered, with the history
// recorded as it always is, on three shapes: a chain of Pass states placing
// a small Result, a chain of Choice states, and a polling loop (Task, then a
// Choice, then a Wait, back to the Task) whose Task is answered in C++ by
// counting up. The loop is run for 10^4, 10^5 and 10^6 states to show the
// cost per state staying flat as the history grows.
// Usage: aws_execution_steps
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "aws_build/check.hpp"
#include "aws_build/lower_program.hpp"
#include "aws_data/read.hpp"
#include "aws_run/execution.hpp"

namespace {

using namespace vorn::aws;

std::shared_ptr<const Program> program_of(const std::string& definition) {
  const CheckOutcome checked = check_definition(definition);
  if (!checked.definition) {
    std::fprintf(stderr, "definition refused: %s\n", checked.diagnostics.at(0).message.c_str());
    std::exit(1);
  }
  auto lowered = lower_program(*checked.definition);
  if (!lowered.ok()) {
    std::fprintf(stderr, "not runnable: %s\n", lowered.error().at(0).message.c_str());
    std::exit(1);
  }
  return std::make_shared<Program>(std::move(lowered).value());
}

std::string chain(int states, const std::string& body) {
  std::string text = R"({"StartAt": "S0", "States": {)";
  for (int i = 0; i < states; ++i) {
    const std::string next = i + 1 == states ? R"("End": true)"
                                             : R"("Next": "S)" + std::to_string(i + 1) + "\"";
    text += (i ? "," : "") + ("\"S" + std::to_string(i) + "\": {" + body + ", " + next + "}");
  }
  return text + "}}";
}

// Choice states that each test a number and go on to the next, then Succeed.
std::shared_ptr<const Program> choice_chain(int states) {
  std::string text = R"({"StartAt": "S0", "States": {)";
  for (int i = 0; i < states; ++i) {
    const std::string next = "S" + std::to_string(i + 1);
    text += "\"S" + std::to_string(i) + R"(": {"Type": "Choice", "Choices": [)" +
            R"({"Variable": "$.n", "NumericEquals": 1, "Next": ")" + next + R"("}], )" +
            R"("Default": ")" + next + "\"},";
  }
  return program_of(text + "\"S" + std::to_string(states) + R"(": {"Type": "Succeed"}}})");
}

struct Measured {
  double ns_per_state;
  std::int64_t states;
  std::int64_t events;
};

// Runs `program` to its end once; tasks answer with their input's count + 1.
Measured run_once(const std::shared_ptr<const Program>& program, const Value& input) {
  VirtualClock clock(Instant{1'700'000'000, 0});
  const auto start = std::chrono::steady_clock::now();
  Execution execution(program, input, ExecutionIdentity{"bench", "arn", "M", "arn:M", "", ""},
                      clock, 1);
  while (true) {
    const auto progress = execution.step();
    if (progress == Execution::Progress::kEnded) break;
    if (progress == Execution::Progress::kTaskDue) {
      const Value* count = execution.task_call()->input.find("count");
      execution.finish_task(TaskOutcome::succeeded(
          Value::integer(static_cast<std::int64_t>(count->number_value()) + 1)));
    }
  }
  const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
  if (execution.status() != ExecutionStatus::kSucceeded) {
    std::fprintf(stderr, "the run ended %s\n",
                 std::string(execution_status_name(execution.status())).c_str());
    std::exit(1);
  }
  return {took.count() / static_cast<double>(execution.states_entered()),
          execution.states_entered(), execution.history().last_id()};
}

Measured best_of(int rounds, const std::shared_ptr<const Program>& program, const Value& input) {
  Measured best = run_once(program, input);
  for (int i = 1; i < rounds; ++i) {
    const Measured m = run_once(program, input);
    if (m.ns_per_state < best.ns_per_state) best = m;
  }
  return best;
}

}  // namespace

int main() {
  const Value empty = read_json("{}").value();
  const auto pass =
      program_of(chain(1000, R"("Type": "Pass", "Result": {"ok": true}, "ResultPath": "$.r")"));
  const Measured p = best_of(20, pass, empty);
  std::printf("Pass chain: %.0f ns per state (%lld states, %lld events)\n", p.ns_per_state,
              static_cast<long long>(p.states), static_cast<long long>(p.events));
  const Measured c = best_of(20, choice_chain(1000), read_json(R"({"n": 2})").value());
  std::printf("Choice chain: %.0f ns per state (%lld states, %lld events)\n", c.ns_per_state,
              static_cast<long long>(c.states), static_cast<long long>(c.events));
  for (const int loops : {3'333, 33'333, 333'333}) {
    const auto polling = program_of(R"({"StartAt": "Poll", "States": {
      "Poll": {"Type": "Task", "Resource": "arn:aws:states:::lambda:invoke",
               "ResultPath": "$.count", "Next": "Done?"},
      "Done?": {"Type": "Choice", "Choices": [
                  {"Variable": "$.count", "NumericGreaterThanEquals": )" +
                                    std::to_string(loops) + R"(, "Next": "Finished"}],
                "Default": "Pause"},
      "Pause": {"Type": "Wait", "Seconds": 30, "Next": "Poll"},
      "Finished": {"Type": "Succeed"}}})");
    const Value start = read_json(R"({"count": 0})").value();
    const Measured m = best_of(loops > 100'000 ? 1 : 5, polling, start);
    std::printf("polling loop: %.0f ns per state (%lld states, %lld events)\n", m.ns_per_state,
                static_cast<long long>(m.states), static_cast<long long>(m.events));
  }
}
