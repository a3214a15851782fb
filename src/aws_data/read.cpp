#include "read.hpp"

#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>

#include <cstring>
#include <vector>

#include "base/utf8.hpp"
#include "json/bounded_stream.hpp"

namespace vorn::aws {

namespace {

// Builds values bottom-up on one stack of open containers, so reading is
// iterative however deep the text nests (depth is bounded anyway).
class Builder {
 public:
  bool Null() { return add(Value()); }
  bool Bool(bool b) { return add(Value::boolean(b)); }
  // Numbers arrive as their literal text (kParseNumbersAsStringsFlag).
  bool Int(int) { return false; }
  bool Uint(unsigned) { return false; }
  bool Int64(std::int64_t) { return false; }
  bool Uint64(std::uint64_t) { return false; }
  bool Double(double) { return false; }
  bool RawNumber(const char* s, rapidjson::SizeType length, bool) {
    return add(ValueBuilderAccess::number(std::string_view(s, length)));
  }
  bool String(const char* s, rapidjson::SizeType length, bool) {
    if (!valid_text(s, length)) return false;
    return add(Value::string(std::string(s, length)));
  }
  bool Key(const char* s, rapidjson::SizeType length, bool) {
    if (!valid_text(s, length)) return false;
    open_.back().key.assign(s, length);
    return true;
  }
  bool StartObject() { return enter(true); }
  bool StartArray() { return enter(false); }
  bool EndObject(rapidjson::SizeType) {
    Open done = std::move(open_.back());
    open_.pop_back();
    return add(Value::object(std::move(done.members)));
  }
  bool EndArray(rapidjson::SizeType) {
    Open done = std::move(open_.back());
    open_.pop_back();
    return add(Value::array(std::move(done.items)));
  }

  const char* refusal() const { return refusal_; }
  Value take_root() { return std::move(root_); }

 private:
  struct Open {
    bool is_object;
    std::string key;
    std::vector<Value> items;
    std::vector<Member> members;
  };

  bool add(Value v) {
    if (open_.empty()) {
      root_ = std::move(v);
    } else if (open_.back().is_object) {
      open_.back().members.push_back(Member{std::move(open_.back().key), std::move(v)});
    } else {
      open_.back().items.push_back(std::move(v));
    }
    return true;
  }
  bool enter(bool is_object) {
    if (open_.size() >= kMaxReadDepth) {
      refusal_ = "nesting too deep";
      return false;
    }
    open_.push_back(Open{is_object, {}, {}, {}});
    return true;
  }
  // RapidJSON pairs surrogate escapes but lets a lone low one ("\udc00")
  // through as bytes that are not UTF-8; such bytes start with 0xED.
  bool valid_text(const char* s, std::size_t length) {
    if (std::memchr(s, 0xED, length) == nullptr || is_valid_utf8(std::string_view(s, length))) {
      return true;
    }
    refusal_ = "lone surrogate in a \\u escape";
    return false;
  }

  std::vector<Open> open_;
  Value root_;
  const char* refusal_ = nullptr;
};

const char* problem_text(rapidjson::ParseErrorCode code) {
  using namespace rapidjson;
  switch (code) {
    case kParseErrorDocumentEmpty: return "empty text";
    case kParseErrorDocumentRootNotSingular: return "text after the value";
    case kParseErrorValueInvalid: return "unexpected character";
    case kParseErrorObjectMissName: return "expected a member name";
    case kParseErrorObjectMissColon: return "expected ':'";
    case kParseErrorObjectMissCommaOrCurlyBracket: return "expected ',' or '}'";
    case kParseErrorArrayMissCommaOrSquareBracket: return "expected ',' or ']'";
    case kParseErrorStringUnicodeEscapeInvalidHex: return "bad \\u escape";
    case kParseErrorStringUnicodeSurrogateInvalid: return "lone surrogate in a \\u escape";
    case kParseErrorStringEscapeInvalid: return "bad escape";
    case kParseErrorStringMissQuotationMark: return "unterminated string";
    case kParseErrorStringInvalidEncoding: return "invalid UTF-8";
    case kParseErrorNumberTooBig: return "number too big";
    case kParseErrorNumberMissFraction: return "expected digits after '.'";
    case kParseErrorNumberMissExponent: return "expected digits in the exponent";
    default: return "malformed JSON";
  }
}

ReadError error_at(std::string_view text, std::size_t offset, std::string problem) {
  ReadError e{std::move(problem), 1, 1, offset};
  if (offset > text.size()) offset = text.size();
  for (std::size_t i = 0; i < offset; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      ++e.line;
      e.column = 1;
    } else if ((c & 0xC0) != 0x80) {  // continuation bytes belong to the character
      ++e.column;
    }
  }
  return e;
}

}  // namespace

std::string to_string(const ReadError& error) {
  return error.problem + " at line " + std::to_string(error.line) + " column " +
         std::to_string(error.column);
}

Result<Value, ReadError> read_json(std::string_view text) {
  constexpr unsigned kFlags = rapidjson::kParseIterativeFlag |
                              rapidjson::kParseNumbersAsStringsFlag |
                              rapidjson::kParseValidateEncodingFlag;
  json::BoundedStream stream(text);
  Builder builder;
  rapidjson::Reader reader;
  const rapidjson::ParseResult result = reader.Parse<kFlags>(stream, builder);
  if (result.IsError()) {
    // A fault at the stream's fake end before the real one is a NUL byte.
    if (result.Offset() < text.size() && text[result.Offset()] == '\0') {
      return fail(error_at(text, result.Offset(), "NUL byte"));
    }
    // RapidJSON files a raw control character under a bad escape or bad encoding.
    const auto at = static_cast<unsigned char>(
        result.Offset() < text.size() ? text[result.Offset()] : '\x20');
    if (at < 0x20 && (result.Code() == rapidjson::kParseErrorStringEscapeInvalid ||
                      result.Code() == rapidjson::kParseErrorStringInvalidEncoding)) {
      return fail(error_at(text, result.Offset(), "raw control character in a string"));
    }
    const char* problem = result.Code() == rapidjson::kParseErrorTermination && builder.refusal()
                              ? builder.refusal()
                              : problem_text(result.Code());
    return fail(error_at(text, result.Offset(), problem));
  }
  if (stream.Tell() != text.size()) return fail(error_at(text, stream.Tell(), "NUL byte"));
  return builder.take_root();
}

}  // namespace vorn::aws
