// SharedText: immutable UTF-8 text, cheap to copy.
//
// Texts of up to kInlineCapacity bytes (nearly every number and most strings
// in a definition or payload) live inside the object itself; longer ones in
// one heap block holding a reference count, the length and the bytes, shared
// by every copy. So a text costs at most one allocation, and copying one is a
// small memcpy or a reference-count bump.
//
// Views returned by view() stay valid while this object, or (for a shared
// block) any copy of it, lives.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace vorn::aws {

class SharedText {
 public:
  static constexpr std::size_t kInlineCapacity = 23;

  SharedText() = default;
  explicit SharedText(std::string_view text);
  SharedText(const SharedText& other);
  SharedText(SharedText&& other) noexcept {
    std::memcpy(storage_, other.storage_, sizeof storage_);
    other.storage_[kTag] = 0;  // a shared block is ours now; the other is empty
  }
  SharedText& operator=(const SharedText& other);
  SharedText& operator=(SharedText&& other) noexcept {
    if (this != &other) {
      release();
      std::memcpy(storage_, other.storage_, sizeof storage_);
      other.storage_[kTag] = 0;
    }
    return *this;
  }
  ~SharedText() { release(); }

  std::string_view view() const {
    if (is_inline()) return std::string_view(storage_, storage_[kTag]);
    const Block* b = block();
    return std::string_view(b->bytes, b->size);
  }

 private:
  struct Block {
    std::atomic<std::uint32_t> references;
    std::size_t size;
    char bytes[1];  // `size` bytes in the same allocation
  };
  // The last byte of storage_ is the inline length, or kShared when the
  // first bytes hold a Block pointer instead of text.
  static constexpr std::size_t kTag = kInlineCapacity;
  static constexpr char kShared = static_cast<char>(0xFF);

  bool is_inline() const { return storage_[kTag] != kShared; }
  Block* block() const {
    Block* b;
    std::memcpy(&b, storage_, sizeof b);
    return b;
  }
  void set_block(Block* b) {
    std::memcpy(storage_, &b, sizeof b);
    storage_[kTag] = kShared;
  }
  void release() {
    if (!is_inline()) release_block();
  }
  void release_block();

  alignas(8) char storage_[kInlineCapacity + 1] = {};
};

}  // namespace vorn::aws
