// Any bytes as JSON text: a tree or one message, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "json/reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto result = vorn::json::read(text);
  if (!result.ok() && result.error().message.empty()) __builtin_trap();
  return 0;
}
