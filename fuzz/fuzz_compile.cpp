// Any bytes as a definition: parse, validate, and for what is accepted lower
// and generate, the way the extension does (validation's encodings handed to
// lowering, the source measured and then written in place). Each stage either
// succeeds or reports one error, and every width the source can be written
// in holds the same text.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vorn_build/codegen.hpp"
#include "vorn_build/lower.hpp"
#include "vorn_build/parser.hpp"
#include "vorn_build/validator.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto ast = vorn::build::parse(text);
  if (!ast.ok()) {
    (void)vorn::build::to_string(ast.error());
    return 0;
  }
  vorn::build::EncodedStaticData encoded;
  auto valid = vorn::build::validate(*ast, encoded);
  if (!valid.ok()) {
    (void)vorn::build::to_string(valid.error());
    return 0;
  }
  const vorn::build::LoweredStateMachine machine = vorn::build::lower(*ast, std::move(encoded));
  if (!(machine == vorn::build::lower(*ast))) __builtin_trap();
  const std::string source = vorn::build::generate(machine);
  if (source.empty()) __builtin_trap();

  // Text read from JSON is UTF-8, so the source can be written as code points.
  const vorn::build::SourceExtent extent = vorn::build::measure_source(machine);
  if (!extent.valid_utf8 || extent.utf8_bytes != source.size()) __builtin_trap();
  std::vector<std::uint32_t> units(extent.code_points);
  if (!vorn::build::write_source(machine, std::span<std::uint32_t>(units))) __builtin_trap();
  std::size_t at = 0;
  for (const std::uint32_t unit : units) {
    // Re-encode each unit and compare with the UTF-8 text.
    char bytes[4];
    std::size_t length = 1;
    if (unit < 0x80) {
      bytes[0] = static_cast<char>(unit);
    } else if (unit < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (unit >> 6));
      bytes[1] = static_cast<char>(0x80 | (unit & 0x3F));
      length = 2;
    } else if (unit < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (unit >> 12));
      bytes[1] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (unit & 0x3F));
      length = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (unit >> 18));
      bytes[1] = static_cast<char>(0x80 | ((unit >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (unit & 0x3F));
      length = 4;
    }
    if (source.compare(at, length, bytes, length) != 0) __builtin_trap();
    at += length;
  }
  if (at != source.size()) __builtin_trap();
  return 0;
}
