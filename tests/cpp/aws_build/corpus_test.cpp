// Real definitions AWS accepts must pass. The corpus lives outside the
// repository; without it the test is skipped.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include "aws_build/check.hpp"

namespace vorn::aws {
namespace {

const std::filesystem::path kCorpus = "/work/shared/corpus/aws-samples";

// Samples refused for a reason of their own, each printed all the same.
const std::set<std::string> kKnownRefusals = {
    // Not JSON: "Messages": "Messages.$": "$.Messages".
    "sfn-iot-data-analytics-dataset__statemachine__statemachine.asl.json",
    // "QueryLanguage": "JSONata" sits inside States, so the machine is
    // JSONPath and its states' Arguments and Output are foreign fields.
    "shared-fallback-state-jsonata__statemachine__statemachine.asl.json",
    // Paths the JSONPath reader refuses: "$.Snapshots.[0].State", "$.[0]"
    // (a dot before a bracket), filters comparing with a path or a bare word.
    "ec2-instance-isolation-cdk__python__statemachine__statemachine.asl.json",
    "ec2-instance-isolation-sam__statemachine__statemachine.asl.json",
    "idempotent-workflow-sam__statemachine__statemachine.asl.json",
    "parallel-agent-early-stopping__statemachine__main.asl.json",
    "textract-analyze-expense-tf__statemachine__statemachine.asl.json",
};

TEST(CheckCorpus, AwsAcceptedDefinitionsPass) {
  if (!std::filesystem::is_directory(kCorpus)) {
    GTEST_SKIP() << "no corpus at " << kCorpus << "; nothing to check";
  }
  int files = 0;
  std::set<std::string> refused;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".json") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    ++files;
    const CheckOutcome outcome = check_definition(text.str());
    if (outcome.definition) continue;
    refused.insert(entry.path().filename().string());
    for (const Diagnostic& d : outcome.diagnostics) {
      if (d.severity != Severity::kError) continue;
      std::cout << entry.path().filename().string() << ": " << d.code << ": " << d.message
                << " at " << d.location << " (line " << d.line << ")\n";
    }
  }
  EXPECT_GT(files, 0);
  for (const std::string& name : refused) {
    EXPECT_TRUE(kKnownRefusals.contains(name)) << name << " is refused";
  }
}

}  // namespace
}  // namespace vorn::aws
