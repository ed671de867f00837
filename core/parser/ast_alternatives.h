// The alternatives of each node kind, for the explicit instantiations of the
// per-alternative summaries and ranges (ast.cc, ast_walker.cc) that node
// constructors call. A missing one fails at link time.
#pragma once

#define VAXO_EXPRESSION_ALTERNATIVES(X)                                                                          \
  X(Expression, Literal)                                                                                          \
  X(Expression, InterpolatedString)                                                                               \
  X(Expression, Variable)                                                                                         \
  X(Expression, Grouping)                                                                                         \
  X(Expression, Record)                                                                                           \
  X(Expression, Array)                                                                                            \
  X(Expression, Call)                                                                                             \
  X(Expression, TaggedString)                                                                                     \
  X(Expression, Extension)                                                                                        \
  X(Expression, Access)                                                                                           \
  X(Expression, Index)                                                                                            \
  X(Expression, Slice)                                                                                            \
  X(Expression, NonNil)                                                                                           \
  X(Expression, Prefix)                                                                                           \
  X(Expression, Infix)                                                                                            \
  X(Expression, Is)                                                                                               \
  X(Expression, Block)                                                                                            \
  X(Expression, Loop)                                                                                             \
  X(Expression, While)                                                                                            \
  X(Expression, ForIn)                                                                                            \
  X(Expression, If)                                                                                               \
  X(Expression, Cond)                                                                                             \
  X(Expression, Match)                                                                                            \
  X(Expression, Function)                                                                                         \
  X(Expression, Unknown)

#define VAXO_PATTERN_ALTERNATIVES(X)                                                                             \
  X(Pattern, Grouping)                                                                                            \
  X(Pattern, Literal)                                                                                             \
  X(Pattern, Constant)                                                                                            \
  X(Pattern, Relation)                                                                                            \
  X(Pattern, Range)                                                                                               \
  X(Pattern, Discard)                                                                                             \
  X(Pattern, Bind)                                                                                                \
  X(Pattern, Record)                                                                                              \
  X(Pattern, Array)                                                                                               \
  X(Pattern, SpreadDiscard)                                                                                       \
  X(Pattern, And)                                                                                                 \
  X(Pattern, Or)                                                                                                  \
  X(Pattern, Not)                                                                                                 \
  X(Pattern, Unknown)

#define VAXO_STATEMENT_ALTERNATIVES(X)                                                                           \
  X(Statement, Empty)                                                                                             \
  X(Statement, Expression)                                                                                        \
  X(Statement, BlockExpression)                                                                                   \
  X(Statement, Bind)                                                                                              \
  X(Statement, Rebind)                                                                                            \
  X(Statement, Const)                                                                                             \
  X(Statement, Assign)                                                                                            \
  X(Statement, Function)                                                                                          \
  X(Statement, Return)                                                                                            \
  X(Statement, Break)                                                                                             \
  X(Statement, Continue)                                                                                          \
  X(Statement, Unknown)
