#include "json/number_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vorn::json {
namespace {

TEST(NumberValue, IntegersWhileTheyFit) {
  EXPECT_EQ(number_value("0"), Value(std::uint64_t{0}));
  EXPECT_EQ(number_value("18446744073709551615"), Value(std::numeric_limits<std::uint64_t>::max()));
  EXPECT_EQ(number_value("-1"), Value(std::int64_t{-1}));
  EXPECT_EQ(number_value("-9223372036854775808"), Value(std::numeric_limits<std::int64_t>::min()));
  EXPECT_EQ(number_value("18446744073709551616"), Value(18446744073709551616.0));
  EXPECT_EQ(number_value("-9223372036854775809"), Value(-9223372036854775808.0));
}

TEST(NumberValue, FractionsAndExponentsAreFloats) {
  EXPECT_EQ(number_value("1.0"), Value(1.0));
  EXPECT_EQ(number_value("1e3"), Value(1000.0));
  EXPECT_EQ(number_value("1E+3"), Value(1000.0));
  EXPECT_EQ(number_value("0.1"), Value(0.1));
  EXPECT_EQ(number_value("2.2250738585072011e-308"), Value(2.2250738585072011e-308));
  EXPECT_EQ(number_value("1.7976931348623157e308"), Value(1.7976931348623157e308));
  EXPECT_EQ(number_value("4.9e-324"), Value(4.9e-324));
}

TEST(NumberValue, SignedZeros) {
  // No fraction, no exponent: the integer zero.
  EXPECT_EQ(number_value("-0"), Value(std::uint64_t{0}));
  EXPECT_TRUE(std::signbit(number_value("-0.0")->as_float()));
  EXPECT_TRUE(std::signbit(number_value("-0e5")->as_float()));
}

TEST(NumberValue, ZeroWithAnyExponentIsZero) {
  for (const char* text : {"0e309", "0.000e400", "0E+99999999999", "0.0e-99999999999"}) {
    EXPECT_EQ(number_value(text), Value(0.0)) << text;
  }
  EXPECT_TRUE(std::signbit(number_value("-0E999")->as_float()));
}

TEST(NumberValue, TooSmallIsZeroTooLargeIsRefused) {
  EXPECT_EQ(number_value("1e-400"), Value(0.0));
  EXPECT_EQ(number_value("2e-324"), Value(0.0));
  EXPECT_TRUE(std::signbit(number_value("-1e-400")->as_float()));
  EXPECT_EQ(number_value("0.0000001e-320"), Value(0.0));
  EXPECT_EQ(number_value("123456e-330"), Value(0.0));
  EXPECT_FALSE(number_value("1e309").has_value());
  EXPECT_FALSE(number_value("-1e309").has_value());
  EXPECT_FALSE(number_value("0.001e312").has_value());
  EXPECT_FALSE(number_value(std::string("1") + std::string(400, '0')).has_value());
  // Long fractions of zeros are plain zero.
  EXPECT_EQ(number_value("0." + std::string(500, '0')), Value(0.0));
}

}  // namespace
}  // namespace vorn::json
