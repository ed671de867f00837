// The syntax tree: Expression, Pattern, Statement, Script and their parts.
//
// Each node kind is a std::variant over small structs whose alternatives are
// declared in the order of the node kind's tags, so `node.index()` is the tag.
// Every node keeps all tokens it was parsed from (punctuation included) as
// TokenRefs, in source order; children are owned (std::unique_ptr, or held
// inline where the grammar always has exactly one); an absent optional child
// is a null pointer or an empty std::optional.
//
// Expression, Pattern and Statement record their height (the tallest child
// node + the levels of stack the node's passes take, 1 for most kinds, more
// for some in some builds: TreeCost in parser_context.h) and their byte
// range, both computed from the children's when the node is built, so
// range() is O(1) on every node. The parser bounds the height, so every
// recursive pass over a finished tree (walker, dump, destructor, emitter)
// has a bounded depth. A node whose children are changed
// in place after it was built calls `refresh()`; the walker, which replaces
// Unknown nodes by what they recovered, refreshes the nodes above each one.
// They also record whether they or a part below them hold an Unknown node or
// an owned token (`holds_recovery`): the walker skips every other subtree.
//
// Borrowed tokens point into the lexer's token list (and the token lists
// inside interpolated-string tokens), which must outlive the tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "core/diagnostic/internal_error.h"
#include "core/diagnostic/source_diagnostic.h"
#include "core/parser/fields.h"
#include "core/parser/list_item.h"
#include "core/parser/node_arena.h"
#include "core/parser/node_list.h"
#include "core/parser/token_ref.h"

namespace vaxo_core::parser {

struct Expression;
struct Pattern;
struct Statement;
struct Iterable;
struct MatchCase;

namespace ast_detail {
template <typename T, typename Variant>
struct is_alternative;
template <typename T, typename... Ts>
struct is_alternative<T, std::variant<Ts...>> : std::bool_constant<(std::is_same_v<T, Ts> || ...)> {};

// A node keeps its range as a 32-bit start and length beside one word for
// its 31-bit height and its walker flag: 12 bytes in all. A
// range that does not fit is marked and recomputed from the children when
// asked for.
inline constexpr std::uint32_t kRangeUnpacked = 0xffffffffu;  // in range_length
inline constexpr std::uint32_t kStartAbsent = 0xffffffffu;    // in range_start

template <typename N>
void store_range(N& n, ByteRange r) {
  // The absent range's start fails the first test.
  if (r.start < kStartAbsent && r.end >= r.start && r.end - r.start < kRangeUnpacked) [[likely]] {
    n.range_start = static_cast<std::uint32_t>(r.start);
    n.range_length = static_cast<std::uint32_t>(r.end - r.start);
  } else if (r == ByteRange::absent()) {
    n.range_start = kStartAbsent;
    n.range_length = 0;
  } else {
    n.range_start = 0;
    n.range_length = kRangeUnpacked;
  }
}

template <typename N>
ByteRange load_range(const N& n) {
  if (n.range_length == kRangeUnpacked) [[unlikely]] return N::compute_range(n.node);
  if (n.range_start == kStartAbsent) return ByteRange::absent();
  return ByteRange{n.range_start, std::size_t{n.range_start} + n.range_length};
}

// What a node records of its parts in one word (compute_summary): its height,
// and kHoldsRecovery when it or a part below it holds an Unknown node or an
// owned token, the only things the walker changes.
inline constexpr std::uint32_t kHoldsRecovery = 0x80000000u;

template <typename N>
void store_summary(N& n, std::uint32_t summary) {
  n.height = summary & ~kHoldsRecovery;
  n.holds_recovery = (summary & kHoldsRecovery) != 0;
}

// What Expression, Pattern and Statement share: access to the alternative
// and the bookkeeping of what a node records of its parts (above). The
// recorded fields (`height`, `holds_recovery`, `range_start`,
// `range_length`) are each kind's own, declared right after `node` so that
// they sit in the variant's tail padding, where no base class could put them;
// height and flag share one word, as the parser bounds the height far below
// 2^31.
template <typename Self>
class TreeNode {
 public:
  template <typename T>
  bool is() const { return std::holds_alternative<T>(self().node); }
  template <typename T>
  T* get_if() { return std::get_if<T>(&self().node); }
  template <typename T>
  const T* get_if() const { return std::get_if<T>(&self().node); }

  // Recomputes height, walker flag and range from the children, after a
  // change in place.
  void refresh() {
    Self& n = self();
    store_summary(n, Self::compute_summary(n.node));
    store_range(n, Self::compute_range(n.node));
  }
  ByteRange cached_range() const { return load_range(self()); }

 protected:
  // What refresh() records, for a node just made of alternative A: its type
  // is known, so no visit is needed.
  template <typename A>
  void init() {
    Self& n = self();
    const A& alt = *std::get_if<A>(&n.node);
    store_summary(n, summary_of(alt));
    store_range(n, range_of(alt));
  }

 private:
  template <typename A>
  static std::uint32_t summary_of(const A& alt);  // ast.cc
  template <typename A>
  static ByteRange range_of(const A& alt);  // ast_walker.cc
  Self& self() { return static_cast<Self&>(*this); }
  const Self& self() const { return static_cast<const Self&>(*this); }
};
}  // namespace ast_detail

// The list kinds of the tree.
using ArrayLiteralItem = ListItem<ArrayElementBase<Iterable, Expression>>;  // Expression::Array.items
using ArgumentItem = ListItem<ArrayElementBase<Expression, Expression>>;    // call and extension arguments
using PatternItem = ListItem<ArrayElementBase<Pattern, Pattern>>;           // Pattern::Array, ParameterList
using RecordItem = ListItem<RecordElementBase<Expression, Expression>>;     // Expression::Record.elements
using RecordPatternItem = ListItem<RecordElementBase<Pattern, Pattern>>;    // Pattern::Record.elements

// The parenthesised parameters of a function.
struct ParameterList {
  TokenRef open_paren;
  NodeList<PatternItem> items;  // rest parameter included, in source order
  TokenRef close_paren;         // possibly inserted
  VAXO_FIELDS(open_paren, items, close_paren)

  VAXO_ARENA_NODE  // boxed by the functions that have one

  NodeList<PatternItem>& operator*() { return items; }
  const NodeList<PatternItem>& operator*() const { return items; }
};

// A range written with a range operator; both bounds always present.
struct Range {
  std::unique_ptr<Expression> start;
  TokenRef op;  // ".." or "..<"
  std::unique_ptr<Expression> end;
  VAXO_FIELDS(start, op, end)

  // True for the half-open "..<".
  bool exclusive() const { return op == Operator::HalfOpenRange; }
};

// The callee of a call or extension call, in one word: calls are common. The
// word is the callee expression node's address, or the boxed `type`
// pseudo-call's address marked in the low bit, which no node address uses. The
// node owns what the word points to.
struct Callable {
  struct Type {
    TokenRef type_keyword;  // the `type` pseudo-call
    VAXO_FIELDS(type_keyword)

    VAXO_ARENA_NODE
  };
  // An expression callee as it is handed to the node.
  struct Expression {
    std::unique_ptr<parser::Expression> expression;
  };
  // An expression callee as the passes over the tree see it (`visit`).
  template <typename E>
  struct ExpressionPart {
    E& expression;
    VAXO_FIELDS(expression)
  };

  // What the tree uses of a std::variant<Type, Expression>: index(), the
  // alternatives (the callee expression by pointer), visit() (see visit_node).
  class Node {
   public:
    Node(Type type)  // NOLINT: implicit, like the variant's
        : word_(reinterpret_cast<std::uintptr_t>(new Type(std::move(type))) | kTypeBit) {}
    Node(Expression expression) noexcept  // NOLINT: implicit
        : word_(reinterpret_cast<std::uintptr_t>(expression.expression.release())) {}
    // Leaves `other` an expression callee with no expression, like a
    // moved-from std::unique_ptr.
    Node(Node&& other) noexcept : word_(std::exchange(other.word_, 0)) {}
    Node& operator=(Node&& other) noexcept {
      if (this != &other) {
        destroy();
        word_ = std::exchange(other.word_, 0);
      }
      return *this;
    }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    ~Node() { destroy(); }

    std::size_t index() const { return is_type() ? 0 : 1; }
    Type* as_type() { return is_type() ? type_box() : nullptr; }
    const Type* as_type() const { return is_type() ? type_box() : nullptr; }
    // The callee expression; nullptr for the `type` pseudo-call and once
    // moved from.
    parser::Expression* expression() { return is_type() ? nullptr : expression_node(); }
    const parser::Expression* expression() const { return is_type() ? nullptr : expression_node(); }
    // Hands an expression callee over, leaving this node moved from; null
    // for the `type` pseudo-call, which stays.
    std::unique_ptr<parser::Expression> take_expression() {
      if (is_type()) return nullptr;
      return std::unique_ptr<parser::Expression>(reinterpret_cast<parser::Expression*>(std::exchange(word_, 0)));
    }

    template <typename F>
    decltype(auto) visit(F&& f) {
      if (is_type()) return std::forward<F>(f)(*type_box());
      ExpressionPart<parser::Expression> part{held_expression()};
      return std::forward<F>(f)(part);
    }
    template <typename F>
    decltype(auto) visit(F&& f) const {
      if (is_type()) return std::forward<F>(f)(*static_cast<const Type*>(type_box()));
      const ExpressionPart<const parser::Expression> part{held_expression()};
      return std::forward<F>(f)(part);
    }

   private:
    static constexpr std::uintptr_t kTypeBit = 1;
    static_assert(alignof(Type) > kTypeBit);

    bool is_type() const { return (word_ & kTypeBit) != 0; }
    Type* type_box() const { return reinterpret_cast<Type*>(word_ & ~kTypeBit); }
    parser::Expression* expression_node() const { return reinterpret_cast<parser::Expression*>(word_); }
    // The passes never visit a moved-from callee.
    parser::Expression& held_expression() const {
      if (word_ == 0) [[unlikely]] used_after_move();
      return *expression_node();
    }
    [[noreturn, gnu::noinline, gnu::cold]] static void used_after_move() {
      throw InternalError("Callable used after move");
    }
    void destroy() noexcept;  // below, where an Expression is complete

    std::uintptr_t word_;
  };

  Node node;
};

// A node's alternative handed to `f`: std::visit for a std::variant, the
// node's own visit() for the one-word kinds.
template <typename F, typename N>
decltype(auto) visit_node(F&& f, N& node) {
  if constexpr (requires { node.visit(f); }) {
    return node.visit(std::forward<F>(f));
  } else {
    return std::visit(std::forward<F>(f), node);
  }
}

// The else branch of If, While and ForIn.
struct ElseBlock {
  TokenRef else_keyword;
  std::unique_ptr<Expression> body;  // a Block, or an If for "else if"
  VAXO_FIELDS(else_keyword, body)

  VAXO_ARENA_NODE  // boxed by If, While and ForIn
};

struct Pattern : ast_detail::TreeNode<Pattern> {
  struct Grouping {
    TokenRef open_paren;
    std::unique_ptr<Pattern> pattern;
    TokenRef close_paren;
    VAXO_FIELDS(open_paren, pattern, close_paren)
  };
  struct Literal {
    std::optional<TokenRef> prefix;  // "+" or "-" before a number literal
    TokenRef literal;
    VAXO_FIELDS(prefix, literal)
  };
  struct Constant {
    TokenRef name;  // begins with "@" (any identifier inside an InvalidConstantLiteral)
    VAXO_FIELDS(name)
  };
  struct Relation {
    TokenRef op;  // an equality or comparison operator
    std::unique_ptr<Pattern> operand;
    VAXO_FIELDS(op, operand)
  };
  struct Range {
    std::unique_ptr<Pattern> start;
    TokenRef op;  // ".." or "..<"
    std::unique_ptr<Pattern> end;
    VAXO_FIELDS(start, op, end)
  };
  struct Discard {
    TokenRef underscore;
    VAXO_FIELDS(underscore)
  };
  struct Bind {
    std::optional<TokenRef> mut_keyword;
    TokenRef name;
    VAXO_FIELDS(mut_keyword, name)
  };
  struct Record {
    TokenRef open_paren;
    NodeList<RecordPatternItem> elements;
    TokenRef close_paren;
    VAXO_FIELDS(open_paren, elements, close_paren)
  };
  struct Array {
    TokenRef open_bracket;
    NodeList<PatternItem> items;
    TokenRef close_bracket;
    VAXO_FIELDS(open_bracket, items, close_bracket)
  };
  struct SpreadDiscard {
    std::size_t position;  // just after the ".."; the pattern's range is empty there
    VAXO_FIELDS(position)
  };
  struct And {
    std::unique_ptr<Pattern> left;
    TokenRef and_keyword;
    std::unique_ptr<Pattern> right;
    VAXO_FIELDS(left, and_keyword, right)
  };
  struct Or {
    std::unique_ptr<Pattern> left;
    TokenRef or_keyword;
    std::unique_ptr<Pattern> right;
    VAXO_FIELDS(left, or_keyword, right)
  };
  struct Not {
    TokenRef not_keyword;
    std::unique_ptr<Pattern> pattern;
    VAXO_FIELDS(not_keyword, pattern)
  };
  struct Unknown {
    std::unique_ptr<Pattern> recovered;  // what the stretch stands for, if anything
    NodeList<TokenRef> tokens;
    NodeList<SourceDiagnostic> errors;
    VAXO_FIELDS(recovered, tokens, errors)
  };

  using Node = std::variant<Grouping, Literal, Constant, Relation, Range, Discard, Bind, Record, Array,
                            SpreadDiscard, And, Or, Not, Unknown>;

  [[no_unique_address]] Node node;  // the fields below sit in its tail padding (TreeNode)
  std::uint32_t height : 31 = 1;
  std::uint32_t holds_recovery : 1 = false;
  std::uint32_t range_length = 0;
  std::uint32_t range_start = 0;

  VAXO_ARENA_NODE

  template <typename Alt>
    requires ast_detail::is_alternative<std::remove_cvref_t<Alt>, Node>::value
  Pattern(Alt&& alt)  // NOLINT: implicit
      : node(std::forward<Alt>(alt)) {
    // A plain name: one token, no children.
    if constexpr (std::is_same_v<std::remove_cvref_t<Alt>, Bind>) {
      const Bind& bind = *std::get_if<Bind>(&node);
      if (!bind.mut_keyword) {
        holds_recovery = bind.name.is_owned();
        ast_detail::store_range(*this, bind.name->range);
        return;
      }
    }
    init<std::remove_cvref_t<Alt>>();
  }
  // A borrowed name without `mut`: the pattern made from it is that Bind.
  struct PlainName {
    const Token* name;
    operator Bind() const { return Bind{std::nullopt, TokenRef::borrow(*name)}; }  // NOLINT: implicit by design
  };
  explicit Pattern(PlainName plain) : node(std::in_place_type<Bind>, plain) {
    ast_detail::store_range(*this, plain.name->range);
  }
  Pattern(Pattern&&) noexcept = default;
  Pattern& operator=(Pattern&&) noexcept = default;

  // Unknown without recovered node; one diagnostic from the first token's
  // start to the last token's end. An empty list is an internal error.
  static Pattern unknown(NodeList<TokenRef> tokens, DiagnosticCode error);
  // Unknown without recovered node; one diagnostic over exactly `error_range`.
  static Pattern unknown_range(NodeList<TokenRef> tokens, ByteRange error_range, DiagnosticCode error);
  // Unknown recovering `pattern`; diagnostic as `unknown`. Non-empty tokens.
  static Pattern wrap_as_unknown(std::unique_ptr<Pattern> pattern, NodeList<TokenRef> tokens, DiagnosticCode error);
  // Unknown without recovered node, carrying exactly `errors` (maybe none).
  static Pattern unknown_errors(NodeList<TokenRef> tokens, NodeList<SourceDiagnostic> errors);

  bool is_bind() const { return is<Bind>(); }
  bool is_unknown() const { return is<Unknown>(); }
  bool is_spread_discard() const { return is<SpreadDiscard>(); }

  // The summary and range of `node`, from its parts.
  static std::uint32_t compute_summary(const Node& node);
  static ByteRange compute_range(const Node& node);
};

struct Expression : ast_detail::TreeNode<Expression> {
  struct Literal {
    TokenRef literal;  // ordinal, number, string, or true/false/nil/nan/inf
    VAXO_FIELDS(literal)
  };
  struct InterpolatedString {
    const Token* token;  // the lexer's token itself; not a TokenRef and never walked
    NodeList<Expression> expressions;  // one per interpolation, in order
    VAXO_FIELDS(token, expressions)
  };
  struct Variable {
    TokenRef name;
    VAXO_FIELDS(name)
  };
  struct Grouping {
    TokenRef open_paren;
    std::unique_ptr<Expression> expression;
    TokenRef close_paren;
    VAXO_FIELDS(open_paren, expression, close_paren)
  };
  struct Record {
    TokenRef open;  // "(" for a record literal, "{" for a JSON-style literal
    NodeList<RecordItem> elements;
    TokenRef close;
    VAXO_FIELDS(open, elements, close)
  };
  struct Array {
    TokenRef open_bracket;
    NodeList<ArrayLiteralItem> items;
    TokenRef close_bracket;
    VAXO_FIELDS(open_bracket, items, close_bracket)
  };
  struct Call {
    Callable callee;
    TokenRef open_paren;
    NodeList<ArgumentItem> arguments;
    TokenRef close_paren;
    VAXO_FIELDS(callee, open_paren, arguments, close_paren)

    VAXO_ARENA_NODE  // boxed by Extension
  };
  struct TaggedString {
    std::unique_ptr<Expression> tag;
    std::unique_ptr<Expression> string;
    VAXO_FIELDS(tag, string)
  };
  // The callee and arguments sit in a box: extension calls are rare, and
  // inline they would make the largest alternative.
  struct Extension {
    std::unique_ptr<Expression> receiver;
    TokenRef colon_colon;
    std::unique_ptr<Call> call;  // never null

    Extension(std::unique_ptr<Expression> receiver_, TokenRef colon_colon_, Callable callee, TokenRef open_paren,
              NodeList<ArgumentItem> arguments, TokenRef close_paren)
        : receiver(std::move(receiver_)),
          colon_colon(std::move(colon_colon_)),
          call(std::make_unique<Call>(
              Call{std::move(callee), std::move(open_paren), std::move(arguments), std::move(close_paren)})) {}

    // The parts in source order, the boxed ones as if inline.
    auto fields() {
      return std::tie(receiver, colon_colon, call->callee, call->open_paren, call->arguments, call->close_paren);
    }
    auto fields() const {
      return std::tie(receiver, colon_colon, call->callee, call->open_paren, call->arguments, call->close_paren);
    }
    static constexpr std::string_view field_names = "receiver, colon_colon, callee, open_paren, arguments, close_paren";
  };
  struct Access {
    std::unique_ptr<Expression> object;
    TokenRef dot;
    TokenRef name;  // identifier or ordinal
    VAXO_FIELDS(object, dot, name)
  };
  struct Index {
    std::unique_ptr<Expression> object;
    TokenRef open_bracket;
    std::unique_ptr<Expression> index;
    TokenRef close_bracket;
    VAXO_FIELDS(object, open_bracket, index, close_bracket)
  };
  // The bounds sit in a box: slices are rare next to indexing.
  struct Slice {
    struct Bounds {
      std::unique_ptr<Expression> start;  // null when omitted
      TokenRef op;
      std::unique_ptr<Expression> end;  // null when omitted

      VAXO_ARENA_NODE
    };
    std::unique_ptr<Expression> object;
    TokenRef open_bracket;
    std::unique_ptr<Bounds> bounds;  // never null
    TokenRef close_bracket;

    Slice(std::unique_ptr<Expression> object_, TokenRef open_bracket_, std::unique_ptr<Expression> start,
          TokenRef op, std::unique_ptr<Expression> end, TokenRef close_bracket_)
        : object(std::move(object_)),
          open_bracket(std::move(open_bracket_)),
          bounds(std::make_unique<Bounds>(Bounds{std::move(start), std::move(op), std::move(end)})),
          close_bracket(std::move(close_bracket_)) {}

    auto fields() { return std::tie(object, open_bracket, bounds->start, bounds->op, bounds->end, close_bracket); }
    auto fields() const {
      return std::tie(object, open_bracket, bounds->start, bounds->op, bounds->end, close_bracket);
    }
    static constexpr std::string_view field_names = "object, open_bracket, start, op, end, close_bracket";
  };
  struct NonNil {
    std::unique_ptr<Expression> expression;
    TokenRef exclamation;
    VAXO_FIELDS(expression, exclamation)
  };
  struct Prefix {
    TokenRef op;
    std::unique_ptr<Expression> operand;
    VAXO_FIELDS(op, operand)
  };
  struct Infix {
    std::unique_ptr<Expression> left;
    TokenRef op;
    std::unique_ptr<Expression> right;
    VAXO_FIELDS(left, op, right)
  };
  struct Is {
    std::unique_ptr<Expression> expression;
    TokenRef is_keyword;
    std::unique_ptr<Pattern> pattern;
    VAXO_FIELDS(expression, is_keyword, pattern)
  };
  struct Block {
    TokenRef open_brace;
    NodeList<Statement> statements;
    std::unique_ptr<Expression> value;  // null when the block ends with a statement
    TokenRef close_brace;
    VAXO_FIELDS(open_brace, statements, value, close_brace)
  };
  struct Loop {
    TokenRef loop_keyword;
    std::unique_ptr<Expression> body;
    VAXO_FIELDS(loop_keyword, body)
  };
  struct While {
    TokenRef while_keyword;
    std::unique_ptr<Expression> condition;
    std::unique_ptr<Expression> body;
    std::unique_ptr<ElseBlock> else_block;  // boxed, like every else branch
    VAXO_FIELDS(while_keyword, condition, body, else_block)
  };
  // `in` and what follows it sit in a box: for loops are rare.
  // The pattern and the iterated source sit in a box, so that the loop takes
  // no more room than the other alternatives.
  struct ForIn {
    struct Source {
      std::unique_ptr<Pattern> pattern;
      TokenRef in_keyword;
      std::unique_ptr<Iterable> iterable;

      VAXO_ARENA_NODE
    };
    TokenRef for_keyword;
    std::unique_ptr<Source> source;  // never null
    std::unique_ptr<Expression> body;
    std::unique_ptr<ElseBlock> else_block;

    ForIn(TokenRef for_keyword_, std::unique_ptr<Pattern> pattern, TokenRef in_keyword,
          std::unique_ptr<Iterable> iterable, std::unique_ptr<Expression> body_, std::unique_ptr<ElseBlock> else_block_)
        : for_keyword(std::move(for_keyword_)),
          source(std::make_unique<Source>(Source{std::move(pattern), std::move(in_keyword), std::move(iterable)})),
          body(std::move(body_)),
          else_block(std::move(else_block_)) {}

    auto fields() {
      return std::tie(for_keyword, source->pattern, source->in_keyword, source->iterable, body, else_block);
    }
    auto fields() const {
      return std::tie(for_keyword, source->pattern, source->in_keyword, source->iterable, body, else_block);
    }
    static constexpr std::string_view field_names = "for_keyword, pattern, in_keyword, iterable, body, else_block";
  };
  struct If {
    TokenRef if_keyword;
    std::unique_ptr<Expression> condition;
    std::unique_ptr<Expression> then_block;
    std::unique_ptr<ElseBlock> else_block;  // boxed: inline it would cost every expression a word
    VAXO_FIELDS(if_keyword, condition, then_block, else_block)
  };
  // The else branch sits in a box: five words inline would make the largest
  // alternative.
  struct Cond {
    struct Otherwise {
      TokenRef colon;
      std::unique_ptr<Expression> else_expression;

      VAXO_ARENA_NODE
    };
    std::unique_ptr<Expression> condition;
    TokenRef question;
    std::unique_ptr<Expression> then_expression;
    std::unique_ptr<Otherwise> otherwise;  // never null

    Cond(std::unique_ptr<Expression> condition_, TokenRef question_, std::unique_ptr<Expression> then_expression_,
         TokenRef colon, std::unique_ptr<Expression> else_expression)
        : condition(std::move(condition_)),
          question(std::move(question_)),
          then_expression(std::move(then_expression_)),
          otherwise(std::make_unique<Otherwise>(Otherwise{std::move(colon), std::move(else_expression)})) {}

    auto fields() {
      return std::tie(condition, question, then_expression, otherwise->colon, otherwise->else_expression);
    }
    auto fields() const {
      return std::tie(condition, question, then_expression, otherwise->colon, otherwise->else_expression);
    }
    static constexpr std::string_view field_names = "condition, question, then_expression, colon, else_expression";
  };
  // The braced cases sit in a box: matches are rare.
  struct Match {
    struct Cases {
      TokenRef open_brace;
      NodeList<MatchCase> cases;
      TokenRef close_brace;

      VAXO_ARENA_NODE
    };
    TokenRef match_keyword;
    std::unique_ptr<Expression> value;
    std::unique_ptr<Cases> body;  // never null

    Match(TokenRef match_keyword_, std::unique_ptr<Expression> value_, TokenRef open_brace, NodeList<MatchCase> cases,
          TokenRef close_brace)
        : match_keyword(std::move(match_keyword_)),
          value(std::move(value_)),
          body(std::make_unique<Cases>(Cases{std::move(open_brace), std::move(cases), std::move(close_brace)})) {}

    auto fields() { return std::tie(match_keyword, value, body->open_brace, body->cases, body->close_brace); }
    auto fields() const { return std::tie(match_keyword, value, body->open_brace, body->cases, body->close_brace); }
    static constexpr std::string_view field_names = "match_keyword, value, open_brace, cases, close_brace";
  };
  struct Function {
    TokenRef fn_keyword;
    std::unique_ptr<ParameterList> parameters;  // boxed; none when "fn" is followed by the body
    std::unique_ptr<Expression> body;
    VAXO_FIELDS(fn_keyword, parameters, body)
  };
  struct Unknown {
    std::unique_ptr<Expression> recovered;  // what the stretch stands for, if anything
    NodeList<TokenRef> tokens;
    NodeList<SourceDiagnostic> errors;
    VAXO_FIELDS(recovered, tokens, errors)
  };

  using Node = std::variant<Literal, InterpolatedString, Variable, Grouping, Record, Array, Call, TaggedString,
                            Extension, Access, Index, Slice, NonNil, Prefix, Infix, Is, Block, Loop, While, ForIn,
                            If, Cond, Match, Function, Unknown>;

  [[no_unique_address]] Node node;  // the fields below sit in its tail padding (TreeNode)
  std::uint32_t height : 31 = 1;
  std::uint32_t holds_recovery : 1 = false;
  std::uint32_t range_length = 0;
  std::uint32_t range_start = 0;

  VAXO_ARENA_NODE

  template <typename Alt>
    requires ast_detail::is_alternative<std::remove_cvref_t<Alt>, Node>::value
  Expression(Alt&& alt)  // NOLINT: implicit
      : node(std::forward<Alt>(alt)) {
    using A = std::remove_cvref_t<Alt>;
    // A name or literal: one token, no children.
    if constexpr (std::is_same_v<A, Literal>) {
      const TokenRef& t = std::get_if<Literal>(&node)->literal;
      holds_recovery = t.is_owned();
      ast_detail::store_range(*this, t->range);
    } else if constexpr (std::is_same_v<A, Variable>) {
      const TokenRef& t = std::get_if<Variable>(&node)->name;
      holds_recovery = t.is_owned();
      ast_detail::store_range(*this, t->range);
    } else {
      init<A>();
    }
  }
  Expression(Expression&&) noexcept = default;
  Expression& operator=(Expression&&) noexcept = default;

  // Unknown without recovered node; one diagnostic from the first token's
  // start to the last token's end (list order). An empty list is an internal
  // error.
  static Expression unknown(NodeList<TokenRef> tokens, DiagnosticCode error);
  // Unknown without recovered node; one diagnostic over exactly `error_range`.
  // The token list may be empty.
  static Expression unknown_range(NodeList<TokenRef> tokens, ByteRange error_range, DiagnosticCode error);
  // Unknown recovering `expression`; diagnostic as `unknown`. Non-empty tokens.
  static Expression wrap_as_unknown(std::unique_ptr<Expression> expression, NodeList<TokenRef> tokens,
                                    DiagnosticCode error);

  bool is_literal() const { return is<Literal>(); }
  bool is_grouping() const { return is<Grouping>(); }
  bool is_variable() const { return is<Variable>(); }
  bool is_interpolated_string() const { return is<InterpolatedString>(); }
  bool is_record() const { return is<Record>(); }
  bool is_unknown() const { return is<Unknown>(); }
  // Block, Loop, While, ForIn, If or Match (not Cond, not Function).
  bool is_block_like() const {
    return is<Block>() || is<Loop>() || is<While>() || is<ForIn>() || is<If>() || is<Match>();
  }

  // The summary and range of `node`, from its parts.
  static std::uint32_t compute_summary(const Node& node);
  static ByteRange compute_range(const Node& node);
};

struct Statement : ast_detail::TreeNode<Statement> {
  struct Empty {
    TokenRef semicolon;
    VAXO_FIELDS(semicolon)
  };
  struct Expression {
    std::unique_ptr<parser::Expression> expression;
    TokenRef semicolon;  // possibly inserted (MissingSemicolon)
    VAXO_FIELDS(expression, semicolon)
  };
  struct BlockExpression {
    std::unique_ptr<parser::Expression> expression;  // block-like, without ";"
    VAXO_FIELDS(expression)
  };
  struct Bind {
    TokenRef let_keyword;
    std::unique_ptr<Pattern> pattern;
    TokenRef equals;  // possibly inserted (MissingBindOperator)
    std::unique_ptr<parser::Expression> value;
    TokenRef semicolon;
    VAXO_FIELDS(let_keyword, pattern, equals, value, semicolon)
  };
  struct Rebind {
    std::unique_ptr<Pattern> pattern;
    TokenRef equals;
    std::unique_ptr<parser::Expression> value;
    TokenRef semicolon;
    VAXO_FIELDS(pattern, equals, value, semicolon)
  };
  struct Const {
    TokenRef const_keyword;
    TokenRef name;
    TokenRef equals;
    std::unique_ptr<parser::Expression> value;
    TokenRef semicolon;
    VAXO_FIELDS(const_keyword, name, equals, value, semicolon)
  };
  struct Assign {
    std::unique_ptr<parser::Expression> assignee;
    TokenRef op;  // "=" or a compound assignment
    std::unique_ptr<parser::Expression> value;
    TokenRef semicolon;
    VAXO_FIELDS(assignee, op, value, semicolon)
  };
  struct Function {
    TokenRef fn_keyword;
    TokenRef name;  // an inserted "<name>" identifier when missing
    std::unique_ptr<ParameterList> parameters;  // boxed; none when the name is followed by the body
    std::unique_ptr<parser::Expression> body;
    VAXO_FIELDS(fn_keyword, name, parameters, body)
  };
  struct Return {
    TokenRef return_keyword;
    std::unique_ptr<parser::Expression> value;  // null when omitted
    TokenRef semicolon;
    VAXO_FIELDS(return_keyword, value, semicolon)
  };
  struct Break {
    TokenRef break_keyword;
    std::unique_ptr<parser::Expression> value;  // null when omitted
    TokenRef semicolon;
    VAXO_FIELDS(break_keyword, value, semicolon)
  };
  struct Continue {
    TokenRef continue_keyword;
    TokenRef semicolon;
    VAXO_FIELDS(continue_keyword, semicolon)
  };
  struct Unknown {
    NodeList<TokenRef> tokens;
    NodeList<SourceDiagnostic> errors;
    VAXO_FIELDS(tokens, errors)
  };

  using Node = std::variant<Empty, Expression, BlockExpression, Bind, Rebind, Const, Assign, Function, Return,
                            Break, Continue, Unknown>;

  [[no_unique_address]] Node node;  // the fields below sit in its tail padding (TreeNode)
  std::uint32_t height : 31 = 1;
  std::uint32_t holds_recovery : 1 = false;
  std::uint32_t range_length = 0;
  std::uint32_t range_start = 0;

  VAXO_ARENA_NODE

  template <typename Alt>
    requires ast_detail::is_alternative<std::remove_cvref_t<Alt>, Node>::value
  Statement(Alt&& alt)  // NOLINT: implicit
      : node(std::forward<Alt>(alt)) {
    init<std::remove_cvref_t<Alt>>();
  }
  Statement(Statement&&) noexcept = default;
  Statement& operator=(Statement&&) noexcept = default;

  // Unknown holding the tokens; one diagnostic from the first token's start
  // to the last token's end. An empty list is an internal error.
  static Statement unknown(NodeList<TokenRef> tokens, DiagnosticCode error);
  static Statement unknown(TokenRef token, DiagnosticCode error);

  // The summary and range of `node`, from its parts.
  static std::uint32_t compute_summary(const Node& node);
  static ByteRange compute_range(const Node& node);
};

// A value that may be a range: an array literal element or a for-in source.
struct Iterable {
  struct Range {
    parser::Range range;
    VAXO_FIELDS(range)
  };
  struct Value {
    Expression value;
    VAXO_FIELDS(value)
  };
  std::variant<Range, Value> node;

  VAXO_ARENA_NODE
};

// One branch of a match expression.
struct MatchCase {
  struct Guard {
    TokenRef if_keyword;
    Expression condition;
    VAXO_FIELDS(if_keyword, condition)
  };
  TokenRef case_keyword;  // possibly inserted (MissingCase)
  Pattern pattern;
  std::optional<Guard> guard;
  Expression body;
  VAXO_FIELDS(case_keyword, pattern, guard, body)
};

// Deleted through the classes' own operator delete, as std::unique_ptr would.
inline void Callable::Node::destroy() noexcept {
  if (is_type()) {
    delete type_box();
  } else {
    delete expression_node();
  }
}
static_assert(alignof(Expression) > 1, "the low bit of a callee word marks the boxed `type`");
static_assert(sizeof(Callable) == sizeof(std::uintptr_t));

// What a node costs in the arena: keep the rare big parts boxed.
static_assert(sizeof(Expression) == 48);
static_assert(sizeof(Pattern) <= 40);
static_assert(sizeof(Statement) <= 56);
static_assert(sizeof(ArgumentItem) == 24 && sizeof(ArrayLiteralItem) == 24 && sizeof(PatternItem) == 24);

static_assert(alignof(Expression) <= NodeArena::kAlign && alignof(Pattern) <= NodeArena::kAlign &&
              alignof(Statement) <= NodeArena::kAlign && alignof(Iterable) <= NodeArena::kAlign);

// The root of the tree.
struct Script {
  NodeList<Statement> statements;
  std::unique_ptr<Expression> value;  // the trailing expression, if any
  TokenRef eof;                       // possibly an owned stand-in
  VAXO_FIELDS(statements, value, eof)

  const NodeList<Statement>& operator*() const { return statements; }
};

// Boxing helpers: the tree holds most children through std::unique_ptr.
template <typename T>
std::unique_ptr<T> boxed(T value) {
  return std::make_unique<T>(std::move(value));
}
template <typename T>
std::unique_ptr<T> boxed(std::optional<T> value) {
  return value ? std::make_unique<T>(std::move(*value)) : nullptr;
}

}  // namespace vaxo_core::parser
