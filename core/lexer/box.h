// Box<T>: an owned, nullable heap value with value semantics (copying a Box
// copies what it holds). Lets a tagged union hold itself or a large, rarely
// read payload while staying small.
#pragma once

#include <memory>
#include <utility>

namespace vaxo_core::lexer {

template <typename T>
class Box {
 public:
  Box() = default;
  explicit Box(T value) : ptr_(std::make_unique<T>(std::move(value))) {}
  Box(const Box& other) : ptr_(other.ptr_ ? std::make_unique<T>(*other.ptr_) : nullptr) {}
  Box(Box&&) noexcept = default;
  Box& operator=(const Box& other) {
    if (this != &other) ptr_ = other.ptr_ ? std::make_unique<T>(*other.ptr_) : nullptr;
    return *this;
  }
  Box& operator=(Box&&) noexcept = default;
  ~Box() = default;

  explicit operator bool() const { return ptr_ != nullptr; }
  T& operator*() { return *ptr_; }
  const T& operator*() const { return *ptr_; }
  T* operator->() { return ptr_.get(); }
  const T* operator->() const { return ptr_.get(); }
  T* get() { return ptr_.get(); }
  const T* get() const { return ptr_.get(); }
  // Gives up the value, which the caller now owns (null for an empty Box).
  T* release() noexcept { return ptr_.release(); }

 private:
  std::unique_ptr<T> ptr_;
};

}  // namespace vaxo_core::lexer
