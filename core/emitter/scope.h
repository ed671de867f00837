// Scopes and variables. Every block, function body and loop opens a Scope;
// the declaration pass declares a block's names before its code is written.
// A Variable gathers the references of its uses while its scope is open and
// reports its tag, those references and (when never read) a hint at exit.
//
// A Variable's name borrows from the source text (or is a fixed literal).
// Each variable remembers the frame that owns its register, which normally is
// its scope's level but differs for a name bound in a `for` iterable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/diagnostic/diagnostics_collector.h"
#include "core/diagnostic/source_diagnostic.h"
#include "core/emitter/frame.h"
#include "core/emitter/opcode.h"
#include "core/lexer/token.h"

namespace vaxo_core::emitter {

using diagnostic::DiagnosticCode;
using diagnostic::DiagnosticsCollector;
using diagnostic::SourceDiagnostic;

enum class BindType : std::uint8_t {
  Let = 0,
  LetFunc = 1,
  Const = 2,
  Init = 3,
  Parameter = 4,
  ItParameter = 5,
  RestParameter = 6,
  PatternParameter = 7,
  RestPatternParameter = 8,
  ParameterSubPattern = 9,
  Func = 10,
};

std::string_view name(BindType b);

class Variable {
 public:
  // Initialised from the start only for the plain parameter kinds.
  // `frame` is the level of the frame that owns `reg` (ignored for register 0).
  Variable(std::string_view name, ByteRange declaration, bool is_mutable, BindType bind_type, Register reg,
           std::size_t frame);

  std::string_view name() const { return name_; }
  ByteRange declaration() const { return declaration_; }
  bool is_mutable() const { return mutable_; }
  BindType bind_type() const { return bind_type_; }
  // `register` is a keyword in C++.
  Register reg() const { return reg_; }
  bool has_register() const { return !reg_.is_empty(); }
  bool initialized() const { return initialized_; }
  const std::vector<SourceDiagnostic>& references() const { return reference_; }

  // The level of the frame holding the register; `scope_level` while the
  // variable has none yet.
  std::size_t frame(std::size_t scope_level) const { return has_register() ? frame_ : scope_level; }

  void set_register(Register reg, std::size_t frame) {
    reg_ = reg;
    frame_ = frame;
  }
  // Throws when the variable has no register.
  void initialize();

  // References bypass the collector until the scope ends: no range check,
  // no filter.
  void mark_read(const lexer::Token& access) { mark(access, DiagnosticCode::ReadLocal); }
  void mark_read_write(const lexer::Token& access) { mark(access, DiagnosticCode::ReadWriteLocal); }
  void mark_write(const lexer::Token& access) { mark(access, DiagnosticCode::WriteLocal); }
  void mark_redeclare(const lexer::Token& access) { mark(access, DiagnosticCode::RedeclareLocal); }

  // The declared-here reference over the declaration.
  void put_decl_ref(DiagnosticsCollector& diagnostics) const;

  // The scope-exit report: tag, references, then the unused hint.
  void exit(DiagnosticsCollector& diagnostics) &&;

 private:
  void mark(const lexer::Token& access, DiagnosticCode code) { reference_.push_back({access.range, code}); }

  std::string_view name_;
  ByteRange declaration_;
  bool mutable_;
  BindType bind_type_;
  Register reg_;
  std::vector<SourceDiagnostic> reference_;
  bool initialized_;
  std::size_t frame_;
};

class Scope {
 public:
  explicit Scope(std::size_t level) : level_(level) {}

  std::size_t level() const { return level_; }
  // Stable references: variables never move once declared.
  Variable& declare_variable(Variable variable);
  // The first variable declared with exactly this name.
  Variable* find_variable(std::string_view name);

  std::deque<Variable>& variables() { return variables_; }
  const std::deque<Variable>& variables() const { return variables_; }

 private:
  // Past this many variables a name index replaces the linear search.
  static constexpr std::size_t kLinearLimit = 8;

  std::deque<Variable> variables_;
  std::unordered_map<std::string_view, std::size_t> by_name_;
  std::size_t level_;
};

struct FoundVariable {
  std::size_t level;  // the level of the declaring scope
  Variable* variable;
};

class Scopes {
 public:
  void push(Scope scope) { scopes_.push_back(std::move(scope)); }
  // The innermost scope, removed; none when no scope is open.
  std::optional<Scope> pop();

  Scope& current();
  bool empty() const { return scopes_.empty(); }
  std::size_t size() const { return scopes_.size(); }

  // Innermost scope first.
  std::optional<FoundVariable> find_variable(std::string_view name);
  Variable* find_local_variable(std::string_view name);

 private:
  std::vector<Scope> scopes_;
};

// Whether a read of `variable` (whose register lives in the frame at `level`)
// may proceed; when not, records UninitializedVariable over `access` and the
// declared-here reference.
bool check_variable_initialized(DiagnosticsCollector& diagnostics, const Closures& closures,
                                const lexer::Token& access, const Variable& variable, std::size_t level);

}  // namespace vaxo_core::emitter
