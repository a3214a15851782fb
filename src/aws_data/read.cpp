#include "read.hpp"

#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>

#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "base/utf8.hpp"

namespace vorn::aws {

namespace {

// Builds values bottom-up on two stacks shared by every open container, one
// of pending members and one of pending elements, so each container is
// allocated once, at its exact size, when it closes.
class Builder {
 public:
  explicit Builder(bool has_unicode_escapes) : has_unicode_escapes_(has_unicode_escapes) {}

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
    return add(Value::string(std::string_view(s, length)));
  }
  // A member's key waits on the stack for its value.
  bool Key(const char* s, rapidjson::SizeType length, bool) {
    if (!valid_text(s, length)) return false;
    members_.push_back(Member{std::string(s, length), Value()});
    return true;
  }
  bool StartObject() { return enter(true); }
  bool StartArray() { return enter(false); }
  bool EndObject(rapidjson::SizeType) {
    const std::size_t first = open_.back().first;
    open_.pop_back();
    Value object = ValueBuilderAccess::object(std::span(members_).subspan(first));
    members_.resize(first);
    return add(std::move(object));
  }
  bool EndArray(rapidjson::SizeType) {
    const std::size_t first = open_.back().first;
    open_.pop_back();
    Value array = ValueBuilderAccess::array(std::span(items_).subspan(first));
    items_.resize(first);
    return add(std::move(array));
  }

  const char* refusal() const { return refusal_; }
  bool refused_bracket() const { return refused_bracket_; }
  Value take_root() { return std::move(root_); }

 private:
  struct Open {
    bool is_object;
    std::size_t first;  // where its members (or elements) start on their stack
  };

  bool add(Value v) {
    if (open_.empty()) {
      root_ = std::move(v);
    } else if (open_.back().is_object) {
      members_.back().value = std::move(v);  // the member its Key opened
    } else {
      items_.push_back(std::move(v));
    }
    return true;
  }
  bool enter(bool is_object) {
    if (open_.size() >= kMaxReadDepth) {
      refusal_ = "nesting too deep";
      refused_bracket_ = true;
      return false;
    }
    open_.push_back(Open{is_object, is_object ? members_.size() : items_.size()});
    return true;
  }
  // RapidJSON pairs surrogate escapes but lets a lone low one ("\udc00")
  // through as bytes that are not UTF-8; such bytes start with 0xED. Only a
  // text with a \u escape somewhere can hold one.
  bool valid_text(const char* s, std::size_t length) {
    if (!has_unicode_escapes_ || std::memchr(s, 0xED, length) == nullptr ||
        is_valid_utf8(std::string_view(s, length))) {
      return true;
    }
    refusal_ = "lone surrogate in a \\u escape";
    return false;
  }

  bool has_unicode_escapes_;
  std::vector<Open> open_;
  std::vector<Member> members_;
  std::vector<Value> items_;
  Value root_;
  const char* refusal_ = nullptr;
  bool refused_bracket_ = false;
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
  // Recursive parsing is the faster kind; the builder stops it at
  // kMaxReadDepth levels, so its stack stays small.
  constexpr unsigned kFlags = rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseInsituFlag;
  // The reader unescapes strings in place in a private copy, so a string is
  // copied once (into its Value); with SSE2 it scans 16 bytes at a time, in
  // aligned blocks, which the zero padding keeps inside the copy. A NUL byte
  // of the text ends the reading there, as it would the copy's own end, and
  // is told apart below by where reading stopped.
  constexpr std::size_t kPadding = 16;
  std::string copy;
  copy.reserve(text.size() + kPadding);
  copy.append(text);
  copy.append(kPadding, '\0');
  rapidjson::InsituStringStream stream(copy.data());
  Builder builder(text.find("\\u") != std::string_view::npos);
  rapidjson::Reader reader;
  // Checking the encoding of the whole text in one pass (eight ASCII bytes at
  // a time) is far cheaper than the reader's check of every character; only
  // a text that fails it is read with that check, to say where it fails.
  const rapidjson::ParseResult result =
      is_valid_utf8(text)
          ? reader.Parse<kFlags>(stream, builder)
          : reader.Parse<kFlags | rapidjson::kParseValidateEncodingFlag>(stream, builder);
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
    const bool refused = result.Code() == rapidjson::kParseErrorTermination && builder.refusal();
    // The reader has taken the bracket it was refused at; the fault is the bracket.
    const std::size_t offset =
        refused && builder.refused_bracket() ? result.Offset() - 1 : result.Offset();
    return fail(error_at(text, offset, refused ? builder.refusal() : problem_text(result.Code())));
  }
  if (stream.Tell() != text.size()) return fail(error_at(text, stream.Tell(), "NUL byte"));
  return builder.take_root();
}

}  // namespace vorn::aws
