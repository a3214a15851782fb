#include "payload_size.hpp"

#include <string_view>
#include <vector>

namespace vorn::aws {

namespace {

// Bytes of one string's JSON form: the quotes, each byte as itself or as its
// escape ('"', '\\' and \b \f \n \r \t take two, other control bytes six).
std::size_t quoted_size(std::string_view text) {
  std::size_t size = text.size() + 2;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte == '\\') {
      size += 1;
    } else if (byte < 0x20) {
      const bool short_escape =
          byte == '\b' || byte == '\f' || byte == '\n' || byte == '\r' || byte == '\t';
      size += short_escape ? 1 : 5;
    }
  }
  return size;
}

}  // namespace

std::size_t compact_size_up_to(const Value& value, std::size_t bound) {
  // An explicit stack of containers still to visit keeps any depth safe.
  std::vector<const Value*> pending{&value};
  std::size_t size = 0;
  while (!pending.empty() && size <= bound) {
    const Value* current = pending.back();
    pending.pop_back();
    switch (current->kind()) {
      case Kind::kNull:
        size += 4;
        break;
      case Kind::kBool:
        size += current->as_bool() ? 4 : 5;
        break;
      case Kind::kNumber:
        size += current->number_text().size();
        break;
      case Kind::kString:
        size += quoted_size(current->as_string());
        break;
      case Kind::kArray: {
        const auto items = current->items();
        // Brackets and the commas between items.
        size += 2 + (items.empty() ? 0 : items.size() - 1);
        for (const Value& item : items) pending.push_back(&item);
        break;
      }
      case Kind::kObject: {
        const auto members = current->members();
        // Braces, commas, and per member its quoted key and a colon.
        size += 2 + (members.empty() ? 0 : members.size() - 1);
        for (const Member& member : members) {
          size += quoted_size(member.key) + 1;
          pending.push_back(&member.value);
        }
        break;
      }
    }
  }
  return size;
}

}  // namespace vorn::aws
