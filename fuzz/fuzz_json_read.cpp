// Any bytes as JSON text: a tree or one message, never a crash; and the fast
// reader (simdjson) and the exact one (RapidJSON) keep their contract on it
// (tests/cpp/json/reader_agreement.hpp): the fast one accepts only what the
// exact one accepts, with the same tree, and read() and read_document()
// answer exactly as the exact reader does.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "json/reader.hpp"
#include "reader_agreement.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto result = vorn::json::read(text);
  if (!result.ok() && result.error().message.empty()) __builtin_trap();
  if (const auto broken = vorn::json::agreement::check(text)) {
    std::fprintf(stderr, "%s\n", broken->c_str());
    __builtin_trap();
  }
  return 0;
}
