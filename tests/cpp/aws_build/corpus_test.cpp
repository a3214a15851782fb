// Real definitions AWS accepts must pass. The corpus lives outside the
// repository; without it the test is skipped.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "aws_build/check.hpp"
#include "aws_build/lower_program.hpp"
#include "aws_data/write.hpp"
#include "aws_run/execution.hpp"

namespace vorn::aws {
namespace {

// Beside the project's own folder, on developer machines and in CI.
const std::filesystem::path kCorpus =
    std::filesystem::path(PYVORN_SOURCE_DIR) / ".." / "shared" / "corpus" / "aws-samples";

// Samples AWS refuses too, each printed all the same.
const std::set<std::string> kKnownRefusals = {
    // Not JSON: "Messages": "Messages.$": "$.Messages".
    "sfn-iot-data-analytics-dataset__statemachine__statemachine.asl.json",
    // "QueryLanguage": "JSONata" sits inside States, where every member must
    // be a state object.
    "shared-fallback-state-jsonata__statemachine__statemachine.asl.json",
};

// Each definition of the corpus: its file name and its check.
std::vector<std::pair<std::string, CheckOutcome>> checked_corpus() {
  std::vector<std::pair<std::string, CheckOutcome>> out;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".json") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    out.emplace_back(entry.path().filename().string(), check_definition(text.str()));
  }
  return out;
}

TEST(CheckCorpus, AwsAcceptedDefinitionsPass) {
  if (!std::filesystem::is_directory(kCorpus)) {
    GTEST_SKIP() << "no corpus at " << kCorpus << "; nothing to check";
  }
  int files = 0;
  std::set<std::string> refused;
  for (const auto& [name, outcome] : checked_corpus()) {
    ++files;
    if (outcome.definition) continue;
    refused.insert(name);
    for (const Diagnostic& d : outcome.diagnostics) {
      if (d.severity != Severity::kError) continue;
      std::cout << name << ": " << d.code << ": " << d.message
                << " at " << d.location << " (line " << d.line << ")\n";
    }
  }
  EXPECT_GT(files, 0);
  // Exactly these: a sample that starts to pass leaves the list too.
  EXPECT_EQ(refused, kKnownRefusals);
}

// Every accepted definition lowers, or is refused only for what cannot run
// yet; the count of those that lower is printed for the record.
TEST(LowerCorpus, AcceptedDefinitionsLowerOrNameWhatCannotRunYet) {
  if (!std::filesystem::is_directory(kCorpus)) {
    GTEST_SKIP() << "no corpus at " << kCorpus << "; nothing to lower";
  }
  int accepted = 0, lowered = 0;
  for (const auto& [name, outcome] : checked_corpus()) {
    if (!outcome.definition) continue;
    ++accepted;
    const auto program = lower_program(*outcome.definition);
    if (program.ok()) {
      ++lowered;
      continue;
    }
    for (const Diagnostic& d : program.error()) {
      EXPECT_EQ(d.code, code::kUnsupportedFeature)
          << name << ": " << d.message << " at " << d.location;
    }
  }
  std::cout << lowered << " of " << accepted << " accepted definitions lower into a program\n";
  EXPECT_GT(lowered, 0);
}

// Runs `program` on {} with every task answering its own input, on a virtual
// clock.
struct EchoRun {
  std::string history;
  std::string status;  // with the error name when FAILED
  std::string cause;
  friend bool operator==(const EchoRun&, const EchoRun&) = default;
};

EchoRun run_with_echo(const std::shared_ptr<const Program>& program) {
  VirtualClock clock(Instant{1'700'000'000, 0});
  Execution execution(program, Value::object(), ExecutionIdentity{"echo", "arn", "M", "arn:M",
                                                                   "", "us-east-1"},
                      clock, 0);
  for (int steps = 0; steps < 10'000; ++steps) {
    const auto progress = execution.step();
    if (progress == Execution::Progress::kEnded) break;
    if (progress == Execution::Progress::kTaskDue) {
      execution.finish_task(TaskOutcome::succeeded(execution.task_call()->input));
    }
  }
  std::string status(execution_status_name(execution.status()));
  if (execution.status() == ExecutionStatus::kFailed) {
    status += " " + execution.failure().error.value_or("(no error)");
  }
  return {write_json(to_value(execution.history().events())), status,
          execution.failure().cause.value_or("")};
}

// Every definition that lowers runs to an end with echo tasks, the same way
// twice; the count per final status is printed for the record.
TEST(RunCorpus, LoweredDefinitionsRunToAnEndTheSameWayTwice) {
  if (!std::filesystem::is_directory(kCorpus)) {
    GTEST_SKIP() << "no corpus at " << kCorpus << "; nothing to run";
  }
  std::map<std::string, int> by_status;
  for (const auto& [name, outcome] : checked_corpus()) {
    if (!outcome.definition) continue;
    auto lowered = lower_program(*outcome.definition);
    if (!lowered.ok()) continue;
    const auto program = std::make_shared<const Program>(std::move(lowered).value());
    const auto first = run_with_echo(program);
    const auto second = run_with_echo(program);
    EXPECT_EQ(first, second) << name;
    EXPECT_NE(first.status, "RUNNING") << name << " did not end in 10 000 steps";
    ++by_status[first.status];
    if (first.status != "SUCCEEDED") {
      std::cout << name << ": " << first.status << ": " << first.cause.substr(0, 200) << "\n";
    }
  }
  for (const auto& [status, count] : by_status) std::cout << count << " " << status << "\n";
}

}  // namespace
}  // namespace vorn::aws
