#include "core/emitter/emitter_scope.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "core/diagnostic/internal_error.h"
#include "core/emitter/emitter.h"
#include "core/emitter/hash.h"
#include "core/emitter/spare.h"

namespace vaxo_core::emitter {

namespace {

bool initialized_from_start(BindType b) {
  return b == BindType::Parameter || b == BindType::ItParameter || b == BindType::RestParameter;
}

constexpr DiagnosticCode declared_here(BindType b) {
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

constexpr DiagnosticCode declaration_tag(BindType b, bool is_mutable) {
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

// The pushes below rely on each table staying in one category.
constexpr bool tables_keep_their_categories() {
  for (int b = 0; b <= static_cast<int>(BindType::Func); ++b) {
    auto bind = static_cast<BindType>(b);
    if (!diagnostic::is_reference(declared_here(bind))) return false;
    if (!diagnostic::is_tag(declaration_tag(bind, false)) || !diagnostic::is_tag(declaration_tag(bind, true))) {
      return false;
    }
  }
  return true;
}
static_assert(tables_keep_their_categories());

}  // namespace

Variable::Variable(std::string_view name, ByteRange declaration, bool is_mutable, BindType bind_type, Register reg,
                   std::size_t frame)
    : name_(name),
      declaration_(declaration),
      reg_(reg),
      frame_(narrow_frame(frame)),
      mutable_(is_mutable),
      bind_type_(bind_type),
      initialized_(initialized_from_start(bind_type)) {}

void Variable::no_register() const {
  throw InternalError(concat({"Variable ", name_, " has no register assigned"}));
}

// Closing a scope leaves its slots as they are.
static_assert(std::is_trivially_destructible_v<Variable>);

void Variable::frame_too_deep() { throw InternalError("Frame level past 32 bits"); }

std::vector<SourceDiagnostic> Variable::references() const {
  std::vector<SourceDiagnostic> out;
  if (references_ == nullptr) return out;
  for (std::uint32_t link = first_reference_; link != 0; link = references_->references_[link - 1].next) {
    const Scopes::Reference& r = references_->references_[link - 1];
    out.push_back(SourceDiagnostic{r.range, r.code});
  }
  return out;
}

void Variable::put_decl_ref(DiagnosticsCollector& diagnostics) const {
  push_in_category(diagnostics, diagnostics.config().diagnostic_reference, declared_here(bind_type_), declaration_);
}

// The scope-exit report of one variable: its tag when `tag`, its
// references, and the unused hint when `hint`.
[[gnu::always_inline]] inline void Variable::exit_with(DiagnosticsCollector& diagnostics, bool tag, bool hint) {
  // The tag's code is worked out only when something may be pushed (or a
  // bad range reported).
  bool in_text = declaration_.start <= declaration_.end && declaration_.end <= diagnostics.script().size();
  if (tag || !in_text) push_in_category(diagnostics, tag, declaration_tag(bind_type_, mutable_), declaration_);
  if (first_reference_ != 0) references_->report_references(*this, diagnostics);
  if (read_) return;
  switch (bind_type_) {
    case BindType::ItParameter:
    case BindType::PatternParameter:
    case BindType::RestPatternParameter: return;
    case BindType::LetFunc:
    case BindType::Func:
      push_in_category(diagnostics, hint, DiagnosticCode::UnusedLocalFunction, declaration_);
      return;
    case BindType::Let:
    case BindType::Const:
    case BindType::Init:
    case BindType::Parameter:
    case BindType::RestParameter:
    case BindType::ParameterSubPattern:
      push_in_category(diagnostics, hint, DiagnosticCode::UnusedLocalVariable, declaration_);
      return;
  }
}


Scopes::Scopes() {
  EmitterSpare* spare = emitter_spare();
  if (spare == nullptr || !spare->scopes.full) return;
  Spare& kept = spare->scopes;
  kept.full = false;
  scopes_ = std::move(kept.scopes);
  blocks_ = std::move(kept.blocks);
  bindings_ = std::move(kept.bindings);
  references_ = std::move(kept.references);
  index_ = std::move(kept.index);
  if (!index_.empty()) index_shift_ = 32 - std::countr_zero(index_.size());
  names_ = std::move(kept.names);
  names_capacity_ = kept.names_capacity;
}

Scopes::~Scopes() {
  // Closing every scope frees every slot of the index: it is reusable as is.
  while (!scopes_.empty()) pop();
  EmitterSpare* spare = emitter_spare();
  if (spare == nullptr) return;
  Spare& kept = spare->scopes;
  if (kept.full || used_slots_ != 0 || blocks_.size() > Spare::kMaxBlocks || index_.size() > Spare::kMaxSlots ||
      names_capacity_ > Spare::kMaxNames || scopes_.capacity() > Spare::kMaxEntries ||
      bindings_.capacity() > Spare::kMaxEntries || references_.capacity() > Spare::kMaxEntries) {
    return;
  }
  kept.scopes = std::move(scopes_);
  kept.blocks = std::move(blocks_);
  kept.bindings = std::move(bindings_);
  // Every chain was freed with its scope: the pool starts empty again.
  references_.clear();
  kept.references = std::move(references_);
  kept.index = std::move(index_);
  kept.names = std::move(names_);
  kept.names_capacity = names_capacity_;
  kept.full = true;
}

[[gnu::always_inline]] inline void Scopes::erase_slot(std::size_t hole) {
  // The name was the last one copied in: its text is the top of the stack
  // (checked, so a broken order wastes room instead of reusing a live text).
  const Slot& gone = index_[hole];
  if (gone.offset + std::size_t{gone.length} == names_size_) names_size_ = gone.offset;
  free_slot(hole);
}

[[gnu::always_inline]] inline void Scopes::free_slot(std::size_t hole) {
  --used_slots_;
  std::size_t mask = index_.size() - 1;
  std::size_t next = (hole + 1) & mask;
  // Mostly the end of its run: nothing to move.
  if (index_[next].offset == kFree) [[likely]] {
    index_[hole] = Slot{kFree, 0, 0, 0};
    return;
  }
  shift_back(hole);
}

void Scopes::shift_back(std::size_t hole) {
  // Backward shift: each later slot of the run moves into the hole when its
  // home lies at or before the hole, so every probe still finds its name.
  std::size_t mask = index_.size() - 1;
  for (std::size_t next = (hole + 1) & mask; index_[next].offset != kFree; next = (next + 1) & mask) {
    std::size_t home = index_[next].tag >> index_shift_;
    if (((next - home) & mask) >= ((next - hole) & mask)) {
      index_[hole] = index_[next];
      hole = next;
    }
  }
  index_[hole] = Slot{kFree, 0, 0, 0};
}

// The position of the variable declared next; a new block when the last is full.
[[gnu::always_inline]] inline std::size_t Scopes::push_variable_position() {
  Scope& scope = current();
  std::size_t position = variable_count_;
  if (position >= std::numeric_limits<std::uint32_t>::max()) [[unlikely]] {
    throw InternalError("Too many variables in scope");
  }
  if ((position >> kBlockBits) == blocks_.size()) [[unlikely]] add_block();
  ++variable_count_;
  ++scope.count_;
  return position;
}

void Scopes::add_block() { blocks_.push_back(std::unique_ptr<Variable[]>(new Variable[kBlockSize])); }

void Scopes::too_many_references() { throw InternalError("References past 32 bits"); }

void Scopes::report_references(Variable& variable, DiagnosticsCollector& diagnostics) {
  // Filtered one by one, as the collector's own extend does.
  std::uint32_t link = variable.first_reference_;
  while (link != 0) {
    const Reference& r = references_[link - 1];
    if (diagnostics.should_push(r.code)) diagnostics.data().push_back(SourceDiagnostic{r.range, r.code});
    link = r.next;
  }
  release_references(variable);
}

void Scopes::release_references(Variable& variable) {
  if (variable.first_reference_ == 0) return;
  references_[variable.last_reference_ - 1].next = free_references_;
  free_references_ = variable.first_reference_;
  variable.first_reference_ = 0;
  variable.last_reference_ = 0;
}

void Scopes::pop() {
  if (scopes_.empty()) return;
  const Scope& top = scopes_.back();
  // Latest first, so a name hidden twice in this scope comes back right.
  while (variable_count_ > top.first_) {
    std::size_t i = variable_count_ - 1;
    const Binding& b = bindings_[i];
    if (b.hides != kNotIndexed) {
      std::size_t slot = slot_of(b.tag, i);
      if (b.hides != 0) {
        index_[slot].bound = b.hides;
      } else {
        erase_slot(slot);
      }
    }
    release_references(at(i));
    bindings_.pop_back();
    variable_count_ = i;
  }
  scopes_.pop_back();
}

void Scopes::close_variables(std::size_t first, std::size_t names_mark, DiagnosticsCollector& diagnostics) {
  const config::Config& config = diagnostics.config();
  const bool tag = config.diagnostic_tag;
  const bool hint = config.diagnostic_hint;
  // One pass in declaration order reports each variable and unbinds its
  // name. The order of unbinding does not matter: a scope indexes each name
  // once (a later duplicate stays unindexed), and the texts it copied in
  // all lie past its mark.
  for (std::size_t i = first; i < variable_count_; ++i) {
    at(i).exit_with(diagnostics, tag, hint);
    const Binding& b = bindings_[i];
    if (b.hides == kNotIndexed) continue;
    std::size_t slot = slot_of(b.tag, i);
    if (b.hides != 0) {
      index_[slot].bound = b.hides;
    } else {
      free_slot(slot);
    }
  }
  names_size_ = names_mark;
  // Their slots own nothing: the next declarations overwrite them.
  variable_count_ = first;
  bindings_.resize(first);
}

void Scopes::pop(DiagnosticsCollector& diagnostics) {
  if (scopes_.empty()) return;
  const Scope& top = scopes_.back();
  // Many scopes declare nothing: nothing to report or unbind.
  if (top.first_ < variable_count_) close_variables(top.first_, top.names_mark_, diagnostics);
  scopes_.pop_back();
}

void Scopes::no_scope() { throw InternalError("No scope entered"); }

[[gnu::always_inline]] inline void Scopes::bind(std::size_t slot, std::size_t position, std::string_view name,
                                                std::uint64_t hash) {
  Slot& s = index_[slot];
  auto scope_position = static_cast<std::uint32_t>(scopes_.size() - 1);
  if (s.offset == kFree) {
    if (names_size_ + name.size() >= kFree) throw InternalError("Names past 32 bits of text");
    if (name.size() > names_capacity_ - names_size_) grow_names(name.size());
    copy_bytes(names_.get() + names_size_, name.data(), name.size());
    s = Slot{static_cast<std::uint32_t>(names_size_), static_cast<std::uint32_t>(name.size()),
             static_cast<std::uint32_t>(hash >> 32), 0};
    names_size_ += name.size();
    ++used_slots_;
  }
  if (s.bound != 0 && bindings_[s.bound - 1].scope == scope_position) {
    // A second variable of that name in one scope: lookups keep the first.
    bindings_.push_back(Binding{kNotIndexed, scope_position, s.tag});
  } else {
    bindings_.push_back(Binding{s.bound, scope_position, s.tag});
    s.bound = static_cast<std::uint32_t>(position + 1);
  }
}

void Scopes::grow_names(std::size_t more) {
  std::size_t capacity = std::max({names_capacity_ * 2, names_size_ + more, std::size_t{1024}});
  auto grown = std::make_unique_for_overwrite<char[]>(capacity);
  if (names_size_ > 0) std::memcpy(grown.get(), names_.get(), names_size_);
  names_ = std::move(grown);
  names_capacity_ = capacity;
}

Variable& Scopes::declare(Variable variable, std::uint64_t hash) {
  std::size_t position = push_variable_position();
  Variable& v = at(position);
  v = variable;
  // A new variable: any chain the argument names is not its own.
  v.references_ = keep_references_ ? this : nullptr;
  v.first_reference_ = 0;
  v.last_reference_ = 0;
  // At most half the slots in use: probes stay short.
  if ((used_slots_ + 1) * 2 > index_.size()) grow_index();
  bind(probe(v.name(), hash), position, v.name(), hash);
  return v;
}

Variable& Scopes::declare_at(Spot spot, std::uint64_t hash, std::string_view name, ByteRange declaration,
                             bool is_mutable, BindType bind_type, Register reg, std::size_t frame) {
  std::size_t position = push_variable_position();
  Variable& v = at(position);
  v = Variable(name, declaration, is_mutable, bind_type, reg, frame);
  v.references_ = keep_references_ ? this : nullptr;
  bind(spot.slot, position, name, hash);
  return v;
}

void Scopes::reserve_names(std::size_t count) {
  std::size_t slots = kFirstSlots;
  while (slots < 2 * count) slots *= 2;
  if (slots > index_.size()) resize_index(slots);
}

void Scopes::grow_index() {
  // Small at first: a tiny script pays for few slots; doubling keeps the
  // growth linear for large ones.
  resize_index(index_.empty() ? kFirstSlots : index_.size() * 2);
}

void Scopes::resize_index(std::size_t slots) {
  if (slots > (std::size_t{1} << 31)) throw InternalError("Name index past 32 bits");
  std::vector<Slot> old = std::move(index_);
  index_.assign(slots, Slot{kFree, 0, 0, 0});
  index_shift_ = 32 - std::countr_zero(slots);
  std::size_t mask = index_.size() - 1;
  // The bindings keep tags, not slots: nothing else needs remapping.
  for (const Slot& s : old) {
    if (s.offset == kFree) continue;
    std::size_t slot = s.tag >> index_shift_;
    while (index_[slot].offset != kFree) slot = (slot + 1) & mask;
    index_[slot] = s;
  }
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

// ---- The Emitter's scope operations and declarations

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
  // The name's slot tells a duplicate of this scope and where the new name goes.
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
  // Only a named parameter is checked for a duplicate (the unnamed ones
  // share a name).
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
