// The code generator: one lowered machine in, the complete text of one Rust
// source file out. The file declares the machine as static tables of the
// runtime IR types (imported from the `vorn` crate), a public root
// STATE_MACHINE and a function `state_machine` returning it, so a generated
// program needs no parsing at start-up.
//
// The text is a pure function of the input: the same machine always gives
// byte-identical text. Generation never fails.
//
// The text can be measured first and then written straight into a buffer of
// exactly its size, as UTF-8 or as fixed-width code units (Latin-1, UCS-2,
// UCS-4), so a caller that hands the text on (as a Python str) builds it
// once, in place, without growing or copying it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "vorn_build/lowered.hpp"

namespace vorn::build {

std::string generate(const LoweredStateMachine& machine);

// The size of the text generate() returns.
struct SourceExtent {
  std::size_t utf8_bytes;
  std::size_t code_points;  // meaningful only when valid_utf8
  // The largest code point, or 0x7F when the text is all ASCII: the bound a
  // string of code units needs. Meaningful only when valid_utf8.
  char32_t max_char;
  // False when a text of the machine is not UTF-8 (a machine built by hand;
  // one read from JSON text never is). Only the UTF-8 form can be written then.
  bool valid_utf8;
};
SourceExtent measure_source(const LoweredStateMachine& machine);

// Write the text into `out`, which must be exactly as long as measured:
// `utf8_bytes` chars, or `code_points` units with every code point up to
// `max_char` fitting a unit (and valid UTF-8). Returns false, having written
// nothing past `out`, when the text does not fill `out` exactly.
bool write_source(const LoweredStateMachine& machine, std::span<char> out);
bool write_source(const LoweredStateMachine& machine, std::span<std::uint8_t> out);
bool write_source(const LoweredStateMachine& machine, std::span<std::uint16_t> out);
bool write_source(const LoweredStateMachine& machine, std::span<std::uint32_t> out);

// `text` escaped for the inside of a Rust string literal: backslash, double
// quote, LF, CR and TAB are escaped; every other character, other control
// characters included, is copied unchanged (Rust accepts them raw), except
// the bidirectional-text controls U+202A..U+202E and U+2066..U+2069, which
// rustc refuses raw and which are written as \u{202E} and the like.
std::string escape_str(std::string_view text);

// A path's display text, unescaped: "$", then ".name" per field and "[n]" per
// index, e.g. "$.a[0].b".
std::string format_path(std::span<const LoweredPathSegment> segments);

}  // namespace vorn::build
