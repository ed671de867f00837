#!/usr/bin/env python3
"""Generates realistic scripts and templates for the benchmarks and the
training run of the profile-guided build.

    generate_source.py --mode script --size 1000000 --seed 1 -o out.src
    generate_source.py --mode template --size 1000000 -o out.tpl
    generate_source.py --mode grammar --size 1000000 -o out.src   (well-formed, every statement and block form)
    generate_source.py --mode program --size 1000000 -o out.src   (compiles to a chunk, warning-free)

The output is deterministic for a given seed. Scripts are built from the
statement generators in SCRIPT_STATEMENTS and templates from the chunks in
TEMPLATE_CHUNKS: to cover a new form, write a function that takes a Gen and
returns source text, and add it to the table with a weight. Between them the
generators use every token kind: names, ordinals, decimal and prefixed
numbers, plain, verbatim and interpolated strings ($name, ${...}, $(...:fmt)),
every operator and keyword, comments, and (rarely) a faulty literal so that
recovery tokens appear too.

Programs (mode "program") are what the throughput targets are about: the
statement generators in PROGRAM_STATEMENTS track the names in scope, so that
every form appears in code that compiles to a chunk with no error or warning
and no hint but the one each (rare) JSON-style object carries.
"""

import argparse
import random
import sys

WORDS = [
    "user", "item", "count", "total", "name", "value", "index", "result", "price", "order",
    "point", "list", "map", "key", "data", "node", "left", "right", "size", "step",
    "user_count", "total_price", "next_node", "is_valid", "max_depth", "line_items",
    "größe", "λ", "café", "π",
]


class Gen:
    """Random choices shared by the generators, plus a little state."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.depth = 0          # block nesting, for indentation
        self.string_depth = 0   # interpolation nesting

    def pick(self, seq):
        return self.rng.choice(seq)

    def chance(self, p):
        return self.rng.random() < p

    def name(self):
        base = self.pick(WORDS)
        r = self.rng.random()
        if r < 0.3:
            return base + str(self.rng.randrange(100))
        if r < 0.35:
            return "_" + base
        if r < 0.38:
            return "$" + base
        return base

    def const_name(self):
        return "@" + self.pick(WORDS).upper()

    def number(self):
        r = self.rng.random()
        if r < 0.5:
            return str(self.rng.randrange(1000))  # ordinal
        if r < 0.7:
            return "%d.%d" % (self.rng.randrange(1000), self.rng.randrange(100))
        if r < 0.78:
            return "%de%s%d" % (self.rng.randrange(1, 10), self.pick(["", "+", "-"]), self.rng.randrange(20))
        if r < 0.85:
            return "0x%X" % self.rng.randrange(1 << 32)
        if r < 0.9:
            return "0o%o" % self.rng.randrange(4096)
        if r < 0.94:
            return "0b" + bin(self.rng.randrange(256))[2:]
        return "1_000_%03d" % self.rng.randrange(1000)

    def plain_string(self):
        quote = self.pick(["'", '"', "`"])
        text = " ".join(self.pick(WORDS) for _ in range(self.rng.randrange(1, 5)))
        if self.chance(0.3):
            text += self.pick(["\\n", "\\t", "\\\\", "\\x41", "\\u{1F600}", "\\$5", "\\" + quote])
        return quote + text + quote

    def verbatim_string(self):
        ats = "@" * self.rng.randrange(1, 3)
        return ats + "'C:\\path\\" + self.pick(WORDS) + "\\file'" + ats

    def interpolated_string(self):
        parts = ["Hello "]
        for _ in range(self.rng.randrange(1, 4)):
            form = self.rng.randrange(3)
            if form == 0:
                parts.append("$" + self.pick(WORDS))
            elif form == 1 and self.string_depth < 3:
                parts.append("${ " + self.expression(2) + " }")
            else:
                fmt = self.pick(["", ":08.2f", ": >10", ":x"])
                inner = "" if self.chance(0.05) else self.simple_expression()  # `$()` is empty
                parts.append("$(" + inner + fmt + ")")
            parts.append(" " + self.pick(WORDS) + " ")
        return "'" + "".join(parts) + "'"

    def string(self):
        r = self.rng.random()
        if r < 0.6:
            return self.plain_string()
        if r < 0.7:
            return self.verbatim_string()
        self.string_depth += 1
        try:
            return self.interpolated_string()
        finally:
            self.string_depth -= 1

    def atom(self):
        r = self.rng.random()
        if r < 0.4:
            return self.name()
        if r < 0.65:
            return self.number()
        if r < 0.8:
            return self.string()
        if r < 0.9:
            return self.pick(["true", "false", "nil", "nan", "inf"])
        return self.const_name()

    def simple_expression(self):
        return self.atom() + self.pick(["", ".field", ".0", "[1]", "(x)", "!"])

    def expression(self, budget=3):
        if budget <= 0 or self.chance(0.3):
            return self.simple_expression()
        r = self.rng.random()
        if r < 0.45:
            op = self.pick(["+", "-", "*", "/", "%", "^", "==", "!=", "<", "<=", ">", ">=", "&&", "||",
                            "??", "?:", "=~", "!~", "and", "or", "is", "in", "..", "..<"])
            return self.expression(budget - 1) + " " + op + " " + self.expression(budget - 1)
        if r < 0.55:
            return self.pick(["-", "!", "not "]) + self.expression(budget - 1)
        if r < 0.65:
            return "(" + self.expression(budget - 1) + ")"
        if r < 0.75:
            items = ", ".join(self.expression(budget - 1) for _ in range(self.rng.randrange(0, 4)))
            return "[" + items + "]"
        if r < 0.85:
            fields = ", ".join("%s: %s" % (self.pick(WORDS + ["if", "type"]), self.expression(budget - 1))
                               for _ in range(self.rng.randrange(1, 4)))
            return "{ " + fields + " }"
        if r < 0.92:
            return self.expression(budget - 1) + " ? " + self.expression(budget - 1) + " : " + self.expression(budget - 1)
        return self.name() + "(" + ", ".join(self.expression(budget - 1) for _ in range(self.rng.randrange(3))) + ")"

    def block(self, budget):
        # Formatted as people write it: one statement per line, indented.
        self.depth += 1
        indent = "  " * self.depth
        try:
            lines = [indent + self.statement(budget - 1) for _ in range(self.rng.randrange(1, 4))]
        finally:
            self.depth -= 1
        return "{\n" + "\n".join(lines) + "\n" + "  " * self.depth + "}"

    def statement(self, budget=2):
        gens = [g for g, _ in SCRIPT_STATEMENTS]
        weights = [w for _, w in SCRIPT_STATEMENTS]
        if budget <= 0:
            return stmt_assign(self)
        return self.rng.choices(gens, weights)[0](self, budget)


# ---- Script statement generators: (gen, budget) -> text ----------------------

def stmt_let(g, budget=2):
    return "let %s%s = %s;" % (g.pick(["", "mut "]), g.name(), g.expression())


def stmt_const(g, budget=2):
    return "const %s = %s;" % (g.const_name(), g.expression(1))


def stmt_assign(g, budget=2):
    op = g.pick(["=", "+=", "-=", "*=", "/=", "%=", "^=", "&&=", "||=", "??="])
    return "%s %s %s;" % (g.name(), op, g.expression())


def stmt_fn(g, budget=2):
    params = ", ".join(g.name() for _ in range(g.rng.randrange(4)))
    return "\n// %s\nfn %s(%s) -> %s\n" % (" ".join(g.pick(WORDS) for _ in range(5)), g.name(), params, g.block(budget))


def stmt_if(g, budget=2):
    text = "if %s %s" % (g.expression(2), g.block(budget))
    if g.chance(0.5):
        text += " else " + g.block(budget)
    return text


def stmt_for(g, budget=2):
    return "for %s in %s..<%s %s" % (g.name(), g.number(), g.name(), g.block(budget))


def stmt_while(g, budget=2):
    return "while %s %s" % (g.expression(1), g.block(budget)[:-1] + "  break\n}")


def stmt_loop(g, budget=2):
    return "loop {\n  if %s { continue } else { return %s }\n}" % (g.expression(1), g.expression(1))


def stmt_match(g, budget=2):
    cases = "\n  ".join("case %s -> %s" % (g.atom(), g.expression(1)) for _ in range(g.rng.randrange(1, 4)))
    return "match %s {\n  %s\n  case _ -> nil\n}" % (g.name(), cases)


def stmt_global(g, budget=2):
    return "global %s = type(%s) :: %s;" % (g.name(), g.atom(), g.name())


def stmt_comment(g, budget=2):
    if g.chance(0.5):
        return "// " + " ".join(g.pick(WORDS) for _ in range(6)) + "\n"
    return "/* " + " ".join(g.pick(WORDS) for _ in range(8)) + " */"


def stmt_reserved(g, budget=2):
    # Reserved words lex as keywords (the parser rejects them); after `.` they are names.
    kw = g.pick(["op", "where", "mod", "pub", "use", "effect", "try", "handle", "finally", "perform", "resume"])
    return "%s.%s;\n%s %s;" % (g.name(), kw, kw, g.name())


def stmt_faulty(g, budget=2):
    # Rare faults keep recovery tokens in the mix.
    return "let bad = %s;" % g.pick(["1_", "3px", "0b102", "'\\q'", "1e400", "a.01", "#"])


SCRIPT_STATEMENTS = [
    (stmt_let, 30),
    (stmt_const, 4),
    (stmt_assign, 20),
    (stmt_fn, 6),
    (stmt_if, 8),
    (stmt_for, 5),
    (stmt_while, 3),
    (stmt_loop, 2),
    (stmt_match, 3),
    (stmt_global, 2),
    (stmt_comment, 8),
    (stmt_reserved, 1),
    (stmt_faulty, 1),
]


# ---- Template chunk generators: gen -> text -----------------------------------

def chunk_markup(g):
    tag = g.pick(["p", "div", "span", "li", "td"])
    text = " ".join(g.pick(WORDS) for _ in range(g.rng.randrange(5, 20)))
    return "<%s class=\"%s\">%s</%s>\n" % (tag, g.pick(WORDS), text, tag)


def chunk_name(g):
    return "<p>Dear $%s, your order $%s is ready.</p>\n" % (g.pick(WORDS), g.pick(WORDS))


def chunk_block(g):
    return "<ul>${ for x in %s { '<li>$x</li>' } }</ul>\n" % g.name()


def chunk_format(g):
    return "<td>$(%s:%s)</td><td>$(%s)</td>\n" % (g.name(), g.pick(["08.2f", ">10", "x"]), g.expression(1))


def chunk_literal_text(g):
    # Quotes, backslashes, @ and lone dollars are text in a template.
    return "<pre>C:\\temp\\%s 'quoted' \"double\" @user costs 5 $ </pre>\n" % g.pick(WORDS)


TEMPLATE_CHUNKS = [
    (chunk_markup, 40),
    (chunk_name, 15),
    (chunk_block, 5),
    (chunk_format, 8),
    (chunk_literal_text, 10),
]


# ---- Grammar statement generators: well-formed uses of every statement and ----
# ---- block form, for the parser benchmark (mode "grammar") --------------------

def g_operand(g):
    r = g.rng.random()
    if r < 0.3:
        return g.name()
    if r < 0.5:
        return g.number()
    if r < 0.6:
        return g.plain_string()
    if r < 0.7:
        return "%s.%s" % (g.name(), g.pick(WORDS))
    if r < 0.8:
        return "%s(%s)" % (g.name(), ", ".join(g.name() for _ in range(g.rng.randrange(3))))
    if r < 0.9:
        return "%s[%s]" % (g.name(), g.number())
    return "(%s %s %s)" % (g.name(), g.pick(["+", "-", "*"]), g.number())


def g_expression(g, budget=2):
    if budget <= 0 or g.chance(0.35):
        return g_operand(g)
    r = g.rng.random()
    if r < 0.4:
        op = g.pick(["+", "-", "*", "/", "%", "^", "==", "!=", "<", "<=", ">", ">=", "&&", "||", "??",
                     "and", "or", "in", "=~", "!~"])
        return "%s %s %s" % (g_expression(g, budget - 1), op, g_expression(g, budget - 1))
    if r < 0.5:
        return "%s ? %s : %s" % (g_operand(g), g_expression(g, budget - 1), g_expression(g, budget - 1))
    if r < 0.58:
        return "%s is %s" % (g_operand(g), g_pattern(g, 1))
    if r < 0.64:
        return "[%s]" % ", ".join([g_operand(g), "..%s" % g.name(), "%s..%s" % (g.number(), g.number())][:g.rng.randrange(1, 4)])
    if r < 0.7:
        return "(%s: %s, %s, ..%s)" % (g.pick(WORDS), g_operand(g), g.name(), g.name())
    if r < 0.76:
        return '{"%s": %s, "%s": [%s, %s]}' % (g.pick(WORDS), g_operand(g), g.pick(WORDS), g_operand(g), g_operand(g))
    if r < 0.82:
        return "%s::%s(%s)" % (g_operand(g), g.name(), g_operand(g))
    if r < 0.86:
        return "type(%s)" % g_operand(g)
    if r < 0.92:
        return "%s[%s..%s]%s" % (g.name(), g.pick(["", g.number()]), g.pick(["", g.name()]), g.pick(["", "!", ".len"]))
    if r < 0.96:
        return "%s'%s $(%s) %s'" % (g.pick(["sql", "html", "fmt"]), g.pick(WORDS), g.name(), g.pick(WORDS))
    return "-%s" % g_operand(g)


def g_pattern(g, budget=2):
    r = g.rng.random()
    if budget <= 0 or r < 0.35:
        return g.pick([g.name(), "_", g.number(), g.plain_string(), "nil", g.const_name()])
    if r < 0.5:
        return "[%s, ..%s]" % (g_pattern(g, budget - 1), g.name())
    if r < 0.6:
        return "(%s: %s, %s)" % (g.pick(WORDS), g_pattern(g, budget - 1), g.name())
    if r < 0.7:
        return "%s or %s" % (g_pattern(g, budget - 1), g_pattern(g, budget - 1))
    if r < 0.78:
        return "> %s and < %s" % (g.number(), g.number())
    if r < 0.86:
        return "%d..<%d" % (g.rng.randrange(10), g.rng.randrange(10, 100))
    if r < 0.93:
        return "not %s" % g_pattern(g, budget - 1)
    return "mut %s" % g.name()


def g_block(g, budget, value=True):
    g.depth += 1
    indent = "  " * g.depth
    try:
        lines = [indent + g_statement(g, budget - 1) for _ in range(g.rng.randrange(1, 4))]
        if value and g.chance(0.6):
            lines.append(indent + g_expression(g, 1))
    finally:
        g.depth -= 1
    return "{\n" + "\n".join(lines) + "\n" + "  " * g.depth + "}"


def g_let(g, budget=2):
    return "let %s = %s;" % (g.pick([g.name(), g_pattern(g, 1)]), g_expression(g))


def g_rebind(g, budget=2):
    target = g.pick([g.name(), "[%s, %s]" % (g.name(), g.name()), "%s.%s" % (g.name(), g.pick(WORDS)),
                     "%s[%s]" % (g.name(), g.number())])
    return "%s %s %s;" % (target, g.pick(["=", "=", "+=", "??="]), g_expression(g))


def g_fn(g, budget=2):
    params = ", ".join(g.pick([g.name(), "[%s, ..%s]" % (g.name(), g.name())]) for _ in range(g.rng.randrange(3)))
    return "fn %s(%s) %s" % (g.name(), params, g_block(g, budget))


def g_fn_value(g, budget=2):
    return "let %s = fn(%s) %s;" % (g.name(), g.name(), g_block(g, budget))


def g_if(g, budget=2):
    text = "if %s %s" % (g_expression(g, 1), g_block(g, budget))
    for _ in range(g.rng.randrange(3)):
        text += " else if %s %s" % (g_expression(g, 1), g_block(g, budget))
    if g.chance(0.6):
        text += " else " + g_block(g, budget)
    return text


def g_for(g, budget=2):
    source = g.pick(["%s..%s" % (g.number(), g.name()), g.name(), "%s..<%s" % (g.number(), g.number())])
    text = "for %s in %s %s" % (g.pick([g.name(), g_pattern(g, 1)]), source, g_block(g, budget, False))
    if g.chance(0.2):
        text += " else " + g_block(g, budget)
    return text


def g_while(g, budget=2):
    text = "while %s %s" % (g_expression(g, 1), g_block(g, budget, False))
    if g.chance(0.2):
        text += " else " + g_block(g, budget)
    return text


def g_loop(g, budget=2):
    return "let %s = loop {\n  if %s { break %s; }\n  %s;\n  continue;\n};" % (
        g.name(), g_expression(g, 1), g_operand(g), g_expression(g, 1))


def g_match(g, budget=2):
    cases = []
    for _ in range(g.rng.randrange(1, 4)):
        guard = " if %s" % g_expression(g, 1) if g.chance(0.3) else ""
        cases.append("  case %s%s %s" % (g_pattern(g), guard, g_block(g, budget)))
    return "match %s {\n%s\n  case _ { nil }\n}" % (g_expression(g, 1), "\n".join(cases))


def g_jumps(g, budget=2):
    return "fn %s() {\n  return %s;\n}" % (g.name(), g.pick(["", g_expression(g, 1)]))


def g_misc(g, budget=2):
    return g.pick(["const %s = %s;" % (g.const_name(), g.number()), ";",
                   "%s(%s);" % (g.name(), g_expression(g, 1)),
                   "let %s = { let t = %s; t };" % (g.name(), g_expression(g, 1))])


def g_statement(g, budget=2):
    gens = [s for s, _ in GRAMMAR_STATEMENTS]
    weights = [w for _, w in GRAMMAR_STATEMENTS]
    if budget <= 0:
        return g_rebind(g)
    return g.rng.choices(gens, weights)[0](g, budget)


GRAMMAR_STATEMENTS = [
    (g_let, 30),
    (g_rebind, 20),
    (g_fn, 6),
    (g_fn_value, 2),
    (g_if, 8),
    (g_for, 5),
    (g_while, 3),
    (g_loop, 2),
    (g_match, 4),
    (g_jumps, 2),
    (g_misc, 6),
]


# ---- Program generators: realistic scripts that compile cleanly (mode ----------
# ---- "program"): every statement and block form, no diagnostics --------------
#
# A name is declared before it is read, read at least once, `mut` only when it
# is assigned, and never declared twice in one scope; `break` and `continue` sit
# in loops, `return` in functions; a literal only meets operators of its kind,
# and parentheses only wrap operators. JSON-style objects are the one exception:
# each carries the hint that prefers `()` records, so they stay rare.

SHAPES = {
    "item": (("name", "str"), ("price", "num"), ("count", "num")),
    "user": (("name", "str"), ("age", "num"), ("email", "str"), ("active", "bool")),
    "point": (("x", "num"), ("y", "num")),
    "order": (("id", "num"), ("total", "num"), ("status", "str")),
}

NAMES = {
    "num": ["count", "total", "price", "size", "index", "step", "limit", "offset", "score", "width",
            "height", "max_depth", "user_count", "total_price", "größe", "π", "rate", "delta", "amount"],
    "str": ["name", "label", "title", "message", "key", "status", "text", "café", "prefix", "line"],
    "bool": ["is_valid", "is_ready", "has_items", "done", "found", "enabled", "is_empty", "matches"],
    "list:num": ["values", "scores", "amounts", "samples", "weights"],
    "list:str": ["names", "lines", "labels", "parts", "words"],
    "list:item": ["items", "products", "cart", "stock"],
    "list:user": ["users", "members", "accounts"],
    "list:point": ["points", "path", "corners"],
    "list:order": ["orders", "history", "batch", "entries"],
    "rec:item": ["item", "product", "line_item"],
    "rec:user": ["user", "member", "owner", "current"],
    "rec:point": ["point", "origin", "target", "node"],
    "rec:order": ["order", "invoice", "record", "entry"],
    "json": ["payload", "body", "request"],
    "pair": ["bounds", "span", "pair", "extent"],
    "fn": ["compute", "format_line", "total_of", "scale", "clamp", "describe", "normalize", "apply_discount",
           "count_active", "find_user", "summarize", "λ", "merge", "build_report", "check_limits", "render"],
}

ELEMENT_NAMES = {"num": ["value", "score", "n", "x"], "str": ["name", "line", "word", "part"],
                 "item": ["item", "product"], "user": ["user", "member"], "point": ["point", "p"],
                 "order": ["order", "entry"]}

BUILTINS_NUM = ["abs", "round", "floor", "sqrt"]
TAGS = ["html", "sql", "fmt"]
FORMATS = ["08.2f", ">10", "x", ".3", "<6"]

# Binding strengths of the infix operators the generator writes.
PREC = {"??": 50, "||": 60, "&&": 70, "==": 90, "!=": 90, "=~": 90, "!~": 90, "<": 100, "<=": 100, ">": 100,
        ">=": 100, "in": 100, "is": 120, "+": 170, "-": 170, "*": 180, "/": 180, "%": 180, "^": 200}
ATOM = 255
PREFIX = 190


def element_kind(elem):
    return "rec:" + elem if elem in SHAPES else elem


class Var:
    __slots__ = ("name", "kind", "mutable", "read", "scope", "params", "ret")

    def __init__(self, name, kind, scope, mutable=False, params=(), ret=None):
        self.name = name
        self.kind = kind        # a key of NAMES: "num", "list:<element>", "rec:<shape>", "fn", ...
        self.mutable = mutable
        self.read = False
        self.scope = scope
        self.params = params    # a function's parameter kinds
        self.ret = ret          # and the kind it returns


class Scope:
    def __init__(self):
        self.vars = {}
        self.by_kind = {}
        self.unread = {}


class Program:
    """Writes a program while tracking the names in scope, what each holds and
    whether it has been read."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.scopes = [Scope()]
        self.frames = [0]       # index of each function's outermost scope
        self.loops = [0]        # loops open in each function
        self.nest = 0           # expressions inside call arguments and elements
        self.rets = [None]      # what each open function returns
        self.counters = {}
        self.units = 0
        self.consts = []

    # -- names and scopes ------------------------------------------------------

    def pick(self, seq):
        return self.rng.choice(seq)

    def chance(self, p):
        return self.rng.random() < p

    def visible(self, name):
        return any(name in s.vars for s in self.scopes)

    def fresh(self, base):
        if not self.visible(base) and self.chance(0.5):
            return base
        while True:
            n = self.counters.get(base, 1) + 1
            self.counters[base] = n
            name = "%s_%d" % (base, n)
            if not self.visible(name):
                return name

    def fresh_for(self, kind):
        return self.fresh(self.pick(NAMES[kind]))

    def declare(self, name, kind, mutable=False, params=(), ret=None):
        scope = self.scopes[-1]
        v = Var(name, kind, scope, mutable, params, ret)
        scope.vars[name] = v
        scope.by_kind.setdefault(kind, []).append(v)
        scope.unread[name] = v
        return v

    def push(self):
        self.scopes.append(Scope())

    def pop(self):
        self.scopes.pop()

    def mark(self, v):
        if not v.read:
            v.read = True
            del v.scope.unread[v.name]
        return v.name

    def candidates(self, match, anywhere=False):
        # Data comes from the current function's scopes; functions from anywhere.
        # Of the long-lived top scope only recent names are candidates.
        found = []
        for i in range(len(self.scopes) - 1, -1, -1):
            if i < self.frames[-1] and not anywhere:
                break
            s = self.scopes[i]
            for kind, vs in s.by_kind.items():
                if match(kind):
                    found.extend(vs[-12:] if i == 0 else vs)
        return found

    def use(self, match, prefer_unread=0.85, anywhere=False):
        found = self.candidates(match, anywhere)
        if not found:
            return None
        unread = [v for v in found if not v.read]
        if unread and self.chance(prefer_unread):
            return unread[0]
        return self.pick(found)

    def use_name(self, kind):
        v = self.use(lambda k: k == kind)
        return self.mark(v) if v else None

    def lookup(self, name):
        for i in range(len(self.scopes) - 1, self.frames[-1] - 1, -1):
            if name in self.scopes[i].vars:
                return self.scopes[i].vars[name]
        return None

    def mutable_var(self, kind):
        vs = [v for v in self.candidates(lambda k: k == kind) if v.mutable]
        return self.pick(vs) if vs else None

    # -- literals --------------------------------------------------------------

    def number(self):
        r = self.rng.random()
        if r < 0.55:
            return str(self.rng.randrange(100))
        if r < 0.8:
            return "%d.%d" % (self.rng.randrange(100), self.rng.randrange(1, 100))
        if r < 0.85:
            return "%de%d" % (self.rng.randrange(1, 10), self.rng.randrange(1, 6))
        if r < 0.9:
            return "0x%X" % self.rng.randrange(1 << 16)
        if r < 0.93:
            return "0o%o" % self.rng.randrange(512)
        if r < 0.96:
            return "0b" + bin(self.rng.randrange(1, 64))[2:]
        return "1_000_%03d" % self.rng.randrange(1000)

    def words(self, lo, hi):
        return " ".join(self.pick(WORDS) for _ in range(self.rng.randrange(lo, hi)))

    def string_literal(self):
        r = self.rng.random()
        if r < 0.1:
            return "@'C:\\data\\%s.csv'@" % self.pick(WORDS)
        quote = self.pick(["'", "'", '"', "`"])
        text = self.words(1, 4)
        if self.chance(0.2):
            text += self.pick(["\\n", "\\t", ": \\x41", " \\u{1F600}", " costs \\$5", " \\" + quote])
        return quote + text + quote

    # -- expressions: (text, binding strength) ---------------------------------

    def wrap(self, e, above):
        text, level = e
        return "(" + text + ")" if level <= above else text

    def infix(self, left, op, right):
        p = PREC[op]
        return (self.wrap(left, p - 1) + " " + op + " " + self.wrap(right, p), p)

    def call_fn(self, ret):
        v = self.use(lambda k: k == "fn", anywhere=True)
        cands = [f for f in self.candidates(lambda k: k == "fn", True) if f.ret == ret]
        if v is None or v.ret != ret:
            if not cands:
                return None
            v = self.pick(cands)
        args = ", ".join(self.expr(k, 0) for k in v.params)
        return "%s(%s)" % (self.mark(v), args)

    def field_of(self, kind):
        v = self.use(lambda k: k.startswith("rec:") and any(t == kind for _, t in SHAPES[k[4:]]))
        if v is None:
            return None
        name = self.pick([f for f, t in SHAPES[v.kind[4:]] if t == kind])
        return "%s.%s" % (self.mark(v), name)

    def num_atom(self):
        if self.nest > 1:
            return self.use_name("num") or (self.field_of("num") if self.chance(0.3) else None) or self.number()
        r = self.rng.random()
        if r < 0.45:
            name = self.use_name("num")
            if name:
                return name
        if r < 0.6:
            f = self.field_of("num")
            if f:
                return f
        if r < 0.66:
            v = self.use(lambda k: k.startswith("list:"))
            if v:
                return self.pick(["%s.len", "len(%s)"]) % self.mark(v)
        if r < 0.7:
            v = self.use(lambda k: k == "list:num")
            if v:
                name = self.mark(v)
                index = self.use_name("num") if self.chance(0.5) else None
                return "%s[%s]" % (name, index or self.rng.randrange(4))
        if r < 0.75:
            c = self.call_fn("num")
            if c:
                return c
        if r < 0.78:
            return "%s(%s)" % (self.pick(BUILTINS_NUM), self.num(1))
        if r < 0.8:
            return "max(%s, %s)" % (self.num(0), self.num(0))
        if r < 0.83 and self.consts:
            return self.mark(self.pick(self.consts[-8:]))
        if r < 0.85:
            v = self.use(lambda k: k == "pair")
            if v:
                return "%s.%d" % (self.mark(v), self.rng.randrange(2))
        if r < 0.853:
            return "global.%s" % self.pick(["max_items", "timeout", "retries"])
        return self.number()

    def num_e(self, budget):
        if budget <= 0 or self.chance(0.4):
            return (self.num_atom(), ATOM)
        r = self.rng.random()
        if r < 0.75:
            op = self.pick(["+", "+", "-", "*", "*", "/", "%", "^"])
            return self.infix(self.num_e(budget - 1), op, self.num_e(budget - 1))
        if r < 0.82:
            return ("-" + self.wrap(self.num_e(budget - 1), PREFIX - 1), PREFIX)
        if r < 0.9:
            v = self.use(lambda k: k == "num")
            if v:
                return self.infix((self.mark(v), ATOM), "??", (self.number(), ATOM))
        if r < 0.95 and budget >= 2:
            return ("if %s { %s } else { %s }" % (self.boolean(1), self.num(0), self.num(0)), 0)
        return (self.num_atom(), ATOM)

    def num(self, budget=2):
        return self.expr("num", budget)

    def interpolated(self, budget=1):
        quote = self.pick(["'", '"'])
        parts = [self.pick(["", self.pick(WORDS).capitalize() + " "])]
        for _ in range(self.rng.randrange(1, 4)):
            r = self.rng.random()
            v = self.use(lambda k: k in ("num", "str")) if r < 0.4 else None
            if v:
                parts.append("$" + self.mark(v))
            elif r < 0.7 and budget > 0:
                parts.append("${%s}" % self.expr(self.pick(["num", "str"]), 1))
            else:
                fmt = self.pick(FORMATS)
                parts.append("$(%s:%s)" % (self.num(0), fmt))
            parts.append(self.pick([" ", ", ", " and ", ": "]) + self.pick(WORDS) + self.pick(["", " "]))
        return quote + "".join(parts) + quote

    def str_atom(self, budget=1):
        if self.nest > 1:
            return self.use_name("str") or (self.field_of("str") if self.chance(0.3) else None) or self.string_literal()
        r = self.rng.random()
        if r < 0.35:
            name = self.use_name("str")
            if name:
                return name
        if r < 0.45:
            f = self.field_of("str")
            if f:
                return f
        if r < 0.5:
            c = self.call_fn("str")
            if c:
                return c
        if r < 0.7:
            return self.interpolated(budget)
        if r < 0.74:
            return "%s'<b>$(%s)</b>'" % (self.pick(TAGS), self.str_atom(0))
        if r < 0.78:
            v = self.use(lambda k: k == "str")
            if v:
                name = self.mark(v)
                end = self.num(0) if self.chance(0.3) else self.pick(["", "4"])
                return "%s[%s..%s]" % (name, self.pick(["", "1"]), end)
        if r < 0.81:
            v = self.use(lambda k: k == "str")
            if v:
                return "%s::%s()" % (self.mark(v), self.pick(["trim", "upper", "lower"]))
        if r < 0.83:
            v = self.use(lambda k: k == "str")
            if v:
                return self.mark(v) + "!"
        return self.string_literal()

    def text(self, budget=1):
        if budget > 0 and self.chance(0.1):
            v = self.use(lambda k: k == "str")
            if v:
                return "%s ?? %s" % (self.mark(v), self.string_literal())
        return self.str_atom(budget)

    def comparison(self):
        r = self.rng.random()
        if r < 0.6:
            return self.infix(self.num_e(1), self.pick(["<", "<=", ">", ">=", "==", "!="]), self.num_e(1))
        s = self.use_name("str")
        if s is None:
            return self.infix(self.num_e(1), ">", (self.number(), ATOM))
        if r < 0.75:
            return self.infix((s, ATOM), self.pick(["==", "!="]), (self.string_literal(), ATOM))
        if r < 0.85:
            return self.infix((s, ATOM), self.pick(["=~", "!~"]), (self.pick(["'^[a-z]+$'", "'\\\\d+'", "'@'"]), ATOM))
        return self.infix((s, ATOM), self.pick(["<", ">="]), (self.str_atom(0), ATOM))

    def pattern_test(self):
        # Patterns that bind nothing.
        v = self.use(lambda k: k not in ("fn", "json"))
        if v is None:
            return self.comparison()
        name = self.mark(v)
        if v.kind == "num":
            pat = self.pick(["> %s and < %s" % (self.rng.randrange(10), self.rng.randrange(10, 1000)),
                             "%d..<%d" % (self.rng.randrange(10), self.rng.randrange(10, 100)),
                             "%d or %d" % (self.rng.randrange(10), self.rng.randrange(10, 20)), "not nil"])
        elif v.kind.startswith("list:"):
            pat = self.pick(["[]", "[_, ..]", "[_, _]"])
        elif v.kind.startswith("rec:"):
            field = SHAPES[v.kind[4:]][0][0]
            pat = self.pick(["(%s: not nil)" % field, "nil", "not nil"])
        else:
            pat = self.pick(["nil", "not nil"])
        return ("%s is %s" % (name, pat), PREC["is"])

    def bool_atom(self):
        if self.nest > 1:
            return (self.use_name("bool") or self.pick(["true", "false"]), ATOM)
        r = self.rng.random()
        if r < 0.2:
            name = self.use_name("bool")
            if name:
                return (name, ATOM)
        if r < 0.25:
            f = self.field_of("bool")
            if f:
                return (f, ATOM)
        if r < 0.3:
            c = self.call_fn("bool")
            if c:
                return (c, ATOM)
        if r < 0.45:
            return self.pattern_test()
        if r < 0.5:
            v = self.use(lambda k: k.startswith("list:"))
            if v:
                elem = v.kind[5:]
                if elem in ("num", "str"):
                    return self.infix((self.expr(elem, 0), ATOM), "in", (self.mark(v), ATOM))
                return ("%s.len > 0" % self.mark(v), PREC[">"])
        if r < 0.53:
            v = self.use(lambda k: k.startswith("rec:"))
            if v:
                return ("'%s' in %s" % (self.pick(SHAPES[v.kind[4:]])[0], self.mark(v)), PREC["in"])
        if r < 0.55:
            v = self.use(lambda k: k != "fn")
            if v:
                return ("type(%s) == '%s'" % (self.mark(v), self.pick(["number", "string", "array", "record"])),
                        PREC["=="])
        return self.comparison()

    def boolean_e(self, budget):
        if budget <= 0 or self.chance(0.45):
            return self.bool_atom()
        r = self.rng.random()
        if r < 0.8:
            return self.infix(self.boolean_e(budget - 1), self.pick(["&&", "||"]), self.boolean_e(budget - 1))
        return ("!" + self.wrap(self.boolean_e(budget - 1), PREFIX - 1), PREFIX)

    def boolean(self, budget=2):
        return self.expr("bool", budget)

    def list_expr(self, elem, budget=1):
        if self.nest > 1 and self.chance(0.8):
            # Arguments and elements are mostly names, as people write them.
            v = self.use(lambda k: k == "list:" + elem)
            if v:
                return self.mark(v)
        r = self.rng.random()
        if r < 0.3:
            v = self.use(lambda k: k == "list:" + elem)
            if v:
                name = self.mark(v)
                if elem == "num" and budget > 0 and self.chance(0.5):
                    return self.closure_call(name, "num", "num")
                if elem in SHAPES and budget > 0 and self.chance(0.5):
                    return self.closure_call(name, "bool", elem)
                r = self.rng.random()
                if r < 0.3:
                    return name + "[1..]"
                if r < 0.5:
                    return name + "[..<3]"
                return "[..%s, %s]" % (name, self.expr(element_kind(elem), 0))
        if elem == "num" and r < 0.4:
            return "[%s..%s]" % (self.rng.randrange(3), self.num(0))
        n = self.rng.randrange(1, (4 if elem in SHAPES else 6) - min(self.nest, 2))
        return "[" + ", ".join(self.expr(element_kind(elem), 0) for _ in range(n)) + "]"

    def closure_call(self, receiver, result, elem):
        # `xs::map(fn(x) { ... })` and `xs::filter(fn { ... })`: a frame of its own.
        if result == "num":
            if self.chance(0.5):
                return "%s::map(fn { it %s %s })" % (receiver, self.pick(["*", "+", "-"]), self.number())
            x = self.fresh(self.pick(ELEMENT_NAMES["num"]))
            return "%s::map(fn(%s) { %s %s %s })" % (receiver, x, x, self.pick(["*", "+", "/", "^"]), self.number())
        field = self.pick([f for f, t in SHAPES[elem] if t == "num"])
        op = self.pick(["<", ">", ">=", "<="])
        if self.chance(0.3):
            return "%s::filter(fn { it.%s %s %s })" % (receiver, field, op, self.number())
        x = self.fresh(self.pick(ELEMENT_NAMES[elem]))
        return "%s::%s(fn(%s) { %s.%s %s %s })" % (receiver, self.pick(["filter", "find_all"]), x, x, field, op,
                                                  self.number())

    def record(self, shape, budget=1):
        if self.nest > 1 and self.chance(0.8):
            v = self.use(lambda k: k == "rec:" + shape)
            if v:
                return self.mark(v)
        fields = SHAPES[shape]
        r = self.rng.random()
        if r < 0.22:
            v = self.use(lambda k: k == "rec:" + shape)
            if v:
                f, t = self.pick(fields)
                return "(..%s, %s: %s)" % (self.mark(v), f, self.expr(t, 0))
        if r < 0.4:
            # Omitted names: a field named after the variable or the member it reads.
            parts = []
            for f, t in fields:
                own = self.lookup(f)
                src = None if own else self.use(lambda k, f=f, t=t: k.startswith("rec:") and (f, t) in SHAPES[k[4:]])
                if own and own.kind == t:
                    parts.append(": " + self.mark(own))
                elif src and self.chance(0.7):
                    parts.append(": %s.%s" % (self.mark(src), f))
                else:
                    parts.append("%s: %s" % (f, self.expr(t, 0)))
            return "(" + ", ".join(parts) + ")"
        return "(" + ", ".join("%s: %s" % (f, self.expr(t, 0)) for f, t in fields) + ")"

    def json(self):
        shape = self.pick(list(SHAPES))
        fields = ", ".join('"%s": %s' % (f, self.expr(t, 0)) for f, t in SHAPES[shape])
        return '{%s, "tags": [%s, %s]}' % (fields, self.string_literal(), self.string_literal())

    def expr(self, kind, budget=1):
        self.nest += 1
        try:
            return self.expr_of(kind, budget)
        finally:
            self.nest -= 1

    def expr_of(self, kind, budget):
        if kind == "num":
            return self.num_e(budget)[0]
        if kind == "str":
            return self.text(budget)
        if kind == "bool":
            return self.boolean_e(budget)[0]
        if kind.startswith("list:"):
            return self.list_expr(kind[5:], budget)
        if kind.startswith("rec:"):
            return self.record(kind[4:], budget)
        if kind == "pair":
            return "(%s, %s)" % (self.expr("num", 0), self.expr("num", 0))
        return self.number()

    def some_kind(self):
        r = self.rng.random()
        if r < 0.4:
            return "num"
        if r < 0.6:
            return "str"
        if r < 0.7:
            return "bool"
        if r < 0.85:
            return "list:" + self.pick(["num", "str", "item", "user", "point", "order"])
        if r < 0.88:
            return "pair"
        return "rec:" + self.pick(list(SHAPES))

    # -- blocks ----------------------------------------------------------------

    def enter_fn(self, ret=None):
        self.push()
        self.frames.append(len(self.scopes) - 1)
        self.loops.append(0)
        self.rets.append(ret)

    def leave_fn(self):
        self.frames.pop()
        self.loops.pop()
        self.rets.pop()
        self.pop()

    def sink(self, names):
        return self.pick(["print(%s);", "print(%s);", "log(%s);", "emit(%s);"]) % ", ".join(names)

    def args_for(self, v):
        return ", ".join(self.expr(k, 0) for k in v.params)

    def flush(self):
        # Statements that read whatever this scope declared and nobody read yet.
        scope = self.scopes[-1]
        lines = []
        data = []
        for v in list(scope.unread.values()):
            if v.kind == "fn":
                self.mark(v)
                lines.append("%s(%s);" % (v.name, self.args_for(v)))
            elif not v.read:  # a call above may have read it
                data.append(self.mark(v))
        for i in range(0, len(data), 4):
            lines.append(self.sink(data[i:i + 4]))
        return lines

    def block(self, setup=None, value=None, loop=False, count=(1, 4), budget=2, trailer=None):
        """A braced block. `setup` declares what the construct binds in it and
        returns its first lines; `trailer` returns its last statements; `value`
        is the kind of its trailing value, if any."""
        self.push()
        if loop:
            self.loops[-1] += 1
        try:
            lines = list(setup() or []) if setup else []
            for _ in range(self.rng.randrange(*count)):
                lines.extend(self.statement(budget - 1))
            if trailer:
                lines.extend(trailer())
            tail = [self.expr(value, 1)] if value else []
            lines.extend(self.flush())
            lines.extend(tail)
        finally:
            if loop:
                self.loops[-1] -= 1
            self.pop()
        if not lines:
            return "{}"
        return "{\n" + "\n".join("  " + l if l else l for l in "\n".join(lines).split("\n")) + "\n}"

    def statement(self, budget=2):
        if budget <= 0:
            return p_let(self, 0)
        gens = [s for s, _ in PROGRAM_STATEMENTS]
        weights = [w for _, w in PROGRAM_STATEMENTS]
        while True:
            out = self.rng.choices(gens, weights)[0](self, budget)
            if out:
                return out

    # -- functions -------------------------------------------------------------

    def params(self):
        """Parameter texts, the kinds a caller passes, and a setup that binds them."""
        texts, kinds, binds, assigned = [], [], [], []
        taken = set()

        def name(base):
            n = self.fresh(base)
            while n in taken:
                n = self.fresh(base)
            taken.add(n)
            return n
        for _ in range(self.rng.randrange(4)):
            r = self.rng.random()
            if r < 0.7:
                kind = self.pick(["num", "num", "str", "bool", "rec:item", "rec:user", "list:num", "list:order"])
                n = name(self.pick(NAMES[kind]))
                if kind == "num" and self.chance(0.1):
                    texts.append("mut " + n)
                    assigned.append(n)
                else:
                    texts.append(n)
                binds.append((n, kind, n in assigned))
                kinds.append(kind)
            elif r < 0.85:
                first, rest = name("first"), name("rest")
                texts.append("[%s, ..%s]" % (first, rest))
                binds += [(first, "num", False), (rest, "list:num", False)]
                kinds.append("list:num")
            else:
                parts = []
                for f, t in SHAPES["item"][1:]:
                    n = name(f)
                    parts.append(f if n == f else "%s: %s" % (f, n))
                    binds.append((n, t, False))
                texts.append("(%s)" % ", ".join(parts))
                kinds.append("rec:item")
        if self.chance(0.08):
            rest = name(self.pick(["others", "extra", "more"]))
            texts.append(".." + rest)
            binds.append((rest, "list:num", False))

        def setup():
            for n, kind, mutable in binds:
                self.declare(n, kind, mutable)
            return ["%s %s %s;" % (n, self.pick(["+=", "*=", "-="]), self.number()) for n in assigned]
        return texts, kinds, setup

    def function(self, budget=2):
        ret = self.pick([None, "num", "num", "str", "bool", "rec:order", "list:num"])
        texts, kinds, setup = self.params()
        self.enter_fn(ret)
        try:
            body = self.block(setup, ret, count=(1, 5), budget=budget)
        finally:
            self.leave_fn()
        name = self.fresh(self.pick(NAMES["fn"]))
        self.declare(name, "fn", params=kinds, ret=ret)
        return "fn %s(%s) %s" % (name, ", ".join(texts), body)


def doc_comment(p):
    return "// " + " ".join(p.pick(WORDS) for _ in range(p.rng.randrange(3, 9)))


def p_let(p, budget):
    kind = p.some_kind()
    if budget > 0 and p.chance(0.1):
        # An if expression with blocks as the value.
        cond = p.boolean(1)
        text = "if %s %s else %s" % (cond, p.block(value=kind, count=(0, 2), budget=budget),
                                     p.block(value=kind, count=(0, 2), budget=budget))
    else:
        text = p.expr(kind, 1)
    name = p.fresh_for(kind)
    p.declare(name, kind)
    return ["let %s = %s;" % (name, text)]


def p_destructure(p, budget):
    v = p.use(lambda k: k.startswith("rec:") or k.startswith("list:"))
    if v is None:
        return None
    src = p.mark(v)
    if v.kind.startswith("rec:"):
        parts, binds = [], []
        for f, t in SHAPES[v.kind[4:]][:p.rng.randrange(2, 4)]:
            n = f if not p.visible(f) and p.chance(0.6) else p.fresh(f)
            parts.append(f if n == f else "%s: %s" % (f, n))
            binds.append((n, t))
        for n, t in binds:
            p.declare(n, t)
        return ["let (%s) = %s;" % (", ".join(parts), src)]
    elem = v.kind[5:]
    first = p.fresh(p.pick(["first", "head", "top"]))
    rest = p.fresh(p.pick(["rest", "tail", "others"]))
    mutable = elem == "num" and p.chance(0.3)
    p.declare(first, element_kind(elem), mutable)
    p.declare(rest, v.kind)
    if mutable:
        return ["let [mut %s, ..%s] = %s;" % (first, rest, src), "%s ??= 0;" % first]
    return ["let [%s, ..%s] = %s;" % (first, rest, src)]


def p_accumulate(p, budget):
    v = p.use(lambda k: k.startswith("list:") and k[5:] in ("num", "item", "order"))
    if v is None:
        return None
    src = p.mark(v)
    elem = v.kind[5:]
    acc = p.fresh(p.pick(["total", "sum", "acc", "amount"]))
    p.declare(acc, "num", mutable=True)
    if elem == "num":
        x = p.fresh(p.pick(ELEMENT_NAMES["num"]))

        def setup():
            p.mark(p.declare(x, "num"))
            return ["%s += %s;" % (acc, x)]
        body = p.block(setup, loop=True, count=(0, 2), budget=budget)
        return ["let mut %s = 0;" % acc, "for %s in %s %s" % (x, src, body)]
    fields = ("price", "count") if elem == "item" else ("total", "id")
    bound = [f if not p.visible(f) else p.fresh(f) for f in fields]
    pattern = ", ".join(f if n == f else "%s: %s" % (f, n) for f, n in zip(fields, bound))

    def setup():
        for n in bound:
            p.mark(p.declare(n, "num"))
        return ["%s += %s %s %s;" % (acc, bound[0], "*" if elem == "item" else "+", bound[1])]
    body = p.block(setup, loop=True, count=(0, 2), budget=budget)
    return ["let mut %s = 0;" % acc, "for (%s) in %s %s" % (pattern, src, body)]


def p_if(p, budget):
    text = "if %s %s" % (p.boolean(2), p.block(budget=budget))
    for _ in range(p.rng.randrange(3)):
        text += " else if %s %s" % (p.boolean(1), p.block(budget=budget))
    if p.chance(0.5):
        text += " else " + p.block(budget=budget)
    return [text + (";" if p.chance(0.03) else "")]


def p_if_is(p, budget):
    v = p.use(lambda k: k.startswith("list:") or k.startswith("rec:item") or k.startswith("rec:user"))
    if v is None:
        return None
    src = p.mark(v)
    if v.kind.startswith("list:"):
        elem = v.kind[5:]
        first, rest = p.fresh("first"), p.fresh("rest")
        pattern = "[%s, ..%s]" % (first, rest)
        binds = [(first, element_kind(elem)), (rest, v.kind)]
    else:
        f, t = SHAPES[v.kind[4:]][0]
        n, rest = p.fresh(f), p.fresh("rest")
        pattern = "(%s: %s, ..%s)" % (f, n, rest)
        binds = [(n, t), (rest, v.kind)]

    def setup():
        for n, k in binds:
            p.declare(n, k)
    text = "if %s is %s %s" % (src, pattern, p.block(setup, budget=budget))
    if p.chance(0.4):
        text += " else " + p.block(budget=budget)
    return [text]


def loop_var(p, elem):
    return p.fresh(p.pick(ELEMENT_NAMES.get(elem, ["x"])))


def p_for(p, budget):
    r = p.rng.random()
    v = p.use(lambda k: k.startswith("list:"))
    if v is None or r < 0.3:
        i = p.fresh(p.pick(["i", "j", "k", "index", "step"]))
        source = "%s%s%s" % (p.pick(["0", "1", str(p.rng.randrange(10))]), p.pick(["..", "..<"]), p.num_e(0)[0])

        def setup():
            p.declare(i, "num")
        return ["for %s in %s %s" % (i, source, p.block(setup, loop=True, budget=budget))]
    src = p.mark(v)
    elem = v.kind[5:]
    ek = element_kind(elem)
    if r < 0.5 and elem in SHAPES:
        fields = SHAPES[elem][:2]
        bound = [(f, f if not p.visible(f) else p.fresh(f), t) for f, t in fields]
        pattern = "(%s)" % ", ".join(f if n == f else "%s: %s" % (f, n) for f, n, _ in bound)

        def setup():
            for _, n, t in bound:
                p.declare(n, t)
        return ["for %s in %s %s" % (pattern, src, p.block(setup, loop=True, budget=budget))]
    x = loop_var(p, elem)
    if r < 0.7:
        # A search: the loop's value is the first match, or the else branch's.
        found = p.fresh(p.pick(["found", "hit", "first_match"]))

        def setup():
            p.mark(p.declare(x, ek))
            return ["if %s {\n  break %s;\n}" % (element_test(p, x, elem), x)]
        text = "for %s in %s %s else { nil }" % (x, src, p.block(setup, loop=True, count=(0, 2), budget=budget))
        p.declare(found, ek)
        return ["let %s = %s;" % (found, text)]

    def setup():
        p.declare(x, ek)
    return ["for %s in %s %s" % (x, src, p.block(setup, loop=True, budget=budget))]


def element_test(p, x, elem):
    """A condition on the loop variable x."""
    if elem == "num":
        cond = "%s %s %s" % (x, p.pick([">", "==", "<="]), p.num(0))
    elif elem == "str":
        cond = "%s == %s" % (x, p.text(0))
    else:
        f = p.pick([f for f, t in SHAPES[elem] if t == "num"])
        cond = "%s.%s > %s" % (x, f, p.num(0))
    if p.chance(0.3):
        cond = p.infix((cond, PREC["=="]), "&&", p.bool_atom())[0]
    return cond


def p_all(p, budget):
    # let mut all_valid = true; for x in xs { all_valid &&= ... }
    v = p.use(lambda k: k.startswith("list:"))
    if v is None:
        return None
    src = p.mark(v)
    elem = v.kind[5:]
    every = p.chance(0.5)
    flag = p.fresh(p.pick(["all_valid", "all_done", "ok"] if every else ["any_match", "seen", "has_hit"]))
    p.declare(flag, "bool", mutable=True)
    x = loop_var(p, elem)

    def setup():
        p.mark(p.declare(x, element_kind(elem)))
        return ["%s %s %s;" % (flag, "&&=" if every else "||=", element_test(p, x, elem))]
    body = p.block(setup, loop=True, count=(0, 2), budget=budget)
    return ["let mut %s = %s;" % (flag, "true" if every else "false"), "for %s in %s %s" % (x, src, body)]


def p_jump(p, budget):
    # `continue` and `break` inside a loop, `return` inside a function.
    if p.loops[-1] > 0 and p.chance(0.5):
        return ["if %s { %s; }" % (p.boolean(1), p.pick(["continue", "break"]))]
    if len(p.rets) > 1:
        ret = p.rets[-1]
        value = "" if ret is None else " " + p.expr(ret, 1)
        return ["if %s {\n  return%s;\n}" % (p.boolean(1), value)]
    return None


def p_while(p, budget):
    i = p.fresh(p.pick(["i", "n", "attempt", "pos", "remaining"]))
    limit = p.num_e(1)
    head = "let mut %s = %s;" % (i, p.pick(["0", "1"]))
    counter = p.declare(i, "num", mutable=True)
    cond = p.infix((p.mark(counter), ATOM), p.pick(["<", "<="]), limit)[0]

    def trailer():
        return ["%s += 1;" % i]
    if p.chance(0.4):
        result = p.fresh(p.pick(["result", "position", "found_at"]))

        def setup():
            return ["if %s {\n  break %s;\n}" % (p.boolean(1), i)]
        body = p.block(setup, loop=True, count=(0, 2), budget=budget, trailer=trailer)
        text = "let %s = while %s %s else %s;" % (result, cond, body, p.block(value="num", count=(0, 1), budget=1))
        p.declare(result, "num")
        return [head, text]
    return [head, "while %s %s" % (cond, p.block(loop=True, budget=budget, trailer=trailer))]


def p_loop(p, budget):
    n = p.fresh(p.pick(["attempts", "tries", "cycle", "tick"]))
    result = p.fresh(p.pick(["result", "outcome", "value", "settled"]))
    counter = p.declare(n, "num", mutable=True)
    limit = p.num_e(0)

    def setup():
        lines = ["%s += 1;" % n]
        if p.chance(0.5):
            lines.append("if %s %% %d == 0 {\n  continue;\n}" % (n, p.rng.randrange(2, 5)))
        return lines

    def trailer():
        cond = p.infix((p.mark(counter), ATOM), ">=", limit)[0]
        return ["if %s {\n  break %s;\n}" % (cond, p.num(1))]
    body = p.block(setup, loop=True, count=(0, 2), budget=budget, trailer=trailer)
    p.declare(result, "num")
    return ["let mut %s = 0;" % n, "let %s = loop %s;" % (result, body)]


def case_patterns(p, kind):
    """(pattern, names it binds with their kinds) for the cases of a match on `kind`."""
    cases = []
    if kind == "num":
        for _ in range(p.rng.randrange(1, 4)):
            cases.append((p.pick([str(p.rng.randrange(10)), "%d or %d" % (p.rng.randrange(5), p.rng.randrange(5, 10)),
                                  "%d..<%d" % (p.rng.randrange(10), p.rng.randrange(10, 50)),
                                  "> %d and < %d" % (p.rng.randrange(50), p.rng.randrange(50, 1000)),
                                  "not nil" if p.chance(0.1) else "nil"]), []))
        if p.consts and p.chance(0.3):
            cases.append((p.mark(p.pick(p.consts[-8:])), []))
        n = p.fresh(p.pick(["n", "other", "amount"]))
        cases.append((n, [(n, "num")]))
    elif kind == "str":
        for _ in range(p.rng.randrange(1, 4)):
            cases.append((p.string_literal(), []))
        s = p.fresh(p.pick(["s", "other", "text"]))
        cases.append((s, [(s, "str")]))
    elif kind.startswith("list:"):
        elem = kind[5:]
        ek = element_kind(elem)
        first, rest = p.fresh("first"), p.fresh("rest")
        cases += [("[]", []), ("[%s]" % first, [(first, ek)]),
                  ("[%s, ..%s]" % (first, rest), [(first, ek), (rest, kind)])]
    else:
        (f1, t1), (f2, t2) = SHAPES[kind[4:]][:2]
        a, b = p.fresh(f1 + "_value"), p.fresh(f2)
        cases.append(("(%s: %s, %s: %s)" % (f1, a, f2, b), [(a, t1), (b, t2)]))
        c = p.fresh(f1)
        cases.append(("(%s: %s)" % (f1, c), [(c, t1)]))
    return cases


def p_match(p, budget):
    v = p.use(lambda k: k not in ("fn", "bool", "json", "pair"))
    if v is None:
        return None
    subject = p.mark(v)
    value = p.pick([None, "str", "num"])
    cases = []
    for pattern, binds in case_patterns(p, v.kind):
        guard = []

        def setup(binds=binds, guard=guard):
            for n, k in binds:
                p.declare(n, k)
            if binds and p.chance(0.4):
                guard.append(" if " + p.boolean(1))
        body = p.block(setup, value, count=(0, 2), budget=budget)
        cases.append("case %s%s %s" % (pattern, "".join(guard), body))
    cases.append("case _ %s" % p.block(value=value, count=(0, 2), budget=1))
    text = "match %s {\n%s\n}" % (subject, "\n".join("  " + l for l in "\n".join(cases).split("\n")))
    if value is None:
        return [text]
    name = p.fresh_for(value)
    p.declare(name, value)
    return ["let %s = %s;" % (name, text)]


def p_fn_value(p, budget):
    ret = p.pick(["num", "str", "bool"])
    if p.chance(0.5):
        p.enter_fn(ret)
        try:
            p.mark(p.declare("it", "num"))  # the implicit parameter needs no reading
            body = p.expr(ret, 1)
        finally:
            p.leave_fn()
        text, kinds = "fn { %s }" % body, ["num"]
    else:
        texts, kinds, setup = p.params()
        p.enter_fn(ret)
        try:
            body = p.block(setup, ret, count=(0, 3), budget=budget)
        finally:
            p.leave_fn()
        text = "fn(%s) %s" % (", ".join(texts), body)
    name = p.fresh(p.pick(NAMES["fn"]))
    p.declare(name, "fn", params=kinds, ret=ret)
    return ["let %s = %s;" % (name, text)]


def p_fn(p, budget):
    return ["", doc_comment(p), p.function(budget)]


def p_assign(p, budget):
    r = p.rng.random()
    if r < 0.4:
        v = p.use(lambda k: k.startswith("rec:"))
        if v:
            f, t = p.pick(SHAPES[v.kind[4:]])
            op = p.pick(["=", "+=", "-="]) if t == "num" else "="
            return ["%s.%s %s %s;" % (p.mark(v), f, op, p.expr(t, 1))]
    if r < 0.55:
        v = p.use(lambda k: k == "list:num")
        if v:
            return ["%s[%s] %s %s;" % (p.mark(v), p.rng.randrange(4), p.pick(["=", "+="]), p.num(1))]
    if r < 0.7:
        # Set on some paths, defaulted on the others.
        kind = p.pick(["str", "num"])
        name = p.fresh_for(kind)
        p.declare(name, kind, mutable=True)
        return ["let mut %s = nil;" % name, "if %s {\n  %s = %s;\n}" % (p.boolean(1), name, p.expr(kind, 1)),
                "%s ??= %s;" % (name, p.expr(kind, 0))]
    if r < 0.85:
        a, b = p.fresh(p.pick(["low", "a", "left"])), p.fresh(p.pick(["high", "b", "right"]))
        init = [p.num(1), p.num(1)]
        p.declare(a, "num", mutable=True)
        p.declare(b, "num", mutable=True)
        return ["let mut %s = %s;" % (a, init[0]), "let mut %s = %s;" % (b, init[1]),
                "if %s > %s {\n  [%s, %s] = [%s, %s];\n}" % (a, b, a, b, b, a)]
    v = p.mutable_var("num")
    if v is None:
        return None
    return ["%s %s %s;" % (v.name, p.pick(["+=", "-=", "*=", "/=", "%=", "^=", "="]), p.num(1))]


def p_call(p, budget):
    r = p.rng.random()
    if r < 0.35:
        v = p.use(lambda k: k == "fn", anywhere=True)
        if v:
            return ["%s(%s);" % (p.mark(v), p.args_for(v))]
    if r < 0.55:
        v = p.use(lambda k: k.startswith("list:"))
        if v:
            elem = v.kind[5:]
            if p.chance(0.5):
                return ["%s::each(fn { %s(it) });" % (p.mark(v), p.pick(["print", "log", "emit"]))]
            if p.chance(0.2):
                return ["let _ = %s::pop();" % p.mark(v)]
            return ["%s::push(%s);" % (p.mark(v), p.expr(element_kind(elem), 0))]
    if r < 0.65:
        v = p.use(lambda k: k.startswith("rec:"))
        if v:
            return ["%s::validate(%s);" % (p.mark(v), p.string_literal())]
    return [p.sink([p.expr(p.pick(["str", "num"]), 1)])]


def p_block_value(p, budget):
    kind = p.pick(["num", "str", "rec:point"])
    text = p.block(value=kind, count=(1, 3), budget=budget)
    name = p.fresh_for(kind)
    p.declare(name, kind)
    return ["let %s = %s;" % (name, text)]


def p_comment(p, budget):
    if p.chance(0.8):
        return [doc_comment(p)]
    return ["/* %s */" % " ".join(p.pick(WORDS) for _ in range(p.rng.randrange(4, 10)))]


PROGRAM_STATEMENTS = [
    (p_let, 22),
    (p_destructure, 4),
    (p_accumulate, 4),
    (p_all, 2),
    (p_if, 8),
    (p_if_is, 2),
    (p_for, 7),
    (p_jump, 5),
    (p_while, 3),
    (p_loop, 2),
    (p_match, 4),
    (p_fn_value, 4),
    (p_fn, 1),
    (p_assign, 6),
    (p_call, 8),
    (p_block_value, 2),
    (p_comment, 4),
]


def program_unit(p):
    """A few functions, constants and the top-level code that uses them."""
    lines = []
    if p.chance(0.2):
        name = p.fresh("@" + p.pick(WORDS[:20]).upper())
        p.consts.append(p.declare(name, "num"))
        lines.append("const %s = %s;" % (name, p.number()))
    for _ in range(p.rng.randrange(1, 4)):
        lines += ["", doc_comment(p), p.function()]
    lines.append("")
    for _ in range(p.rng.randrange(2, 7)):
        lines.extend(p.statement())
    p.units += 1
    if p.units % 25 == 3:
        # A payload for some other program: JSON-style.
        name = p.fresh(p.pick(["payload", "body", "request"]))
        p.mark(p.declare(name, "json"))
        lines += ["let %s = %s;" % (name, p.json()), "%s(%s);" % (p.pick(["send", "post"]), name)]
    lines.extend(p.flush())
    return "\n".join(lines) + "\n"


def generate(mode, size, seed):
    out = []
    total = 0
    if mode == "program":
        p = Program(seed)
        while total < size:
            unit = program_unit(p)
            out.append(unit)
            total += len(unit.encode("utf-8"))
        return "".join(out)
    g = Gen(seed)
    if mode == "grammar":
        while total < size:
            line = g_statement(g) + "\n"
            out.append(line)
            total += len(line.encode("utf-8"))
    elif mode == "script":
        gens = [s for s, _ in SCRIPT_STATEMENTS]
        weights = [w for _, w in SCRIPT_STATEMENTS]
        while total < size:
            line = g.rng.choices(gens, weights)[0](g) + "\n"
            out.append(line)
            total += len(line.encode("utf-8"))
    else:
        gens = [c for c, _ in TEMPLATE_CHUNKS]
        weights = [w for _, w in TEMPLATE_CHUNKS]
        while total < size:
            chunk = g.rng.choices(gens, weights)[0](g)
            out.append(chunk)
            total += len(chunk.encode("utf-8"))
    return "".join(out)


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--mode", choices=["script", "template", "grammar", "program"], default="script")
    p.add_argument("--size", type=int, default=1_000_000, help="approximate size in bytes")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("-o", "--output", default="-")
    args = p.parse_args(argv)
    text = generate(args.mode, args.size, args.seed)
    if args.output == "-":
        sys.stdout.write(text)
    else:
        with open(args.output, "w", encoding="utf-8", newline="") as f:
            f.write(text)


if __name__ == "__main__":
    main(sys.argv[1:])
