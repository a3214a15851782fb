// The code generator: one lowered machine in, the complete text of one Rust
// source file out. The file declares the machine as static tables of the
// runtime IR types (imported from the `vorn` crate), a public root
// STATE_MACHINE and a function `state_machine` returning it, so a generated
// program needs no parsing at start-up.
//
// The text is a pure function of the input: the same machine always gives
// byte-identical text. Generation never fails.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "vorn_build/lowered.hpp"

namespace vorn::build {

std::string generate(const LoweredStateMachine& machine);

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
