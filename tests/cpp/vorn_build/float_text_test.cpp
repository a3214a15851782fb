#include "vorn_build/float_text.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace vorn::build {
namespace {

TEST(ShortestFloatText, PlainShortestDigitsWithoutExponent) {
  struct Case {
    float value;
    const char* text;
  };
  const Case cases[] = {
      {0.5f, "0.5"},
      {0.0f, "0"},
      {-0.0f, "-0"},
      {-1.0f, "-1"},
      {2.0f, "2"},
      {1.5f, "1.5"},
      {0.1f, "0.1"},
      {123.456f, "123.456"},
      {1e-10f, "0.0000000001"},
      {3.4e38f, "340000000000000000000000000000000000000"},
      {std::numeric_limits<float>::denorm_min(), "0.000000000000000000000000000000000000000000001"},
      {16777216.0f, "16777216"},
      {1e7f, "10000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(shortest_float_text(c.value), c.text) << c.text;
}

TEST(ShortestFloatText, NonFiniteValues) {
  EXPECT_EQ(shortest_float_text(std::numeric_limits<float>::infinity()), "inf");
  EXPECT_EQ(shortest_float_text(-std::numeric_limits<float>::infinity()), "-inf");
  EXPECT_EQ(shortest_float_text(std::numeric_limits<float>::quiet_NaN()), "nan");
}

}  // namespace
}  // namespace vorn::build
