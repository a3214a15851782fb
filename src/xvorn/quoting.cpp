#include "quoting.hpp"

#include <cstdint>

namespace xvorn {

namespace {

bool is_control(char32_t c) {
  return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

void append_hex_escape(std::string& out, char32_t c) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\u{";
  int shift = 28;
  while (shift > 0 && ((c >> shift) & 0xf) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) out += kDigits[(c >> shift) & 0xf];
  out += '}';
}

// Appends the escape for `c` and returns true, or returns false when `c`
// (other than `quote`) is written as it is.
bool append_escape(std::string& out, char32_t c, char quote) {
  if (c == static_cast<char32_t>(quote) || c == '\\') {
    out += '\\';
    out += static_cast<char>(c);
    return true;
  }
  switch (c) {
    case '\t':
      out += "\\t";
      return true;
    case '\n':
      out += "\\n";
      return true;
    case '\r':
      out += "\\r";
      return true;
    default:
      break;
  }
  if (!is_control(c)) return false;
  append_hex_escape(out, c);
  return true;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xc0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xe0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  }
}

}  // namespace

void append_quoted(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (!append_escape(out, byte, '"')) out += static_cast<char>(byte);
      continue;
    }
    // The C1 controls are the only escaped characters outside ASCII; they
    // are encoded as C2 80 to C2 9F.
    if (byte == 0xc2 && i + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0x9f) {
        append_hex_escape(out, next);
        ++i;
        continue;
      }
    }
    out += static_cast<char>(byte);
  }
  out += '"';
}

void append_quoted_char(std::string& out, char32_t character) {
  out += '\'';
  if (!append_escape(out, character, '\'')) append_utf8(out, character);
  out += '\'';
}

}  // namespace xvorn
