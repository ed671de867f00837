#include "core/parser/dump.h"

#include <array>
#include <string_view>
#include <tuple>

#include "core/parser/ast_walker.h"

namespace vaxo_core::parser {
namespace {

constexpr std::array<std::string_view, 25> kExpressionNames = {
    "Literal", "InterpolatedString", "Variable", "Grouping", "Record", "Array", "Call",
    "TaggedString", "Extension", "Access", "Index", "Slice", "NonNil", "Prefix",
    "Infix", "Is", "Block", "Loop", "While", "ForIn", "If", "Cond", "Match", "Function", "Unknown"};
constexpr std::array<std::string_view, 14> kPatternNames = {
    "Grouping", "Literal", "Constant", "Relation", "Range", "Discard", "Bind",
    "Record", "Array", "SpreadDiscard", "And", "Or", "Not", "Unknown"};
constexpr std::array<std::string_view, 12> kStatementNames = {
    "Empty", "Expression", "BlockExpression", "Bind", "Rebind", "Const",
    "Assign", "Function", "Return", "Break", "Continue", "Unknown"};
constexpr std::array<std::string_view, 2> kCallableNames = {"Type", "Expression"};
constexpr std::array<std::string_view, 2> kIterableNames = {"Range", "Value"};
constexpr std::array<std::string_view, 2> kArrayElementNames = {"Element", "Spread"};
constexpr std::array<std::string_view, 5> kRecordElementNames = {"Named", "InterpolateNamed", "OmitNamed",
                                                                  "Unnamed", "Spread"};
static_assert(std::variant_size_v<Expression::Node> == kExpressionNames.size());
static_assert(std::variant_size_v<Pattern::Node> == kPatternNames.size());
static_assert(std::variant_size_v<Statement::Node> == kStatementNames.size());

std::string range_text(ByteRange r) {
  if (r == ByteRange::absent()) return "absent";
  return std::to_string(r.start) + ".." + std::to_string(r.end);
}

std::string diagnostics_text(std::span<const SourceDiagnostic> errors) {
  std::string s = "{";
  for (std::size_t i = 0; i < errors.size(); ++i) {
    if (i > 0) s += ", ";
    s += diagnostic::name(errors[i].error);
    s += ' ';
    s += range_text(errors[i].range);
  }
  s += '}';
  return s;
}

// The diagnostics inside a recovery kind, outermost first.
void append_kind_errors(std::string& s, const TokenKind& kind) {
  const auto* unknown = kind.get_if<TokenKind::Unknown>();
  if (unknown == nullptr) return;
  if (!unknown->errors.empty()) {
    s += ' ';
    s += diagnostics_text(unknown->errors);
  }
  append_kind_errors(s, *unknown->recovered);
}

std::string token_text(const Token& token, bool owned) {
  std::string s = owned ? "owned `" : "`";
  s += token.to_string();
  s += "` ";
  s += range_text(token.range);
  append_kind_errors(s, token.kind);
  return s;
}

class Dumper {
 public:
  std::string take() { return std::move(out_); }

  // Writes the value of a field (or list entry) whose name is already on the
  // current line, ending the line, and its parts below it.
  void value(const TokenRef& t) { end_line(token_text(*t, t.is_owned())); }
  void value(const OptionalTokenRef& t) {
    if (t) {
      value(*t);
    } else {
      end_line("none");
    }
  }
  void value(const Token* t) { end_line(t == nullptr ? "none" : token_text(*t, false)); }
  void value(const std::size_t& position) { end_line(std::to_string(position)); }
  void value(const NodeList<SourceDiagnostic>& errors) { end_line(diagnostics_text(errors)); }

  void value(const Expression& e) { node("Expression::", kExpressionNames[e.node.index()], range(e), e.node); }
  void value(const Pattern& p) { node("Pattern::", kPatternNames[p.node.index()], range(p), p.node); }
  void value(const Statement& s) { node("Statement::", kStatementNames[s.node.index()], range(s), s.node); }
  void value(const Callable& c) { node("Callable::", kCallableNames[c.node.index()], range(c), c.node); }
  void value(const Iterable& i) { node("Iterable::", kIterableNames[i.node.index()], range(i), i.node); }
  void value(const Range& r) { record("Range " + range_text(range(r)), r); }
  void value(const ElseBlock& e) { record("ElseBlock " + range_text(range(e)), e); }
  void value(const MatchCase& m) { record("MatchCase " + range_text(range(m)), m); }
  void value(const MatchCase::Guard& g) { record("Guard", g); }
  void value(const ParameterList& p) { record("ParameterList " + range_text(range(p)), p); }
  void value(const Script& s) { record("Script " + range_text(range(s)), s); }

  template <typename T>
  void value(const ListItem<T>& item) {
    record("ListItem " + range_text(range(item)), item);
  }
  template <typename E, typename S>
  void value(const ArrayElementBase<E, S>& element) {
    node("ArrayElement::", kArrayElementNames[element.node.index()], range(element), element.node);
  }
  template <typename V, typename I>
  void value(const RecordElementBase<V, I>& element) {
    node("RecordElement::", kRecordElementNames[element.node.index()], range(element), element.node);
  }

  template <typename T>
  void value(const std::unique_ptr<T>& p) {
    if (p) {
      value(*p);
    } else {
      end_line("none");
    }
  }
  template <typename T>
  void value(const ElementBox<T>& p) {
    if (p) {
      value(*p);
    } else {
      end_line("none");
    }
  }
  template <typename T>
  void value(const std::optional<T>& p) {
    if (p) {
      value(*p);
    } else {
      end_line("none");
    }
  }
  template <typename T>
  void value(const NodeList<T>& list) {
    if (list.empty()) {
      end_line("[]");
      return;
    }
    end_line("");
    ++indent_;
    for (const T& e : list) {
      start_line();
      out_ += "- ";
      indent_ += 1;
      value(e);
      indent_ -= 1;
    }
    --indent_;
  }

 private:
  void start_line() { out_.append(indent_ * 2, ' '); }
  void end_line(std::string_view text) {
    // A list header ends its line right after the colon.
    if (text.empty() && !out_.empty() && out_.back() == ' ') out_.pop_back();
    out_ += text;
    out_ += '\n';
  }

  template <typename Variant>
  void node(std::string_view prefix, std::string_view name, ByteRange r, const Variant& v) {
    std::string header(prefix);
    header += name;
    header += ' ';
    header += range_text(r);
    visit_node([&](const auto& alt) { record(header, alt); }, v);
  }

  template <typename T>
  void record(const std::string& header, const T& t) {
    end_line(header);
    ++indent_;
    std::string_view names = T::field_names;
    std::apply(
        [&](const auto&... f) {
          auto one = [&](const auto& field) {
            std::size_t comma = names.find(',');
            std::string_view name = names.substr(0, comma);
            names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
            while (!names.empty() && names.front() == ' ') names.remove_prefix(1);
            start_line();
            out_ += name;
            out_ += ": ";
            value(field);
          };
          (one(f), ...);
        },
        t.fields());
    --indent_;
  }

  std::string out_;
  std::size_t indent_ = 0;
};

template <typename T>
std::string dump_any(const T& t) {
  Dumper d;
  d.value(t);
  return d.take();
}

}  // namespace

std::string dump(const Expression& expression) { return dump_any(expression); }
std::string dump(const Pattern& pattern) { return dump_any(pattern); }
std::string dump(const Statement& statement) { return dump_any(statement); }
std::string dump(const Script& script) { return dump_any(script); }
std::string dump(const ParameterList& parameters) { return dump_any(parameters); }
std::string dump(const TokenRef& token) { return dump_any(token); }

}  // namespace vaxo_core::parser
