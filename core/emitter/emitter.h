// Emitter: the state of one emission (options, chunk, register frames,
// scopes, and the emitter's own diagnostics collector) and every operation of
// the code generator. The operations call each other recursively; they are
// split by concern over several files:
//
//   emitter.cc          entry, function blocks, blocks, unreachable
//   writer.cc           instruction writers and the source map
//   emitter_scope.cc    scopes, declarations, parameters (with Scopes itself)
//   emit_expression.cc  values, names, records, arrays, simple arms
//   emit_call.cc        calls, extension calls, type calls, tagged strings
//   emit_control.cc     operators and control flow
//   emit_statement.cc   statements and their declarations
//   emit_declaration.cc the declaration pass over expressions, static checks
//   emit_pattern.cc     patterns; emit_record_array_pattern.cc destructuring
//
// The chunk's code is touched only by the writers (writer.cc, and the short
// paths of the common ones at the end of this header).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/diagnostic/source_diagnostic.h"
#include "core/emitter/chunk.h"
#include "core/emitter/closures.h"
#include "core/emitter/opcode.h"
#include "core/emitter/emitter_scope.h"
#include "core/base/nesting_budget.h"
#include "core/lexer/token.h"
#include "core/parser/ast.h"
#include "core/parser/ast_walker.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::emitter {

// For a static_assert in the branch of a visit no alternative may reach.
template <typename>
inline constexpr bool kUnhandled = false;

using lexer::Keyword;
using lexer::Operator;
using lexer::Token;
using lexer::TokenKind;
using parser::Expression;
using parser::Pattern;
using parser::range;
using parser::Script;
using parser::Statement;

// From the start of `from` to the end of `to`.
inline ByteRange span(ByteRange from, ByteRange to) { return ByteRange{from.start, to.end}; }

// TokenKind::to_id_name: the name of an identifier token, none for any other.
inline std::optional<std::string_view> id_name(const lexer::TokenKind& kind) {
  if (const auto id = kind.get_if<lexer::TokenKind::Identifier>()) return id->name;
  return std::nullopt;
}

// TokenKind::as_operator and as_keyword.
inline std::optional<lexer::Operator> operator_of(const lexer::TokenKind& kind) {
  if (const auto* o = kind.get_if<lexer::TokenKind::Operator>()) return o->op;
  return std::nullopt;
}
inline std::optional<lexer::Keyword> keyword_of(const lexer::TokenKind& kind) {
  if (const auto* k = kind.get_if<lexer::TokenKind::Keyword>()) return k->keyword;
  return std::nullopt;
}

// TokenKind::to_field_name.
inline std::optional<lexer::FieldName> field_name(const lexer::TokenKind& kind) {
  if (const auto id = kind.get_if<lexer::TokenKind::Identifier>()) {
    return lexer::FieldName{DiagnosticCode::RecordFieldIdName, lexer::CowText(id->name)};
  }
  return kind.to_field_name();
}

// A wide operand: four bytes, little-endian.
inline std::uint8_t* put_wide(std::uint8_t* p, std::uint32_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &value, 4);
    return p + 4;
  }
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
  p[2] = static_cast<std::uint8_t>(value >> 16);
  p[3] = static_cast<std::uint8_t>(value >> 24);
  return p + 4;
}

// Record fields are tagged with a code chosen when running, pushed as tags.
static_assert(diagnostic::is_tag(DiagnosticCode::RecordFieldIdName) &&
              diagnostic::is_tag(DiagnosticCode::RecordFieldOrdinalName) &&
              diagnostic::is_tag(DiagnosticCode::RecordFieldStringName) &&
              diagnostic::is_tag(DiagnosticCode::UnnamedRecordField0) &&
              diagnostic::is_tag(DiagnosticCode::UnnamedRecordField9) &&
              diagnostic::is_tag(DiagnosticCode::UnnamedRecordFieldN));

// The register a `break` writes the innermost loop's value into; none
// outside loops (and inside a function nested in a loop).
using Brk = std::optional<Register>;

// Turns the script into serialised chunk bytes. The emitter's diagnostics
// are appended to `collector` after everything already in it.
std::vector<std::uint8_t> emit(const Script& script, DiagnosticsCollector& collector);

// One level of the emitter's recursion. The parser bounds the tree's height
// by what this thread's stack holds (TreeCost, parser_context.h), so running
// out here is a broken invariant: InternalError.
class EmitDepth {
 public:
  // A refused level throws before the object exists: the destructor only
  // ever leaves a level that was entered.
  explicit EmitDepth(NestingBudget& budget) : budget_(budget) {
    if (!budget.enter()) [[unlikely]] exhausted();
  }
  ~EmitDepth() { budget_.leave(); }
  EmitDepth(const EmitDepth&) = delete;
  EmitDepth& operator=(const EmitDepth&) = delete;

 private:
  [[noreturn]] static void exhausted();

  NestingBudget& budget_;
};

// Names of a nil in other languages: a global read by one of them gets a hint.
inline constexpr std::string_view kNilLikeNames[] = {"null", "Null", "NULL", "undefined", "None", "Nothing"};
// Bit n: some name has n bytes.
inline constexpr std::uint32_t kNilLikeLengths = [] {
  std::uint32_t lengths = 0;
  for (std::string_view n : kNilLikeNames) lengths |= 1u << n.size();
  return lengths;
}();

class Emitter {
 public:
  // Guarded levels of the emitter's recursion. A tree level passes through a
  // few guarded operations (an infix chain: emit_expression and
  // emit_expression_reg), and the parser lets trees grow to its height bound;
  // the budget's stack check is what stops a small thread stack.
  static constexpr std::size_t kMaxDepth = 8 * std::size_t{parser::ParserState::kMaxTreeHeight};
  // The stack check stops this far above the stack's low end: half the
  // reserve the parser keeps below its height bound, so that the emitter's
  // first frames and the deepest level's work fit without reaching it.
  static constexpr std::size_t kBackstopReserve = NestingBudget::kStackReserve / 2;

  // Bound to the caller's text and options; its own collector starts empty.
  // The source-map switch is read here: switching it later has no effect.
  // `max_depth` bounds the recursion (a backstop: the parser bounds the tree).
  explicit Emitter(const DiagnosticsCollector& caller, std::size_t max_depth = kMaxDepth);

  const config::Config& config;
  Chunk chunk;
  Closures closures;
  Scopes scopes;
  DiagnosticsCollector diagnostics;

  // ---- Instruction writers (writer.cc) ----------------------------------
  // Each appends one instruction, narrow unless any operand is wide, then
  // records one SourceMap entry over `mapping`. A mapping that is absent or
  // runs backwards becomes the empty range at the end of the previous
  // mapping (0..0 for the first); one past the text is an internal error.

  void op(ByteRange mapping, OpCode op);
  void op_1(ByteRange mapping, OpCode op, Register a);
  void op_2(ByteRange mapping, OpCode op, Operand a, Operand b);
  void op_3(ByteRange mapping, OpCode op, Operand a, Operand b, Operand c);
  void op_4(ByteRange mapping, OpCode op, Operand a, Operand b, Operand c, Operand d);
  // op, ret, N, R x N
  void op_variadic(ByteRange mapping, Register ret, OpCode op, std::span<const Register> regs);
  // op, ret, fixed, N, P x N
  void op_variadic_1(ByteRange mapping, Register ret, OpCode op, Register fixed, std::span<const OpParam> params);
  // op, ret, fixed, N, R x N, N, P x N
  void op_variadic_variadic_1(ByteRange mapping, Register ret, OpCode op, Operand fixed,
                              std::span<const Register> regs, std::span<const OpParam> params);

  void op_nil(ByteRange mapping, Register reg);
  void op_bool(ByteRange mapping, Register reg, bool value);
  void op_number(ByteRange mapping, Register reg, double value);
  void op_string(ByteRange mapping, Register reg, const lexer::CowText& value);
  void op_const(ByteRange mapping, Register reg, OpParam const_id);
  void op_unary(ByteRange mapping, Register ret, OpCode op, Register reg);
  void op_binary(ByteRange mapping, Register ret, OpCode op, Register left, Register right);
  void op_if(ByteRange mapping, OpCode if_code, Register cond);
  void op_else(ByteRange mapping);
  void op_if_end(ByteRange mapping);
  void op_return(ByteRange mapping, Register ret);
  void op_uninit(ByteRange mapping, Register reg);
  void op_non_nil(ByteRange mapping, Register reg);
  void op_get(ByteRange mapping, Register ret, Register obj, const lexer::CowText& name);
  void op_get_index(ByteRange mapping, Register ret, Register obj, std::int32_t index);
  void op_get_dyn(ByteRange mapping, Register ret, Register obj, Register index);
  void op_get_upvalue(ByteRange mapping, Register reg, std::size_t level, Register up_reg);
  void op_set_upvalue(ByteRange mapping, Register reg, std::size_t level, Register up_reg);
  void op_global(ByteRange mapping, Register reg, const lexer::CowText& name);
  void op_global_num(ByteRange mapping, Register reg, double name);
  void op_global_dyn(ByteRange mapping, Register reg, Register name);
  void op_format(ByteRange mapping, Register ret, Register val, const lexer::CowText& fmt);
  void op_call(ByteRange mapping, Register ret, const lexer::CowText& func, std::span<const Register> args,
               std::span<const OpParam> spreads);
  // A call of a global whose name's hash the lookup already took.
  void op_call(ByteRange mapping, Register ret, std::string_view func, std::uint64_t func_hash,
               std::span<const Register> args, std::span<const OpParam> spreads);
  void op_call_dyn(ByteRange mapping, Register ret, Register func, std::span<const Register> args,
                   std::span<const OpParam> spreads);

  // Header patching: the placeholder byte (narrow `placeholder`) and its
  // SourceMap entry now; the final code and operands once the body is written.
  Placeholder op_header(ByteRange mapping, OpCode placeholder);
  void patch_header(Placeholder at, OpCode final_op, std::initializer_list<Operand> operands);

  // Constant shortcuts: intern, write nothing. A new text is copied into the
  // chunk.
  OpParam add_const_bool(bool value);
  OpParam add_const_number(double value);
  OpParam add_const_ordinal(std::int32_t value);
  OpParam add_const_string(const lexer::CowText& text);
  OpParam add_const_string(std::string_view borrowed);

  // ---- Driver (emitter.cc) ----------------------------------------------

  // One function block whose value goes to `ret`: header, parameters,
  // declarations, body, Return, FuncEnd, then the patched header.
  void emit_fn_like(Register ret, ByteRange name_range, ByteRange scope_range, const parser::ParameterList* args,
                    std::span<const Statement> stmts, const Expression* expr);
  // The function block of a function statement or expression; a body that is
  // not a block writes nothing.
  void emit_fn(Register ret, ByteRange name_range, std::size_t scope_start, const parser::ParameterList* args,
               const Expression& body);
  // Function statements first, then the rest; the value (or nil) into `ret`.
  // Returns whether control cannot fall through. Opens no scope.
  bool emit_block(std::span<const Statement> stmts, const Expression* expr, ByteRange scope_range, Register ret,
                  Brk brk);
  void declare_block(std::span<const Statement> stmts, const Expression* expr);

  // A tree shape the parser never builds.
  template <typename A, typename B>
  [[noreturn]] static void unreachable(const A& start, const B& end,
                                       const char* file = __builtin_FILE(), unsigned line = __builtin_LINE()) {
    unreachable_at(debug_text(start), parser::range(start).start, debug_text(end), parser::range(end).end, file,
                   line);
  }

  // ---- Expressions (emit_expression.cc, emit_call.cc) -------------------

  void emit_expression(const Expression& expr, Register ret, Brk brk);
  // The register holding the value: a local variable's own register (no
  // instruction), or a fresh register filled by emit_expression.
  Register emit_expression_reg(const Expression& expr, Brk brk);
  // The register of a name as an operand (emit_expression_reg of a
  // Variable), once the name is looked up.
  Register variable_reg(const lexer::Token& token, std::string_view name, const std::optional<FoundVariable>& found) {
    // Only a register of the current frame can be used in place; a name of a
    // `for` scope bound in the enclosing frame is read like an outer one.
    if (found && found->local && found->variable->frame(found->level) == closures.size()) {
      Variable& v = *found->variable;
      v.mark_read(token);
      return check_initialized(token, v, found->level) ? v.reg() : Register();
    }
    return read_into_fresh(token, name, found);
  }
  // variable_reg of any other name: read into a fresh register.
  [[gnu::noinline]] Register read_into_fresh(const lexer::Token& token, std::string_view name,
                                             const std::optional<FoundVariable>& found);
  void emit_var_read(const lexer::Token& token, Register ret);
  // The same once the name is looked up; defined (and used) only in
  // emit_expression.cc.
  inline void emit_var_read(const lexer::Token& token, std::string_view name,
                            const std::optional<FoundVariable>& found, Register ret);
  // The identifier of a name token; a bare `global` is reported.
  std::optional<std::string_view> get_var_name(const lexer::Token& token);
  void hint_mislead_nil(std::string_view name, ByteRange range) {
    // Only a name of a nil-like length can be one.
    if (name.size() < 32 && ((kNilLikeLengths >> name.size()) & 1u) != 0) hint_nil_like(name, range);
  }
  void hint_nil_like(std::string_view name, ByteRange range);
  // The value of a number, ordinal, `nan` or `inf` literal (not parenthesised).
  static std::optional<double> number_constant(const Expression& expr);
  // The expression is the bare keyword `global`.
  static bool is_global_expression(const Expression& expr);

  void emit_call(const parser::Callable& callable, const Expression* first, std::span<const parser::ArgumentItem> rest,
                 Register ret, Brk brk);
  // The global name a call can use directly (recording its tag), if any.
  std::optional<lexer::CowText> emit_global_access(const Expression& callee);

  // The arms of emit_expression, one per variant (`whole` gives the ranges).
  void emit_arm(const Expression& whole, const Expression::Literal& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::InterpolatedString& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Variable& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Grouping& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Record& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Array& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Call& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::TaggedString& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Extension& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Access& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Index& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Slice& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::NonNil& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Prefix& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Infix& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Is& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Block& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Loop& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::While& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::ForIn& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::If& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Cond& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Match& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Function& n, Register ret, Brk brk);
  void emit_arm(const Expression& whole, const Expression::Unknown& n, Register ret, Brk brk);

  // ---- Statements, patterns, declaration pass ----------------------------

  // Returns whether control cannot fall through the statement.
  bool emit_statement(const Statement& stmt, Brk brk);
  void declare_statement(const Statement& stmt);
  void declare_expression(const Expression& expr);
  // `success` register 0 is the irrefutable context; no bind type rebinds.
  void emit_pattern(Register success, const Pattern& pattern, Register value, std::optional<BindType> bind_type);
  void declare_pattern(const Pattern& pattern, std::optional<BindType> bind_type);

  // ---- Patterns, declaration pass, statements, control flow: the parts ----
  // (emit_pattern.cc, emit_record_array_pattern.cc, emit_declaration.cc,
  //  emit_statement.cc, emit_control.cc)

  // A literal or constant pattern (behind any groupings) as one identity
  // test `op` (Same, or Nsame when negated); false, writing nothing, for
  // any other pattern.
  bool emit_constant_pattern(Register success, const Pattern& pattern, Register value, OpCode op);
  // Loads a literal pattern's constant into `value` and gives its kind; a
  // constant pattern is read like a variable and gives none.
  std::optional<ConstantDiscriminants> emit_literal_constant(const Pattern& pattern_constant, Register value);
  void emit_literal_guard(Register success, const Pattern& pattern, Register value, ConstantDiscriminants literal);
  void emit_constant_guard(Register success, const Pattern& pattern, Register value, Register constant);
  // Nil into every variable the pattern binds.
  void emit_failed_pattern(const Pattern& pattern, std::optional<BindType> bind_type);
  // The colon of an optional record member ("?:").
  static bool is_optional(const lexer::Token& colon);

  void declare_call(const Expression* receiver, const parser::TokenRef& l, const parser::TokenRef& r,
                    const parser::Callable& callable, std::span<const parser::ArgumentItem> args);
  // A bare non-boolean literal condition is reported; then the declaration pass.
  void declare_cond_expr(const Expression& cond);
  void declare_callable_expr(const Expression& callable);
  void declare_indexing_expr(const Expression& record_like);
  // At most one warning for a literal operand of the wrong kind.
  void check_static_operator_usage(const lexer::Token& op, const lexer::Token& literal);
  // Declares only the names that `is` patterns bind (no checks, tags or
  // hints), not entering the forms that open a scope: for the branches of a
  // conditional and the value of a match, which the declaration pass skips.
  void declare_is_names(const Expression& expr);

  // Helpers of the above.
  void emit_relation_pattern(Register success, const Pattern& pattern, const Pattern::Relation& n, Register value);
  void emit_range_pattern(Register success, const Pattern& pattern, const Pattern::Range& n, Register value);
  void emit_bind_pattern(Register success, const Pattern& pattern, const Pattern::Bind& n, Register value,
                         std::optional<BindType> bind_type);
  void emit_record_pattern(Register success, const Pattern& pattern, const Pattern::Record& n, Register value,
                           std::optional<BindType> bind_type);
  void emit_array_pattern(Register success, const Pattern& pattern, const Pattern::Array& n, Register value,
                          std::optional<BindType> bind_type);
  // `value` into the variable's register, directly or across frames.
  void store_variable(ByteRange at, const Variable& variable, std::size_t scope_level, Register value);
  void declare_pattern_names(const Pattern& pattern, std::optional<BindType> bind_type, bool hints);
  static const Pattern& member_pattern(const parser::RecordElementBase<Pattern, Pattern>& member);
  static const Pattern& element_pattern(const parser::ArrayElementBase<Pattern, Pattern>& element);
  void emit_assign(const Statement& whole, const Statement::Assign& n, Brk brk);
  // Whether the code of `value`, written into the register of the variable
  // `name`, may write that register before it has read all it reads.
  static bool overwrites_early(const Expression& value, std::string_view name);
  // The result register of `while` and `for`, with its Uninit when given.
  Register loop_result(ByteRange keyword, Register ret, bool has_else, bool in_loop_frame);
  // After a loop whose result is used: nil or the else branch when no break set it.
  void loop_else(ByteRange keyword, Register result, const Expression* else_body);

  // ---- Scopes and variables (emitter_scope.cc) --------------------------

  // A backward range is an internal error.
  void enter_scope(ByteRange range);
  void enter_leveled_scope(ByteRange range, std::size_t level);
  void exit_scope();
  // False (nothing declared) for a duplicate name, or for a name token that
  // is no identifier (a keyword the parser already reported).
  bool declare_variable(const lexer::Token& id_token, bool is_mutable, BindType bind_type);
  bool declare_parameter(std::size_t index, const lexer::Token* id_token, ByteRange range, bool is_mutable,
                         BindType bind_type);
  // Reports `access` as a second declaration of the name `existing` holds.
  void report_redeclaration(const lexer::Token& access, Variable& existing);
  // Whether the variables declared next gather their references.
  void keep_references();
  // The variable's register, taken from the innermost frame when it has
  // none yet; marks it initialised.
  Register initialize_variable(Variable& variable);
  // Whether a read may proceed, judged on the frame owning the register.
  bool check_initialized(const lexer::Token& access, const Variable& variable, std::size_t scope_level) {
    if (variable.initialized()) return true;
    return check_variable_initialized(diagnostics, closures, access, variable, variable.frame(scope_level));
  }

 private:
  template <typename Builder>
  void emit_expr_callable(const Expression& callee, Builder&& builder, Register ret, Brk brk);

  [[noreturn]] static void unreachable_at(std::string_view start_text, std::size_t start, std::string_view end_text,
                                          std::size_t end, const char* file, unsigned line);
  static std::string debug_text(const lexer::Token& token);
  static std::string debug_text(const parser::TokenRef& token);
  static std::string debug_text(const std::optional<parser::TokenRef>& token);
  static std::string debug_text(const Expression& expr);
  static std::string debug_text(const std::unique_ptr<Expression>& expr);
  static std::string debug_text(const Pattern& pattern);
  static std::string debug_text(const std::unique_ptr<Pattern>& pattern);
  static std::string debug_text(const parser::NodeList<Expression>& list);

  // The binds of a tall pattern in the order emit_failed_pattern meets them,
  // listed once: nested destructuring would otherwise walk each subtree again
  // at every level above it.
  const std::vector<const Pattern*>& failed_binds(const Pattern& pattern);
  void collect_failed_binds(const Pattern& pattern, std::vector<const Pattern*>& binds);
  void emit_failed_bind(const Pattern& bind, std::optional<BindType> bind_type);
  std::unordered_map<const Pattern*, std::vector<const Pattern*>> failed_binds_;

  NestingBudget budget_;
  // Operand lists being gathered (call arguments, record and array values),
  // innermost on top.
  std::vector<Register> scratch_regs_;
  std::vector<OpParam> scratch_params_;
  // The formats of interpolated pieces, beside their registers.
  std::vector<std::string_view> scratch_formats_;

  // An instruction without lists.
  template <std::size_t N>
  void write_fixed(ByteRange mapping, OpCode op, const Operand (&head)[N]);
  void write(ByteRange mapping, OpCode op, std::span<const Operand> head, const std::span<const Register>* regs,
             const std::span<const OpParam>* params);
  // write_fixed's general case: no room left, or a mapping that needs the
  // source map's checks.
  [[gnu::noinline]] void write_rare(std::size_t start, std::size_t end, OpCode op, const Operand* head,
                                    std::size_t n);
  void push_source_map(ByteRange mapping);
  [[gnu::noinline]] void push_source_map_entry(ByteRange mapping);

  // End of the previous SourceMap mapping: where an unusable mapping goes.
  std::size_t last_mapping_end_ = 0;
  std::size_t text_size_;
  // A mapping ending at or past this takes the general path: past the text,
  // or any mapping when the source map is on (0 then). Read when built.
  std::size_t map_bound_;
};

// The writers of instructions without lists.

template <std::size_t N>
inline void Emitter::write_fixed(ByteRange mapping, OpCode op, const Operand (&head)[N]) {
  // Every case that needs more than appending (no room, a mapping that is
  // absent, backwards, past the text, or recorded) goes to the general writer.
  constexpr std::size_t kMost = 1 + 4 * N;
  if (!chunk.has_code_room(kMost) || mapping.start > mapping.end || mapping.end >= map_bound_) [[unlikely]] {
    return write_rare(mapping.start, mapping.end, op, head, N);
  }
  bool wide = false;
  for (const Operand& o : head) wide |= o.wide;
  if (wide) {
    std::uint8_t* p = chunk.extend_code_in_room(kMost);
    *p++ = wide_code(op);
    for (const Operand& o : head) p = put_wide(p, o.value);
  } else {
    std::uint8_t* p = chunk.extend_code_in_room(1 + N);
    *p++ = code(op);
    for (const Operand& o : head) *p++ = static_cast<std::uint8_t>(o.value);
  }
  last_mapping_end_ = mapping.end;
}

inline void Emitter::op(ByteRange mapping, OpCode op) {
  if (!chunk.has_code_room(1) || mapping.start > mapping.end || mapping.end >= map_bound_) [[unlikely]] {
    return write_rare(mapping.start, mapping.end, op, nullptr, 0);
  }
  *chunk.extend_code_in_room(1) = code(op);
  last_mapping_end_ = mapping.end;
}

inline void Emitter::op_1(ByteRange mapping, OpCode op, Register a) {
  const Operand head[] = {a};
  write_fixed(mapping, op, head);
}

inline void Emitter::op_2(ByteRange mapping, OpCode op, Operand a, Operand b) {
  const Operand head[] = {a, b};
  write_fixed(mapping, op, head);
}

inline void Emitter::op_3(ByteRange mapping, OpCode op, Operand a, Operand b, Operand c) {
  const Operand head[] = {a, b, c};
  write_fixed(mapping, op, head);
}

inline void Emitter::op_nil(ByteRange mapping, Register reg) { op_2(mapping, OpCode::Assign, reg, Register()); }
inline void Emitter::op_const(ByteRange mapping, Register reg, OpParam const_id) {
  op_2(mapping, OpCode::Constant, reg, const_id);
}
inline void Emitter::op_unary(ByteRange mapping, Register ret, OpCode op, Register reg) {
  op_2(mapping, op, ret, reg);
}
inline void Emitter::op_binary(ByteRange mapping, Register ret, OpCode op, Register left, Register right) {
  op_3(mapping, op, ret, left, right);
}
inline void Emitter::op_if(ByteRange mapping, OpCode if_code, Register cond) { op_1(mapping, if_code, cond); }
inline void Emitter::op_else(ByteRange mapping) { op(mapping, OpCode::Else); }
inline void Emitter::op_if_end(ByteRange mapping) { op(mapping, OpCode::IfEnd); }

}  // namespace vaxo_core::emitter
