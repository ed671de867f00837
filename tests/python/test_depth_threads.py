"""Deep nesting of every kind, on threads with small stacks and on the main
thread: whatever depth the parser accepts compiles, and anything deeper ends in
a LexerError or ParserError diagnostic; compile never raises. Failures live
just below the accepted bound, so the band under it is swept densely."""

import os
import pathlib
import resource
import subprocess
import sys
import threading

import pytest

import dorirezoza

SCRIPT = dorirezoza.Config()
HERE = pathlib.Path(__file__).resolve().parent


def nest(open_, inner, close, prefix="", suffix=""):
    return lambda n: prefix + open_ * n + inner + close * n + suffix


def chain(head, link, suffix=";"):
    return lambda n: head + link * n + suffix


# Every construct that nests through itself: (name, depth -> text).
KINDS = [
    ("grouping", nest("(", "x", ")", "let v = ", ";")),
    ("record", nest("(a: ", "1", ")", "let v = ", ";")),
    ("array", nest("[", "x", "]", "let v = ", ";")),
    ("call", nest("f(", "x", ")", "let v = ", ";")),
    ("call after an argument", nest("f(1, ", "x", ")", "let v = ", ";")),
    ("method call", nest("a.m(", "x", ")", "let v = ", ";")),
    ("extension call", nest("a::f(", "x", ")", "let v = ", ";")),
    ("index", nest("a[", "x", "]", "let v = ", ";")),
    ("slice", nest("a[", "x", "..]", "let v = ", ";")),
    ("call of an array", nest("f([", "x", "])", "let v = ", ";")),
    ("right operand", nest("a + (", "x", ")", "let v = ", ";")),
    ("interpolation", nest('"$(', "x", ')"', "let v = ", ";")),
    ("tagged interpolation", nest('t "$(', "x", ')"', "let v = ", ";")),
    ("json", nest("{'a': ", "1", "}", "let v = ", ";")),
    ("block", nest("{", "x", "}")),
    ("statement block", nest("{ let a = 1; ", "x", "}")),
    ("let value", nest("{ let a = ", "x", "; }")),
    ("if body", nest("if c { ", "1", " }")),
    ("if condition", nest("if ", "x", " {}")),
    ("else if", nest("if a {} else ", "{}", "")),
    ("loop", nest("loop { ", "x", " }")),
    ("while", nest("while a { ", "x", " }")),
    ("for", nest("for x in y { ", "x", " }")),
    ("for over an array", nest("for x in [", "1", "] { }")),
    ("match", nest("match x { case 1 { ", "x", " } }")),
    ("match guard", nest("match x { case 1 if ", "x", " {} }")),
    ("function", nest("fn() { ", "x", " }")),
    ("lambda", nest("fn { ", "it", " }", "", ";")),
    ("is array", nest("[", "1", "]", "x is ", ";")),
    ("is record", nest("(a: ", "1", ")", "x is ", ";")),
    ("let record pattern", nest("(a: ", "x", ")", "let ", " = v;")),
    ("let array pattern", nest("[", "x", "]", "let ", " = v;")),
    ("parameter record pattern", nest("(a: ", "x", ")", "fn f(", ") {}")),
    ("parameter array pattern", nest("[", "x", "]", "fn f(", ") {}")),
    ("case record pattern", nest("(a: ", "x", ")", "match v { case ", " {} }")),
    ("case array pattern", nest("[", "x", "]", "match v { case ", " {} }")),
    ("prefix", chain("let v = ", "- ", "x;")),
    ("not", chain("let v = ", "not ", "x;")),
    ("power", chain("let v = a", " ^ a")),
    ("conditional", chain("let v = ", "a ? b : ", "c;")),
    ("sum", chain("a", " + a")),
    ("and", chain("a", " and a")),
    ("suffix calls", chain("f", "()")),
    ("members", chain("a", ".b")),
    ("index chain", chain("a", "[1]")),
    ("extension chain", chain("a", "::f()")),
    ("non-nil", chain("a", "!")),
    ("tagged strings", chain("f", " 's'")),
    ("or pattern", chain("match v { case 1", " or 1", " {} }")),
]
# The walk over the tree descends only into what holds recovery: the same
# shapes with a broken innermost expression.
RECOVERY_KINDS = [
    ("recovered " + name, make)
    for name, make in [
        ("call", nest("f(", "1 +", ")", "let v = ", ";")),
        ("array", nest("[", "1 +", "]", "let v = ", ";")),
        ("record", nest("(a: ", "1 +", ")", "let v = ", ";")),
        ("index", nest("a[", "1 +", "]", "let v = ", ";")),
        ("for over an array", nest("for x in [", "1 +", "] { }")),
        ("match", nest("match x { case 1 { ", "1 +", " } }")),
        ("loop", nest("loop { ", "1 +", " }")),
        ("extension", nest("a::f(", "1 +", ")", "let v = ", ";")),
        ("stray", nest("::f(", "x", ")", "let v = a", ";")),
    ]
]
ALL_KINDS = KINDS + RECOVERY_KINDS

GAVE_UP = {"LexerError", "ParserError"}


def outcome(text):
    """'tree' when the text got past the parser, 'gave up' when it ended in a
    LexerError or ParserError; raises whatever compile raises."""
    chunk, words = dorirezoza.compile(text, SCRIPT)
    names = [dorirezoza.get_diagnostic_message(words[i])[1] for i in range(4, len(words), 5)]
    levels = [dorirezoza.get_diagnostic_message(words[i])[0] for i in range(4, len(words), 5)]
    assert (chunk is None) == ("Error" in levels)
    if GAVE_UP & set(names):
        assert chunk is None
        assert len(names) == 1, names
        return "gave up"
    return "tree"


def accepted_bound(make, limit):
    """The deepest nesting that gets past the parser: doubling, then
    bisection (deeper input gives up as a whole, so acceptance is monotonic
    in depth, up to the few levels by which the start of the stack moves)."""
    low, high = 0, 64
    while high < limit and outcome(make(high)) == "tree":
        low, high = high, min(2 * high, limit)
    while high - low > 1:
        mid = (low + high) // 2
        if outcome(make(mid)) == "tree":
            low = mid
        else:
            high = mid
    return low


# Beyond what any thread here takes: the parse's nesting and height bounds.
LIMIT = 20_000


def sweep(kinds, failures, band=16):
    """Compiles each kind from a tenth of its accepted bound to past it; the
    `band` depths right below the bound each. Appends what went wrong."""
    for name, make in kinds:
        depth = None
        try:
            bound = accepted_bound(make, LIMIT)
            if bound < 10:
                failures.append(f"{name}: only {bound} levels accepted")
                continue
            depths = {bound // 10, bound // 4, bound // 2, (3 * bound) // 4, (5 * bound) // 4}
            depths.update(range(max(1, bound - band), bound + 3))
            for depth in sorted(depths):
                got = outcome(make(depth))
                # Where the parse's own recursion gives up moves a little
                # with the stack depth it starts at: only well below the
                # bound is a tree owed.
                if depth <= (3 * bound) // 4 and got != "tree":
                    failures.append(f"{name}: {depth} levels gave up below the bound {bound}")
        except BaseException as error:  # noqa: BLE001 - reported by the caller
            failures.append(f"{name} at {depth}: {type(error).__name__}: {error}")


def sweep_on_thread(stack_size, kinds):
    failures = []
    old = threading.stack_size(stack_size)
    try:
        thread = threading.Thread(target=sweep, args=(kinds, failures))
        thread.start()
        thread.join()
    finally:
        threading.stack_size(old)
    return failures


@pytest.mark.parametrize("stack_kib", [256, 512, 1024, 4096])
def test_every_depth_on_a_small_thread_compiles_or_gives_up(stack_kib):
    assert sweep_on_thread(stack_kib * 1024, ALL_KINDS) == []


def test_every_depth_on_the_main_thread_compiles_or_gives_up():
    # Its stack is large: most kinds stop at the parse's fixed bounds, far
    # from where the stack would give out, and deep texts are slow.
    failures = []
    sweep(ALL_KINDS, failures, band=2)
    assert failures == []


def test_a_thread_takes_depth_in_proportion_to_its_stack():
    # What the README promises: about 500 levels on 512 KiB and about 8,000
    # on 8 MiB for the cheapest kinds, at least 1,000 levels of every kind
    # and 10,000-term chains on 8 MiB.
    bounds = {}

    def measure(stack_kib, kinds):
        def run():
            for name, make in kinds:
                bounds[stack_kib, name] = accepted_bound(make, LIMIT)

        old = threading.stack_size(stack_kib * 1024)
        try:
            thread = threading.Thread(target=run)
            thread.start()
            thread.join()
        finally:
            threading.stack_size(old)

    costly = {"call of an array", "for over an array", "let record pattern", "loop", "match", "sum", "grouping"}
    measure(512, KINDS)
    measure(8192, [(name, make) for name, make in KINDS if name in costly])
    assert all(bounds[512, name] >= 100 for name, _ in KINDS), bounds
    assert 300 <= max(bounds[512, name] for name, _ in KINDS) <= 2000, bounds
    assert all(bounds[8192, name] >= 1000 for name in costly), bounds
    assert bounds[8192, "grouping"] >= 5000
    assert bounds[8192, "sum"] >= 10_000


def test_the_main_thread_under_a_small_stack_limit():
    # A child whose main thread gets a 1 MiB stack from its resource limit.
    code = (
        "import sys; import test_depth_threads as t; f = []; t.sweep(t.ALL_KINDS, f); "
        "print('\\n'.join(f)); sys.exit(1 if f else 0)"
    )

    def limit():
        _, hard = resource.getrlimit(resource.RLIMIT_STACK)
        size = 1024 * 1024
        if hard != resource.RLIM_INFINITY:
            size = min(size, hard)
        resource.setrlimit(resource.RLIMIT_STACK, (size, hard))

    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join([str(HERE), *filter(None, [env.get("PYTHONPATH")])])
    result = subprocess.run(
        [sys.executable, "-c", code], cwd=HERE, env=env, preexec_fn=limit, capture_output=True, text=True, timeout=600
    )
    assert result.returncode == 0, result.stdout + result.stderr
