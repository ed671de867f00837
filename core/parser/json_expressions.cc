#include "core/parser/json_expressions.h"

#include <span>
#include <utility>
#include <vector>

#include "core/parser/array_helper.h"
#include "core/parser/basic_expressions.h"
#include "core/parser/expressions.h"
#include "core/parser/failure_memo.h"
#include "core/parser/helper.h"

namespace vaxo_core::parser::json_expressions {
namespace {

using expressions::build;

std::optional<JsonElement> member(ParserContext& ctx) {
  const auto start = ctx.checkpoint();
  auto key = json_field_name(ctx);
  if (!key) return std::nullopt;
  auto colon = helper::token_or_insert(Operator::Colon, DiagnosticCode::MissingColon)(ctx);
  auto value = expressions::expression_or_insert(
      ctx, [](const Token& t) { return t == Operator::Comma || t == Operator::CloseBrace; });
  if (!value) {
    ctx.reset(start);
    return std::nullopt;
  }
  const std::size_t comma_at = ctx.previous_token_end();
  auto comma = helper::token(Operator::Comma)(ctx);
  return JsonElement{std::move(*key), std::move(*colon), std::move(value), std::move(comma), comma_at};
}

}  // namespace

bool json_start(const ParserContext& ctx) {
  const std::size_t i = ctx.index;
  if (i + 3 > ctx.tokens.size()) return false;
  const Token& key = ctx.tokens[i + 1];
  return ctx.tokens[i] == Operator::OpenBrace && (key.kind.is_string() || key.kind.is_interpolated_string()) &&
         ctx.tokens[i + 2] == Operator::Colon;
}

std::optional<JsonFieldName> json_field_name(ParserContext& ctx) {
  const Token* t = ctx.peek();
  if (t == nullptr) return std::nullopt;
  if (t->kind.is_string()) {
    ctx.next();
    return JsonFieldName{JsonFieldName::Literal{TokenRef::borrow(*t)}};
  }
  if (auto name = basic_expressions::interpolation(ctx)) {
    return JsonFieldName{JsonFieldName::Interpolated{std::move(name)}};
  }
  return std::nullopt;
}

expressions::ExprBox json_expression(ParserContext& ctx) {
  if (!json_start(ctx)) return nullptr;
  if (memo::failed(ctx, memo::Rule::JsonExpression)) return nullptr;
  const auto start = ctx.checkpoint();
  auto open = helper::token(Operator::OpenBrace)(ctx);

  list_detail::Pending<JsonElement> pending;
  for (;;) {
    const auto before = ctx.checkpoint();
    auto next = member(ctx);
    if (!next) break;
    if (ctx.checkpoint() == before) throw InternalError("`repeat` parsers must always consume");
    pending.push(std::move(*next));
  }
  const std::span<JsonElement> members = pending.items();
  if (members.empty()) {
    ctx.reset(start);
    memo::remember(ctx, memo::Rule::JsonExpression);
    return nullptr;
  }
  auto close = helper::token_or_insert(Operator::CloseBrace, DiagnosticCode::MissingCloseBrace)(ctx);

  using Member = RecordElementBase<Expression, Expression>;
  NodeList<RecordItem> items;
  items.reserve(members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    JsonElement& m = members[i];
    Member element = std::visit(
        [&](auto&& key) -> Member {
          using K = std::decay_t<decltype(key)>;
          if constexpr (std::is_same_v<K, JsonFieldName::Literal>) {
            return Member{typename Member::Named{std::move(key.name), std::move(m.colon), std::move(m.value)}};
          } else {
            return Member{typename Member::InterpolateNamed{std::move(key.name_expression), std::move(m.colon),
                                                            std::move(m.value)}};
          }
        },
        std::move(m.key.node));
    // The last member needs no comma: a missing one is not inserted.
    if (m.comma) {
      items.push_back(RecordItem::new_with_comma(std::move(element), std::move(*m.comma)));
    } else if (i + 1 == members.size()) {
      items.push_back(RecordItem::make(std::move(element)));
    } else {
      const ByteRange at{m.comma_at, m.comma_at};
      items.push_back(RecordItem::new_with_comma(
          std::move(element), TokenRef::make(Token::unknown(at, Operator::Comma, DiagnosticCode::MissingComma))));
    }
  }
  return expressions::make(ctx, Expression::Record{std::move(*open), std::move(items), std::move(*close)});
}

}  // namespace vaxo_core::parser::json_expressions
