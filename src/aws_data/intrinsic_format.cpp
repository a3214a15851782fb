// States.Format. AWS inserts each value as Java's String.valueOf shows the
// object its JSON reader built: strings raw, numbers and null as their JSON
// text, objects as a Java map ({a=1, b=[]}) and arrays as a Java list ([1, 2]).
#include <string_view>
#include <vector>

#include "aws_data/intrinsic_evaluation.hpp"
#include "aws_data/intrinsic_functions.hpp"

namespace vorn::aws::intrinsics {

namespace {

// Appends `value` as Java shows it; false as soon as `out` passes the limit,
// so a deep or widely shared value is never written out in full.
bool append_java_text(const Value& value, std::string& out) {
  switch (value.kind()) {
    case Kind::kNull:
      out += "null";
      break;
    case Kind::kBool:
      out += value.as_bool() ? "true" : "false";
      break;
    case Kind::kNumber:
      out += value.number_text();
      break;
    case Kind::kString:
      out += value.as_string();
      break;
    case Kind::kArray: {
      out += '[';
      bool first = true;
      for (const Value& item : value.items()) {
        if (!first) out += ", ";
        first = false;
        if (!append_java_text(item, out)) return false;
      }
      out += ']';
      break;
    }
    case Kind::kObject: {
      out += '{';
      bool first = true;
      for (const Member& member : value.members()) {
        if (!first) out += ", ";
        first = false;
        out += member.key;
        out += '=';
        if (!append_java_text(member.value, out)) return false;
      }
      out += '}';
      break;
    }
  }
  return out.size() <= kMaxIntrinsicValueBytes;
}

// A template that came from the data rather than a literal is read the way a
// literal's text is: "{}" is a placeholder and \{, \}, \\ and \' stand for
// the character; anything else, a lone brace included, is kept as it is.
std::vector<std::string> template_pieces(std::string_view text) {
  std::vector<std::string> pieces(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (c == '\\' && (next == '{' || next == '}' || next == '\\' || next == '\'')) {
      pieces.back() += next;
      ++i;
    } else if (c == '{' && next == '}') {
      pieces.emplace_back();
      ++i;
    } else {
      pieces.back() += c;
    }
  }
  return pieces;
}

std::string plural(std::size_t n, std::string_view word) {
  return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

}  // namespace

Outcome format(const Arguments& args) {
  std::vector<std::string> from_data;
  const std::vector<std::string>* pieces = nullptr;
  if (args.call.format) {
    pieces = &args.call.format->pieces;
  } else {
    VORN_TRY_ASSIGN(const Value* text, argument_of_kind(args, 0, Kind::kString));
    from_data = template_pieces(text->as_string());
    pieces = &from_data;
  }
  const std::size_t placeholders = pieces->size() - 1;
  if (placeholders != args.values.size() - 1) {
    return fail("the template has " + plural(placeholders, "placeholder") + " but is given " +
                plural(args.values.size() - 1, "value"));
  }
  std::string out = (*pieces)[0];
  for (std::size_t i = 1; i < pieces->size(); ++i) {
    if (!append_java_text(args[i], out)) break;
    out += (*pieces)[i];
  }
  VORN_TRY(within_value_limit(out.size()));
  return Value::string(out);
}

}  // namespace vorn::aws::intrinsics
