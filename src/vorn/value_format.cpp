#include "value_format.hpp"

namespace vorn {

std::size_t encoded_data_size(Bytes bytes) {
  if (bytes.empty()) return 0;
  switch (static_cast<Tag>(bytes[0])) {
    case Tag::Object:
    case Tag::Array:
    case Tag::String:
      if (bytes.size() < kContainerHeaderSize) return 0;
      return kContainerHeaderSize + read_u16(bytes.data() + 1);
    case Tag::Integer:
    case Tag::Float:
      return 9;
    case Tag::Boolean:
      return 2;
    case Tag::Null:
      return 1;
  }
  return 0;
}

}  // namespace vorn
