// NodeList<T>: the list type held by tree nodes.
//
// A vector in one pointer whose storage comes from NodeArena like the nodes
// themselves, so a parse's lists live in its arena and a tree list is released
// the same way as a node block. The 32-bit size and capacity live in a header
// at the start of the block; a list that never allocated is a null pointer.
// Move-only: nothing copies a tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "core/parser/node_arena.h"

namespace vaxo_core::parser {

template <typename T>
class NodeList {
 public:
  using value_type = T;
  using size_type = std::size_t;
  using reference = T&;
  using const_reference = const T&;
  using iterator = T*;
  using const_iterator = const T*;

  static constexpr std::size_t kMaxSize = 0xffffffffu;

  NodeList() noexcept = default;
  NodeList(std::initializer_list<T> init) {
    reserve(init.size());
    for (const T& e : init) push_back(e);
  }
  NodeList(NodeList&& other) noexcept : data_(std::exchange(other.data_, nullptr)) {}
  NodeList& operator=(NodeList&& other) noexcept {
    if (this != &other) {
      release();
      data_ = std::exchange(other.data_, nullptr);
    }
    return *this;
  }
  NodeList(const NodeList&) = delete;
  NodeList& operator=(const NodeList&) = delete;
  // A list that never allocated, or was moved from, has nothing to free.
  ~NodeList() {
    if (data_ != nullptr) release();
  }

  std::size_t size() const { return data_ == nullptr ? 0 : header()->size; }
  std::size_t capacity() const { return data_ == nullptr ? 0 : header()->capacity; }
  bool empty() const { return size() == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T* begin() { return data_; }
  T* end() { return data_ + size(); }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size(); }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T& front() { return data_[0]; }
  const T& front() const { return data_[0]; }
  // Only on a non-empty list, so the header is there.
  T& back() { return data_[header()->size - 1]; }
  const T& back() const { return data_[header()->size - 1]; }

  void reserve(std::size_t wanted) {
    if (wanted <= capacity()) return;
    // A list made at its exact count starts empty: nothing to move.
    if (data_ == nullptr && wanted <= kMaxSize) {
      void* fresh_block = NodeArena::allocate(block_bytes(wanted));
      ::new (fresh_block) Header{0, static_cast<std::uint32_t>(wanted)};
      data_ = reinterpret_cast<T*>(static_cast<char*>(fresh_block) + kHeaderBytes);
      return;
    }
    reallocate(wanted);
  }

  void push_back(const T& value) { emplace_back(value); }
  void push_back(T&& value) { emplace_back(std::move(value)); }

  template <typename... Args>
  T& emplace_back(Args&&... args) {
    if (data_ == nullptr || header()->size == header()->capacity) [[unlikely]] {
      // The argument may live in this list: build it before moving the rest.
      T made(std::forward<Args>(args)...);
      reallocate(grown());
      Header* h = header();
      T* slot = ::new (static_cast<void*>(data_ + h->size)) T(std::move(made));
      ++h->size;
      return *slot;
    }
    Header* h = header();
    T* slot = ::new (static_cast<void*>(data_ + h->size)) T(std::forward<Args>(args)...);
    ++h->size;
    return *slot;
  }

  // Moves `count` elements from `first` to the end of the list, which has
  // room for them, destroying each source right after its move: `first`
  // then holds no objects.
  void take_back(T* first, std::size_t count) {
    static_assert(std::is_nothrow_move_constructible_v<T>);
    if (count == 0) return;
    Header* h = header();
    T* to = data_ + h->size;
    for (std::size_t i = 0; i < count; ++i) {
      ::new (static_cast<void*>(to + i)) T(std::move(first[i]));
      first[i].~T();
    }
    h->size += static_cast<std::uint32_t>(count);
  }

  void pop_back() {
    Header* h = header();
    --h->size;
    data_[h->size].~T();
  }

  void clear() {
    if (data_ == nullptr) return;
    destroy(data_, header()->size);
    header()->size = 0;
  }

 private:
  // In front of the elements, in the same arena block: an empty list is a
  // null pointer and a tree node pays one word per list.
  struct Header {
    std::uint32_t size;
    std::uint32_t capacity;
  };
  // A whole number of kAlign grains, so the elements stay as aligned as the block.
  static constexpr std::size_t kHeaderBytes =
      (sizeof(Header) + NodeArena::kAlign - 1) / NodeArena::kAlign * NodeArena::kAlign;
  static_assert(alignof(Header) <= NodeArena::kAlign);

  static constexpr std::size_t block_bytes(std::size_t capacity) { return kHeaderBytes + capacity * sizeof(T); }

  Header* header() const {
    return std::launder(reinterpret_cast<Header*>(reinterpret_cast<char*>(data_) - kHeaderBytes));
  }
  void* block() const { return reinterpret_cast<char*>(data_) - kHeaderBytes; }

  std::uint32_t grown() const {
    const std::size_t have = capacity();
    if (have == kMaxSize) [[unlikely]] throw std::length_error("NodeList: too many elements");
    const std::size_t doubled = have == 0 ? 1 : have * 2;
    return static_cast<std::uint32_t>(doubled < kMaxSize ? doubled : kMaxSize);
  }

  void reallocate(std::size_t capacity) {
    static_assert(alignof(T) <= NodeArena::kAlign);
    if (capacity > kMaxSize) [[unlikely]] throw std::length_error("NodeList: too many elements");
    const std::uint32_t count = static_cast<std::uint32_t>(size());
    void* fresh_block = NodeArena::allocate(block_bytes(capacity));
    ::new (fresh_block) Header{count, static_cast<std::uint32_t>(capacity)};
    T* fresh = reinterpret_cast<T*>(static_cast<char*>(fresh_block) + kHeaderBytes);
    if constexpr (std::is_trivially_copyable_v<T>) {
      if (count != 0) std::memcpy(fresh, data_, count * sizeof(T));
    } else {
      static_assert(std::is_nothrow_move_constructible_v<T>);
      for (std::uint32_t i = 0; i < count; ++i) {
        ::new (static_cast<void*>(fresh + i)) T(std::move(data_[i]));
        data_[i].~T();
      }
    }
    if (data_ != nullptr) NodeArena::deallocate(block(), block_bytes(header()->capacity));
    data_ = fresh;
  }

  static void destroy(T* first, std::size_t count) {
    if constexpr (!std::is_trivially_destructible_v<T>) {
      for (std::size_t i = 0; i < count; ++i) first[i].~T();
    }
  }

  void release() {
    if (data_ == nullptr) return;
    destroy(data_, header()->size);
    NodeArena::deallocate(block(), block_bytes(header()->capacity));
    data_ = nullptr;
  }

  T* data_ = nullptr;  // the first element; the header sits just before it
};

static_assert(sizeof(NodeList<int>) == sizeof(void*));

// A heap buffer where a list's elements gather before the list is made at
// their count: doubles when full, moving what it holds, so appending stays
// amortised constant whatever the count.
template <typename T>
class GrowingBuffer {
 public:
  GrowingBuffer() = default;
  ~GrowingBuffer() { release(); }
  GrowingBuffer(const GrowingBuffer&) = delete;
  GrowingBuffer& operator=(const GrowingBuffer&) = delete;

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  T& back() { return data_[size_ - 1]; }

  template <typename... Args>
  [[gnu::always_inline]] T& emplace_back(Args&&... args) {
    if (size_ == capacity_) [[unlikely]] {
      // The arguments may live in this buffer: build before moving the rest.
      T made(std::forward<Args>(args)...);
      grow();
      T* slot = ::new (static_cast<void*>(data_ + size_)) T(std::move(made));
      ++size_;
      return *slot;
    }
    T* slot = ::new (static_cast<void*>(data_ + size_)) T(std::forward<Args>(args)...);
    ++size_;
    return *slot;
  }
  void push_back(T&& value) { emplace_back(std::move(value)); }
  void pop_back() { data_[--size_].~T(); }
  // Destroys the elements from `size` on.
  void truncate(std::size_t size) {
    while (size_ > size) pop_back();
  }
  void clear() { truncate(0); }
  // Moves the elements from `from` on to the end of `list`, which has room
  // for them, and drops them here.
  void move_into(NodeList<T>& list, std::size_t from = 0) {
    list.take_back(data_ + from, size_ - from);
    size_ = from;
  }
  // Empty, and its memory given back.
  void release() {
    truncate(0);
    ::operator delete(data_);
    data_ = nullptr;
    capacity_ = 0;
  }

 private:
  [[gnu::noinline]] void grow() {
    static_assert(std::is_nothrow_move_constructible_v<T>);
    const std::size_t more = capacity_ == 0 ? kFirst : capacity_ * 2;
    T* fresh = static_cast<T*>(::operator new(more * sizeof(T)));
    for (std::size_t i = 0; i < size_; ++i) {
      ::new (static_cast<void*>(fresh + i)) T(std::move(data_[i]));
      data_[i].~T();
    }
    ::operator delete(data_);
    data_ = fresh;
    capacity_ = more;
  }

  static constexpr std::size_t kFirst = 16;
  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace vaxo_core::parser
