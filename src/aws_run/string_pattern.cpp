#include "aws_run/string_pattern.hpp"

#include <cstddef>
#include <utility>

namespace vorn::aws {

namespace {

std::vector<std::uint32_t> borders_of(std::string_view piece) {
  std::vector<std::uint32_t> borders(piece.size(), 0);
  std::uint32_t length = 0;
  for (std::size_t i = 1; i < piece.size(); ++i) {
    while (length > 0 && piece[i] != piece[length]) length = borders[length - 1];
    if (piece[i] == piece[length]) ++length;
    borders[i] = length;
  }
  return borders;
}

// Where `piece` first occurs in `text` at or after `from`, or npos.
std::size_t find_piece(std::string_view text, std::size_t from, std::string_view piece,
                       const std::vector<std::uint32_t>& borders) {
  if (piece.empty()) return from;
  std::size_t matched = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    while (matched > 0 && text[i] != piece[matched]) matched = borders[matched - 1];
    if (text[i] == piece[matched]) ++matched;
    if (matched == piece.size()) return i + 1 - piece.size();
  }
  return std::string_view::npos;
}

}  // namespace

Result<StringPattern, std::string> StringPattern::parse(std::string_view text) {
  StringPattern pattern;
  std::string piece;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '*') {
      pattern.pieces_.push_back(std::move(piece));
      piece.clear();
    } else if (c != '\\') {
      piece += c;
    } else if (i + 1 < text.size() && (text[i + 1] == '*' || text[i + 1] == '\\')) {
      piece += text[++i];
    } else {
      return fail("a backslash in a StringMatches pattern may only escape '*' or '\\'");
    }
  }
  pattern.pieces_.push_back(std::move(piece));
  pattern.borders_.reserve(pattern.pieces_.size());
  for (const std::string& each : pattern.pieces_) pattern.borders_.push_back(borders_of(each));
  return pattern;
}

bool StringPattern::matches(std::string_view subject) const {
  if (pieces_.empty()) return subject.empty();  // a pattern never parsed: ""
  const std::string_view first = pieces_.front();
  if (pieces_.size() == 1) return subject == first;
  const std::string_view last = pieces_.back();
  if (subject.size() < first.size() + last.size() || !subject.starts_with(first) ||
      !subject.ends_with(last)) {
    return false;
  }
  // The middle pieces must fit, in order, between the first and the last.
  const std::string_view middle = subject.substr(0, subject.size() - last.size());
  std::size_t position = first.size();
  for (std::size_t i = 1; i + 1 < pieces_.size(); ++i) {
    const std::size_t found = find_piece(middle, position, pieces_[i], borders_[i]);
    if (found == std::string_view::npos) return false;
    position = found + pieces_[i].size();
  }
  return true;
}

}  // namespace vorn::aws
