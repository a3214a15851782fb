#include "value_path.hpp"

#include <charconv>
#include <cstdint>
#include <optional>

namespace vorn::build {

namespace {

std::optional<std::uint16_t> parse_index(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
  std::uint16_t index = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return index;
}

void append_piece(std::string_view piece, LoweredValuePath& out) {
  const std::size_t first_bracket = piece.find('[');
  // Segments are constructed in place: GCC 12 warns falsely about a
  // maybe-uninitialized string when a temporary variant is moved in.
  if (first_bracket == std::string_view::npos) {
    out.segments.emplace_back(std::in_place_type<LoweredField>, LoweredField{std::string(piece)});
    return;
  }
  if (first_bracket > 0) {
    out.segments.emplace_back(std::in_place_type<LoweredField>,
                              LoweredField{std::string(piece.substr(0, first_bracket))});
  }
  std::size_t open = first_bracket;
  while (open != std::string_view::npos) {
    const std::size_t close = piece.find(']', open + 1);
    if (close == std::string_view::npos) return;  // an unclosed '[' ends the piece
    if (const auto index = parse_index(piece.substr(open + 1, close - open - 1))) {
      out.segments.emplace_back(std::in_place_type<LoweredIndex>, LoweredIndex{*index});
    }
    open = piece.find('[', close + 1);
  }
}

}  // namespace

LoweredValuePath parse_value_path(std::string_view path) {
  LoweredValuePath out;
  if (path.size() < 2) return out;         // "$"
  std::string_view rest = path.substr(2);  // after "$."
  while (true) {
    const std::size_t dot = rest.find('.');
    append_piece(rest.substr(0, dot), out);
    if (dot == std::string_view::npos) break;
    rest.remove_prefix(dot + 1);
  }
  return out;
}

}  // namespace vorn::build
