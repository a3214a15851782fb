// Any bytes as a JSONPath: a path that renders, resolves and places, or one
// error inside the text, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "json/reader.hpp"
#include "xvorn/json_path.hpp"
#include "xvorn/json_place.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto path = xvorn::JsonPath::parse(text);
  if (!path.ok()) {
    if (path.error().position > size || xvorn::to_string(path.error()).empty()) __builtin_trap();
    return 0;
  }
  if (xvorn::to_string(*path).empty()) __builtin_trap();
  static const auto document =
      vorn::json::read(R"({"a": [1, {"b": [2, 3], "": {}}], "x y": {"q": null}})").value();
  const auto* target = path->resolve(document);
  const auto placed = xvorn::json_place(document, path->segments(), vorn::json::Value(5));
  // The place is reachable whenever the target exists.
  if (target != nullptr && !placed) __builtin_trap();
  return 0;
}
