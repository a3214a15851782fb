#include "vorn/step_error.hpp"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "base/overloaded.hpp"
#include "base/utf8.hpp"

namespace vorn {

namespace {

// Control characters, and the invisible ones that would make a message read
// differently from what it holds: format controls, separators and spaces
// other than the ASCII space.
bool is_printable(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0xAD) return false;
  if (c < 0x0300) return true;
  switch (c) {
    case 0x061C:
    case 0x1680:
    case 0x180E:
    case 0x202F:
    case 0x205F:
    case 0x3000:
    case 0xFEFF:
      return false;
    default:
      break;
  }
  if (c >= 0x2000 && c <= 0x200F) return false;  // spaces, zero-width, marks
  if (c >= 0x2028 && c <= 0x202E) return false;  // separators, embeddings
  if (c >= 0x2060 && c <= 0x206F) return false;  // invisible operators, isolates
  if (c >= 0xFFF9 && c <= 0xFFFB) return false;  // interlinear annotation
  if (c >= 0xE0000 && c <= 0xE007F) return false;  // tags
  return true;
}

void append_code_escape(std::string& out, char32_t c) {
  char escape[16];
  std::snprintf(escape, sizeof escape, "\\u{%x}", static_cast<unsigned>(c));
  out += escape;
}

void append_quoted(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const auto [c, length] = decode_utf8(text.substr(i));
    if (length == 0) {
      // Not UTF-8: shown as the replacement character, escaped so that it
      // stands out from a replacement character that was really there.
      append_code_escape(out, 0xFFFD);
      ++i;
      continue;
    }
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        if (is_printable(c)) {
          out.append(text.substr(i, length));
        } else {
          append_code_escape(out, c);
        }
    }
    i += length;
  }
  out += '"';
}

void append_state_error(std::string& out, const StateError& error) {
  out += "StateError { kind: ";
  out += name(error.kind);
  out += ", message: ";
  append_quoted(out, error.message);
  out += ", side_effects: [";
  for (std::size_t i = 0; i < error.side_effects.size(); ++i) {
    if (i > 0) out += ", ";
    out += "SideEffectTag { effect: ";
    append_quoted(out, error.side_effects[i].effect);
    out += ", metadata: ";
    append_quoted(out, error.side_effects[i].metadata);
    out += " }";
  }
  out += "] }";
}

std::string with_id(std::string_view variant, std::string_view id_type, std::uint16_t id) {
  std::string out(variant);
  out += '(';
  out += id_type;
  out += '(';
  out += std::to_string(id);
  out += "))";
  return out;
}

std::string with_name(std::string_view variant, std::string_view payload) {
  std::string out(variant);
  out += '(';
  out += payload;
  out += ')';
  return out;
}

}  // namespace

std::string to_string(const StepError& error) {
  return std::visit(
      Overloaded{
          [](const StepError::HandlerFailed& e) {
            std::string out = "HandlerFailed(";
            append_state_error(out, e.error);
            out += ')';
            return out;
          },
          [](const StepError::JournalFailure& e) {
            return with_name("JournalFailure", name(e.error));
          },
          [](const StepError::ReplayDivergence&) { return std::string("ReplayDivergence"); },
          [](const StepError::InvalidTransition& e) {
            return with_id("InvalidTransition", "StateId", e.state.value);
          },
          [](const StepError::HandlerNotFound& e) {
            return with_id("HandlerNotFound", "HandlerId", e.handler.value);
          },
          [](const StepError::ContextFailure& e) {
            return with_name("ContextFailure", name(e.error));
          },
          [](const StepError::PathResolutionFailed& e) {
            return with_id("PathResolutionFailed", "StateId", e.state.value);
          },
          [](const StepError::Interrupted&) { return std::string("Interrupted"); },
      },
      error.value);
}

}  // namespace vorn
