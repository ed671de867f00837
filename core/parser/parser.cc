#include "core/parser/parser.h"

#include <cstring>
#include <new>
#include <optional>

#include "core/parser/expressions.h"
#include "core/parser/failure_memo.h"
#include "core/parser/helper.h"
#include "core/parser/statements.h"

namespace vaxo_core::parser {
namespace {

// One run of `statement`: each result is built in reused storage and its
// bytes go to the slot `slot_for()` gives, so no destructor runs on it.
template <class SlotFor>
void read_statements(ParserContext& ctx, statements::TrailingValue& trailing, SlotFor&& slot_for) {
  alignas(std::optional<Statement>) unsigned char raw[sizeof(std::optional<Statement>)];
  for (;;) {
    const auto before = ctx.checkpoint();
    auto* s = ::new (static_cast<void*>(raw)) std::optional<Statement>(statements::statement(ctx, &trailing));
    if (!*s) return;
    if (ctx.checkpoint() == before) {
      s->reset();
      throw InternalError("`repeat` parsers must always consume");
    }
    std::memcpy(static_cast<void*>(slot_for()), static_cast<const void*>(&**s), sizeof(Statement));
  }
}

// A block's statements, relocated bytewise twice: from where the rule built
// each into the buffer, and from there into the block's list. A statement is
// one-word owners and references (tokens, boxes, lists) and nothing points
// into it, so its bytes are the whole of it; a move and a destroy per step
// would dispatch on the alternative twice.
class StatementBuffer {
 public:
  StatementBuffer() = default;
  ~StatementBuffer() {
    clear();
    ::operator delete(data_);
  }
  StatementBuffer(const StatementBuffer&) = delete;
  StatementBuffer& operator=(const StatementBuffer&) = delete;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  Statement& back() { return data_[size_ - 1]; }
  void pop_back() { data_[--size_].~Statement(); }
  void clear() {
    while (size_ != 0) pop_back();
  }

  // The statements of one run of `statement`.
  void read(ParserContext& ctx, statements::TrailingValue& trailing) {
    read_statements(ctx, trailing, [this] {
      if (size_ == capacity_) grow();
      return data_ + size_++;
    });
  }
  // Moves every statement to the end of `list`, which has room for them.
  void relocate_into(NodeList<Statement>& list) {
    list.relocate_back(data_, size_);
    size_ = 0;
  }

 private:
  void grow() { grow_relocating(data_, size_, capacity_, 16); }

  Statement* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// opt(expression), taking what the failed statement already read there.
std::unique_ptr<Expression> trailing_expression(ParserContext& ctx, statements::TrailingValue& trailing) {
  if (auto e = trailing.take_at(ctx)) return e;
  return expressions::expression_box(ctx);
}

// The value: `expression`, or else a last statement that is a block-like
// expression, taken off `statements`.
template <typename Statements>
std::unique_ptr<Expression> take_value(Statements& statements, std::unique_ptr<Expression> expression) {
  if (expression) return expression;
  if (!statements.empty()) {
    if (auto* block = statements.back().template get_if<Statement::BlockExpression>()) {
      auto value = std::move(block->expression);
      statements.pop_back();
      return value;
    }
  }
  return nullptr;
}

// Blocks read their statements into a buffer kept per nesting level for the
// whole parse and move them into a vector of exactly their count: one
// allocation per block and no slack left in the tree.
class StatementBuffers {
 public:
  StatementBuffers() : outer_(t_current) { t_current = this; }
  ~StatementBuffers() { t_current = outer_; }
  StatementBuffers(const StatementBuffers&) = delete;
  StatementBuffers& operator=(const StatementBuffers&) = delete;

  // RAII: the buffer of one block, empty on entry and on exit.
  class Lease {
   public:
    Lease() : owner_(t_current) {
      if (owner_ == nullptr) {
        buffer_ = &local_;
        return;
      }
      if (owner_->used_ == owner_->buffers_.size()) owner_->buffers_.push_back(std::make_unique<StatementBuffer>());
      buffer_ = owner_->buffers_[owner_->used_++].get();
    }
    ~Lease() {
      buffer_->clear();
      if (owner_ != nullptr) --owner_->used_;
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    StatementBuffer& operator*() { return *buffer_; }

   private:
    StatementBuffers* owner_;
    StatementBuffer* buffer_;
    StatementBuffer local_;
  };

 private:
  static thread_local StatementBuffers* t_current;
  StatementBuffers* outer_;
  std::vector<std::unique_ptr<StatementBuffer>> buffers_;
  std::size_t used_ = 0;
};

thread_local StatementBuffers* StatementBuffers::t_current = nullptr;

DiagnosticCode stray_token_code(const Token& t) {
  if (t == Operator::CloseParen) return DiagnosticCode::UnmatchedCloseParen;
  if (t == Operator::CloseBracket) return DiagnosticCode::UnmatchedCloseBracket;
  if (t == Operator::CloseBrace) return DiagnosticCode::UnmatchedCloseBrace;
  return DiagnosticCode::UnexpectedToken;
}

}  // namespace

ParserContext to_input(std::span<const Token> tokens, ParserState& state) { return ParserContext(tokens, state); }

std::optional<Script> parse(std::span<const Token> tokens) {
  ParserState state;
  ParserContext input = to_input(tokens, state);
  return parse(input);
}

namespace helper {

StatementsAndValue statements_and_expression(ParserContext& ctx, bool room_for_value) {
  NodeList<Statement> statements;
  statements::TrailingValue trailing;
  std::unique_ptr<Expression> value;
  {
    StatementBuffers::Lease buffer;
    (*buffer).read(ctx, trailing);
    // The value is taken off before the list is made: no slot is left over.
    value = take_value(*buffer, trailing_expression(ctx, trailing));
    statements.reserve((*buffer).size() + (room_for_value && value ? 1 : 0));
    (*buffer).relocate_into(statements);
  }
  return {std::move(statements), std::move(value)};
}

StatementsAndValue construct_statements_and_expression(NodeList<Statement> statements,
                                                       std::optional<Expression> expression) {
  auto value = take_value(statements, expression ? std::make_unique<Expression>(std::move(*expression)) : nullptr);
  return {std::move(statements), std::move(value)};
}

}  // namespace helper

namespace scripts {

namespace {

// The root's statements in order: the first few in place, the rest in chunks
// made on need, so a short script allocates nothing here. Relocated bytewise
// in and out, like a block's (StatementBuffer).
class RootStatements {
 public:
  RootStatements() = default;
  ~RootStatements() {
    for (std::size_t i = 0; i < size_; ++i) slot(i)->~Statement();
    for (Statement* chunk : chunks_) ::operator delete(chunk);
  }
  RootStatements(const RootStatements&) = delete;
  RootStatements& operator=(const RootStatements&) = delete;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void push_back(Statement&& s) {
    ::new (static_cast<void*>(next_slot())) Statement(std::move(s));
    ++size_;
  }
  // As StatementBuffer::read.
  void read(ParserContext& ctx, statements::TrailingValue& trailing) {
    read_statements(ctx, trailing, [this] {
      void* slot = next_slot();
      ++size_;
      return slot;
    });
  }
  Statement& back() { return *slot(size_ - 1); }
  void pop_back() { slot(--size_)->~Statement(); }
  // Moves every statement, in order, to the end of `list`, which has room
  // for them, freeing each chunk once it is moved.
  void drain_into(NodeList<Statement>& list) {
    std::size_t left = size_;
    const std::size_t here = left < kInPlace ? left : kInPlace;
    list.relocate_back(slot(0), here);
    left -= here;
    for (Statement*& chunk : chunks_) {
      const std::size_t n = left < kChunk ? left : kChunk;
      list.relocate_back(chunk, n);
      left -= n;
      ::operator delete(chunk);
      chunk = nullptr;
    }
    chunks_.clear();
    size_ = 0;
  }

 private:
  static constexpr std::size_t kInPlace = 4;
  static constexpr std::size_t kChunk = 64;
  Statement* slot(std::size_t i) {
    if (i < kInPlace) return std::launder(reinterpret_cast<Statement*>(storage_ + i * sizeof(Statement)));
    i -= kInPlace;
    return chunks_[i / kChunk] + i % kChunk;
  }
  Statement* next_slot() {
    if (size_ >= kInPlace && (size_ - kInPlace) % kChunk == 0 && (size_ - kInPlace) / kChunk == chunks_.size()) {
      chunks_.reserve(chunks_.size() + 1);  // no chunk is lost to a failed push
      chunks_.push_back(static_cast<Statement*>(::operator new(kChunk * sizeof(Statement))));
    }
    return slot(size_);
  }

  alignas(Statement) unsigned char storage_[kInPlace * sizeof(Statement)];
  std::size_t size_ = 0;
  std::vector<Statement*> chunks_;  // kChunk statements each
};

// The root's parts as the script loop leaves them. Gathered on the heap and
// moved into the tree at their exact count: a list grown in place would leave
// its outgrown blocks in the arena. In small pieces, each freed once moved,
// since the list is made at the parse's peak: a doubling vector would stand
// there with its slack.
struct Gathered {
  RootStatements statements;
  std::unique_ptr<Expression> value;
  std::optional<TokenRef> eof;
};

// Filled in place: the first statements live inside the parts.
void gather(ParserContext& ctx, Gathered& g) {
  for (;;) {
    const std::size_t before = g.statements.size();
    statements::TrailingValue trailing;
    g.statements.read(ctx, trailing);
    const bool produced = g.statements.size() > before;
    auto e = trailing_expression(ctx, trailing);
    const Token* next = ctx.peek();
    if (next == nullptr) {
      g.value = std::move(e);
      break;
    }
    if (next->kind.is_eof()) {
      ctx.next();
      g.eof = TokenRef::borrow(*next);
      g.value = std::move(e);
      break;
    }
    if (e) {
      auto semi = statements::semicolon(ctx);
      g.statements.push_back(expressions::build(ctx, Statement::Expression{std::move(e), std::move(semi)}));
      continue;
    }
    if (!produced) {
      ctx.next();
      g.statements.push_back(Statement::unknown(TokenRef::borrow(*next), stray_token_code(*next)));
    }
  }
}

Script finish(Gathered& g) {
  auto value = take_value(g.statements, std::move(g.value));
  NodeList<Statement> body;
  body.reserve(g.statements.size());
  g.statements.drain_into(body);
  if (!g.eof) {
    g.eof = TokenRef::make(
        Token::unknown(ByteRange{0, 0}, TokenKind(TokenKind::Eof{}), DiagnosticCode::UnexpectedToken));
  }
  return Script{std::move(body), std::move(value), std::move(*g.eof)};
}

}  // namespace

Script script(ParserContext& ctx) {
  Gathered g;
  gather(ctx, g);
  return finish(g);
}

}  // namespace scripts

std::optional<Script> parse(ParserContext& input) {
  NodeArena::Scope arena;
  scripts::Gathered gathered;
  {
    // What only reading needs goes before the root list is made, at the
    // parse's peak.
    StatementBuffers buffers;
    memo::Scope memo(input.state(), input.tokens);
    try {
      scripts::gather(input, gathered);
    } catch (const ParseAborted&) {
      return std::nullopt;
    }
  }
  return scripts::finish(gathered);
}

}  // namespace vaxo_core::parser
