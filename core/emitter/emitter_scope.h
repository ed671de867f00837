// Scopes and variables: BindType, Variable, Scope, Scopes and the
// initialisation check; the Emitter's scope and declaration operations are
// defined beside them in emitter_scope.cc.
//
// Every block, function body and loop opens a Scope;
// the declaration pass declares a block's names before its code is written.
// A Variable gathers the references of its uses while its scope is open and
// reports its tag, those references and (when never read) a hint at exit.
//
// A Variable's name borrows from the source text (or is a fixed literal).
// Each variable remembers the frame that owns its register, which normally is
// its scope's level but differs for a name bound in a `for` iterable. Its
// references are a chain in its Scopes' pool: a Variable owns no memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/diagnostic/diagnostics_collector.h"
#include "core/diagnostic/source_diagnostic.h"
#include "core/emitter/closures.h"
#include "core/emitter/hash.h"
#include "core/emitter/opcode.h"
#include "core/lexer/token.h"

namespace vaxo_core::emitter {

using diagnostic::DiagnosticCode;
using diagnostic::DiagnosticsCollector;
using diagnostic::SourceDiagnostic;

// DiagnosticsCollector::push for a code of the category that `on` switches:
// the same range check and filter, the category's switch given.
[[gnu::always_inline]] inline void push_in_category(DiagnosticsCollector& diagnostics, bool on, DiagnosticCode code,
                                                    ByteRange range) {
  if (range.start > range.end || range.end > diagnostics.script().size()) [[unlikely]] {
    return diagnostics.push(code, range);
  }
  if (on) diagnostics.data().push_back(SourceDiagnostic{range, code});
}

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

class Scopes;

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
  // The references gathered so far, in order (a copy).
  std::vector<SourceDiagnostic> references() const;

  // The level of the frame holding the register; `scope_level` while the
  // variable has none yet.
  std::size_t frame(std::size_t scope_level) const { return has_register() ? frame_ : scope_level; }

  void set_register(Register reg, std::size_t frame) {
    reg_ = reg;
    frame_ = narrow_frame(frame);
  }
  // Throws when the variable has no register.
  void initialize() {
    if (!has_register()) [[unlikely]] no_register();
    initialized_ = true;
  }

  // References bypass the collector until the scope ends: no range check,
  // no filter.
  void mark_read(const lexer::Token& access) { mark(access, DiagnosticCode::ReadLocal); }
  void mark_read_write(const lexer::Token& access) { mark(access, DiagnosticCode::ReadWriteLocal); }
  void mark_write(const lexer::Token& access) { mark(access, DiagnosticCode::WriteLocal); }
  void mark_redeclare(const lexer::Token& access) { mark(access, DiagnosticCode::RedeclareLocal); }

  // The declared-here reference over the declaration.
  void put_decl_ref(DiagnosticsCollector& diagnostics) const;

 private:
  // Only Scopes makes blank ones: the slots of its variable stack.
  Variable() = default;

  inline void mark(const lexer::Token& access, DiagnosticCode code);

  static std::uint32_t narrow_frame(std::size_t frame) {
    // Frames nest no deeper than the emitter's recursion guard allows.
    if (frame > std::numeric_limits<std::uint32_t>::max()) [[unlikely]] frame_too_deep();
    return static_cast<std::uint32_t>(frame);
  }
  [[noreturn]] static void frame_too_deep();
  [[noreturn]] void no_register() const;
  // The scope-exit report: tag, references, then the unused hint, with the
  // collector's tag and hint switches already read.
  void exit_with(DiagnosticsCollector& diagnostics, bool tag, bool hint);

  friend class Scopes;

  std::string_view name_;
  ByteRange declaration_;
  // The pool holding its references; null when they are not kept (the
  // collector drops them as tags): only whether it was read is noted.
  Scopes* references_ = nullptr;
  Register reg_;
  std::uint32_t frame_ = 0;
  // Its chain in the pool: first and last link, + 1 (0: none).
  std::uint32_t first_reference_ = 0;
  std::uint32_t last_reference_ = 0;
  bool mutable_ = false;
  BindType bind_type_ = BindType::Let;
  bool initialized_ = false;
  bool read_ = false;
};

// A scope is a stretch of the variable stack kept by Scopes: its variables
// are the ones declared while it was the innermost scope.
class Scope {
 public:
  // The scope's variables in declaration order.
  class Variables {
   public:
    class iterator {
     public:
      using value_type = Variable;
      using difference_type = std::ptrdiff_t;
      iterator() = default;
      iterator(const Scopes* owner, std::size_t index) : owner_(owner), index_(index) {}
      Variable& operator*() const;
      Variable* operator->() const { return &**this; }
      iterator& operator++() {
        ++index_;
        return *this;
      }
      iterator operator++(int) {
        iterator old = *this;
        ++index_;
        return old;
      }
      friend bool operator==(const iterator& a, const iterator& b) { return a.index_ == b.index_; }

     private:
      const Scopes* owner_ = nullptr;
      std::size_t index_ = 0;
    };

    Variables(const Scopes* owner, std::size_t first, std::size_t count)
        : owner_(owner), first_(first), count_(count) {}
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    iterator begin() const { return iterator(owner_, first_); }
    iterator end() const { return iterator(owner_, first_ + count_); }

   private:
    const Scopes* owner_;
    std::size_t first_;
    std::size_t count_;
  };

  std::size_t level() const { return level_; }
  Variables variables() const { return Variables(owner_, first_, count_); }

 private:
  friend class Scopes;
  // Both positions stay below 32 bits (Scopes checks as they grow), so a
  // Scope stays 32 bytes: the stack's size is a shift, not a division.
  Scope(const Scopes* owner, std::size_t level, std::size_t first, std::size_t names_mark)
      : owner_(owner),
        first_(static_cast<std::uint32_t>(first)),
        names_mark_(static_cast<std::uint32_t>(names_mark)),
        level_(level) {}

  const Scopes* owner_;
  std::uint32_t first_;       // its first variable on the stack
  std::uint32_t names_mark_;  // the size of the name texts when it opened
  std::size_t count_ = 0;
  std::size_t level_;
};

struct FoundVariable {
  std::size_t level;  // the level of the declaring scope
  Variable* variable;
  bool local;  // declared by the innermost scope
};

// The open scopes, innermost last, over one stack of variables and one name
// index. The index maps a name to the variable a lookup finds (the first of
// that name in the innermost scope declaring it); each indexed variable
// remembers the one it hides, which is restored when its scope closes. A
// name leaves the index with its last variable, so the index holds only the
// open scopes' names.
class Scopes {
 public:
  // Takes the buffers the thread's last small Scopes left behind, and gives
  // its own back when destroyed (spare.h).
  Scopes();
  ~Scopes();
  // Scopes hand out pointers into themselves.
  Scopes(const Scopes&) = delete;
  Scopes& operator=(const Scopes&) = delete;

  // Whether declared variables keep their references (on by default). Off
  // when the collector would drop them: a read is then only noted.
  void keep_references(bool keep) { keep_references_ = keep; }

  void push(std::size_t level) { scopes_.push_back(Scope(this, level, variable_count_, names_size_)); }
  // Closes the innermost scope: its variables are destroyed and the names
  // they hid are visible again. Nothing happens when no scope is open.
  void pop();
  // The same after each of its variables reports its exit, in declaration order.
  void pop(DiagnosticsCollector& diagnostics);

  Scope& current() {
    if (scopes_.empty()) [[unlikely]] no_scope();
    return scopes_.back();
  }
  bool empty() const { return scopes_.empty(); }
  std::size_t size() const { return scopes_.size(); }

  // The hash the lookups below take, for a caller that looks a name up
  // more than once.
  static std::uint64_t hash(std::string_view name) { return hash_text(name); }

  // Declares into the innermost scope. Stable reference: variables never
  // move while their scope is open.
  Variable& declare(Variable variable) {
    std::uint64_t name_hash = hash(variable.name());
    return declare(std::move(variable), name_hash);
  }
  Variable& declare(Variable variable, std::uint64_t name_hash);

  // Where a declaration of `name` goes: its slot in the index, and the
  // variable of that name the innermost scope already has (null when none).
  // The index grows first, so the spot holds until the next declaration.
  struct Spot {
    std::size_t slot;
    Variable* local;
  };
  Spot spot(std::string_view name, std::uint64_t name_hash) {
    if ((used_slots_ + 1) * 2 > index_.size()) grow_index();
    std::size_t slot = probe(name, name_hash);
    std::uint32_t bound = index_[slot].bound;
    Variable* local = nullptr;
    if (bound != 0 && bindings_[bound - 1].scope + 1 == scopes_.size()) local = &at(bound - 1);
    return Spot{slot, local};
  }
  // `declare` at a spot just taken for that name, the Variable made in place.
  Variable& declare_at(Spot spot, std::uint64_t name_hash, std::string_view name, ByteRange declaration,
                       bool is_mutable, BindType bind_type, Register reg, std::size_t frame);

  // Room in the name index for `count` names without growing (a hint).
  void reserve_names(std::size_t count);

  // Innermost scope first; within a scope, the first declared of that name.
  std::optional<FoundVariable> find_variable(std::string_view name) { return find_variable(name, hash(name)); }
  std::optional<FoundVariable> find_variable(std::string_view name, std::uint64_t name_hash) {
    if (index_.empty()) return std::nullopt;
    std::uint32_t bound = index_[probe(name, name_hash)].bound;
    if (bound == 0) return std::nullopt;
    std::size_t position = bound - 1;
    std::uint32_t scope = bindings_[position].scope;
    return FoundVariable{scopes_[scope].level(), &at(position), scope + 1 == scopes_.size()};
  }
  Variable* find_local_variable(std::string_view name) { return find_local_variable(name, hash(name)); }
  Variable* find_local_variable(std::string_view name, std::uint64_t name_hash) {
    std::optional<FoundVariable> found = find_variable(name, name_hash);
    return found && found->local ? found->variable : nullptr;
  }

  Variable& at(std::size_t index) const { return blocks_[index >> kBlockBits][index & (kBlockSize - 1)]; }

 private:
  // Variables live in fixed blocks of blank slots, kept when emptied:
  // pushing never moves a variable. A slot is overwritten by its next
  // variable, never destroyed.
  static constexpr std::size_t kBlockBits = 6;
  static constexpr std::size_t kBlockSize = std::size_t{1} << kBlockBits;
  static constexpr std::uint32_t kNotIndexed = 0xFFFFFFFF;
  static constexpr std::size_t kFirstSlots = 32;

  struct Binding {
    std::uint32_t hides;  // the variable this one hides, + 1 (0: none); kNotIndexed: a later duplicate
    std::uint32_t scope;  // position of the declaring scope
    std::uint32_t tag;    // of the name's slot: closing finds it by its variable, no text compared
  };
  // A name's text is copied into `names_` while it is indexed. Names leave
  // in the reverse order they came (with the variables that brought
  // them), so `names_` is a stack.
  // The slot is chosen by the tag's high bits: growing rehashes nothing.
  struct Slot {
    std::uint32_t offset;  // in `names_`; kFree marks a free slot
    std::uint32_t length;
    std::uint32_t tag;    // high half of the hash
    std::uint32_t bound;  // the variable a lookup finds, + 1 (0: none)
  };
  static constexpr std::uint32_t kFree = 0xFFFFFFFF;

  // The slot of `name`: its own or the free one where it belongs.
  std::size_t probe(std::string_view name, std::uint64_t hash) const {
    std::size_t mask = index_.size() - 1;
    auto tag = static_cast<std::uint32_t>(hash >> 32);
    std::size_t slot = tag >> index_shift_;
    while (true) {
      const Slot& s = index_[slot];
      if (s.offset == kFree) return slot;
      if (s.tag == tag && s.length == name.size() && same_bytes(names_.get() + s.offset, name.data(), name.size())) {
        return slot;
      }
      slot = (slot + 1) & mask;
    }
  }
  void grow_index();
  void resize_index(std::size_t slots);
  // The slot whose lookups find the variable at `position`.
  std::size_t slot_of(std::uint32_t tag, std::size_t position) const {
    std::size_t mask = index_.size() - 1;
    std::size_t slot = tag >> index_shift_;
    while (index_[slot].bound != position + 1) slot = (slot + 1) & mask;
    return slot;
  }
  // Frees the slot of a name no variable holds any more.
  void erase_slot(std::size_t slot);
  // The same, its text left in place.
  void free_slot(std::size_t slot);
  // Reports and drops the variables from `first` on (in declaration order),
  // unbinding their names; the name texts shrink back to `names_mark`.
  [[gnu::noinline]] void close_variables(std::size_t first, std::size_t names_mark,
                                         DiagnosticsCollector& diagnostics);
  void shift_back(std::size_t hole);
  // The new variable's place on the stack, with its scope counted.
  std::size_t push_variable_position();
  void add_block();
  friend class Variable;
  // A link of a variable's reference chain; links freed at its scope's exit
  // are reused, so the pool holds about the open scopes' references.
  struct Reference {
    ByteRange range;
    DiagnosticCode code;
    std::uint32_t next;  // + 1 (0: the chain's end)
  };
  inline void add_reference(Variable& variable, ByteRange range, DiagnosticCode code);
  // Pushes a variable's references (those the collector keeps) in order and
  // frees its chain.
  [[gnu::noinline]] void report_references(Variable& variable, DiagnosticsCollector& diagnostics);
  void release_references(Variable& variable);
  void bind(std::size_t slot, std::size_t position, std::string_view name, std::uint64_t hash);
  void grow_names(std::size_t more);
  [[noreturn]] static void no_scope();
  [[noreturn]] static void too_many_references();

  // The emptied buffers kept for the thread's next Scopes (spare.h).
  struct Spare;
  friend struct EmitterSpare;

  bool keep_references_ = true;
  std::vector<Scope> scopes_;
  mutable std::vector<std::unique_ptr<Variable[]>> blocks_;
  std::size_t variable_count_ = 0;
  std::vector<Binding> bindings_;
  std::vector<Reference> references_;
  std::uint32_t free_references_ = 0;  // the chain of free links, + 1 (0: none)
  std::vector<Slot> index_;
  int index_shift_ = 32;  // 32 - log2 of the slot count
  std::size_t used_slots_ = 0;
  // The names' texts side by side, grown by doubling.
  std::unique_ptr<char[]> names_;
  std::size_t names_size_ = 0;
  std::size_t names_capacity_ = 0;
};

inline Variable& Scope::Variables::iterator::operator*() const { return owner_->at(index_); }

inline void Variable::mark(const lexer::Token& access, DiagnosticCode code) {
  if (code == DiagnosticCode::ReadLocal) read_ = true;
  if (references_ != nullptr) references_->add_reference(*this, access.range, code);
}

inline void Scopes::add_reference(Variable& variable, ByteRange range, DiagnosticCode code) {
  std::uint32_t link = free_references_;
  if (link != 0) {
    free_references_ = references_[link - 1].next;
    references_[link - 1] = Reference{range, code, 0};
  } else {
    if (references_.size() >= std::numeric_limits<std::uint32_t>::max()) [[unlikely]] too_many_references();
    references_.push_back(Reference{range, code, 0});
    link = static_cast<std::uint32_t>(references_.size());
  }
  if (variable.last_reference_ != 0) {
    references_[variable.last_reference_ - 1].next = link;
  } else {
    variable.first_reference_ = link;
  }
  variable.last_reference_ = link;
}

// Whether a read of `variable` (whose register lives in the frame at `level`)
// may proceed; when not, records UninitializedVariable over `access` and the
// declared-here reference.
bool check_variable_initialized(DiagnosticsCollector& diagnostics, const Closures& closures,
                                const lexer::Token& access, const Variable& variable, std::size_t level);

}  // namespace vaxo_core::emitter
