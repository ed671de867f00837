// NodeList<T>: the list type held by tree nodes.
//
// A vector in 16 bytes (pointer, 32-bit size and capacity) whose storage comes
// from NodeArena like the nodes themselves, so a parse's lists live in its
// arena and a tree list is released the same way as a node block. Move-only:
// nothing copies a tree.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <ranges>
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
  NodeList(NodeList&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  NodeList& operator=(NodeList&& other) noexcept {
    if (this != &other) {
      release();
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }
  NodeList(const NodeList&) = delete;
  NodeList& operator=(const NodeList&) = delete;
  ~NodeList() { release(); }

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T& front() { return data_[0]; }
  const T& front() const { return data_[0]; }
  T& back() { return data_[size_ - 1]; }
  const T& back() const { return data_[size_ - 1]; }

  // Element-wise, against any sized range (tests compare with a vector).
  template <std::ranges::sized_range R>
    requires std::equality_comparable_with<const T&, std::ranges::range_reference_t<const R>>
  friend bool operator==(const NodeList& a, const R& b) {
    return a.size() == std::ranges::size(b) && std::equal(a.begin(), a.end(), std::ranges::begin(b));
  }

  void reserve(std::size_t wanted) {
    if (wanted > capacity_) reallocate(wanted);
  }

  void push_back(const T& value) { emplace_back(value); }
  void push_back(T&& value) { emplace_back(std::move(value)); }

  template <typename... Args>
  T& emplace_back(Args&&... args) {
    if (size_ == capacity_) [[unlikely]] {
      // The argument may live in this list: build it before moving the rest.
      T made(std::forward<Args>(args)...);
      reallocate(grown());
      T* slot = ::new (static_cast<void*>(data_ + size_)) T(std::move(made));
      ++size_;
      return *slot;
    }
    T* slot = ::new (static_cast<void*>(data_ + size_)) T(std::forward<Args>(args)...);
    ++size_;
    return *slot;
  }

  void pop_back() {
    --size_;
    data_[size_].~T();
  }

  void clear() {
    destroy(data_, size_);
    size_ = 0;
  }

 private:
  std::uint32_t grown() const {
    if (capacity_ == kMaxSize) [[unlikely]] throw std::length_error("NodeList: too many elements");
    const std::size_t doubled = capacity_ == 0 ? 1 : std::size_t{capacity_} * 2;
    return static_cast<std::uint32_t>(doubled < kMaxSize ? doubled : kMaxSize);
  }

  void reallocate(std::size_t capacity) {
    static_assert(alignof(T) <= NodeArena::kAlign);
    if (capacity > kMaxSize) [[unlikely]] throw std::length_error("NodeList: too many elements");
    T* fresh = static_cast<T*>(NodeArena::allocate(capacity * sizeof(T)));
    if constexpr (std::is_trivially_copyable_v<T>) {
      if (size_ != 0) std::memcpy(static_cast<void*>(fresh), static_cast<const void*>(data_), size_ * sizeof(T));
    } else {
      static_assert(std::is_nothrow_move_constructible_v<T>);
      for (std::uint32_t i = 0; i < size_; ++i) {
        ::new (static_cast<void*>(fresh + i)) T(std::move(data_[i]));
        data_[i].~T();
      }
    }
    if (data_ != nullptr) NodeArena::deallocate(data_, std::size_t{capacity_} * sizeof(T));
    data_ = fresh;
    capacity_ = static_cast<std::uint32_t>(capacity);
  }

  static void destroy(T* first, std::size_t count) {
    if constexpr (!std::is_trivially_destructible_v<T>) {
      for (std::size_t i = 0; i < count; ++i) first[i].~T();
    }
  }

  void release() {
    if (data_ == nullptr) return;
    destroy(data_, size_);
    NodeArena::deallocate(data_, std::size_t{capacity_} * sizeof(T));
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
  }

  T* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 0;
};

}  // namespace vaxo_core::parser
