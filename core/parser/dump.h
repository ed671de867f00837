// A readable dump of a syntax tree, for tests and golden files.
//
// One line per node or token, children indented by two spaces, fields in
// declared order with their names. The format:
//
//   Pattern::Record 0..9                       a node: kind and range()
//     open_paren: `(` 0..1                      a borrowed token: text form and range
//     elements:                                 a non-empty list, one "- " entry each
//       - ListItem 1..4
//           element: RecordElement::Unnamed 1..2
//             value: Pattern::Bind 1..2
//               mut_keyword: none               an absent optional part
//               name: `a` 1..2
//           comma: owned `<?,>` 2..2 {MissingComma 2..2}
//     close_paren: `)` 8..9
//
// An owned token is marked `owned`; its text form shows a recovery kind as
// `<?...>`, followed by the diagnostics it carries. An Unknown node lists its
// `errors` inline as {Code start..end, ...}; an empty list prints `[]`. The
// absent range prints as `absent`.
#pragma once

#include <string>

#include "core/parser/ast.h"

namespace vaxo_core::parser {

std::string dump(const Expression& expression);
std::string dump(const Pattern& pattern);
std::string dump(const Statement& statement);
std::string dump(const Script& script);
std::string dump(const ParameterList& parameters);
std::string dump(const TokenRef& token);

}  // namespace vaxo_core::parser
