// TokenRef: how a tree node holds a token.
//
// Borrowed: a pointer into the lexer's token list (or an interpolation's own
// list), which is frozen once parsing starts and outlives the tree. Owned: a
// token the parser made (an inserted token, a flagged copy, a placeholder) or
// one the emitter makes for itself; one block each, from the parse's node
// arena while a parse runs (node_arena.h), else from the heap.
//
// One word: the low bit of the pointer tells the two apart. Move-only; `copy`
// is the explicit deep copy (an owned token is copied, a borrowed one shared).
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "core/diagnostic/diagnostic_code.h"
#include "core/diagnostic/internal_error.h"
#include "core/diagnostic/source_diagnostic.h"
#include "core/lexer/token.h"
#include "core/parser/node_arena.h"

namespace vaxo_core::parser {

using diagnostic::DiagnosticCode;
using diagnostic::SourceDiagnostic;
using lexer::Keyword;
using lexer::Operator;
using lexer::Token;
using lexer::TokenKind;

template <typename E, typename S>
struct ArrayElementBase;

class TokenRef {
 public:
  static_assert(alignof(Token) >= 2, "the low pointer bit tags owned tokens");

  // TokenRef::Owned holding `token` (`new` in the vocabulary of the tree).
  static TokenRef make(Token token) {
    static_assert(alignof(Token) <= NodeArena::kAlign);
    auto* owned = new (NodeArena::allocate(sizeof(Token))) Token(std::move(token));
    return TokenRef(reinterpret_cast<std::uintptr_t>(owned) | kOwnedBit);
  }
  // TokenRef::Borrowed pointing at a token of a list that outlives the tree.
  static TokenRef borrow(const Token& token) { return TokenRef(reinterpret_cast<std::uintptr_t>(&token)); }

  TokenRef(TokenRef&& other) noexcept : bits_(std::exchange(other.bits_, 0)) {}
  TokenRef& operator=(TokenRef&& other) noexcept {
    if (this != &other) {
      release();
      bits_ = std::exchange(other.bits_, 0);
    }
    return *this;
  }
  TokenRef(const TokenRef&) = delete;
  TokenRef& operator=(const TokenRef&) = delete;
  // Frees an owned token; a borrowed one belongs to its list.
  ~TokenRef() {
    if (is_owned()) [[unlikely]]
      delete_owned();
  }

  bool is_owned() const { return (bits_ & kOwnedBit) != 0; }
  bool is_borrowed() const { return !is_owned(); }

  // The referenced token, for both variants. A moved-from reference holds none.
  const Token& get() const {
    if (bits_ == 0) [[unlikely]] used_after_move();
    return *pointer();
  }
  const Token& operator*() const { return get(); }
  const Token* operator->() const { return &get(); }
  // The owned token for in-place changes; nullptr when borrowed.
  Token* owned_token() { return is_owned() ? pointer() : nullptr; }

  // Owned: a deep copy of the token. Borrowed: another reference to the same token.
  TokenRef copy() const { return is_owned() ? make(get()) : borrow(get()); }

  // Flags the token with `error`: an owned token in place, a borrowed one by
  // replacing the reference with a flagged owned copy. The list is untouched.
  void wrap_as_unknown(DiagnosticCode error) {
    if (is_borrowed()) *this = make(get());
    Token::wrap_as_unknown(*pointer(), error);
  }

  ByteRange range() const { return get().range; }
  std::string to_string() const { return get().to_string(); }

  // Token equality: kinds only, whatever the variants and ranges.
  friend bool operator==(const TokenRef& a, const TokenRef& b) { return a.get() == b.get(); }
  friend bool operator==(const TokenRef& a, const Token& b) { return a.get() == b; }
  friend bool operator==(const TokenRef& a, Keyword b) { return a.get() == b; }
  friend bool operator==(const TokenRef& a, Operator b) { return a.get() == b; }

 private:
  static constexpr std::uintptr_t kOwnedBit = 1;

  explicit TokenRef(std::uintptr_t bits) : bits_(bits) {}
  Token* pointer() const { return reinterpret_cast<Token*>(bits_ & ~kOwnedBit); }
  void release() {
    if (is_owned()) delete_owned();
    bits_ = 0;
  }
  [[noreturn, gnu::noinline, gnu::cold]] static void used_after_move() {
    throw InternalError("TokenRef used after move");
  }
  [[gnu::noinline]] void delete_owned() noexcept {
    Token* owned = pointer();
    owned->~Token();
    NodeArena::deallocate(owned, sizeof(Token));
  }

  // A word no reference ever holds (no token's address, owned or not): the
  // node of a list element marks its element alternative with it.
  static constexpr std::uintptr_t kUnheld = 2;
  static_assert(alignof(Token) > kUnheld);

  friend class OptionalTokenRef;
  template <typename E, typename S>
  friend struct ArrayElementBase;

  std::uintptr_t bits_;
};

// An optional TokenRef in one word (std::optional would take two): the empty
// reference stands for none. Reads like std::optional<TokenRef>.
class OptionalTokenRef {
 public:
  OptionalTokenRef() noexcept : ref_(0) {}
  OptionalTokenRef(std::nullopt_t) noexcept : ref_(0) {}  // NOLINT: implicit
  OptionalTokenRef(TokenRef ref) noexcept : ref_(std::move(ref)) {}  // NOLINT: implicit
  OptionalTokenRef(std::optional<TokenRef>&& ref) noexcept  // NOLINT: implicit
      : ref_(ref ? std::move(*ref) : TokenRef(0)) {}
  OptionalTokenRef(OptionalTokenRef&&) noexcept = default;
  OptionalTokenRef& operator=(OptionalTokenRef&&) noexcept = default;
  OptionalTokenRef& operator=(std::nullopt_t) noexcept {
    reset();
    return *this;
  }

  bool has_value() const { return ref_.bits_ != 0; }
  explicit operator bool() const { return has_value(); }
  TokenRef& operator*() { return ref_; }
  const TokenRef& operator*() const { return ref_; }
  TokenRef* operator->() { return &ref_; }
  const TokenRef* operator->() const { return &ref_; }
  void reset() { ref_.release(); }

 private:
  TokenRef ref_;
};

}  // namespace vaxo_core::parser
