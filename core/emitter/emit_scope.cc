// Scopes, declarations and parameters of the Emitter.

#include <string>
#include <utility>

#include "core/diagnostic/internal_error.h"
#include "core/emitter/emitter.h"

namespace vaxo_core::emitter {

void Emitter::enter_scope(ByteRange range) {
  if (range.end < range.start) {
    throw InternalError(concat({"Invalid scope range ", std::to_string(range.start), "..", std::to_string(range.end)}));
  }
  enter_leveled_scope(range, closures.size());
}

void Emitter::enter_leveled_scope(ByteRange range, std::size_t level) {
  scopes.push(level);
  push_in_category(diagnostics, config.diagnostic_tag, DiagnosticCode::Scope, range);
}

void Emitter::exit_scope() {
  scopes.pop(diagnostics);
}

void Emitter::report_redeclaration(const lexer::Token& access, Variable& existing) {
  diagnostics.push(DiagnosticCode::DuplicateVariableDeclaration, access.range);
  existing.put_decl_ref(diagnostics);
  existing.mark_redeclare(access);
}

bool Emitter::declare_variable(const lexer::Token& id_token, bool is_mutable, BindType bind_type) {
  // A keyword kept as a name (`fn global`, `const _`) was reported by the
  // parser; declaring it would only invent a variable nobody can name.
  std::optional<std::string_view> name = id_name(id_token.kind);
  if (!name) return false;
  std::uint64_t name_hash = Scopes::hash(*name);
  // One probe finds a duplicate and the slot of the new name.
  Scopes::Spot spot = scopes.spot(*name, name_hash);
  if (spot.local != nullptr) {
    report_redeclaration(id_token, *spot.local);
    return false;
  }
  std::size_t level = scopes.current().level();
  Register reg = closures.add_variable_reg(level);
  keep_references();
  scopes.declare_at(spot, name_hash, *name, id_token.range, is_mutable, bind_type, reg, level);
  return true;
}

bool Emitter::declare_parameter(std::size_t index, const lexer::Token* id_token, ByteRange range, bool is_mutable,
                                BindType bind_type) {
  Register reg = Register::make(index + 1);
  std::string_view name;
  if (id_token != nullptr) {
    std::optional<std::string_view> id = id_name(id_token->kind);
    if (!id) throw InternalError("Parameter must have an identifier");
    name = *id;
  } else if (bind_type == BindType::ItParameter) {
    name = "it";
  }
  // One probe finds a duplicate and the slot, as for any declaration; only a
  // named parameter is checked (the unnamed ones share a name).
  std::uint64_t name_hash = Scopes::hash(name);
  Scopes::Spot spot = scopes.spot(name, name_hash);
  if (id_token != nullptr && spot.local != nullptr) {
    report_redeclaration(*id_token, *spot.local);
    return false;
  }
  keep_references();
  scopes.declare_at(spot, name_hash, name, range, is_mutable, bind_type, reg, closures.size());
  return true;
}

void Emitter::keep_references() {
  // The references of variables are tags: when the collector drops them they
  // are not gathered at all (the Config is read as it is now).
  scopes.keep_references(diagnostics.should_push(DiagnosticCode::ReadLocal));
}

Register Emitter::initialize_variable(Variable& variable) {
  if (!variable.has_register()) variable.set_register(closures.add_reg(), closures.size());
  variable.initialize();
  return variable.reg();
}

}  // namespace vaxo_core::emitter
