// Destructuring patterns: records fetch each member by name or position,
// arrays by position from either end around one rest. Each member's result
// is folded into the pattern's result; a failed fetch gives the member's
// binds nil.

#include <optional>
#include <variant>
#include <vector>

#include "core/emitter/emitter.h"

namespace vaxo_core::emitter {

namespace {

ByteRange empty_at(std::size_t position) { return ByteRange{position, position}; }

DiagnosticCode unnamed_field_tag(std::size_t index) {
  if (index > 9) return DiagnosticCode::UnnamedRecordFieldN;
  return static_cast<DiagnosticCode>(static_cast<std::uint16_t>(DiagnosticCode::UnnamedRecordField0) + index);
}

}  // namespace

void Emitter::emit_record_pattern(Register success, const Pattern& pattern, const Pattern::Record& n,
                                  Register value, std::optional<BindType> bind_type) {
  using Member = parser::RecordElementBase<Pattern, Pattern>;
  ByteRange at = range(pattern);
  if (!success.is_empty()) op_unary(at, success, OpCode::IsRecord, value);
  if (n.elements.empty()) {
    if (success.is_empty()) diagnostics.push(DiagnosticCode::UnnecessaryIrrefutablePattern, at);
    return;
  }
  Register flag = success.is_empty() ? Register() : closures.add_reg();
  // The keys taken so far, for a spread in the last place to leave out.
  std::optional<std::vector<OpParam>> keys;
  if (n.elements.back().element.is_spread()) keys.emplace();

  // A member fetched by name: the fetch guarded by `Has` unless optional.
  auto named = [&](ByteRange item, OpParam key, const Token& colon, const Pattern& member) {
    bool required = !flag.is_empty() && !is_optional(colon);
    if (required) {
      op_3(item, OpCode::Has, flag, value, key);
      op_if(item, OpCode::If, flag);
    }
    Register fetched = closures.add_reg();
    op_3(item, OpCode::Get, fetched, value, key);
    emit_pattern(flag, member, fetched, bind_type);
    if (keys) keys->push_back(key);
    if (required) {
      op_else(item);
      emit_failed_pattern(member, bind_type);
      op_if_end(item);
    }
  };

  for (std::size_t i = 0; i < n.elements.size(); ++i) {
    const parser::RecordPatternItem& item = n.elements[i];
    ByteRange item_range = range(item);
    const Member& member = item.element;
    if (const auto* m = std::get_if<Member::Named>(&member.node)) {
      std::optional<lexer::FieldName> field = field_name(m->name->kind);
      if (!field) throw InternalError("internal error: entered unreachable code: Expected identifier token");
      push_in_category(diagnostics, config.diagnostic_tag, field->code, m->name.range());
      OpParam key = add_const_string(field->name);
      named(item_range, key, m->colon.get(), *m->value);
    } else if (std::holds_alternative<Member::InterpolateNamed>(member.node)) {
      // Its name was reported by the grammar: nothing to fetch.
    } else if (const auto* m = std::get_if<Member::OmitNamed>(&member.node)) {
      const auto* bind = m->value->get_if<Pattern::Bind>();
      std::optional<std::string_view> name;
      if (bind != nullptr) name = id_name(bind->name->kind);
      if (!name) continue;  // skipped entirely, its result included
      diagnostics.push(DiagnosticCode::OmitNamedRecordField, m->colon.range());
      diagnostics.push(DiagnosticCode::OmitNamedRecordFieldName, bind->name.range());
      OpParam key = add_const_string(*name);
      named(item_range, key, m->colon.get(), *m->value);
    } else if (const auto* m = std::get_if<Member::Unnamed>(&member.node)) {
      Register fetched = closures.add_reg();
      ByteRange value_range = range(*m->value);
      // A value without tokens (never built by the grammar) is tagged at its member.
      std::size_t tag_at = value_range.start <= value_range.end ? value_range.start : item_range.start;
      push_in_category(diagnostics, config.diagnostic_tag, unnamed_field_tag(i), empty_at(tag_at));
      OpParam index = OpParam::from_size(i);
      if (!flag.is_empty()) {
        op_3(item_range, OpCode::HasIndex, flag, value, index);
        op_if(item_range, OpCode::If, flag);
      }
      op_3(item_range, OpCode::GetIndex, fetched, value, index);
      emit_pattern(flag, *m->value, fetched, bind_type);
      if (keys) keys->push_back(add_const_ordinal(index.get()));
      if (!flag.is_empty()) {
        op_else(item_range);
        emit_failed_pattern(*m->value, bind_type);
        op_if_end(item_range);
      }
    } else if (const auto* m = std::get_if<Member::Spread>(&member.node)) {
      Register rest = closures.add_reg();
      std::vector<OpParam> taken;
      if (keys) taken = std::move(*keys);
      keys.reset();
      op_variadic_1(item_range, rest, OpCode::Omit, value, taken);
      emit_pattern(flag, *m->value, rest, bind_type);
    }
    if (!flag.is_empty()) op_binary(item_range, success, OpCode::And, success, flag);
  }
}

void Emitter::emit_array_pattern(Register success, const Pattern& pattern, const Pattern::Array& n,
                                 Register value, std::optional<BindType> bind_type) {
  ByteRange at = range(pattern);
  const parser::NodeList<parser::PatternItem>& items = n.items;
  std::size_t spread = items.size();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].element.is_spread()) {
      spread = i;
      break;
    }
  }
  bool has_spread = spread < items.size();
  std::size_t count = has_spread ? items.size() - 1 : items.size();
  std::size_t leading = spread;
  std::size_t trailing = has_spread ? items.size() - spread - 1 : 0;

  Register array_flag = success.is_empty() ? closures.add_reg() : success;
  op_unary(at, array_flag, OpCode::IsArray, value);
  op_if(at, OpCode::If, array_flag);
  Register flag = success.is_empty() ? Register() : closures.add_reg();

  auto element = [&](const parser::PatternItem& item, std::int64_t position) {
    const auto* e = item.element.as_element();
    if (e == nullptr) throw InternalError("internal error: entered unreachable code");
    ByteRange item_range = range(item);
    Register fetched = closures.add_reg();
    op_3(item_range, OpCode::GetIndex, fetched, value, OpParam(static_cast<std::int32_t>(position)));
    emit_pattern(flag, *e->value, fetched, bind_type);
    if (!flag.is_empty()) op_binary(item_range, array_flag, OpCode::And, array_flag, flag);
  };

  for (std::size_t j = 0; j < leading; ++j) element(items[j], OpParam::from_size(j).get());
  if (has_spread) {
    for (std::size_t k = 0; k < trailing; ++k) {
      element(items[items.size() - 1 - k], -static_cast<std::int64_t>(OpParam::from_size(k).get()) - 1);
    }
    const auto& spread_item = *items[spread].element.as_spread();
    if (!spread_item.value->is_spread_discard()) {
      ByteRange spread_range = range(items[spread].element);
      Register rest = closures.add_reg();
      OpParam before = OpParam::from_size(leading);
      OpParam after(-OpParam::from_size(trailing).get() - 1);
      if (leading == 0 && trailing == 0) {
        op_unary(spread_range, rest, OpCode::Assign, value);
      } else if (trailing == 0) {
        op_3(spread_range, OpCode::SliceEnd, rest, value, before);
      } else if (leading == 0) {
        op_3(spread_range, OpCode::SliceStart, rest, value, after);
      } else {
        op_4(spread_range, OpCode::Slice, rest, value, before, after);
      }
      emit_pattern(flag, *spread_item.value, rest, bind_type);
      if (!flag.is_empty()) op_binary(spread_range, array_flag, OpCode::And, array_flag, flag);
    }
  }
  op_else(at);
  emit_failed_pattern(pattern, bind_type);
  op_if_end(at);

  // A lone spread matches every array: no length to check.
  if (success.is_empty() || (has_spread && count == 0)) return;
  op_if(at, OpCode::If, array_flag);
  Register length = closures.add_reg();
  op_unary(at, length, OpCode::Length, value);
  Register expected = closures.add_reg();
  op_number(at, expected, static_cast<double>(count));
  op_binary(at, array_flag, has_spread ? OpCode::Gte : OpCode::Eq, length, expected);
  op_if_end(at);
}

}  // namespace vaxo_core::emitter
