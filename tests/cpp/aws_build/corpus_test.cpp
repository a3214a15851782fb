// Real definitions AWS accepts must pass. The corpus lives outside the
// repository; without it the test is skipped.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "aws_build/check.hpp"

namespace vorn::aws {
namespace {

const std::filesystem::path kCorpus = "/work/shared/corpus/aws-samples";

TEST(CheckCorpus, AwsAcceptedDefinitionsPass) {
  if (!std::filesystem::is_directory(kCorpus)) {
    GTEST_SKIP() << "no corpus at " << kCorpus << "; nothing to check";
  }
  int files = 0, refused = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".json") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    ++files;
    const CheckOutcome outcome = check_definition(text.str());
    if (outcome.definition) continue;
    ++refused;
    for (const Diagnostic& d : outcome.diagnostics) {
      if (d.severity != Severity::kError) continue;
      std::cout << entry.path().filename().string() << ": " << d.code << ": " << d.message
                << " at " << d.location << " (line " << d.line << ")\n";
    }
  }
  EXPECT_GT(files, 0);
  EXPECT_EQ(refused, 0) << refused << " of " << files << " accepted definitions refused";
}

}  // namespace
}  // namespace vorn::aws
