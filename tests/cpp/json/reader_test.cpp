#include "json/reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace vorn::json {
namespace {

Value read_ok(std::string_view text) {
  auto result = read(text);
  EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().message);
  return result.ok() ? std::move(result).value() : Value();
}

std::string read_error(std::string_view text) {
  auto result = read(text);
  EXPECT_FALSE(result.ok()) << "accepted: " << text;
  return result.ok() ? "" : result.error().message;
}

TEST(Reader, NumbersKeepTheirForm) {
  EXPECT_EQ(read_ok("0"), Value(std::uint64_t{0}));
  EXPECT_EQ(read_ok("18446744073709551615"), Value(std::numeric_limits<std::uint64_t>::max()));
  EXPECT_EQ(read_ok("-9223372036854775808"), Value(std::numeric_limits<std::int64_t>::min()));
  EXPECT_TRUE(read_ok("-1").is_int());
  EXPECT_TRUE(read_ok("1.0").is_float());
  EXPECT_TRUE(read_ok("1e3").is_float());
  // Integer literals outside both 64-bit ranges become floats.
  EXPECT_EQ(read_ok("18446744073709551616"), Value(18446744073709551616.0));
  EXPECT_EQ(read_ok("-9223372036854775809"), Value(-9223372036854775808.0));
}

// "-0" has neither fraction nor exponent, so it is an integer: zero. Written
// with either, it is the float -0.0.
TEST(Reader, MinusZeroIsTheIntegerZero) {
  EXPECT_EQ(read_ok("-0"), Value(std::uint64_t{0}));
  EXPECT_EQ(read_ok("[0,-0]"), Value(Array{Value(0), Value(0)}));
  for (const char* text : {"-0.0", "-0e0", "-0E+1"}) {
    const Value v = read_ok(text);
    ASSERT_TRUE(v.is_float()) << text;
    EXPECT_TRUE(std::signbit(v.as_float())) << text;
  }
}

TEST(Reader, FloatsAreReadAtFullPrecision) {
  EXPECT_EQ(read_ok("0.1").as_float(), 0.1);
  EXPECT_EQ(read_ok("2.2250738585072011e-308").as_float(), 2.2250738585072011e-308);
  EXPECT_EQ(read_ok("9007199254740993").as_uint(), 9007199254740993u);
  EXPECT_EQ(read_ok("1.7976931348623157e308").as_float(), 1.7976931348623157e308);
}

// Found by fuzzing: RapidJSON's own full-precision conversion read out of
// bounds on long literals like these.
TEST(Reader, LongNumberLiteralsAreReadSafely) {
  EXPECT_EQ(read_ok("0." + std::string(466, '0')), Value(0.0));
  EXPECT_EQ(read_ok("[1." + std::string(1000, '0') + "1e-5]"), Value(Array{Value(1e-5)}));
  EXPECT_EQ(read_ok("0." + std::string(400, '0') + "1e400"), Value(0.1));
}

// RapidJSON refuses some literals as too big before we see them: a zero with a
// large exponent, an integer part of more than 308 digits. Their values fit.
TEST(Reader, LiteralsWhoseValueFitsAreReadWhateverTheirDigits) {
  const std::string zeros(400, '0');
  struct Case {
    std::string text;
    double value;
  };
  const Case cases[] = {
      {"0e309", 0.0},
      {"0.000e400", 0.0},
      {"-0E999", -0.0},
      {"0E+99999999999999999999", 0.0},
      {"0." + zeros + "e99999", 0.0},
      {"1" + zeros + "e-300", 1e100},
      {"-1" + zeros + ".5e-400", -1.0},
      {"1" + zeros + "." + zeros + "1E-310", 1e90},
  };
  for (const Case& c : cases) {
    const Value v = read_ok(c.text);
    ASSERT_TRUE(v.is_float()) << c.text;
    EXPECT_EQ(v.as_float(), c.value) << c.text;
    EXPECT_EQ(std::signbit(v.as_float()), std::signbit(c.value)) << c.text;
  }
  // Inside documents, beside literals that are refused or read normally.
  const Value expected = Object::from_members(
      {{"a", Value("\"0e999\\")}, {"b", Value(Array{Value(0.0), Value(1e3), Value(-0.0)})}});
  EXPECT_EQ(read_ok(R"({"b":[0e309,1e3,-0e400],"a":"\"0e999\\"})"), expected);
}

// Rereading past such literals must not move or change any later error.
TEST(Reader, ErrorsAfterFittingLiteralsKeepTheirPlace) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"[0e400, 1e400]", "number out of range at line 1 column 9"},
      {"[0e400,\n x]", "expected value at line 2 column 2"},
      {"[0e400] 0e400", "trailing characters at line 1 column 9"},
      {"[\"\u00e9\", 0E999 0]", "expected `,` or `]` at line 1 column 13"},
      {"[0e400, \"\\ud800\"]", "lone surrogate in hex escape at line 1 column 10"},
      {"[0e400, \"0e400", "EOF while parsing a string at line 1 column 15"},
      {"{\"0e400\": 0e400, \"x\" 0e400}", "expected `:` at line 1 column 22"},
      {"[0e400, 1" + std::string(400, '0') + "]", "number out of range at line 1 column 9"},
      {std::string("[0e400,\0 0]", 11), "expected value at line 1 column 8"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_error(c.text), c.message) << c.text;
}

TEST(Reader, ObjectsAreSortedWithLastDuplicateWinning) {
  Value v = read_ok(R"({"b":1,"a":2,"b":3})");
  const Object& object = v.as_object();
  ASSERT_EQ(object.size(), 2u);
  EXPECT_EQ(object.members()[0].key, "a");
  EXPECT_EQ(*object.find("b"), Value(3));
}

TEST(Reader, EscapedSurrogatePairsBecomeOneCharacter) {
  EXPECT_EQ(read_ok(R"(["\ud83d\ude00", "\u00e9"])"),
            Value(Array{Value("\xf0\x9f\x98\x80"), Value("\xc3\xa9")}));
}

TEST(Reader, StringsMayHoldEscapedNul) {
  Value v = read_ok(R"(["a\u0000b"])");
  EXPECT_EQ(v.as_array()[0].as_string(), std::string("a\0b", 3));
}

TEST(Reader, NestingUpToTheLimitIsAccepted) {
  const std::string ok = std::string(kMaxReadDepth, '[') + std::string(kMaxReadDepth, ']');
  EXPECT_TRUE(read(ok).ok());
  const std::string deep =
      std::string(kMaxReadDepth + 1, '[') + std::string(kMaxReadDepth + 1, ']');
  EXPECT_EQ(read_error(deep), "recursion limit exceeded at line 1 column 129");
}

TEST(Reader, HugeNestingFailsFast) {
  const std::string brackets(10 * 1024 * 1024, '[');
  EXPECT_EQ(read_error(brackets), "recursion limit exceeded at line 1 column 129");
}

TEST(Reader, ErrorMessagesNameProblemAndPosition) {
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"", "EOF while parsing a value at line 1 column 1"},
      {"   ", "EOF while parsing a value at line 1 column 4"},
      {"{} x", "trailing characters at line 1 column 4"},
      {"[1,", "EOF while parsing a value at line 1 column 4"},
      {"[1", "EOF while parsing a list at line 1 column 3"},
      {"{\"a\":1", "EOF while parsing an object at line 1 column 7"},
      {"{\"a\"", "EOF while parsing an object at line 1 column 5"},
      {"\"abc", "EOF while parsing a string at line 1 column 5"},
      {"{1:2}", "key must be a string at line 1 column 2"},
      {"{\"a\" 1}", "expected `:` at line 1 column 6"},
      {"{\"a\":1 2}", "expected `,` or `}` at line 1 column 8"},
      {"[1 2]", "expected `,` or `]` at line 1 column 4"},
      {"nul", "EOF while parsing a value at line 1 column 4"},
      {"[nul]", "expected value at line 1 column 5"},
      {"[1.]", "invalid number at line 1 column 4"},
      {"[1e]", "invalid number at line 1 column 4"},
      {"1e400", "number out of range at line 1 column 1"},
      {R"(["\x"])", "invalid escape at line 1 column 3"},
      {R"(["\ud800"])", "lone surrogate in hex escape at line 1 column 3"},
      {R"(["\udc00"])", "lone surrogate in hex escape at line 1 column 10"},
      {R"({"a\udfffb":1})", "lone surrogate in hex escape at line 1 column 12"},
      {"[\"a\x01\"]",
       "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 4"},
      {"[\"\xff\"]", "invalid UTF-8 at line 1 column 3"},
      {"[\"\xed\xa0\x80\"]", "invalid UTF-8 at line 1 column 3"},
      {"{\n  \"a\": tru\n}", "expected value at line 2 column 11"},
      {"[\"\xc3\xa9\xc3\xa9\", x]", "expected value at line 1 column 8"},
  };
  for (const Case& c : cases) EXPECT_EQ(read_error(c.text), c.message) << c.text;
}

TEST(Reader, NulBytesAreCharactersNotTheEnd) {
  EXPECT_EQ(read_error(std::string("{}\0{}", 5)), "trailing characters at line 1 column 3");
  EXPECT_EQ(read_error(std::string("{} \0", 4)), "trailing characters at line 1 column 4");
  EXPECT_EQ(read_error(std::string("[\"a\0\"]", 6)),
            "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 4");
  EXPECT_EQ(read_error(std::string("[1,\0]", 5)), "expected value at line 1 column 4");
  EXPECT_EQ(read_error(std::string("\0", 1)), "expected value at line 1 column 1");
}

TEST(Reader, ManyKeysAndDuplicatesStayLinearithmic) {
  std::string text = "{";
  for (int i = 0; i < 100000; ++i) {
    if (i > 0) text += ",";
    text += "\"k" + std::to_string(100000 - i) + "\":" + std::to_string(i);
  }
  for (int i = 0; i < 100000; ++i) text += ",\"dup\":" + std::to_string(i);
  text += "}";
  Value v = read_ok(text);
  EXPECT_EQ(v.as_object().size(), 100001u);
  EXPECT_EQ(*v.as_object().find("dup"), Value(99999));
}

// Each byte value alone inside a string: printable ASCII is itself, control
// characters and bytes that start no complete UTF-8 sequence are refused at
// the byte, and the two that end or escape the quote do so.
TEST(Reader, EveryByteValueInsideAString) {
  for (int byte = 0; byte < 256; ++byte) {
    const std::string text = std::string("[\"") + static_cast<char>(byte) + "\"]";
    auto result = read(text);
    std::string expected;
    if (byte < 0x20) {
      expected =
          "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3";
    } else if (byte == '"') {
      expected = "expected `,` or `]` at line 1 column 4";
    } else if (byte == '\\') {
      expected = "EOF while parsing a string at line 1 column 6";
    } else if (byte >= 0x80) {
      expected = "invalid UTF-8 at line 1 column 3";
    }
    if (expected.empty()) {
      ASSERT_TRUE(result.ok()) << byte;
      EXPECT_EQ(result.value(), Value(Array{Value(std::string(1, static_cast<char>(byte)))}));
    } else {
      ASSERT_FALSE(result.ok()) << byte;
      EXPECT_EQ(result.error().message, expected) << byte;
    }
  }
}

TEST(Reader, InvalidUtf8IsRefusedInKeysValuesAndBetweenTokens) {
  // A lone continuation byte, overlong forms, an encoded surrogate, past
  // U+10FFFF, a five-byte form, and sequences cut short.
  const std::string sequences[] = {
      "\x80",         "\xc0\x80",     "\xc1\xbf",     "\xe0\x80\x80",         "\xed\xbf\xbf",
      "\xf4\x90\x80\x80", "\xe2\x82", "\xf0\x9f\x98", "\xf8\x88\x80\x80\x80",
  };
  for (const std::string& bad : sequences) {
    EXPECT_EQ(read_error("[\"ok" + bad + "\"]"), "invalid UTF-8 at line 1 column 5") << bad;
    EXPECT_EQ(read_error("{\"" + bad + "\":1}"), "invalid UTF-8 at line 1 column 3") << bad;
    EXPECT_EQ(read_error("[1," + bad + "]"), "expected value at line 1 column 4") << bad;
  }
}

}  // namespace
}  // namespace vorn::json
