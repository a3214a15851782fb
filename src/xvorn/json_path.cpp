#include "json_path.hpp"

#include <limits>

#include "base/overloaded.hpp"
#include "quoting.hpp"

namespace xvorn {

namespace {

using vorn::fail;
using vorn::json::Value;

constexpr char32_t kReplacementCharacter = 0xfffd;

bool is_ascii_letter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_ascii_digit(unsigned char c) {
  return c >= '0' && c <= '9';
}
bool starts_field_name(unsigned char c) {
  return is_ascii_letter(c) || c == '_';
}
bool continues_field_name(unsigned char c) {
  return is_ascii_letter(c) || is_ascii_digit(c) || c == '_' || c == '-';
}

// The character whose encoding starts at `at`; U+FFFD for a byte that does
// not start a complete, shortest-form UTF-8 sequence of a scalar value.
char32_t character_at(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return lead;
  std::size_t length = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2, c = lead & 0x1f, minimum = 0x80;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3, c = lead & 0x0f, minimum = 0x800;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4, c = lead & 0x07, minimum = 0x10000;
  } else {
    return kReplacementCharacter;
  }
  if (text.size() - at < length) return kReplacementCharacter;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xc0) != 0x80) return kReplacementCharacter;
    c = (c << 6) | (next & 0x3f);
  }
  if (c < minimum || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) return kReplacementCharacter;
  return c;
}

JsonPathError error_at(std::size_t position, JsonPathErrorKind kind) {
  return JsonPathError{position, kind};
}

JsonPathError unexpected_at(std::string_view text, std::size_t position) {
  return JsonPathError{position, JsonPathErrorKind::UnexpectedCharacter,
                       character_at(text, position)};
}

// Parses the steps from `i` on. Offsets stay below text.size() wherever a
// byte is read.
class StepParser {
 public:
  StepParser(std::string_view text, std::vector<Segment>& segments)
      : text_(text), n_(text.size()), segments_(segments) {}

  vorn::Result<void, JsonPathError> run(std::size_t i) {
    while (i < n_) {
      const auto byte = at(i);
      if (byte != '.' && byte != '[') return fail(unexpected_at(text_, i));
      VORN_TRY_ASSIGN(i, byte == '.' ? field_step(i) : bracket_step(i));
    }
    return {};
  }

 private:
  unsigned char at(std::size_t i) const { return static_cast<unsigned char>(text_[i]); }

  // `.name`, at the dot.
  vorn::Result<std::size_t, JsonPathError> field_step(std::size_t i) {
    const std::size_t a = i + 1;
    if (a == n_ || !starts_field_name(at(a))) {
      return fail(error_at(a, JsonPathErrorKind::EmptyFieldName));
    }
    std::size_t end = a + 1;
    while (end < n_ && continues_field_name(at(end))) ++end;
    segments_.push_back(Field{std::string(text_.substr(a, end - a))});
    return end;
  }

  // `[...]`, at the opening bracket.
  vorn::Result<std::size_t, JsonPathError> bracket_step(std::size_t i) {
    const std::size_t a = i + 1;
    if (a == n_) return fail(error_at(i, JsonPathErrorKind::UnterminatedBracket));
    const auto c = at(a);
    if (c == '\'' || c == '"') return quoted_step(a);
    if (is_ascii_digit(c)) return index_step(a);
    if (c == ']') return fail(error_at(i, JsonPathErrorKind::EmptyBracketExpression));
    return fail(unexpected_at(text_, a));
  }

  // `'name']` or `"name"]`, at the opening quote. Names have no escapes.
  vorn::Result<std::size_t, JsonPathError> quoted_step(std::size_t a) {
    const std::size_t q = a + 1 < n_ ? text_.find(text_[a], a + 1) : std::string_view::npos;
    if (q == std::string_view::npos) {
      return fail(error_at(a, JsonPathErrorKind::UnterminatedString));
    }
    segments_.push_back(Field{std::string(text_.substr(a + 1, q - a - 1))});
    if (q + 1 < n_ && at(q + 1) == ']') return q + 2;
    return fail(error_at(q + 1 < n_ ? q + 1 : q, JsonPathErrorKind::UnterminatedBracket));
  }

  // `digits]`, at the first digit.
  vorn::Result<std::size_t, JsonPathError> index_step(std::size_t a) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t index = 0;
    std::size_t b = a;
    for (; b < n_ && is_ascii_digit(at(b)); ++b) {
      const std::uint64_t digit = at(b) - '0';
      if (index > (kMax - digit) / 10) return fail(error_at(a, JsonPathErrorKind::InvalidIndex));
      index = index * 10 + digit;
    }
    segments_.push_back(Index{index});
    if (b < n_ && at(b) == ']') return b + 1;
    return fail(error_at(b < n_ ? b : n_ - 1, JsonPathErrorKind::UnterminatedBracket));
  }

  std::string_view text_;
  std::size_t n_;
  std::vector<Segment>& segments_;
};

const char* kind_name(JsonPathErrorKind kind) {
  switch (kind) {
    case JsonPathErrorKind::EmptyExpression:
      return "EmptyExpression";
    case JsonPathErrorKind::MissingRoot:
      return "MissingRoot";
    case JsonPathErrorKind::UnexpectedCharacter:
      return "UnexpectedCharacter";
    case JsonPathErrorKind::UnterminatedBracket:
      return "UnterminatedBracket";
    case JsonPathErrorKind::UnterminatedString:
      return "UnterminatedString";
    case JsonPathErrorKind::EmptyBracketExpression:
      return "EmptyBracketExpression";
    case JsonPathErrorKind::InvalidIndex:
      return "InvalidIndex";
    case JsonPathErrorKind::EmptyFieldName:
      return "EmptyFieldName";
  }
  return "";
}

}  // namespace

vorn::Result<JsonPath, JsonPathError> JsonPath::parse(std::string_view expression) {
  if (expression.empty()) return fail(error_at(0, JsonPathErrorKind::EmptyExpression));
  if (expression[0] != '$') return fail(error_at(0, JsonPathErrorKind::MissingRoot));
  const bool context = expression.size() > 1 && expression[1] == '$';
  std::vector<Segment> segments;
  VORN_TRY(StepParser(expression, segments).run(context ? 2 : 1));
  return JsonPath(context ? PathRoot::Context : PathRoot::Input, std::move(segments));
}

const Value* resolve_segments(std::span<const Segment> segments, const Value& value) {
  const Value* current = &value;
  for (const Segment& segment : segments) {
    if (const auto* field = std::get_if<Field>(&segment)) {
      if (!current->is_object()) return nullptr;
      current = current->as_object().find(field->name);
      if (current == nullptr) return nullptr;
    } else {
      const std::uint64_t index = std::get<Index>(segment).index;
      if (!current->is_array() || index >= current->as_array().size()) return nullptr;
      current = &current->as_array()[index];
    }
  }
  return current;
}

std::string to_string(const JsonPathError& error) {
  std::string out = "JsonPathError { position: ";
  out += std::to_string(error.position);
  out += ", kind: ";
  out += kind_name(error.kind);
  if (error.kind == JsonPathErrorKind::UnexpectedCharacter) {
    out += '(';
    append_quoted_char(out, error.character);
    out += ')';
  }
  out += " }";
  return out;
}

std::string to_string(const JsonPath& path) {
  std::string out = "JsonPath { root: ";
  out += path.root() == PathRoot::Input ? "Input" : "Context";
  out += ", segments: [";
  bool first = true;
  for (const Segment& segment : path.segments()) {
    if (!first) out += ", ";
    first = false;
    std::visit(vorn::Overloaded{
                   [&](const Field& field) {
                     out += "Field(";
                     append_quoted(out, field.name);
                     out += ')';
                   },
                   [&](const Index& index) {
                     out += "Index(";
                     out += std::to_string(index.index);
                     out += ')';
                   },
               },
               segment);
  }
  out += "] }";
  return out;
}

}  // namespace xvorn
