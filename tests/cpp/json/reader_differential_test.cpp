// The fast and the exact JSON reader, compared on the texts where they are
// most likely to part ways, and on a large generated corpus of valid and
// broken texts.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "json/document.hpp"
#include "reader_agreement.hpp"

namespace vorn::json {
namespace {

std::string nested(std::size_t depth, std::string_view open, std::string_view inner,
                   std::string_view close) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i) text += open;
  text += inner;
  for (std::size_t i = 0; i < depth; ++i) text += close;
  return text;
}

TEST(ReaderAgreement, EdgesOfNumbersStringsAndNesting) {
  using namespace std::string_literals;
  const std::string cases[] = {
      "0", "-0", "-0.0", "0e309", "0.000e400", "-0E999", "0e-999", "1e-400", "-1e-400",
      "1e400", "-1e400", "1.7976931348623157e308", "1.7976931348623159e308",
      "4.9e-324", "2.4703282292062327e-324", "2.4703282292062328e-324",
      "2.2250738585072011e-308", "9007199254740993", "0.1", "1E+2", "1e-0",
      "9223372036854775807", "9223372036854775808", "18446744073709551615",
      "18446744073709551616", "-9223372036854775808", "-9223372036854775809",
      "123456789012345678901234567890", "-123456789012345678901234567890",
      "0." + std::string(466, '0'), "1" + std::string(400, '0') + "e-300",
      "0." + std::string(400, '0') + "1e400", "00", "01", "-", "1.", ".5", "1e", "+1",
      R"("\ud800")", R"("\udc00")", R"("\ud800\u0041")", R"("\ud83d\ude00")",
      R"("\uDBFF\uDFFF")", R"("a\u0000b")", R"("\/\b\f\n\r\t\"\\")", R"("\x")",
      "\"\xC0\x80\"", "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"", "\"\xE2\x82\"", "\"\x01\"",
      "\"\x7f\"", "\xEF\xBB\xBF{}", "{}\0"s, "[1,\0]"s, "\0"s, "", " ", "[1,]", "{\"a\":1,}",
      R"({"b":1,"a":2,"b":3})", R"({"a":{"x":1},"a":[2]})", "[] x", "{} {}", "tru", "nul",
      " \t\r\n[ 1 , { \"k\" : null } ]\n", "\x0c[]",
      nested(127, "[", "", "]"), nested(128, "[", "", "]"), nested(129, "[", "", "]"),
      nested(127, "{\"a\":", "1", "}"), nested(128, "{\"a\":", "1", "}"),
      nested(129, "{\"a\":", "1", "}"), nested(64, "[{\"a\":", "[]", "}]"),
      nested(100000, "[", "", "]"),
  };
  for (const std::string& text : cases) {
    const auto broken = agreement::check(text);
    EXPECT_FALSE(broken.has_value()) << *broken << " for " << text.substr(0, 80);
  }
}

TEST(ReaderAgreement, TheExactReaderTakesWhatTheFastOneRefuses) {
  // Beyond 2^64: the exact reader reads a float.
  EXPECT_FALSE(read_fast("18446744073709551616").has_value());
  auto big = read_document("[18446744073709551616]");
  ASSERT_TRUE(big.ok());
  EXPECT_FALSE(big.value().read_fast());
  EXPECT_EQ(big.value().root().elements().at(0).as_float(), 18446744073709551616.0);
  // simdjson counts an object one level deeper than we do.
  const std::string deep = nested(128, "{\"a\":", "1", "}");
  EXPECT_FALSE(read_fast(deep).has_value());
  EXPECT_TRUE(read(deep).ok());
  // Everyday texts take the fast road, duplicate keys included.
  auto plain = read_document(R"({"b":1,"a":2,"b":3})");
  ASSERT_TRUE(plain.ok());
  EXPECT_TRUE(plain.value().read_fast());
  const Members members = plain.value().root().members();
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members.find("b")->as_uint(), 3u);
}

// A text that reaches any corner of either reader: numbers of every form and
// size, strings with every kind of escape and some bytes that are not UTF-8,
// nesting, repeated keys and whitespace; then, for some, a mutation that
// breaks it.
class TextGenerator {
 public:
  explicit TextGenerator(std::uint64_t seed) : rng_(seed) {}

  std::string text() {
    std::string out;
    space(out);
    value(out, 0);
    space(out);
    if (chance(30)) mutate(out);
    return out;
  }

 private:
  bool chance(int percent) { return pick(100) < static_cast<std::size_t>(percent); }
  std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

  void space(std::string& out) {
    static constexpr char kSpace[] = {' ', '\t', '\n', '\r'};
    while (chance(15)) out += kSpace[pick(4)];
  }

  void digits(std::string& out, std::size_t count, bool leading_zero_allowed) {
    for (std::size_t i = 0; i < count; ++i) {
      out += static_cast<char>('0' + (i == 0 && !leading_zero_allowed ? 1 + pick(9) : pick(10)));
    }
  }

  void number(std::string& out) {
    static const char* const kEdges[] = {
        "0", "-0", "9223372036854775807", "9223372036854775808", "18446744073709551615",
        "18446744073709551616", "-9223372036854775808", "-9223372036854775809",
        "4.9e-324", "2.4703282292062327e-324", "1.7976931348623157e308", "2.2250738585072014e-308"};
    if (chance(15)) {
      out += kEdges[pick(std::size(kEdges))];
      return;
    }
    if (chance(30)) out += '-';
    const std::size_t integer_digits = chance(5) ? 300 + pick(40) : 1 + pick(chance(20) ? 25 : 6);
    if (chance(25)) {
      out += '0';
    } else {
      digits(out, integer_digits, false);
    }
    if (chance(40)) {
      out += '.';
      digits(out, chance(5) ? 300 + pick(200) : 1 + pick(20), true);
    }
    if (chance(35)) {
      out += chance(50) ? 'e' : 'E';
      if (chance(50)) out += chance(50) ? '-' : '+';
      out += std::to_string(chance(30) ? pick(1000) : pick(30));
    }
  }

  void string(std::string& out) {
    static const char* const kPieces[] = {
        "a", "Z", " ", "key", "\\\"", "\\\\", "\\/", "\\b", "\\f", "\\n", "\\r", "\\t",
        "\\u0041", "\\u00e9", "\\u20ac", "\\u0000", "\\ud83d\\ude00", "\\uDBFF\\uDFFF",
        "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE2\x80\xAE", "\x7f"};
    static const char* const kBroken[] = {
        "\\ud800", "\\udc00", "\\ud800\\u0041", "\\x", "\\u12", "\xC0\x80", "\xED\xA0\x80",
        "\xFF", "\x80", "\xE2\x82", "\x01", "\x1f", "\n"};
    out += '"';
    const std::size_t count = pick(6);
    for (std::size_t i = 0; i < count; ++i) {
      if (chance(3)) {
        out += kBroken[pick(std::size(kBroken))];
      } else if (chance(2)) {
        out += '\0';
      } else {
        out += kPieces[pick(std::size(kPieces))];
      }
    }
    out += '"';
  }

  void value(std::string& out, std::size_t depth) {
    const std::size_t kind = depth > 6 ? pick(5) : pick(7);
    switch (kind) {
      case 0:
        out += "null";
        return;
      case 1:
        out += chance(50) ? "true" : "false";
        return;
      case 2:
      case 3:
        number(out);
        return;
      case 4:
        string(out);
        return;
      case 5: {
        out += '[';
        const std::size_t count = pick(5);
        for (std::size_t i = 0; i < count; ++i) {
          if (i > 0) out += ',';
          space(out);
          value(out, depth + 1);
          space(out);
        }
        out += ']';
        return;
      }
      default: {
        out += '{';
        const std::size_t count = pick(5);
        static const char* const kKeys[] = {"\"a\"", "\"b\"", "\"ab\"", "\"\"", "\"\\u0061\"",
                                            "\"\xC3\xA9\"", "\"a\\u0000\""};
        for (std::size_t i = 0; i < count; ++i) {
          if (i > 0) out += ',';
          space(out);
          if (chance(90)) {
            out += kKeys[pick(std::size(kKeys))];
          } else {
            string(out);
          }
          space(out);
          out += ':';
          space(out);
          value(out, depth + 1);
        }
        out += '}';
        return;
      }
    }
  }

  void mutate(std::string& out) {
    static constexpr char kBytes[] = {'{', '}', '[', ']', ',', ':', '"', '\\', ' ', '0', '-',
                                      'e', '.', 'x', '\0', '\x80', '\xEF'};
    const std::size_t at = pick(out.size() + 1);
    switch (pick(6)) {
      case 0:
        if (at < out.size()) out.erase(at, 1);
        break;
      case 1:
        out.insert(at, 1, kBytes[pick(std::size(kBytes))]);
        break;
      case 2:
        out.resize(at);
        break;
      case 3:
        out += chance(50) ? " x" : " {}";
        break;
      case 4:
        out = std::string(pick(4) + 125, '[') + out + std::string(pick(4) + 125, ']');
        break;
      default:
        out.insert(0, "\xEF\xBB\xBF");
    }
  }

  std::mt19937_64 rng_;
};

TEST(ReaderAgreement, GeneratedCorpus) {
  TextGenerator generator(20240611);
  constexpr int kTexts = 40000;
  int fast = 0;
  int accepted = 0;
  for (int i = 0; i < kTexts; ++i) {
    const std::string text = generator.text();
    const auto broken = agreement::check(text);
    ASSERT_FALSE(broken.has_value()) << *broken << " for text #" << i << ": " << text;
    fast += read_fast(text).has_value() ? 1 : 0;
    accepted += read_exact(text).ok() ? 1 : 0;
  }
  // The corpus must exercise both roads and both outcomes to mean anything.
  EXPECT_GT(fast, kTexts / 10);
  EXPECT_GT(accepted - fast, kTexts / 100);
  EXPECT_GT(kTexts - accepted, kTexts / 10);
}

}  // namespace
}  // namespace vorn::json
