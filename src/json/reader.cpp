#include "reader.hpp"

#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

#include "bounded_stream.hpp"
#include "number_text.hpp"
#include "tree_builder.hpp"
#include "base/utf8.hpp"

namespace vorn::json {

namespace {

// A number literal of the text that RapidJSON is handed as a plain "0"
// padded with blanks (so every later byte keeps its offset); the handler
// converts the literal itself.
struct Substitution {
  std::size_t offset;
  std::string_view literal;
};

// RapidJSON's event handler: feeds a TreeBuilder and counts nesting depth.
class ReaderHandler {
 public:
  // `may_escape_surrogates`: whether the text holds a "\\u" escape at all.
  // `substitutions`, in text order, were made in the text `stream` reads.
  ReaderHandler(bool may_escape_surrogates, const BoundedStream& stream,
                std::span<const Substitution> substitutions)
      : may_escape_surrogates_(may_escape_surrogates),
        stream_(stream),
        substitutions_(substitutions) {}

  bool Null() { return push(json::Null{}); }
  bool Bool(bool b) { return push(b); }
  // Numbers arrive as their text (RapidJSON's own full-precision conversion
  // reads out of bounds on some long literals); number_value() converts them.
  bool Int(int) { return false; }
  bool Uint(unsigned) { return false; }
  bool Int64(std::int64_t) { return false; }
  bool Uint64(std::uint64_t) { return false; }
  bool Double(double) { return false; }
  bool RawNumber(const char* s, rapidjson::SizeType length, bool) {
    std::string_view literal(s, length);
    if (next_substitution_ < substitutions_.size()) literal = original_literal(literal);
    std::optional<Value> number = number_value(literal);
    if (!number) {
      refusal_ = "number out of range";
      return false;
    }
    return push(std::move(*number));
  }
  bool String(const char* s, rapidjson::SizeType length, bool) {
    if (!valid_text(s, length)) return false;
    return push(std::string(s, length));
  }
  bool Key(const char* s, rapidjson::SizeType length, bool) {
    if (!valid_text(s, length)) return false;
    tree_.key(std::string(s, length));
    return true;
  }
  bool StartObject() { return enter(); }
  bool StartArray() { return enter(); }
  bool EndObject(rapidjson::SizeType member_count) {
    --depth_;
    tree_.end_object(member_count);
    return true;
  }
  bool EndArray(rapidjson::SizeType element_count) {
    --depth_;
    tree_.end_array(element_count);
    return true;
  }

  // Why the handler stopped the reader, if it did.
  const char* refusal() const { return refusal_; }
  Value take_root() { return tree_.take_root(); }

 private:
  template <class T>
  bool push(T&& content) {
    tree_.value(std::forward<T>(content));
    return true;
  }
  bool enter() {
    if (++depth_ > kMaxReadDepth) {
      refusal_ = "recursion limit exceeded";
      return false;
    }
    return true;
  }
  // The literal a substituted "0" stands for, found by where it starts: the
  // stream has just read past it.
  std::string_view original_literal(std::string_view read) {
    const std::size_t start = stream_.Tell() - read.size();
    while (next_substitution_ < substitutions_.size() &&
           substitutions_[next_substitution_].offset < start) {
      ++next_substitution_;
    }
    if (next_substitution_ < substitutions_.size() &&
        substitutions_[next_substitution_].offset == start) {
      return substitutions_[next_substitution_++].literal;
    }
    return read;
  }
  // RapidJSON checks raw bytes, and pairs a high surrogate escape with a low
  // one, but lets a lone low surrogate escape ("\udc00") through as bytes that
  // are not UTF-8. Such bytes can only come from an escape and start with
  // 0xED, so only strings holding that byte, in a text with escapes, are
  // checked again.
  bool valid_text(const char* s, std::size_t length) {
    if (!may_escape_surrogates_ || std::memchr(s, 0xED, length) == nullptr ||
        is_valid_utf8(std::string_view(s, length))) {
      return true;
    }
    refusal_ = "lone surrogate in hex escape";
    return false;
  }

  TreeBuilder tree_;
  std::size_t depth_ = 0;
  const char* refusal_ = nullptr;
  bool may_escape_surrogates_;
  const BoundedStream& stream_;
  std::span<const Substitution> substitutions_;
  std::size_t next_substitution_ = 0;
};

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Length of the JSON number literal at the start of `text`, 0 if none:
// -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
std::size_t literal_length(std::string_view text, std::size_t& integer_digits,
                           std::size_t& exponent_digits, bool& negative_exponent) {
  std::size_t i = 0;
  auto digits = [&] {
    const std::size_t first = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    return i - first;
  };
  if (i < text.size() && text[i] == '-') ++i;
  if (i < text.size() && text[i] == '0') {
    ++i;
    integer_digits = 1;
  } else {
    integer_digits = digits();
    if (integer_digits == 0) return 0;
  }
  const std::size_t after_integer = i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (digits() == 0) return after_integer;
  }
  const std::size_t after_fraction = i;
  exponent_digits = 0;
  negative_exponent = false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative_exponent = text[i++] == '-';
    exponent_digits = digits();
    if (exponent_digits == 0) return after_fraction;
  }
  return i;
}

// The literals outside strings that RapidJSON may refuse as too big although
// their value fits binary64: it refuses an integer part of more than 308
// digits, and a positive exponent above 308 less the fraction digits, before
// looking at the digits' value ("0e400" is zero, "1<400 zeros>e-300" is 1e100).
// Literals whose value is out of range stay, for RapidJSON to refuse.
std::vector<Substitution> fitting_literals(std::string_view text) {
  std::vector<Substitution> found;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
      continue;
    }
    if (c == '"') {
      in_string = true;
      continue;
    }
    if (c != '-' && !is_digit(c)) continue;
    std::size_t integer_digits = 0, exponent_digits = 0;
    bool negative_exponent = false;
    const std::size_t length =
        literal_length(text.substr(i), integer_digits, exponent_digits, negative_exponent);
    if (length == 0) continue;
    const std::string_view literal = text.substr(i, length);
    const bool may_be_refused =
        integer_digits > 308 || (exponent_digits >= 3 && !negative_exponent);
    if (may_be_refused && number_value(literal)) found.push_back(Substitution{i, literal});
    i += length - 1;
  }
  return found;
}

// The problem text for a reader error at `offset`. Errors that RapidJSON
// reports where the input simply ran out read as "EOF while parsing ...".
std::string problem_text(rapidjson::ParseErrorCode code, std::string_view text,
                         std::size_t offset) {
  const bool at_end = offset >= text.size();
  const bool control_char = !at_end && static_cast<unsigned char>(text[offset]) < 0x20;
  switch (code) {
    case rapidjson::kParseErrorDocumentEmpty:
    case rapidjson::kParseErrorValueInvalid:
      return at_end ? "EOF while parsing a value" : "expected value";
    case rapidjson::kParseErrorDocumentRootNotSingular:
      return "trailing characters";
    case rapidjson::kParseErrorObjectMissName:
      return at_end ? "EOF while parsing an object" : "key must be a string";
    case rapidjson::kParseErrorObjectMissColon:
      return at_end ? "EOF while parsing an object" : "expected `:`";
    case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket:
      return at_end ? "EOF while parsing an object" : "expected `,` or `}`";
    case rapidjson::kParseErrorArrayMissCommaOrSquareBracket:
      return at_end ? "EOF while parsing a list" : "expected `,` or `]`";
    // RapidJSON reports a raw control character inside a string under one of
    // several codes, always at the character itself.
    case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
    case rapidjson::kParseErrorStringEscapeInvalid:
    case rapidjson::kParseErrorStringMissQuotationMark:
    case rapidjson::kParseErrorStringInvalidEncoding:
      if (at_end) return "EOF while parsing a string";
      if (control_char) return "control character (\\u0000-\\u001F) found while parsing a string";
      return code == rapidjson::kParseErrorStringInvalidEncoding ? "invalid UTF-8"
                                                                 : "invalid escape";
    case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
      return "lone surrogate in hex escape";
    case rapidjson::kParseErrorNumberTooBig:
      return "number out of range";
    case rapidjson::kParseErrorNumberMissFraction:
    case rapidjson::kParseErrorNumberMissExponent:
      return at_end ? "EOF while parsing a value" : "invalid number";
    case rapidjson::kParseErrorTermination:
    case rapidjson::kParseErrorUnspecificSyntaxError:
    case rapidjson::kParseErrorNone:
      break;
  }
  return "syntax error";
}

ReadError error_at(std::string problem, std::string_view text, std::size_t offset) {
  if (offset > text.size()) offset = text.size();
  std::size_t line = 1;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  std::size_t column = 1;
  for (std::size_t i = line_start; i < offset; ++i) {
    // Count characters: every byte except UTF-8 continuation bytes.
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++column;
  }
  return ReadError{std::move(problem) + " at line " + std::to_string(line) + " column " +
                   std::to_string(column)};
}

// Reads `text` (the original, which errors refer to) from `reader_text`: the
// same bytes, or a copy with `substitutions` made. `too_big` tells whether
// RapidJSON refused a literal as too big.
Result<Value, ReadError> read_once(std::string_view text, std::string_view reader_text,
                                   std::span<const Substitution> substitutions, bool& too_big) {
  constexpr unsigned kFlags = rapidjson::kParseIterativeFlag |
                              rapidjson::kParseNumbersAsStringsFlag |
                              rapidjson::kParseValidateEncodingFlag;
  BoundedStream stream(reader_text);
  ReaderHandler handler(text.find("\\u") != std::string_view::npos, stream, substitutions);
  rapidjson::Reader reader;
  const rapidjson::ParseResult parsed = reader.Parse<kFlags>(stream, handler);
  too_big = parsed.Code() == rapidjson::kParseErrorNumberTooBig;
  if (parsed.IsError()) {
    if (handler.refusal() != nullptr) {
      // At the bracket that went one level too deep, or just after the string.
      return fail(error_at(handler.refusal(), text, parsed.Offset()));
    }
    return fail(
        error_at(problem_text(parsed.Code(), text, parsed.Offset()), text, parsed.Offset()));
  }
  if (stream.Tell() < text.size()) {
    // The reader took a NUL byte for the end of input; it is a character.
    return fail(error_at("trailing characters", text, stream.Tell()));
  }
  return handler.take_root();
}

}  // namespace

Result<Value, ReadError> read_exact(std::string_view text) {
  if (text.size() > std::numeric_limits<rapidjson::SizeType>::max()) {
    return fail(ReadError{"input too large at line 1 column 1"});
  }
  bool too_big = false;
  auto result = read_once(text, text, {}, too_big);
  if (!too_big) return result;
  // Rare: read once more with every literal RapidJSON may wrongly refuse
  // replaced. The text before the refused literal was valid, so the scan
  // agrees with RapidJSON on where its strings and numbers are.
  const std::vector<Substitution> substitutions = fitting_literals(text);
  if (substitutions.empty()) return result;
  std::string reader_text(text);
  for (const Substitution& s : substitutions) {
    reader_text.replace(s.offset, s.literal.size(), s.literal.size(), ' ');
    reader_text[s.offset] = '0';
  }
  return read_once(text, reader_text, substitutions, too_big);
}

}  // namespace vorn::json
