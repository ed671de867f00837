#!/usr/bin/env python3
"""Times dorirezoza.compile on worst-case shapes and ordinary text at growing sizes.

    python3 bench/python/scaling_bench.py [--base 1M] [--sizes 1 2 4 8 16] [--repeat 3]
        [--shapes call block ...] [--depth 1000] [--cap 10] [--fresh]

Each input is compiled at base size n times each factor (default n = 1 MB, up to
16 MB) and reported in seconds per MB (1 MB = 10^6 bytes) for every size, plus
the ratio of the time at the largest size to the time at the smallest: linear
work gives the ratio of the sizes (16 for the defaults). A time is the best of
--repeat calls. Once one call of a shape takes longer than --cap seconds, its
larger sizes are skipped, so that the run always ends. --fresh makes each call
in a new process (the first call of a process, without warm-up); otherwise the
calls share this process after one untimed call on a tiny text.

The shapes, each a unit repeated as many times as fits in the target size
(a unit always ends with a newline; D is --depth, 1,000 by default; `_` and
anonymous functions keep the copies from clashing, so that each copy alone compiles):
  call          `let _ = ` + `f(`*D + `x` + `)`*D + `;`
  method        `let _ = ` + `a.m(`*D + `x` + `)`*D + `;`
  grouping      `let _ = ` + `(`*D + `x` + `)`*D + `;`
  array         `let _ = ` + `[`*D + `x` + `]`*D + `;`
  record        `let _ = ` + `(a: `*D + `x` + `)`*D + `;`
  block         `{ `*D + `x` + ` }`*D
  else_if       `if a {} else `*D + `{}`
  prefix        `let _ = ` + `- `*D + `x;`
  interpolation `let _ = ` + `"$(`*D + `x` + `)"`*D + `;`
  let_record    `let ` + `(a: `*D + `_` + `)`*D + ` = v;`
  let_array     `let ` + `[`*D + `_` + `]`*D + ` = v;`
  fn_record     `let _ = fn(` + `(a: `*D + `x` + `)`*D + `) { x };`
  fn_array      `let _ = fn(` + `[`*D + `x` + `]`*D + `) { x };`
  case_record   `match v { case ` + `(a: `*D + `x` + `)`*D + ` { x } }`
  case_array    `match v { case ` + `[`*D + `x` + `]`*D + ` { x } }`
  backtrack200  `a + (`*200 + `b` + `) + ;`*200
  backtrack1000 `a + (`*1000 + `b` + `) + ;`*1000
  close_paren   `)` repeated to the size, no newline; close_bracket `]`, close_brace `}` alike
  sum_chain     `a` + `+a`*9999 + `;` (10,000 terms)
  call_chain    `f` + `()`*10000 + `;`
  index_call_op `a[f(`*D + `x` + `)]`*D + ` * ;` (an operator with no right side)
  index_call_tail `a[f(`*D + `a[b>(c)</;` (every level unclosed: a diagnostic every few bytes)
  token_soup    tokens drawn uniformly from SOUP (seed 1), a space between two,
                a newline after every 20
and the families of ordinary text from workload/generate_source.py (seed 1):
  program, grammar, script (compiled as scripts) and template (as a template).
"""

import argparse
import importlib
import os
import pathlib
import random
import subprocess
import sys
import tempfile
import time

import dorirezoza

HERE = pathlib.Path(__file__).resolve().parent
GENERATOR = HERE.parents[1] / "workload" / "generate_source.py"

SOUP = [
    "x", "name", "@K", "1", "2.5", "0x1F", "'s'", '"t $x"', "true", "nil",
    "+", "-", "*", "/", "==", "<", "&&", "??", "..", "=", "+=", ".", ",", ":", "::", ";", "?", "!", "->",
    "(", ")", "[", "]", "{", "}",
    "let", "mut", "fn", "if", "else", "for", "in", "while", "loop", "match", "case", "return", "break",
]


def nested(prefix, opener, middle, closer, suffix):
    return lambda d: prefix + opener * d + middle + closer * d + suffix


def unit_shapes():
    """Shapes built by repeating a unit; each maker takes the depth."""
    return {
        "call": nested("let _ = ", "f(", "x", ")", ";"),
        "method": nested("let _ = ", "a.m(", "x", ")", ";"),
        "grouping": nested("let _ = ", "(", "x", ")", ";"),
        "array": nested("let _ = ", "[", "x", "]", ";"),
        "record": nested("let _ = ", "(a: ", "x", ")", ";"),
        "block": nested("", "{ ", "x", " }", ""),
        "else_if": lambda d: "if a {} else " * d + "{}",
        "prefix": lambda d: "let _ = " + "- " * d + "x;",
        "interpolation": nested("let _ = ", '"$(', "x", ')"', ";"),
        "let_record": nested("let ", "(a: ", "_", ")", " = v;"),
        "let_array": nested("let ", "[", "_", "]", " = v;"),
        "fn_record": nested("let _ = fn(", "(a: ", "x", ")", ") { x };"),
        "fn_array": nested("let _ = fn(", "[", "x", "]", ") { x };"),
        "case_record": nested("match v { case ", "(a: ", "x", ")", " { x } }"),
        "case_array": nested("match v { case ", "[", "x", "]", " { x } }"),
        "backtrack200": lambda d: "a + (" * 200 + "b" + ") + ;" * 200,
        "backtrack1000": lambda d: "a + (" * 1000 + "b" + ") + ;" * 1000,
        "sum_chain": lambda d: "a" + "+a" * 9999 + ";",
        "call_chain": lambda d: "f" + "()" * 10000 + ";",
        "index_call_op": nested("", "a[f(", "x", ")]", " * ;"),
        "index_call_tail": lambda d: "a[f(" * d + "a[b>(c)</;",
    }


CLOSERS = {"close_paren": ")", "close_bracket": "]", "close_brace": "}"}
FAMILIES = ["program", "grammar", "script", "template"]


def load_generator():
    sys.path.insert(0, str(GENERATOR.parent))
    return importlib.import_module(GENERATOR.stem)


def token_soup(size, seed=1):
    rng = random.Random(seed)
    out, total, count = [], 0, 0
    while total < size:
        count += 1
        token = rng.choice(SOUP) + ("\n" if count % 20 == 0 else " ")
        out.append(token)
        total += len(token)
    return "".join(out)


def all_shapes():
    return list(unit_shapes()) + list(CLOSERS) + ["token_soup"] + FAMILIES


def make_input(shape, size, depth, generator):
    """(text, input mode) of about `size` bytes."""
    units = unit_shapes()
    if shape in units:
        unit = units[shape](depth) + "\n"
        return unit * max(1, size // len(unit)), "script"
    if shape in CLOSERS:
        return CLOSERS[shape] * size, "script"
    if shape == "token_soup":
        return token_soup(size), "script"
    return generator.generate(shape, size, 1), ("template" if shape == "template" else "script")


def outcome(chunk, words):
    """What the compile made: whether a chunk came out, the diagnostic count, and
    an aborted stage, since an abort makes a run short for another reason."""
    codes = words[4::5]
    names = {dorirezoza.get_diagnostic_message(c)[1] for c in set(codes)}
    aborted = sorted(names & {"LexerError", "ParserError"})
    return " ".join(["chunk" if chunk is not None else "no-chunk", f"{len(codes)} diags"] + aborted)


def time_in_process(text, mode, repeat, cap):
    config = dorirezoza.Config(input_mode=mode)
    text.encode("utf-8")  # the str caches its UTF-8 form once, as a host's would
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        result = dorirezoza.compile(text, config)
        best = min(best, time.perf_counter() - start)
        if best > cap:
            break
    return best, outcome(*result)


WORKER = (
    "import sys, time, dorirezoza\n"
    "text = open(sys.argv[1], encoding='utf-8', newline='').read(); text.encode('utf-8')\n"
    "config = dorirezoza.Config(input_mode=sys.argv[2])\n"
    "start = time.perf_counter()\n"
    "chunk, words = dorirezoza.compile(text, config)\n"
    "print(time.perf_counter() - start, int(chunk is not None), *words[4::5])\n"
)


def time_in_fresh_processes(text, mode, repeat, cap):
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", newline="", suffix=".src", delete=False) as f:
        f.write(text)
    try:
        best = float("inf")
        for _ in range(repeat):
            out = subprocess.run([sys.executable, "-c", WORKER, f.name, mode],
                                 check=True, capture_output=True, text=True).stdout.split()
            best = min(best, float(out[0]))
            if best > cap:
                break
        codes = [int(c) for c in out[2:]]
        return best, outcome(b"" if out[1] == "1" else None, [w for c in codes for w in (0, 0, 0, 0, c)])
    finally:
        os.unlink(f.name)


def parse_size(text):
    """Bytes, with an optional K (10^3) or M (10^6) suffix."""
    scale = {"K": 1000, "M": 1000_000}.get(text[-1:].upper(), 1)
    return int(float(text[:-1] if scale > 1 else text) * scale)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--base", type=parse_size, default=1000_000, help="n in bytes, e.g. 64K or 1M (default 1M)")
    parser.add_argument("--sizes", type=int, nargs="+", default=[1, 2, 4, 8, 16], help="multiples of n")
    parser.add_argument("--repeat", type=int, default=3, help="calls per measurement; the best counts")
    parser.add_argument("--shapes", nargs="+", metavar="SHAPE", help="only these (names or prefixes): " +
                        ", ".join(all_shapes()))
    parser.add_argument("--depth", type=int, default=1000, help="nesting depth of the deep shapes")
    parser.add_argument("--cap", type=float, default=10.0,
                        help="skip a shape's larger sizes once one call took longer (seconds)")
    parser.add_argument("--fresh", action="store_true", help="each call in a fresh process")
    args = parser.parse_args()

    shapes = all_shapes()
    if args.shapes:
        shapes = [s for s in shapes if any(s.startswith(p) for p in args.shapes)]
        if not shapes:
            parser.error("no shape matches --shapes")
    factors = sorted(set(args.sizes))
    generator = load_generator()
    measure = time_in_fresh_processes if args.fresh else time_in_process
    if not args.fresh:
        dorirezoza.compile("let x = 1; x", dorirezoza.Config())

    rows = []
    for shape in shapes:
        per_mb = []
        seconds = []
        for factor in factors:
            if seconds and (seconds[-1] is None or seconds[-1] > args.cap):
                per_mb.append(None)
                seconds.append(None)
                print(f"{shape:14} {factor:3}n  skipped", flush=True)
                continue
            text, mode = make_input(shape, args.base * factor, args.depth, generator)
            nbytes = len(text.encode("utf-8"))
            t, made = measure(text, mode, args.repeat, args.cap)
            per_mb.append(t / (nbytes / 1e6))
            seconds.append(t)
            print(f"{shape:14} {factor:3}n  {nbytes / 1e6:8.3f} MB  {t:9.4f} s  {per_mb[-1]:9.4f} s/MB  {made}",
                  flush=True)
        rows.append((shape, per_mb, seconds))

    first, last = factors[0], factors[-1]
    print()
    print(f"n = {args.base} bytes, depth {args.depth}, best of {args.repeat}"
          f"{', fresh process per call' if args.fresh else ''}; linear work gives ratio {last / first:g}")
    print()
    head = ["shape"] + [f"s/MB at {f}n" for f in factors] + [f"ratio {last}n/{first}n"]
    print("| " + " | ".join(head) + " |")
    print("|" + "|".join(["---"] + ["---:"] * (len(head) - 1)) + "|")
    for shape, per_mb, seconds in rows:
        cells = ["skipped" if v is None else f"{v:.4f}" for v in per_mb]
        ratio = "-" if seconds[-1] is None or seconds[0] <= 0 else f"{seconds[-1] / seconds[0]:.1f}"
        print("| " + " | ".join([shape] + cells + [ratio]) + " |")


if __name__ == "__main__":
    main()
