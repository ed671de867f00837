// The emitter's entry, function blocks and blocks.

#include "core/emitter/emitter.h"

#include <algorithm>
#include <string>
#include <utility>

#include "core/emitter/concat.h"

namespace vaxo_core::emitter {

using parser::TokenRef;

void EmitDepth::exhausted() { throw InternalError("Emitter recursion exceeds the nesting bound"); }

namespace {

// Room for the code of a typical script and, past it, a small script's
// constants: the buffer becomes the serialised chunk. The code grows past it
// when it must.
std::size_t code_room(std::size_t text_size) { return Chunk::kHeaderSize + 2 * text_size + 64; }

}  // namespace

Emitter::Emitter(const DiagnosticsCollector& caller, std::size_t max_depth)
    : config(caller.config()),
      chunk(code_room(caller.script().size())),
      diagnostics(caller.config(), caller.script()),
      budget_(max_depth, kBackstopReserve),
      text_size_(caller.script().size()),
      map_bound_(caller.config().diagnostic_sourcemap ? 0 : text_size_ + 1) {
  // Room for about one constant per 64 bytes of text.
  if (text_size_ >= 64) chunk.reserve_constants(text_size_ / 64);
  // Interned texts come from the source.
  chunk.reserve_texts(text_size_);
  // Room for about one distinct name per 512 bytes of text.
  scopes.reserve_names(text_size_ / 512);
}

std::vector<std::uint8_t> emit(const Script& script, DiagnosticsCollector& collector) {
  Emitter emitter(collector);
  // The script is a function without parameters: an empty list, not `it`.
  // Nothing reads its parentheses: made once, and borrowed.
  static const Token kParens[] = {Token::make(Operator::OpenParen, ByteRange{0, 0}),
                                  Token::make(Operator::CloseParen, ByteRange{0, 0})};
  parser::ParameterList no_parameters{TokenRef::borrow(kParens[0]), {}, TokenRef::borrow(kParens[1])};
  ByteRange scope{0, parser::range(script.eof).end};
  // The emitter appends straight after the entries already collected (both
  // collectors filter by the same Config): no copy at the end. Should the
  // emission throw, the caller gets its own entries back, and only those.
  struct Lend {
    std::vector<SourceDiagnostic>& owner;
    std::vector<SourceDiagnostic>& borrower;
    std::size_t kept;
    ~Lend() {
      borrower.resize(std::min(kept, borrower.size()));
      owner = std::move(borrower);
    }
  };
  std::vector<SourceDiagnostic>& out = collector.data();
  std::size_t kept = out.size();
  emitter.diagnostics.data() = std::move(out);
  std::vector<std::uint8_t> bytes;
  {
    Lend lend{out, emitter.diagnostics.data(), kept};
    emitter.emit_fn_like(Register(), ByteRange{0, 0}, scope, &no_parameters, script.statements,
                         script.value.get());
    bytes = std::move(emitter.chunk).into_bytes();
    lend.kept = emitter.diagnostics.size();
  }
  return bytes;
}

void Emitter::emit_fn_like(Register ret, ByteRange name_range, ByteRange scope_range,
                           const parser::ParameterList* args, std::span<const Statement> stmts,
                           const Expression* expr) {
  EmitDepth depth(budget_);
  std::size_t param_count = args ? args->items.size() : 1;
  closures.enter(true, param_count);
  enter_scope(scope_range);
  Placeholder header = op_header(name_range, OpCode::Func);

  bool variadic = false;
  if (args == nullptr) {
    declare_parameter(0, nullptr, ByteRange{scope_range.start, scope_range.start}, false, BindType::ItParameter);
  } else {
    for (std::size_t i = 0; i < args->items.size(); ++i) {
      const auto& element = args->items[i].element;
      bool rest = element.is_spread();
      variadic = variadic || rest;
      const Pattern& pattern = rest ? *element.as_spread()->value : *element.as_element()->value;
      if (const Pattern::Bind* bind = pattern.get_if<Pattern::Bind>()) {
        declare_parameter(i, &bind->name.get(), bind->name.range(), bind->mut_keyword.has_value(),
                          rest ? BindType::RestParameter : BindType::Parameter);
      } else {
        declare_parameter(i, nullptr, parser::range(pattern), false,
                          rest ? BindType::RestPatternParameter : BindType::PatternParameter);
        declare_pattern(pattern, BindType::ParameterSubPattern);
      }
    }
  }

  declare_block(stmts, expr);

  if (args != nullptr) {
    for (std::size_t i = 0; i < args->items.size(); ++i) {
      const auto& element = args->items[i].element;
      bool rest = element.is_spread();
      const Pattern& pattern = rest ? *element.as_spread()->value : *element.as_element()->value;
      if (pattern.is_bind()) continue;
      emit_pattern(Register(), pattern, Register::make(i + 1), rest ? BindType::RestParameter : BindType::Parameter);
    }
  }

  // Taken after the declarations, so the block's names get the lower registers.
  Register result = closures.add_reg();
  bool terminated = emit_block(stmts, expr, scope_range, result, std::nullopt);
  ByteRange end{scope_range.end, scope_range.end};
  if (!terminated) op_return(end, result);
  op(end, OpCode::FuncEnd);

  patch_header(header, variadic ? OpCode::FuncVarg : OpCode::Func,
               {ret, OpParam::from_size(param_count), OpParam::from_size(closures.current().reg_len())});
  exit_scope();
  closures.exit();
}

void Emitter::emit_fn(Register ret, ByteRange name_range, std::size_t scope_start, const parser::ParameterList* args,
                      const Expression& body) {
  const Expression::Block* block = body.get_if<Expression::Block>();
  if (block == nullptr) return;
  ByteRange scope{scope_start, block->close_brace.range().start};
  emit_fn_like(ret, name_range, scope, args, block->statements, block->value.get());
}

bool Emitter::emit_block(std::span<const Statement> stmts, const Expression* expr, ByteRange scope_range,
                         Register ret, Brk brk) {
  EmitDepth depth(budget_);
  // A function defined by a statement holds its value before anything of
  // its block runs.
  for (const Statement& s : stmts) {
    if (s.is<Statement::Function>()) emit_statement(s, brk);
  }
  bool terminated = false;
  for (const Statement& s : stmts) {
    if (s.is<Statement::Function>()) continue;
    // Every statement is written, also those after a terminating one.
    if (emit_statement(s, brk)) terminated = true;
  }
  if (expr != nullptr) {
    emit_expression(*expr, ret, brk);
  } else if (!terminated && !ret.is_empty()) {
    op_nil(ByteRange{scope_range.end, scope_range.end}, ret);
  }
  return terminated;
}

void Emitter::declare_block(std::span<const Statement> stmts, const Expression* expr) {
  for (const Statement& s : stmts) declare_statement(s);
  if (expr != nullptr) declare_expression(*expr);
}

void Emitter::unreachable_at(std::string_view start_text, std::size_t start, std::string_view end_text,
                             std::size_t end, const char* file, unsigned line) {
  throw InternalError(concat({"Unreachable ", start_text, "(", std::to_string(start), ") ", end_text, "(",
                              std::to_string(end), ") at ", file, ":", std::to_string(line)}));
}

std::string Emitter::debug_text(const lexer::Token& token) { return token.to_string(); }
std::string Emitter::debug_text(const parser::TokenRef& token) { return token.to_string(); }
std::string Emitter::debug_text(const std::optional<parser::TokenRef>& token) {
  return token ? token->to_string() : "None";
}
std::string Emitter::debug_text(const Expression& expr) {
  return concat({"Expression#", std::to_string(expr.node.index())});
}
std::string Emitter::debug_text(const std::unique_ptr<Expression>& expr) {
  return expr ? debug_text(*expr) : "None";
}
std::string Emitter::debug_text(const Pattern& pattern) {
  return concat({"Pattern#", std::to_string(pattern.node.index())});
}
std::string Emitter::debug_text(const std::unique_ptr<Pattern>& pattern) {
  return pattern ? debug_text(*pattern) : "None";
}
std::string Emitter::debug_text(const parser::NodeList<Expression>& list) {
  return concat({"[", std::to_string(list.size()), " expressions]"});
}

}  // namespace vaxo_core::emitter
