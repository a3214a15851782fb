// Any bytes as JSON text read as a template: a template that evaluates
// against its own text's value, or one error, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "json/reader.hpp"
#include "xvorn/json_template.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto value = vorn::json::read(text);
  if (!value.ok()) return 0;
  auto parsed = xvorn::JsonTemplate::parse(*value);
  if (!parsed.ok()) {
    if (xvorn::to_string(parsed.error()).empty()) __builtin_trap();
    return 0;
  }
  const auto result = parsed->evaluate(*value);
  if (result && !result->is_object()) __builtin_trap();
  return 0;
}
