// release_tree: ends a finished tree's life in one step, with no destructor
// per node.
//
// When every node and list of the tree comes from one arena, the arena goes
// at once: only what the tree owns outside it needs freeing first, and that
// is the payload of owned tokens, which only the subtrees the walker looks
// into (`holds_recovery`) can hold.
#pragma once

#include "core/parser/ast.h"
#include "core/parser/node_arena.h"

namespace vaxo_core::parser {

// Leaves `script` empty and its nodes freed. `arena` must be the scope that
// opened the arena every node and list of the tree came from, and nothing
// else may still hold a block of that arena; the scope is discarded. Under a
// scope that joined an outer arena the tree is destroyed node by node instead.
void release_tree(Script& script, NodeArena::Scope& arena) noexcept;

}  // namespace vaxo_core::parser
