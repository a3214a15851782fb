// Any bytes as a definition: parse, validate, and for what is accepted lower
// and generate. Each stage either succeeds or reports one error.
#include <cstddef>
#include <cstdint>
#include <string_view>

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
  auto valid = vorn::build::validate(*ast);
  if (!valid.ok()) {
    (void)vorn::build::to_string(valid.error());
    return 0;
  }
  const std::string source = vorn::build::generate(vorn::build::lower(*ast));
  if (source.empty()) __builtin_trap();
  return 0;
}
