#include "core/emitter/scope.h"

#include <string>
#include <utility>

#include "core/diagnostic/internal_error.h"

namespace vaxo_core::emitter {

std::string_view name(BindType b) {
  switch (b) {
    case BindType::Let: return "Let";
    case BindType::LetFunc: return "LetFunc";
    case BindType::Const: return "Const";
    case BindType::Init: return "Init";
    case BindType::Parameter: return "Parameter";
    case BindType::ItParameter: return "ItParameter";
    case BindType::RestParameter: return "RestParameter";
    case BindType::PatternParameter: return "PatternParameter";
    case BindType::RestPatternParameter: return "RestPatternParameter";
    case BindType::ParameterSubPattern: return "ParameterSubPattern";
    case BindType::Func: return "Func";
  }
  throw InternalError("Undeclared bind type");
}

namespace {

bool initialized_from_start(BindType b) {
  return b == BindType::Parameter || b == BindType::ItParameter || b == BindType::RestParameter;
}

DiagnosticCode declared_here(BindType b) {
  switch (b) {
    case BindType::Parameter:
    case BindType::PatternParameter: return DiagnosticCode::ParameterDeclaredHere;
    case BindType::ItParameter: return DiagnosticCode::ParameterItDeclaredHere;
    case BindType::RestParameter:
    case BindType::RestPatternParameter: return DiagnosticCode::ParameterRestDeclaredHere;
    case BindType::ParameterSubPattern: return DiagnosticCode::ParameterSubPatternDeclaredHere;
    case BindType::Func: return DiagnosticCode::FunctionDeclaredHere;
    case BindType::Let:
    case BindType::LetFunc:
    case BindType::Const:
    case BindType::Init: return DiagnosticCode::VariableDeclaredHere;
  }
  throw InternalError("Undeclared bind type");
}

DiagnosticCode declaration_tag(BindType b, bool is_mutable) {
  switch (b) {
    case BindType::Let:
    case BindType::Init: return is_mutable ? DiagnosticCode::LocalMutable : DiagnosticCode::LocalImmutable;
    case BindType::LetFunc:
    case BindType::Func: return DiagnosticCode::LocalFunction;
    case BindType::Const: return DiagnosticCode::LocalConst;
    case BindType::Parameter:
      return is_mutable ? DiagnosticCode::ParameterMutable : DiagnosticCode::ParameterImmutable;
    case BindType::ItParameter: return DiagnosticCode::ParameterIt;
    case BindType::RestParameter:
      return is_mutable ? DiagnosticCode::ParameterMutableRest : DiagnosticCode::ParameterImmutableRest;
    case BindType::PatternParameter: return DiagnosticCode::ParameterPattern;
    case BindType::RestPatternParameter: return DiagnosticCode::ParameterRestPattern;
    case BindType::ParameterSubPattern:
      return is_mutable ? DiagnosticCode::ParameterSubPatternMutable : DiagnosticCode::ParameterSubPatternImmutable;
  }
  throw InternalError("Undeclared bind type");
}

}  // namespace

Variable::Variable(std::string_view name, ByteRange declaration, bool is_mutable, BindType bind_type, Register reg,
                   std::size_t frame)
    : name_(name),
      declaration_(declaration),
      mutable_(is_mutable),
      bind_type_(bind_type),
      reg_(reg),
      initialized_(initialized_from_start(bind_type)),
      frame_(frame) {}

void Variable::initialize() {
  if (!has_register()) throw InternalError(concat({"Variable ", name_, " has no register assigned"}));
  initialized_ = true;
}

void Variable::put_decl_ref(DiagnosticsCollector& diagnostics) const {
  diagnostics.push(declared_here(bind_type_), declaration_);
}

void Variable::exit(DiagnosticsCollector& diagnostics) && {
  diagnostics.push(declaration_tag(bind_type_, mutable_), declaration_);
  bool read = false;
  for (const SourceDiagnostic& r : reference_) read = read || r.error == DiagnosticCode::ReadLocal;
  diagnostics.extend(std::move(reference_));
  if (read) return;
  switch (bind_type_) {
    case BindType::ItParameter:
    case BindType::PatternParameter:
    case BindType::RestPatternParameter: return;
    case BindType::LetFunc:
    case BindType::Func: diagnostics.push(DiagnosticCode::UnusedLocalFunction, declaration_); return;
    case BindType::Let:
    case BindType::Const:
    case BindType::Init:
    case BindType::Parameter:
    case BindType::RestParameter:
    case BindType::ParameterSubPattern: diagnostics.push(DiagnosticCode::UnusedLocalVariable, declaration_); return;
  }
}

Variable& Scope::declare_variable(Variable variable) {
  std::size_t position = variables_.size();
  Variable& v = variables_.emplace_back(std::move(variable));
  if (position == kLinearLimit) {
    for (std::size_t i = 0; i < variables_.size(); ++i) by_name_.try_emplace(variables_[i].name(), i);
  } else if (position > kLinearLimit) {
    by_name_.try_emplace(v.name(), position);
  }
  return v;
}

Variable* Scope::find_variable(std::string_view name) {
  if (variables_.size() > kLinearLimit) {
    auto it = by_name_.find(name);
    return it == by_name_.end() ? nullptr : &variables_[it->second];
  }
  for (Variable& v : variables_) {
    if (v.name() == name) return &v;
  }
  return nullptr;
}

std::optional<Scope> Scopes::pop() {
  if (scopes_.empty()) return std::nullopt;
  std::optional<Scope> top(std::move(scopes_.back()));
  scopes_.pop_back();
  return top;
}

Scope& Scopes::current() {
  if (scopes_.empty()) throw InternalError("No scope entered");
  return scopes_.back();
}

std::optional<FoundVariable> Scopes::find_variable(std::string_view name) {
  for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it) {
    if (Variable* v = it->find_variable(name)) return FoundVariable{it->level(), v};
  }
  return std::nullopt;
}

Variable* Scopes::find_local_variable(std::string_view name) {
  if (scopes_.empty()) return nullptr;
  return scopes_.back().find_variable(name);
}

bool check_variable_initialized(DiagnosticsCollector& diagnostics, const Closures& closures,
                                const lexer::Token& access, const Variable& variable, std::size_t level) {
  if (variable.initialized()) return true;
  const auto& frames = closures.frames();
  if (level < frames.size()) {
    for (std::size_t i = level; i < frames.size(); ++i) {
      if (frames[i].late_binding()) return true;
    }
  }
  diagnostics.push(DiagnosticCode::UninitializedVariable, access.range);
  variable.put_decl_ref(diagnostics);
  return false;
}

}  // namespace vaxo_core::emitter
