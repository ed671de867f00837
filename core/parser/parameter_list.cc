#include "core/parser/parameter_list.h"

#include <utility>
#include <vector>

#include "core/diagnostic/internal_error.h"
#include "core/parser/patterns.h"

namespace vaxo_core::parser::parameter_list {

std::optional<ParameterList> parameter_list(ParserContext& ctx) {
  patterns::PatBox array = patterns::array_pattern_like(ctx, Operator::OpenParen, Operator::CloseParen,
                                                              DiagnosticCode::MissingCloseParen, false);
  if (!array) return std::nullopt;
  auto* node = array->get_if<Pattern::Array>();
  if (node == nullptr) throw InternalError("internal error: entered unreachable code: expected an array pattern");
  NodeList<PatternItem>& items = node->items;
  // Only the last parameter may be a rest parameter. The operand is moved
  // into the wrapper: the item no longer holds it.
  for (std::size_t i = 0; i + 1 < items.size(); ++i) {
    auto* spread = items[i]->as_spread();
    if (spread == nullptr) continue;
    NodeList<TokenRef> dots;
    dots.push_back(std::move(spread->spread));
    auto wrapped = std::make_unique<Pattern>(
        Pattern::wrap_as_unknown(std::move(spread->value), std::move(dots), DiagnosticCode::MispositionedRestParameter));
    using Entry = ArrayElementBase<Pattern, Pattern>;
    items[i].element = Entry{Entry::Element{std::move(wrapped)}};
  }
  return ParameterList{std::move(node->open_bracket), std::move(items), std::move(node->close_bracket)};
}

}  // namespace vaxo_core::parser::parameter_list
