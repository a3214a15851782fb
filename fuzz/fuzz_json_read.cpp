// Any bytes as JSON text: a tree or one message, never a crash. A tree keeps
// the reader's promises (nesting within the limit, valid UTF-8 text, finite
// floats, negative Int, object keys unique and in byte order); a message
// ends with a position inside the text. And the fast reader (simdjson) and
// the exact one (RapidJSON) keep their contract on it
// (tests/cpp/json/reader_agreement.hpp): the fast one accepts only what the
// exact one accepts, with the same tree, and read() and read_document()
// answer exactly as the exact reader does.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "base/key_order.hpp"
#include "base/utf8.hpp"
#include "json/reader.hpp"
#include "reader_agreement.hpp"
#include "fuzz_input.hpp"

namespace {

using vorn::json::Value;

using vorn_fuzz::check;

void check_tree(const Value& value, std::size_t depth) {
  switch (value.kind()) {
    case Value::Kind::Int:
      check(value.as_int() < 0);
      break;
    case Value::Kind::Float:
      check(std::isfinite(value.as_float()));
      break;
    case Value::Kind::String:
      check(vorn::is_valid_utf8(value.as_string()));
      break;
    case Value::Kind::Array:
      check(depth < vorn::json::kMaxReadDepth);
      for (const Value& element : value.as_array()) check_tree(element, depth + 1);
      break;
    case Value::Kind::Object: {
      check(depth < vorn::json::kMaxReadDepth);
      const auto& members = value.as_object().members();
      for (std::size_t i = 0; i < members.size(); ++i) {
        check(vorn::is_valid_utf8(members[i].key));
        if (i > 0) check(vorn::key_less(members[i - 1].key, members[i].key));
        check_tree(members[i].value, depth + 1);
      }
      break;
    }
    default:
      break;
  }
}

std::size_t number_before(std::string_view text, std::string_view label) {
  const std::size_t at = text.rfind(label);
  check(at != std::string_view::npos);
  std::size_t number = 0;
  const char* first = text.data() + at + label.size();
  const auto [end, error] = std::from_chars(first, text.data() + text.size(), number);
  check(error == std::errc() && number >= 1);
  return number;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto broken = vorn::json::agreement::check(text)) {
    std::fprintf(stderr, "%s\n", broken->c_str());
    __builtin_trap();
  }
  auto result = vorn::json::read(text);
  if (result.ok()) {
    check_tree(result.value(), 0);
    return 0;
  }
  const std::string_view message = result.error().message;
  // "{problem} at line L column C", 1-based, within the text or just past it.
  const std::size_t line = number_before(message, " at line ");
  const std::size_t column = number_before(message, " column ");
  check(line <= size + 1 && column <= size + 1);
  return 0;
}
