#!/usr/bin/env python3
"""Generates realistic scripts and templates for the benchmarks.

    generate_source.py --mode script --size 1000000 --seed 1 -o out.src
    generate_source.py --mode template --size 1000000 -o out.tpl
    generate_source.py --mode grammar --size 1000000 -o out.src   (well-formed, every statement and block form)

The output is deterministic for a given seed. Scripts are built from the
statement generators in SCRIPT_STATEMENTS and templates from the chunks in
TEMPLATE_CHUNKS: to cover a new form, write a function that takes a Gen and
returns source text, and add it to the table with a weight. Between them the
generators use every token kind: names, ordinals, decimal and prefixed
numbers, plain, verbatim and interpolated strings ($name, ${...}, $(...:fmt)),
every operator and keyword, comments, and (rarely) a faulty literal so that
recovery tokens appear too.
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


def generate(mode, size, seed):
    g = Gen(seed)
    out = []
    total = 0
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
    p.add_argument("--mode", choices=["script", "template", "grammar"], default="script")
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
