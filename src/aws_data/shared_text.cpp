#include "shared_text.hpp"

#include <new>
#include <utility>

namespace vorn::aws {

SharedText::SharedText(std::string_view text) {
  if (text.size() <= kInlineCapacity) {
    std::memcpy(storage_, text.data(), text.size());
    storage_[kTag] = static_cast<char>(text.size());
    return;
  }
  void* memory = ::operator new(offsetof(Block, bytes) + text.size());
  Block* b = new (memory) Block{{1}, text.size(), {}};
  std::memcpy(b->bytes, text.data(), text.size());
  set_block(b);
}

SharedText::SharedText(const SharedText& other) {
  std::memcpy(storage_, other.storage_, sizeof storage_);
  if (!is_inline()) block()->references.fetch_add(1, std::memory_order_relaxed);
}

SharedText& SharedText::operator=(const SharedText& other) {
  if (this != &other) *this = SharedText(other);
  return *this;
}

void SharedText::release_block() {
  Block* b = block();
  if (b->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    b->~Block();
    ::operator delete(b);
  }
  storage_[kTag] = 0;
}

}  // namespace vorn::aws
