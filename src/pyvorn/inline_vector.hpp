// InlineVector: a vector of trivially copyable elements whose first N live
// inside the object itself, so that the small values the bridges convert on
// every handler call need no heap allocation of their own. Beyond N it moves
// to the heap and grows by doubling, like std::vector.
//
// Elements are copied bytewise and never destroyed; only types for which
// that is right may be stored (pointers, views, plain records). Not copyable:
// a vector is scratch space of one conversion.
#pragma once

#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

namespace pyvorn {

template <class T, std::size_t N>
class InlineVector {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  static_assert(N > 0);

 public:
  InlineVector() = default;
  InlineVector(const InlineVector&) = delete;
  InlineVector& operator=(const InlineVector&) = delete;
  ~InlineVector() {
    if (data_ != inline_data()) ::operator delete(data_);
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T& back() { return data_[size_ - 1]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

  void push_back(const T& value) {
    if (size_ == capacity_) grow();
    new (data_ + size_) T(value);
    ++size_;
  }
  void pop_back() { --size_; }
  // Drops the elements from `size` on; never grows.
  void truncate(std::size_t size) {
    if (size < size_) size_ = size;
  }

 private:
  T* inline_data() { return reinterpret_cast<T*>(inline_); }

  void grow() {
    const std::size_t capacity = capacity_ * 2;
    T* data = static_cast<T*>(::operator new(capacity * sizeof(T)));
    std::memcpy(static_cast<void*>(data), static_cast<const void*>(data_), size_ * sizeof(T));
    if (data_ != inline_data()) ::operator delete(data_);
    data_ = data;
    capacity_ = capacity;
  }

  alignas(T) unsigned char inline_[N * sizeof(T)];
  T* data_ = inline_data();
  std::size_t size_ = 0;
  std::size_t capacity_ = N;
};

}  // namespace pyvorn
