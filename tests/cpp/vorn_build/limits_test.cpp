#include "vorn_build/limits.hpp"

#include <gtest/gtest.h>

#include "vorn_build/parser.hpp"
#include "vorn_build/validator.hpp"

namespace vorn::build {
namespace {

constexpr const char* kHint = "\n  Hint: Split the machine or its static data into smaller parts.";

std::string validation_message(const std::string& text) {
  auto ast = parse(text);
  EXPECT_TRUE(ast.ok()) << (ast.ok() ? "" : to_string(ast.error()));
  if (!ast.ok()) return "";
  auto valid = validate(*ast);
  return valid.ok() ? "ok" : to_string(valid.error());
}

std::string machine(const std::string& states, const std::string& start = "A") {
  return R"({"StartAt":")" + start + R"(","States":{)" + states + "}}";
}

TEST(Limits, StateCountFitsSixteenBitIds) {
  std::string states;
  for (std::size_t i = 0; i < kMaxIds + 1; ++i) {
    if (i > 0) states += ",";
    states += "\"s" + std::to_string(i) + "\":{\"Type\":\"Succeed\"}";
  }
  EXPECT_EQ(validation_message(machine(states, "s0")),
            std::string("too many states for 16-bit ids (65537, at most 65536) in States") + kHint);
}

// Resources cannot outnumber states, but Choice rules can.
TEST(Limits, ChoiceRuleCount) {
  std::string rules;
  for (std::size_t i = 0; i < kMaxIds + 1; ++i) {
    if (i > 0) rules += ",";
    rules += "{\"Variable\":\"$\",\"NumericEquals\":" + std::to_string(i) + ",\"Next\":\"A\"}";
  }
  EXPECT_EQ(
      validation_message(machine(R"("A":{"Type":"Choice","Choices":[)" + rules + "]}")),
      std::string("too many Choice rules for 16-bit ids (65537, at most 65536) in States") + kHint);
}

// Each Pass state may add two schemas, so fewer states than ids can still
// need more schema ids than there are.
TEST(Limits, DistinctSchemaCount) {
  std::string states;
  const std::size_t pass_count = kMaxIds / 2;  // 2 * 32768 + the opaque one
  for (std::size_t i = 0; i < pass_count; ++i) {
    const std::string n = std::to_string(i);
    if (i > 0) states += ",";
    states += "\"p" + n + "\":{\"Type\":\"Pass\",\"End\":true,\"Result\":{\"r" + n +
              "\":1},\"Parameters\":{\"q" + n + "\":1}}";
  }
  EXPECT_EQ(
      validation_message(machine(states, "p0")),
      std::string("too many distinct schemas for 16-bit ids (65537, at most 65536) in States") +
          kHint);
}

TEST(Limits, StaticDataMustFitTheValueFormat) {
  const std::string long_text = "\"" + std::string(70000, 'x') + "\"";
  EXPECT_EQ(
      validation_message(
          machine(R"("A":{"Type":"Pass","End":true,"Result":{"k":)" + long_text + "}}")),
      std::string("Result too large for the binary value format (string of 70000 bytes exceeds "
                  "the limit of 65535 bytes) in States.A.Result") +
          kHint);
  EXPECT_EQ(
      validation_message(machine(
          R"("A":{"Type":"Task","Resource":"r","End":true,"ResultSelector":{"a.$":"$","big":)" +
          long_text + "}}")),
      std::string("template literal too large for the binary value format (string of 70000 bytes "
                  "exceeds the limit of 65535 bytes) in States.A.ResultSelector.big") +
          kHint);
  // Reference keys are not encoded: a long path is fine.
  EXPECT_EQ(validation_message(machine(R"("A":{"Type":"Pass","End":true,"Parameters":{"a.$":"$.)" +
                                       std::string(70000, 'p') + "\"}}")),
            "ok");
}

TEST(Limits, PassParametersSchemaMustFit) {
  // Every literal fits, but the template as a whole has too many fields.
  std::string members;
  for (int i = 0; i < 70000; ++i) {
    if (i > 0) members += ",";
    members += "\"k" + std::to_string(i) + "\":1";
  }
  EXPECT_EQ(validation_message(
                machine(R"("A":{"Type":"Pass","End":true,"Parameters":{)" + members + "}}")),
            std::string("schema too large for the binary value format (object of 70000 entries "
                        "exceeds the limit of 65535 entries) in States.A.Parameters") +
                kHint);
}

// Only literals are encoded; the whole template need not fit as one value,
// as long as its schema does.
TEST(Limits, PassParametersNeedNotFitAsOneValue) {
  const std::string a = std::string(40000, 'a');
  EXPECT_EQ(validation_message(machine(R"("A":{"Type":"Pass","End":true,"Parameters":{"a":")" + a +
                                       R"(","b":")" + a + R"("}})")),
            "ok");
}

TEST(Limits, EarlierRulesComeFirst) {
  const std::string long_text = "\"" + std::string(70000, 'x') + "\"";
  EXPECT_EQ(validation_message(machine(R"("A":{"Type":"Pass","End":true,"Result":[1,"x"]},
                                          "B":{"Type":"Pass","End":true,"Result":)" +
                                       long_text + "}")),
            "array elements must have uniform types in States.A.Result\n"
            "  Hint: Array elements must all have the same structure.");
}

}  // namespace
}  // namespace vorn::build
