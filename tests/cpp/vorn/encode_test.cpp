#include "vorn/encode.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "test_bytes.hpp"

namespace vorn {
namespace {

using testing::ByteVector;
using testing::hex;
using testing::parse_json;

ByteVector encode(const json::Value& value) {
  auto result = encode_value(value);
  EXPECT_TRUE(result.ok()) << (result.ok() ? "" : to_string(result.error()));
  return result.ok() ? std::move(result).value() : ByteVector{};
}

std::string encode_error(const json::Value& value) {
  auto result = encode_value(value);
  EXPECT_FALSE(result.ok());
  return result.ok() ? "" : to_string(result.error());
}

TEST(EncodeValue, ScalarsAndEmptyContainers) {
  EXPECT_EQ(encode(json::Null{}), hex("06"));
  EXPECT_EQ(encode(true), hex("05 01"));
  EXPECT_EQ(encode(false), hex("05 00"));
  EXPECT_EQ(encode(""), hex("03 00 00"));
  EXPECT_EQ(encode("ab"), hex("03 02 00 61 62"));
  EXPECT_EQ(encode(json::Array{}), hex("02 02 00 00 00"));
  EXPECT_EQ(encode(json::Object{}), hex("01 02 00 00 00"));
  EXPECT_EQ(encode(1), hex("04 01 00 00 00 00 00 00 00"));
  EXPECT_EQ(encode(-1), hex("04 ff ff ff ff ff ff ff ff"));
  EXPECT_EQ(encode(1.0), hex("07 00 00 00 00 00 00 f0 3f"));
}

TEST(EncodeValue, UnsignedAboveSignedRangeBecomesFloat) {
  EXPECT_EQ(encode(std::numeric_limits<std::uint64_t>::max()), hex("07 00 00 00 00 00 00 f0 43"));
  EXPECT_EQ(encode(std::uint64_t{9223372036854775807u}), hex("04 ff ff ff ff ff ff ff 7f"));
}

TEST(EncodeValue, ObjectWorkedExample) {
  EXPECT_EQ(encode(parse_json(R"({"b":true,"a":1})")),
            hex("01 13 00 02 00 01 00 61 04 01 00 00 00 00 00 00 00 01 00 62 05 01"));
}

TEST(EncodeValue, KeysAreStoredInByteOrder) {
  EXPECT_EQ(encode(parse_json(R"({"b":null,"a":null,"ab":null})")),
            hex("01 0f 00 03 00 01 00 61 06 02 00 61 62 06 01 00 62 06"));
}

TEST(EncodeValue, NestedBodiesCountTheirBytes) {
  EXPECT_EQ(encode(parse_json(R"([[1],"x"])")),
            hex("02 14 00 02 00 02 0b 00 01 00 04 01 00 00 00 00 00 00 00 03 01 00 78"));
}

TEST(EncodeValue, RefusesToExceedSixteenBitFields) {
  EXPECT_EQ(encode_error(std::string(65536, 'x')),
            "string of 65536 bytes exceeds the limit of 65535 bytes");
  EXPECT_TRUE(encode_value(std::string(65535, 'x')).ok());

  json::Object long_key;
  long_key.set(std::string(70000, 'k'), 1);
  EXPECT_EQ(encode_error(long_key), "object key of 70000 bytes exceeds the limit of 65535 bytes");

  EXPECT_EQ(encode_error(json::Array(65536, json::Null{})),
            "array of 65536 elements exceeds the limit of 65535 elements");
  // 65535 nulls fit the count but not the body: 2 + 65535 bytes.
  EXPECT_EQ(encode_error(json::Array(65535, json::Null{})),
            "array body of 65537 bytes exceeds the limit of 65535 bytes");
  EXPECT_TRUE(encode_value(json::Array(65533, json::Null{})).ok());

  std::vector<json::Member> members;
  for (int i = 0; i < 65536; ++i) members.push_back({std::to_string(i), 0});
  EXPECT_EQ(encode_error(json::Object::from_members(std::move(members))),
            "object of 65536 entries exceeds the limit of 65535 entries");

  json::Object big_body;
  big_body.set("a", std::string(40000, 'x'));
  big_body.set("b", std::string(40000, 'y'));
  EXPECT_EQ(encode_error(big_body), "object body of 80014 bytes exceeds the limit of 65535 bytes");
}

TEST(MeasureValue, AgreesWithTheWriter) {
  for (const char* text :
       {"null", "[1,2.5,\"abc\",true,{}]", R"({"b":{"c":[[],[null]]},"a":""})"}) {
    const json::Value value = parse_json(text);
    EXPECT_EQ(measure_value(value).value(), encode(value).size()) << text;
  }
  EXPECT_EQ(to_string(measure_value(json::Array(65535, json::Null{})).error()),
            "array body of 65537 bytes exceeds the limit of 65535 bytes");
  EXPECT_EQ(to_string(measure_value(std::string(65536, 'x')).error()),
            "string of 65536 bytes exceeds the limit of 65535 bytes");
}

TEST(EncodeValue, RefusesNestingBeyondTheCap) {
  json::Value deep = json::Array{};
  for (std::size_t i = 1; i < kMaxNestingDepth; ++i) deep = json::Array{std::move(deep)};
  EXPECT_TRUE(encode_value(deep).ok());
  deep = json::Array{std::move(deep)};
  EXPECT_EQ(encode_error(deep), "nesting of 1025 levels exceeds the limit of 1024 levels");
}

}  // namespace
}  // namespace vorn
