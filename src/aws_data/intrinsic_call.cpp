#include "intrinsic_call.hpp"

#include <array>
#include <cmath>
#include <cstdint>

namespace vorn::aws {

namespace {

constexpr std::size_t kAny = SIZE_MAX;

struct FunctionInfo {
  IntrinsicFunction function;
  std::string_view name;
  IntrinsicArity arity;
  // What a call of it gives, when that is fixed; nullopt when it depends on the data.
  std::optional<Kind> result;
};

constexpr std::array<FunctionInfo, kIntrinsicFunctionCount> kFunctions = {{
    {IntrinsicFunction::kFormat, "States.Format", {1, kAny}, Kind::kString},
    {IntrinsicFunction::kStringToJson, "States.StringToJson", {1, 1}, std::nullopt},
    {IntrinsicFunction::kJsonToString, "States.JsonToString", {1, 1}, Kind::kString},
    {IntrinsicFunction::kArray, "States.Array", {0, kAny}, Kind::kArray},
    {IntrinsicFunction::kArrayPartition, "States.ArrayPartition", {2, 2}, Kind::kArray},
    {IntrinsicFunction::kArrayContains, "States.ArrayContains", {2, 2}, Kind::kBool},
    {IntrinsicFunction::kArrayRange, "States.ArrayRange", {3, 3}, Kind::kArray},
    {IntrinsicFunction::kArrayGetItem, "States.ArrayGetItem", {2, 2}, std::nullopt},
    {IntrinsicFunction::kArrayLength, "States.ArrayLength", {1, 1}, Kind::kNumber},
    {IntrinsicFunction::kArrayUnique, "States.ArrayUnique", {1, 1}, Kind::kArray},
    {IntrinsicFunction::kBase64Encode, "States.Base64Encode", {1, 1}, Kind::kString},
    {IntrinsicFunction::kBase64Decode, "States.Base64Decode", {1, 1}, Kind::kString},
    {IntrinsicFunction::kHash, "States.Hash", {2, 2}, Kind::kString},
    {IntrinsicFunction::kJsonMerge, "States.JsonMerge", {3, 3}, Kind::kObject},
    {IntrinsicFunction::kMathRandom, "States.MathRandom", {2, 3}, Kind::kNumber},
    {IntrinsicFunction::kMathAdd, "States.MathAdd", {2, 2}, Kind::kNumber},
    {IntrinsicFunction::kStringSplit, "States.StringSplit", {2, 2}, Kind::kArray},
    {IntrinsicFunction::kUUID, "States.UUID", {0, 0}, Kind::kString},
}};

constexpr bool table_in_enum_order() {
  for (std::size_t i = 0; i < kFunctions.size(); ++i) {
    if (static_cast<std::size_t>(kFunctions[i].function) != i) return false;
  }
  return true;
}
static_assert(table_in_enum_order(), "kFunctions is indexed by IntrinsicFunction");

const FunctionInfo& info(IntrinsicFunction function) {
  return kFunctions[static_cast<std::size_t>(function)];
}

bool is_name_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// What may follow '$' outside brackets in a path argument: member names of
// letters, digits and '_' (others need bracket notation), dots, wildcards.
bool is_plain_path_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || is_digit(c) || c == '_' || c == '.' ||
         c == '*' || c == '$' || c == '[' || c == ']';
}

std::string plural(std::size_t n, std::string_view word) {
  return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

std::string arity_text(IntrinsicArity arity) {
  if (arity.max == kAny) return "at least " + plural(arity.min, "argument");
  if (arity.min == arity.max) return plural(arity.min, "argument");
  return std::to_string(arity.min) + " or " + plural(arity.max, "argument");
}

// A quoted literal as read: its text with escapes resolved and, for a
// States.Format template, that text cut at the placeholders.
struct QuotedText {
  std::string text;
  std::vector<std::string> pieces;
};

// A recursive-descent reader over the call text. Every fault goes through
// fault() so the messages read alike; recursion is bounded by the call count.
class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  Result<IntrinsicCall, IntrinsicParseError> whole_call() {
    VORN_TRY_ASSIGN(IntrinsicCall call, next_call());
    if (!at_end()) return fault("unexpected text after the call");
    return call;
  }

 private:
  char peek(std::size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }
  bool at_end() const { return pos_ >= text_.size(); }
  void skip_spaces() {
    while (!at_end() && peek() == ' ') ++pos_;
  }
  Failure<IntrinsicParseError> fault(std::string message) const { return fault_at(pos_, message); }
  static Failure<IntrinsicParseError> fault_at(std::size_t position, std::string message) {
    return fail(IntrinsicParseError{std::move(message), position});
  }

  Result<IntrinsicCall, IntrinsicParseError> next_call() {
    IntrinsicCall call;
    call.position = pos_;
    while (is_name_char(peek())) ++pos_;
    const std::string_view name = text_.substr(call.position, pos_ - call.position);
    if (name.empty()) return fault("expected a function name");
    if (peek() != '(') return fault("expected '(' after the function name");
    const auto function = intrinsic_function_named(name);
    if (!function) {
      return fault_at(call.position, "unknown intrinsic function '" + std::string(name) + "'");
    }
    if (++calls_ > kMaxIntrinsicCalls) {
      return fault_at(call.position, "more than 10 intrinsic calls in one field");
    }
    call.function = *function;
    ++pos_;  // '('
    skip_spaces();
    if (peek() == ')') {
      ++pos_;
    } else {
      for (;;) {
        const bool format_template =
            call.function == IntrinsicFunction::kFormat && call.arguments.empty();
        VORN_TRY_ASSIGN(IntrinsicArgument argument, next_argument(format_template, call));
        call.arguments.push_back(std::move(argument));
        skip_spaces();
        if (peek() == ',') {
          ++pos_;
          skip_spaces();
          continue;
        }
        if (peek() == ')') {
          ++pos_;
          break;
        }
        return at_end() ? fault("missing ')'") : fault("expected ',' or ')'");
      }
    }
    VORN_TRY(check_arguments(call));
    return call;
  }

  Result<IntrinsicArgument, IntrinsicParseError> next_argument(bool format_template,
                                                               IntrinsicCall& call) {
    IntrinsicArgument argument;
    argument.position = pos_;
    const char c = peek();
    if (c == '\'') {
      VORN_TRY_ASSIGN(QuotedText quoted, quoted_text(format_template));
      argument.literal = Value::string(std::move(quoted.text));
      if (format_template) call.format = FormatTemplate{std::move(quoted.pieces)};
      return argument;
    }
    if (c == '$') {
      argument.kind = IntrinsicArgument::Kind::kPath;
      VORN_TRY_ASSIGN(argument.path, path());
      return argument;
    }
    std::size_t end = pos_;
    while (end < text_.size() && is_name_char(text_[end])) ++end;
    const std::string_view word = text_.substr(pos_, end - pos_);
    if (end < text_.size() && text_[end] == '(') {
      argument.kind = IntrinsicArgument::Kind::kCall;
      VORN_TRY_ASSIGN(IntrinsicCall nested, next_call());
      argument.call = std::make_shared<const IntrinsicCall>(std::move(nested));
      return argument;
    }
    if (c == '-' || is_digit(c)) return number(std::move(argument));
    for (const auto& [text, value] : {std::pair{std::string_view("true"), Value::boolean(true)},
                                      std::pair{std::string_view("false"), Value::boolean(false)},
                                      std::pair{std::string_view("null"), Value()}}) {
      if (word == text) {
        pos_ = end;
        argument.literal = value;
        return argument;
      }
    }
    if (at_end()) return fault("expected an argument");
    return fault(
        "expected an argument: a string in single quotes, a number, true, false, null, a path or "
        "a call");
  }

  // '...' with the escapes \' \{ \} \\ and nothing else. In a States.Format
  // template an unescaped "{}" is a placeholder and a lone brace is refused.
  Result<QuotedText, IntrinsicParseError> quoted_text(bool format_template) {
    const std::size_t start = pos_++;
    QuotedText out;
    for (;;) {
      if (at_end()) return fault_at(start, "unterminated string literal");
      const char c = peek();
      if (c == '\'') {
        ++pos_;
        break;
      }
      if (c == '\\') {
        const char next = peek(1);
        if (pos_ + 1 >= text_.size()) return fault_at(start, "unterminated string literal");
        if (next != '\'' && next != '{' && next != '}' && next != '\\') {
          const bool printable = next > ' ' && next < 0x7f;
          return fault(std::string("invalid escape") +
                       (printable ? std::string(" '\\") + next + "'" : std::string()) +
                       " in a string literal; only \\', \\{, \\} and \\\\ are allowed");
        }
        out.text += next;
        pos_ += 2;
        continue;
      }
      if (format_template && c == '{') {
        if (peek(1) != '}') {
          return fault("a lone '{' in the States.Format template; write \\{ for a brace");
        }
        out.pieces.push_back(std::move(out.text));
        out.text.clear();
        pos_ += 2;
        continue;
      }
      if (format_template && c == '}') {
        return fault("a lone '}' in the States.Format template; write \\} for a brace");
      }
      out.text += c;
      ++pos_;
    }
    if (format_template) {
      out.pieces.push_back(out.text);
      // The literal's own text keeps the placeholders, for messages.
      std::string joined;
      for (std::size_t i = 0; i < out.pieces.size(); ++i) {
        if (i > 0) joined += "{}";
        joined += out.pieces[i];
      }
      out.text = std::move(joined);
    }
    return out;
  }

  // A path runs to the first ',', ')' or space outside brackets and quotes.
  Result<JsonPath, IntrinsicParseError> path() {
    const std::size_t start = pos_;
    std::size_t depth = 0;
    while (!at_end()) {
      const char c = peek();
      if (depth == 0) {
        if (c == ',' || c == ')' || c == ' ') break;
        if (!is_plain_path_char(c)) {
          return fault(
              "a member name in a path argument may hold only letters, digits and '_'; write "
              "other names in brackets, e.g. $['my-name']");
        }
      }
      if (c == '[') {
        ++depth;
      } else if (c == ']' && depth > 0) {
        --depth;
      } else if (depth > 0 && (c == '\'' || c == '"')) {
        const std::size_t close = text_.find(c, pos_ + 1);
        if (close == std::string_view::npos) return fault("unterminated quoted name in the path");
        pos_ = close;
      }
      ++pos_;
    }
    if (depth > 0) return fault_at(start, "unterminated '[' in the path");
    auto parsed = JsonPath::parse(text_.substr(start, pos_ - start));
    if (!parsed.ok()) {
      return fault_at(start + parsed.error().position, "invalid path: " + parsed.error().message);
    }
    return std::move(parsed).value();
  }

  Result<IntrinsicArgument, IntrinsicParseError> number(IntrinsicArgument argument) {
    std::size_t end = pos_;
    while (end < text_.size() && (is_digit(text_[end]) || text_[end] == '-' ||
                                  text_[end] == '+' || text_[end] == '.' || text_[end] == 'e' ||
                                  text_[end] == 'E')) {
      ++end;
    }
    const std::string_view text = text_.substr(pos_, end - pos_);
    auto value = Value::number_from_text(text);
    if (!value.ok()) return fault("invalid number '" + std::string(text) + "'");
    argument.literal = std::move(value).value();
    pos_ = end;
    return argument;
  }

  // The argument counts, then every literal (or nested call) that can never
  // suit its place, whatever the data.
  Result<void, IntrinsicParseError> check_arguments(const IntrinsicCall& call) const {
    const FunctionInfo& f = info(call.function);
    const auto& args = call.arguments;
    if (args.size() < f.arity.min || args.size() > f.arity.max) {
      return fault_at(call.position, std::string(f.name) + " takes " + arity_text(f.arity) +
                                         ", got " + std::to_string(args.size()));
    }
    switch (call.function) {
      case IntrinsicFunction::kFormat:
        VORN_TRY(expect(call, 0, Kind::kString));
        if (call.format && args.size() - 1 != call.format->placeholders()) {
          return fault_at(call.position,
                          "the States.Format template has " +
                              plural(call.format->placeholders(), "placeholder") + " but is given " +
                              plural(args.size() - 1, "value"));
        }
        return {};
      case IntrinsicFunction::kStringToJson:
        return expect(call, 0, Kind::kString);
      case IntrinsicFunction::kArrayPartition:
        VORN_TRY(expect(call, 0, Kind::kArray));
        VORN_TRY(expect(call, 1, Kind::kNumber));
        if (const Value* n = literal_number(args[1]); n && n->number_value() < 0.5) {
          return fault_at(args[1].position, "the chunk size of States.ArrayPartition must be at least 1");
        }
        return {};
      case IntrinsicFunction::kArrayContains:
      case IntrinsicFunction::kArrayLength:
      case IntrinsicFunction::kArrayUnique:
        return expect(call, 0, Kind::kArray);
      case IntrinsicFunction::kArrayRange:
        return check_range(call);
      case IntrinsicFunction::kArrayGetItem:
        VORN_TRY(expect(call, 0, Kind::kArray));
        VORN_TRY(expect(call, 1, Kind::kNumber));
        if (const Value* i = literal_number(args[1]); i && i->number_value() <= -1) {
          return fault_at(args[1].position, "the index of States.ArrayGetItem must not be negative");
        }
        return {};
      case IntrinsicFunction::kBase64Encode:
      case IntrinsicFunction::kBase64Decode:
        VORN_TRY(expect(call, 0, Kind::kString));
        return check_length(call, 0);
      case IntrinsicFunction::kHash:
        VORN_TRY(check_length(call, 0));
        VORN_TRY(expect(call, 1, Kind::kString));
        if (args[1].kind == IntrinsicArgument::Kind::kLiteral) {
          const std::string_view algorithm = args[1].literal.as_string();
          for (const std::string_view known : kHashAlgorithms) {
            if (algorithm == known) return {};
          }
          return fault_at(args[1].position,
                          "unknown hash algorithm '" + std::string(algorithm) +
                              "'; States.Hash takes MD5, SHA-1, SHA-256, SHA-384 or SHA-512");
        }
        return {};
      case IntrinsicFunction::kJsonMerge:
        VORN_TRY(expect(call, 0, Kind::kObject));
        VORN_TRY(expect(call, 1, Kind::kObject));
        VORN_TRY(expect(call, 2, Kind::kBool));
        if (args[2].kind == IntrinsicArgument::Kind::kLiteral && args[2].literal.as_bool()) {
          return fault_at(args[2].position,
                          "States.JsonMerge merges only shallowly: its third argument must be false");
        }
        return {};
      case IntrinsicFunction::kMathRandom:
        for (std::size_t i = 0; i < args.size(); ++i) VORN_TRY(expect(call, i, Kind::kNumber));
        if (const Value *a = literal_number(args[0]), *b = literal_number(args[1]);
            a && b && a->number_value() >= b->number_value()) {
          return fault_at(args[0].position,
                          "the start of States.MathRandom must be less than its end");
        }
        return {};
      case IntrinsicFunction::kMathAdd:
        for (std::size_t i = 0; i < 2; ++i) {
          VORN_TRY(expect(call, i, Kind::kNumber));
          if (const Value* n = literal_number(args[i])) {
            const double rounded = std::floor(n->number_value() + 0.5);
            if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
              return fault_at(args[i].position,
                              "States.MathAdd takes numbers from -2147483648 to 2147483647");
            }
          }
        }
        return {};
      case IntrinsicFunction::kStringSplit:
        VORN_TRY(expect(call, 0, Kind::kString));
        return expect(call, 1, Kind::kString);
      case IntrinsicFunction::kJsonToString:
      case IntrinsicFunction::kArray:
      case IntrinsicFunction::kUUID:
        return {};
    }
    return {};
  }

  // What an argument is before any data is seen, when that is fixed.
  static std::optional<Kind> known_kind(const IntrinsicArgument& argument) {
    switch (argument.kind) {
      case IntrinsicArgument::Kind::kLiteral: return argument.literal.kind();
      case IntrinsicArgument::Kind::kCall: return info(argument.call->function).result;
      case IntrinsicArgument::Kind::kPath: return std::nullopt;
    }
    return std::nullopt;
  }

  static const Value* literal_number(const IntrinsicArgument& argument) {
    return argument.kind == IntrinsicArgument::Kind::kLiteral && argument.literal.is_number()
               ? &argument.literal
               : nullptr;
  }

  static Result<void, IntrinsicParseError> expect(const IntrinsicCall& call, std::size_t index,
                                                  Kind wanted) {
    const IntrinsicArgument& argument = call.arguments[index];
    const auto kind = known_kind(argument);
    if (!kind || *kind == wanted) return {};
    std::string message = wrong_argument_kind_message(call.function, index, wanted, *kind);
    if (argument.kind == IntrinsicArgument::Kind::kCall) {
      message += " from " + std::string(info(argument.call->function).name);
    }
    return fault_at(argument.position, std::move(message));
  }

  static Result<void, IntrinsicParseError> check_length(const IntrinsicCall& call,
                                                        std::size_t index) {
    const IntrinsicArgument& argument = call.arguments[index];
    if (argument.kind == IntrinsicArgument::Kind::kLiteral && argument.literal.is_string() &&
        code_point_count(argument.literal.as_string()) > kMaxIntrinsicStringLength) {
      return fault_at(argument.position, std::string(info(call.function).name) +
                                             " takes strings of at most 10000 characters");
    }
    return {};
  }

  static Result<void, IntrinsicParseError> check_range(const IntrinsicCall& call) {
    for (std::size_t i = 0; i < 3; ++i) VORN_TRY(expect(call, i, Kind::kNumber));
    const Value* from = literal_number(call.arguments[0]);
    const Value* to = literal_number(call.arguments[1]);
    const Value* step = literal_number(call.arguments[2]);
    if (step && std::fabs(step->number_value()) < 0.5) {
      return fault_at(call.arguments[2].position, "the step of States.ArrayRange must not be 0");
    }
    if (from && to && step && from->is_integral() && to->is_integral() && step->is_integral()) {
      const double span = (to->number_value() - from->number_value()) / step->number_value();
      if (span >= 0 && std::floor(span) + 1 > static_cast<double>(kMaxArrayRangeLength)) {
        return fault_at(call.position, "States.ArrayRange would give more than 1000 elements");
      }
    }
    return {};
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t calls_ = 0;
};

}  // namespace

std::string_view intrinsic_function_name(IntrinsicFunction function) {
  return info(function).name;
}

std::optional<IntrinsicFunction> intrinsic_function_named(std::string_view name) {
  for (const FunctionInfo& f : kFunctions) {
    if (f.name == name) return f.function;
  }
  return std::nullopt;
}

IntrinsicArity intrinsic_arity(IntrinsicFunction function) { return info(function).arity; }

std::string to_string(const IntrinsicParseError& error) {
  return error.message + " at position " + std::to_string(error.position);
}

Result<IntrinsicCall, IntrinsicParseError> parse_intrinsic_call(std::string_view text) {
  return Parser(text).whole_call();
}

bool looks_like_intrinsic_call(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_name_char(text[i])) ++i;
  return i > 0 && i < text.size() && text[i] == '(';
}

std::string wrong_argument_kind_message(IntrinsicFunction function, std::size_t index, Kind wanted,
                                        Kind got) {
  const auto article = [](Kind kind) {
    return std::string(kind == Kind::kArray || kind == Kind::kObject ? "an " : "a ") +
           std::string(kind_name(kind));
  };
  return "argument " + std::to_string(index + 1) + " of " + std::string(info(function).name) +
         " must be " + article(wanted) + ", not " + article(got);
}

std::size_t code_point_count(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

bool call_reads_context(const IntrinsicCall& call) {
  for (const IntrinsicArgument& argument : call.arguments) {
    if (argument.kind == IntrinsicArgument::Kind::kPath && argument.path.is_context()) return true;
    if (argument.kind == IntrinsicArgument::Kind::kCall && call_reads_context(*argument.call)) {
      return true;
    }
  }
  return false;
}

std::size_t count_calls(const IntrinsicCall& call) {
  std::size_t count = 1;
  for (const IntrinsicArgument& argument : call.arguments) {
    if (argument.kind == IntrinsicArgument::Kind::kCall) count += count_calls(*argument.call);
  }
  return count;
}

}  // namespace vorn::aws
