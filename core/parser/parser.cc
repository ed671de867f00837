#include "core/parser/parser.h"

#include <cstddef>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "core/parser/expressions.h"
#include "core/parser/failure_memo.h"
#include "core/parser/helper.h"
#include "core/parser/statements.h"

namespace vaxo_core::parser {
namespace {

// One run of `statement`, appended to `out`.
template <class Buffer>
void read_statements(ParserContext& ctx, statements::TrailingValue& trailing, Buffer& out) {
  for (;;) {
    const auto before = ctx.checkpoint();
    std::optional<Statement> s = statements::statement(ctx, &trailing);
    if (!s) return;
    if (ctx.checkpoint() == before) throw InternalError("`repeat` parsers must always consume");
    out.push_back(std::move(*s));
  }
}

// A block's statements while it is read; kept per nesting level for the
// whole parse, so its capacity is reused by every block at that level.
using StatementBuffer = GrowingBuffer<Statement>;

// opt(expression), taking what the failed statement already read there.
std::unique_ptr<Expression> trailing_expression(ParserContext& ctx, statements::TrailingValue& trailing) {
  if (auto e = trailing.take_at(ctx)) return e;
  return expressions::expression(ctx);
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
    StatementBuffer& read = *buffer;
    read_statements(ctx, trailing, read);
    // The value is taken off before the list is made: no slot is left over.
    value = take_value(read, trailing_expression(ctx, trailing));
    statements.reserve(read.size() + (room_for_value && value ? 1 : 0));
    read.move_into(statements);
  }
  return {std::move(statements), std::move(value)};
}

}  // namespace helper

namespace scripts {

namespace {

// The root's statements in order: the first few in place, the rest in chunks
// made on need, so a short script allocates nothing here, and a chunk once
// full is never moved again.
class RootStatements {
 public:
  RootStatements() = default;
  ~RootStatements() {
    for (std::size_t i = 0; i < size_; ++i) slot(i)->~Statement();
  }
  RootStatements(const RootStatements&) = delete;
  RootStatements& operator=(const RootStatements&) = delete;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void push_back(Statement&& s) {
    ::new (next_slot()) Statement(std::move(s));
    ++size_;
  }
  Statement& back() { return *slot(size_ - 1); }
  void pop_back() { slot(--size_)->~Statement(); }
  // Moves every statement, in order, to the end of `list`, which has room
  // for them, freeing each chunk once it is emptied.
  void drain_into(NodeList<Statement>& list) {
    for (std::size_t i = 0; i < size_; ++i) {
      list.take_back(slot(i), 1);
      if (i >= kInPlace && (i - kInPlace) % kChunk == kChunk - 1) chunks_[(i - kInPlace) / kChunk].reset();
    }
    size_ = 0;
    chunks_.clear();
  }

 private:
  static constexpr std::size_t kInPlace = 4;
  static constexpr std::size_t kChunk = 64;
  struct Chunk {
    alignas(Statement) unsigned char bytes[kChunk * sizeof(Statement)];
  };
  unsigned char* address(std::size_t i) {
    if (i < kInPlace) return storage_ + i * sizeof(Statement);
    i -= kInPlace;
    return chunks_[i / kChunk]->bytes + i % kChunk * sizeof(Statement);
  }
  Statement* slot(std::size_t i) { return std::launder(reinterpret_cast<Statement*>(address(i))); }
  void* next_slot() {
    if (size_ >= kInPlace && (size_ - kInPlace) / kChunk == chunks_.size()) {
      chunks_.push_back(std::make_unique_for_overwrite<Chunk>());
    }
    return address(size_);
  }

  alignas(Statement) unsigned char storage_[kInPlace * sizeof(Statement)];
  std::size_t size_ = 0;
  std::vector<std::unique_ptr<Chunk>> chunks_;
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
    read_statements(ctx, trailing, g.statements);
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
