// StringPattern: the pattern of a StringMatches test, split once into the
// literal pieces between its '*' wildcards.
//
// A '*' matches any run of characters, the empty one included; every other
// character matches itself, and the whole string must match. "\*" is a
// literal '*' and "\\" a literal backslash; a backslash before anything else,
// or at the end, makes the pattern invalid.
//
// Matching takes time linear in the string and the pattern: the pieces
// between the first and the last are found left to right (the leftmost
// place is always the right one for '*'-only patterns), each with its
// Knuth-Morris-Pratt table built once here, so no string and pattern can make
// a match quadratic.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"

namespace vorn::aws {

class StringPattern {
 public:
  // The pattern written `text` (escapes still in it); an error says what is
  // wrong with it.
  static Result<StringPattern, std::string> parse(std::string_view text);

  bool matches(std::string_view subject) const;

  // The literal pieces, escapes resolved: one more than the wildcards.
  const std::vector<std::string>& pieces() const { return pieces_; }

  friend bool operator==(const StringPattern& a, const StringPattern& b) {
    return a.pieces_ == b.pieces_;
  }

 private:
  std::vector<std::string> pieces_;
  // For each piece, the length of its longest proper prefix that is also a
  // suffix of its first i+1 bytes (the failure function of the search).
  std::vector<std::vector<std::uint32_t>> borders_;
};

}  // namespace vorn::aws
