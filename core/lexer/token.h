// Token and TokenKind: what the lexer produces and every later stage reads.
//
// A token is a kind plus the byte range of the source text it covers. Tokens
// borrow: identifier names, number texts, format texts and plain string values
// are std::string_views into the source text (or into a constant text of the
// program), so a token list must never outlive the text it was read from.
// Everything else a token holds it owns; copying a token copies deeply.
//
// `new` is a C++ keyword: the plain constructor is spelled `Token::make`.
//
// A recovery token (kind TokenKind::Unknown) stands for the kind the faulty
// text was read as, and carries the diagnostics that explain the fault; the
// compile pipeline later moves them into the collector and unwraps the token.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/diagnostic/diagnostic_code.h"
#include "core/diagnostic/source_diagnostic.h"
#include "core/lexer/box.h"
#include "core/lexer/keyword.h"
#include "core/lexer/operator.h"
#include "core/lexer/payload.h"

namespace vaxo_core::lexer {

using diagnostic::DiagnosticCode;
using diagnostic::SourceDiagnostic;

struct Token;
struct TokenKind;
struct StringInfo;
struct InterpolatedPart;

// Text that is either a view into the source (or a constant) or owned. Which of
// the two never changes its value or its equality. Two words: an owned text
// is one heap block of its bytes, flagged by the top bit of the size.
class CowText {
 public:
  CowText() noexcept = default;
  // NOLINTNEXTLINE: implicit on purpose
  CowText(std::string_view borrowed) noexcept : data_(borrowed.data()), size_(borrowed.size()) {}
  static CowText owned(std::string_view s) {
    CowText t;
    // Never null, so that an empty owned text is still owned.
    char* block = new char[s.empty() ? 1 : s.size()];
    if (!s.empty()) std::memcpy(block, s.data(), s.size());
    t.data_ = block;
    t.size_ = s.size() | kOwned;
    return t;
  }
  CowText(const CowText& other) : CowText(other.is_owned() ? owned(other.view()) : CowText(other.view())) {}
  CowText(CowText&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  CowText& operator=(const CowText& other) {
    if (this != &other) *this = CowText(other);
    return *this;
  }
  CowText& operator=(CowText&& other) noexcept {
    if (this != &other) {
      release();
      data_ = other.data_;
      size_ = other.size_;
      other.data_ = nullptr;
      other.size_ = 0;
    }
    return *this;
  }
  ~CowText() { release(); }

  std::string_view view() const { return std::string_view(data_, size()); }
  operator std::string_view() const { return view(); }  // NOLINT
  bool is_owned() const { return (size_ & kOwned) != 0; }
  bool empty() const { return size() == 0; }
  std::size_t size() const { return size_ & ~kOwned; }

  friend bool operator==(const CowText& a, const CowText& b) { return a.view() == b.view(); }
  friend bool operator==(const CowText& a, std::string_view b) { return a.view() == b; }

 private:
  static constexpr std::size_t kOwned = std::size_t{1} << 63;
  void release() noexcept {
    if (is_owned()) delete[] data_;
  }

  const char* data_ = nullptr;
  std::size_t size_ = 0;
};
static_assert(sizeof(CowText) == 16);

// How a number literal was written. Read by nothing after lexing.
struct NumberInfo {
  struct Invalid {};
  struct Decimal {
    std::string_view text;  // the literal exactly as written
  };
  struct Hexadecimal {
    std::uint64_t value;
  };
  struct Octal {
    std::uint64_t value;
  };
  struct Binary {
    std::uint64_t value;
  };
  std::variant<Invalid, Decimal, Hexadecimal, Octal, Binary> value;
};

// A NumberInfo in two words (a variant of a view takes three): a Decimal's
// text, or the value of another kind, and the kind in the top bits of the
// second word (beside a Decimal's size, which no text reaches).
class PackedNumberInfo {
 public:
  PackedNumberInfo() noexcept = default;  // Invalid
  PackedNumberInfo(const NumberInfo& info) noexcept {  // NOLINT: implicit on purpose
    std::visit([this](const auto& v) { *this = PackedNumberInfo(v); }, info.value);
  }
  PackedNumberInfo(NumberInfo::Invalid) noexcept {}  // NOLINT
  PackedNumberInfo(NumberInfo::Decimal v) noexcept  // NOLINT
      : word_(reinterpret_cast<std::uintptr_t>(v.text.data())), kind_size_(v.text.size() | kind(1)) {}
  PackedNumberInfo(NumberInfo::Hexadecimal v) noexcept : word_(v.value), kind_size_(kind(2)) {}  // NOLINT
  PackedNumberInfo(NumberInfo::Octal v) noexcept : word_(v.value), kind_size_(kind(3)) {}        // NOLINT
  PackedNumberInfo(NumberInfo::Binary v) noexcept : word_(v.value), kind_size_(kind(4)) {}       // NOLINT

  NumberInfo get() const {
    switch (kind_size_ >> kKindShift) {
      case 1:
        return {NumberInfo::Decimal{std::string_view(reinterpret_cast<const char*>(word_), kind_size_ & kSizeMask)}};
      case 2: return {NumberInfo::Hexadecimal{word_}};
      case 3: return {NumberInfo::Octal{word_}};
      case 4: return {NumberInfo::Binary{word_}};
      default: return {NumberInfo::Invalid{}};
    }
  }

  // The info in the low 56 bits of a word, when it fits there: a Decimal
  // text of at most 63 bytes at an address below 2^47, or a value below
  // 2^53; bits 53..55 hold the kind + 1. 0 when it does not fit.
  std::uint64_t folded() const {
    const std::uint64_t k = kind_size_ >> kKindShift;
    if (k == 1) {
      const std::uint64_t size = kind_size_ & kSizeMask;
      if (word_ >> kFoldedSizeShift != 0 || size >> (kFoldedKindShift - kFoldedSizeShift) != 0) return 0;
      return (k + 1) << kFoldedKindShift | size << kFoldedSizeShift | word_;
    }
    if (k != 0 && word_ >> kFoldedKindShift != 0) return 0;
    return (k + 1) << kFoldedKindShift | word_;
  }
  // The info of a non-zero folded() word.
  static PackedNumberInfo unfold(std::uint64_t bits) {
    PackedNumberInfo p;
    const std::uint64_t k = (bits >> kFoldedKindShift & 7) - 1;
    if (k == 1) {
      constexpr std::uint64_t kSizeBits = (std::uint64_t{1} << (kFoldedKindShift - kFoldedSizeShift)) - 1;
      p.word_ = bits & ((std::uint64_t{1} << kFoldedSizeShift) - 1);
      p.kind_size_ = kind(1) | (bits >> kFoldedSizeShift & kSizeBits);
    } else {
      p.word_ = bits & ((std::uint64_t{1} << kFoldedKindShift) - 1);
      p.kind_size_ = kind(k);
    }
    return p;
  }

 private:
  static constexpr int kFoldedKindShift = 53;
  static constexpr int kFoldedSizeShift = 47;
  static constexpr int kKindShift = 61;
  static constexpr std::uint64_t kSizeMask = (std::uint64_t{1} << kKindShift) - 1;
  static constexpr std::uint64_t kind(std::uint64_t k) { return k << kKindShift; }

  std::uint64_t word_ = 0;
  std::uint64_t kind_size_ = 0;
};

// A record field name with the tag code that says how it was written.
struct FieldName {
  DiagnosticCode code;  // RecordFieldIdName, RecordFieldOrdinalName or RecordFieldStringName
  CowText name;
};

// One part of an interpolated string: the literal text before an
// interpolation, where the interpolation's tokens sit in the string's token
// list, and its format text. The last part holds the trailing text, no
// tokens and no format. A part is plain data: its tokens are read through
// the string (InterpolatedString::tokens_of).
struct InterpolatedPart {
  CowText text;
  // The run [first, first + count) of InterpolatedString::tokens. Four bytes
  // each, as a string's tokens take 32 bytes each: 2^32 of them cannot be
  // held.
  std::uint32_t first = 0;
  std::uint32_t count = 0;
  std::string_view format;

  InterpolatedPart() = default;
  InterpolatedPart(CowText text, std::uint32_t first, std::uint32_t count, std::string_view format)
      : text(std::move(text)), first(first), count(count), format(format) {}
};

// The info of a string literal: a Box<StringInfo>, except that a literal
// read by the lexer keeps only where it starts in the source text (which the
// token borrows anyway) and builds its StringInfo on first access (nothing
// reads the info after lexing): the `@` run and the quote are read again
// there, and then the one plain run of text the literal was, or its whole
// body. Three words, as a built info replaces the description. Reads from
// several threads at once need the info built first, as for any other lazily
// filled cache.
class StringInfoBox {
 public:
  StringInfoBox() noexcept = default;
  StringInfoBox(Box<StringInfo> info) : data_(info.release()) {}  // NOLINT: implicit on purpose
  // A terminated literal at `start` of `source` whose body is one plain run
  // of `size` bytes.
  static StringInfoBox plain(std::string_view source, std::size_t start, std::size_t size) {
    return StringInfoBox(source.data(), size, start, Mode::Plain);
  }
  // The literal at `start` of `source` (`quoted`), or the template body from
  // `start` to the end of `source`.
  static StringInfoBox reread(std::string_view source, std::size_t start, bool quoted) {
    return StringInfoBox(source.data(), source.size(), start, quoted ? Mode::Quoted : Mode::Template);
  }
  StringInfoBox(const StringInfoBox& other);
  StringInfoBox(StringInfoBox&& other) noexcept : data_(other.data_), size_(other.size_), start_(other.start_) {
    other.data_ = nullptr;
    other.start_ = 0;
  }
  StringInfoBox& operator=(const StringInfoBox& other) {
    if (this != &other) *this = StringInfoBox(other);
    return *this;
  }
  StringInfoBox& operator=(StringInfoBox&& other) noexcept {
    if (this != &other) {
      reset();
      data_ = other.data_;
      size_ = other.size_;
      start_ = other.start_;
      other.data_ = nullptr;
      other.start_ = 0;
    }
    return *this;
  }
  ~StringInfoBox() { reset(); }

  explicit operator bool() const { return data_ != nullptr; }
  const StringInfo& operator*() const { return *get(); }
  const StringInfo* operator->() const { return get(); }
  const StringInfo* get() const { return mode() == Mode::Built ? built() : build(); }
  StringInfo& operator*() { return *get(); }
  StringInfo* operator->() { return get(); }
  StringInfo* get() { return mode() == Mode::Built ? built() : build(); }

 private:
  // Kept in the top bits of start_ (a text position, far below 2^62).
  enum class Mode : std::uint64_t { Built, Plain, Quoted, Template };
  static constexpr int kModeShift = 62;
  StringInfoBox(const char* source, std::size_t size, std::size_t start, Mode mode) noexcept
      : data_(source), size_(size), start_(start | static_cast<std::uint64_t>(mode) << kModeShift) {}
  Mode mode() const { return static_cast<Mode>(start_ >> kModeShift); }
  std::size_t start() const { return start_ & ((std::uint64_t{1} << kModeShift) - 1); }
  StringInfo* built() const { return static_cast<StringInfo*>(const_cast<void*>(data_)); }
  StringInfo* build() const;  // token.cc
  void reset() noexcept;      // below StringInfo

  // Built: the owned info (or null); otherwise the source text.
  mutable const void* data_ = nullptr;
  // Plain: the body's size; Quoted and Template: the source's.
  std::size_t size_ = 0;
  mutable std::uint64_t start_ = 0;
};

// A recovery kind holds the kind it stands for in place: that kind is two
// words, and the recovery kind around it is boxed already, so a second heap
// block per recovery token buys nothing. Otherwise a Box (nullable; a moved
// Box is empty). Members are defined below TokenKind.
template <>
class Box<TokenKind> {
 public:
  Box() noexcept = default;
  explicit Box(TokenKind value) noexcept;
  Box(const Box& other);
  Box(Box&& other) noexcept;
  Box& operator=(const Box& other);
  Box& operator=(Box&& other) noexcept;
  ~Box();

  explicit operator bool() const { return full_; }
  TokenKind& operator*() { return *get(); }
  const TokenKind& operator*() const { return *get(); }
  TokenKind* operator->() { return get(); }
  const TokenKind* operator->() const { return get(); }
  TokenKind* get() { return full_ ? slot() : nullptr; }
  const TokenKind* get() const { return full_ ? const_cast<Box*>(this)->slot() : nullptr; }

 private:
  TokenKind* slot();
  void reset() noexcept;

  alignas(8) unsigned char storage_[16];
  bool full_ = false;
};

struct TokenKind {
  struct Eof {};
  struct Identifier {
    std::string_view name;
  };
  struct Ordinal {
    std::int32_t value;
  };
  // What a Number is made from. The kind keeps both, but get_if<Number>
  // gives a NumberValue: number_info() gives how it was written.
  struct Number {
    double value;
    PackedNumberInfo info;
  };
  struct NumberValue {
    double value;
  };
  struct String {
    CowText value;
    StringInfoBox info;  // null for strings not read from a literal
  };
  // The tokens of all interpolations sit in one list, one run after another
  // in source order, with nothing between or after them: a string costs one
  // token allocation whatever its number of parts, and a copy copies the
  // list (the parts hold positions, never addresses).
  struct InterpolatedString {
    std::vector<InterpolatedPart> parts;  // one more than there are interpolations
    StringInfoBox info;
    std::vector<Token> tokens;

    // The tokens of `part`, one of `parts`. Distinct non-empty parts start
    // at distinct addresses.
    std::span<Token> tokens_of(const InterpolatedPart& part);
    std::span<const Token> tokens_of(const InterpolatedPart& part) const;
    // Appends a part whose interpolation reads `run` (empty for the last part).
    void add_part(CowText text, std::vector<Token> run, std::string_view format);
  };
  struct Operator {
    lexer::Operator op;
  };
  struct Keyword {
    lexer::Keyword keyword;
  };
  struct Unknown {
    Box<TokenKind> recovered;  // never null
    std::vector<SourceDiagnostic> errors;
  };
  struct Empty {};

 private:
  template <typename T>
  static constexpr bool kBoxed = std::is_same_v<T, String> || std::is_same_v<T, InterpolatedString> ||
                                 std::is_same_v<T, Unknown>;
  // A number whose info does not fold into the tag word (a long text, a big
  // value): rare.
  struct BoxedNumber {
    NumberValue number;
    PackedNumberInfo info;
  };

 public:
  // What get_if<T> points to.
  template <typename T>
  using Held = std::conditional_t<std::is_same_v<T, Number>, NumberValue, T>;
  // What get_if<T> gives: a pointer to the payload held, or null; for an
  // Identifier, which holds no string_view to point to, the name by value.
  template <typename T>
  using Found = std::conditional_t<std::is_same_v<T, Identifier>, std::optional<Identifier>, Held<T>*>;
  template <typename T>
  using ConstFound = std::conditional_t<std::is_same_v<T, Identifier>, std::optional<Identifier>, const Held<T>*>;

  enum class Tag : std::uint8_t { Eof, Identifier, Ordinal, Number, String, InterpolatedString, Operator, Keyword,
                                  Unknown, Empty };

  // Sixteen bytes, so that a token takes 32: a payload word and a head word
  // whose top byte is the tag. The payload word holds an Identifier's first
  // byte, the ordinal, operator or keyword, a number's value, or the owning
  // pointer of a boxed payload (String, InterpolatedString, Unknown, and a
  // Number whose info does not fold into the head's low bits, which are then
  // 0). The head's low 56 bits hold an Identifier's length (no text reaches
  // 2^56 bytes) or a number's folded info. A kind that was moved from keeps
  // its tag but holds no payload (get_if gives null).
  TokenKind() noexcept { put(Eof{}); }
  TokenKind(Eof v) noexcept { put(v); }                // NOLINT
  TokenKind(Identifier v) noexcept { put(v); }         // NOLINT
  TokenKind(Ordinal v) noexcept { put(v); }            // NOLINT
  // Numbers are common: their info folds into the head whenever it fits.
  TokenKind(Number v) {  // NOLINT
    if (const std::uint64_t folded = v.info.folded(); folded != 0) [[likely]] {
      word_.number = NumberValue{v.value};
      head_ = head(Tag::Number, folded);
    } else {
      put_boxed(Tag::Number, payload::make<BoxedNumber>(BoxedNumber{{v.value}, v.info}));
    }
  }
  TokenKind(String v) { put_boxed(Tag::String, payload::make<String>(std::move(v))); }  // NOLINT
  TokenKind(InterpolatedString v) {                                                     // NOLINT
    put_boxed(Tag::InterpolatedString, payload::make<InterpolatedString>(std::move(v)));
  }
  TokenKind(Operator v) noexcept { put(v); }                               // NOLINT
  TokenKind(Keyword v) noexcept { put(v); }                                // NOLINT
  TokenKind(Unknown v) { put_boxed(Tag::Unknown, payload::make<Unknown>(std::move(v))); }  // NOLINT
  TokenKind(Empty v) noexcept { put(v); }                                  // NOLINT
  TokenKind(lexer::Operator op) noexcept { put(Operator{op}); }            // NOLINT
  TokenKind(lexer::Keyword kw) noexcept { put(Keyword{kw}); }              // NOLINT

  TokenKind(const TokenKind& other) {
    if (owns_payload(other.tag())) {
      copy_payload(other);
    } else {
      word_ = other.word_;
      head_ = other.head_;
    }
  }
  TokenKind(TokenKind&& other) noexcept { take(other); }
  TokenKind& operator=(const TokenKind& other) {
    if (this != &other) {
      TokenKind copy(other);
      destroy();
      take(copy);
    }
    return *this;
  }
  // `other` may be part of this kind (a recovered kind): move it out first.
  TokenKind& operator=(TokenKind&& other) noexcept {
    if (this != &other) {
      TokenKind moved(std::move(other));
      destroy();
      take(moved);
    }
    return *this;
  }
  ~TokenKind() { destroy(); }

  // A recovery kind standing for `recovered`, with the single diagnostic
  // (error_range, error).
  static TokenKind unknown(TokenKind recovered, ByteRange error_range, DiagnosticCode error);
  static TokenKind unknown(lexer::Operator recovered, ByteRange error_range, DiagnosticCode error);
  static TokenKind unknown(lexer::Keyword recovered, ByteRange error_range, DiagnosticCode error);
  // A recovery kind standing for `recovered`, with the given diagnostics as they are.
  static TokenKind unknown_errors(TokenKind recovered, std::vector<SourceDiagnostic> errors);

  // Replaces the kind in place with an unboxed payload (the scanner's hot
  // path).
  template <typename T>
  void set(T value) noexcept {
    static_assert(!kBoxed<T> && !std::is_same_v<T, Number>);
    destroy();
    put(value);
  }

  // The same for a kind that holds no boxed payload (a fresh one, say):
  // nothing to release, so nothing is checked.
  template <typename T>
  void set_unowned(T value) noexcept {
    static_assert(!kBoxed<T> && !std::is_same_v<T, Number>);
    put(value);
  }

  Tag tag() const { return static_cast<Tag>(head_ >> kTagShift); }

  template <typename T>
  bool is() const { return tag() == kTagOf<T>; }
  template <typename T>
  Found<T> get_if() {
    if constexpr (std::is_same_v<T, Identifier>) {
      if (tag() != Tag::Identifier) return std::nullopt;
      return Identifier{std::string_view(word_.text, low_bits())};
    } else {
      if (tag() != kTagOf<T>) return nullptr;
      if constexpr (std::is_same_v<T, Number>) {
        if (low_bits() != 0) return &word_.number;
        auto* box = static_cast<BoxedNumber*>(word_.box);
        return box != nullptr ? &box->number : nullptr;
      } else if constexpr (kBoxed<T>) {
        return static_cast<T*>(word_.box);
      } else {
        return &member<T>(word_);
      }
    }
  }
  template <typename T>
  ConstFound<T> get_if() const {
    return const_cast<TokenKind*>(this)->get_if<T>();
  }

  // How a Number was written; Invalid for any other kind.
  NumberInfo number_info() const {
    if (tag() != Tag::Number) return {};
    if (const std::uint64_t bits = low_bits(); bits != 0) return PackedNumberInfo::unfold(bits).get();
    const auto* box = static_cast<const BoxedNumber*>(word_.box);
    return box != nullptr ? box->info.get() : NumberInfo{};
  }

  bool is_eof() const { return is<Eof>(); }
  bool is_empty() const { return is<Empty>(); }
  bool is_identifier() const { return is<Identifier>(); }
  bool is_keyword() const { return is<Keyword>(); }
  bool is_ordinal() const { return is<Ordinal>(); }
  bool is_number() const { return is<Number>(); }
  bool is_string() const { return is<String>(); }
  bool is_interpolated_string() const { return is<InterpolatedString>(); }
  bool is_unknown() const { return is<Unknown>(); }
  // Number or Ordinal, whatever the value (a Number holding infinity counts).
  bool is_finite_number_literal() const { return is<Number>() || is<Ordinal>(); }
  // A finite number literal or the keyword `inf`.
  bool is_number_literal() const;
  // A number literal or the keyword `nan`.
  bool is_number_nan_literal() const;
  // The keyword `true` or `false`.
  bool is_boolean_literal() const;

  // The operator or keyword held, if this kind is one.
  std::optional<lexer::Operator> as_operator() const;
  std::optional<lexer::Keyword> as_keyword() const;

  // The name of an Identifier; absent for every other kind, keywords included.
  std::optional<std::string_view> to_id_name() const;
  // The record field name this token spells, with its tag code; absent for
  // Number, InterpolatedString, Unknown and every other kind.
  std::optional<FieldName> to_field_name() const;

  // The text form, for inspection only.
  std::string to_string() const;

  friend bool operator==(const TokenKind& a, const TokenKind& b);
  friend bool operator==(const TokenKind& a, lexer::Keyword b) {
    auto* k = a.get_if<Keyword>();
    return k != nullptr && k->keyword == b;
  }
  friend bool operator==(const TokenKind& a, lexer::Operator b) {
    auto* o = a.get_if<Operator>();
    return o != nullptr && o->op == b;
  }
 private:
  template <typename T>
  static constexpr Tag kTagOf = std::is_same_v<T, Eof>                  ? Tag::Eof
                                : std::is_same_v<T, Identifier>         ? Tag::Identifier
                                : std::is_same_v<T, Ordinal>            ? Tag::Ordinal
                                : std::is_same_v<T, Number>             ? Tag::Number
                                : std::is_same_v<T, String>             ? Tag::String
                                : std::is_same_v<T, InterpolatedString> ? Tag::InterpolatedString
                                : std::is_same_v<T, Operator>           ? Tag::Operator
                                : std::is_same_v<T, Keyword>            ? Tag::Keyword
                                : std::is_same_v<T, Unknown>            ? Tag::Unknown
                                                                        : Tag::Empty;

  static constexpr unsigned kOwningTags = 1u << static_cast<unsigned>(Tag::Number) |
                                          1u << static_cast<unsigned>(Tag::String) |
                                          1u << static_cast<unsigned>(Tag::InterpolatedString) |
                                          1u << static_cast<unsigned>(Tag::Unknown);
  static constexpr bool owns_payload(Tag tag) { return (kOwningTags >> static_cast<unsigned>(tag)) & 1u; }

  // The payload word; which member is live follows from the head.
  union Word {
    std::uint64_t none;  // Eof, Empty
    const char* text;    // Identifier: the name's first byte
    void* box;           // a boxed payload, or null once moved from
    NumberValue number;  // a Number whose info is folded into the head
    Ordinal ordinal;
    Operator op;
    Keyword keyword;
  };
  static_assert(std::is_trivially_copyable_v<Word> && sizeof(Word) == 8);

  template <typename T>
  static T& member(Word& w) {
    if constexpr (std::is_same_v<T, Ordinal>) {
      return w.ordinal;
    } else if constexpr (std::is_same_v<T, Operator>) {
      return w.op;
    } else {
      static_assert(std::is_same_v<T, Keyword>);
      return w.keyword;
    }
  }

  static constexpr int kTagShift = 56;
  static constexpr std::uint64_t head(Tag tag, std::uint64_t low_bits = 0) {
    return static_cast<std::uint64_t>(tag) << kTagShift | low_bits;
  }
  // The head below the tag: an Identifier's length or a number's folded info.
  std::uint64_t low_bits() const { return head_ & ((std::uint64_t{1} << kTagShift) - 1); }

  void put(Eof) noexcept {
    word_.none = 0;
    head_ = head(Tag::Eof);
  }
  void put(Empty) noexcept {
    word_.none = 0;
    head_ = head(Tag::Empty);
  }
  void put(Identifier v) noexcept {
    word_.text = v.name.data();
    head_ = head(Tag::Identifier, v.name.size());
  }
  void put(Ordinal v) noexcept {
    word_.ordinal = v;
    head_ = head(Tag::Ordinal);
  }
  void put(Operator v) noexcept {
    word_.op = v;
    head_ = head(Tag::Operator);
  }
  void put(Keyword v) noexcept {
    word_.keyword = v;
    head_ = head(Tag::Keyword);
  }
  void put_boxed(Tag tag, void* box) noexcept {
    word_.box = box;
    head_ = head(tag);
  }
  // Takes the payload of `other`, which is left holding none.
  void take(TokenKind& other) noexcept {
    word_ = other.word_;
    head_ = other.head_;
    if (owns_payload(other.tag())) other.put_boxed(other.tag(), nullptr);
  }
  void destroy() noexcept {
    // The other kinds hold nothing to release, nor does a number whose info
    // is folded into the head (the common one) or a moved-from kind: a
    // list's release then calls out for its boxed payloads only.
    if (owns_payload(tag()) && low_bits() == 0 && word_.box != nullptr) destroy_payload();
  }
  void destroy_payload() noexcept;            // token.cc
  void copy_payload(const TokenKind& other);  // token.cc: a deep copy into this unconstructed kind

  Word word_;
  std::uint64_t head_;
};

inline Box<TokenKind>::Box(TokenKind value) noexcept : full_(true) { new (storage_) TokenKind(std::move(value)); }
inline Box<TokenKind>::Box(const Box& other) : full_(other.full_) {
  if (full_) new (storage_) TokenKind(*other);
}
inline Box<TokenKind>::Box(Box&& other) noexcept : full_(other.full_) {
  if (full_) {
    new (storage_) TokenKind(std::move(*other));
    other.reset();
  }
}
inline Box<TokenKind>& Box<TokenKind>::operator=(const Box& other) {
  if (this != &other) *this = Box(other);
  return *this;
}
// `other` may hold this box (through a recovery kind): move it out first.
inline Box<TokenKind>& Box<TokenKind>::operator=(Box&& other) noexcept {
  if (this != &other) {
    Box moved(std::move(other));
    reset();
    if (moved.full_) {
      new (storage_) TokenKind(std::move(*moved));
      full_ = true;
    }
  }
  return *this;
}
inline Box<TokenKind>::~Box() { reset(); }
inline TokenKind* Box<TokenKind>::slot() { return std::launder(reinterpret_cast<TokenKind*>(storage_)); }
inline void Box<TokenKind>::reset() noexcept {
  if (full_) {
    slot()->~TokenKind();
    full_ = false;
  }
}
static_assert(sizeof(TokenKind) == 16 && alignof(TokenKind) <= 8);

// Trivia are never kept; the fields exist and stay empty.
struct LeadingTrivia {};
struct TailingTrivia {};

struct Token {
  TokenKind kind;
  ByteRange range;
  [[no_unique_address]] LeadingTrivia leading_trivia;
  [[no_unique_address]] TailingTrivia tailing_trivia;

  static Token make(TokenKind kind, ByteRange range) { return Token{std::move(kind), range}; }
  // A zero-width Empty token at `pos`.
  static Token empty(std::size_t pos) { return make(TokenKind::Empty{}, ByteRange{pos, pos}); }
  // A recovery token over `range` standing for `recovered`, with one diagnostic
  // (range, error).
  static Token unknown(ByteRange range, TokenKind recovered, DiagnosticCode error) {
    return make(TokenKind::unknown(std::move(recovered), range, error), range);
  }
  static Token unknown(ByteRange range, lexer::Operator recovered, DiagnosticCode error) {
    return make(TokenKind::unknown(recovered, range, error), range);
  }
  static Token unknown(ByteRange range, lexer::Keyword recovered, DiagnosticCode error) {
    return make(TokenKind::unknown(recovered, range, error), range);
  }
  // Flags `token` in place: its kind becomes a recovery kind standing for the
  // old kind (nesting when it already was one), with one diagnostic over the
  // token's range. The range is unchanged.
  static void wrap_as_unknown(Token& token, DiagnosticCode error);
  void wrap_as_unknown(DiagnosticCode error) { wrap_as_unknown(*this, error); }

  // Positions towards the token input of the combinator toolkit.
  std::size_t current_token_start() const { return range.start; }
  std::size_t previous_token_end() const { return range.end; }

  TokenKind& operator*() { return kind; }
  const TokenKind& operator*() const { return kind; }
  TokenKind* operator->() { return &kind; }
  const TokenKind* operator->() const { return &kind; }

  std::string to_string() const { return kind.to_string(); }

  // Tokens compare by kind only: ranges and trivia play no part.
  friend bool operator==(const Token& a, const Token& b) { return a.kind == b.kind; }
  friend bool operator==(const Token& a, const TokenKind& b) { return a.kind == b; }
  friend bool operator==(const Token& a, lexer::Keyword b) { return a.kind == b; }
  friend bool operator==(const Token& a, lexer::Operator b) { return a.kind == b; }
};
static_assert(sizeof(TokenKind) == 16 && sizeof(Token) == 32, "a kind is a name, or a tag and one word");

inline std::span<Token> TokenKind::InterpolatedString::tokens_of(const InterpolatedPart& part) {
  return std::span<Token>(tokens.data() + part.first, part.count);
}
inline std::span<const Token> TokenKind::InterpolatedString::tokens_of(const InterpolatedPart& part) const {
  return std::span<const Token>(tokens.data() + part.first, part.count);
}

// One piece of a string literal's body, in source order.
struct StringFragment {
  struct Literal {
    std::string_view text;
  };
  struct EscapedChar {
    char32_t value;
    std::string_view text;  // the escape as written after the backslash
  };
  struct InvalidEscapedChar {
    ByteRange range;  // what follows the backslash
    DiagnosticCode error;
  };
  struct Interpolation {
    std::string_view dollars;
    std::vector<Token> tokens;  // moved into the token's parts; left empty here
    std::string_view format;
    Box<std::pair<Token, Token>> delimiters;  // `$(` form only: (begin, end); null otherwise
  };
  struct EndOfString {};
  struct EndOfFile {};

  std::variant<Literal, EscapedChar, InvalidEscapedChar, Interpolation, EndOfString, EndOfFile> value;
};

// How one string literal was written. The token owns a copy; nothing reads it
// after lexing.
struct StringInfo {
  ByteRange leading_range;   // the `@` run and the opening quote; 0..0 for a template
  ByteRange trailing_range;  // the closing delimiter; 0..0 until read
  std::size_t ats = 0;       // verbatim when > 0; 1 for a template
  std::optional<char32_t> quote;  // absent for a template
  std::vector<StringFragment> content;
};

inline void StringInfoBox::reset() noexcept {
  if (mode() == Mode::Built) delete built();
  data_ = nullptr;
}
static_assert(sizeof(StringInfoBox) == 24);

inline std::ostream& operator<<(std::ostream& os, const TokenKind& k) { return os << k.to_string(); }
inline std::ostream& operator<<(std::ostream& os, const Token& t) { return os << t.kind.to_string(); }

// The debug-escaped form of a text (backslash escapes for quotes, backslash,
// tab, CR, LF and NUL; \u{...} for what is not printable). Inspection only.
std::string debug_escape(std::string_view text);

}  // namespace vaxo_core::lexer
