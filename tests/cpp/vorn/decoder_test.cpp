#include "vorn/decoder.hpp"

#include <gtest/gtest.h>

#include <random>

#include "test_bytes.hpp"
#include "vorn/encode.hpp"

namespace vorn {
namespace {

using testing::ByteVector;
using testing::hex;
using testing::parse_json;

json::Value decode_ok(const ByteVector& bytes) {
  auto result = decode_value(bytes);
  EXPECT_TRUE(result.ok());
  return result.ok() ? std::move(result).value() : json::Value();
}

bool decodes(const ByteVector& bytes) {
  return decode_value(bytes).ok();
}

TEST(Decoder, RoundTripsEveryKind) {
  const json::Value value = parse_json(
      R"({"a":[1,-2,1.5,"s",true,false,null,{},[]],"b":{"nested":{"deep":[[]]}},"":"empty key"})");
  EXPECT_EQ(decode_ok(encode_value(value).value()), value);
}

TEST(Decoder, NumbersKeepTheirForm) {
  EXPECT_TRUE(decode_ok(hex("07 00 00 00 00 00 00 f0 3f")).is_float());
  EXPECT_TRUE(decode_ok(hex("04 01 00 00 00 00 00 00 00")).is_uint());
  EXPECT_TRUE(decode_ok(hex("04 ff ff ff ff ff ff ff ff")).is_int());
  EXPECT_EQ(decode_ok(encode_value(std::numeric_limits<std::uint64_t>::max()).value()),
            json::Value(18446744073709551616.0));
}

TEST(Decoder, NonFiniteFloatsBecomeNull) {
  EXPECT_TRUE(decode_ok(hex("07 00 00 00 00 00 00 f0 7f")).is_null());
  EXPECT_TRUE(decode_ok(hex("07 00 00 00 00 00 00 f0 ff")).is_null());
  EXPECT_TRUE(decode_ok(hex("07 01 00 00 00 00 00 f8 7f")).is_null());
}

TEST(Decoder, TrailingBytesAfterTheRootAreIgnored) {
  EXPECT_TRUE(decode_ok(hex("06 01 02 03")).is_null());
  EXPECT_EQ(decode_ok(hex("05 02")), json::Value(true));
}

TEST(Decoder, OutOfOrderAndDuplicateKeysGiveASortedMapLastWins) {
  // "b":1, "a":2, "b":3
  const json::Value value =
      decode_ok(hex("01 1f 00 03 00 01 00 62 04 01 00 00 00 00 00 00 00 01 00 61 04 02 00 00 00 00 "
                    "00 00 00 01 00 62 04 03 00 00 00 00 00 00 00"));
  EXPECT_EQ(value, parse_json(R"({"a":2,"b":3})"));
  EXPECT_EQ(value.as_object().members()[0].key, "a");
}

TEST(Decoder, MalformedInputIsInvalidData) {
  const char* cases[] = {
      "",                               // empty
      "00",                             // invalid tag
      "08",                             // invalid tag
      "04 00",                          // truncated integer
      "07 00 00",                       // truncated float
      "05",                             // truncated boolean
      "03 02 00 61",                    // string shorter than its length
      "03 01 00 ff",                    // invalid UTF-8
      "03 03 00 ed a0 80",              // encoded surrogate
      "01 02 00 00",                    // object header cut short
      "01 05 00 01 00 05 00 61",        // key longer than the window
      "01 05 00 01 00 01 00 ff 06",     // key not UTF-8
      "01 05 00 01 00 01 00 61",        // no value after the key
      "01 06 00 01 00 01 00 61 09",     // value with an invalid tag
      "01 06 00 01 00 01 00 61 04 00",  // value running past the end
      "02 02 00 01 00",                 // element missing
      "02 02 00 02 00 06",              // second element missing
      "02 05 00 01 00 03 05 00 61",     // element longer than the window
  };
  for (const char* c : cases) EXPECT_FALSE(decodes(hex(c))) << c;
  EXPECT_EQ(decode_value(hex("04 00")).error().into_context_error(), ContextError::InvalidType);
}

TEST(Decoder, NestedValuesAreConfinedToTheirDeclaredSize) {
  // The inner array declares a body of 2 (count only) but claims one element.
  EXPECT_FALSE(decodes(hex("02 0a 00 01 00 02 02 00 01 00 06")));
  // The root's window is the whole input, whatever its body length says.
  EXPECT_EQ(decode_ok(hex("02 00 00 01 00 06")), parse_json("[null]"));
  // Extra bytes inside a container after its counted entries are ignored.
  EXPECT_EQ(decode_ok(hex("02 05 00 01 00 06 ff ff")), parse_json("[null]"));
}

TEST(Decoder, NestingIsCapped) {
  ByteVector deep;
  for (std::size_t i = 0; i < kMaxNestingDepth + 1; ++i) {
    for (std::uint8_t b : hex("02 ff ff 01 00")) deep.push_back(b);
  }
  deep.push_back(0x06);
  EXPECT_FALSE(decodes(deep));
}

TEST(Decoder, RandomBytesNeverCrash) {
  std::mt19937 random(12345);
  const ByteVector seed = encode_value(parse_json(R"({"a":[1,"x",{"b":null}],"c":2.5})")).value();
  for (int round = 0; round < 20000; ++round) {
    ByteVector bytes = seed;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int f = 0; f < flips; ++f)
      bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
    bytes.resize(random() % (bytes.size() + 1));
    (void)decode_value(bytes);
  }
}

TEST(ContextError, NamesAndDeErrorMapping) {
  EXPECT_EQ(name(ContextError::SchemaViolation), "SchemaViolation");
  EXPECT_EQ(name(ContextError::MissingField), "MissingField");
  EXPECT_EQ(name(ContextError::InvalidType), "InvalidType");
  EXPECT_EQ(name(ContextError::DeserializationFailure), "DeserializationFailure");
  EXPECT_EQ((DeError{DeError::Kind::MissingField, {}}).into_context_error(),
            ContextError::MissingField);
  EXPECT_EQ((DeError{DeError::Kind::Custom, "x"}).into_context_error(),
            ContextError::DeserializationFailure);
}

}  // namespace
}  // namespace vorn
