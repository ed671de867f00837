// Direct-call forms of the two generic list parsers, for rules that read a
// list in place: `lists::array_base<E, S>(ctx, open, close, element, spread,
// missing)` and `lists::record_base<V, I>(ctx, named, interpolate_name,
// omit_named, unnamed, spread, missing)`. Each yields the triple (opening
// token, entries, closing token), or nullopt when the opener is missing.
// The grammar itself lives in array_helper.h and record_helper.h.
#pragma once

#include <optional>
#include <type_traits>
#include <vector>

#include "core/parser/array_helper.h"
#include "core/parser/record_helper.h"

namespace vaxo_core::parser::lists {

template <typename E, typename S, typename Open, typename Close, typename Element, typename Spread, typename Missing>
std::optional<ListParts<ListItem<ArrayElementBase<E, S>>>> array_base(ParserContext& ctx, Open open, Close close,
                                                                       Element element, Spread spread,
                                                                       Missing missing) {
  static_assert(std::is_same_v<list_detail::parsed_t<Element>, E>, "element parser must yield E");
  static_assert(std::is_same_v<list_detail::parsed_t<Spread>, S>, "spread parser must yield S");
  return array_helper::array_base(open, close, element, spread, missing)(ctx);
}

template <typename V, typename I, typename Named, typename InterpolateName, typename OmitNamed, typename Unnamed,
          typename Spread, typename Missing>
std::optional<ListParts<ListItem<RecordElementBase<V, I>>>> record_base(ParserContext& ctx, Named named,
                                                                        InterpolateName interpolate_name,
                                                                        OmitNamed omit_named, Unnamed unnamed,
                                                                        Spread spread, Missing missing) {
  static_assert(std::is_same_v<list_detail::parsed_t<Named>, V>, "member parsers must yield V");
  static_assert(std::is_same_v<record_helper::detail::interpolated_t<InterpolateName>, I>,
                "interpolate_name must yield I");
  return record_helper::record_base(named, interpolate_name, omit_named, unnamed, spread, missing)(ctx);
}

}  // namespace vaxo_core::parser::lists
